#pragma once

#include "Failure.h"
#include "TimeRange.h"

#include <QString>
#include <memory>

class PulseConnection;

// Plays a run of a local audio file on the sound server: a reader thread reads it ahead (see
// ReadAhead), a libpulse playback stream plays exactly the run and ends by itself after its last
// frame has been heard. The position comes from the stream's timing info, so it tells what is
// heard now, not what was last handed to the server.
// Used from one thread (the main thread); the mainloop thread only feeds the stream.
class AudioFilePlayer {
public:
    // Opens `filePath` for playback on `connection`, which must outlive the player. Why not, when
    // the file is missing or holds no audio we can read.
    static Result<std::unique_ptr<AudioFilePlayer>> open(PulseConnection& connection,
                                                         const QString& filePath);

    // Ends the sound at once.
    ~AudioFilePlayer();
    AudioFilePlayer(const AudioFilePlayer&) = delete;
    AudioFilePlayer& operator=(const AudioFilePlayer&) = delete;

    // Starts playing `range` (clamped to the file) and returns once the server has accepted
    // the stream (a local server answers in milliseconds). Nothing when it plays, as it does
    // when it was playing already; otherwise why not.
    std::optional<Failure> play(TimeRange range);

    // Ends the sound at once. The position stays where the sound stopped.
    void stop();

    // Seconds from the start of the file of what is being heard now.
    double positionSeconds() const;

    // True from play() until stop(), the end of the run has been heard, or the stream failed.
    bool isPlaying() const;

private:
    struct State;
    explicit AudioFilePlayer(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};
