#include "PulsingDot.h"
#include "RecordedStageView.h"
#include "RecordingStageView.h"
#include "StageContainer.h"
#include "TestSupport.h"
#include "TrimView.h"

// The stages through the real buttons, over a capture platform the test steers.
class StageFlowTest : public QObject {
    Q_OBJECT

    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<ContentView> view_;
    QList<Stage::Kind> visited_;

    void startRecording() {
        click(view_.get(), "Record System Audio");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recording);
    }
    QString clock() const { return view_->findChild<RecordingStageView*>()->elapsedText(); }
    static QString recordAlertText() {
        const auto alert = [] { return openAlert("Couldn't record"); };
        return QTest::qWaitFor(alert) ? alert()->informativeText() : QString();
    }

private slots:
    void initTestCase() { QVERIFY(testFolder().isValid()); }

    void init() {
        QVERIFY(view_ = scriptedView(script_ = std::make_shared<CaptureScript>()));
        visited_.clear();
        connect(view_.get(), &ContentView::stageChanged, this,
                [this](Stage::Kind kind) { visited_ << kind; });
    }

    void cleanup() {
        closeAlerts();
        view_.reset();
    }

    void recordingStageFollowsTheRecorderAndItsClock() {
        auto* container = view_->findChild<StageContainer*>();
        click(view_.get(), "Record System Audio");
        QTRY_VERIFY(view_->recorder().isRecording());
        QCOMPARE(view_->stageKind(), Stage::Kind::recording);
        QVERIFY(container->isFading());
        QTRY_VERIFY_WITH_TIMEOUT(!container->isFading(), 1000);
        auto* dot = view_->findChild<PulsingDot*>();
        QVERIFY(dot && dot->isVisible() && dot->isPulsing());
        QCOMPARE(clock(), QString("00:00"));
        QTRY_COMPARE_WITH_TIMEOUT(clock(), QString("00:01"), 3000);
    }

    void stopSelectsTheWholeRecordingAndRoundsRepeat() {
        startRecording();
        script_->deliver(2.0, 0.5f);
        script_->deliver(0.5, 0.25f);
        click(view_.get(), "Stop Recording");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        // Straight into the editor: the writer saved the recording's peaks beside it.
        QCOMPARE(visited_, (QList<Stage::Kind>{Stage::Kind::recording, Stage::Kind::recorded}));
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 2.5}));
        QVERIFY(!view_->recorder().errorMessage());
        QVERIFY(!openAlert());
        const auto file = view_->recorder().lastRecordingURL();
        click(view_.get(), "New Recording");
        QCOMPARE(view_->stageKind(), Stage::Kind::idle);
        QVERIFY(QFile::exists(file->toLocalFile()));

        // The second round from the keyboard, to a recording of its own.
        QTest::keyClick(view_.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recording);
        script_->deliver(1.5, 0.5f);
        QTest::keyClick(view_.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 1.5}));
        QVERIFY(view_->recorder().lastRecordingURL() != file);
        QTest::keyClick(view_.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(view_->stageKind(), Stage::Kind::idle);
    }

    void failedStartStaysIdleAndOkClearsTheMessage() {
        script_->unreachable = true;
        click(view_.get(), "Record System Audio");
        const QString shown = recordAlertText();
        QCOMPARE(shown, view_->recorder().errorMessage().value_or("none"));
        QMessageBox* alert = openAlert("Couldn't record");
        QCOMPARE(alert->buttons().size(), 1);
        QCOMPARE(view_->stageKind(), Stage::Kind::idle);
        click(alert, "OK");
        QTRY_VERIFY(!openAlert());
        QVERIFY(!view_->recorder().errorMessage());
        QVERIFY(visited_.isEmpty());
    }

    void stopWithoutAudioOrReadableFileReturnsToIdle() {
        startRecording();
        click(view_.get(), "Stop Recording");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::idle);
        QCOMPARE(visited_, (QList<Stage::Kind>{Stage::Kind::recording, Stage::Kind::idle}));
        const QString shown = recordAlertText();
        QCOMPARE(shown, view_->recorder().errorMessage().value_or("none"));
        closeAlerts();

        // The file vanishes the moment it is published: the analysis returns nothing, and the
        // user is told which file couldn't be read.
        visited_.clear();
        startRecording();
        script_->deliver(1.0, 0.5f);
        QString vanished;
        connect(&view_->recorder(), &SystemAudioRecorder::lastRecordingURLChanged, this,
                [&vanished](const auto& url) {
                    vanished = url.value_or(QUrl()).toLocalFile();
                    QFile::remove(vanished);
                });
        click(view_.get(), "Stop Recording");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::idle);
        QCOMPARE(visited_, (QList<Stage::Kind>{Stage::Kind::recording, Stage::Kind::analysing,
                                               Stage::Kind::idle}));
        QTRY_VERIFY(openAlert());
        QVERIFY(!vanished.isEmpty());
        QVERIFY(recordAlertText().contains(vanished));
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 0.0}));
    }

    void captureEndingByItselfKeepsOnlyThisRecordingsAudio() {
        startRecording();
        script_->deliver(1.25, 0.5f);
        script_->stopByItself("The sound server went away.");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        QCOMPARE(visited_, (QList<Stage::Kind>{Stage::Kind::recording, Stage::Kind::recorded}));
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 1.25}));
        QVERIFY(recordAlertText().contains("The sound server went away."));
        closeAlerts();

        // Now with no audio: never the earlier recording in place of the one that failed.
        click(view_.get(), "New Recording");
        startRecording();
        visited_.clear();
        script_->stopByItself("The sound server went away.");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::idle);
        QCOMPARE(visited_, (QList<Stage::Kind>{Stage::Kind::idle}));
        QVERIFY(!recordAlertText().isEmpty());
    }

    // A focused button answers Space, Enter and the keypad's Enter; the editor's window-wide
    // Space (play) never takes the key from it.
    void focusedButtonsAnswerSpaceAndEnter_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier);
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }

    void focusedButtonsAnswerSpaceAndEnter() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        const auto press = [&](QAbstractButton* button) {
            QVERIFY(button);
            button->setFocus();
            QTest::keyClick(button, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        };
        startRecording();
        script_->deliver(1.0, 0.0f);
        script_->deliver(1.0, 0.5f);
        script_->deliver(1.0, 0.0f);
        press(visibleButton(view_.get(), "Stop Recording"));
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        auto* trimView = view_->findChild<TrimView*>();
        press(visibleButton(view_.get(), "Auto-Trim Silence"));
        QTRY_VERIFY(view_->trimRange().lower > 0.5 && view_->trimRange().upper < 2.5);
        QVERIFY(!trimView->player().isPlaying());
        press(visibleButton(view_.get(), "New Recording"));
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::idle);
        press(visibleButton(view_.get(), "Record System Audio"));
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recording);
        QVERIFY(view_->recorder().isRecording());
    }

    // Failures that used to pass without a word: playing with no sound server, showing a saved
    // file with no file manager, auto-trimming a recording that is silent throughout.
    void failuresAreToldInWords() {
        // No sound server, no session bus (see main) and no xdg-open: real parts that fail.
        QTemporaryDir emptyPath;
        qputenv("PATH", QFile::encodeName(emptyPath.path()));
        startRecording();
        script_->deliver(2.0, 0.0f);
        click(view_.get(), "Stop Recording");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        auto* editor = view_->findChild<RecordedStageView*>();
        QVERIFY(editor->hintText().contains("silent from start to end"));
        click(view_.get(), "Auto-Trim Silence");
        QVERIFY(editor->hintText().startsWith("Auto-Trim found no sound"));
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 2.0}));

        click(view_.get(), "Play Selection");
        QTRY_VERIFY(openAlert("Couldn't play the selection"));
        const QString said = openAlert("Couldn't play the selection")->informativeText();
        QVERIFY2(said.startsWith("The sound server didn't take the sound.") &&
                     said.contains("The reason given: "),
                 qPrintable(said));
        closeAlerts();

        editor->showSaved(view_->recorder().lastRecordingURL()->toLocalFile());
        QString told;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (QMessageBox* box = openAlert()) {
                told = box->text();
                box->reject();
            }
        });
        closer.start(20);
        click(view_.get(), "Show in Folder");
        QTRY_VERIFY(!told.isEmpty());
        QVERIFY2(told.startsWith("No file manager opened to show") &&
                     told.contains("The reason given: xdg-open isn't installed."),
                 qPrintable(told));
    }

    void elapsedLabelCountsMinutesWithoutCap() {
        const std::pair<double, const char*> cases[] = {
            {0.0, "00:00"},     {59.9, "00:59"}, {60.0, "01:00"},        {3725.0, "62:05"},
            {6000.0, "100:00"}, {-3.0, "00:00"}, {std::nan(""), "00:00"}};
        for (const auto& [seconds, label] : cases) {
            QCOMPARE(ContentView::elapsedLabel(seconds), QString(label));
        }
    }
};

int main(int argc, char** argv) {
    // Playing and showing files here reach for no sound server and no file manager at all,
    // least of all the user's: the addresses point where nothing listens.
    qputenv("PULSE_SERVER", "unix:/nonexistent/sonabrix-test-no-server");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sonabrix-test-no-bus");
    QApplication app(argc, argv);
    StageFlowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "StageFlowTest.moc"
