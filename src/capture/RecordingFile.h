#pragma once

#include "Failure.h"
#include "FileDescriptor.h"
#include "SoundFileHandle.h"

#include <QString>
#include <memory>
#include <sndfile.h>

// A new recording on disk: a CAF file of little-endian 32-bit float frames named
// "Sonabrix-<UUID>.caf". Its header is rewritten after every append, so a process killed in the
// middle of a recording still leaves a file that opens with everything appended so far.
class RecordingFile {
public:
    // Creates the file exclusively, readable by its owner only (recordings of calls are private
    // and a temporary directory is shared). Why not, when it can't be created.
    static Result<std::unique_ptr<RecordingFile>> create(const QString& directory, int sampleRateHz,
                                                         int channelCount);

    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // Appends interleaved frames at the end. Why, when not all of them could be written.
    std::optional<Failure> append(const float* interleavedSamples, qint64 frames);

    QString path() const { return path_; }
    int sampleRateHz() const { return sampleRateHz_; }
    int channelCount() const { return channelCount_; }
    qint64 framesWritten() const { return framesWritten_; }

private:
    RecordingFile() = default;

    QString path_;
    int sampleRateHz_ = 0;
    int channelCount_ = 0;
    qint64 framesWritten_ = 0;
    // Declared before the sound file so that it is closed after it.
    FileDescriptor descriptor_;
    SoundFileHandle file_;
};
