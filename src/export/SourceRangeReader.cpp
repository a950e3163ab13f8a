#include "SourceRangeReader.h"

#include "ExportFailure.h"

#include <QCoreApplication>

namespace {

ExportFailure sourceChanged() {
    return ExportFailure(QCoreApplication::translate(
        "AudioExporter", "The recording changed while it was being saved, so it wasn't saved."));
}

RecordingReader opened(const QString& path) {
    Result<RecordingReader> recording = RecordingReader::open(path);
    if (!recording)
        throw ExportFailure(recording.failure().reason);
    return std::move(recording).value();
}

FrameRange within(FrameRange frames, int64_t totalFrames) {
    return {std::max<int64_t>(frames.first, 0), std::min(frames.end, totalFrames)};
}

} // namespace

SourceRangeReader::SourceRangeReader(const QString& path, TimeRange range)
    : recording_(opened(path)),
      frames_(FrameRange::of(range, recording_.sampleRate(), recording_.frameCount())) {
    begin();
}

SourceRangeReader::SourceRangeReader(const QString& path, FrameRange frames)
    : recording_(opened(path)), frames_(within(frames, recording_.frameCount())) {
    begin();
}

void SourceRangeReader::begin() {
    if (frames_.isEmpty())
        throw ExportFailure(
            QCoreApplication::translate("AudioExporter", "The selection holds no audio."));
    next_ = frames_.first;
}

int64_t SourceRangeReader::read(std::span<float> samples) {
    const std::optional<int64_t> got = recording_.read({next_, frames_.end}, samples);
    if (!got)
        throw ExportFailure(recording_.errorText());
    // The run was inside the file when it was opened: ending early means it was cut short.
    if (*got == 0 && next_ < frames_.end)
        throw sourceChanged();
    next_ += *got;
    return *got;
}

void SourceRangeReader::checkUnchanged() const {
    if (!recording_.isUnchanged())
        throw sourceChanged();
}
