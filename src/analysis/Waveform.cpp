#include "Waveform.h"

#include "PeakExtractor.h"
#include "SndfileFrameReader.h"

#include <QtConcurrent/QtConcurrentRun>

QFuture<std::optional<Waveform::Data>> Waveform::extractPeaks(const QUrl& url,
                                                              qint64 targetPeakCount) {
    // A URL without a scheme is taken as a plain path; any other non-local URL is unreadable.
    const QString path =
        url.isLocalFile() ? url.toLocalFile() : (url.scheme().isEmpty() ? url.path() : QString());
    return QtConcurrent::run([path, targetPeakCount]() -> std::optional<Data> {
        const std::unique_ptr<SndfileFrameReader> reader = SndfileFrameReader::open(path);
        if (!reader)
            return std::nullopt;
        return PeakExtractor::extract(*reader, targetPeakCount);
    });
}
