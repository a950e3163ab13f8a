#include "RecordingWriter.h"

#include "DetailPeaksFile.h"
#include "FutureDelivery.h"
#include "Logging.h"
#include "PeakFolder.h"
#include "RecordingsFolder.h"

#include <QCoreApplication>
#include <pthread.h>

namespace {

// What the writer takes from the ring at once, and waits for: a tenth of a second at 48 kHz.
// One write (and header update) per chunk rather than per fragment of the stream.
constexpr qint64 chunkFrames = 4800;

Result<std::unique_ptr<RecordingFile>> createFile(int sampleRateHz, int channelCount) {
    const Result<QString> directory = RecordingsFolder::ensure();
    if (!directory)
        return directory.failure();
    return RecordingFile::create(*directory, sampleRateHz, channelCount);
}

} // namespace

RecordingWriter::RecordingWriter(std::function<void()> beforeEachWrite)
    : beforeEachWrite_(std::move(beforeEachWrite)) {}

RecordingWriter::~RecordingWriter() {
    static_cast<void>(finish());
    if (thread_.joinable())
        thread_.join();
}

bool RecordingWriter::append(const PcmBuffer& buffer) {
    if (finished_.load(std::memory_order_acquire) || failed_.load(std::memory_order_acquire))
        return false;
    if (buffer.frames() < 1)
        return true;
    const bool first = !ring_;
    if (first) {
        std::lock_guard guard(lifecycle_);
        if (finished_)
            return false;
        sampleRateHz_ = buffer.sampleRateHz;
        ring_ = std::make_unique<FrameRing>(
            buffer.channelCount, buffer.sampleRateHz * bufferedAudio.count(), chunkFrames);
        ended_.start();
        thread_ = std::thread([this] { write(); });
    }
    if (buffer.sampleRateHz != sampleRateHz_ || buffer.channelCount != ring_->channelCount()) {
        fail(lossReason_,
             Failure::because(QCoreApplication::translate(
                 "RecordingWriter", "The audio format changed during the recording.")));
        return false;
    }
    // A disk more than the ring behind makes this thread wait for it, as writing here would:
    // audio is never thrown away for being late. Pieces larger than the ring go in turn.
    const int channels = ring_->channelCount();
    for (qint64 done = 0; done < buffer.frames();) {
        const qint64 piece = std::min(buffer.frames() - done, ring_->capacityFrames());
        const float* samples = buffer.samples.data() + done * channels;
        if (!ring_->push(samples, piece)) {
            if (!std::exchange(waitedForDisk_, true))
                qCWarning(lcCapture) << "The disk is" << bufferedAudio.count()
                                     << "s behind the recording: the capture waits for it";
            ring_->waitForRoom(piece);
            if (failed_.load(std::memory_order_acquire))
                return false;
            continue;
        }
        done += piece;
    }
    // The file is made at once, so that a folder it can't be made in is told at once.
    if (first)
        ring_->flush();
    return true;
}

std::optional<QString> RecordingWriter::filePath() const {
    std::lock_guard guard(state_);
    return path_;
}

void RecordingWriter::flush() {
    std::lock_guard guard(lifecycle_);
    if (ring_)
        ring_->flush();
}

QFuture<RecordingWriter::Outcome> RecordingWriter::finish() {
    std::lock_guard guard(lifecycle_);
    finished_ = true;
    if (!ring_)
        return readyFuture(outcome());
    ring_->close();
    return ended_.future();
}

void RecordingWriter::write() {
    pthread_setname_np(pthread_self(), "sonabrix-writer");
    std::vector<float> chunk(static_cast<size_t>(chunkFrames * ring_->channelCount()));
    // After the disk failed, the rest is only taken out of the ring: written, it would follow a
    // hole. A buffer the capture thread refused leaves everything before it to be written.
    bool broken = false;
    // The detail peaks of exactly the frames in the file, folded while they are at hand.
    PeakFolder folder(DetailPeaksFile::framesPerPeak);
    DetailPeaksFile detail;
    const auto keep = [&detail](float peak) { detail.peaks.push_back(peak); };
    while (ring_->waitForFrames()) {
        const qint64 frames = ring_->pop(chunk.data(), chunkFrames);
        if (broken)
            continue;
        if (!file_) {
            Result<std::unique_ptr<RecordingFile>> created =
                createFile(sampleRateHz_, ring_->channelCount());
            if (!created) {
                fail(creationError_, created.failure());
                broken = true;
                continue;
            }
            file_ = std::move(created).value();
            std::lock_guard guard(state_);
            path_ = file_->path();
        }
        if (beforeEachWrite_)
            beforeEachWrite_();
        const qint64 before = file_->framesWritten();
        const std::optional<Failure> lost = file_->append(chunk.data(), frames);
        folder.fold(chunk.data(), file_->framesWritten() - before, ring_->channelCount(), keep);
        if (lost) {
            fail(lossReason_, *lost);
            broken = true;
        }
    }
    Outcome ending = outcome();
    if (file_ && file_->framesWritten() > 0) {
        if (const std::optional<float> partial = folder.closePartial())
            keep(*partial);
        detail.totalFrames = file_->framesWritten();
        detail.sampleRateHz = sampleRateHz_;
        // Only a help for opening the recording quickly: without it the audio is read instead.
        if (!detail.save(file_->path()))
            qCWarning(lcCapture) << "Couldn't save the detail peaks beside" << file_->path();
    }
    file_.reset();
    qCDebug(lcCapture) << "Writer done:" << ending.framesWritten << "frames";
    ended_.addResult(ending);
    ended_.finish();
}

void RecordingWriter::fail(std::optional<Failure>& reason, const Failure& failure) {
    {
        std::lock_guard guard(state_);
        if (failed_.exchange(true))
            return;
        reason = failure;
    }
    qCWarning(lcCapture).noquote()
        << "The recording can't be written any further:" << failure.message();
    if (onFailure_)
        onFailure_();
}

RecordingWriter::Outcome RecordingWriter::outcome() {
    std::lock_guard guard(state_);
    Outcome ending;
    if (file_) {
        ending.filePath = path_;
        ending.lossReason = lossReason_;
        ending.framesWritten = file_->framesWritten();
    } else {
        ending.creationError = creationError_;
    }
    return ending;
}
