#include "RecordingWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <cerrno>

namespace {

std::unique_ptr<RecordingFile> createFile(const PcmBuffer& buffer, QString* error) {
    const QString directory = QDir::tempPath();
    // Qt gives no path at all for a temporary directory that doesn't exist.
    if (directory.isEmpty()) {
        *error =
            QStringLiteral("%1: %2").arg(qEnvironmentVariable("TMPDIR"), qt_error_string(ENOENT));
        return nullptr;
    }
    return RecordingFile::create(directory, buffer.sampleRateHz, buffer.channelCount, error);
}

} // namespace

bool RecordingWriter::append(const PcmBuffer& buffer) {
    std::lock_guard guard(mutex_);
    if (finished_ || creationError_ || lossReason_)
        return false;
    if (buffer.frames() < 1)
        return true;
    if (!file_) {
        QString error;
        file_ = createFile(buffer, &error);
        if (!file_) {
            creationError_ = error;
            return false;
        }
    }
    if (buffer.sampleRateHz != file_->sampleRateHz() ||
        buffer.channelCount != file_->channelCount()) {
        lossReason_ = QCoreApplication::translate("RecordingWriter",
                                                  "The audio format changed during the recording.");
        return false;
    }
    QString error;
    if (!file_->append(buffer.samples.data(), buffer.frames(), &error)) {
        lossReason_ = error;
        return false;
    }
    return true;
}

std::optional<QString> RecordingWriter::filePath() {
    std::lock_guard guard(mutex_);
    return file_ ? std::optional(file_->path()) : std::nullopt;
}

RecordingWriter::Outcome RecordingWriter::finish() {
    std::lock_guard guard(mutex_);
    finished_ = true;
    Outcome outcome;
    if (file_) {
        outcome.filePath = file_->path();
        outcome.lossReason = lossReason_;
        outcome.framesWritten = file_->framesWritten();
    } else {
        outcome.creationError = creationError_;
    }
    file_.reset();
    return outcome;
}
