#include "PulseConnection.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <chrono>

using namespace std::chrono_literals;

namespace {

// The private server's own answer, through its own tool.
QStringList pactlLines(const QStringList& arguments) {
    QProcess process;
    process.start("pactl", arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

Q_LOGGING_CATEGORY(lcCore, "sonabrix.tests")

class PulseConnectionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void connectsToTheRunningServerAndFindsItsOutput() {
        auto connected = PulseConnection::connect("sonabrix-tests");
        QVERIFY2(connected, qPrintable(connected ? QString() : connected.failure().message()));
        PulseConnection& connection = **connected;
        PulseConnection::Lock lock(connection.mainloop());
        QVERIFY(connection.isConnected());
        const Result<QString> sink = connection.defaultSinkName();
        QVERIFY2(sink, qPrintable(sink ? QString() : sink.failure().message()));
        QVERIFY(!sink->isEmpty());
    }

    void anAbsentServerFailsQuicklyWithAReason() {
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/sonabrix/native");
        auto connection = PulseConnection::connect("sonabrix-tests", 2000ms);
        qputenv("PULSE_SERVER", saved);
        QVERIFY(!connection);
        // The server isn't there: libpulse's own reason, not a refusal.
        QVERIFY(!connection.failure().reason.isEmpty());
        QVERIFY(!connection.failure().accessRefused);
    }

    // A live connection is kept (a player may stand on it); none or an absent server is told.
    void reconnectsOnlyWhenTheConnectionIsGone() {
        std::unique_ptr<PulseConnection> connection;
        std::optional<PulseConnection::ConnectFailure> failure =
            PulseConnection::reconnectIfLost(connection, lcCore());
        QVERIFY2(!failure, qPrintable(failure ? failure->message() : QString()));
        QVERIFY(connection);
        QVERIFY(connection->serverDescription().contains(QRegularExpression("^\\S.* \\d")));
        const PulseConnection* first = connection.get();
        QVERIFY(!PulseConnection::reconnectIfLost(connection, lcCore()));
        QCOMPARE(connection.get(), first);

        connection.reset();
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/sonabrix/native");
        failure = PulseConnection::reconnectIfLost(connection, lcCore(), 2000ms);
        qputenv("PULSE_SERVER", saved);
        QVERIFY(failure && !connection && !failure->reason.isEmpty());
    }

    void aWaitEndsAtItsTimeout() {
        auto connected = PulseConnection::connect("sonabrix-tests");
        QVERIFY2(connected, qPrintable(connected ? QString() : connected.failure().message()));
        std::unique_ptr<PulseConnection> connection = std::move(connected).value();
        PulseConnection::Lock lock(connection->mainloop());
        QVERIFY(!connection->waitUntil([] { return false; }, 50ms));
        QVERIFY(connection->waitUntil([] { return true; }, 50ms));
    }

    // A question to the server is answered whole: the one reply, every item of a list, or an
    // empty answer for what isn't there; a request that can't be sent is no answer.
    void asksTheServerAndWaitsForItsWholeAnswer() {
        auto connected = PulseConnection::connect("sonabrix-tests");
        QVERIFY2(connected, qPrintable(connected ? QString() : connected.failure().message()));
        std::unique_ptr<PulseConnection> connection = std::move(connected).value();
        std::optional<QStringList> sources;
        std::optional<QString> defaultSink;
        QString sinkFailure;
        std::optional<int> missing;
        bool unsent = true;
        {
            PulseConnection::Lock lock(connection->mainloop());
            sources = connection->askList<QStringList, pa_source_info>(
                [&](pa_source_info_cb_t callback, void* userdata) {
                    return pa_context_get_source_info_list(connection->context(), callback,
                                                           userdata);
                },
                [](QStringList& names, const pa_source_info& info) {
                    names << pulseString(info.name);
                });
            const Result<QString> sink = connection->defaultSinkName();
            if (sink)
                defaultSink = *sink;
            else
                sinkFailure = sink.failure().message();
            // Told at once, not found out by the timeout.
            QElapsedTimer answering;
            answering.start();
            missing = connection->askList<int, pa_source_info>(
                [&](pa_source_info_cb_t callback, void* userdata) {
                    return pa_context_get_source_info_by_name(
                        connection->context(), "sonabrix_nowhere", callback, userdata);
                },
                [](int& count, const pa_source_info&) { ++count; });
            QVERIFY(answering.elapsed() < PulseConnection::defaultTimeout.count() / 2);
            unsent =
                connection
                    ->ask<int, pa_server_info>([](pa_server_info_cb_t, void*) { return nullptr; },
                                               [](int&, const pa_server_info&) {})
                    .has_value();
        }
        // The output's monitor at least, and every other input.
        QStringList expected;
        for (const QString& line : pactlLines({"list", "short", "sources"}))
            expected << line.section('\t', 1, 1);
        QVERIFY(!expected.isEmpty());
        QVERIFY(sources);
        sources->sort();
        expected.sort();
        QCOMPARE(*sources, expected);
        QVERIFY2(defaultSink, qPrintable(sinkFailure));
        QCOMPARE(*defaultSink, pactlLines({"get-default-sink"}).value(0));
        QCOMPARE(missing, std::optional<int>(0));
        QVERIFY(!unsent);
    }
};

QTEST_GUILESS_MAIN(PulseConnectionTest)
#include "PulseConnectionTest.moc"
