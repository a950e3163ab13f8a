#include "AppFlow.h"

#include "EditorModel.h"
#include "RecordingNotes.h"
#include "RecordingsFolder.h"
#include "SoundTestSupport.h"
#include "TestSupport.h"

// The app's road without its widgets: what each stage carries, the editor the flow owns and
// the library notes it keeps, over a recorder on a capture platform the test steers and real
// files.
class AppFlowTest : public QObject {
    Q_OBJECT

    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<AppFlow> flow_;
    QList<Stage::Kind> visited_;

    // A recording in the folder as the app would have left it: a finished one has notes.
    static QString toneRecording(const QString& name, std::vector<double> tonesHz) {
        QDir().mkpath(RecordingsFolder::path());
        const QString path = QDir(RecordingsFolder::path()).filePath(name);
        if (!writeToneFile(path, tonesHz, 48000, 2, SF_FORMAT_CAF | SF_FORMAT_FLOAT))
            return {};
        RecordingNotes().save(path);
        return path;
    }

    void recordThroughTheFlow(double seconds) {
        flow_->startRecording();
        QTRY_COMPARE(flow_->stage().kind, Stage::Kind::recording);
        script_->deliver(seconds, 0.5f);
        flow_->stopRecording();
        QTRY_COMPARE(flow_->stage().kind, Stage::Kind::recorded);
    }

private slots:
    void initTestCase() { QVERIFY(testFolder().isValid()); }

    void init() {
        script_ = std::make_shared<CaptureScript>();
        flow_ = std::make_unique<AppFlow>(std::make_unique<SystemAudioRecorder>(
            std::make_unique<ScriptedCaptureService>(script_)));
        visited_.clear();
        connect(flow_.get(), &AppFlow::stageChanged, this,
                [this](const Stage& stage) { visited_ << stage.kind; });
    }

    void cleanup() { flow_.reset(); }

    void aRecordingReachesTheEditorWithItsFileDateAndRange() {
        QCOMPARE(flow_->stage().kind, Stage::Kind::idle);
        QVERIFY(!flow_->editor());
        recordThroughTheFlow(1.5);
        // Opened from the peaks the writer saved beside it: no analysing stage.
        QCOMPARE(visited_, (QList<Stage::Kind>{Stage::Kind::recording, Stage::Kind::recorded}));
        const Stage& stage = flow_->stage();
        const SystemAudioRecorder& recorder = flow_->recorder();
        QCOMPARE(stage.path, recorder.lastRecordingURL()->toLocalFile());
        QVERIFY(stage.date && stage.date == recorder.lastRecordingDate());
        QCOMPARE(stage.range, (TimeRange{0, 1.5}));
        QVERIFY(flow_->editor());
        QCOMPARE(flow_->editor()->sourcePath(), stage.path);
        QCOMPARE(flow_->trimRange(), (TimeRange{0, 1.5}));
        // Finished: the list no longer takes it for an interrupted one.
        QVERIFY(RecordingNotes::load(stage.path));
        QVERIFY(flow_->defaultFileName().startsWith(
            "Recording " + stage.date->toLocalTime().toString("yyyy-MM-dd HH-mm")));
    }

    void leavingTheEditorRemembersTheSelectionForTheNextOpening() {
        recordThroughTheFlow(2.0);
        const Stage recorded = flow_->stage();
        std::weak_ptr<EditorModel> editor = flow_->editor();
        editor.lock()->setTrimRange({0.25, 1.0});
        visited_.clear();
        flow_->newRecording();
        QCOMPARE(visited_, QList<Stage::Kind>{Stage::Kind::idle});
        QVERIFY(editor.expired()); // nobody shows it any more
        QCOMPARE(flow_->trimRange(), (TimeRange{}));
        QCOMPARE(RecordingNotes::load(recorded.path)->selection, (TimeRange{0.25, 1.0}));

        const QDateTime date = QDateTime::fromString("2024-05-06T07:08:09", Qt::ISODate);
        flow_->openRecording(recorded.path, date);
        QTRY_COMPARE(flow_->stage().kind, Stage::Kind::recorded);
        QCOMPARE(flow_->stage().range, (TimeRange{0.25, 1.0}));
        QCOMPARE(flow_->trimRange(), (TimeRange{0.25, 1.0}));
        QCOMPARE(flow_->stage().date, std::optional(date));
        QCOMPARE(flow_->defaultFileName(), QString("Recording 2024-05-06 07-08-09"));

        // Recording again from the editor passes by the start, which remembers the selection.
        flow_->editor()->setTrimRange({0.5, 1.5});
        visited_.clear();
        QVERIFY(flow_->toggleRecording());
        QTRY_COMPARE(flow_->stage().kind, Stage::Kind::recording);
        QCOMPARE(visited_, (QList<Stage::Kind>{Stage::Kind::idle, Stage::Kind::recording}));
        QCOMPARE(RecordingNotes::load(recorded.path)->selection, (TimeRange{0.5, 1.5}));
    }

    void openingAFileOfTheFolderWaitsForItsAnalysis() {
        const QString path = toneRecording("opened.caf", {440, 0});
        QVERIFY(!path.isEmpty());
        // A selection beyond the file's end (it was replaced) gives way to the whole file.
        RecordingNotes notes;
        notes.selection = TimeRange{1.0, 9.0};
        QVERIFY(notes.save(path));
        // Nothing else starts while it is being opened.
        const QString other = toneRecording("other.caf", {440});
        bool refused = false;
        connect(flow_.get(), &AppFlow::stageChanged, this, [&](const Stage& stage) {
            if (stage.is(Stage::Kind::analysing)) {
                QCOMPARE(stage.path, path);
                refused = !flow_->toggleRecording();
                flow_->openRecording(other, std::nullopt);
            }
        });
        flow_->openRecording(path, std::nullopt);
        QTRY_COMPARE(flow_->stage().kind, Stage::Kind::recorded);
        QCOMPARE(visited_, (QList<Stage::Kind>{Stage::Kind::analysing, Stage::Kind::recorded}));
        QVERIFY(refused);
        QCOMPARE(flow_->stage().path, path);
        QCOMPARE(flow_->trimRange(), (TimeRange{0, 2.0}));
        QVERIFY(!flow_->recorder().isRecording());
        QVERIFY(!flow_->editor()->isSilent());
    }

    void aFileThatIsNoRecordingGoesBackToTheStartAndSaysWhich() {
        QDir().mkpath(RecordingsFolder::path());
        const QString path = QDir(RecordingsFolder::path()).filePath("notes.caf");
        QFile text(path);
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not audio") > 0);
        text.close();
        flow_->openRecording(path, std::nullopt);
        QTRY_COMPARE(flow_->stage().kind, Stage::Kind::idle);
        QCOMPARE(visited_, (QList<Stage::Kind>{Stage::Kind::analysing, Stage::Kind::idle}));
        QVERIFY(!flow_->editor());
        QVERIFY(flow_->recorder().errorMessage().value_or("").contains(path));
        QCOMPARE(flow_->lastRecordingPath(), path);
    }
};

QTEST_GUILESS_MAIN(AppFlowTest)
#include "AppFlowTest.moc"
