#include "ReplaySaving.h"

#include "Logging.h"
#include "RecordingWriter.h"
#include "ReplayStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <cmath>
#include <ctime>

namespace {

// How long a save waits for the audio that had played when it was asked for.
constexpr int lateAudioMs = 1000;

} // namespace

qint64 monotonicNowUs() {
    timespec now = {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

ReplaySave saveReplay(const std::shared_ptr<ReplayStore>& store, qint64 pressedUs,
                      const QDateTime& pressedAt, std::optional<double> lastSeconds) {
    // The recording ends with what played as the user asked: the server hands it over a moment
    // later.
    qint64 end = store->frameAt(pressedUs).value_or(store->endFrame());
    const QDeadlineTimer deadline(lateAudioMs);
    while (store->endFrame() < end && !deadline.hasExpired())
        QThread::msleep(10);
    if (store->endFrame() < end)
        qCWarning(lcCapture).noquote()
            << "Replay save: the last" << double(end - store->endFrame()) / store->sampleRateHz()
            << "s before the request didn't arrive in time";
    end = std::min(end, store->endFrame());
    qint64 first = store->firstKeptFrame();
    if (lastSeconds)
        first = std::max(first, end - std::llround(*lastSeconds * store->sampleRateHz()));
    qCDebug(lcCapture).noquote() << "Replay save: frames" << first << "to" << end << "of"
                                 << store->firstKeptFrame() << "to" << store->endFrame();
    if (end <= first)
        return {{},
                {},
                0,
                QCoreApplication::translate("ReplaySaving", "Nothing has been kept yet to save.")};

    ReplaySnapshot snapshot = store->snapshot(first, end);
    RecordingWriter writer;
    const bool complete = snapshot.writeTo(writer);
    const RecordingWriter::Outcome outcome = writer.finish().result();

    ReplaySave save;
    save.seconds = double(outcome.framesWritten) / store->sampleRateHz();
    if (outcome.filePath)
        save.url = QUrl::fromLocalFile(*outcome.filePath);
    if (const std::optional<qint64> startUs = store->monotonicUsAt(snapshot.firstFrame()))
        save.startDate = pressedAt.addMSecs(-(pressedUs - *startUs) / 1000);
    if (outcome.creationError)
        save.errorMessage = outcome.creationError
                                ->within(QCoreApplication::translate(
                                    "ReplaySaving", "Couldn't save the kept sound"))
                                .message();
    else if (outcome.lossReason)
        save.errorMessage = outcome.lossReason
                                ->within(QCoreApplication::translate(
                                    "ReplaySaving", "Only part of the kept sound could be saved"))
                                .message();
    else if (!complete)
        save.errorMessage = QCoreApplication::translate(
            "ReplaySaving", "Only part of the kept sound could be saved: a stretch of it "
                            "couldn't be read back.");
    qCInfo(lcCapture).noquote() << "Replay saved:" << save.seconds << "s of"
                                << snapshot.frames() / double(store->sampleRateHz()) << "s to"
                                << outcome.filePath.value_or(QStringLiteral("no file"));
    return save;
}
