#pragma once

#include "AppFlow.h"
#include "Stage.h"
#include "TimeRange.h"

#include <QKeySequence>
#include <QString>
#include <QWidget>
#include <memory>

class MessageAlert;
class RecordingListModel;
class RecordingListView;
class ReplayActions;
class TrimView;
class SaveFlow;
class QAction;
class StageContainer;
class StatusNote;
class SystemAudioRecorder;

// The window's content: it shows the app flow's stage as a view of its own, routes the views'
// commands and the window's actions to the flow, and says what went wrong; saving is the
// SaveFlow's.
class ContentView : public QWidget {
    Q_OBJECT

public:
    // Records from the sound server.
    explicit ContentView(QWidget* parent = nullptr);
    ContentView(std::unique_ptr<SystemAudioRecorder> recorder, QWidget* parent = nullptr);
    ~ContentView() override;

    Stage::Kind stageKind() const { return flow_->stage().kind; }
    AppFlow& flow() { return *flow_; }
    TimeRange trimRange() const { return flow_->trimRange(); }
    SystemAudioRecorder& recorder() { return flow_->recorder(); }
    SaveFlow& saveFlow();
    // What the desktop's "Record System Audio" action does, as Ctrl+R: starts recording from
    // the start screen or the editor, and stops a running recording.
    void toggleRecording();
    // The same, a start recording this program alone, whatever the start screen has chosen.
    void toggleRecordingOf(const std::optional<CaptureProgram>& program);

    // The stage's commands, for the window's menus: record or stop (Ctrl+R), pause or resume
    // (Ctrl+P), save (Ctrl+S), back to the start (Ctrl+N), play (Space), auto-trim (Ctrl+T),
    // and rename (F2), show and trash (Delete) the recording selected in the list.
    QAction* recordAction() const { return recordAction_; }
    QAction* pauseAction() const { return pauseAction_; }
    QAction* saveAction() const { return saveAction_; }
    QAction* newRecordingAction() const { return newRecordingAction_; }
    QAction* playAction() const { return playAction_; }
    QAction* autoTrimAction() const { return autoTrimAction_; }
    QAction* openRecordingAction() const { return openRecordingAction_; }
    QAction* renameAction() const { return renameAction_; }
    QAction* showInFolderAction() const { return showInFolderAction_; }
    QAction* trashAction() const { return trashAction_; }
    // The replay's length, save (Ctrl+Shift+S) and start-afresh switch.
    ReplayActions* replayActions() const { return replayActions_; }
    // Keys that the stage's own widgets answer; the menus show them beside their commands.
    static QKeySequence playKey() { return QKeySequence(Qt::Key_Space); }
    static QKeySequence openKey() { return QKeySequence(Qt::Key_Return); }
    static QKeySequence renameKey() { return QKeySequence(Qt::Key_F2); }
    static QKeySequence trashKey() { return QKeySequence(QKeySequence::Delete); }
    // The passing note at the window's foot, spoken by screen readers as it appears.
    StatusNote* statusNote() const { return statusNote_; }

    // The recording's title, or "Recording " and its start time (now when there is none).
    QString defaultFileName() const { return flow_->defaultFileName(); }

    // Opens a recording of the folder in the editor, as after recording it; from the start
    // screen only.
    void openRecording(const QString& path);
    // Offers, once, the newest recording that the app was recording when it ended.
    void offerRecovery();

    // How long the current capture has run, as minutes and seconds, minutes not capped.
    static QString elapsedLabel(double elapsedTimeSeconds);

    static constexpr qint64 waveformPeakCount = AppFlow::waveformPeakCount;

signals:
    void stageChanged(Stage::Kind kind);

private:
    QWidget* createStatusStrip();
    void showStage();
    QWidget* createStageView();
    void createActions();
    void updateActions();
    TrimView* trimView() const;
    RecordingListView* recordingList() const;

    void onElapsedTimeChanged();
    // An alert with an OK button, over the window.
    void tell(const QString& title, const QString& message);
    void save();
    // Keeps the editor's save button area in step with the save flow.
    void showSaveState();
    void replaySaved(double seconds, bool opened);

    std::unique_ptr<AppFlow> flow_;
    // How often the recovery question has waited for the window to show.
    int recoveryWaits_ = 0;
    static constexpr int maximumRecoveryWaits = 40;
    static constexpr int recoveryWaitMs = 50;

    StageContainer* stageContainer_;
    SaveFlow* saveFlow_;
    RecordingListModel* recordings_;
    MessageAlert* recordErrorAlert_;
    StatusNote* statusNote_ = nullptr;
    QAction* recordAction_ = nullptr;
    QAction* pauseAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* newRecordingAction_ = nullptr;
    QAction* playAction_ = nullptr;
    QAction* autoTrimAction_ = nullptr;
    QAction* openRecordingAction_ = nullptr;
    QAction* renameAction_ = nullptr;
    QAction* showInFolderAction_ = nullptr;
    QAction* trashAction_ = nullptr;
    ReplayActions* replayActions_ = nullptr;
};
