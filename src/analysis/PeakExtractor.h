#pragma once

#include "FrameReader.h"
#include "Waveform.h"

#include <optional>

// One pass over a reader into peak bins, with one reusable chunk buffer.
class PeakExtractor {
public:
    PeakExtractor() = delete;

    static constexpr qint64 chunkFrames = 0x10000;

    // Nothing when the reader reports no frames or the chunk buffer cannot be had. A failed
    // read ends the pass and keeps the bins gathered so far.
    static std::optional<Waveform::Data> extract(FrameReader& reader, qint64 targetPeakCount);
};
