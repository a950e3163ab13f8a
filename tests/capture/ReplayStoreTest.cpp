#include "ReplayStore.h"

#include "CaptureTestUtil.h"
#include "RecordingWriter.h"

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

namespace {

constexpr int rate = 48000;
constexpr qint64 second = rate;
constexpr qint64 t0 = 5'000'000'000; // a CLOCK_MONOTONIC time, in µs

// What 24-bit storage makes of a sample: the nearest step of 2^-23, within [-1, 1 - 2^-23].
float quantised(float sample) {
    const double steps = std::nearbyint(double(sample) * 8388608.0);
    return float(std::clamp(std::isnan(steps) ? 0.0 : steps, -8388608.0, 8388607.0) / 8388608.0);
}

// A sample that tells which frame and channel it is (every 2^22 frames repeat), exact at 24 bits.
float rampAt(qint64 frame, int channel) {
    return float((frame % 4194304) * 2 + channel - 4194304) / 8388608.0f;
}

PcmBuffer ramp(qint64 firstFrame, qint64 frames, qint64 capturedAtUs = -1) {
    PcmBuffer buffer{rate, 2, std::vector<float>(size_t(frames * 2)), capturedAtUs};
    for (qint64 frame = 0; frame < frames; ++frame)
        for (int channel = 0; channel < 2; ++channel)
            buffer.samples[size_t(frame * 2 + channel)] = rampAt(firstFrame + frame, channel);
    return buffer;
}

PcmBuffer level(float value, qint64 frames, qint64 capturedAtUs = -1) {
    return {rate, 2, std::vector<float>(size_t(frames * 2), value), capturedAtUs};
}

// Appends `seconds` of a ramp going on from the store's end, in 20 ms buffers as a server gives
// them, checking after each buffer that the store holds no more than its length and one block.
bool appendRamp(ReplayStore& store, double seconds) {
    const qint64 limit = store.length().count() * rate + store.blockFrames();
    const qint64 end = store.endFrame() + qint64(seconds * rate);
    while (store.endFrame() < end) {
        store.append(ramp(store.endFrame(), std::min<qint64>(960, end - store.endFrame())));
        if (store.endFrame() - store.firstKeptFrame() > limit)
            return false;
    }
    return true;
}

// Everything a snapshot gives, read in pieces of `piece` frames.
std::vector<float> readAll(ReplaySnapshot snapshot, qint64 piece = 1234) {
    std::vector<float> samples;
    PcmBuffer buffer;
    while (snapshot.next(buffer, piece))
        samples.insert(samples.end(), buffer.samples.begin(), buffer.samples.end());
    return samples;
}

// The first frame in [0, samples) whose content isn't the ramp at `firstFrame` on; -1 if none.
qint64 firstNotRamp(const std::vector<float>& samples, qint64 firstFrame) {
    for (size_t i = 0; i < samples.size(); ++i)
        if (samples[i] != rampAt(firstFrame + qint64(i / 2), int(i % 2)))
            return qint64(i / 2);
    return -1;
}

// The first frame in [from, to) whose samples aren't `value`; -1 if none.
qint64 firstNotLevel(const std::vector<float>& samples, qint64 from, qint64 to, float value) {
    for (qint64 frame = from; frame < to; ++frame)
        if (samples[size_t(frame * 2)] != value || samples[size_t(frame * 2 + 1)] != value)
            return frame;
    return -1;
}

} // namespace

class ReplayStoreTest : public QObject {
    Q_OBJECT

    QTemporaryDir dataHome_;

private Q_SLOTS:
    void initTestCase() { useDataHome(dataHome_.path()); }

    // Loud, quiet, clipping and NaN samples come back as 24-bit storage makes them, whether read
    // from compressed blocks, across their borders, or from the block still being filled, in
    // reads that don't line up with either.
    void readsBackExactlyAt24Bits() {
        ReplayStore store(std::chrono::seconds(60), rate, 2);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> loud(-1.2f, 1.2f);
        std::vector<float> expected;
        while (store.endFrame() < 12 * second) { // two blocks and part of a third
            PcmBuffer buffer = level(0, 977);
            for (size_t i = 0; i < buffer.samples.size(); ++i)
                buffer.samples[i] = i % 7 == 0 ? loud(random) * 1e-4f : loud(random);
            if (store.endFrame() == 0) {
                buffer.samples[0] = std::nanf("");
                buffer.samples[1] = -1.0f;
                buffer.samples[2] = 1.0f;
            }
            for (float sample : buffer.samples)
                expected.push_back(quantised(sample));
            QVERIFY(store.append(buffer));
        }
        store.waitUntilCompressed();
        const qint64 from = 3 * second + 17, to = store.endFrame() - 5;
        const ReplaySnapshot snapshot = store.snapshot(from, to);
        QCOMPARE(snapshot.firstFrame(), from);
        QCOMPARE(snapshot.endFrame(), to);
        const std::vector<float> read = readAll(snapshot);
        QCOMPARE(qint64(read.size()), (to - from) * 2);
        QVERIFY(std::equal(read.begin(), read.end(), expected.begin() + from * 2));
    }

    // After four times its length it holds the length and at most one block more, the newest,
    // even when the length isn't a whole number of blocks: the frames it reports and their
    // content agree, and a snapshot asked for more gets just that. Its memory doesn't grow with
    // what has been appended.
    void keepsTheNewestLengthOnly() {
        ReplayStore store(std::chrono::seconds(62), rate, 2);
        QVERIFY(appendRamp(store, 124.3));
        store.waitUntilCompressed();
        const qint64 memoryAfterTwo = store.memoryBytes();
        QVERIFY(appendRamp(store, 124));
        store.waitUntilCompressed();
        const qint64 end = store.endFrame(), first = store.firstKeptFrame();
        QCOMPARE(end, qint64(248.3 * rate));
        QVERIFY2(end - first >= 62 * second && end - first <= 62 * second + store.blockFrames(),
                 qPrintable(QString::number(end - first)));
        QCOMPARE(store.keptSeconds(), double(end - first) / rate);
        QVERIFY(std::abs(store.memoryBytes() - memoryAfterTwo) < memoryAfterTwo / 4);

        const ReplaySnapshot all = store.snapshot(0, end + second);
        QCOMPARE(all.firstFrame(), first);
        QCOMPARE(all.endFrame(), end);
        const std::vector<float> read = readAll(all, 4800);
        QCOMPARE(qint64(read.size()), (end - first) * 2);
        QCOMPARE(firstNotRamp(read, first), -1);

        QCOMPARE(store.snapshot(0, first).frames(), 0);
        PcmBuffer nothing;
        QVERIFY(!store.snapshot(0, first).next(nothing, 100));
    }

    // A new length holds from the moment it is set: shorter drops the oldest at once and keeps
    // the newest, longer lets what comes next add up beyond the old length.
    void aNewLengthHoldsAtOnce() {
        ReplayStore store(std::chrono::seconds(60), rate, 2);
        QVERIFY(appendRamp(store, 90));
        store.setLength(std::chrono::seconds(20));
        QCOMPARE(store.length(), std::chrono::seconds(20));
        const qint64 end = store.endFrame();
        QVERIFY(end - store.firstKeptFrame() <= 20 * second + store.blockFrames());
        QVERIFY(end - store.firstKeptFrame() >= 20 * second);
        QCOMPARE(firstNotRamp(readAll(store.snapshot(0, end)), store.firstKeptFrame()), -1);

        store.setLength(std::chrono::seconds(40));
        QVERIFY(appendRamp(store, 30));
        QVERIFY(store.keptSeconds() >= 40);
        QCOMPARE(firstNotRamp(readAll(store.snapshot(0, store.endFrame())), store.firstKeptFrame()),
                 -1);
    }

    // A minute of digital silence, as a server gives it with nothing playing, costs next to
    // nothing (2.1 KB when written); with a click in it, what FLAC's constant frames cost around
    // the one block that holds it (3.7 KB). A minute of quiet noise, for scale, costs megabytes.
    void silenceIsAlmostFree() {
        ReplayStore silent(std::chrono::seconds(60), rate, 2);
        for (qint64 frame = 0; frame < 60 * second; frame += 960)
            silent.append(level(0, 960, t0 + frame * 1'000'000 / rate));
        silent.waitUntilCompressed();
        QVERIFY2(silent.memoryBytes() < 4 * 1024,
                 qPrintable(QString::number(silent.memoryBytes())));

        ReplayStore clicked(std::chrono::seconds(60), rate, 2);
        for (qint64 frame = 0; frame < 60 * second; frame += 960)
            clicked.append(level(frame == 30 * second ? 0.5f : 0, 960));
        clicked.waitUntilCompressed();
        QVERIFY2(clicked.memoryBytes() < 8 * 1024,
                 qPrintable(QString::number(clicked.memoryBytes())));
        const std::vector<float> read = readAll(clicked.snapshot(0, clicked.endFrame()));
        QCOMPARE(firstNotLevel(read, 0, 30 * second, 0), -1);
        QCOMPARE(firstNotLevel(read, 30 * second, 30 * second + 960, 0.5f), -1);
        QCOMPARE(firstNotLevel(read, 30 * second + 960, 60 * second, 0), -1);

        ReplayStore noisy(std::chrono::seconds(60), rate, 2);
        std::mt19937 random(3);
        std::uniform_real_distribution<float> quiet(-1e-3f, 1e-3f);
        for (qint64 frame = 0; frame < 60 * second; frame += 960) {
            PcmBuffer buffer = level(0, 960);
            std::generate(buffer.samples.begin(), buffer.samples.end(),
                          [&] { return quiet(random); });
            noisy.append(buffer);
        }
        noisy.waitUntilCompressed();
        QVERIFY2(noisy.memoryBytes() > 2'000'000, qPrintable(QString::number(noisy.memoryBytes())));
    }

    // A capture that starts again later is placed by its time, the gap filled with silence; one
    // that starts again too early is appended whole. Times and frames map both ways through it.
    // Within one capture the buffers' times are not followed: their jitter would tear it apart.
    void placesEachCaptureByItsTime() {
        ReplayStore store(std::chrono::seconds(60), rate, 2);
        QCOMPARE(store.frameAt(t0), std::nullopt);
        for (qint64 frame = 0; frame < second; frame += 960)
            store.append(level(0.5f, 960, t0 + frame * 1'000'000 / rate));
        store.markBreak();
        store.append(level(0.25f, second / 4, t0 + 1'500'000)); // half a second later
        QCOMPARE(store.endFrame(), 2 * second - second / 4);
        QCOMPARE(store.frameAt(t0 + 1'500'000), qint64(1.5 * rate));
        QCOMPARE(store.monotonicUsAt(qint64(1.5 * rate)), t0 + 1'500'000);
        QCOMPARE(store.monotonicUsAt(second / 2), t0 + 500'000);

        store.markBreak();
        store.append(level(0.75f, second / 4, t0 + 1'700'000)); // 50 ms before the end
        QCOMPARE(store.endFrame(), 2 * second);
        QCOMPARE(store.frameAt(t0 + 1'700'000), qint64(1.75 * rate));

        store.append(level(1.0f / 8, second / 4, t0 + 9'000'000)); // the same capture going on
        QCOMPARE(store.endFrame(), 2 * second + second / 4);

        const std::vector<float> read = readAll(store.snapshot(0, store.endFrame()));
        QCOMPARE(firstNotLevel(read, 0, second, 0.5f), -1);
        QCOMPARE(firstNotLevel(read, second, qint64(1.5 * rate), 0), -1);
        QCOMPARE(firstNotLevel(read, qint64(1.5 * rate), qint64(1.75 * rate), 0.25f), -1);
        QCOMPARE(firstNotLevel(read, qint64(1.75 * rate), 2 * second, 0.75f), -1);
        QCOMPARE(firstNotLevel(read, 2 * second, store.endFrame(), 1.0f / 8), -1);
    }

    // A break longer than the store's length leaves silence, then the new capture, at the frame
    // its time gives; without holding or working through the whole gap.
    void aLongBreakLeavesSilenceAndTheNewCapture() {
        ReplayStore store(std::chrono::seconds(60), rate, 2);
        store.append(level(0.5f, second, t0));
        store.markBreak();
        store.append(level(0.25f, second, t0 + 3600'000'000LL)); // an hour later
        const qint64 hour = 3600 * second;
        QCOMPARE(store.endFrame(), hour + second);
        QCOMPARE(store.frameAt(t0 + 3600'000'000LL), hour);
        const qint64 first = store.firstKeptFrame();
        QVERIFY(hour + second - first <= 60 * second + store.blockFrames());
        const std::vector<float> read = readAll(store.snapshot(0, hour + second));
        QCOMPARE(qint64(read.size()), (hour + second - first) * 2);
        QCOMPARE(firstNotLevel(read, 0, hour - first, 0), -1);
        QCOMPARE(firstNotLevel(read, hour - first, hour + second - first, 0.25f), -1);
        store.waitUntilCompressed();
        const qint64 openBlockBytes = store.blockFrames() * 2 * qint64(sizeof(float));
        QVERIFY2(store.memoryBytes() < openBlockBytes + 64 * 1024,
                 qPrintable(QString::number(store.memoryBytes())));
    }

    // After clear() nothing is kept and nearly nothing held; the frames and their times go on
    // from where they were.
    void clearStartsAfresh() {
        ReplayStore store(std::chrono::seconds(60), rate, 2);
        QVERIFY(appendRamp(store, 7.5));
        store.clear();
        const qint64 end = store.endFrame();
        QCOMPARE(end, qint64(7.5 * rate));
        QCOMPARE(store.firstKeptFrame(), end);
        QCOMPARE(store.keptSeconds(), 0.0);
        QCOMPARE(store.snapshot(0, end).frames(), 0);
        store.waitUntilCompressed();
        QVERIFY2(store.memoryBytes() < 4 * 1024, qPrintable(QString::number(store.memoryBytes())));

        store.append(ramp(end, second, t0));
        QCOMPARE(store.firstKeptFrame(), end);
        QCOMPARE(store.monotonicUsAt(end), t0);
        const std::vector<float> read = readAll(store.snapshot(0, store.endFrame()));
        QCOMPARE(qint64(read.size()), second * 2);
        QCOMPARE(firstNotRamp(read, end), -1);
    }

    // A snapshot read on one thread while another appends well past the store's length (so that
    // everything it was taken from, the block then being filled included, is finished,
    // compressed and dropped from the store meanwhile) gives exactly the frames asked for.
    void aSnapshotReadsWhileAppendsGoOn() {
        ReplayStore store(std::chrono::seconds(20), rate, 2, ReplayTuning{std::chrono::seconds(1)});
        QVERIFY(appendRamp(store, 30.5));
        const qint64 from = store.endFrame() - 15 * second - 3, to = store.endFrame();
        ReplaySnapshot snapshot = store.snapshot(from, to);
        std::atomic<int> halfRead = 0;
        std::jthread capture([&] {
            halfRead.wait(0);
            appendRamp(store, 25);
            halfRead = 2;
            halfRead.notify_all();
        });
        std::vector<float> read;
        PcmBuffer buffer;
        while (snapshot.next(buffer, 1000)) {
            read.insert(read.end(), buffer.samples.begin(), buffer.samples.end());
            if (halfRead == 0 && qint64(read.size()) > (to - from)) {
                halfRead = 1;
                halfRead.notify_all();
                halfRead.wait(1);
            }
        }
        QCOMPARE(halfRead.load(), 2);
        QVERIFY(store.firstKeptFrame() > to);
        QVERIFY(!snapshot.failed());
        QCOMPARE(qint64(read.size()), (to - from) * 2);
        QCOMPARE(firstNotRamp(read, from), -1);
    }

    // A snapshot handed to the recording writer becomes an ordinary recording of its frames.
    void aSnapshotBecomesARecording() {
        ReplayStore store(std::chrono::seconds(60), rate, 2);
        QVERIFY(appendRamp(store, 11));
        store.waitUntilCompressed();
        QString path;
        {
            RecordingWriter writer;
            QVERIFY(store.snapshot(2 * second, store.endFrame()).writeTo(writer));
            QFuture<RecordingWriter::Outcome> future = writer.finish();
            QVERIFY(QTest::qWaitFor([&future] { return future.isFinished(); }, 10000));
            QCOMPARE(future.result().lossReason, std::nullopt);
            QCOMPARE(future.result().framesWritten, 9 * second);
            path = future.result().filePath.value_or(QString());
        }
        const SoundFile file(path);
        QVERIFY(isPrivateRecording(path, file));
        QCOMPARE(file.frames(), 9 * second);
        QCOMPARE(firstNotRamp(file.samples, 2 * second), -1);
    }

    // A buffer in another format than the store's is refused, not mixed in.
    void refusesAnotherFormat() {
        ReplayStore store(std::chrono::seconds(60), rate, 2);
        QVERIFY(!store.append(PcmBuffer{44100, 2, std::vector<float>(1764, 0.5f), t0}));
        QVERIFY(!store.append(PcmBuffer{rate, 1, std::vector<float>(960, 0.5f), t0}));
        QCOMPARE(store.endFrame(), 0);
        QCOMPARE(store.frameAt(t0), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(ReplayStoreTest)
#include "ReplayStoreTest.moc"
