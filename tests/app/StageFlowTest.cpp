#include "PulsingDot.h"
#include "RecordingStageView.h"
#include "StageContainer.h"
#include "TestSupport.h"

// The stages through the real buttons, over a capture platform the test steers.
class StageFlowTest : public QObject {
    Q_OBJECT

    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<ContentView> view_;
    QList<int> visited_;

    void startRecording() {
        click(view_.get(), "Record System Audio");
        QTRY_COMPARE(view_->stageIndex(), 1);
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
        connect(view_.get(), &ContentView::stageChanged, this, [this](int i) { visited_ << i; });
    }

    void cleanup() {
        closeAlerts();
        view_.reset();
    }

    void recordingStageFollowsTheRecorderAndItsClock() {
        auto* container = view_->findChild<StageContainer*>();
        click(view_.get(), "Record System Audio");
        QTRY_VERIFY(view_->recorder().isRecording());
        QCOMPARE(view_->stageIndex(), 1);
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
        QTRY_COMPARE(view_->stageIndex(), 3);
        QCOMPARE(visited_, (QList<int>{1, 2, 3}));
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 2.5}));
        QVERIFY(!view_->recorder().errorMessage());
        QVERIFY(!openAlert());
        const auto file = view_->recorder().lastRecordingURL();
        click(view_.get(), "New Recording");
        QCOMPARE(view_->stageIndex(), 0);
        QVERIFY(QFile::exists(file->toLocalFile()));

        // The second round from the keyboard, to a recording of its own.
        QTest::keyClick(view_.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view_->stageIndex(), 1);
        script_->deliver(1.5, 0.5f);
        QTest::keyClick(view_.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view_->stageIndex(), 3);
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 1.5}));
        QVERIFY(view_->recorder().lastRecordingURL() != file);
        QTest::keyClick(view_.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(view_->stageIndex(), 0);
    }

    void failedStartStaysIdleAndOkClearsTheMessage() {
        script_->unreachable = true;
        click(view_.get(), "Record System Audio");
        const QString shown = recordAlertText();
        QCOMPARE(shown, view_->recorder().errorMessage().value_or("none"));
        QMessageBox* alert = openAlert("Couldn't record");
        QCOMPARE(alert->buttons().size(), 1);
        QCOMPARE(view_->stageIndex(), 0);
        click(alert, "OK");
        QTRY_VERIFY(!openAlert());
        QVERIFY(!view_->recorder().errorMessage());
        QVERIFY(visited_.isEmpty());
    }

    void stopWithoutAudioOrReadableFileReturnsToIdle() {
        startRecording();
        click(view_.get(), "Stop Recording");
        QTRY_COMPARE(view_->stageIndex(), 0);
        QCOMPARE(visited_, (QList<int>{1, 0}));
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
        QTRY_COMPARE(view_->stageIndex(), 0);
        QCOMPARE(visited_, (QList<int>{1, 2, 0}));
        QTRY_VERIFY(openAlert());
        QVERIFY(!vanished.isEmpty());
        QVERIFY(recordAlertText().contains(vanished));
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 0.0}));
    }

    void captureEndingByItselfKeepsOnlyThisRecordingsAudio() {
        startRecording();
        script_->deliver(1.25, 0.5f);
        script_->stopByItself("The sound server went away.");
        QTRY_COMPARE(view_->stageIndex(), 3);
        QCOMPARE(visited_, (QList<int>{1, 2, 3}));
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 1.25}));
        QVERIFY(recordAlertText().contains("The sound server went away."));
        closeAlerts();

        // Now with no audio: never the earlier recording in place of the one that failed.
        click(view_.get(), "New Recording");
        startRecording();
        visited_.clear();
        script_->stopByItself("The sound server went away.");
        QTRY_COMPARE(view_->stageIndex(), 0);
        QCOMPARE(visited_, (QList<int>{0}));
        QVERIFY(!recordAlertText().isEmpty());
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

QTEST_MAIN(StageFlowTest)
#include "StageFlowTest.moc"
