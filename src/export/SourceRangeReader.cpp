#include "SourceRangeReader.h"

#include "ExportFailure.h"
#include "SoundFileHandle.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <sndfile.h>

namespace {

// Seconds to the nearest frame, kept inside the file: before the start reads from 0, past the
// end stops at the end. NaN counts as the start so it can only ever shrink the range.
int64_t frameAt(double seconds, int sampleRate, int64_t totalFrames) {
    const double frame = seconds * sampleRate;
    if (!(frame > 0.0))
        return 0;
    if (frame >= static_cast<double>(totalFrames))
        return totalFrames;
    return std::min<int64_t>(std::llround(frame), totalFrames);
}

// libsndfile's own text for the last error on `file`, or on the last failed open when null.
ExportFailure sndfileFailure(SNDFILE* file) {
    return ExportFailure(QString::fromUtf8(sf_strerror(file)));
}

} // namespace

struct SourceRangeReader::State {
    SoundFileHandle file;
    SF_INFO info{};
    int64_t frameCount = 0;
    int64_t framesLeft = 0;
};

SourceRangeReader::SourceRangeReader(const QString& path, TimeRange range)
    : state_(std::make_unique<State>()) {
    state_->file.reset(sf_open(QFile::encodeName(path).constData(), SFM_READ, &state_->info));
    if (!state_->file)
        throw sndfileFailure(nullptr);

    const SF_INFO& info = state_->info;
    if (info.samplerate <= 0 || info.channels <= 0)
        throw ExportFailure(
            QCoreApplication::translate("AudioExporter", "The recording's format isn't usable."));

    const int64_t firstFrame = frameAt(range.lower, info.samplerate, info.frames);
    const int64_t endFrame = frameAt(range.upper, info.samplerate, info.frames);
    if (endFrame <= firstFrame)
        throw ExportFailure(
            QCoreApplication::translate("AudioExporter", "The selection holds no audio."));

    if (sf_seek(state_->file.get(), firstFrame, SEEK_SET) < 0)
        throw sndfileFailure(state_->file.get());
    state_->frameCount = endFrame - firstFrame;
    state_->framesLeft = state_->frameCount;
}

SourceRangeReader::~SourceRangeReader() = default;

int SourceRangeReader::sampleRate() const {
    return state_->info.samplerate;
}

int SourceRangeReader::channelCount() const {
    return state_->info.channels;
}

int64_t SourceRangeReader::frameCount() const {
    return state_->frameCount;
}

int64_t SourceRangeReader::read(std::span<float> samples) {
    const auto capacityFrames = static_cast<int64_t>(samples.size()) / channelCount();
    const int64_t wanted = std::min(capacityFrames, state_->framesLeft);
    if (wanted <= 0)
        return 0;
    const sf_count_t got = sf_readf_float(state_->file.get(), samples.data(), wanted);
    if (got < wanted && sf_error(state_->file.get()) != SF_ERR_NO_ERROR)
        throw sndfileFailure(state_->file.get());
    // A file shorter than its header claims ends the range where the audio ends.
    state_->framesLeft = got < wanted ? 0 : state_->framesLeft - got;
    return got;
}
