#pragma once

#include "SoundFileHandle.h"

#include <QFile>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <sndfile.h>
#include <vector>

// Second i of the file carries a sine of tonesHz[i] at half scale on every channel.
inline bool writeToneFile(const QString& path, const std::vector<double>& tonesHz, int rate,
                          int channels, int format) {
    SF_INFO info{0, rate, channels, format, 0, 0};
    const SoundFileHandle file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    std::vector<float> samples;
    for (double hz : tonesHz)
        for (int i = 0; i < rate; ++i)
            samples.insert(samples.end(), std::size_t(channels),
                           float(0.5 * std::sin(2 * std::numbers::pi * hz * i / rate)));
    const auto frames = sf_count_t(samples.size()) / channels;
    return file && sf_writef_float(file.get(), samples.data(), frames) == frames;
}

// Records what the test server's null sink plays (what a user would hear), mono at 48 kHz.
class SinkMonitor {
public:
    static constexpr int rate = 48000;

    SinkMonitor() {
        parec_.start("parec", {"--device=@DEFAULT_MONITOR@", "--format=float32le", "--channels=1",
                               "--rate=48000", "--latency-msec=10", "--raw"});
        static_cast<void>(QTest::qWaitFor([this] { return seconds() > 0; }, 5000));
    }
    ~SinkMonitor() {
        parec_.kill();
        parec_.waitForFinished(2000);
    }
    double seconds() {
        bytes_.append(parec_.readAllStandardOutput());
        return double(bytes_.size() / 4) / rate;
    }
    bool recordFor(double span) {
        const double until = seconds() + span;
        return QTest::qWaitFor([&] { return seconds() >= until; }, 10000);
    }
    bool isSilent(double from, double to) {
        const std::vector<float> s = samples(from, to);
        return std::ranges::all_of(s, [](float v) { return std::abs(v) < 1e-3f; });
    }
    // How long `hz` is heard: 20 ms windows whose halves are both loud and cross zero as often
    // as each other, as often as `hz` does (within 100 Hz).
    double secondsOfTone(double hz, double from, double to) {
        const std::vector<float> s = samples(from, to);
        int windows = 0;
        for (std::size_t at = 1; at + rate / 50 <= s.size(); at += rate / 50) {
            int crossings[2] = {0, 0};
            float peak[2] = {0, 0};
            for (std::size_t i = at; i < at + rate / 50; ++i) {
                const bool half = i - at >= rate / 100;
                crossings[half] += (s[i - 1] < 0) != (s[i] < 0);
                peak[half] = std::max(peak[half], std::abs(s[i]));
            }
            windows += std::min(peak[0], peak[1]) > 0.125f &&
                       std::abs(crossings[0] - crossings[1]) <= 2 &&
                       std::abs((crossings[0] + crossings[1]) * 25.0 - hz) < 100;
        }
        return windows / 50.0;
    }

private:
    std::vector<float> samples(double from, double to) {
        const long recorded = long(seconds() * rate);
        const auto index = [&](double t) { return std::clamp(long(t * rate), 0L, recorded); };
        std::vector<float> s(std::size_t(std::max(0L, index(to) - index(from))));
        std::memcpy(s.data(), bytes_.constData() + index(from) * 4, s.size() * 4);
        return s;
    }

    QProcess parec_;
    QByteArray bytes_;
};
