#include "Waveform.h"

#include "PeakExtractor.h"
#include "RecordingFrameReader.h"

#include <QtConcurrent/QtConcurrentRun>

QFuture<std::optional<Waveform::Data>> Waveform::extractPeaks(const QString& path,
                                                              qint64 targetPeakCount) {
    return QtConcurrent::run([path, targetPeakCount]() -> std::optional<Data> {
        const std::unique_ptr<RecordingFrameReader> reader = RecordingFrameReader::open(path);
        if (!reader)
            return std::nullopt;
        return PeakExtractor::extract(*reader, targetPeakCount);
    });
}
