#include "RecordingWriter.h"

#include "CaptureTestUtil.h"
#include "DetailPeaksFile.h"

#include <atomic>
#include <thread>

namespace {

// Holds the writer's disk while it is shut; lets it go when opened (or destroyed).
class DiskGate {
public:
    ~DiskGate() { open(); }
    void shut() { shut_ = true; }
    void open() {
        shut_ = false;
        shut_.notify_all();
    }
    // On the writer thread, before each write.
    void pass() {
        ++waits_;
        shut_.wait(true);
    }
    int waits() const { return waits_; }

private:
    std::atomic<bool> shut_{false};
    std::atomic<int> waits_{0};
};

// A 20 ms stereo buffer whose every sample is its number, as the server's thread gives them.
PcmBuffer numbered(int number, qint64 frames = 960) {
    return {48000, 2, std::vector<float>(size_t(frames * 2), float(number))};
}

bool holdsInOrder(const SoundFile& file, int buffers, qint64 framesEach) {
    if (file.frames() != buffers * framesEach)
        return false;
    for (qint64 frame = 0; frame < file.frames(); ++frame)
        if (file.samples[size_t(2 * frame)] != float(frame / framesEach))
            return false;
    return true;
}

RecordingWriter::Outcome ending(RecordingWriter& writer) {
    QFuture<RecordingWriter::Outcome> future = writer.finish();
    if (!QTest::qWaitFor([&future] { return future.isFinished(); }, 10000))
        return {};
    return future.result();
}

} // namespace

class RecordingWriterTest : public QObject {
    Q_OBJECT

    QTemporaryDir dataHome_;

private Q_SLOTS:
    void initTestCase() { useDataHome(dataHome_.path()); }

    // While the disk stalls, the server's thread keeps handing over audio without waiting, the
    // window can still ask for the file, and once the disk is back every frame is written in
    // order.
    void aStalledDiskHoldsUpNoOneAndLosesNothing() {
        DiskGate disk;
        RecordingWriter writer([&disk] { disk.pass(); });
        disk.shut();
        std::atomic<bool> handedOver = false, allKept = true;
        std::jthread server([&] {
            for (int number = 0; number < 100; ++number)
                allKept = writer.append(numbered(number)) && allKept;
            handedOver = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(handedOver, 5000);
        QVERIFY(allKept);
        QTRY_VERIFY_WITH_TIMEOUT(disk.waits() > 0, 5000);
        QVERIFY(writer.filePath().has_value());
        disk.open();
        const RecordingWriter::Outcome outcome = ending(writer);
        QCOMPARE(outcome.lossReason, std::nullopt);
        QCOMPARE(outcome.framesWritten, 100 * 960);
        QVERIFY(holdsInOrder(SoundFile(*outcome.filePath), 100, 960));
    }

    // A disk further behind than the writer holds makes the server's thread wait for it rather
    // than lose audio: once it is back, everything is written in order.
    void aDiskTooFarBehindHoldsTheCaptureAndLosesNothing() {
        DiskGate disk;
        RecordingWriter writer([&disk] { disk.pass(); });
        disk.shut();
        const qint64 tenth = 4800;
        const int buffers = int(RecordingWriter::bufferedAudio.count() * 10) + 5;
        std::atomic<int> handedOver = 0;
        std::jthread server([&] {
            for (int number = 0; number < buffers; ++number)
                if (writer.append(numbered(number, tenth)))
                    ++handedOver;
        });
        QTRY_VERIFY_WITH_TIMEOUT(disk.waits() > 0, 5000);
        QTest::qWait(300);
        QVERIFY2(handedOver < buffers, qPrintable(QString::number(handedOver)));
        disk.open();
        QTRY_COMPARE_WITH_TIMEOUT(handedOver.load(), buffers, 10000);
        const RecordingWriter::Outcome outcome = ending(writer);
        QCOMPARE(outcome.lossReason, std::nullopt);
        QVERIFY(holdsInOrder(SoundFile(*outcome.filePath), buffers, tenth));
    }

    // A buffer larger than the ring goes in by pieces.
    void aBufferLargerThanTheRingIsWrittenWhole() {
        RecordingWriter writer;
        const qint64 frames = 48000 * (RecordingWriter::bufferedAudio.count() + 3);
        QVERIFY(writer.append(numbered(0, frames)));
        const RecordingWriter::Outcome outcome = ending(writer);
        QVERIFY(holdsInOrder(SoundFile(*outcome.filePath), 1, frames));
    }

    // Buffers after the end are refused and start no second file; a writer that never got a
    // buffer ends at once, with no file.
    void nothingIsWrittenAfterTheEnd() {
        RecordingWriter empty;
        const RecordingWriter::Outcome none = ending(empty);
        QCOMPARE(none.filePath, std::nullopt);
        QCOMPARE(none.creationError, std::nullopt);
        QVERIFY(!empty.append(numbered(1)));

        const auto files = [] { return QDir(RecordingsFolder::path()).entryList({"*.caf"}); };
        const qsizetype before = files().size();
        RecordingWriter writer;
        QVERIFY(writer.append(numbered(0)));
        const RecordingWriter::Outcome outcome = ending(writer);
        QVERIFY(!writer.append(numbered(1)));
        QVERIFY(holdsInOrder(SoundFile(*outcome.filePath), 1, 960));
        QCOMPARE(files().size(), before + 1);
    }

    // Beside the file, owner-only like it, the writer leaves the detail peaks of exactly the
    // frames in it: every 1024 frames from the first, over both channels, the last bin partial,
    // whatever the sizes of the buffers that brought them.
    void leavesTheDetailPeaksOfItsFramesBesideTheFile() {
        RecordingWriter writer;
        qint64 frames = 0;
        for (int number = 0; number < 60; ++number) {
            PcmBuffer buffer{48000, 2, std::vector<float>(size_t(2 * (333 + 97 * number)))};
            // Quiet but for a loud frame of its own height first in each bin, the right channel
            // inverted: a bin that took a frame of its neighbour shows.
            for (qint64 i = 0; i < buffer.frames(); ++i) {
                const qint64 frame = frames + i;
                const float level = frame % 1024 == 0 ? 0.5f + float(frame / 1024 % 50) / 100.0f
                                                      : 0.01f * float(frame % 5);
                buffer.samples[size_t(2 * i)] = level / 2;
                buffer.samples[size_t(2 * i + 1)] = -level;
            }
            QVERIFY(writer.append(buffer));
            frames += buffer.frames();
        }
        const RecordingWriter::Outcome outcome = ending(writer);
        const SoundFile file(*outcome.filePath);
        QCOMPARE(file.frames(), frames);
        std::vector<float> expected;
        for (qint64 frame = 0; frame < frames; ++frame) {
            if (frame % 1024 == 0)
                expected.push_back(0.0f);
            for (int channel = 0; channel < 2; ++channel)
                expected.back() =
                    std::max(expected.back(), std::abs(file.samples[size_t(2 * frame + channel)]));
        }
        const std::optional<DetailPeaksFile> saved = DetailPeaksFile::load(*outcome.filePath);
        QVERIFY(saved);
        QCOMPARE(saved->totalFrames, frames);
        QCOMPARE(saved->sampleRateHz, 48000);
        QCOMPARE(saved->peaks, expected);
        struct stat status = {};
        QVERIFY(::stat(QFile::encodeName(DetailPeaksFile::pathFor(*outcome.filePath)), &status) ==
                    0 &&
                (status.st_mode & 07777) == 0600);
    }
};

QTEST_GUILESS_MAIN(RecordingWriterTest)
#include "RecordingWriterTest.moc"
