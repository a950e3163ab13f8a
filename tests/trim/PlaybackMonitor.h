#pragma once

#include <QProcess>
#include <vector>

// Records what the test server's null sink plays (its monitor), mono float at 48000 Hz, through
// `parec`, so tests hear what a user would hear.
class PlaybackMonitor {
public:
    static constexpr int sampleRate = 48000;

    PlaybackMonitor();
    ~PlaybackMonitor();
    PlaybackMonitor(const PlaybackMonitor&) = delete;
    PlaybackMonitor& operator=(const PlaybackMonitor&) = delete;

    // Starts recording; true once the first sound (or silence) has arrived.
    bool start();

    // Seconds recorded so far; also takes in what arrived since the last call.
    double recordedSeconds();

    // The recorded samples from `fromSeconds` to `toSeconds` (clamped to what was recorded).
    std::vector<float> samples(double fromSeconds, double toSeconds);

    // How long the tone `hz` is heard between the two times, in 20 ms windows, where each window
    // counts for the strongest of `candidatesHz` in it.
    double secondsOfTone(double hz, const std::vector<double>& candidatesHz, double fromSeconds,
                         double toSeconds);

    // True when nothing louder than a faint hiss was recorded between the two times.
    bool isSilent(double fromSeconds, double toSeconds);

private:
    QProcess parec_;
    QByteArray pendingBytes_;
    std::vector<float> recorded_;
};
