#pragma once

#include "ExportFormat.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

// Encodes interleaved float audio of any channel count and rate into a file of the given
// format: cleaned and mixed to at most two channels (ChannelMixer), resampled where the
// format needs it, encoded and written with the encoder's delay and padding recorded in the
// container, so the file plays exactly what was written. Throws ExportFailure on any failure.
class EncodedFileWriter {
public:
    // FFmpeg's generic tag names ("title", "date", "encoder", …) and their values, which each
    // container writes in its own way.
    using Tags = std::vector<std::pair<QByteArray, QString>>;

    EncodedFileWriter(const QString& path, ExportFormat format, int sampleRate, int channelCount,
                      const Tags& tags = {});
    ~EncodedFileWriter();
    EncodedFileWriter(const EncodedFileWriter&) = delete;
    EncodedFileWriter& operator=(const EncodedFileWriter&) = delete;

    int outputRate() const;
    int outputChannels() const;
    // Frames handed to the encoder so far, at the output rate.
    int64_t framesEncoded() const;

    void write(std::span<const float> interleavedSamples);
    // Drains the resampler and the encoder and completes the file; nothing is usable before.
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};
