#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <span>

// Encodes interleaved float audio as AAC-LC into an MPEG-4 audio (.m4a) file: 256 kb/s stereo
// or 128 kb/s mono, at the source's rate when AAC allows it. The index goes to the front and
// the encoder's priming is hidden by an edit list, so the file plays exactly what was written.
// Throws ExportFailure (or ExportError when no AAC encoder exists) on any failure.
class M4aWriter {
public:
    M4aWriter(const QString& path, int sampleRate, int channelCount);
    ~M4aWriter();
    M4aWriter(const M4aWriter&) = delete;
    M4aWriter& operator=(const M4aWriter&) = delete;

    void write(std::span<const float> interleavedSamples);
    // Drains the resampler and the encoder and completes the file; nothing is usable before.
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};
