#include "DetailPeaksFile.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr char magic[8] = {'S', 'B', 'X', 'P', 'E', 'A', 'K', 'S'};
constexpr quint32 version = 1;
// Magic, version, frames per peak, sample rate, frame count, peak count.
constexpr qint64 headerBytes = 8 + 4 + 4 + 4 + 8 + 8;
// About 24 hours of audio at 192 kHz: a header that claims more is not ours.
constexpr qint64 mostPeaks = qint64(1) << 24;

void describe(QDataStream& stream) {
    stream.setByteOrder(QDataStream::LittleEndian);
    stream.setFloatingPointPrecision(QDataStream::SinglePrecision);
}

} // namespace

QString DetailPeaksFile::pathFor(const QString& recordingPath) {
    const QFileInfo recording(recordingPath);
    return recording.path() + QStringLiteral("/.") + recording.fileName() +
           QStringLiteral(".peaks");
}

qint64 DetailPeaksFile::peakCountFor(qint64 frames) {
    return std::max<qint64>(1, frames / framesPerPeak + (frames % framesPerPeak != 0 ? 1 : 0));
}

bool DetailPeaksFile::save(const QString& recordingPath) const {
    const QString path = pathFor(recordingPath);
    // QSaveFile would replace the file a link points to, which may lie anywhere.
    if (QFileInfo(path).isSymLink() && !QFile::remove(path))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QDataStream stream(&file);
    describe(stream);
    stream.writeRawData(magic, sizeof magic);
    stream << version << quint32(framesPerPeak) << quint32(sampleRateHz) << qint64(totalFrames)
           << qint64(peaks.size());
    for (const float peak : peaks)
        stream << peak;
    return stream.status() == QDataStream::Ok && file.commit();
}

std::optional<DetailPeaksFile> DetailPeaksFile::load(const QString& recordingPath) {
    // Only a file: opening a pipe or a device here could wait for ever.
    QFile file(pathFor(recordingPath));
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly) || file.size() < headerBytes)
        return std::nullopt;
    QDataStream stream(&file);
    describe(stream);
    char fileMagic[sizeof magic] = {};
    quint32 fileVersion = 0, fileFramesPerPeak = 0, fileSampleRate = 0;
    qint64 frames = 0, count = 0;
    if (stream.readRawData(fileMagic, sizeof fileMagic) != sizeof fileMagic)
        return std::nullopt;
    stream >> fileVersion >> fileFramesPerPeak >> fileSampleRate >> frames >> count;
    if (stream.status() != QDataStream::Ok || std::memcmp(fileMagic, magic, sizeof magic) != 0 ||
        fileVersion != version || fileFramesPerPeak != framesPerPeak || fileSampleRate == 0 ||
        fileSampleRate > quint32(std::numeric_limits<int>::max()) || frames < 1 ||
        count > mostPeaks || count != peakCountFor(frames) ||
        file.size() != headerBytes + count * qint64(sizeof(float)))
        return std::nullopt;

    DetailPeaksFile saved;
    saved.totalFrames = frames;
    saved.sampleRateHz = int(fileSampleRate);
    saved.peaks.resize(std::size_t(count));
    for (float& peak : saved.peaks) {
        stream >> peak;
        // Peaks are magnitudes; anything else means the file isn't what it claims.
        if (!std::isfinite(peak) || peak < 0.0f)
            return std::nullopt;
    }
    if (stream.status() != QDataStream::Ok)
        return std::nullopt;
    return saved;
}
