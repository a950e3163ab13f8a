#include "ReplayBlock.h"

#include "FlacMemory.h"

#include <algorithm>
#include <memory>

qint64 ReplayBlock::memoryBytes() const {
    // make_shared puts the block beside its shared count: about two more pointers' worth.
    constexpr qint64 bookkeeping = sizeof(ReplayBlock) + 2 * sizeof(std::shared_ptr<int>);
    return bookkeeping + qint64(raw.capacity() * sizeof(float)) + qint64(flac.capacity());
}

bool ReplayBlock::decodeInto(std::vector<float>& out, int channelCount) const {
    const size_t samples = size_t(frames * channelCount);
    switch (form) {
    case Form::Silence:
        out.assign(samples, 0.0f);
        return true;
    case Form::Raw:
        out.resize(samples);
        std::transform(raw.begin(), raw.end(), out.begin(), FlacMemory::asStored);
        return true;
    case Form::Flac:
        out.resize(samples);
        return FlacMemory::decode(flac, out.data(), frames, channelCount);
    }
    return false;
}
