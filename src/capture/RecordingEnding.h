#pragma once

#include "CaptureService.h"
#include "RecordingWriter.h"

#include <QString>
#include <optional>

// How a recording ended, as the recorder learnt it.
struct RecordingEnding {
    // The stream's reason, when it stopped without being asked to.
    std::optional<QString> stoppedByItself;
    // Why a requested stop failed, when it did.
    CaptureResult stopError;
    // What became of the recording file.
    RecordingWriter::Outcome file;
    // The recording was stopped before the disk filled up.
    bool stoppedForSpace = false;
};

// What the user is told about the recording's audio; none when everything was kept.
std::optional<QString> endingMessage(const RecordingEnding& ending);
