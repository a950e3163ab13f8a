#include "FlacMemory.h"

#include "SoundFileHandle.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// libsndfile's int samples are full 32-bit scale: a 24-bit sample is its top three bytes. The
// conversion is done here rather than by libsndfile's float path, whose scaling differs with
// and without its clipping option, so that a round trip is exact by construction.
constexpr float fullScale24 = 8388608.0f; // 2^23

int32_t toInt24(float sample) {
    const float scaled = sample * fullScale24;
    if (std::isnan(scaled))
        return 0;
    if (scaled >= fullScale24 - 1)
        return int32_t(fullScale24) - 1;
    if (scaled <= -fullScale24)
        return -int32_t(fullScale24);
    return int32_t(std::lrint(scaled));
}

// Frames converted at a time, so that the int copy stays small.
constexpr qint64 pieceFrames = 4096;

// A file in memory for libsndfile's virtual I/O: read from `source`, or written into `sink`.
// FLAC's writer seeks back to fill in the stream's header when it closes, so writes land at the
// position, not only at the end.
struct MemoryFile {
    const std::vector<unsigned char>* source = nullptr;
    std::vector<unsigned char>* sink = nullptr;
    sf_count_t position = 0;

    const std::vector<unsigned char>& bytes() const { return sink ? *sink : *source; }

    static MemoryFile& of(void* user) { return *static_cast<MemoryFile*>(user); }
    static sf_count_t length(void* user) { return sf_count_t(of(user).bytes().size()); }
    static sf_count_t seek(sf_count_t offset, int whence, void* user) {
        MemoryFile& file = of(user);
        sf_count_t base = 0;
        if (whence == SEEK_CUR)
            base = file.position;
        else if (whence == SEEK_END)
            base = sf_count_t(file.bytes().size());
        file.position = std::max<sf_count_t>(0, base + offset);
        return file.position;
    }
    static sf_count_t read(void* destination, sf_count_t count, void* user) {
        MemoryFile& file = of(user);
        const sf_count_t available = sf_count_t(file.bytes().size()) - file.position;
        const sf_count_t taken = std::max<sf_count_t>(0, std::min(count, available));
        std::memcpy(destination, file.bytes().data() + file.position, size_t(taken));
        file.position += taken;
        return taken;
    }
    static sf_count_t write(const void* source, sf_count_t count, void* user) {
        MemoryFile& file = of(user);
        if (!file.sink)
            return 0;
        const size_t end = size_t(file.position + count);
        if (end > file.sink->size())
            file.sink->resize(end);
        std::memcpy(file.sink->data() + file.position, source, size_t(count));
        file.position += count;
        return count;
    }
    static sf_count_t tell(void* user) { return of(user).position; }

    static SF_VIRTUAL_IO io() { return {length, seek, read, write, tell}; }
};

} // namespace

float FlacMemory::asStored(float sample) {
    return float(toInt24(sample)) / fullScale24;
}

std::optional<std::vector<unsigned char>> FlacMemory::encode(const float* interleaved,
                                                             qint64 frames, int sampleRateHz,
                                                             int channelCount, int level) {
    // Room for the stream at 24 bits, so that it seldom grows; it is copied to its size at the end.
    std::vector<unsigned char> written;
    written.reserve(size_t(frames * channelCount * 3 + 8192));
    MemoryFile file{nullptr, &written};
    SF_VIRTUAL_IO io = MemoryFile::io();
    SF_INFO info{};
    info.samplerate = sampleRateHz;
    info.channels = channelCount;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    {
        SoundFileHandle flac(sf_open_virtual(&io, SFM_WRITE, &info, &file));
        if (!flac)
            return std::nullopt;
        double compression = std::clamp(level, 0, 8) / 8.0;
        sf_command(flac.get(), SFC_SET_COMPRESSION_LEVEL, &compression, sizeof compression);
        std::vector<int> piece(size_t(std::min(frames, pieceFrames) * channelCount));
        for (qint64 done = 0; done < frames;) {
            const qint64 count = std::min(frames - done, pieceFrames);
            const float* source = interleaved + done * channelCount;
            std::transform(source, source + count * channelCount, piece.begin(),
                           [](float sample) { return toInt24(sample) * 256; });
            if (sf_writef_int(flac.get(), piece.data(), count) != count)
                return std::nullopt;
            done += count;
        }
    } // closing the stream writes its last frames and its header
    return std::vector<unsigned char>(written.begin(), written.end());
}

bool FlacMemory::decode(const std::vector<unsigned char>& stream, float* interleaved, qint64 frames,
                        int channelCount) {
    MemoryFile file{&stream};
    SF_VIRTUAL_IO io = MemoryFile::io();
    SF_INFO info{};
    SoundFileHandle flac(sf_open_virtual(&io, SFM_READ, &info, &file));
    if (!flac || info.channels != channelCount || info.frames != frames)
        return false;
    std::vector<int> piece(size_t(std::min(frames, pieceFrames) * channelCount));
    for (qint64 done = 0; done < frames;) {
        const qint64 count = std::min(frames - done, pieceFrames);
        if (sf_readf_int(flac.get(), piece.data(), count) != count)
            return false;
        std::transform(piece.begin(), piece.begin() + count * channelCount,
                       interleaved + done * channelCount,
                       [](int sample) { return float(sample / 256) / fullScale24; });
        done += count;
    }
    return true;
}
