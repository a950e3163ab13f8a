#pragma once

#include "SoundFileHandle.h"

#include <QFile>
#include <QProcess>
#include <QStringList>
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

// One 20 ms window of a recording in which a steady tone was heard.
struct ToneWindow {
    double at; // seconds from the recording's start
    int crossings[2];
    float peak;
};

// The 20 ms windows of `samples` (mono, `rate` Hz) that hold `hz`: both halves loud and crossing
// zero as often as each other, as often as `hz` does (within 100 Hz), and no dropout. A server
// that runs late fills a dropout with silence; a tone with a few milliseconds missing crosses
// zero less often and would pass for a lower one.
inline std::vector<ToneWindow> toneWindows(const std::vector<float>& samples, int rate, double hz) {
    const std::size_t window = std::size_t(rate) / 50;
    // 0.5 ms: a tone passes through zero far faster than that.
    const std::size_t longestQuiet = std::size_t(rate) / 2000;
    std::vector<ToneWindow> found;
    for (std::size_t at = 1; at + window <= samples.size(); at += window) {
        int crossings[2] = {0, 0};
        float peak[2] = {0, 0};
        std::size_t quiet = 0;
        bool dropout = false;
        for (std::size_t i = at; i < at + window; ++i) {
            const bool half = i - at >= window / 2;
            crossings[half] += (samples[i - 1] < 0) != (samples[i] < 0);
            peak[half] = std::max(peak[half], std::abs(samples[i]));
            quiet = std::abs(samples[i]) < 0.05f ? quiet + 1 : 0;
            dropout = dropout || quiet > longestQuiet;
        }
        if (!dropout && std::min(peak[0], peak[1]) > 0.125f &&
            std::abs(crossings[0] - crossings[1]) <= 2 &&
            std::abs((crossings[0] + crossings[1]) * 25.0 - hz) < 100)
            found.push_back(
                {double(at) / rate, {crossings[0], crossings[1]}, std::min(peak[0], peak[1])});
    }
    return found;
}

// How many 20 ms windows of `samples` (as toneWindows lays them) sound but have a dropout in
// them: neither the tone nor another one.
inline int dropoutWindows(const std::vector<float>& samples, int rate) {
    const std::size_t window = std::size_t(rate) / 50;
    const std::size_t longestQuiet = std::size_t(rate) / 2000;
    int found = 0;
    for (std::size_t at = 1; at + window <= samples.size(); at += window) {
        std::size_t quiet = 0, longest = 0;
        float peak = 0;
        for (std::size_t i = at; i < at + window; ++i) {
            quiet = std::abs(samples[i]) < 0.05f ? quiet + 1 : 0;
            longest = std::max(longest, quiet);
            peak = std::max(peak, std::abs(samples[i]));
        }
        found += peak > 0.125f && longest > longestQuiet;
    }
    return found;
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
    // How long `hz` is heard, in whole 20 ms windows (see toneWindows).
    double secondsOfTone(double hz, double from, double to) {
        return double(toneWindows(samples(from, to), rate, hz).size()) / 50.0;
    }
    // How long the sound had dropouts in it, in whole 20 ms windows (see dropoutWindows).
    double secondsWithDropouts(double from, double to) {
        return double(dropoutWindows(samples(from, to), rate)) / 50.0;
    }
    // For a failure message: where `hz` was heard, in seconds after `from`, with each window's
    // zero crossings per half and its quieter half's peak.
    QString describeTone(double hz, double from, double to) {
        QStringList found;
        for (const ToneWindow& w : toneWindows(samples(from, to), rate, hz))
            found << QStringLiteral("%1 s (%2+%3 crossings, peak %4)")
                         .arg(w.at, 0, 'f', 3)
                         .arg(w.crossings[0])
                         .arg(w.crossings[1])
                         .arg(w.peak, 0, 'f', 2);
        return QStringLiteral("%1 Hz at [%2]").arg(hz).arg(found.join(QStringLiteral(", ")));
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
