#include "Waveform.h"

#include "PeakExtractor.h"
#include "SndfileFrameReader.h"

#include <QtConcurrent/QtConcurrentRun>

QFuture<std::optional<Waveform::Data>> Waveform::extractPeaks(const QUrl& url,
                                                              qint64 targetPeakCount) {
    return QtConcurrent::run([path = localPath(url), targetPeakCount]() -> std::optional<Data> {
        const std::unique_ptr<SndfileFrameReader> reader = SndfileFrameReader::open(path);
        if (!reader)
            return std::nullopt;
        return PeakExtractor::extract(*reader, targetPeakCount);
    });
}

QString Waveform::localPath(const QUrl& url) {
    return url.isLocalFile() ? url.toLocalFile()
                             : (url.scheme().isEmpty() ? url.path() : QString());
}
