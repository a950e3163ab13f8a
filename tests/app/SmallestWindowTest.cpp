#include "ElidedLabel.h"
#include "MainWindow.h"
#include "MessageAlert.h"
#include "RecordedStageView.h"
#include "RecordingListView.h"
#include "RecordingStageView.h"
#include "TestSupport.h"
#include "Translations.h"
#include "TrimCard.h"
#include "TrimHandle.h"
#include "TrimView.h"

#include <QMenuBar>

namespace {

// A widget that reaches past one of its containers, which then cuts it off: a row of buttons
// wider than the window, say.
bool reachesPastItsContainers(const QWidget* widget) {
    QRect area = widget->rect();
    for (const QWidget* child = widget; !child->isWindow(); child = child->parentWidget()) {
        area.translate(child->pos());
        if (!child->parentWidget()->rect().contains(area))
            return true;
    }
    return false;
}

// Texts that don't fit the room their widget was given, as a user would see them cut off:
// labels (wrapped ones at their width), button captions, and what a field holds; and any of
// them reaching past the window or the part of it that holds them.
QStringList clipped(const QWidget& root) {
    QStringList cut;
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        const bool text =
            qobject_cast<const QLabel*>(widget) || qobject_cast<const QAbstractButton*>(widget);
        if (text && widget->isVisible() && reachesPastItsContainers(widget))
            cut << QStringLiteral("%1 “%2” reaches past its container")
                       .arg(widget->metaObject()->className(), widget->property("text").toString());
    }
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty() || !label->pixmap().isNull() ||
            qobject_cast<const ElidedLabel*>(label))
            continue;
        const bool fits = label->wordWrap()
                              ? label->heightForWidth(label->width()) <= label->height() &&
                                    label->minimumSizeHint().width() <= label->width()
                              : label->sizeHint().width() <= label->width() &&
                                    label->sizeHint().height() <= label->height();
        if (!fits)
            cut << QStringLiteral("label “%1” (%2 wide)").arg(label->text()).arg(label->width());
    }
    for (const QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->text().isEmpty())
            continue;
        // What its label needs, as a stock button would measure it: the room a button likes
        // around its label may go in a narrow window, the label itself not.
        const auto* push = qobject_cast<const QPushButton*>(button);
        const int needed =
            push ? push->QPushButton::sizeHint().width() : button->sizeHint().width();
        if (needed > button->width())
            cut << QStringLiteral("button “%1” (%2 of %3 wide)")
                       .arg(button->text())
                       .arg(button->width())
                       .arg(needed);
    }
    for (const QLineEdit* field : root.findChildren<QLineEdit*>()) {
        if (!field->isVisible())
            continue;
        const int needed = field->fontMetrics().horizontalAdvance(field->text()) +
                           2 * field->fontMetrics().averageCharWidth();
        if (needed > field->width())
            cut << QStringLiteral("field “%1” (%2 wide)").arg(field->text()).arg(field->width());
    }
    return cut;
}

// The open dialog of this class, once it is up; the test goes on while it is open.
template <typename Dialog> Dialog* openDialog() {
    Dialog* found = nullptr;
    const bool opened = QTest::qWaitFor([&] {
        found = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        return found != nullptr;
    });
    return opened ? found : nullptr;
}

} // namespace

// Every stage at the window's smallest size, in the language the test runs in (it runs in
// English and in German): no text cut off anywhere, dialogs included.
class SmallestWindowTest : public QObject {
    Q_OBJECT

    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<MainWindow> window_;

    ContentView* view() const { return window_->contentView(); }
    // Clipped texts in the window, after the stage has settled.
    void expectNothingClipped(const char* where) {
        QTest::qWait(400); // the stage's fade and late texts
        // Still the smallest size: no stage asks for more room than it.
        QCOMPARE(window_->size(), MainWindow::smallestSize);
        const QStringList cut = clipped(*window_);
        QVERIFY2(cut.isEmpty(), qPrintable(QString(where) + ": " + cut.join("; ")));
    }
    QString text(const char* source, const char* context) const {
        return QCoreApplication::translate(context, source);
    }

private slots:
    void initTestCase() {
        QVERIFY(testFolder().isValid());
        Translations::install(*QCoreApplication::instance());
        // The title bars show titles with the app's name after them, as in the app.
        QGuiApplication::setApplicationDisplayName("Sonabrix");
        QVERIFY(window_ = scriptedView<MainWindow>(script_ = std::make_shared<CaptureScript>()));
        // The whole window at its smallest, menu bar and all; the content has what is left.
        window_->resize(1, 1);
        QTRY_COMPARE(window_->size(), MainWindow::smallestSize);
        QCOMPARE(view()->height() + window_->menuBar()->height(),
                 MainWindow::smallestSize.height());
    }

    void cleanupTestCase() {
        closeAlerts();
        window_.reset();
    }

    void everyStageFits() {
        expectNothingClipped("start screen");
        view()->recorder().setReplayMinutes(30);
        expectNothingClipped("start screen keeping the last minutes");
        view()->recorder().setReplayMinutes(0);
        click(view(), text("Record System Audio", "IdleStageView"));
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::recording);
        script_->deliver(2.0, 0.5f);
        expectNothingClipped("recording");
        click(view(), text("Pause", "RecordingStageView"));
        expectNothingClipped("paused");
        click(view(), text("Resume", "RecordingStageView"));
        click(view(), text("Stop Recording", "RecordingStageView"));
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::recorded);
        expectNothingClipped("editor");

        auto* editor = view()->findChild<RecordedStageView*>();
        editor->showSaved("/tmp/Walk in the park.m4a");
        expectNothingClipped("editor after a save");
        // The waveform and its handles are drawn whole inside the card, however short it is here.
        const TrimCard* card = editor->trimView()->card();
        QVERIFY2(card->waveformHeight() + 2 * TrimCard::cardPadding <= card->height(),
                 qPrintable(QStringLiteral("waveform %1 high in a card %2 high")
                                .arg(card->waveformHeight())
                                .arg(card->height())));
        QVERIFY(card->rect().contains(card->endHandle()->geometry()));
        QVERIFY2(editor->savedLabel()->showsAll(), qPrintable(editor->savedLabel()->text()));
        // A name too long for any window is shortened in its middle, never cut at its end.
        editor->showSaved("/tmp/" + QString(200, 'x') + " end.m4a");
        QVERIFY(editor->savedLabel()->text().contains(QChar(0x2026)));
        QVERIFY(editor->savedLabel()->text().endsWith("end.m4a"));

        view()->newRecordingAction()->trigger();
        QTRY_VERIFY(view()->findChild<RecordingListView*>());
        expectNothingClipped("start screen with the list");
    }

    // A program with a name longer than any window, recorded and waited for: shortened or
    // wrapped wherever it is named, never widening the window.
    void aLongProgramNameFits() {
        const CaptureProgram program{"Streaming Radio Player of the Community Broadcasting "
                                     "Association with a Name That Goes On",
                                     "radio", ""};
        view()->flow().chooseProgram(program);
        expectNothingClipped("start screen with a program");
        click(view(), text("Record System Audio", "IdleStageView"));
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::recording);
        script_->handlers.programPlaying(false);
        auto* screen = view()->findChild<RecordingStageView*>();
        QTRY_VERIFY2(screen->statusText().endsWith("…"), qPrintable(screen->statusText()));
        expectNothingClipped("waiting for a program");
        script_->deliver(1.0, 0.5f);
        click(view(), text("Stop Recording", "RecordingStageView"));
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::recorded);
        view()->flow().chooseProgram(std::nullopt);
        view()->newRecordingAction()->trigger();
        QTRY_VERIFY(view()->findChild<RecordingListView*>());
    }

    // The replay's line names the program too, and the question on closing says how to come
    // back; the list of recordings is there by now.
    void theReplayFitsWithALongProgramName() {
        view()->flow().chooseProgram(CaptureProgram{"Streaming Radio Player of the Community "
                                                    "Broadcasting Association with a Name That "
                                                    "Goes On",
                                                    "radio", ""});
        view()->recorder().setReplayMinutes(15);
        expectNothingClipped("start screen keeping what a program plays");
        QString cut = "not shown";
        QTimer::singleShot(0, this, [&] {
            auto* box = openDialog<QMessageBox>();
            if (!box)
                return;
            QTest::qWait(100);
            cut = clipped(*box).join("; ");
            box->reject();
        });
        QVERIFY(!window_->close());
        QVERIFY2(cut.isEmpty(), qPrintable(cut));
        view()->recorder().setReplayMinutes(0);
        view()->flow().chooseProgram(std::nullopt);
        // The keys of the walks after this one go to the window again.
        window_->activateWindow();
        QTRY_VERIFY(window_->isActiveWindow());
    }

    void theShortcutListFits() {
        QString cut = "not shown";
        QTimer::singleShot(0, this, [&] {
            auto* box = openDialog<QDialog>();
            if (!box)
                return;
            QTest::qWait(100);
            cut = clipped(*box).join("; ");
            box->accept();
        });
        QTest::keyClick(window_.get(), Qt::Key_F1);
        QVERIFY2(cut.isEmpty(), qPrintable(cut));
    }

    // An alert's title bar holds its whole title beside the window's buttons: Qt sizes a
    // message box for the bare title, without the app's name that follows it.
    void alertsHaveRoomForTheirTitles() {
        for (const QString& title :
             {text("Couldn't play the selection", "ContentView"),
              text("Couldn't record", "ContentView"), text("Couldn't save", "SaveFlow")}) {
            QMessageBox* alert = MessageAlert::create(window_.get(), title, "Connection refused");
            alert->addButton(QMessageBox::Ok);
            alert->open();
            QVERIFY(QTest::qWaitForWindowExposed(alert));
            const int room =
                alert->fontMetrics().horizontalAdvance(title + QStringLiteral(" — Sonabrix")) + 120;
            QVERIFY2(alert->width() >= room,
                     qPrintable(QStringLiteral("“%1” in %2").arg(title).arg(alert->width())));
            alert->reject();
        }
    }

    void theRenameDialogFits() {
        auto* list = view()->findChild<RecordingListView*>();
        QVERIFY(list && !list->selectedPath().isEmpty());
        QString cut = "not shown";
        QTimer::singleShot(0, this, [&] {
            auto* dialog = openDialog<QInputDialog>();
            if (!dialog)
                return;
            QTest::qWait(100);
            cut = clipped(*dialog).join("; ");
            // The title bar has room for the dialog's title beside its buttons.
            const int titleRoom = dialog->fontMetrics().horizontalAdvance(
                                      dialog->windowTitle() + QStringLiteral(" — Sonabrix")) +
                                  120;
            if (dialog->width() < titleRoom)
                cut += QStringLiteral(" title “%1” in %2")
                           .arg(dialog->windowTitle())
                           .arg(dialog->width());
            dialog->reject();
        });
        view()->renameAction()->trigger();
        QVERIFY2(cut.isEmpty(), qPrintable(cut));
    }
};

QTEST_MAIN(SmallestWindowTest)
#include "SmallestWindowTest.moc"
