#include "RecordingSession.h"

#include "CaptureTestUtil.h"

#include <QCoreApplication>
#include <QThread>
#include <thread>

using Notice = RecordingSession::Notice;
using Kind = Notice::Kind;

namespace {

// What reached the main thread, and on which thread.
struct Heard {
    std::vector<Notice> notices;
    bool allOnMainThread = true;

    RecordingSession::NoticeHandler handler() {
        return [this](const Notice& notice) {
            notices.push_back(notice);
            allOnMainThread = allOnMainThread && QThread::currentThread() == qApp->thread();
        };
    }
};

} // namespace

class RecordingSessionTest : public QObject {
    Q_OBJECT

    QTemporaryDir dataHome_;

private Q_SLOTS:
    void initTestCase() { useDataHome(dataHome_.path()); }

    // What the stream tells from its own thread arrives on the main thread, in order; what is
    // still on its way when the session ends, or comes later, is dropped.
    void noticesReachTheMainThreadUntilTheSessionEnds() {
        QObject context;
        Heard heard;
        auto session = std::make_shared<RecordingSession>(&context, heard.handler());
        const CaptureService::Handlers handlers = session->handlers();
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
        session->end();
        handlers.stopped(QStringLiteral("Later"));
        QTest::qWait(50);
        QCOMPARE(heard.notices.size(), std::size_t(2));
    }

    // A session that is gone, or whose receiver is gone, tells nothing, and nothing breaks.
    void noticesOfAGoneSessionOrReceiverAreDropped() {
        Heard heard;
        auto context = std::make_unique<QObject>();
        auto session = std::make_shared<RecordingSession>(context.get(), heard.handler());
        session->post({Kind::streamStopped, QStringLiteral("Killed")});
        session.reset();
        QTest::qWait(50);
        QVERIFY(heard.notices.empty());

        session = std::make_shared<RecordingSession>(context.get(), heard.handler());
        session->post({Kind::streamStopped, QStringLiteral("Killed")});
        context.reset();
        session->post({Kind::streamStopped, QStringLiteral("Killed again")});
        QTest::qWait(50);
        QVERIFY(heard.notices.empty());
    }

    // A buffer that can't be written is told once, however many follow it.
    void aFailedWriteIsToldOnce() {
        QObject context;
        Heard heard;
        auto session = std::make_shared<RecordingSession>(&context, heard.handler());
        const CaptureService::Handlers handlers = session->handlers();
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
};

QTEST_GUILESS_MAIN(RecordingSessionTest)
#include "RecordingSessionTest.moc"
