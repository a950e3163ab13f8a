#include "SndfileFrameReader.h"

#include "SampleKernels.h"

#include <QFile>

std::unique_ptr<SndfileFrameReader> SndfileFrameReader::open(const QString& path) {
    if (path.isEmpty())
        return nullptr;
    SF_INFO info{};
    SoundFileHandle file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    // The open error is dropped: the caller only learns that the file cannot be analysed.
    if (!file)
        return nullptr;
    return std::make_unique<SndfileFrameReader>(std::move(file), info);
}

SndfileFrameReader::SndfileFrameReader(SoundFileHandle file, const SF_INFO& info)
    : m_file(std::move(file)), m_info(info) {
    static_assert(sizeof(float) == 4, "raw float samples are 32-bit IEEE");
    m_readsRawFloats = (m_info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT;
    m_swapsBytes = sf_command(m_file.get(), SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
}

std::optional<qint64> SndfileFrameReader::read(float* interleaved, qint64 frames) {
    if (m_readsRawFloats)
        return readFloatsRaw(interleaved, frames);
    const sf_count_t delivered = sf_readf_float(m_file.get(), interleaved, frames);
    // A short read that still delivered frames passes them on; the failure shows on the next.
    if (delivered <= 0 && sf_error(m_file.get()) != SF_ERR_NO_ERROR)
        return std::nullopt;
    return delivered;
}

std::optional<qint64> SndfileFrameReader::readFloatsRaw(float* interleaved, qint64 frames) {
    const qint64 bytesPerFrame = qint64(m_info.channels) * qint64(sizeof(float));
    // libsndfile stops raw reads at the end of the audio data, whatever chunks follow it.
    const sf_count_t bytes = sf_read_raw(m_file.get(), interleaved, frames * bytesPerFrame);
    if (bytes <= 0 && sf_error(m_file.get()) != SF_ERR_NO_ERROR)
        return std::nullopt;
    const qint64 delivered = bytes / bytesPerFrame;
    if (m_swapsBytes)
        SampleKernels::swapByteOrder(interleaved, delivered * m_info.channels);
    return delivered;
}

bool SndfileFrameReader::seek(qint64 frame) {
    // Raw reads follow the same position: libsndfile seeks within the audio data.
    return sf_seek(m_file.get(), frame, SEEK_SET) == frame;
}
