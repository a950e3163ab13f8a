// replay_bench <file> [gain] [flac level] [block ms]
//   Appends a 48000 Hz stereo sound file to a replay store long enough to keep all of it, in
//   20 ms buffers as the capture thread does (each sample times `gain` in float first, as a
//   sound server's volume does), waits for the compression, and prints one line: what the store
//   holds per minute of audio and for 30 minutes, how much the process's memory grew, and the
//   CPU per minute of audio of the appends, of compressing (the store's thread), of compressing
//   each block on its own (median and worst block), and of reading it all back.
#include "FlacMemory.h"
#include "ReplayStore.h"
#include "SoundFileHandle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int rate = 48000;
constexpr int channels = 2;

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// Resident memory in bytes, after handing freed memory back, so that what a store let go of
// isn't counted against it.
double residentBytes() {
    malloc_trim(0);
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

std::vector<float> readFile(const char* path) {
    SF_INFO info{};
    SoundFileHandle file(sf_open(path, SFM_READ, &info));
    if (!file || info.samplerate != rate || info.channels != channels) {
        std::fprintf(stderr, "%s: not a %d Hz stereo sound file\n", path, rate);
        std::exit(1);
    }
    std::vector<float> samples(size_t(info.frames * channels));
    samples.resize(size_t(sf_readf_float(file.get(), samples.data(), info.frames) * channels));
    return samples;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <file> [gain] [flac level] [block ms]\n", argv[0]);
        return 2;
    }
    const float gain = argc > 2 ? std::strtof(argv[2], nullptr) : 1.0f;
    ReplayTuning tuning;
    if (argc > 3)
        tuning.flacLevel = std::atoi(argv[3]);
    if (argc > 4)
        tuning.blockLength = std::chrono::milliseconds(std::atoi(argv[4]));

    std::vector<float> samples = readFile(argv[1]);
    for (float& sample : samples)
        sample *= gain;
    const qint64 frames = qint64(samples.size()) / channels;
    const double minutes = double(frames) / rate / 60;
    const auto length = std::chrono::seconds(frames / rate + 1);

    const double residentBefore = residentBytes();
    const double cpuBefore = processCpuSeconds();
    double appendCpu = 0;
    qint64 memory = 0;
    double readCpu = 0;
    {
        ReplayStore store(length, rate, channels, tuning);
        PcmBuffer buffer{rate, channels, {}, -1};
        const double appendStart = threadCpuSeconds();
        for (qint64 done = 0; done < frames; done += 960) {
            const qint64 count = std::min<qint64>(960, frames - done);
            buffer.samples.assign(samples.begin() + done * channels,
                                  samples.begin() + (done + count) * channels);
            store.append(buffer);
        }
        appendCpu = threadCpuSeconds() - appendStart;
        store.waitUntilCompressed();
        memory = store.memoryBytes();
        const double residentAfter = residentBytes();
        const double compressCpu = processCpuSeconds() - cpuBefore - appendCpu;

        const double readStart = threadCpuSeconds();
        ReplaySnapshot snapshot = store.snapshot(0, store.endFrame());
        PcmBuffer piece;
        qint64 readFrames = 0;
        while (snapshot.next(piece, rate / 10))
            readFrames += piece.frames();
        readCpu = threadCpuSeconds() - readStart;
        if (readFrames != frames) {
            std::fprintf(stderr, "read back %lld of %lld frames\n", readFrames, frames);
            return 1;
        }

        // Each block compressed on this thread alone: what compressing on the capture thread
        // would cost it each time a block fills.
        const qint64 blockFrames = store.blockFrames();
        std::vector<double> blockCpu;
        for (qint64 first = 0; first + blockFrames <= frames; first += blockFrames) {
            const double start = threadCpuSeconds();
            FlacMemory::encode(samples.data() + first * channels, blockFrames, rate, channels,
                               tuning.flacLevel);
            blockCpu.push_back(threadCpuSeconds() - start);
        }
        const double mb = 1e6;
        std::printf("%s gain %.2f level %d block %lld ms: %.2f min, held %.2f MB = %.3f MB/min "
                    "(30 min: %.1f MB), resident growth %.2f MB; CPU s per audio minute: append "
                    "%.4f, compress %.3f, read back %.3f; one block: median %.1f ms, max %.1f "
                    "ms\n",
                    argv[1], double(gain), tuning.flacLevel, qint64(tuning.blockLength.count()),
                    minutes, memory / mb, memory / mb / minutes, memory / mb / minutes * 30,
                    (residentAfter - residentBefore) / mb, appendCpu / minutes,
                    compressCpu / minutes, readCpu / minutes, median(blockCpu) * 1e3,
                    blockCpu.empty() ? 0.0
                                     : *std::max_element(blockCpu.begin(), blockCpu.end()) * 1e3);
    }
    return 0;
}
