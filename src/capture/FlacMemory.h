#pragma once

#include <QtGlobal>
#include <optional>
#include <vector>

// Audio kept in memory as one independent FLAC stream at 24 bits: lossless for 24-bit audio, so
// that what is saved from it can be edited and encoded again without a second loss. Samples are
// rounded to the nearest 24-bit step and clipped to [-1, 1 - 2^-23]: what a sound server delivers
// in float carries no more than that, and what lies beyond full scale would clip in any saved
// file too.
namespace FlacMemory {

// `level` is FLAC's compression level, 0 (fastest) to 8 (smallest). The stream returned takes
// exactly its own size. Nothing when libsndfile refuses (only for lack of memory or a format it
// can't write).
std::optional<std::vector<unsigned char>> encode(const float* interleaved, qint64 frames,
                                                 int sampleRateHz, int channelCount, int level);

// A sample as a stream keeps it; what is read of frames not yet encoded goes through this too,
// so that every frame of a replay reads back alike.
float asStored(float sample);

// Decodes a whole stream made by encode into `interleaved` (frames × channels); false when it
// doesn't hold exactly that many frames of that many channels.
bool decode(const std::vector<unsigned char>& stream, float* interleaved, qint64 frames,
            int channelCount);

} // namespace FlacMemory
