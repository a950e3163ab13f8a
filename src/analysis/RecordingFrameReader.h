#pragma once

#include "FrameReader.h"
#include "RecordingReader.h"

#include <QString>
#include <memory>

// A recording delivered to the peak extraction as float frames, one run after another.
class RecordingFrameReader final : public FrameReader {
public:
    // Nothing when the recording can't be opened.
    static std::unique_ptr<RecordingFrameReader> open(const QString& path);

    explicit RecordingFrameReader(RecordingReader reader) : reader_(std::move(reader)) {}

    int channelCount() const override { return reader_.channelCount(); }
    double sampleRate() const override { return reader_.sampleRate(); }
    qint64 lengthFrames() const override { return reader_.frameCount(); }
    std::optional<qint64> read(float* interleaved, qint64 frames) override;
    bool seek(qint64 frame) override;

private:
    RecordingReader reader_;
    qint64 position_ = 0;
};
