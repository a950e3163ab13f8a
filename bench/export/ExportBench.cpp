// export_bench generate <file.caf> <minutes>         writes a 48000 Hz stereo float CAF
// export_bench export <file.caf> <lower> <upper> <out.ext> [LUFS]   exports in the extension's
//                                                  format, at that loudness if given, prints
//                                                  wall and CPU s
#include "AudioExporter.h"
#include "SoundFileHandle.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <numbers>
#include <sndfile.h>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

// Chords over noise, like music: a bare sine would flatter the encoder.
int generate(const char* path, double minutes) {
    constexpr int sampleRate = 48000;
    constexpr int channels = 2;
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT;
    SoundFileHandle file(sf_open(path, SFM_WRITE, &info));
    if (!file) {
        std::fprintf(stderr, "%s\n", sf_strerror(nullptr));
        return 1;
    }
    const auto totalFrames = static_cast<int64_t>(minutes * 60 * sampleRate);
    std::vector<float> chunk(sampleRate * channels);
    QRandomGenerator noise(42);
    for (int64_t done = 0; done < totalFrames;) {
        const int64_t frames = std::min<int64_t>(sampleRate, totalFrames - done);
        const double root = 110.0 * std::pow(2.0, (done / sampleRate) % 12 / 12.0);
        for (int64_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(done + i) / sampleRate;
            double value = 0;
            for (const double ratio : {1.0, 1.25, 1.5, 2.0, 3.0})
                value += 0.08 * std::sin(2 * std::numbers::pi * root * ratio * t);
            for (int channel = 0; channel < channels; ++channel)
                chunk[i * channels + channel] =
                    static_cast<float>(value + 0.05 * (noise.generateDouble() - 0.5));
        }
        if (sf_writef_float(file.get(), chunk.data(), frames) != frames) {
            std::fprintf(stderr, "%s\n", sf_strerror(file.get()));
            return 1;
        }
        done += frames;
    }
    return 0;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Prints the call's wall and CPU seconds: what the app pays once its libraries are loaded.
int exportRange(const char* source, double lower, double upper, const char* destination,
                const char* loudness) {
    ExportOptions options;
    if (loudness)
        options.loudnessTargetLufs = std::atof(loudness);
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    try {
        AudioExporter::exportTrimmed(QString::fromLocal8Bit(source), TimeRange{lower, upper},
                                     QString::fromLocal8Bit(destination), options)
            .waitForFinished();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "export failed: %s\n", error.what());
        return 1;
    }
    std::printf("%.3f %.3f\n", timer.nsecsElapsed() / 1e9, processCpuSeconds() - cpuBefore);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc == 4)
        return generate(argv[2], std::atof(argv[3]));
    if (command == "export" && (argc == 6 || argc == 7))
        return exportRange(argv[2], std::atof(argv[3]), std::atof(argv[4]), argv[5],
                           argc == 7 ? argv[6] : nullptr);
    std::fprintf(stderr,
                 "usage: %s generate FILE.caf MINUTES | export FILE.caf LOWER UPPER "
                 "OUT.{m4a,mp3,opus,flac,wav} [LUFS]\n",
                 argv[0]);
    return 2;
}
