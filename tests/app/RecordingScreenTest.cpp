#include "LevelMeter.h"
#include "PulsingDot.h"
#include "RecordingStageView.h"
#include "TestSupport.h"

// The recording screen as the user meets it, over a capture platform the test steers.
class RecordingScreenTest : public QObject {
    Q_OBJECT

    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<ContentView> view_;

    RecordingStageView* screen() const { return view_->findChild<RecordingStageView*>(); }

private slots:
    void initTestCase() { QVERIFY(testFolder().isValid()); }

    void init() {
        QVERIFY(view_ = scriptedView(script_ = std::make_shared<CaptureScript>()));
        click(view_.get(), "Record System Audio");
        QTRY_VERIFY(screen() && view_->recorder().isRecording());
    }

    void cleanup() {
        closeAlerts();
        view_.reset();
    }

    void showsTheOutputAndItsLevel() {
        QCOMPARE(screen()->outputText(), QString("Recording “speakers”"));
        QCOMPARE(screen()->meter()->barDb(), LevelMeter::floorDb);
        script_->deliver(0.2, 0.5f);
        QTRY_VERIFY(screen()->meter()->barDb() > -6.1);
        QVERIFY(screen()->meter()->holdDb() >= screen()->meter()->barDb());
        // Once the sound is gone the bar falls off gradually, the peak mark stays a while.
        script_->deliver(0.2, 0.0f);
        QTest::qWait(300);
        QVERIFY(screen()->meter()->barDb() < -6.1 && screen()->meter()->barDb() > -30);
        QVERIFY(screen()->meter()->holdDb() > -6.1);
        QCOMPARE(screen()->statusText(), QString());
    }

    void pausesFromTheButtonAndTheKeyboard() {
        auto* dot = screen()->dot();
        QVERIFY(dot->isPulsing());
        click(view_.get(), "Pause");
        QVERIFY(view_->recorder().isPaused() && !dot->isPulsing());
        QCOMPARE(screen()->pauseButton()->text(), QString("Resume"));
        screen()->stopButton()->setFocus();
        QTest::keyClick(screen()->stopButton(), Qt::Key_Space);
        QVERIFY(!view_->recorder().isPaused() && dot->isPulsing());
        QTest::keyClick(view_.get(), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(view_->recorder().isPaused());
        QTest::keyClick(view_.get(), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(!view_->recorder().isPaused());
        QVERIFY(view_->recorder().isRecording()); // Space didn't press Stop
    }

    void saysWhenNothingIsPlaying() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 3500) {
            script_->deliver(0.1, 0.0f);
            QTest::qWait(100);
        }
        QTRY_COMPARE(screen()->statusText(), QString("Nothing is playing on “speakers” yet."));
        script_->deliver(0.1, 0.2f);
        QTRY_COMPARE(screen()->statusText(), QString());
    }
};

QTEST_MAIN(RecordingScreenTest)
#include "RecordingScreenTest.moc"
