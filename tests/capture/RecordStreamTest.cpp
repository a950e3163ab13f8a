#include "RecordStream.h"

#include "PulseConnection.h"
#include "ServerFixtures.h"

#include <QTest>
#include <cmath>

namespace {

constexpr std::chrono::milliseconds fragment{20};

// The server's record streams, as its own tool lists them.
int recordStreamCount() {
    const QByteArray list = pactl({"list", "short", "source-outputs"}).value_or("");
    return list.isEmpty() ? 0 : int(list.split('\n').size());
}

} // namespace

class RecordStreamTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PulseConnection> connection_;
    std::unique_ptr<Module> sink_;
    std::unique_ptr<Player> player_;
    // Filled on the mainloop thread; read under the lock.
    StreamGathering gathering_;
    std::vector<float> delivered_;
    StreamGathering::Delivery deliver_ = [this](PcmBuffer&& buffer) {
        delivered_.insert(delivered_.end(), buffer.samples.begin(), buffer.samples.end());
    };

    // The stream, connected and feeding; null with the reason in `failure_` when it isn't.
    std::unique_ptr<RecordStream> open(const QString& source) {
        const auto format = RecordStream::floatFormat(48000, 2, fragment);
        PulseConnection::Lock lock(connection_->mainloop());
        gathering_.start(format->spec, format->fragmentFrames(),
                         static_cast<qint64>(pa_rtclock_now()));
        auto connected =
            RecordStream::connect(*connection_, source, {"Sonabrix test", *format, false});
        if (!connected) {
            failure_ = connected.failure();
            return nullptr;
        }
        std::unique_ptr<RecordStream> stream = std::move(connected).value();
        stream->feed(gathering_, deliver_);
        if (const std::optional<Failure> failure = stream->waitUntilReady()) {
            failure_ = *failure;
            stream.reset();
        }
        return stream;
    }
    Failure failure_;

    size_t deliveredSamples() {
        PulseConnection::Lock lock(connection_->mainloop());
        return delivered_.size();
    }

    void close(std::unique_ptr<RecordStream>& stream) {
        PulseConnection::Lock lock(connection_->mainloop());
        stream.reset();
    }

private slots:
    void init() {
        auto connected = PulseConnection::connect("Sonabrix test");
        QVERIFY2(connected, qPrintable(connected ? QString() : connected.failure().message()));
        connection_ = std::move(connected).value();
        sink_ = std::make_unique<Module>(
            QStringList{"module-null-sink", "sink_name=sonabrix_rs", "rate=48000", "channels=2"});
        QVERIFY(sink_->id);
        player_ = std::make_unique<Player>(tone(30, 440, 0.5f), "sonabrix_rs");
        delivered_.clear();
    }

    void cleanup() {
        player_.reset();
        sink_.reset();
        connection_.reset();
    }

    void theFormatIsFloatOfTheGivenShape() {
        const auto format = RecordStream::floatFormat(48000, 2, fragment);
        QVERIFY(format);
        QCOMPARE(format->spec.format, PA_SAMPLE_FLOAT32LE);
        QCOMPARE(format->fragmentFrames(), size_t(960));
        QCOMPARE(RecordStream::floatFormat(44100, 1, fragment)->fragmentFrames(), size_t(882));
        QVERIFY(!RecordStream::floatFormat(48000, 0, fragment));
        QVERIFY(!RecordStream::floatFormat(0, 2, fragment));
    }

    // What the source plays reaches the gathering, and a released stream is gone from the
    // server, not left recording.
    void feedsTheSourceAndLeavesNothingBehind() {
        const int before = recordStreamCount();
        auto stream = open("sonabrix_rs.monitor");
        QVERIFY2(stream, qPrintable(failure_.message()));
        QCOMPARE(recordStreamCount(), before + 1);
        {
            PulseConnection::Lock lock(connection_->mainloop());
            QCOMPARE(stream->deviceName(), QString("sonabrix_rs.monitor"));
            QVERIFY2(stream->formatText().contains("float32le 2ch 48000Hz"),
                     qPrintable(stream->formatText()));
        }
        QTRY_VERIFY_WITH_TIMEOUT(deliveredSamples() >= 2 * 48000, 5000);
        {
            PulseConnection::Lock lock(connection_->mainloop());
            float peak = 0;
            for (float sample : delivered_)
                peak = std::max(peak, std::fabs(sample));
            QVERIFY2(std::abs(peak - 0.5f) < 0.05f, qPrintable(QString::number(peak)));
        }
        close(stream);
        QTRY_COMPARE_WITH_TIMEOUT(recordStreamCount(), before, 5000);
    }

    // A stream that stops feeding leaves what comes next with the server.
    void stopFeedingReadsNoMore() {
        auto stream = open("sonabrix_rs.monitor");
        QVERIFY2(stream, qPrintable(failure_.message()));
        QTRY_VERIFY_WITH_TIMEOUT(deliveredSamples() > 0, 5000);
        size_t stopped = 0;
        {
            PulseConnection::Lock lock(connection_->mainloop());
            stream->stopFeeding();
            stopped = delivered_.size();
        }
        QTest::qWait(500);
        QCOMPARE(deliveredSamples(), stopped);
        close(stream);
    }

    // Never some other source in its place: that may be a microphone.
    void aSourceThatIsntThereIsAnError() {
        auto stream = open("sonabrix_nowhere");
        QVERIFY(!stream);
        QVERIFY(!failure_.reason.isEmpty());
        QCOMPARE(deliveredSamples(), size_t(0));
    }

    // The server ending the stream tells its owner, who may release it right there.
    void anEndedStreamTellsWhyAndMayBeReleasedThere() {
        auto stream = open("sonabrix_rs.monitor");
        QVERIFY2(stream, qPrintable(failure_.message()));
        QString reason;
        {
            PulseConnection::Lock lock(connection_->mainloop());
            stream->setHandlers({}, [&](const QString& why) {
                reason = why;
                stream.reset();
            });
        }
        // An unmovable stream goes with its source.
        player_.reset();
        sink_->unload();
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                PulseConnection::Lock lock(connection_->mainloop());
                return !stream;
            }(),
            5000);
        QVERIFY(!reason.isEmpty());
    }
};

QTEST_GUILESS_MAIN(RecordStreamTest)
#include "RecordStreamTest.moc"
