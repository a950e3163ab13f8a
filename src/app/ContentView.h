#pragma once

#include "Stage.h"
#include "TimeRange.h"

#include <QDateTime>
#include <QKeySequence>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <memory>
#include <optional>

class MessageAlert;
class RecordingListModel;
class RecordingListView;
class TrimView;
class SaveFlow;
class QAction;
class StageContainer;
class StatusNote;
class SystemAudioRecorder;

// The window's content and the spine of the app: it owns the recorder and walks the user from
// the start screen through recording and analysing to the editor; saving is the SaveFlow's.
class ContentView : public QWidget {
    Q_OBJECT

public:
    // Records from the sound server.
    explicit ContentView(QWidget* parent = nullptr);
    ContentView(std::unique_ptr<SystemAudioRecorder> recorder, QWidget* parent = nullptr);
    ~ContentView() override;

    // Idle 0, recording 1, analysing 2, recorded 3.
    int stageIndex() const;
    TimeRange trimRange() const;
    SystemAudioRecorder& recorder();
    SaveFlow& saveFlow();
    // What the desktop's "Record System Audio" action does, as Ctrl+R: starts recording from
    // the start screen or the editor, and stops a running recording.
    void toggleRecording();

    // The stage's commands, for the window's menus: record or stop (Ctrl+R), pause or resume
    // (Ctrl+P), save (Ctrl+S), back to the start (Ctrl+N), play (Space), auto-trim (Ctrl+T),
    // and rename (F2), show and trash (Delete) the recording selected in the list.
    QAction* recordAction() const { return recordAction_; }
    QAction* pauseAction() const { return pauseAction_; }
    QAction* saveAction() const { return saveAction_; }
    QAction* newRecordingAction() const { return newRecordingAction_; }
    QAction* playAction() const { return playAction_; }
    QAction* autoTrimAction() const { return autoTrimAction_; }
    QAction* renameAction() const { return renameAction_; }
    QAction* showInFolderAction() const { return showInFolderAction_; }
    QAction* trashAction() const { return trashAction_; }
    // Keys that the stage's own widgets answer; the menus show them beside their commands.
    static QKeySequence playKey() { return QKeySequence(Qt::Key_Space); }
    static QKeySequence renameKey() { return QKeySequence(Qt::Key_F2); }
    static QKeySequence trashKey() { return QKeySequence(QKeySequence::Delete); }
    // The passing note at the window's foot, spoken by screen readers as it appears.
    StatusNote* statusNote() const { return statusNote_; }

    // The recording's title, or "Recording " and its start time (now when there is none).
    QString defaultFileName() const;

    // Opens a recording of the folder in the editor, as after recording it; from the start
    // screen only.
    void openRecording(const QString& path);
    // Offers, once, the newest recording that the app was recording when it ended.
    void offerRecovery();

    // How long the current capture has run, as minutes and seconds, minutes not capped.
    static QString elapsedLabel(double elapsedTimeSeconds);

    static constexpr qint64 waveformPeakCount = 800;

signals:
    void stageChanged(int stageIndex);

private:
    QWidget* createStatusStrip();
    void setStage(Stage stage);
    QWidget* createStageView();
    void createActions();
    void updateActions();
    TrimView* trimView() const;
    RecordingListView* recordingList() const;

    void startRecording();
    void stopRecording();
    void onIsRecordingChanged();
    void onElapsedTimeChanged();
    void analyze(const QString& path);
    // An alert with an OK button, over the window.
    void tell(const QString& title, const QString& message);
    // Keeps the editor's selection with the recording it belongs to.
    void rememberSelection();
    void save();
    void newRecording();
    void setTrimRange(TimeRange range);
    // Keeps the editor's save button area in step with the save flow.
    void showSaveState();

    std::unique_ptr<SystemAudioRecorder> recorder_;
    Stage stage_ = Stage::idle();
    TimeRange trimRange_;
    // When the recording in the editor was started; none for "now".
    std::optional<QDateTime> recordingDate_;
    // The recording last in the editor, selected again in the list.
    QString lastRecordingPath_;
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
    QAction* renameAction_ = nullptr;
    QAction* showInFolderAction_ = nullptr;
    QAction* trashAction_ = nullptr;
};
