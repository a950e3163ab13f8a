#pragma once

#include "Failure.h"
#include "TimeRange.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class AudioFilePlayer;
class PulseConnection;

// Plays one time range of an audio file and publishes, while it plays, where in the file
// playback is: a watch on the main thread reads the position every 30 ms for the playhead. The
// player plays exactly the range and ends by itself after it.
// A failure to play leaves the player idle and is told through failed().
class SelectionPlayer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(double currentTime READ currentTime NOTIFY currentTimeChanged)

public:
    explicit SelectionPlayer(QObject* parent = nullptr);
    ~SelectionPlayer() override;

    bool isPlaying() const;
    // Seconds from the start of the file, as last read while playing; kept after stop().
    double currentTime() const;

    // Stops when playing; otherwise starts playing the file at `path` from range.lower until
    // range.upper.
    void toggle(const QString& path, TimeRange range);
    // Ends playback at once. Safe to call at any time.
    void stop();

Q_SIGNALS:
    void isPlayingChanged();
    void currentTimeChanged();
    // Playback couldn't start; the reason as the sound server or the file reader gave it.
    void failed(const QString& reason);

private:
    static constexpr int watchIntervalMs = 30;

    Result<std::unique_ptr<AudioFilePlayer>> startPlayer(const QString& path, TimeRange range);
    void watch();
    void setPlaying(bool playing);

    bool isPlaying_ = false;
    double currentTime_ = 0.0;
    // Declared before the player it serves, so the player goes first.
    std::unique_ptr<PulseConnection> connection_;
    std::unique_ptr<AudioFilePlayer> player_;
    QTimer watchTimer_;
};
