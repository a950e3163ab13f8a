#include "PlaybackTestAudio.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <sndfile.h>

namespace PlaybackTestAudio {

namespace {
struct FileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

double goertzelPower(const float* samples, size_t count, int sampleRate, double hz) {
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * hz / sampleRate);
    double previous = 0.0;
    double beforePrevious = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double current = samples[i] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return previous * previous + beforePrevious * beforePrevious -
           coefficient * previous * beforePrevious;
}
} // namespace

bool writeToneFile(const QString& path, const std::vector<double>& tonesHz, int sampleRate,
                   int channels, int format, QString* error) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    std::unique_ptr<SNDFILE, FileCloser> file(
        sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    if (!file) {
        *error = QString::fromUtf8(sf_strerror(nullptr));
        return false;
    }
    std::vector<float> second(static_cast<size_t>(sampleRate * channels));
    for (size_t index = 0; index < tonesHz.size(); ++index) {
        for (int frame = 0; frame < sampleRate; ++frame) {
            const double t = static_cast<double>(frame) / sampleRate;
            const auto value = static_cast<float>(
                toneAmplitude * std::sin(2.0 * std::numbers::pi * tonesHz[index] * t));
            std::fill_n(second.begin() + frame * channels, channels, value);
        }
        if (sf_writef_float(file.get(), second.data(), sampleRate) != sampleRate) {
            *error = QString::fromUtf8(sf_strerror(file.get()));
            return false;
        }
    }
    return true;
}

double dominantToneHz(const float* samples, size_t count, int sampleRate,
                      const std::vector<double>& candidatesHz) {
    if (peakLevel(samples, count) < toneAmplitude / 4)
        return -1.0;
    double strongestHz = -1.0;
    double strongestPower = 0.0;
    for (double hz : candidatesHz) {
        const double power = goertzelPower(samples, count, sampleRate, hz);
        if (power > strongestPower) {
            strongestPower = power;
            strongestHz = hz;
        }
    }
    return strongestHz;
}

float peakLevel(const float* samples, size_t count) {
    float peak = 0.0f;
    for (size_t i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(samples[i]));
    return peak;
}

} // namespace PlaybackTestAudio
