#include "RecordingReader.h"

#include "FileDescriptor.h"
#include "SampleKernels.h"
#include "SoundFileHandle.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace

struct RecordingReader::State {
    // Declared first so it closes last: the sound file reads through it.
    FileDescriptor descriptor;
    struct stat opened = {};
    SoundFileHandle file;
    SF_INFO info{};
    // Where libsndfile stands, so reads that follow one another skip the seek.
    int64_t position = 0;
    // Float files are read as raw bytes: libsndfile's own float path byte-swaps through an
    // 8 KB buffer, one system call each, which reads a recording at a fraction of disk speed.
    bool readsRawFloats = false;
    bool swapsBytes = false;
    QString error;

    int64_t readFrames(float* interleaved, int64_t frames) {
        if (!readsRawFloats)
            return sf_readf_float(file.get(), interleaved, frames);
        const int64_t bytesPerFrame = int64_t{info.channels} * int64_t{sizeof(float)};
        // libsndfile stops raw reads at the end of the audio data, whatever chunks follow it.
        const sf_count_t bytes = sf_read_raw(file.get(), interleaved, frames * bytesPerFrame);
        const int64_t delivered = bytes / bytesPerFrame;
        if (swapsBytes)
            SampleKernels::swapByteOrder(interleaved, delivered * info.channels);
        return delivered;
    }

    std::optional<int64_t> failed(QString text) {
        error = std::move(text);
        position = -1; // unknown: the next read seeks
        return std::nullopt;
    }
};

RecordingReader::RecordingReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
RecordingReader::~RecordingReader() = default;
RecordingReader::RecordingReader(RecordingReader&&) noexcept = default;
RecordingReader& RecordingReader::operator=(RecordingReader&&) noexcept = default;

Result<RecordingReader> RecordingReader::open(const QString& path) {
    static_assert(sizeof(float) == 4, "raw float samples are 32-bit IEEE");
    auto fail = [](const QString& text) { return Failure::because(text); };
    auto state = std::make_unique<State>();
    // Without blocking, so a named pipe in place of a recording can't hang the open; a regular
    // file reads the same either way.
    state->descriptor.reset(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!state->descriptor.isValid() || ::fstat(state->descriptor.get(), &state->opened) != 0)
        return fail(qt_error_string(errno));
    if (S_ISDIR(state->opened.st_mode))
        return fail(qt_error_string(EISDIR));
    if (!S_ISREG(state->opened.st_mode))
        return fail(QCoreApplication::translate("RecordingReader",
                                                "Only a file on disk can be read as a recording."));
    state->file.reset(sf_open_fd(state->descriptor.get(), SFM_READ, &state->info, SF_FALSE));
    if (!state->file)
        return fail(QString::fromUtf8(sf_strerror(nullptr)));
    const SF_INFO& info = state->info;
    if (info.samplerate <= 0 || info.channels <= 0 || info.frames < 0)
        return fail(
            QCoreApplication::translate("RecordingReader", "The recording's format isn't usable."));
    state->readsRawFloats = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT;
    state->swapsBytes =
        sf_command(state->file.get(), SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
    return RecordingReader(std::move(state));
}

int64_t RecordingReader::frameCount() const {
    return state_->info.frames;
}

int RecordingReader::sampleRate() const {
    return state_->info.samplerate;
}

int RecordingReader::channelCount() const {
    return state_->info.channels;
}

std::optional<int64_t> RecordingReader::read(FrameRange frames, std::span<float> interleaved) {
    State& s = *state_;
    const int64_t wanted = std::min<int64_t>(
        frames.count(), static_cast<int64_t>(interleaved.size()) / s.info.channels);
    if (frames.first < 0 || wanted < 0)
        return s.failed(qt_error_string(EINVAL));
    if (frames.first >= s.info.frames || wanted == 0)
        return 0;
    // Raw reads follow the same position: libsndfile seeks within the audio data.
    if (frames.first != s.position && sf_seek(s.file.get(), frames.first, SEEK_SET) < 0)
        return s.failed(QString::fromUtf8(sf_strerror(s.file.get())));
    const int64_t got = s.readFrames(interleaved.data(), wanted);
    // Frames read before a failure are passed on; the failure shows on the next read.
    if (got <= 0 && sf_error(s.file.get()) != SF_ERR_NO_ERROR)
        return s.failed(QString::fromUtf8(sf_strerror(s.file.get())));
    s.position = frames.first + got;
    return got;
}

bool RecordingReader::isUnchanged() const {
    struct stat now = {};
    return ::fstat(state_->descriptor.get(), &now) == 0 && sameFile(now, state_->opened);
}

QString RecordingReader::errorText() const {
    return state_->error;
}
