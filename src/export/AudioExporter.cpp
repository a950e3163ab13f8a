#include "AudioExporter.h"

#include "ChannelMixer.h"
#include "EdgeFader.h"
#include "EncodedFileWriter.h"
#include "FrameRange.h"
#include "Logging.h"
#include "LoudnessMeasurement.h"
#include "Mp4FreeformTags.h"
#include "PeakLimiter.h"
#include "SourceRangeReader.h"
#include "StagedFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPromise>
#include <QStandardPaths>
#include <QtConcurrent>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <vector>

namespace {

// About a tenth of a second of stereo audio per step, fewer frames for more channels: memory
// stays flat for any length and any channel count.
constexpr int64_t chunkSamples = 16384;

constexpr int progressSteps = 1000;
// The share of the progress for measuring, where a loudness target needs it: reading and
// metering take about a quarter of the time encoding does.
constexpr int measuringSteps = 200;

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

// Lossy encoders add a little to the peaks they are given; the limiter leaves them room.
double encoderHeadroomDb(ExportFormat format) {
    return format == ExportFormat::flac || format == ExportFormat::wav ? 0.05 : 1.5;
}

// Reads the selection chunk by chunk, reporting progress from `from` to `to` of progressSteps;
// false once the user cancelled.
bool readAll(QPromise<ExportOutcome>& promise, SourceRangeReader& reader, int from, int to,
             const std::function<void(std::span<const float>)>& take) {
    const int64_t chunkFrames = std::max<int64_t>(1, chunkSamples / reader.channelCount());
    std::vector<float> samples(size_t(chunkFrames) * size_t(reader.channelCount()));
    int64_t framesDone = 0;
    while (const int64_t frames = reader.read(samples)) {
        if (promise.isCanceled()) {
            qCInfo(lcExport) << "Export cancelled after" << framesDone << "frames";
            return false;
        }
        take(std::span(samples).first(size_t(frames) * size_t(reader.channelCount())));
        framesDone += frames;
        promise.setProgressValue(from + int(framesDone * (to - from) / reader.frameCount()));
    }
    reader.checkUnchanged();
    return true;
}

// The loudness gain, and whether any true peak would then pass the ceiling; nothing when the
// selection can't be measured or the user cancelled (then `outcome` says which). Reads the
// selection once.
struct LoudnessGain {
    float gain;
    bool needsLimiting;
    double truePeak; // after the gain and any limiting, linear
};
std::optional<LoudnessGain> measuredGain(QPromise<ExportOutcome>& promise,
                                         const QString& sourcePath, TimeRange range,
                                         double targetLufs, double ceiling,
                                         ExportOutcome& outcome) {
    const int64_t total = SourceRangeReader(sourcePath, range).frameCount();
    std::atomic<int64_t> framesDone = 0;
    const std::optional<LoudnessMeter> meter =
        measureLoudness(sourcePath, range, [&](int64_t frames) {
            const int64_t done = framesDone += frames;
            promise.setProgressValue(int(done * measuringSteps / total));
            return !promise.isCanceled();
        });
    if (!meter) {
        qCInfo(lcExport) << "Export cancelled while measuring";
        return std::nullopt;
    }
    const std::optional<double> gainDb = meter->gainDbFor(targetLufs, ceiling);
    if (!gainDb) {
        qCInfo(lcExport) << "The selection is silent or too short to measure; saved as recorded";
        outcome.loudnessUnmeasurable = true;
        return std::nullopt;
    }
    outcome.gainDb = *gainDb;
    const auto gain = float(std::pow(10.0, *gainDb / 20));
    qCInfo(lcExport).nospace() << "Measured " << meter->integratedLufs().value_or(0)
                               << " LUFS, true peak " << 20 * std::log10(meter->truePeak())
                               << " dBTP; gain " << *gainDb << " dB";
    const double peak = meter->truePeak() * gain;
    return LoudnessGain{gain, peak > ceiling, std::min(peak, ceiling)};
}

// The recording's title and date, the app as the encoder, and where the loudness was set, the
// gain tags players read: ReplayGain's against -18 LUFS, Opus's R128 gain in 1/256 dB against
// -23 LUFS. WAV's INFO list has no place for them. FFmpeg's MP4 muxer leaves out ReplayGain;
// it goes into the finished file as iTunes free-form items (see gainItemsFor).
EncodedFileWriter::Tags tagsFor(const ExportOptions& options, ExportFormat format,
                                const std::optional<LoudnessGain>& loudness) {
    EncodedFileWriter::Tags tags{
        {"title", options.title},
        {"date", options.date.isValid()
                     ? options.date.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                     : QString()},
        // MP4 calls the encoder the encoding tool.
        {format == ExportFormat::m4a ? "encoding_tool" : "encoder",
         QStringLiteral("Sonabrix " SONABRIX_VERSION)},
    };
    if (!loudness || !options.loudnessTargetLufs)
        return tags;
    const double target = *options.loudnessTargetLufs;
    if (format == ExportFormat::opus) {
        tags.emplace_back("R128_TRACK_GAIN", QString::number(std::lround(256 * (-23 - target))));
    } else if (format != ExportFormat::wav) {
        tags.emplace_back("REPLAYGAIN_TRACK_GAIN", QString::asprintf("%.2f dB", -18 - target));
        tags.emplace_back("REPLAYGAIN_TRACK_PEAK", QString::asprintf("%.6f", loudness->truePeak));
    }
    return tags;
}

// MP4's ReplayGain items, named as players read them there.
FreeformTags gainItemsFor(ExportFormat format, const EncodedFileWriter::Tags& tags) {
    FreeformTags items;
    if (format == ExportFormat::m4a)
        for (const auto& [key, value] : tags)
            if (key.startsWith("REPLAYGAIN_"))
                items.emplace_back(key.toLower(), value);
    return items;
}

// A cancelled export stops between chunks; the staged file goes and the destination stays.
ExportOutcome exportRange(QPromise<ExportOutcome>& promise, const QString& sourcePath,
                          TimeRange range, const QString& destinationPath,
                          const ExportOptions& options) {
    const ExportFormat format = formatFor(destinationPath);
    promise.setProgressRange(0, progressSteps);
    ExportOutcome outcome;
    const double ceiling =
        std::pow(10.0, (options.truePeakCeilingDbtp - encoderHeadroomDb(format)) / 20);
    std::optional<LoudnessGain> loudness;
    if (options.loudnessTargetLufs) {
        loudness =
            measuredGain(promise, sourcePath, range, *options.loudnessTargetLufs, ceiling, outcome);
        if (promise.isCanceled())
            return outcome;
    }
    SourceRangeReader reader(sourcePath, range);
    qCInfo(lcExport).nospace().noquote()
        << "Exporting " << range.lower << "–" << range.upper << " s (frames " << reader.firstFrame()
        << "+" << reader.frameCount() << " of " << reader.channelCount() << " channels at "
        << reader.sampleRate() << " Hz) as " << extensionOf(format) << " to "
        << folderKind(destinationPath);
    StagedFile staged(destinationPath);
    const EncodedFileWriter::Tags tags = tagsFor(options, format, loudness);
    {
        EncodedFileWriter writer(staged.path(), format, reader.sampleRate(), reader.channelCount(),
                                 tags);
        ChannelMixer mixer(reader.channelCount());
        const int channels = mixer.outputChannels();
        std::optional<PeakLimiter> limiter;
        std::optional<float> plainGain;
        if (loudness && loudness->needsLimiting)
            limiter.emplace(channels, reader.sampleRate(), loudness->gain, float(ceiling));
        else if (loudness)
            plainGain = loudness->gain;
        std::vector<float> gained;
        std::optional<EdgeFader> fader;
        if (options.fadeSeconds > 0)
            fader.emplace(
                channels,
                FrameRange::frameAt(options.fadeSeconds, reader.sampleRate(), reader.frameCount()),
                reader.frameCount());
        const auto shaped = [&](std::span<const float> samples, bool last) {
            if (limiter)
                samples = last ? limiter->flush() : limiter->process(samples);
            if (plainGain) {
                gained.resize(samples.size());
                std::ranges::transform(samples, gained.begin(),
                                       [&](float sample) { return sample * *plainGain; });
                samples = gained;
            }
            if (fader) {
                samples = fader->process(samples);
                if (last) {
                    writer.write(samples);
                    samples = fader->flush();
                }
            }
            writer.write(samples);
        };
        const bool shaping = limiter || plainGain || fader;
        const int from = options.loudnessTargetLufs ? measuringSteps : 0;
        if (!readAll(promise, reader, from, progressSteps, [&](std::span<const float> samples) {
                if (shaping)
                    shaped(mixer.mix(samples), false);
                else
                    writer.write(samples);
            }))
            return outcome;
        if (shaping)
            shaped({}, true);
        writer.finish();
        qCInfo(lcExport) << "Encoded" << writer.framesEncoded() << "frames of"
                         << writer.outputChannels() << "channels at" << writer.outputRate() << "Hz";
        if (limiter)
            qCInfo(lcExport) << "Limited" << limiter->limitedFrames() << "frames";
        if (fader)
            qCInfo(lcExport) << "Faded in:" << fader->fadedIn() << "out:" << fader->fadedOut();
    }
    addFreeformTags(staged.path(), gainItemsFor(format, tags));
    staged.commit();
    qCInfo(lcExport) << "Export finished";
    return outcome;
}

} // namespace

QFuture<void> AudioExporter::exportTrimmed(const QString& sourcePath, TimeRange range,
                                           const QString& destinationPath) {
    return QFuture<void>(exportTrimmed(sourcePath, range, destinationPath, ExportOptions{}));
}

QFuture<ExportOutcome> AudioExporter::exportTrimmed(const QString& sourcePath, TimeRange range,
                                                    const QString& destinationPath,
                                                    const ExportOptions& options) {
    return QtConcurrent::run([sourcePath, range, destinationPath,
                              options](QPromise<ExportOutcome>& promise) {
        try {
            promise.addResult(exportRange(promise, sourcePath, range, destinationPath, options));
        } catch (const ExportFailure& failure) {
            qCInfo(lcExport) << "Export failed:" << failure.what();
            throw;
        }
    });
}
