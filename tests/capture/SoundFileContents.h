#pragma once

#include <QFile>
#include <QString>
#include <memory>
#include <optional>
#include <sndfile.h>
#include <vector>

// What a reader finds in a sound file, read back with libsndfile.
struct SoundFileContents {
    int sampleRateHz = 0;
    int channelCount = 0;
    int format = 0;
    std::vector<float> samples;

    qint64 frames() const {
        return channelCount > 0 ? static_cast<qint64>(samples.size()) / channelCount : 0;
    }
};

inline std::optional<SoundFileContents> readSoundFile(const QString& path) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(
        sf_open(QFile::encodeName(path).constData(), SFM_READ, &info), &sf_close);
    if (!file)
        return std::nullopt;
    SoundFileContents contents;
    contents.sampleRateHz = info.samplerate;
    contents.channelCount = info.channels;
    contents.format = info.format;
    contents.samples.resize(static_cast<size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(file.get(), contents.samples.data(), info.frames);
    contents.samples.resize(static_cast<size_t>(read * info.channels));
    return contents;
}
