#include "AudioExporter.h"

#include "EncodedFileWriter.h"
#include "Logging.h"
#include "SourceRangeReader.h"
#include "StagedFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPromise>
#include <QStandardPaths>
#include <QtConcurrent>
#include <algorithm>
#include <vector>

namespace {

// About a tenth of a second of stereo audio per step, fewer frames for more channels: memory
// stays flat for any length and any channel count.
constexpr int64_t chunkSamples = 16384;

constexpr int progressSteps = 1000;

ExportFormat formatFor(const QString& destinationPath) {
    if (const std::optional<ExportFormat> format = exportFormatForPath(destinationPath))
        return *format;
    throw ExportFailure(
        QCoreApplication::translate("AudioExporter",
                                    "“%1” doesn't end in a format Sonabrix can save. Choose a "
                                    "name ending in .m4a, .mp3, .opus, .flac or .wav.")
            .arg(QFileInfo(destinationPath).fileName()));
}

// Which kind of folder the file goes to, for the log: a support question needs to know it
// was the Music folder, somewhere in home or outside it, never the folder's name or contents.
const char* folderKind(const QString& destinationPath) {
    const QString folder = QFileInfo(destinationPath).absolutePath();
    const std::pair<QStandardPaths::StandardLocation, const char*> known[] = {
        {QStandardPaths::MusicLocation, "the Music folder"},
        {QStandardPaths::DocumentsLocation, "the Documents folder"},
        {QStandardPaths::DesktopLocation, "the Desktop"},
        {QStandardPaths::DownloadLocation, "the Downloads folder"},
        {QStandardPaths::HomeLocation, "the home folder"},
        {QStandardPaths::TempLocation, "the temporary folder"},
    };
    for (const auto& [location, kind] : known)
        if (QDir(QStandardPaths::writableLocation(location)) == QDir(folder))
            return kind;
    return folder.startsWith(QDir::homePath() + QLatin1Char('/')) ? "a folder inside home"
                                                                  : "a folder outside home";
}

// A cancelled export stops between chunks; the staged file goes and the destination stays.
void exportRange(QPromise<void>& promise, const QString& sourcePath, TimeRange range,
                 const QString& destinationPath) {
    const ExportFormat format = formatFor(destinationPath);
    SourceRangeReader reader(sourcePath, range);
    qCInfo(lcExport).nospace().noquote()
        << "Exporting " << range.lower << "–" << range.upper << " s (frames " << reader.firstFrame()
        << "+" << reader.frameCount() << " of " << reader.channelCount() << " channels at "
        << reader.sampleRate() << " Hz) as " << extensionOf(format) << " to "
        << folderKind(destinationPath);
    StagedFile staged(destinationPath);
    {
        EncodedFileWriter writer(staged.path(), format, reader.sampleRate(), reader.channelCount());
        const int64_t chunkFrames = std::max<int64_t>(1, chunkSamples / reader.channelCount());
        std::vector<float> samples(size_t(chunkFrames) * size_t(reader.channelCount()));
        promise.setProgressRange(0, progressSteps);
        int64_t framesDone = 0;
        while (const int64_t frames = reader.read(samples)) {
            if (promise.isCanceled()) {
                qCInfo(lcExport) << "Export cancelled after" << framesDone << "frames";
                return;
            }
            writer.write(std::span(samples).first(size_t(frames) * size_t(reader.channelCount())));
            framesDone += frames;
            promise.setProgressValue(int(framesDone * progressSteps / reader.frameCount()));
        }
        reader.checkUnchanged();
        writer.finish();
        qCInfo(lcExport) << "Encoded" << writer.framesEncoded() << "frames of"
                         << writer.outputChannels() << "channels at" << writer.outputRate() << "Hz";
    }
    staged.commit();
    qCInfo(lcExport) << "Export finished";
}

} // namespace

QFuture<void> AudioExporter::exportTrimmed(const QUrl& sourceURL, TimeRange range, const QUrl& to) {
    return QtConcurrent::run([sourceURL, range, to](QPromise<void>& promise) {
        try {
            if (!sourceURL.isLocalFile() || !to.isLocalFile()) {
                qCInfo(lcExport) << "Export asked for a location that isn't a local file";
                throw ExportError(ExportError::sessionCreationFailed);
            }
            exportRange(promise, sourceURL.toLocalFile(), range, to.toLocalFile());
        } catch (const ExportFailure& failure) {
            qCInfo(lcExport) << "Export failed:" << failure.what();
            throw;
        }
    });
}
