#pragma once

#include "TimeRange.h"
#include "Waveform.h"

#include <optional>

// Where sound begins and ends in a waveform, widened by a margin: "Auto-Trim Silence".
class SilenceTrimmer {
public:
    SilenceTrimmer() = delete;

    // From the start of the first bin at or above `threshold` to the start of the last one,
    // each moved out by `padding` seconds and kept within 0 … duration. Nothing when no bin
    // is loud enough or the range would be empty. A NaN peak is never sound.
    static std::optional<TimeRange> trim(const Waveform::Data& waveform, float threshold,
                                         double padding);
};
