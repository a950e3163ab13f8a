#include "RecordingFrameReader.h"

#include "Logging.h"

std::unique_ptr<RecordingFrameReader> RecordingFrameReader::open(const QString& path) {
    Result<RecordingReader> reader = RecordingReader::open(path);
    if (!reader) {
        qCInfo(lcAnalysis).noquote()
            << "Couldn't open a recording for its peaks:" << reader.failure().message();
        return nullptr;
    }
    return std::make_unique<RecordingFrameReader>(std::move(reader).value());
}

std::optional<qint64> RecordingFrameReader::read(float* interleaved, qint64 frames) {
    const std::optional<int64_t> delivered =
        reader_.read({position_, position_ + frames},
                     std::span(interleaved, static_cast<size_t>(frames * channelCount())));
    if (!delivered)
        return std::nullopt;
    position_ += *delivered;
    return *delivered;
}

bool RecordingFrameReader::seek(qint64 frame) {
    if (frame < 0 || frame > reader_.frameCount())
        return false;
    position_ = frame;
    return true;
}
