#pragma once

#include "CaptureService.h"
#include "Stage.h"
#include "TimeRange.h"
#include "Waveform.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class EditorModel;
class SystemAudioRecorder;

// The app's road for one recording, apart from any widget: it owns the recorder, moves from the
// start through recording and analysing to the editor and back, owns the editor's model while a
// recording is open, and keeps the library's notes (finished, the selection) in step.
class AppFlow : public QObject {
    Q_OBJECT

public:
    explicit AppFlow(std::unique_ptr<SystemAudioRecorder> recorder, QObject* parent = nullptr);
    ~AppFlow() override;

    const Stage& stage() const { return stage_; }
    SystemAudioRecorder& recorder() const { return *recorder_; }
    // The open recording's editor; none outside the editor. Shared with the view that shows it,
    // which may outlive the stage by a moment.
    const std::shared_ptr<EditorModel>& editor() const { return editor_; }
    // The editor's selection; empty outside it.
    TimeRange trimRange() const;
    // The recording last opened, selected again in the list.
    QString lastRecordingPath() const { return lastRecordingPath_; }

    // Recording starts from the start screen or the editor (which goes back to the start first),
    // and stops while it runs. False while a recording is being opened: nothing happens. With a
    // program, a start records that program alone this time; the start screen's choice stays.
    bool toggleRecording(const std::optional<CaptureProgram>& program = std::nullopt);
    void startRecording();
    void stopRecording();
    void togglePause();
    // From the editor, back to the start.
    void newRecording();
    // Opens a recording of the folder in the editor, as after recording it; from the start
    // only. `date` is when it was started, if known.
    void openRecording(const QString& path, std::optional<QDateTime> date);
    // The list renamed a file: the recording keeps its place.
    void recordingRenamed(const QString& oldPath, const QString& newPath);
    // What the start screen records: one program alone, or the whole computer (none). Remembered
    // across launches, and taken up again after a recording of another program.
    void chooseProgram(const std::optional<CaptureProgram>& program);

    // Keeps the editor's selection with the recording it belongs to.
    void rememberSelection();

    // Saves what the replay kept, or its last `lastSeconds`, as a new recording, dropping what
    // was kept when the user asked for that. It joins the library like a stopped recording and,
    // from the start screen or the editor, opens in the editor as one does; a recording
    // running meanwhile keeps its screen.
    void saveReplay(std::optional<double> lastSeconds = std::nullopt);

    // Recordings the app was recording when it ended and hasn't told of yet: the newest and how
    // many. Each is marked as told now, so it is offered once even if the app ends again.
    struct Interrupted {
        QString newestPath;
        int count = 0;
    };
    static std::optional<Interrupted> takeInterruptedRecordings();

    // The recording's title, or "Recording " and its start time (now when there is none).
    QString defaultFileName() const;
    // The saved file's title tag: the name in the library as it stands, else the default name.
    QString title() const;

    static constexpr qint64 waveformPeakCount = 800;

Q_SIGNALS:
    void stageChanged(const Stage& stage);
    // `opened`: it went on to the editor. `problem`: some of it was lost, and why.
    void replaySaved(const QString& path, double seconds, bool opened,
                     const std::optional<QString>& problem);
    void replayNotSaved(const QString& message);

private:
    void setStage(Stage stage);
    void onIsRecordingChanged();
    // A finished recording joins the library; `opens` takes it on to the editor.
    void receive(const QString& path, std::optional<QDateTime> date, bool opens);
    void start(const std::optional<CaptureProgram>& program);
    void analyse(Stage analysing);
    // The editor for the waveform read, or back to the start when there is none.
    void open(const Stage& analysing, std::optional<Waveform::Data> waveform);
    void failAnalysis(const QString& path);

    std::unique_ptr<SystemAudioRecorder> recorder_;
    Stage stage_;
    std::shared_ptr<EditorModel> editor_;
    QString lastRecordingPath_;
    std::optional<QDateTime> lastRecordingDate_;
};
