#pragma once

#include "CaptureService.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

class QTimer;
class RecordingWriter;

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

public:
    enum class RecorderError { permissionDenied, noDisplay };
    Q_ENUM(RecorderError)
    static QString description(RecorderError error);

    static constexpr int tickerIntervalMs = 200;

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

Q_SIGNALS:
    void isRecordingChanged(bool isRecording);
    void elapsedTimeChanged(double elapsedTime);
    void errorMessageChanged(std::optional<QString> errorMessage);
    void lastRecordingURLChanged(std::optional<QUrl> lastRecordingURL);
    void lastRecordingDateChanged(std::optional<QDateTime> lastRecordingDate);

private:
    // isRecording is true in recording and stopping.
    enum class Phase { idle, starting, recording, stopping };

    void enter(Phase phase);
    void beginCapture(const ShareableContent& content);
    void captureStarted(const CaptureResult& error);
    void failStart(const QString& message);
    QFuture<void> beginStopping();
    void stoppedByItself(const std::shared_ptr<RecordingWriter>& writer, const QString& reason);
    void finishRecording(const CaptureResult& stopError);
    void tick();

    void setElapsedTime(double seconds);
    void setLastRecordingURL(std::optional<QUrl> url);
    void setLastRecordingDate(std::optional<QDateTime> date);

    std::unique_ptr<CaptureService> service_;
    QTimer* ticker_;

    double elapsedTime_ = 0;
    std::optional<QString> errorMessage_;
    std::optional<QUrl> lastRecordingURL_;
    std::optional<QDateTime> lastRecordingDate_;

    Phase phase_ = Phase::idle;
    // Starting and stopping: finished when the phase ends.
    std::shared_ptr<QPromise<void>> transition_;
    // Starting to stopping: the current stream's file; its notices are told apart by it.
    std::shared_ptr<RecordingWriter> writer_;
    // Starting to stopping: why the stream stopped without being asked to, once it has.
    std::optional<QString> stoppedByItself_;
    std::optional<QDateTime> recordingStartDate_;
};
