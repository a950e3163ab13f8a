#include "SourceRangeReader.h"

#include "ExportFailure.h"
#include "FileDescriptor.h"
#include "FrameRange.h"
#include "SoundFileHandle.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>

namespace {

// libsndfile's own text for the last error on `file`, or on the last failed open when null.
ExportFailure sndfileFailure(SNDFILE* file) {
    return ExportFailure(QString::fromUtf8(sf_strerror(file)));
}

ExportFailure sourceChanged() {
    return ExportFailure(QCoreApplication::translate(
        "AudioExporter", "The recording changed while it was being saved, so it wasn't saved."));
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace

struct SourceRangeReader::State {
    // Read through a descriptor of our own, so the file can be checked for changes as it is read.
    FileDescriptor descriptor;
    struct stat opened = {};
    SoundFileHandle file;
    SF_INFO info{};
    int64_t firstFrame = 0;
    int64_t frameCount = 0;
    int64_t framesLeft = 0;
};

SourceRangeReader::SourceRangeReader(const QString& path, TimeRange range)
    : state_(std::make_unique<State>()) {
    state_->descriptor.reset(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!state_->descriptor.isValid() || ::fstat(state_->descriptor.get(), &state_->opened) != 0)
        throw ExportFailure::fromErrno(errno);
    state_->file.reset(sf_open_fd(state_->descriptor.get(), SFM_READ, &state_->info, SF_FALSE));
    if (!state_->file)
        throw sndfileFailure(nullptr);

    const SF_INFO& info = state_->info;
    if (info.samplerate <= 0 || info.channels <= 0)
        throw ExportFailure(
            QCoreApplication::translate("AudioExporter", "The recording's format isn't usable."));

    const FrameRange frames = FrameRange::of(range, info.samplerate, info.frames);
    if (frames.isEmpty())
        throw ExportFailure(
            QCoreApplication::translate("AudioExporter", "The selection holds no audio."));

    if (sf_seek(state_->file.get(), frames.first, SEEK_SET) < 0)
        throw sndfileFailure(state_->file.get());
    state_->firstFrame = frames.first;
    state_->frameCount = frames.count();
    state_->framesLeft = state_->frameCount;
}

SourceRangeReader::~SourceRangeReader() = default;

int SourceRangeReader::sampleRate() const {
    return state_->info.samplerate;
}

int SourceRangeReader::channelCount() const {
    return state_->info.channels;
}

int64_t SourceRangeReader::firstFrame() const {
    return state_->firstFrame;
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
    // The range was inside the file when it was opened: ending early means it was cut short.
    if (got < wanted)
        throw sourceChanged();
    state_->framesLeft -= got;
    return got;
}

void SourceRangeReader::checkUnchanged() const {
    struct stat now = {};
    if (::fstat(state_->descriptor.get(), &now) != 0)
        throw ExportFailure::fromErrno(errno);
    if (!sameFile(now, state_->opened))
        throw sourceChanged();
}
