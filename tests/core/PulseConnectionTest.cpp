#include "PulseConnection.h"

#include <QRegularExpression>
#include <QTest>
#include <chrono>

using namespace std::chrono_literals;

Q_LOGGING_CATEGORY(lcCore, "sonabrix.tests")

class PulseConnectionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void connectsToTheRunningServerAndFindsItsOutput() {
        QString error;
        auto connection = PulseConnection::connect("sonabrix-tests", &error);
        QVERIFY2(connection, qPrintable(error));
        PulseConnection::Lock lock(connection->mainloop());
        QVERIFY(connection->isConnected());
        const auto sink = connection->defaultSinkName(&error);
        QVERIFY2(sink.has_value(), qPrintable(error));
        QVERIFY(!sink->isEmpty());
    }

    void anAbsentServerFailsQuicklyWithAReason() {
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/sonabrix/native");
        QString error;
        auto connection = PulseConnection::connect("sonabrix-tests", &error, 2000ms);
        qputenv("PULSE_SERVER", saved);
        QVERIFY(!connection);
        QVERIFY(!error.isEmpty());
    }

    // A live connection is kept (a player may stand on it); none or an absent server is told.
    void reconnectsOnlyWhenTheConnectionIsGone() {
        std::unique_ptr<PulseConnection> connection;
        QString error;
        QVERIFY2(PulseConnection::reconnectIfLost(connection, &error, lcCore()), qPrintable(error));
        QVERIFY(connection);
        QVERIFY(connection->serverDescription().contains(QRegularExpression("^\\S.* \\d")));
        const PulseConnection* first = connection.get();
        QVERIFY(PulseConnection::reconnectIfLost(connection, &error, lcCore()));
        QCOMPARE(connection.get(), first);

        connection.reset();
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/sonabrix/native");
        const bool reconnected =
            PulseConnection::reconnectIfLost(connection, &error, lcCore(), 2000ms);
        qputenv("PULSE_SERVER", saved);
        QVERIFY(!reconnected && !connection && !error.isEmpty());
    }

    void aWaitEndsAtItsTimeout() {
        QString error;
        auto connection = PulseConnection::connect("sonabrix-tests", &error);
        QVERIFY2(connection, qPrintable(error));
        PulseConnection::Lock lock(connection->mainloop());
        QVERIFY(!connection->waitUntil([] { return false; }, 50ms));
        QVERIFY(connection->waitUntil([] { return true; }, 50ms));
    }
};

QTEST_GUILESS_MAIN(PulseConnectionTest)
#include "PulseConnectionTest.moc"
