// Writes a recording the way a capture does, then waits to be killed: the test that starts it
// checks what a killed or crashed recording leaves on disk.
#include "RecordingFile.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DIRECTORY FRAMES\n", argv[0]);
        return 2;
    }
    QString error;
    auto file = RecordingFile::create(QString::fromLocal8Bit(argv[1]), 48000, 2, &error);
    if (!file) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const qint64 totalFrames = QByteArray(argv[2]).toLongLong();
    constexpr qint64 framesPerBuffer = 960;
    std::vector<float> samples;
    for (qint64 frame = 0; frame < totalFrames; frame += framesPerBuffer) {
        const qint64 frames = std::min(framesPerBuffer, totalFrames - frame);
        samples.resize(static_cast<size_t>(frames * 2));
        for (qint64 i = 0; i < frames; ++i) {
            samples[static_cast<size_t>(2 * i)] = static_cast<float>((frame + i) % 1000) / 1000;
            samples[static_cast<size_t>(2 * i + 1)] = -samples[static_cast<size_t>(2 * i)];
        }
        if (!file->append(samples.data(), frames, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    std::printf("%s\n", qPrintable(file->path()));
    std::fflush(stdout);
    for (;;)
        pause();
}
