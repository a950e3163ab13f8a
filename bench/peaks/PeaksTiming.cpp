// Times the waveform loader against a bare libsndfile read of the same file, in process, so
// start-up costs don't blur a 0.1 s measurement. Also writes the test recordings.
#include "DetailPeaksFile.h"
#include "SoundFileHandle.h"
#include "Waveform.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sndfile.h>
#include <vector>

namespace {

constexpr int sampleRate = 48'000;
constexpr int channelCount = 2;
constexpr sf_count_t chunkFrames = 0x10000;

// Music-like content: two tones with a slow swell and a little noise, in the recorder's format
// (little-endian float CAF).
int makeRecording(const char* path, double minutes) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channelCount;
    info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT | SF_ENDIAN_LITTLE;
    SoundFileHandle file(sf_open(path, SFM_WRITE, &info));
    if (!file) {
        std::fprintf(stderr, "cannot write %s: %s\n", path, sf_strerror(nullptr));
        return 1;
    }
    const auto totalFrames = static_cast<sf_count_t>(minutes * 60 * sampleRate);
    std::vector<float> chunk(chunkFrames * channelCount);
    unsigned noise = 1;
    for (sf_count_t start = 0; start < totalFrames; start += chunkFrames) {
        const sf_count_t frames = std::min(chunkFrames, totalFrames - start);
        for (sf_count_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(start + i) / sampleRate;
            const double swell = 0.5 + 0.4 * std::sin(2 * M_PI * 0.05 * t);
            noise = noise * 1664525u + 1013904223u;
            const double hiss = static_cast<double>(noise >> 8) / (1u << 24) * 0.02 - 0.01;
            chunk[i * 2] = static_cast<float>(swell * std::sin(2 * M_PI * 220 * t) + hiss);
            chunk[i * 2 + 1] = static_cast<float>(swell * std::sin(2 * M_PI * 331 * t) - hiss);
        }
        if (sf_writef_float(file.get(), chunk.data(), frames) != frames) {
            std::fprintf(stderr, "write failed: %s\n", sf_strerror(file.get()));
            return 1;
        }
    }
    return 0;
}

// The floor: libsndfile delivering the file in the loader's chunk size, nothing else done.
sf_count_t bareRead(const char* path) {
    SF_INFO info{};
    SoundFileHandle file(sf_open(path, SFM_READ, &info));
    if (!file)
        return -1;
    std::vector<float> chunk(chunkFrames * info.channels);
    sf_count_t total = 0;
    while (const sf_count_t frames = sf_readf_float(file.get(), chunk.data(), chunkFrames))
        total += frames;
    return total;
}

// The floor for the loader's own reader: the same chunks as raw bytes, no byte swap, no peaks.
sf_count_t bareRawRead(const char* path) {
    SF_INFO info{};
    SoundFileHandle file(sf_open(path, SFM_READ, &info));
    if (!file)
        return -1;
    const sf_count_t bytesPerFrame = info.channels * static_cast<sf_count_t>(sizeof(float));
    std::vector<float> chunk(chunkFrames * info.channels);
    sf_count_t total = 0;
    while (const sf_count_t bytes =
               sf_read_raw(file.get(), chunk.data(), chunkFrames * bytesPerFrame))
        total += bytes / bytesPerFrame;
    return total;
}

sf_count_t extract(const char* path) {
    const std::optional<Waveform::Data> data =
        Waveform::extractPeaks(QFile::decodeName(path), 800).result();
    return data ? data->totalFrames : -1;
}

// Opening from the detail peaks the recorder saves beside a recording: no audio is read.
sf_count_t fromSaved(const char* path) {
    const std::optional<Waveform::Data> data =
        Waveform::fromSavedPeaks(QFile::decodeName(path), 800);
    return data ? data->totalFrames : -1;
}

// The recording's detail peaks beside it, as the recorder leaves them.
int savePeaks(const char* path) {
    const std::optional<Waveform::Data> data =
        Waveform::extractPeaks(QFile::decodeName(path), 800).result();
    if (!data || !DetailPeaksFile{data->totalFrames, int(data->sampleRate), data->detailPeaks}.save(
                     QFile::decodeName(path))) {
        std::fprintf(stderr, "cannot save the peaks of %s\n", path);
        return 1;
    }
    return 0;
}

struct Method {
    const char* label;
    sf_count_t (*run)(const char*);
    std::vector<double> wallSeconds;
    std::vector<double> cpuSeconds;
};

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Rounds alternate the methods, so a busy moment on a shared machine hits them all alike.
int compare(std::vector<Method> methods, const char* path, int rounds) {
    sf_count_t frames = 0;
    for (int round = 0; round < rounds; ++round) {
        for (Method& method : methods) {
            const double cpuBegin = processCpuSeconds();
            const auto begin = std::chrono::steady_clock::now();
            frames = method.run(path);
            const auto end = std::chrono::steady_clock::now();
            if (frames < 0) {
                std::fprintf(stderr, "%s: cannot read %s\n", method.label, path);
                return 1;
            }
            method.wallSeconds.push_back(std::chrono::duration<double>(end - begin).count());
            method.cpuSeconds.push_back(processCpuSeconds() - cpuBegin);
        }
    }
    const double bytes = static_cast<double>(frames) * channelCount * sizeof(float);
    std::printf("| method (%d rounds, %lld frames) | best s | median s | median CPU s | "
                "Mframes/s (best) | GB/s (best) |\n|:--|--:|--:|--:|--:|--:|\n",
                rounds, static_cast<long long>(frames));
    for (Method& method : methods) {
        const double best = *std::min_element(method.wallSeconds.begin(), method.wallSeconds.end());
        std::printf("| %s | %.3f | %.3f | %.3f | %.0f | %.2f |\n", method.label, best,
                    median(method.wallSeconds), median(method.cpuSeconds),
                    static_cast<double>(frames) / best / 1e6, bytes / best / 1e9);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 2 ? QByteArray(argv[1]) : QByteArray();
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    if (mode == "make" && argc > 3)
        return makeRecording(argv[2], std::atof(argv[3])) || savePeaks(argv[2]);
    const std::vector<Method> all = {{"extractPeaks", extract, {}, {}},
                                     {"fromSavedPeaks", fromSaved, {}, {}},
                                     {"sf_read_raw, 65,536 frames", bareRawRead, {}, {}},
                                     {"sf_readf_float, 65,536 frames", bareRead, {}, {}}};
    if (mode == "compare")
        return compare(all, argv[2], repeats);
    for (const Method& method : all)
        if (mode == QByteArray(method.label).split(',').front())
            return compare({method}, argv[2], repeats);
    std::fprintf(stderr,
                 "usage: %s make FILE MINUTES | "
                 "compare|extractPeaks|fromSavedPeaks|sf_read_raw|sf_readf_float FILE "
                 "[ROUNDS]\n",
                 argv[0]);
    return 2;
}
