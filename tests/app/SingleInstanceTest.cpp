#include "SingleInstance.h"

#include <QtConcurrent>
#include <QtNetwork>
#include <QtTest>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

int openDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

// A later launch in another thread, as the instance must keep answering on this one.
SingleInstance::HandOver handOverFrom(const QString& path, const QStringList& arguments) {
    QFuture<SingleInstance::HandOver> later = QtConcurrent::run([path, arguments] {
        SingleInstance instance(path);
        return instance.handOver(arguments);
    });
    QDeadlineTimer deadline(4 * SingleInstance::answerTimeoutMs);
    while (!later.isFinished() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return later.isFinished() ? later.result() : SingleInstance::HandOver::unanswered;
}

} // namespace

// The running instance's socket: later launches reach it whatever other clients do to it.
class SingleInstanceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString socketPath() const { return dir_->filePath(QStringLiteral("app.socket")); }

private slots:
    void init() { QVERIFY((dir_ = std::make_unique<QTemporaryDir>())->isValid()); }

    // An accept that fails for want of descriptors doesn't end the listening: once there are
    // descriptors again, the next launch hands over.
    void keepsListeningAfterAnAcceptFails() {
#ifdef SONABRIX_SANITIZERS
        // UBSan reads memory through a pipe of its own to check a type: with every descriptor
        // taken it reports the logging stream as an object of no type.
        if (QByteArray(SONABRIX_SANITIZERS).contains("undefined"))
            QSKIP("UBSan needs free descriptors of its own, which this test takes");
#endif
        SingleInstance first(socketPath());
        QCOMPARE(first.handOver({"sonabrix"}), SingleInstance::HandOver::noInstance);
        QVERIFY(first.listen());
        QSignalSpy received(&first, &SingleInstance::argumentsReceived);
        // Connections wait in the queue while the process runs out of descriptors.
        std::vector<std::unique_ptr<QLocalSocket>> waiting;
        for (int i = 0; i < 3; ++i) {
            waiting.push_back(std::make_unique<QLocalSocket>());
            waiting.back()->connectToServer(socketPath());
            QVERIFY(waiting.back()->waitForConnected(1000));
        }
        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
        std::vector<int> fillers;
        {
            rlimit low = saved;
            int highest = 0;
            for (const QString& name :
                 QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System))
                highest = std::max(highest, name.toInt());
            low.rlim_cur = rlim_t(highest) + 1;
            QVERIFY(::setrlimit(RLIMIT_NOFILE, &low) == 0);
            // Every descriptor below the limit taken.
            for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
                fillers.push_back(fd);
        }
        const auto restore = qScopeGuard([&] {
            for (int fd : fillers)
                ::close(fd);
            ::setrlimit(RLIMIT_NOFILE, &saved);
        });
        QTest::qWait(300); // the instance tries to take the waiting connections, and can't
        for (int fd : std::exchange(fillers, {}))
            ::close(fd);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &saved) == 0);
        waiting.clear();

        QCOMPARE(handOverFrom(socketPath(), {"sonabrix", "--record"}),
                 SingleInstance::HandOver::done);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.first().first().toStringList(), (QStringList{"sonabrix", "--record"}));
    }

    // Clients that connect and say nothing hold no more than a few descriptors, and not for
    // long; a launch that comes afterwards hands over.
    void capsConnectionsAndDropsIdleOnes() {
        SingleInstance first(socketPath());
        QCOMPARE(first.handOver({"sonabrix"}), SingleInstance::HandOver::noInstance);
        QVERIFY(first.listen());
        QSignalSpy received(&first, &SingleInstance::argumentsReceived);
        const int before = openDescriptors();
        constexpr int silent = 40;
        std::vector<std::unique_ptr<QLocalSocket>> clients;
        for (int i = 0; i < silent; ++i) {
            clients.push_back(std::make_unique<QLocalSocket>());
            clients.back()->connectToServer(socketPath());
            QVERIFY(clients.back()->waitForConnected(1000));
        }
        QTest::qWait(300);
        // The clients' own descriptors, and the instance's side of a few of them.
        const int held = openDescriptors() - before - silent;
        QVERIFY2(held <= 8 + 2, qPrintable(QString("%1 descriptors held").arg(held)));
        // Silent ones are dropped in time.
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(clients.begin(), clients.end(),
                                             [](const auto& client) {
                                                 return client->state() ==
                                                        QLocalSocket::UnconnectedState;
                                             }),
                                 3 * SingleInstance::answerTimeoutMs);
        clients.clear();
        QCOMPARE(handOverFrom(socketPath(), {"sonabrix"}), SingleInstance::HandOver::done);
        QCOMPARE(received.size(), 1);
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
