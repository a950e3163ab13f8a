#include "AudioExporter.h"

#include "ExportFailure.h"
#include "M4aWriter.h"
#include "SourceRangeReader.h"
#include "StagedFile.h"

#include <QCoreApplication>
#include <QPromise>
#include <QtConcurrent>
#include <vector>

namespace {

// About a tenth of a second of stereo audio per step: memory stays flat for any length.
constexpr int64_t chunkFrames = 8192;

constexpr int progressSteps = 1000;

// A cancelled export stops between chunks; the staged file goes and the destination stays.
void exportRange(QPromise<void>& promise, const QString& sourcePath, TimeRange range,
                 const QString& destinationPath) {
    SourceRangeReader reader(sourcePath, range);
    StagedFile staged(destinationPath);
    {
        M4aWriter writer(staged.path(), reader.sampleRate(), reader.channelCount());
        std::vector<float> samples(chunkFrames * reader.channelCount());
        promise.setProgressRange(0, progressSteps);
        int64_t framesDone = 0;
        while (const int64_t frames = reader.read(samples)) {
            if (promise.isCanceled())
                return;
            writer.write(std::span(samples).first(frames * reader.channelCount()));
            framesDone += frames;
            promise.setProgressValue(int(framesDone * progressSteps / reader.frameCount()));
        }
        writer.finish();
    }
    staged.commit();
}

} // namespace

AudioExporter::ExportError::ExportError(Case errorCase)
    : errorCase_(errorCase),
      description_(
          QCoreApplication::translate("AudioExporter", "Couldn't set up the export.").toUtf8()) {}

const char* AudioExporter::ExportError::what() const noexcept {
    return description_.constData();
}

void AudioExporter::ExportError::raise() const {
    throw *this;
}

AudioExporter::ExportError* AudioExporter::ExportError::clone() const {
    return new ExportError(*this);
}

QFuture<void> AudioExporter::exportTrimmed(const QUrl& sourceURL, TimeRange range, const QUrl& to) {
    return QtConcurrent::run([sourceURL, range, to](QPromise<void>& promise) {
        if (!sourceURL.isLocalFile() || !to.isLocalFile())
            throw ExportError(ExportError::sessionCreationFailed);
        exportRange(promise, sourceURL.toLocalFile(), range, to.toLocalFile());
    });
}
