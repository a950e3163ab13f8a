#include "AppFlow.h"

#include "EditorModel.h"
#include "FutureDelivery.h"
#include "Logging.h"
#include "ProgramMemory.h"
#include "RecordingLibrary.h"
#include "RecordingNotes.h"
#include "RecordingsFolder.h"
#include "ReplayMemory.h"
#include "SystemAudioRecorder.h"
#include "Waveform.h"

#include <QPointer>
#include <QSettings>
#include <QUrl>
#include <cmath>

namespace {
const QString includeMicrophoneKey = QStringLiteral("recording/includeMicrophone");
} // namespace

AppFlow::AppFlow(std::unique_ptr<SystemAudioRecorder> recorder, QObject* parent)
    : QObject(parent), recorder_(std::move(recorder)) {
    connect(recorder_.get(), &SystemAudioRecorder::isRecordingChanged, this,
            &AppFlow::onIsRecordingChanged);
    // The microphone switch is remembered across launches.
    recorder_->setIncludesMicrophone(QSettings().value(includeMicrophoneKey, false).toBool());
    connect(recorder_.get(), &SystemAudioRecorder::includesMicrophoneChanged, this,
            [](bool includes) { QSettings().setValue(includeMicrophoneKey, includes); });
    // So is the program to record, and the programs seen playing, to choose among later.
    recorder_->setProgram(ProgramMemory::chosen());
    connect(recorder_.get(), &SystemAudioRecorder::playingProgramsChanged, this,
            &ProgramMemory::noteSeen);
    // And the replay, which starts listening again at launch.
    recorder_->setReplayMinutes(ReplayMemory::minutes());
    connect(recorder_.get(), &SystemAudioRecorder::replayMinutesChanged, this, [](int minutes) {
        qCInfo(lcApp) << "Replay: keeping the last" << minutes << "minutes (0: off)";
        ReplayMemory::setMinutes(minutes);
    });
}

AppFlow::~AppFlow() {
    rememberSelection();
    // Nothing the recorder says while it goes may reach a flow that is half taken down.
    recorder_->disconnect(this);
}

TimeRange AppFlow::trimRange() const {
    return editor_ ? editor_->trimRange() : TimeRange{};
}

bool AppFlow::toggleRecording(const std::optional<CaptureProgram>& program) {
    switch (stage_.kind) {
    case Stage::Kind::recording:
        stopRecording();
        return true;
    case Stage::Kind::idle:
        start(program);
        return true;
    case Stage::Kind::recorded:
        // The recording in the editor stays in the list, as after Ctrl+R there.
        newRecording();
        start(program);
        return true;
    case Stage::Kind::analysing:
        break;
    }
    return false;
}

void AppFlow::startRecording() {
    start(std::nullopt);
}

void AppFlow::start(const std::optional<CaptureProgram>& program) {
    if (!recorder_->isRecording()) {
        if (program)
            recorder_->setProgram(program);
        const std::optional<CaptureProgram> recorded = recorder_->program();
        qCInfo(lcApp).noquote() << "Recording"
                                << (recorded ? "the program " + recorded->displayName()
                                             : QStringLiteral("the whole computer"));
    }
    // The recorder never fails outward: a failed start shows up as its message, a good one
    // as isRecording turning true. A program asked for this once gives way to the start
    // screen's choice when no recording came of it. The start finishes on the main thread.
    recorder_->start().then([flow = QPointer<AppFlow>(this)] {
        if (flow && !flow->recorder_->isRecording())
            flow->recorder_->setProgram(ProgramMemory::chosen());
    });
}

void AppFlow::chooseProgram(const std::optional<CaptureProgram>& program) {
    ProgramMemory::setChosen(program);
    if (!recorder_->isRecording())
        recorder_->setProgram(program);
}

void AppFlow::stopRecording() {
    // The recorder turning off, whether by this stop or by itself, leads on from here.
    recorder_->stop();
}

void AppFlow::togglePause() {
    if (stage_.is(Stage::Kind::recording))
        recorder_->setPaused(!recorder_->isPaused());
}

void AppFlow::newRecording() {
    if (stage_.is(Stage::Kind::recorded))
        setStage(Stage::idle());
}

void AppFlow::setStage(Stage stage) {
    qCInfo(lcApp) << "Stage:" << Stage::name(stage.kind);
    rememberSelection();
    if (!stage.is(Stage::Kind::recorded))
        editor_.reset();
    stage_ = std::move(stage);
    emit stageChanged(stage_);
}

void AppFlow::onIsRecordingChanged() {
    if (recorder_->isRecording()) {
        if (stage_.is(Stage::Kind::idle))
            setStage(Stage::recording());
        return;
    }
    // The next recording records what the start screen shows.
    recorder_->setProgram(ProgramMemory::chosen());
    if (!stage_.is(Stage::Kind::recording))
        return;
    // The recorder publishes this recording's file, or none, before it turns off; whatever
    // was recorded is worth keeping, even when the capture ended by itself.
    const std::optional<QUrl> url = recorder_->lastRecordingURL();
    if (!url) {
        setStage(Stage::idle());
        return;
    }
    receive(url->toLocalFile(), recorder_->lastRecordingDate(), true);
}

void AppFlow::receive(const QString& path, std::optional<QDateTime> date, bool opens) {
    // From now on the list knows it ended cleanly, and when it began.
    RecordingLibrary::markFinished(path, date);
    if (opens)
        analyse(Stage::analysing(path, std::move(date)));
}

void AppFlow::saveReplay(std::optional<double> lastSeconds) {
    qCInfo(lcApp) << "Saving the replay's last" << (lastSeconds ? *lastSeconds : -1.0)
                  << "s (-1: all kept)";
    deliverTo(this, recorder_->saveReplay(lastSeconds, ReplayMemory::startsAfresh()),
              [this](const SystemAudioRecorder::ReplaySave& save) {
                  if (!save.url) {
                      const QString message =
                          save.errorMessage.value_or(tr("The kept sound couldn't be saved."));
                      qCWarning(lcApp) << "Replay not saved:" << message;
                      emit replayNotSaved(message);
                      return;
                  }
                  const QString path = save.url->toLocalFile();
                  // Only the start screen and the editor give way; a recording or an opening
                  // under way goes on, and the new recording waits in the list.
                  const bool opens =
                      stage_.is(Stage::Kind::idle) || stage_.is(Stage::Kind::recorded);
                  qCInfo(lcApp) << "Replay saved:" << save.seconds << "s in" << path
                                << (opens ? "- opening it" : "- kept in the list");
                  receive(path, save.startDate, opens);
                  // What was saved is kept even when some of it couldn't be read back.
                  emit replaySaved(path, save.seconds, opens, save.errorMessage);
              });
}

void AppFlow::openRecording(const QString& path, std::optional<QDateTime> date) {
    if (!stage_.is(Stage::Kind::idle))
        return;
    qCInfo(lcApp) << "Opening" << path;
    analyse(Stage::analysing(path, std::move(date)));
}

void AppFlow::analyse(Stage analysing) {
    lastRecordingPath_ = analysing.path;
    lastRecordingDate_ = analysing.date;
    // A recording with saved peaks opens at once; others are read on the pool meanwhile.
    if (std::optional<Waveform::Data> saved =
            Waveform::fromSavedPeaks(analysing.path, waveformPeakCount)) {
        open(analysing, std::move(saved));
        return;
    }
    setStage(analysing);
    deliverTo(this, Waveform::extractPeaks(analysing.path, waveformPeakCount),
              [this, analysing](std::optional<Waveform::Data> waveform) {
                  open(analysing, std::move(waveform));
              });
}

void AppFlow::open(const Stage& analysing, std::optional<Waveform::Data> waveform) {
    const double duration = waveform ? waveform->duration() : 0.0;
    if (!waveform || !std::isfinite(duration) || duration < 0.0) {
        failAnalysis(analysing.path);
        return;
    }
    qCInfo(lcAnalysis).noquote() << "Analysed" << analysing.path << "-" << waveform->totalFrames
                                 << "frames at" << waveform->sampleRate << "Hz,"
                                 << waveform->peaks.size() << "peaks of" << waveform->framesPerPeak
                                 << "frames";
    qCInfo(lcApp) << "Opened recording of" << duration << "s";
    // The whole recording starts selected, or the selection it had when last left.
    const auto notes = RecordingNotes::load(analysing.path);
    const std::optional<TimeRange> remembered = notes ? notes->selection : std::nullopt;
    const TimeRange range =
        remembered && remembered->upper <= duration ? *remembered : TimeRange{0.0, duration};
    editor_ = std::make_shared<EditorModel>(std::move(*waveform), range, analysing.path);
    setStage(Stage::recorded(analysing, range));
}

void AppFlow::failAnalysis(const QString& path) {
    // Going back without a word would look as if the recording never happened.
    const QString problem = tr("Couldn't read the recording back from %1.").arg(path);
    qCWarning(lcAnalysis) << "Analysis found no audio in" << path;
    const std::optional<QString> earlier = recorder_->errorMessage();
    recorder_->setErrorMessage(earlier ? *earlier + QStringLiteral("\n\n") + problem : problem);
    setStage(Stage::idle());
}

void AppFlow::recordingRenamed(const QString& oldPath, const QString& newPath) {
    if (lastRecordingPath_ == oldPath)
        lastRecordingPath_ = newPath;
}

void AppFlow::rememberSelection() {
    if (stage_.is(Stage::Kind::recorded) && editor_)
        RecordingLibrary::rememberSelection(stage_.path, editor_->trimRange());
}

std::optional<AppFlow::Interrupted> AppFlow::takeInterruptedRecordings() {
    std::optional<Interrupted> found;
    for (const Recording& recording : RecordingLibrary::scan(RecordingsFolder::path())) {
        if (recording.hasNotes)
            continue;
        RecordingLibrary::markAnnounced(recording.path);
        if (!found)
            found = Interrupted{recording.path, 0};
        ++found->count;
    }
    return found;
}

QString AppFlow::defaultFileName() const {
    if (const auto notes = RecordingNotes::load(lastRecordingPath_);
        notes && !notes->title.isEmpty()) {
        // A title may hold what a file name can't.
        return QString(notes->title).replace(QLatin1Char('/'), QLatin1Char('-'));
    }
    const QDateTime start = lastRecordingDate_.value_or(QDateTime::currentDateTime());
    return tr("Recording %1")
        .arg(start.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")));
}

QString AppFlow::title() const {
    const auto notes = RecordingNotes::load(lastRecordingPath_);
    return notes && !notes->title.isEmpty() ? notes->title : defaultFileName();
}
