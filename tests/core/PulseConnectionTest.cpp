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

    // A question to the server is answered whole: the one reply, every item of a list, or an
    // empty answer for what isn't there; a request that can't be sent is no answer.
    void asksTheServerAndWaitsForItsWholeAnswer() {
        QString error;
        auto connection = PulseConnection::connect("sonabrix-tests", &error);
        QVERIFY2(connection, qPrintable(error));
        std::optional<QStringList> sources;
        std::optional<QString> defaultSink;
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
            defaultSink = connection->defaultSinkName(&error);
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
        QVERIFY2(defaultSink, qPrintable(error));
        QCOMPARE(*defaultSink, pactlLines({"get-default-sink"}).value(0));
        QCOMPARE(missing, std::optional<int>(0));
        QVERIFY(!unsent);
    }
};

QTEST_GUILESS_MAIN(PulseConnectionTest)
#include "PulseConnectionTest.moc"
