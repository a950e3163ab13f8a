#include "FutureDelivery.h"
#include "IdleStageView.h"
#include "LevelMeter.h"
#include "RecordingStageView.h"
#include "TestSupport.h"

namespace {

// A capture platform with a microphone, or without one, that the test steers.
struct MicrophoneService : CaptureService {
    struct Shared {
        bool hasMicrophone = true;
        Handlers handlers;
        StreamConfiguration configuration;
    };
    std::shared_ptr<Shared> shared;
    explicit MicrophoneService(std::shared_ptr<Shared> s) : shared(std::move(s)) {}

    QFuture<ShareableContent> queryContent() override {
        ShareableContent content{{}, {{"speakers", "speakers.monitor", "Speakers"}}};
        if (shared->hasMicrophone)
            content.microphone = CaptureInput{"mic", "Headset Microphone", 1};
        return readyFuture(content);
    }
    QFuture<CaptureResult> startCapture(const CaptureOutput&, const StreamConfiguration& c,
                                        Handlers handlers) override {
        shared->handlers = std::move(handlers);
        shared->configuration = c;
        return readyFuture(CaptureResult());
    }
    QFuture<CaptureResult> stopCapture() override { return readyFuture(CaptureResult()); }
};

} // namespace

// The microphone switch on the start screen and the microphone's meter while recording.
class MicrophoneScreenTest : public QObject {
    Q_OBJECT

    std::shared_ptr<MicrophoneService::Shared> shared_;
    std::unique_ptr<ContentView> view_;

    void open() {
        view_ = std::make_unique<ContentView>(
            std::make_unique<SystemAudioRecorder>(std::make_unique<MicrophoneService>(shared_)));
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
    }
    IdleStageView* start() const { return view_->findChild<IdleStageView*>(); }
    RecordingStageView* screen() const { return view_->findChild<RecordingStageView*>(); }

private slots:
    void initTestCase() {
        QVERIFY(testFolder().isValid());
        // Settings go to the test's own folder, never the user's.
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY2(!config.isEmpty() && QSettings().fileName().startsWith(config),
                 "XDG_CONFIG_HOME must point at a scratch folder");
        QSettings().clear();
    }

    void init() { shared_ = std::make_shared<MicrophoneService::Shared>(); }

    void cleanup() {
        closeAlerts();
        view_.reset();
    }

    void theSwitchIsOffAtFirstAndRememberedAcrossLaunches() {
        open();
        QCheckBox* toggle = start()->microphoneSwitch();
        QTRY_VERIFY(toggle->isEnabled());
        QVERIFY(!toggle->isChecked() && !view_->recorder().includesMicrophone());
        QCOMPARE(toggle->text(), QString("Include microphone"));
        QTest::mouseClick(toggle, Qt::LeftButton, {}, QPoint(8, toggle->height() / 2));
        QVERIFY(toggle->isChecked() && view_->recorder().includesMicrophone());
        view_.reset();

        open();
        QTRY_VERIFY(start()->microphoneSwitch()->isChecked());
        QVERIFY(view_->recorder().includesMicrophone());
        view_.reset();

        // Without a microphone the switch can't be used and says why; the choice is kept.
        shared_->hasMicrophone = false;
        open();
        QTRY_VERIFY(!start()->microphoneSwitch()->isEnabled());
        QVERIFY(!start()->microphoneSwitch()->isChecked());
        QCOMPARE(start()->microphoneNote(), QString("No microphone found."));
        QVERIFY(QSettings().value("recording/includeMicrophone").toBool());

        // One plugged in while the screen is up: found without leaving it, and named.
        shared_->hasMicrophone = true;
        QTRY_VERIFY_WITH_TIMEOUT(start()->microphoneSwitch()->isEnabled(),
                                 2 * IdleStageView::serverCheckIntervalMs);
        QVERIFY(start()->microphoneSwitch()->isChecked());
        QCOMPARE(start()->microphoneNote(), QString("Microphone: “Headset Microphone”"));
    }

    void theRecordingScreenShowsBothLevelsAndTheMicrophonesLoss() {
        QSettings().setValue("recording/includeMicrophone", true);
        open();
        click(view_.get(), "Record System Audio");
        QTRY_VERIFY(screen() && view_->recorder().isRecording());
        QVERIFY(shared_->configuration.microphone.has_value());
        QVERIFY(screen()->microphoneMeter()->isVisible() && screen()->meter()->isVisible());
        for (int piece = 0; piece < 10; ++piece) {
            const qint64 at = 1'000'000 + piece * 20'000;
            shared_->handlers.samples({48000, 2, std::vector<float>(1920, 0.1f), at});
            shared_->handlers.microphoneSamples({48000, 1, std::vector<float>(960, 0.5f), at});
        }
        QTRY_VERIFY(screen()->microphoneMeter()->barDb() > -6.1);
        QVERIFY(screen()->meter()->barDb() > -20.1 && screen()->meter()->barDb() < -19.9);

        shared_->handlers.microphoneLost(QStringLiteral("Entity killed"));
        QTRY_COMPARE(screen()->statusText(),
                     QString("The microphone is no longer available. Recording continues with "
                             "the computer's sound only."));
        QVERIFY(view_->recorder().isRecording());
    }

    void withTheSwitchOffThereIsOneMeter() {
        QSettings().setValue("recording/includeMicrophone", false);
        open();
        click(view_.get(), "Record System Audio");
        QTRY_VERIFY(screen() && view_->recorder().isRecording());
        QVERIFY(!shared_->configuration.microphone);
        QVERIFY(!screen()->microphoneMeter()->isVisible() && screen()->meter()->isVisible());
    }
};

QTEST_MAIN(MicrophoneScreenTest)
#include "MicrophoneScreenTest.moc"
