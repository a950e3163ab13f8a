#include "EditorModel.h"
#include "MainWindow.h"
#include "RecordedStageView.h"
#include "TestSupport.h"

namespace {
// Labels whose text doesn't fit the room they were given: cut off, where a user sees "…on your"
// and nothing more.
QStringList cutOff(const QWidget& stage) {
    QStringList cut;
    for (const QLabel* label : stage.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        const QSize needed = label->wordWrap()
                                 ? QSize(label->width(), label->heightForWidth(label->width()))
                                 : label->sizeHint();
        if (needed.width() > label->width() || needed.height() > label->height())
            cut << label->text();
    }
    return cut;
}

Waveform::Data tenSeconds() {
    Waveform::Data data;
    data.sampleRate = 48000;
    data.totalFrames = 480000;
    data.framesPerPeak = 600;
    data.peaks.assign(800, 0.3f);
    return data;
}
} // namespace

class LargeFontTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * 1.5);
        QApplication::setFont(font);
    }

    void theStartScreensTextsWrapInsteadOfBeingCutOff() {
        // The window at its smallest and at a usual size, as the stage container lays it out.
        auto window = scriptedView<MainWindow>(std::make_shared<CaptureScript>());
        QVERIFY(window);
        for (const QSize size : {QSize(580, 480), QSize(720, 540)}) {
            window->resize(size);
            QTRY_COMPARE(window->contentView()->width(), size.width());
            // Some texts (the microphone's) arrive a moment later.
            QTRY_COMPARE(cutOff(*window->contentView()), QStringList());
        }
    }

    void theEditorsTextsWrapInsteadOfBeingCutOff() {
        RecordedStageView editor(
            std::make_shared<EditorModel>(tenSeconds(), TimeRange{1, 9}, QString()));
        editor.resize(532, 700);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QVERIFY(editor.minimumSizeHint().width() <= 532);
        QCOMPARE(cutOff(editor), QStringList());
    }
};

QTEST_MAIN(LargeFontTest)
#include "LargeFontTest.moc"
