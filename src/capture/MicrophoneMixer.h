#pragma once

#include "PcmBuffer.h"

#include <chrono>
#include <memory>
#include <vector>

struct SwrContext;

// Mixes a microphone into the output's stereo audio on the output's timeline: the microphone
// downmixed to mono at equal level in both channels, the output as it is.
//
// The two streams run on different clocks and arrive with different latencies. Each buffer's
// capture time (PcmBuffer::capturedAtUs) places it on a common clock; the output's frames are
// never moved, dropped or resampled, and the microphone is resampled with a slowly adapting
// ratio so that it stays where its capture times say it belongs. A stream that stalls doesn't
// hold back the other: once it is late by stallAfter, its part of the mix is silence, and a
// stream whose capture times jump ahead gets silence for the gap.
//
// Not thread-safe: one caller at a time.
class MicrophoneMixer {
public:
    static constexpr int sampleRateHz = 48000;
    // Longer than the capture's own wait before it takes a quiet stream's time as silence.
    static constexpr std::chrono::milliseconds stallAfter{1500};
    // Larger offsets are put right at once (a gap, a start); smaller ones by the resampler.
    static constexpr std::chrono::milliseconds resyncAfter{30};
    // ...at once when this large or larger; below it only once they have lasted
    // resyncConfirmedAfter: on a busy machine the servers' timing estimates stray that far for
    // moments, while the audio itself stays where it was.
    static constexpr std::chrono::milliseconds jumpAfter{100};
    static constexpr std::chrono::milliseconds resyncConfirmedAfter{1000};
    // The resampler's largest departure from 1:1, and how fast it closes an offset.
    static constexpr double maxCorrection = 0.001;
    static constexpr double correctionSeconds = 8.0;

    explicit MicrophoneMixer(int microphoneChannels);
    ~MicrophoneMixer();
    MicrophoneMixer(const MicrophoneMixer&) = delete;
    MicrophoneMixer& operator=(const MicrophoneMixer&) = delete;

    // Each returns the stereo 48 kHz frames of the mix that are now complete, in order; often
    // none. Buffers must be at 48 kHz: the output stereo, the microphone in its channel count.
    PcmBuffer addOutput(const PcmBuffer& buffer);
    PcmBuffer addMicrophone(const PcmBuffer& buffer);
    // The microphone is gone: what it gave is still mixed in, then the output goes on alone.
    PcmBuffer endMicrophone();
    // Everything the output gave, with whatever the microphone has for it.
    PcmBuffer finish();

    // Where the microphone sits against its capture times, in milliseconds (positive: late).
    double microphoneOffsetMs() const;

private:
    // Buffers in a row, and their frames, that were out of line by more than resyncAfter.
    struct OutOfLine {
        int buffers = 0;
        qint64 frames = 0;
        void add(qint64 bufferFrames) { ++buffers, frames += bufferFrames; }
        void clear() { buffers = 0, frames = 0; }
        // Whether an offset of `offsetUs` has been seen long enough to be real.
        bool confirmed(double offsetUs) const;
    };

    // Maps a stream's frame positions to the common clock. Follows slow clock drift; a jump
    // larger than resyncAfter is a gap (ahead) or a new start (behind).
    struct Timeline {
        bool anchored = false;
        double anchorUs = 0;
        double anchorFrame = 0;
        // Buffers in a row that were out of line by about suspectLate.
        OutOfLine suspects;
        double suspectLate = 0;
        static constexpr int confirmations = 3;
        double timeAt(double frame) const;
        double frameAt(double us) const;
        // How many frames of silence belong before a buffer of `frames` captured at `us` that
        // follows frame `end`.
        qint64 place(qint64 end, qint64 us, qint64 frames);
    };

    void appendOutput(const float* samples, qint64 frames);
    void resample(const std::vector<float>& mono, qint64 capturedAtUs);
    void synthesizeStalledOutput();
    PcmBuffer drain(bool everything);

    int microphoneChannels_;
    std::unique_ptr<SwrContext, void (*)(SwrContext*)> resampler_;

    Timeline output_;
    // File frames: [emitted_, emitted_ + outputQueue_.size() / 2) wait in the queue.
    std::vector<float> outputQueue_;
    qint64 emitted_ = 0;
    qint64 outputEnd_ = 0;

    Timeline microphone_;
    // Microphone frames received so far (and silence put in for its gaps).
    qint64 microphoneEnd_ = 0;
    // Microphone frames fed to the resampler.
    qint64 microphoneFed_ = 0;
    bool microphoneAligned_ = false;
    bool microphoneEnded_ = false;
    // Held until the output has placed the file on the clock.
    std::vector<std::pair<std::vector<float>, qint64>> heldMicrophone_;
    // Resampled microphone on the file's timeline: file frames [mixStart_, mixStart_ + size).
    std::vector<float> microphoneMix_;
    qint64 mixStart_ = 0;
    double lastOffsetFrames_ = 0;
    // Microphone buffers in a row whose offset was beyond resyncAfter.
    OutOfLine outOfLine_;

    // The latest capture time either stream has reached.
    double latestUs_ = -1;
};
