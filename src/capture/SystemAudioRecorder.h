#pragma once

#include "CaptureFeed.h"
#include "CaptureService.h"
#include "RecordingSession.h"
#include "ReplaySaving.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

class PeakHistory;
class ReplayStore;
class QTimer;

// Records whatever the computer is playing into a new recording file and publishes the state
// the window shows. Never fails outward: every failure becomes a message in errorMessage. All
// published state lives on the main thread.
class SystemAudioRecorder : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(double elapsedTime READ elapsedTime NOTIFY elapsedTimeChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage WRITE setErrorMessage NOTIFY
                   errorMessageChanged)
    Q_PROPERTY(
        std::optional<QUrl> lastRecordingURL READ lastRecordingURL NOTIFY lastRecordingURLChanged)
    Q_PROPERTY(std::optional<QDateTime> lastRecordingDate READ lastRecordingDate NOTIFY
                   lastRecordingDateChanged)
    Q_PROPERTY(double level READ level NOTIFY levelChanged)
    Q_PROPERTY(bool isPaused READ isPaused WRITE setPaused NOTIFY isPausedChanged)
    Q_PROPERTY(QString outputName READ outputName NOTIFY outputNameChanged)
    Q_PROPERTY(bool isCapturingSilence READ isCapturingSilence NOTIFY isCapturingSilenceChanged)
    Q_PROPERTY(bool isLowOnSpace READ isLowOnSpace NOTIFY isLowOnSpaceChanged)
    Q_PROPERTY(bool includesMicrophone READ includesMicrophone WRITE setIncludesMicrophone NOTIFY
                   includesMicrophoneChanged)
    Q_PROPERTY(double microphoneLevel READ microphoneLevel NOTIFY microphoneLevelChanged)
    Q_PROPERTY(std::optional<QString> noMicrophoneReason READ noMicrophoneReason NOTIFY
                   noMicrophoneReasonChanged)
    Q_PROPERTY(std::optional<QString> microphoneProblem READ microphoneProblem NOTIFY
                   microphoneProblemChanged)
    Q_PROPERTY(bool isWaitingForProgram READ isWaitingForProgram NOTIFY isWaitingForProgramChanged)
    Q_PROPERTY(
        int replayMinutes READ replayMinutes WRITE setReplayMinutes NOTIFY replayMinutesChanged)
    Q_PROPERTY(bool isReplayListening READ isReplayListening NOTIFY isReplayListeningChanged)
    Q_PROPERTY(std::optional<QString> replayProblem READ replayProblem NOTIFY replayProblemChanged)
    Q_PROPERTY(bool isSavingReplay READ isSavingReplay NOTIFY isSavingReplayChanged)

public:
    enum class RecorderError { permissionDenied, noDisplay };
    Q_ENUM(RecorderError)
    static QString description(RecorderError error);

    static constexpr int tickerIntervalMs = 200;
    static constexpr int levelIntervalMs = 40;
    // The stretch of audio the level is the peak of.
    static constexpr int levelWindowMs = 50;
    // Digital silence: every peak of this long below the threshold.
    static constexpr int silenceMs = 3000;
    static constexpr float silenceThreshold = 0.001f;
    // Free space, in seconds of audio, below which the screen warns and the recording stops.
    static constexpr int lowSpaceSeconds = 5 * 60;
    static constexpr int stopSpaceSeconds = 30;
    // After a failure, the replay's capture is opened again this much later.
    static constexpr int replayRetryMs = 3000;
    static constexpr int recordingEndWaitMs = 1500;

    // Null means the system's sound server (libpulse).
    explicit SystemAudioRecorder(std::unique_ptr<CaptureService> service = nullptr,
                                 QObject* parent = nullptr);
    ~SystemAudioRecorder() override;

    // Both finish on the main thread once the published state is up to date. A start while one
    // is under way, or a stop while one is under way, gives the future of the running one.
    QFuture<void> start();
    QFuture<void> stop();

    bool isRecording() const { return phase_ == Phase::recording || phase_ == Phase::stopping; }
    double elapsedTime() const { return elapsedTime_; }
    std::optional<QString> errorMessage() const { return errorMessage_; }
    void setErrorMessage(std::optional<QString> message);
    std::optional<QUrl> lastRecordingURL() const { return lastRecordingURL_; }
    std::optional<QDateTime> lastRecordingDate() const { return lastRecordingDate_; }

    // The linear peak (0…1) of the latest ~50 ms captured; 0 when not recording or paused.
    double level() const { return level_; }
    // While paused the stream and the file stay open, nothing is written and the clock stands.
    bool isPaused() const { return session_ && session_->isPaused(); }
    // Only while recording.
    void setPaused(bool paused);
    // The recorded output's description from the server, as the user knows it.
    QString outputName() const { return outputName_; }
    // Recording, not paused, and nothing but digital silence for the last 3 s.
    bool isCapturingSilence() const { return isCapturingSilence_; }
    bool isLowOnSpace() const { return isLowOnSpace_; }
    // The current recording's peaks, for the live waveform; null when not recording.
    std::shared_ptr<const PeakHistory> peakHistory() const;

    // The microphone (the server's default input) recorded too, mixed into the output's sound.
    // Takes effect at the next start().
    bool includesMicrophone() const { return includesMicrophone_; }
    void setIncludesMicrophone(bool includes);
    // Like level, for the microphone alone; level is then the output's alone.
    double microphoneLevel() const { return microphoneLevel_; }
    // Why there is no microphone to include, as the last check found; none when there is one.
    std::optional<QString> noMicrophoneReason() const { return noMicrophoneReason_; }
    // The microphone's name as the server describes it, as the last check found; empty for none.
    QString microphoneName() const { return microphoneName_; }
    // Asks the server whether there is a microphone and which programs play sound;
    // noMicrophoneReason, microphoneName and playingPrograms follow.
    void checkServer();
    // While recording: why the microphone is missing from the recording from some point on.
    std::optional<QString> microphoneProblem() const { return microphoneProblem_; }

    // The program whose sound alone is recorded; none for the whole computer's. Takes effect at
    // the next start().
    std::optional<CaptureProgram> program() const { return program_; }
    void setProgram(std::optional<CaptureProgram> program);
    // The programs playing sound, as the last check found.
    QList<CaptureProgram> playingPrograms() const { return playingPrograms_; }
    // Recording a program that has no stream open: the recording holds silence meanwhile.
    bool isWaitingForProgram() const { return isWaitingForProgram_; }

    // The replay: while replayMinutes is above 0, what a recording would record (the program
    // chosen, the microphone when included) is captured into memory only, the last
    // replayMinutes of it kept, losslessly compressed. A recording meanwhile shares its capture.
    // 0 switches it off and drops what was kept. Takes effect at once.
    int replayMinutes() const { return replayMinutes_; }
    void setReplayMinutes(int minutes);
    // The replay's capture runs now.
    bool isReplayListening() const { return isReplayListening_; }
    // Why the replay can't listen now (the server went away, say); it tries again by itself.
    std::optional<QString> replayProblem() const { return replayProblem_; }
    // Seconds of sound kept so far, up to replayMinutes' worth.
    double replayKeptSeconds() const;

    using ReplaySave = ::ReplaySave;
    // Writes what is kept, or its last `lastSeconds`, as a new recording ending at this moment;
    // the window goes on meanwhile. With `startAfresh`, what was kept is dropped once saved. A
    // save while one runs, or with nothing kept, finishes at once with an errorMessage.
    QFuture<ReplaySave> saveReplay(std::optional<double> lastSeconds = std::nullopt,
                                   bool startAfresh = false);
    bool isSavingReplay() const { return isSavingReplay_; }

Q_SIGNALS:
    void isRecordingChanged(bool isRecording);
    void elapsedTimeChanged(double elapsedTime);
    void errorMessageChanged(const std::optional<QString>& errorMessage);
    void lastRecordingURLChanged(const std::optional<QUrl>& lastRecordingURL);
    void lastRecordingDateChanged(const std::optional<QDateTime>& lastRecordingDate);
    void levelChanged(double level);
    void isPausedChanged(bool isPaused);
    void outputNameChanged(const QString& outputName);
    void isCapturingSilenceChanged(bool isCapturingSilence);
    void isLowOnSpaceChanged(bool isLowOnSpace);
    void includesMicrophoneChanged(bool includesMicrophone);
    void microphoneLevelChanged(double microphoneLevel);
    void noMicrophoneReasonChanged(const std::optional<QString>& noMicrophoneReason);
    void microphoneNameChanged(const QString& microphoneName);
    void microphoneProblemChanged(const std::optional<QString>& microphoneProblem);
    void programChanged(const std::optional<CaptureProgram>& program);
    void playingProgramsChanged(const QList<CaptureProgram>& programs);
    void isWaitingForProgramChanged(bool isWaitingForProgram);
    void replayMinutesChanged(int replayMinutes);
    void isReplayListeningChanged(bool isReplayListening);
    void replayProblemChanged(const std::optional<QString>& replayProblem);
    void isSavingReplayChanged(bool isSavingReplay);

private:
    // isRecording is true in recording and stopping.
    enum class Phase { idle, starting, recording, stopping };

    void enter(Phase phase);
    // Enters starting or stopping, which end when transition_ finishes: its future.
    QFuture<void> beginTransition(Phase phase);
    void recordingStarted();
    void failStart(const Failure& failure);
    QFuture<void> beginStopping();
    // What the capture's threads tell, on the main thread.
    void handle(const CaptureFeed::Notice& notice);
    void stoppedByItself(const QString& reason);
    void fileFailed();
    void finishRecording(const CaptureResult& stopError);
    void concludeRecording(const CaptureResult& stopError, const RecordingWriter::Outcome& file);
    void tick();
    void publishLevel();
    void checkFreeSpace();
    // The capture, shared by a recording and the replay.
    struct FeedChoice {
        std::optional<CaptureProgram> program;
        bool microphone = false;
        bool operator==(const FeedChoice&) const = default;
    };
    FeedChoice wantedChoice() const;
    // A capture is open and its stream runs.
    bool feedRuns() const;
    // ...and it captures what is wanted now.
    bool feedServes() const;
    // Opens or closes the capture as the recording and the replay want it now.
    void reconcileCapture();
    void openCapture();
    static std::optional<Failure> contentFailure(const ShareableContent& content);
    void contentArrived(const ShareableContent& content);
    void captureOpened(const CaptureResult& error);
    void openFailed(const Failure& failure);
    void closeCapture(std::function<void(const CaptureResult&)> then);
    void dropFeed();
    void attachNewSession(qint64 fromUs = -1);
    // A recording stopped while the replay goes on has had its last moments.
    void recordingLeftFeed();
    void attachReplay();

    static QFuture<ReplaySave> replaySaveAnswer(QString message);

    // Drops the current recording; nothing of it reaches the next one.
    void endSession();
    double recordedSeconds() const;

    // Whether the microphone is mixed in: the one the content has, when asked for and there.
    std::optional<CaptureInput> microphoneToMix(const ShareableContent& content);
    void microphoneLost(const QString& reason);
    static std::optional<QString> noMicrophoneReason(const ShareableContent& content);
    // Sets a published field and tells its listeners, when the value is a new one.
    template <typename T, typename Value, typename Argument>
    void publish(T& field, Value&& value, void (SystemAudioRecorder::*changed)(Argument));

    std::unique_ptr<CaptureService> service_;
    QTimer* ticker_;
    QTimer* levelTimer_;

    double elapsedTime_ = 0;
    std::optional<QString> errorMessage_;
    std::optional<QUrl> lastRecordingURL_;
    std::optional<QDateTime> lastRecordingDate_;
    double level_ = 0;
    QString outputName_;
    bool isCapturingSilence_ = false;
    bool isLowOnSpace_ = false;
    bool includesMicrophone_ = false;
    double microphoneLevel_ = 0;
    std::optional<QString> noMicrophoneReason_;
    QString microphoneName_;
    std::optional<QString> microphoneProblem_;
    std::optional<CaptureProgram> program_;
    QList<CaptureProgram> playingPrograms_;
    bool isWaitingForProgram_ = false;
    int replayMinutes_ = 0;
    bool isReplayListening_ = false;
    std::optional<QString> replayProblem_;
    bool isSavingReplay_ = false;

    Phase phase_ = Phase::idle;
    // Starting and stopping: finished when the phase ends.
    std::shared_ptr<QPromise<void>> transition_;
    // Starting to stopping: the current recording, with everything that is its own.
    std::shared_ptr<RecordingSession> session_;

    enum class CaptureStep { none, opening, closing };
    CaptureStep captureStep_ = CaptureStep::none;
    // The open capture, what it was opened for, and what it told since.
    std::shared_ptr<CaptureFeed> feed_;
    // Made afresh with each capture opened.
    struct FeedState {
        FeedChoice choice;
        // Its stream stopped by itself, and why.
        std::optional<QString> stopped;
        std::optional<QString> lostMicrophone;
        bool waitingForProgram = false;
    };
    FeedState feedState_;
    // While the replay is on: what it keeps, and the timer that opens its capture again after
    // a failure.
    std::shared_ptr<ReplayStore> replay_;
    QTimer* replayRetry_;
    // A recording that leaves a running capture waits this long at most for what played up to
    // its stop.
    QTimer* recordingEndWait_;
    bool recordingLeaving_ = false;
};
