#include "FutureDelivery.h"
#include "IdleStageView.h"
#include "ProgramMemory.h"
#include "RecordingStageView.h"
#include "TestSupport.h"

namespace {

// A capture platform whose playing programs the test sets, and that tells what a start asked
// for; whether the program plays is told through the handlers, as the real one tells it.
struct ProgramService : CaptureService {
    struct Shared {
        QList<CaptureProgram> programs;
        Handlers handlers;
        std::optional<StreamConfiguration> configuration;
    };
    std::shared_ptr<Shared> shared;
    explicit ProgramService(std::shared_ptr<Shared> s) : shared(std::move(s)) {}

    QFuture<ShareableContent> queryContent() override {
        ShareableContent content{{}, {{"speakers", "speakers.monitor", "Speakers"}}};
        content.programs = shared->programs;
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

const CaptureProgram firefox{"Firefox", "firefox", "firefox"};
const CaptureProgram spotify{"Spotify", "spotify", ""};

QStringList entries(const QComboBox* choice) {
    QStringList texts;
    for (int index = 0; index < choice->count(); ++index) {
        if (choice->itemData(index, Qt::AccessibleDescriptionRole).toString() != "separator")
            texts << choice->itemText(index);
    }
    return texts;
}

} // namespace

// What to record, on the start screen and from the command line, and the recording screen
// naming the program and waiting for it.
class ProgramChoiceTest : public QObject {
    Q_OBJECT

    std::shared_ptr<ProgramService::Shared> shared_;
    std::unique_ptr<ContentView> view_;

    // A new window, as at a new launch, with the settings as they are.
    void open() {
        view_ = std::make_unique<ContentView>(
            std::make_unique<SystemAudioRecorder>(std::make_unique<ProgramService>(shared_)));
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
    }
    IdleStageView* start() const { return view_->findChild<IdleStageView*>(); }
    QComboBox* choice() const { return start() ? start()->programChoice() : nullptr; }
    RecordingStageView* screen() const { return view_->findChild<RecordingStageView*>(); }
    QString subtitle() const {
        for (const QLabel* label : start()->findChildren<QLabel*>())
            if (label->text().startsWith("Captures"))
                return label->text();
        return {};
    }
    void record() {
        click(view_.get(), "Record System Audio");
        QTRY_VERIFY(screen() && view_->recorder().isRecording());
    }
    // A second of sound from the program, so that the recording has something in it.
    void play() {
        shared_->handlers.samples({48000, 2, std::vector<float>(96000, 0.25f), 1'000'000});
    }
    void stop() {
        play();
        click(view_.get(), "Stop Recording");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        view_->newRecordingAction()->trigger();
        QTRY_VERIFY(start());
    }

private slots:
    void initTestCase() {
        QVERIFY(testFolder().isValid());
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY2(!config.isEmpty() && QSettings().fileName().startsWith(config),
                 "XDG_CONFIG_HOME must point at a scratch folder");
    }

    void init() {
        QSettings().clear();
        shared_ = std::make_shared<ProgramService::Shared>();
    }

    void cleanup() {
        closeAlerts();
        view_.reset();
    }

    void theChoiceListsThePlayingProgramsAndIsRememberedAcrossLaunches() {
        shared_->programs = {firefox, spotify};
        open();
        QTRY_COMPARE(entries(choice()), QStringList({"Whole computer", "Firefox", "Spotify"}));
        QCOMPARE(choice()->accessibleName(), QString("Record from"));
        QCOMPARE(choice()->currentText(), QString("Whole computer"));
        QCOMPARE(subtitle(), QString("Captures whatever's playing on your computer."));
        QVERIFY(!view_->recorder().program());

        // Chosen with the keys: Tab from the record button, then down past the separator.
        start()->recordButton()->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), choice());
        QTest::keyClick(choice(), Qt::Key_Down);
        QTest::keyClick(choice(), Qt::Key_Down);
        QCOMPARE(choice()->currentText(), QString("Spotify"));
        QCOMPARE(view_->recorder().program(), std::optional(spotify));
        QCOMPARE(subtitle(), QString("Captures only what “Spotify” plays."));

        record();
        QVERIFY(shared_->configuration && shared_->configuration->program == spotify);
        QCOMPARE(screen()->outputText(), QString("Recording “Spotify”"));
        stop();
        QCOMPARE(choice()->currentText(), QString("Spotify"));
        view_.reset();

        // Spotify has gone quiet by the next launch: still chosen, listed as not playing.
        shared_->programs = {firefox};
        open();
        QTRY_COMPARE(entries(choice()),
                     QStringList({"Whole computer", "Firefox", "Spotify (not playing)"}));
        QCOMPARE(choice()->currentText(), QString("Spotify (not playing)"));
        QCOMPARE(view_->recorder().program(), std::optional(spotify));

        // Back to the whole computer, and so at the next launch.
        choice()->setFocus();
        QTest::keyClick(choice(), Qt::Key_Home);
        QCOMPARE(choice()->currentText(), QString("Whole computer"));
        QVERIFY(!view_->recorder().program());
        view_.reset();
        open();
        QTRY_COMPARE(entries(choice()).size(), 3);
        QCOMPARE(choice()->currentText(), QString("Whole computer"));
        QVERIFY(!view_->recorder().program());
    }

    void theProgramsSeenAreTheMostRecentFew() {
        QList<CaptureProgram> many;
        for (int i = 0; i < ProgramMemory::seenLimit + 2; ++i)
            many << CaptureProgram{QString("Player %1").arg(i), "player", ""};
        ProgramMemory::noteSeen(many);
        QCOMPARE(ProgramMemory::seen(), many.first(ProgramMemory::seenLimit));
        // The ones playing now come first; one binary's players stay apart by their names.
        ProgramMemory::noteSeen({spotify, many[3]});
        const QList<CaptureProgram> seen = ProgramMemory::seen();
        QCOMPARE(seen.size(), ProgramMemory::seenLimit);
        QCOMPARE(seen.mid(0, 4), QList<CaptureProgram>({spotify, many[3], many[0], many[1]}));
        QVERIFY(!seen.contains(many[9]));
    }

    // The command line's program, by one word, is for that recording: the start screen's
    // choice comes back after it.
    void aProgramAskedForOnceLeavesTheChoiceAlone() {
        shared_->programs = {firefox};
        open();
        QTRY_COMPARE(entries(choice()).size(), 2);
        view_->toggleRecordingOf(CaptureProgram::named("VLC"));
        QTRY_VERIFY(screen() && view_->recorder().isRecording());
        QCOMPARE(screen()->statusText(), QString());
        QVERIFY(shared_->configuration && shared_->configuration->program);
        QVERIFY(shared_->configuration->program->byNameOrBinary);
        QVERIFY(shared_->configuration->program->matches({"vlc", "", ""}));
        shared_->handlers.programPlaying(false);
        QTRY_COMPARE(screen()->statusText(), QString("Waiting for VLC…"));
        QCOMPARE(screen()->outputText(), QString("Recording “VLC”"));
        shared_->handlers.programPlaying(true);
        QTRY_COMPARE(screen()->statusText(), QString());

        play();
        view_->toggleRecordingOf(CaptureProgram::named("VLC"));
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        QVERIFY(!view_->recorder().program());
        QVERIFY(!ProgramMemory::chosen());
        view_->newRecordingAction()->trigger();
        QTRY_VERIFY(start());
        QCOMPARE(choice()->currentText(), QString("Whole computer"));
    }
};

QTEST_MAIN(ProgramChoiceTest)
#include "ProgramChoiceTest.moc"
