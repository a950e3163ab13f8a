#include "ContentView.h"

#include "Accessibility.h"
#include "AnalyzingStageView.h"
#include "AppStyle.h"
#include "ButtonKeys.h"
#include "Divider.h"
#include "FutureDelivery.h"
#include "IdleStageView.h"
#include "Logging.h"
#include "MessageAlert.h"
#include "RecordedStageView.h"
#include "RecordingLibrary.h"
#include "RecordingListModel.h"
#include "RecordingListView.h"
#include "RecordingNotes.h"
#include "RecordingStageView.h"
#include "RecordingsFolder.h"
#include "SaveFlow.h"
#include "SelectionPlayer.h"
#include "StageContainer.h"
#include "StatusNote.h"
#include "SystemAudioRecorder.h"
#include "TrimView.h"

#include <QAction>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace {

const QString includeMicrophoneKey = QStringLiteral("recording/includeMicrophone");

} // namespace

ContentView::ContentView(QWidget* parent)
    : ContentView(std::make_unique<SystemAudioRecorder>(), parent) {}

ContentView::ContentView(std::unique_ptr<SystemAudioRecorder> recorder, QWidget* parent)
    : QWidget(parent), recorder_(std::move(recorder)), stageContainer_(new StageContainer(this)),
      saveFlow_(new SaveFlow(this)), recordings_(new RecordingListModel(this)),
      recordErrorAlert_(new MessageAlert(this, tr("Couldn't record"),
                                         [this] { recorder_->setErrorMessage(std::nullopt); })) {
    ButtonKeys::install();
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(stageContainer_, 1);
    root->addWidget(new Divider(this));
    root->addWidget(createStatusStrip());
    Accessibility::orderChildrenAsLaidOut(this);
    stageContainer_->setStageView(createStageView());

    connect(recorder_.get(), &SystemAudioRecorder::isRecordingChanged, this,
            &ContentView::onIsRecordingChanged);
    connect(recorder_.get(), &SystemAudioRecorder::elapsedTimeChanged, this,
            &ContentView::onElapsedTimeChanged);
    connect(recorder_.get(), &SystemAudioRecorder::errorMessageChanged, this,
            [this](const std::optional<QString>& message) {
                if (message) {
                    qCWarning(lcApp) << "Recording problem:" << *message;
                }
                recordErrorAlert_->sync(message);
            });
    // The microphone switch is remembered across launches.
    recorder_->setIncludesMicrophone(QSettings().value(includeMicrophoneKey, false).toBool());
    connect(recorder_.get(), &SystemAudioRecorder::includesMicrophoneChanged, this,
            [](bool includes) { QSettings().setValue(includeMicrophoneKey, includes); });
    connect(saveFlow_, &SaveFlow::isExportingChanged, this, &ContentView::showSaveState);
    connect(saveFlow_, &SaveFlow::progressChanged, this, &ContentView::showSaveState);
    connect(saveFlow_, &SaveFlow::saved, this, [this](const QUrl& destination) {
        if (auto* view = qobject_cast<RecordedStageView*>(stageContainer_->stageView())) {
            view->showSaved(destination.toLocalFile());
        }
    });
    createActions();
}

ContentView::~ContentView() {
    rememberSelection();
    // The recorder goes before the widgets; nothing it says while going may reach a view
    // that is half taken down.
    recorder_->disconnect(this);
}

int ContentView::stageIndex() const {
    return stage_.index();
}

TimeRange ContentView::trimRange() const {
    return trimRange_;
}

SystemAudioRecorder& ContentView::recorder() {
    return *recorder_;
}

SaveFlow& ContentView::saveFlow() {
    return *saveFlow_;
}

void ContentView::toggleRecording() {
    if (stage_.is<Stage::Recording>()) {
        stopRecording();
    } else if (stage_.is<Stage::Idle>()) {
        startRecording();
    } else if (stage_.is<Stage::Recorded>()) {
        // The recording in the editor stays in the list, as after Ctrl+R there.
        newRecording();
        startRecording();
    } else {
        statusNote_->announce(tr("The recording is still being opened; try again in a moment."));
    }
}

QString ContentView::defaultFileName() const {
    if (const auto notes = RecordingNotes::load(lastRecordingPath_);
        notes && !notes->title.isEmpty()) {
        // A title may hold what a file name can't.
        return QString(notes->title).replace(QLatin1Char('/'), QLatin1Char('-'));
    }
    const QDateTime start = recordingDate_.value_or(QDateTime::currentDateTime());
    return tr("Recording %1")
        .arg(start.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")));
}

QString ContentView::elapsedLabel(double elapsedTimeSeconds) {
    // The recorder only publishes finite, non-negative times; anything else reads as zero
    // rather than overflowing the conversion.
    constexpr double largestShownSeconds = 1e12;
    const double seconds = std::isfinite(elapsedTimeSeconds)
                               ? std::clamp(elapsedTimeSeconds, 0.0, largestShownSeconds)
                               : 0.0;
    const auto wholeSeconds = static_cast<long long>(seconds);
    return QString::asprintf("%02lld:%02lld", wholeSeconds / 60, wholeSeconds % 60);
}

QWidget* ContentView::createStatusStrip() {
    // A status bar's place, under the buttons the user just pressed: the note about what
    // happened appears there rather than in a corner at the top. Always as high as one line,
    // so nothing moves when a note comes and goes.
    auto* strip = new QWidget(this);
    auto* row = new QHBoxLayout(strip);
    constexpr int verticalMargin = 6;
    row->setContentsMargins(16, verticalMargin, 16, verticalMargin);
    statusNote_ = new StatusNote(strip);
    row->addWidget(statusNote_);
    row->addStretch();
    strip->setFixedHeight(statusNote_->fontMetrics().lineSpacing() + 2 * verticalMargin + 2);
    return strip;
}

void ContentView::setStage(Stage stage) {
    static constexpr const char* names[] = {"idle", "recording", "analysing", "editor"};
    qCInfo(lcApp) << "Stage:" << names[stage.index()];
    rememberSelection();
    stage_ = std::move(stage);
    stageContainer_->setStageView(createStageView());
    emit stageChanged(stage_.index());
}

QWidget* ContentView::createStageView() {
    if (stage_.is<Stage::Idle>()) {
        recordings_->reload(RecordingsFolder::path());
        auto* view = new IdleStageView(*recorder_, recordings_);
        connect(view, &IdleStageView::recordRequested, this, &ContentView::startRecording);
        connect(view, &IdleStageView::openRequested, this, &ContentView::openRecording);
        if (RecordingListView* list = view->recordingList()) {
            list->select(lastRecordingPath_);
            connect(list, &RecordingListView::selectionChanged, this, &ContentView::updateActions);
            connect(list, &RecordingListView::recordingRenamed, this,
                    [this](const QString& oldPath, const QString& newPath) {
                        if (lastRecordingPath_ == oldPath) {
                            lastRecordingPath_ = newPath;
                        }
                    });
        }
        return view;
    }
    if (stage_.is<Stage::Recording>()) {
        auto* view = new RecordingStageView(*recorder_);
        view->setElapsedText(elapsedLabel(recorder_->elapsedTime()));
        connect(view, &RecordingStageView::stopRequested, this, &ContentView::stopRecording);
        return view;
    }
    if (stage_.is<Stage::Analyzing>()) {
        return new AnalyzingStageView;
    }
    const auto* recorded = stage_.as<Stage::Recorded>();
    auto* view = new RecordedStageView(recorded->path, recorded->waveform, trimRange_);
    view->setExporting(saveFlow_->isExporting());
    view->setSaveProgress(saveFlow_->progressPercent());
    connect(view, &RecordedStageView::rangeChanged, this, &ContentView::setTrimRange);
    connect(view, &RecordedStageView::newRecordingRequested, this, &ContentView::newRecording);
    connect(view, &RecordedStageView::saveRequested, this, &ContentView::save);
    connect(view, &RecordedStageView::cancelSaveRequested, saveFlow_, &SaveFlow::cancel);
    connect(&view->trimView()->player(), &SelectionPlayer::isPlayingChanged, this,
            &ContentView::updateActions);
    connect(&view->trimView()->player(), &SelectionPlayer::failed, this,
            [this](const QString& reason) {
                tell(tr("Couldn't play the selection"),
                     tr("The sound server didn't take the sound. Check that sound works on "
                        "your computer, then press Play again.\n\nThe reason given: %1")
                         .arg(reason));
            });
    return view;
}

void ContentView::createActions() {
    // Actions rather than bare shortcuts, so the window's menus show the same commands with
    // their keys, enabled only where they can act.
    const auto makeAction = [this](const QKeySequence& keys) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        addAction(action);
        return action;
    };
    recordAction_ = makeAction(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(recordAction_, &QAction::triggered, this, &ContentView::toggleRecording);
    pauseAction_ = makeAction(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(pauseAction_, &QAction::triggered, this, [this] {
        if (stage_.is<Stage::Recording>()) {
            recorder_->setPaused(!recorder_->isPaused());
        }
    });
    connect(recorder_.get(), &SystemAudioRecorder::isPausedChanged, this,
            &ContentView::updateActions);
    // Play and the list's keys belong to their widgets, which answer them where they have the
    // focus; the menu items show them and do the same.
    playAction_ = new QAction(this);
    connect(playAction_, &QAction::triggered, this, [this] {
        if (TrimView* view = trimView()) {
            view->togglePlayback();
        }
    });
    autoTrimAction_ = makeAction(QKeySequence(Qt::CTRL | Qt::Key_T));
    autoTrimAction_->setText(tr("&Auto-Trim Silence"));
    connect(autoTrimAction_, &QAction::triggered, this, [this] {
        if (TrimView* view = trimView()) {
            view->autoTrim();
        }
    });
    const auto listAction = [this](const QString& text, void (RecordingListView::*command)()) {
        auto* action = new QAction(text, this);
        connect(action, &QAction::triggered, this, [this, command] {
            if (RecordingListView* list = recordingList()) {
                (list->*command)();
            }
        });
        return action;
    };
    renameAction_ = listAction(tr("Rena&me Recording…"), &RecordingListView::renameSelected);
    showInFolderAction_ =
        listAction(tr("Show in &Folder"), &RecordingListView::showSelectedInFolder);
    trashAction_ = listAction(tr("Move to Tras&h…"), &RecordingListView::trashSelected);
    saveAction_ = makeAction(QKeySequence::Save);
    saveAction_->setText(tr("&Save Trimmed Audio…"));
    connect(saveAction_, &QAction::triggered, this, &ContentView::save);
    newRecordingAction_ = makeAction(QKeySequence::New);
    newRecordingAction_->setText(tr("&New Recording"));
    connect(newRecordingAction_, &QAction::triggered, this, [this] {
        if (stage_.is<Stage::Recorded>()) {
            newRecording();
        }
    });
    connect(this, &ContentView::stageChanged, this, &ContentView::updateActions);
    connect(saveFlow_, &SaveFlow::isExportingChanged, this, &ContentView::updateActions);
    updateActions();
}

void ContentView::updateActions() {
    const bool recording = stage_.is<Stage::Recording>();
    const bool recorded = stage_.is<Stage::Recorded>();
    recordAction_->setText(recording ? tr("S&top Recording") : tr("&Record System Audio"));
    recordAction_->setEnabled(!stage_.is<Stage::Analyzing>());
    pauseAction_->setText(recording && recorder_->isPaused() ? tr("Res&ume Recording")
                                                             : tr("&Pause Recording"));
    pauseAction_->setEnabled(recording);
    saveAction_->setEnabled(recorded && !saveFlow_->isExporting());
    newRecordingAction_->setEnabled(recorded);
    const TrimView* trim = trimView();
    // The key goes after a tab, where menus show keys: the trim view answers it itself.
    playAction_->setText(
        (trim && trim->isPlaying() ? tr("Stop P&layback") : tr("P&lay Selection")) +
        QLatin1Char('\t') + playKey().toString(QKeySequence::NativeText));
    playAction_->setEnabled(trim != nullptr);
    autoTrimAction_->setEnabled(trim != nullptr);
    const RecordingListView* list = recordingList();
    const bool selected = list && !list->selectedPath().isEmpty();
    for (QAction* action : {renameAction_, showInFolderAction_, trashAction_}) {
        action->setEnabled(selected);
    }
    renameAction_->setText(tr("Rena&me Recording…") + QLatin1Char('\t') +
                           renameKey().toString(QKeySequence::NativeText));
    trashAction_->setText(tr("Move to Tras&h…") + QLatin1Char('\t') +
                          trashKey().toString(QKeySequence::NativeText));
}

TrimView* ContentView::trimView() const {
    const auto* view = qobject_cast<RecordedStageView*>(stageContainer_->stageView());
    return view ? view->trimView() : nullptr;
}

RecordingListView* ContentView::recordingList() const {
    const auto* view = qobject_cast<IdleStageView*>(stageContainer_->stageView());
    return view ? view->recordingList() : nullptr;
}

void ContentView::startRecording() {
    // The recorder never fails outward: a failed start shows up as its message, a good one
    // as isRecording turning true.
    recorder_->start();
}

void ContentView::stopRecording() {
    // The recorder turning off, whether by this stop or by itself, leads on from here.
    recorder_->stop();
}

void ContentView::onIsRecordingChanged() {
    if (recorder_->isRecording()) {
        if (stage_.is<Stage::Idle>()) {
            setStage(Stage::recording());
        }
        return;
    }
    if (!stage_.is<Stage::Recording>()) {
        return;
    }
    // The recorder publishes this recording's file, or none, before it turns off; whatever
    // was recorded is worth keeping, even when the capture ended by itself.
    if (const std::optional<QUrl> url = recorder_->lastRecordingURL()) {
        const QString path = url->toLocalFile();
        // From now on the list knows it ended cleanly.
        RecordingLibrary::markFinished(path);
        recordingDate_ = recorder_->lastRecordingDate();
        lastRecordingPath_ = path;
        setStage(Stage::analyzing(path));
        analyze(path);
    } else {
        setStage(Stage::idle());
    }
}

void ContentView::onElapsedTimeChanged() {
    if (auto* view = qobject_cast<RecordingStageView*>(stageContainer_->stageView())) {
        view->setElapsedText(elapsedLabel(recorder_->elapsedTime()));
    }
}

void ContentView::analyze(const QString& path) {
    deliverTo(
        this, Waveform::extractPeaks(path, waveformPeakCount),
        [this, path](std::optional<Waveform::Data> waveform) {
            const double durationSeconds = waveform ? waveform->duration() : 0.0;
            if (!waveform || !std::isfinite(durationSeconds) || durationSeconds < 0.0) {
                // Going back without a word would look as if the recording never happened.
                const QString problem = tr("Couldn't read the recording back from %1.").arg(path);
                qCWarning(lcAnalysis) << "Analysis found no audio in" << path;
                const std::optional<QString> earlier = recorder_->errorMessage();
                recorder_->setErrorMessage(earlier ? *earlier + QStringLiteral("\n\n") + problem
                                                   : problem);
                setStage(Stage::idle());
                return;
            }
            qCInfo(lcAnalysis).noquote()
                << "Analysed" << path << "-" << waveform->totalFrames << "frames at"
                << waveform->sampleRate << "Hz," << waveform->peaks.size() << "peaks of"
                << waveform->framesPerPeak << "frames";
            qCInfo(lcApp) << "Opened recording of" << durationSeconds << "s";
            // The whole recording starts selected, or the selection it had when last left;
            // the range is set before the stage shows it.
            const auto notes = RecordingNotes::load(path);
            const std::optional<TimeRange> remembered = notes ? notes->selection : std::nullopt;
            setTrimRange(remembered && remembered->upper <= durationSeconds
                             ? *remembered
                             : TimeRange{0.0, durationSeconds});
            setStage(Stage::recorded(path, std::move(*waveform)));
        });
}

void ContentView::openRecording(const QString& path) {
    if (!stage_.is<Stage::Idle>()) {
        return;
    }
    qCInfo(lcApp) << "Opening" << path;
    const int row = recordings_->rowOf(path);
    recordingDate_ =
        row >= 0
            ? std::optional(recordings_->index(row).data(RecordingListModel::DateRole).toDateTime())
            : std::nullopt;
    lastRecordingPath_ = path;
    setStage(Stage::analyzing(path));
    analyze(path);
}

void ContentView::offerRecovery() {
    // Asked over the window once it is on the screen: before that, a window without a saved
    // place has none yet, and the question would open in the screen's corner.
    if (QWindow* shown = window()->windowHandle(); !shown || !shown->isExposed()) {
        if (recoveryWaits_++ < maximumRecoveryWaits) {
            QTimer::singleShot(recoveryWaitMs, this, &ContentView::offerRecovery);
            return;
        }
    }
    std::optional<Recording> newest;
    int interrupted = 0;
    for (const Recording& recording : RecordingLibrary::scan(RecordingsFolder::path())) {
        if (recording.hasNotes) {
            continue;
        }
        // Announced now, so that it is offered once even if the app ends again meanwhile. The
        // question below names every one of them.
        RecordingLibrary::markAnnounced(recording.path);
        ++interrupted;
        if (!newest) {
            newest = recording;
        }
    }
    if (!newest) {
        return;
    }
    qCInfo(lcApp) << "Offering" << interrupted << "interrupted recordings, the newest"
                  << newest->path;
    const QString question =
        interrupted == 1
            ? tr("Sonabrix quit while recording. The recording up to then was kept.")
            : tr("Sonabrix quit during %1 recordings. Each was kept up to then and is marked "
                 "“Interrupted” in the list of recordings.")
                  .arg(interrupted);
    QMessageBox* offer = MessageAlert::create(this, question, {});
    offer->setWindowTitle(QStringLiteral("Sonabrix"));
    QPushButton* open = offer->addButton(interrupted == 1 ? tr("Open") : tr("Open the Newest"),
                                         QMessageBox::AcceptRole);
    offer->setDefaultButton(open);
    offer->setEscapeButton(offer->addButton(tr("Later"), QMessageBox::RejectRole));
    connect(open, &QPushButton::clicked, this,
            [this, path = newest->path] { openRecording(path); });
    offer->open();
}

void ContentView::tell(const QString& title, const QString& message) {
    QMessageBox* alert = MessageAlert::create(this, title, message);
    alert->setDefaultButton(alert->addButton(tr("OK"), QMessageBox::AcceptRole));
    alert->open();
}

void ContentView::rememberSelection() {
    if (const auto* recorded = stage_.as<Stage::Recorded>()) {
        RecordingLibrary::rememberSelection(recorded->path, trimRange_);
    }
}

void ContentView::newRecording() {
    setStage(Stage::idle());
}

void ContentView::save() {
    if (const auto* recorded = stage_.as<Stage::Recorded>()) {
        // The file's title tag: the name in the library as it stands, else the suggested one.
        const auto notes = RecordingNotes::load(lastRecordingPath_);
        const QString title = notes && !notes->title.isEmpty() ? notes->title : defaultFileName();
        saveFlow_->save(
            recorded->path, defaultFileName(), [this] { return trimRange_; }, title,
            recordingDate_.value_or(QDateTime()));
    }
}

void ContentView::setTrimRange(TimeRange range) {
    trimRange_ = range;
}

void ContentView::showSaveState() {
    if (auto* view = qobject_cast<RecordedStageView*>(stageContainer_->stageView())) {
        view->setExporting(saveFlow_->isExporting());
        view->setSaveProgress(saveFlow_->progressPercent());
    }
}
