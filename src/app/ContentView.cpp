#include "ContentView.h"

#include "Accessibility.h"
#include "AnalyzingStageView.h"
#include "AppStyle.h"
#include "ButtonKeys.h"
#include "Divider.h"
#include "EditorModel.h"
#include "IdleStageView.h"
#include "Logging.h"
#include "MessageAlert.h"
#include "RecordedStageView.h"
#include "RecordingListModel.h"
#include "RecordingListView.h"
#include "RecordingStageView.h"
#include "RecordingsFolder.h"
#include "ReplayActions.h"
#include "SaveFlow.h"
#include "SelectionPlayer.h"
#include "StageContainer.h"
#include "StatusNote.h"
#include "SystemAudioRecorder.h"
#include "TrimView.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>

ContentView::ContentView(QWidget* parent)
    : ContentView(std::make_unique<SystemAudioRecorder>(), parent) {}

ContentView::ContentView(std::unique_ptr<SystemAudioRecorder> recorder, QWidget* parent)
    : QWidget(parent), flow_(std::make_unique<AppFlow>(std::move(recorder))),
      stageContainer_(new StageContainer(this)), saveFlow_(new SaveFlow(this)),
      recordings_(new RecordingListModel(this)),
      recordErrorAlert_(new MessageAlert(this, tr("Couldn't record"), [this] {
          flow_->recorder().setErrorMessage(std::nullopt);
      })) {
    ButtonKeys::install();
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(stageContainer_, 1);
    root->addWidget(new Divider(this));
    root->addWidget(createStatusStrip());
    Accessibility::orderChildrenAsLaidOut(this);
    stageContainer_->setStageView(createStageView());

    connect(flow_.get(), &AppFlow::stageChanged, this, &ContentView::showStage);
    connect(&flow_->recorder(), &SystemAudioRecorder::elapsedTimeChanged, this,
            &ContentView::onElapsedTimeChanged);
    connect(&flow_->recorder(), &SystemAudioRecorder::errorMessageChanged, this,
            [this](const std::optional<QString>& message) {
                if (message) {
                    qCWarning(lcApp) << "Recording problem:" << *message;
                }
                recordErrorAlert_->sync(message);
            });
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
    // The flow goes before the widgets; nothing it or its recorder says while going may reach a
    // view that is half taken down.
    flow_->disconnect(this);
    recorder().disconnect(this);
}

SaveFlow& ContentView::saveFlow() {
    return *saveFlow_;
}

void ContentView::toggleRecording() {
    toggleRecordingOf(std::nullopt);
}

void ContentView::toggleRecordingOf(const std::optional<CaptureProgram>& program) {
    if (!flow_->toggleRecording(program))
        statusNote_->announce(tr("The recording is still being opened; try again in a moment."));
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

void ContentView::showStage() {
    stageContainer_->setStageView(createStageView());
    emit stageChanged(stageKind());
}

QWidget* ContentView::createStageView() {
    AppFlow* flow = flow_.get();
    switch (stageKind()) {
    case Stage::Kind::idle: {
        recordings_->reload(RecordingsFolder::path());
        auto* view = new IdleStageView(recorder(), recordings_);
        connect(view, &IdleStageView::recordRequested, flow, &AppFlow::startRecording);
        connect(view, &IdleStageView::programChosen, flow, &AppFlow::chooseProgram);
        connect(view, &IdleStageView::openRequested, this, &ContentView::openRecording);
        connect(view, &IdleStageView::saveReplayRequested, flow, [flow] { flow->saveReplay(); });
        if (RecordingListView* list = view->recordingList()) {
            list->select(flow->lastRecordingPath());
            connect(list, &RecordingListView::selectionChanged, this, &ContentView::updateActions);
            connect(list, &RecordingListView::recordingRenamed, flow, &AppFlow::recordingRenamed);
        }
        return view;
    }
    case Stage::Kind::recording: {
        auto* view = new RecordingStageView(recorder());
        view->setElapsedText(elapsedLabel(recorder().elapsedTime()));
        connect(view, &RecordingStageView::stopRequested, flow, &AppFlow::stopRecording);
        return view;
    }
    case Stage::Kind::analysing:
        return new AnalyzingStageView;
    case Stage::Kind::recorded:
        break;
    }
    const std::shared_ptr<EditorModel>& editor = flow->editor();
    auto* view = new RecordedStageView(editor);
    view->setExporting(saveFlow_->isExporting());
    view->setSaveProgress(saveFlow_->progressPercent());
    connect(view, &RecordedStageView::newRecordingRequested, flow, &AppFlow::newRecording);
    connect(view, &RecordedStageView::saveRequested, this, &ContentView::save);
    connect(view, &RecordedStageView::cancelSaveRequested, saveFlow_, &SaveFlow::cancel);
    connect(&editor->player(), &SelectionPlayer::isPlayingChanged, this,
            &ContentView::updateActions);
    connect(&editor->player(), &SelectionPlayer::failed, this, [this](const QString& reason) {
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
    connect(pauseAction_, &QAction::triggered, flow_.get(), &AppFlow::togglePause);
    connect(&recorder(), &SystemAudioRecorder::isPausedChanged, this, &ContentView::updateActions);
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
    openRecordingAction_ = listAction(tr("&Open Recording"), &RecordingListView::openSelected);
    renameAction_ = listAction(tr("Rena&me Recording…"), &RecordingListView::renameSelected);
    showInFolderAction_ =
        listAction(tr("Show in &Folder"), &RecordingListView::showSelectedInFolder);
    trashAction_ = listAction(tr("Move to Tras&h…"), &RecordingListView::trashSelected);
    saveAction_ = makeAction(QKeySequence::Save);
    saveAction_->setText(tr("&Save Trimmed Audio…"));
    connect(saveAction_, &QAction::triggered, this, &ContentView::save);
    newRecordingAction_ = makeAction(QKeySequence::New);
    newRecordingAction_->setText(tr("&New Recording"));
    connect(newRecordingAction_, &QAction::triggered, flow_.get(), &AppFlow::newRecording);
    connect(this, &ContentView::stageChanged, this, &ContentView::updateActions);
    connect(saveFlow_, &SaveFlow::isExportingChanged, this, &ContentView::updateActions);
    updateActions();

    replayActions_ = new ReplayActions(*flow_, this);
    connect(
        flow_.get(), &AppFlow::replaySaved, this,
        [this](const QString&, double seconds, bool opened, const std::optional<QString>& problem) {
            replaySaved(seconds, opened);
            if (problem)
                tell(tr("Saved in part"), *problem);
        });
    connect(flow_.get(), &AppFlow::replayNotSaved, this,
            [this](const QString& message) { tell(tr("Couldn't save the kept sound"), message); });
}

void ContentView::replaySaved(double seconds, bool opened) {
    const QString length = elapsedLabel(std::round(seconds));
    // The screen changes by itself only when it opened; otherwise the note is all there is.
    statusNote_->announce(opened ? tr("Saved the last %1 as a new recording.").arg(length)
                                 : tr("Saved the last %1 to your recordings.").arg(length));
}

void ContentView::updateActions() {
    const bool recording = stageKind() == Stage::Kind::recording;
    const bool recorded = stageKind() == Stage::Kind::recorded;
    recordAction_->setText(recording ? tr("S&top Recording") : tr("&Record System Audio"));
    recordAction_->setEnabled(stageKind() != Stage::Kind::analysing);
    pauseAction_->setText(recording && recorder().isPaused() ? tr("Res&ume Recording")
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
    for (QAction* action :
         {openRecordingAction_, renameAction_, showInFolderAction_, trashAction_}) {
        action->setEnabled(selected);
    }
    openRecordingAction_->setText(tr("&Open Recording") + QLatin1Char('\t') +
                                  openKey().toString(QKeySequence::NativeText));
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

void ContentView::onElapsedTimeChanged() {
    if (auto* view = qobject_cast<RecordingStageView*>(stageContainer_->stageView())) {
        view->setElapsedText(elapsedLabel(recorder().elapsedTime()));
    }
}

void ContentView::openRecording(const QString& path) {
    const int row = recordings_->rowOf(path);
    flow_->openRecording(
        path,
        row >= 0
            ? std::optional(recordings_->index(row).data(RecordingListModel::DateRole).toDateTime())
            : std::nullopt);
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
    const std::optional<AppFlow::Interrupted> interrupted = AppFlow::takeInterruptedRecordings();
    if (!interrupted) {
        return;
    }
    qCInfo(lcApp) << "Offering" << interrupted->count << "interrupted recordings, the newest"
                  << interrupted->newestPath;
    const QString question =
        interrupted->count == 1
            ? tr("Sonabrix quit while recording. The recording up to then was kept.")
            : tr("Sonabrix quit during %1 recordings. Each was kept up to then and is marked "
                 "“Interrupted” in the list of recordings.")
                  .arg(interrupted->count);
    QMessageBox* offer = MessageAlert::create(this, question, {});
    offer->setWindowTitle(QStringLiteral("Sonabrix"));
    QPushButton* open = offer->addButton(
        interrupted->count == 1 ? tr("Open") : tr("Open the Newest"), QMessageBox::AcceptRole);
    offer->setDefaultButton(open);
    offer->setEscapeButton(offer->addButton(tr("Later"), QMessageBox::RejectRole));
    connect(open, &QPushButton::clicked, this,
            [this, path = interrupted->newestPath] { openRecording(path); });
    offer->open();
}

void ContentView::tell(const QString& title, const QString& message) {
    QMessageBox* alert = MessageAlert::create(this, title, message);
    alert->setDefaultButton(alert->addButton(tr("OK"), QMessageBox::AcceptRole));
    alert->open();
}

void ContentView::save() {
    const std::shared_ptr<EditorModel>& editor = flow_->editor();
    if (stageKind() != Stage::Kind::recorded || !editor) {
        return;
    }
    // Read once the dialog has closed; the selection as it was if the editor is gone by then.
    const TimeRange chosen = editor->trimRange();
    const Stage& stage = flow_->stage();
    saveFlow_->save(
        editor->sourcePath(), flow_->defaultFileName(),
        [editor = std::weak_ptr(editor), chosen] {
            const auto shown = editor.lock();
            return shown ? shown->trimRange() : chosen;
        },
        flow_->title(), stage.date.value_or(QDateTime()));
}

void ContentView::showSaveState() {
    if (auto* view = qobject_cast<RecordedStageView*>(stageContainer_->stageView())) {
        view->setExporting(saveFlow_->isExporting());
        view->setSaveProgress(saveFlow_->progressPercent());
    }
}
