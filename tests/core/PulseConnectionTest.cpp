#include "PulseConnection.h"

#include <QTest>
#include <chrono>

using namespace std::chrono_literals;

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
