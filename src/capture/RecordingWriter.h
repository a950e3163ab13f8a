#pragma once

#include "PcmBuffer.h"
#include "RecordingFile.h"

#include <QString>
#include <memory>
#include <mutex>
#include <optional>

// The per-buffer path of one recording: the first buffer creates the recording file, every
// buffer is appended in order. The first buffer that can't be stored ends the file: it and
// every later one are dropped (the recording is to end at once, with no hole in the middle),
// and the reason is kept, so that a loss is never reported as success.
class RecordingWriter {
public:
    struct Outcome {
        std::optional<QString> filePath;
        // Why no file could be created, when none was.
        std::optional<QString> creationError;
        // Why buffers are missing from the file, when one was created.
        std::optional<QString> lossReason;
        qint64 framesWritten = 0;
    };

    // Files go to the temporary directory (TMPDIR honoured), looked up at each attempt.
    RecordingWriter() = default;

    // On the capture thread. False when the buffer couldn't be stored.
    bool append(const PcmBuffer& buffer);

    // The file being written, once the first buffer has created it.
    std::optional<QString> filePath();

    // Closes the file; buffers that still arrive afterwards are ignored, so a stream that didn't
    // stop cleanly can't write into a closed recording or start another file.
    Outcome finish();

private:
    std::mutex mutex_;
    std::unique_ptr<RecordingFile> file_;
    bool finished_ = false;
    std::optional<QString> creationError_;
    std::optional<QString> lossReason_;
};
