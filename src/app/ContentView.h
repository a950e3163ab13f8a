#pragma once

#include "Stage.h"
#include "TimeRange.h"

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMessageBox;
class StageContainer;
class StatusNote;
class SystemAudioRecorder;

// The window's content and the spine of the app: it owns the recorder and walks the user from
// the start screen through recording and analysing to the editor, and saves the selection.
class ContentView : public QWidget {
    Q_OBJECT

public:
    using SaveDestinationProvider =
        std::function<std::optional<QUrl>(const QString& suggestedFileName)>;

    // Records from the sound server.
    explicit ContentView(QWidget* parent = nullptr);
    ContentView(std::unique_ptr<SystemAudioRecorder> recorder, QWidget* parent = nullptr);
    ~ContentView() override;

    // Idle 0, recording 1, analysing 2, recorded 3.
    int stageIndex() const;
    TimeRange trimRange() const;
    bool isExporting() const;
    std::optional<QString> exportError() const;
    SystemAudioRecorder& recorder();

    // The stage's commands, for the window's menus: record or stop (Ctrl+R), save (Ctrl+S),
    // back to the start (Ctrl+N).
    QAction* recordAction() const { return recordAction_; }
    QAction* saveAction() const { return saveAction_; }
    QAction* newRecordingAction() const { return newRecordingAction_; }
    // The header's passing note, spoken by screen readers as it appears.
    StatusNote* statusNote() const { return statusNote_; }

    // Asks where to save; the argument is the suggested name with ".m4a". The default runs
    // the save dialog.
    void setSaveDestinationProvider(SaveDestinationProvider provider);
    // "Recording " and the recording's start time, or now when there is none.
    QString defaultFileName() const;

    // How long the current capture has run, as minutes and seconds, minutes not capped.
    static QString elapsedLabel(double elapsedTimeSeconds);

    static constexpr int minimumWidth = 580;
    static constexpr int minimumHeight = 460;
    static constexpr qint64 waveformPeakCount = 800;

signals:
    void stageChanged(int stageIndex);
    void isExportingChanged(bool isExporting);

private:
    QWidget* createHeader();
    void setStage(Stage stage);
    QWidget* createStageView();
    void createActions();
    void updateActions();

    void startRecording();
    void stopRecording();
    void finishRecording(const std::optional<QUrl>& url);
    void analyze(const QUrl& url);
    void exportSelection(const QUrl& sourceURL);
    void newRecording();

    void onIsRecordingChanged();
    void onElapsedTimeChanged();
    void setTrimRange(TimeRange range);
    void setExporting(bool isExporting);
    void setExportError(std::optional<QString> message);

    void showRecordErrorAlert();
    void showExportErrorAlert();
    // Keeps one alert in step with a message: shown while it holds text, updated when the text
    // changes, closed when it is cleared elsewhere; its "OK" clears the message.
    void syncAlert(QPointer<QMessageBox>& slot, const QString& title,
                   const std::optional<QString>& message,
                   const std::function<void()>& clearMessage);
    QMessageBox* createAlert(const QString& title, const QString& message);

    std::unique_ptr<SystemAudioRecorder> recorder_;
    Stage stage_ = Stage::idle();
    TimeRange trimRange_;
    bool isExporting_ = false;
    std::optional<QString> exportError_;

    SaveDestinationProvider saveDestinationProvider_;
    StageContainer* stageContainer_;
    StatusNote* statusNote_ = nullptr;
    QAction* recordAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* newRecordingAction_ = nullptr;
    QPointer<QMessageBox> recordErrorAlert_;
    QPointer<QMessageBox> exportErrorAlert_;
    // Stops asked for and not yet finished: while any is pending, the recorder turning off is
    // the stop's doing, not the capture ending by itself.
    int pendingStops_ = 0;
    // What the recorder held when this recording began, to tell a partial file of this
    // recording from an earlier one.
    std::optional<QUrl> recordingURLBeforeStart_;
};
