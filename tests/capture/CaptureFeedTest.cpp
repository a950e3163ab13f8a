#include "CaptureFeed.h"

#include "CaptureTestUtil.h"
#include "RecordingSession.h"
#include "ReplayStore.h"

#include <QCoreApplication>
#include <QThread>
#include <thread>

using Notice = CaptureFeed::Notice;
using Kind = Notice::Kind;

namespace {

// What reached the main thread, and on which thread.
struct Heard {
    std::vector<Notice> notices;
    bool allOnMainThread = true;

    CaptureFeed::NoticeHandler handler() {
        return [this](const Notice& notice) {
            notices.push_back(notice);
            allOnMainThread = allOnMainThread && QThread::currentThread() == qApp->thread();
        };
    }
};

} // namespace

class CaptureFeedTest : public QObject {
    Q_OBJECT

    QTemporaryDir dataHome_;

private Q_SLOTS:
    void initTestCase() { useDataHome(dataHome_.path()); }

    // What the stream tells from its own thread arrives on the main thread, in order; what is
    // still on its way when the feed ends, or comes later, is dropped.
    void noticesReachTheMainThreadUntilTheFeedEnds() {
        QObject context;
        Heard heard;
        auto feed = std::make_shared<CaptureFeed>(&context, heard.handler());
        const CaptureService::Handlers handlers = feed->handlers();
        std::thread([&handlers] {
            handlers.outputChanged({"hdmi", "hdmi.monitor", "HDMI"});
            handlers.stopped(QStringLiteral("Killed"));
        }).join();
        QVERIFY(heard.notices.empty()); // queued, not called on the stream's thread
        QTRY_COMPARE(heard.notices.size(), std::size_t(2));
        QVERIFY(heard.allOnMainThread);
        QVERIFY(heard.notices[0].kind == Kind::outputChanged && heard.notices[0].text == "HDMI");
        QVERIFY(heard.notices[1].kind == Kind::streamStopped && heard.notices[1].text == "Killed");

        std::thread([&handlers] { handlers.stopped(QStringLiteral("Late")); }).join();
        feed->end();
        handlers.stopped(QStringLiteral("Later"));
        QTest::qWait(50);
        QCOMPARE(heard.notices.size(), std::size_t(2));
    }

    // A feed that is gone, or whose receiver is gone, tells nothing, and nothing breaks.
    void noticesOfAGoneFeedOrReceiverAreDropped() {
        Heard heard;
        auto context = std::make_unique<QObject>();
        auto feed = std::make_shared<CaptureFeed>(context.get(), heard.handler());
        feed->post({Kind::streamStopped, QStringLiteral("Killed")});
        feed.reset();
        QTest::qWait(50);
        QVERIFY(heard.notices.empty());

        feed = std::make_shared<CaptureFeed>(context.get(), heard.handler());
        feed->post({Kind::streamStopped, QStringLiteral("Killed")});
        context.reset();
        feed->post({Kind::streamStopped, QStringLiteral("Killed again")});
        QTest::qWait(50);
        QVERIFY(heard.notices.empty());
    }

    // A buffer that can't be written is told once, however many follow it.
    void aFailedWriteIsToldOnce() {
        QObject context;
        Heard heard;
        auto feed = std::make_shared<CaptureFeed>(&context, heard.handler());
        auto session =
            std::make_shared<RecordingSession>([feed] { feed->post({Kind::writeFailed}); });
        feed->setRecording(session);
        const CaptureService::Handlers handlers = feed->handlers();
        handlers.samples({48000, 2, std::vector<float>(960, 0.5f)});
        QVERIFY(!session->writeFailed());
        for (int i = 0; i < 3; ++i)
            handlers.samples({44100, 2, std::vector<float>(882, 0.5f)});
        QVERIFY(session->writeFailed());
        QTRY_COMPARE(heard.notices.size(), std::size_t(1));
        QTest::qWait(50);
        QCOMPARE(heard.notices.size(), std::size_t(1));
        QVERIFY(heard.notices[0].kind == Kind::writeFailed);
        const QFuture<RecordingWriter::Outcome> ending = session->finish();
        QVERIFY(QTest::qWaitFor([&ending] { return ending.isFinished(); }, 10000));
        QCOMPARE(ending.result().framesWritten, 480);
        QVERIFY(ending.result().lossReason.has_value());
    }

    // One capture, two listeners: each hears the mix from the moment it is set, a recording
    // taken away hears nothing more, and the replay goes on hearing all of it; with the
    // microphone, both hear the same mix.
    void eachListenerHearsFromItsStartToItsEnd() {
        for (const bool withMicrophone : {false, true}) {
            QObject context;
            Heard heard;
            auto feed = std::make_shared<CaptureFeed>(
                &context, heard.handler(), withMicrophone ? std::optional(1) : std::nullopt);
            auto replay = std::make_shared<ReplayStore>(std::chrono::seconds(60), 48000, 2);
            feed->setReplay(replay);
            const CaptureService::Handlers handlers = feed->handlers();
            // Ten tenths of a second, each its own level; the microphone silent beside them.
            const auto tenth = [&handlers, withMicrophone](int index) {
                const qint64 at = 1'000'000 + index * 100'000;
                handlers.samples({48000, 2, std::vector<float>(9600, 0.05f * (index + 1)), at});
                if (withMicrophone)
                    handlers.microphoneSamples({48000, 1, std::vector<float>(4800, 0.0f), at});
            };
            for (int i = 0; i < 3; ++i)
                tenth(i);
            auto session = std::make_shared<RecordingSession>();
            feed->setRecording(session);
            for (int i = 3; i < 7; ++i)
                tenth(i);
            feed->setRecording(nullptr);
            for (int i = 7; i < 10; ++i)
                tenth(i);
            feed->finish();

            const QFuture<RecordingWriter::Outcome> ending = session->finish();
            QVERIFY(QTest::qWaitFor([&ending] { return ending.isFinished(); }, 10000));
            const RecordingWriter::Outcome file = ending.result();
            QVERIFY(file.filePath);
            // The mixer may hold a few milliseconds back; what the recording heard is the
            // stretch it listened to, give or take that.
            const std::vector<float> recorded = SoundFile(*file.filePath).samples;
            QVERIFY(!recorded.empty());
            QVERIFY2(std::abs(file.framesWritten - 4 * 4800) <= 960,
                     qPrintable(QString::number(file.framesWritten)));
            const float loudest = *std::max_element(recorded.begin(), recorded.end());
            const float quietest = *std::min_element(recorded.begin(), recorded.end());
            QVERIFY2(quietest >= 0.15f - 1e-4f && loudest <= 0.35f + 1e-4f,
                     qPrintable(QStringLiteral("%1…%2").arg(quietest).arg(loudest)));

            QCOMPARE(replay->endFrame() - replay->firstKeptFrame(), qint64(10 * 4800));
        }
    }
};

QTEST_GUILESS_MAIN(CaptureFeedTest)
#include "CaptureFeedTest.moc"
