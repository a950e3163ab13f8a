#include "ContentView.h"
#include "MediaProbe.h"
#include "SystemAudioRecorder.h"
#include "TestAudio.h"
#include "TrimView.h"
#include "WidgetFinder.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

using WidgetFinder::visibleButton;

// The whole road for real: the app's own recorder on the private sound server, sound played
// into its null sink, the real buttons pressed.
class SoundFlowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;

    static void click(ContentView& view, const QString& text) {
        QAbstractButton* button = visibleButton(&view, text);
        QVERIFY2(button, qPrintable(QStringLiteral("no visible button \"%1\"").arg(text)));
        QTest::mouseClick(button, Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        QVERIFY(qEnvironmentVariableIsSet("PULSE_SERVER"));
        QVERIFY(folder_.isValid());
        // The recordings this test makes go with its folder.
        qputenv("TMPDIR", QFile::encodeName(folder_.path()));
    }

    void recordsWhatIsPlayedAndSelectsAllOfIt() {
        const QString tone = folder_.filePath(QStringLiteral("tone.wav"));
        QVERIFY(TestAudio::writeTones(tone, {{1.5, 0.5}}));

        ContentView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        click(view, QStringLiteral("Record System Audio"));
        QTRY_COMPARE_WITH_TIMEOUT(view.stageIndex(), 1, 10000);
        QElapsedTimer recording;
        recording.start();

        QVERIFY(TestAudio::play(tone));
        click(view, QStringLiteral("Stop Recording"));
        const double stoppedAfterSeconds = recording.elapsed() / 1000.0;
        QTRY_COMPARE_WITH_TIMEOUT(view.stageIndex(), 3, 15000);
        QVERIFY2(!view.recorder().errorMessage(),
                 qPrintable(view.recorder().errorMessage().value_or(QString())));

        // Everything from start to stop is in the file, and all of it is selected.
        const TimeRange range = view.trimRange();
        QCOMPARE(range.lower, 0.0);
        QVERIFY2(range.upper >= 1.5 && range.upper <= stoppedAfterSeconds + 0.5,
                 qPrintable(QStringLiteral("recorded %1 s, stopped after %2 s")
                                .arg(range.upper)
                                .arg(stoppedAfterSeconds)));
    }

    void autoTrimsToTheToneAndSavesIt() {
        const QString sound = folder_.filePath(QStringLiteral("silence-tone-silence.wav"));
        QVERIFY(TestAudio::writeTones(sound, {{1.0, 0.0}, {2.0, 0.5}, {1.0, 0.0}}));

        ContentView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        click(view, QStringLiteral("Record System Audio"));
        QTRY_COMPARE_WITH_TIMEOUT(view.stageIndex(), 1, 10000);
        QVERIFY(TestAudio::play(sound));
        click(view, QStringLiteral("Stop Recording"));
        QTRY_COMPARE_WITH_TIMEOUT(view.stageIndex(), 3, 15000);
        const TimeRange whole = view.trimRange();

        // Space plays and stops the selection as soon as the editor is up.
        auto* trimView = view.findChild<TrimView*>();
        QVERIFY(trimView);
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused == trimView || trimView->isAncestorOf(focused));
        QTest::keyClick(focused, Qt::Key_Space);
        QTRY_VERIFY(trimView->player().isPlaying());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTRY_VERIFY(!trimView->player().isPlaying());

        click(view, QStringLiteral("Auto-Trim Silence"));
        QTRY_VERIFY(view.trimRange() != whole);
        // The tone and 0.15 s on either side, within the resolution of the waveform's bins.
        const TimeRange trimmed = view.trimRange();
        const double binSeconds = whole.upper / ContentView::waveformPeakCount;
        QVERIFY2(std::abs(trimmed.length() - 2.3) <= 0.02 + 2 * binSeconds,
                 qPrintable(QStringLiteral("%1 … %2").arg(trimmed.lower).arg(trimmed.upper)));
        // The silence played before and after the tone is cut, all but the padding and the
        // moment the sound server takes to start the stream.
        QVERIFY2(trimmed.lower >= 0.7 && trimmed.upper <= whole.upper - 0.7,
                 qPrintable(QStringLiteral("%1 … %2 of %3")
                                .arg(trimmed.lower)
                                .arg(trimmed.upper)
                                .arg(whole.upper)));

        const QString destination = folder_.filePath(QStringLiteral("tone.m4a"));
        view.setSaveDestinationProvider(
            [&](const QString&) { return std::optional(QUrl::fromLocalFile(destination)); });
        click(view, QStringLiteral("Save Trimmed Audio…"));
        QVERIFY(view.isExporting());
        QTRY_VERIFY_WITH_TIMEOUT(!view.isExporting(), 30000);
        QVERIFY2(!view.exportError(), qPrintable(view.exportError().value_or(QString())));

        const auto probe = MediaProbe::of(destination);
        QVERIFY(probe);
        QCOMPARE(probe->codecName, QStringLiteral("aac"));
        QVERIFY2(std::abs(probe->durationSeconds - trimmed.length()) < 0.05,
                 qPrintable(QStringLiteral("saved %1 s of a %2 s selection")
                                .arg(probe->durationSeconds)
                                .arg(trimmed.length())));
    }
};

QTEST_MAIN(SoundFlowTest)
#include "SoundFlowTest.moc"
