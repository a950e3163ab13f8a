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

    bool isRecording() const { return isRecording_; }
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
    void beginCapture(const ShareableContent& content, const std::shared_ptr<QPromise<void>>& done);
    void captureStarted(const std::shared_ptr<RecordingWriter>& writer);
    void failStart(const QString& message);
    void finishStarting(const std::shared_ptr<QPromise<void>>& done);
    QFuture<void> beginStopping();
    void stoppedByItself(quint64 generation, const QString& reason);
    void finishRecording(const CaptureResult& stopResult);
    void tick();

    void setIsRecording(bool value);
    void setElapsedTime(double seconds);
    void setLastRecordingURL(std::optional<QUrl> url);
    void setLastRecordingDate(std::optional<QDateTime> date);

    std::unique_ptr<CaptureService> service_;
    QTimer* ticker_;

    bool isRecording_ = false;
    double elapsedTime_ = 0;
    std::optional<QString> errorMessage_;
    std::optional<QUrl> lastRecordingURL_;
    std::optional<QDateTime> lastRecordingDate_;

    bool streamRunning_ = false;
    std::optional<QDateTime> recordingStartDate_;
    std::shared_ptr<RecordingWriter> writer_;
    std::optional<QFuture<void>> startUnderWay_;
    std::optional<QFuture<void>> stopUnderWay_;
    std::optional<QString> unexpectedStopReason_;
    // Tells the notices of one stream from those of the next.
    quint64 streamGeneration_ = 0;
};
