#include "RecordingWriter.h"

#include "RecordingsFolder.h"

#include <QCoreApplication>

namespace {

std::unique_ptr<RecordingFile> createFile(const PcmBuffer& buffer, QString* error) {
    const QString directory = RecordingsFolder::ensure(error);
    if (directory.isEmpty()) {
        return nullptr;
    }
    return RecordingFile::create(directory, buffer.sampleRateHz, buffer.channelCount, error);
}

} // namespace

void RecordingWriter::append(const PcmBuffer& buffer) {
    std::lock_guard guard(mutex_);
    if (finished_ || buffer.frames() < 1)
        return;
    auto remember = [this](const QString& reason) {
        if (!firstLossReason_)
            firstLossReason_ = reason;
    };
    if (!file_) {
        QString error;
        file_ = createFile(buffer, &error);
        if (!file_) {
            lastCreationError_ = error;
            remember(error);
            return;
        }
    }
    if (buffer.sampleRateHz != file_->sampleRateHz() ||
        buffer.channelCount != file_->channelCount()) {
        remember(QCoreApplication::translate("RecordingWriter",
                                             "The audio format changed during the recording."));
        return;
    }
    QString error;
    if (!file_->append(buffer.samples.data(), buffer.frames(), &error))
        remember(error);
}

RecordingWriter::Outcome RecordingWriter::finish() {
    std::lock_guard guard(mutex_);
    finished_ = true;
    Outcome outcome;
    if (file_) {
        outcome.filePath = file_->path();
        outcome.lossReason = firstLossReason_;
        outcome.framesWritten = file_->framesWritten();
    } else {
        outcome.creationError = lastCreationError_;
    }
    file_.reset();
    return outcome;
}
