#pragma once

#include "ExportFailure.h"
#include "ExportOptions.h"
#include "TimeRange.h"

#include <QFuture>
#include <QString>

// Writes a time range of a recording to an audio file, off the main thread, in the format
// the destination's extension names (ExportFormat.h): .m4a, .mp3, .opus, .flac or .wav.
class AudioExporter {
public:
    AudioExporter() = delete;

    // Every failure of an export, its failure() ready to show and its what() the reason alone;
    // sessionCreationFailed ("Couldn't set up the export.") when the export could not even begin.
    using ExportError = ExportFailure;

    // Runs on Qt Concurrent's pool. The range is read with frame accuracy and clamped to the
    // file; a range holding no audio, an unknown extension, a destination the user may not
    // write and a recording that changes while it is read all fail. On success the
    // destination is replaced at once; on failure or cancel() it is left exactly as it was
    // and no temporary file remains. Progress is reported from 0 to 1000 while encoding.
    static QFuture<void> exportTrimmed(const QString& sourcePath, TimeRange range,
                                       const QString& destinationPath);

    // As above, with a loudness target, fades and tags. With a loudness target the selection
    // is read twice, first to measure it; the progress covers both reads and cancel() works in
    // either. The one result says what the user may need to know.
    static QFuture<ExportOutcome> exportTrimmed(const QString& sourcePath, TimeRange range,
                                                const QString& destinationPath,
                                                const ExportOptions& options);
};
