#include "ReadAhead.h"

#include "SoundFileHandle.h"

#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <sndfile.h>
#include <thread>
#include <vector>

// A stereo file whose left sample is its frame number and right one its negative, so any frame
// out of place or out of order shows.
class ReadAheadTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path_ = dir_.filePath("count.caf");
    static constexpr int64_t fileFrames = 50'000;

    RecordingReader openFile() {
        Result<RecordingReader> recording = RecordingReader::open(path_);
        if (!recording)
            qFatal("the test file can't be opened");
        return std::move(recording).value();
    }

    // Everything the ring gives until the reader is done, taken as a player would.
    static std::vector<float> drain(ReadAhead& reader) {
        std::vector<float> taken, piece(2 * 700);
        while (!reader.isDone() || reader.ring().readable() > 0) {
            const int64_t frames = reader.ring().pop(piece.data(), 700);
            taken.insert(taken.end(), piece.begin(), piece.begin() + frames * 2);
            if (frames == 0)
                QTest::qWait(1);
        }
        return taken;
    }

private slots:
    void initTestCase() {
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 2;
        info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT;
        const SoundFileHandle file(sf_open(path_.toUtf8().constData(), SFM_WRITE, &info));
        QVERIFY(file);
        std::vector<float> samples;
        for (int64_t frame = 0; frame < fileFrames; ++frame)
            samples.insert(samples.end(), {float(frame), -float(frame)});
        QCOMPARE(sf_writef_float(file.get(), samples.data(), fileFrames), fileFrames);
    }

    // Through a ring much smaller than the run: exactly the run's frames, in order, then done.
    void givesExactlyTheRunThroughASmallRing() {
        ReadAhead reader(openFile(), FrameRange{12'345, 43'210}, 5'000);
        const std::vector<float> taken = drain(reader);
        QVERIFY(!reader.failed());
        QCOMPARE(int64_t(taken.size()), 2 * (43'210 - 12'345));
        for (size_t i = 0; i < taken.size() / 2; ++i)
            if (taken[2 * i] != float(12'345 + i) || taken[2 * i + 1] != -float(12'345 + i))
                QFAIL(qPrintable(QStringLiteral("frame %1 holds %2").arg(i).arg(taken[2 * i])));
    }

    // A run past the end of the file (the file was cut short): what there is, then failed.
    void aFileShorterThanTheRunEndsEarlyAndSaysSo() {
        ReadAhead reader(openFile(), FrameRange{fileFrames - 100, fileFrames + 900}, 5'000);
        QCOMPARE(int64_t(drain(reader).size()), 2 * 100);
        QVERIFY(reader.failed());
    }

    // A reader waiting for room goes on once the player takes frames, and stops waiting once
    // the player goes away and abandons the ring (else it would wait for ever, holding the file
    // open).
    void aReaderWaitingForRoomIsWokenByTheConsumer_data() {
        QTest::addColumn<bool>("abandoned");
        QTest::newRow("frames taken") << false;
        QTest::newRow("ring abandoned") << true;
    }

    void aReaderWaitingForRoomIsWokenByTheConsumer() {
        QFETCH(bool, abandoned);
        FrameRing ring(2, 10);
        std::vector<float> frames(2 * 10);
        QVERIFY(ring.push(frames.data(), 10));
        std::atomic<int> answer = -1;
        std::thread reader([&] { answer = ring.waitForRoom(5) ? 1 : 0; });
        QTest::qWait(50);
        QCOMPARE(answer.load(), -1);
        if (abandoned)
            ring.abandon();
        else
            QCOMPARE(ring.pop(frames.data(), 5), qint64{5});
        reader.join();
        QCOMPARE(answer.load(), abandoned ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(ReadAheadTest)
#include "ReadAheadTest.moc"
