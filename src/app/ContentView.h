#pragma once

#include "Stage.h"
#include "TimeRange.h"

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <memory>
#include <optional>

class MessageAlert;
class RecordingListModel;
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
    // What the desktop's "Record System Audio" action does: starts recording from the start
    // screen, stops a running recording, and leaves the other stages alone.
    void toggleRecording();

    // The stage's commands, for the window's menus: record or stop (Ctrl+R), save (Ctrl+S),
    // back to the start (Ctrl+N).
    QAction* recordAction() const { return recordAction_; }
    QAction* saveAction() const { return saveAction_; }
    QAction* newRecordingAction() const { return newRecordingAction_; }
    // The header's passing note, spoken by screen readers as it appears.
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

    static constexpr int minimumWidth = 580;
    static constexpr int minimumHeight = 460;
    static constexpr qint64 waveformPeakCount = 800;

signals:
    void stageChanged(int stageIndex);

private:
    QWidget* createHeader();
    void setStage(Stage stage);
    QWidget* createStageView();
    void createActions();
    void updateActions();

    void startRecording();
    void stopRecording();
    void onIsRecordingChanged();
    void onElapsedTimeChanged();
    void analyze(const QUrl& url);
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

    StageContainer* stageContainer_;
    SaveFlow* saveFlow_;
    RecordingListModel* recordings_;
    MessageAlert* recordErrorAlert_;
    StatusNote* statusNote_ = nullptr;
    QAction* recordAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* newRecordingAction_ = nullptr;
};
