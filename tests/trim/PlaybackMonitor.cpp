#include "PlaybackMonitor.h"

#include "PlaybackTestAudio.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <cstring>

PlaybackMonitor::PlaybackMonitor() = default;

PlaybackMonitor::~PlaybackMonitor() {
    parec_.kill();
    parec_.waitForFinished(2000);
}

bool PlaybackMonitor::start() {
    parec_.start(QStringLiteral("parec"),
                 {QStringLiteral("--device=sonabrix_test.monitor"),
                  QStringLiteral("--format=float32le"), QStringLiteral("--channels=1"),
                  QStringLiteral("--rate=%1").arg(sampleRate), QStringLiteral("--latency-msec=10"),
                  QStringLiteral("--raw")});
    if (!parec_.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(5000);
    while (recordedSeconds() == 0.0 && !deadline.hasExpired())
        if (!parec_.waitForReadyRead(100) && parec_.state() != QProcess::Running)
            return false;
    return recordedSeconds() > 0.0;
}

double PlaybackMonitor::recordedSeconds() {
    pendingBytes_.append(parec_.readAllStandardOutput());
    const qsizetype wholeSamples = pendingBytes_.size() / qsizetype(sizeof(float));
    if (wholeSamples == 0)
        return static_cast<double>(recorded_.size()) / sampleRate;
    const size_t oldSize = recorded_.size();
    recorded_.resize(oldSize + static_cast<size_t>(wholeSamples));
    std::memcpy(recorded_.data() + oldSize, pendingBytes_.constData(),
                static_cast<size_t>(wholeSamples) * sizeof(float));
    pendingBytes_.remove(0, wholeSamples * qsizetype(sizeof(float)));
    return static_cast<double>(recorded_.size()) / sampleRate;
}

std::vector<float> PlaybackMonitor::samples(double fromSeconds, double toSeconds) {
    recordedSeconds();
    auto index = [this](double seconds) {
        return std::clamp(static_cast<size_t>(std::max(0.0, seconds) * sampleRate), size_t{0},
                          recorded_.size());
    };
    return {recorded_.begin() + static_cast<std::ptrdiff_t>(index(fromSeconds)),
            recorded_.begin() + static_cast<std::ptrdiff_t>(index(toSeconds))};
}

double PlaybackMonitor::secondsOfTone(double hz, const std::vector<double>& candidatesHz,
                                      double fromSeconds, double toSeconds) {
    constexpr size_t windowSamples = sampleRate / 50;
    const std::vector<float> stretch = samples(fromSeconds, toSeconds);
    size_t windows = 0;
    for (size_t start = 0; start + windowSamples <= stretch.size(); start += windowSamples)
        if (PlaybackTestAudio::dominantToneHz(stretch.data() + start, windowSamples, sampleRate,
                                              candidatesHz) == hz)
            ++windows;
    return static_cast<double>(windows * windowSamples) / sampleRate;
}

bool PlaybackMonitor::isSilent(double fromSeconds, double toSeconds) {
    const std::vector<float> stretch = samples(fromSeconds, toSeconds);
    return PlaybackTestAudio::peakLevel(stretch.data(), stretch.size()) < 1e-3f;
}
