// Fills a folder with recordings as the recorder leaves them, for timing the start screen:
//
//   make_recordings FOLDER COUNT SECONDS
//
// Each is a 48 kHz stereo float CAF whose header says SECONDS long, marked as cleanly finished.
// The audio is a hole in a sparse file: the list must never read audio, so only the header,
// the directory entry and the size matter, and an hour-long recording costs no disk.
#include "RecordingLibrary.h"

#include <QCoreApplication>
#include <QFile>
#include <QUuid>
#include <cstdio>
#include <cstring>
#include <sndfile.h>
#include <unistd.h>

namespace {

constexpr int sampleRate = 48000;
constexpr int channels = 2;
constexpr qint64 bytesPerFrame = channels * sizeof(float);

// The header of a one-frame recording, its data chunk's size field widened to `frames`.
QByteArray headerFor(const QString& scratch, qint64 frames) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(QFile::encodeName(scratch).constData(), SFM_WRITE, &info);
    const float frame[channels] = {};
    sf_writef_float(file, frame, 1);
    sf_close(file);
    QFile written(scratch);
    written.open(QIODevice::ReadOnly);
    QByteArray bytes = written.readAll();
    written.remove();
    // "data", then the chunk's size as a big-endian 64-bit count: 4 bytes of edit count
    // and the audio. The header is everything up to the audio.
    const qsizetype data = bytes.lastIndexOf("data");
    const qint64 size = 4 + frames * bytesPerFrame;
    for (int i = 0; i < 8; ++i) {
        bytes[data + 4 + i] = char((size >> (8 * (7 - i))) & 0xff);
    }
    return bytes.left(data + 16);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_recordings FOLDER COUNT SECONDS\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = std::atoi(argv[2]);
    const qint64 frames = qint64(std::atof(argv[3]) * sampleRate);
    const QByteArray header = headerFor(folder + "/.header.caf", frames);
    for (int i = 0; i < count; ++i) {
        const QString path = folder + "/Sonabrix-" +
                             QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".caf";
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(header) != header.size() ||
            !file.resize(header.size() + frames * bytesPerFrame) ||
            !RecordingLibrary::markFinished(path)) {
            std::fprintf(stderr, "couldn't write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
