#pragma once

#include <QString>
#include <memory>

class PulseConnection;

// Plays a local audio file on the sound server: libsndfile reads it as float in small blocks on
// the mainloop thread, a libpulse playback stream plays it. The position comes from the stream's
// timing info, so it tells what is heard now, not what was last handed to the server.
// Used from one thread (the main thread); the mainloop thread only feeds the stream.
class AudioFilePlayer {
public:
    // Opens `filePath` for playback on `connection`, which must outlive the player. Returns null
    // with a readable reason in `error` when the file is missing or holds no audio we can read.
    static std::unique_ptr<AudioFilePlayer> open(PulseConnection& connection,
                                                 const QString& filePath, QString* error);

    // Ends the sound at once.
    ~AudioFilePlayer();
    AudioFilePlayer(const AudioFilePlayer&) = delete;
    AudioFilePlayer& operator=(const AudioFilePlayer&) = delete;

    // Chooses where the next play() starts, clamped to the file. False while playing or when
    // the file cannot seek there.
    bool seek(double seconds);

    // Starts playing from the chosen position and returns once the server has accepted the
    // stream (a local server answers in milliseconds). True when already playing.
    bool play(QString* error);

    // Ends the sound at once. The position stays where the sound stopped, so play() resumes.
    void stop();

    // Seconds from the start of the file of what is being heard now.
    double positionSeconds() const;

    // True from play() until stop(), the end of the file has been heard, or the stream failed.
    bool isPlaying() const;

private:
    struct State;
    explicit AudioFilePlayer(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};
