#pragma once

#include "FrameReader.h"
#include "TimeRange.h"
#include "Waveform.h"

#include <QFuture>
#include <QString>
#include <optional>

// Where sound begins and ends in a waveform, widened by a margin: "Auto-Trim Silence".
class SilenceTrimmer {
public:
    SilenceTrimmer() = delete;

    // From the start of the first bin at or above `threshold` to the end of the last one, each
    // moved out by `padding` seconds and kept within 0 … duration. Nothing when no bin is loud
    // enough or the range would be empty. A NaN peak is never sound.
    static std::optional<TimeRange> trim(const Waveform::Data& waveform, float threshold,
                                         double padding);

    // The same ends found on the samples themselves: the first and last frame with a sample at
    // or above `threshold`, searched within the first and last loud bins and their neighbours,
    // then moved out by `padding`. Reads a few bins whatever the recording's length. Nothing
    // when no bin is loud, the reader fails or the bins hold no loud sample after all.
    static std::optional<TimeRange> refine(FrameReader& reader, const Waveform::Data& waveform,
                                           float threshold, double padding);
    // refine() on the file at `path`, on Qt Concurrent's pool.
    static QFuture<std::optional<TimeRange>>
    refineFile(const QString& path, Waveform::Data waveform, float threshold, double padding);
};
