#pragma once

#include "TimeRange.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

// A run of a recording's frames, [first, end). The selection is kept in seconds; what reads or
// plays the file works in frames, and seconds become frames here alone: to the nearest frame,
// kept inside the file (before the start is the start, past the end is the end, NaN the start,
// so a bad value can only ever shrink a range).
struct FrameRange {
    int64_t first = 0;
    int64_t end = 0;

    int64_t count() const { return end - first; }
    bool isEmpty() const { return end <= first; }

    static int64_t frameAt(double seconds, double sampleRate, int64_t totalFrames) {
        const double frame = seconds * sampleRate;
        if (!(frame > 0.0))
            return 0;
        if (frame >= static_cast<double>(totalFrames))
            return totalFrames;
        return std::min<int64_t>(std::llround(frame), totalFrames);
    }

    static FrameRange of(TimeRange range, double sampleRate, int64_t totalFrames) {
        const int64_t first = frameAt(range.lower, sampleRate, totalFrames);
        return {first, std::max(first, frameAt(range.upper, sampleRate, totalFrames))};
    }

    friend bool operator==(const FrameRange&, const FrameRange&) = default;
};
