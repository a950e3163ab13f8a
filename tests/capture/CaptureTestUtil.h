#pragma once

#include "RecordingsFolder.h"
#include "SystemAudioRecorder.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sndfile.h>
#include <sys/stat.h>

// A sound file as a reader finds it: no frames at all (-1) when it can't be opened.
struct SoundFile {
    SF_INFO info{};
    std::vector<float> samples;
    explicit SoundFile(const QString& path) {
        if (SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info)) {
            samples.resize(info.frames * info.channels);
            sf_readf_float(file, samples.data(), info.frames);
            sf_close(file);
        }
    }
    qint64 frames() const {
        return info.channels > 0 ? qint64(samples.size()) / info.channels : -1;
    }
};

// The amplitude of one frequency in one channel over [from, to) frames.
inline double amplitudeOf(const SoundFile& file, int channel, double hz, qint64 from, qint64 to) {
    double re = 0, im = 0;
    for (qint64 i = from; i < to; ++i) {
        const double v = file.samples[size_t(2 * i + channel)];
        re += v * std::cos(2 * M_PI * hz * double(i) / 48000);
        im += v * std::sin(2 * M_PI * hz * double(i) / 48000);
    }
    return 2 * std::hypot(re, im) / double(to - from);
}

// Every recording here: Sonabrix-<UUID>.caf, owner-only, 48 kHz stereo little-endian float.
inline bool isPrivateRecording(const QString& path, const SoundFile& file) {
    struct stat status = {};
    return QFileInfo(path).fileName().contains(
               QRegularExpression("^Sonabrix-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.caf$")) &&
           ::stat(QFile::encodeName(path).constData(), &status) == 0 &&
           (status.st_mode & 07777) == 0600 && file.info.samplerate == 48000 &&
           file.info.channels == 2 &&
           file.info.format == (SF_FORMAT_CAF | SF_FORMAT_FLOAT | SF_ENDIAN_LITTLE);
}

inline QString lastRecording(const SystemAudioRecorder& recorder) {
    return recorder.lastRecordingURL().value_or(QUrl()).toLocalFile();
}

inline bool finishes(const QFuture<void>& future) {
    return QTest::qWaitFor([&future] { return future.isFinished(); }, 15000);
}

// Sends the recorder's files into `dataHome`'s recordings folder, whose path it returns.
inline QString useDataHome(const QString& dataHome) {
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
    return RecordingsFolder::path();
}
