#pragma once

#include <QFile>
#include <QString>
#include <memory>
#include <sndfile.h>
#include <vector>

// Writes interleaved float samples to a new file: float CAF in libsndfile's default big-endian
// order unless told otherwise, so the loader's byte swap is exercised. With a comment, WAV gets
// a chunk after the samples. False when libsndfile refuses.
inline bool writeAudioFile(const QString& path, int channelCount, int sampleRate,
                           const std::vector<float>& interleaved,
                           int format = SF_FORMAT_CAF | SF_FORMAT_FLOAT,
                           const char* comment = nullptr) {
    SF_INFO info{};
    info.channels = channelCount;
    info.samplerate = sampleRate;
    info.format = format;
    const auto close = [](SNDFILE* file) { sf_close(file); };
    std::unique_ptr<SNDFILE, decltype(close)> file(
        sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info), close);
    if (!file)
        return false;
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size()) / channelCount;
    bool written = sf_writef_float(file.get(), interleaved.data(), frames) == frames;
    if (comment)
        written = written && sf_set_string(file.get(), SF_STR_COMMENT, comment) == 0;
    return sf_close(file.release()) == 0 && written;
}
