#pragma once

#include <QProcess>
#include <QString>
#include <cmath>
#include <memory>
#include <numbers>
#include <sndfile.h>
#include <vector>

// Sound for the tests: files of silence and tones written with libsndfile, and played into
// the private sound server's null sink.
namespace TestAudio {

struct Segment {
    double seconds;
    double amplitude; // 0 for silence
};

// A stereo 48 kHz float WAV of 440 Hz segments. False when the file can't be written.
inline bool writeTones(const QString& path, const std::vector<Segment>& segments) {
    constexpr int rate = 48000;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(
        sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info), &sf_close);
    if (!file) {
        return false;
    }
    std::vector<float> frames;
    qint64 frame = 0;
    for (const Segment& segment : segments) {
        const auto count = static_cast<qint64>(segment.seconds * rate);
        for (qint64 i = 0; i < count; ++i, ++frame) {
            const auto sample = static_cast<float>(
                segment.amplitude * std::sin(2.0 * std::numbers::pi * 440.0 * frame / rate));
            frames.push_back(sample);
            frames.push_back(sample);
        }
    }
    const auto total = static_cast<sf_count_t>(frames.size() / 2);
    return sf_writef_float(file.get(), frames.data(), total) == total;
}

// Plays the file on the default output (the null sink) and returns once it has been played.
inline bool play(const QString& path) {
    QProcess player;
    player.start(QStringLiteral("paplay"), {path});
    return player.waitForFinished(30000) && player.exitStatus() == QProcess::NormalExit &&
           player.exitCode() == 0;
}

} // namespace TestAudio
