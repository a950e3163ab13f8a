#include "RecordingFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QUuid>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

Result<std::unique_ptr<RecordingFile>> RecordingFile::create(const QString& directory,
                                                             int sampleRateHz, int channelCount) {
    auto fail = [](const QString& reason) { return Failure::because(reason); };
    if (sampleRateHz <= 0 || channelCount <= 0)
        return fail(QCoreApplication::translate("RecordingFile",
                                                "The captured audio has no usable format."));

    std::unique_ptr<RecordingFile> recording(new RecordingFile);
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    recording->path_ = QDir(directory).filePath(QStringLiteral("Sonabrix-%1.caf").arg(uuid));
    recording->sampleRateHz_ = sampleRateHz;
    recording->channelCount_ = channelCount;

    const QByteArray encodedPath = QFile::encodeName(recording->path_);
    recording->descriptor_.reset(
        ::open(encodedPath.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
    if (!recording->descriptor_.isValid())
        return fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(recording->path_),
                                                 qt_error_string(errno)));

    SF_INFO info{};
    info.samplerate = sampleRateHz;
    info.channels = channelCount;
    // libsndfile writes CAF big-endian unless told otherwise, which would make every later read
    // byte-swap the whole recording.
    info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT | SF_ENDIAN_LITTLE;
    recording->file_.reset(sf_open_fd(recording->descriptor_.get(), SFM_WRITE, &info, SF_FALSE));
    if (!recording->file_) {
        const QString reason = QString::fromUtf8(sf_strerror(nullptr));
        ::unlink(encodedPath.constData());
        return fail(reason);
    }
    sf_command(recording->file_.get(), SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return recording;
}

RecordingFile::~RecordingFile() = default;

std::optional<Failure> RecordingFile::append(const float* interleavedSamples, qint64 frames) {
    const sf_count_t written = sf_writef_float(file_.get(), interleavedSamples, frames);
    if (written > 0)
        framesWritten_ += written;
    if (written == frames)
        return std::nullopt;
    const int code = sf_error(file_.get());
    const QString reason =
        code != SF_ERR_NO_ERROR
            ? QString::fromUtf8(sf_strerror(file_.get()))
            : QCoreApplication::translate("RecordingFile", "Only %1 of %2 frames could be written.")
                  .arg(written)
                  .arg(frames);
    // After a failed write libsndfile's idea of the write position is stale: without this the
    // next append would land over the start of the audio.
    sf_seek(file_.get(), framesWritten_, SEEK_SET);
    return Failure::because(reason);
}
