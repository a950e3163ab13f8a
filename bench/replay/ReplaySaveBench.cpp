// replay_save_bench <file> [seconds] [--no-save]
//   Appends a 48000 Hz stereo sound file to a replay store as a capture would have, ending now,
//   waits for its compression, then saves its last `seconds` (default 300) as a recording into
//   $XDG_DATA_HOME's recordings folder, as the app does when asked, and prints the save's wall
//   time and the frames written. With --no-save it stops before the save: the same process
//   without it, for farm-bench's side-by-side.
#include "ReplaySaving.h"
#include "ReplayStore.h"
#include "SoundFileHandle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>
#include <sndfile.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: replay_save_bench FILE [SECONDS] [--no-save]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 300;
    const bool save = !(argc > 3 && std::strcmp(argv[3], "--no-save") == 0);
    SF_INFO info{};
    SoundFileHandle file(sf_open(argv[1], SFM_READ, &info));
    if (!file || info.samplerate != 48000 || info.channels != 2) {
        std::fprintf(stderr, "%s: not a 48000 Hz stereo sound file\n", argv[1]);
        return 1;
    }
    const auto store = std::make_shared<ReplayStore>(std::chrono::minutes(30), 48000, 2);
    const qint64 startUs = monotonicNowUs() - info.frames * 1'000'000 / 48000;
    for (qint64 frame = 0; frame < info.frames; frame += 960) {
        PcmBuffer buffer{48000, 2, std::vector<float>(960 * 2), startUs + frame * 1'000 / 48};
        buffer.samples.resize(size_t(sf_readf_float(file.get(), buffer.samples.data(), 960) * 2));
        store->append(buffer);
    }
    store->waitUntilCompressed();
    if (!save)
        return 0;
    QElapsedTimer timer;
    timer.start();
    // Asked for as the last frame came in, as in the app, where audio goes on arriving.
    const qint64 pressedUs = store->monotonicUsAt(store->endFrame()).value_or(monotonicNowUs());
    const ReplaySave saved = saveReplay(store, pressedUs, QDateTime::currentDateTime(), seconds);
    std::printf("save_seconds=%.3f frames=%.0f file=%s%s\n", double(timer.nsecsElapsed()) / 1e9,
                saved.seconds * 48000, qPrintable(saved.url ? saved.url->toLocalFile() : "none"),
                saved.errorMessage ? qPrintable(" error: " + *saved.errorMessage) : "");
    return saved.url && !saved.errorMessage ? 0 : 1;
}
