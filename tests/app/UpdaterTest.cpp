#include "Updater.h"

#include "TestSupport.h"
#include "UpdaterController.h"
#include "VersionComparator.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {

using Outcome = Updater::CheckResult::Outcome;

// Serves one canned HTTP answer on 127.0.0.1; with none set it accepts and stays silent. A
// trickling server sends its headers, then a byte every 50 ms for ever.
struct FeedServer : QTcpServer {
    QByteArray answer;
    bool trickle = false;

    FeedServer() {
        QVERIFY(listen(QHostAddress::LocalHost));
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains("GET /appcast.xml ")) {
                    return;
                }
                if (trickle) {
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n<");
                    auto* drip = new QTimer(socket);
                    connect(drip, &QTimer::timeout, socket, [socket] { socket->write(" "); });
                    drip->start(50);
                } else if (!answer.isEmpty()) {
                    socket->write(answer);
                    socket->disconnectFromHost();
                }
            });
        });
    }
    QUrl url() const { return QUrl(QString("http://127.0.0.1:%1/appcast.xml").arg(serverPort())); }
    void serve(int status, const QByteArray& body) {
        answer = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found") +
                 "\r\nContent-Length: " + QByteArray::number(body.size()) +
                 "\r\nConnection: close\r\n\r\n" + body;
    }
};

QByteArray feed(const QByteArray& items) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:sparkle=\"http://"
           "www.andymatuschak.org/xml-namespaces/sparkle\"><channel><title>Sonabrix</title>" +
           items + "</channel></rss>";
}

// An item with its versions as elements, and release notes.
QByteArray item(const QByteArray& v) {
    return "<item><sparkle:version>" + v + "</sparkle:version><sparkle:shortVersionString>" + v +
           " (short)</sparkle:shortVersionString><sparkle:releaseNotesLink>https://sonabrix.app/"
           "notes</sparkle:releaseNotesLink><enclosure url=\"https://sonabrix.app/download/" +
           v + "\"/></item>";
}

} // namespace

// The update check against feeds served by the test itself on 127.0.0.1.
class UpdaterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<Updater::CheckResult>(); }

    void versionsCompareByRunsOfDigitsAndLetters() {
        const QStringList ascending =
            QString("1.0a9 1.0b1 1.0b2 1.0b3 1.0 1.0.1 1.9 1.10 1.99999999999999999999 "
                    "1.100000000000000000000 2.0b2 2.0b10")
                .split(' ');
        for (qsizetype i = 0; i < ascending.size(); ++i) {
            for (qsizetype j = 0; j < ascending.size(); ++j) {
                const int order = VersionComparator::compare(ascending[i], ascending[j]);
                QVERIFY2((order > 0) - (order < 0) == (i > j) - (i < j),
                         qPrintable(ascending[i] + " vs " + ascending[j]));
            }
        }
        for (const auto& [a, b] : {std::pair{"1.0", "1.0.0"}, {"1.2", "1-2"}, {"01.2", "1.2"}}) {
            QCOMPARE(VersionComparator::compare(a, b), 0);
        }
        // A sign or separator first is no version at all, never the one after it.
        for (const char* malformed : {"-2.0", ".9", " 3"}) {
            QVERIFY2(VersionComparator::compare(malformed, "1.0") < 0, malformed);
            QVERIFY2(VersionComparator::compare("0.0a1", malformed) > 0, malformed);
        }
    }

    void checkAgainstServedFeed_data() {
        QTest::addColumn<int>("status"); // 0: never answers; -1: nobody listens
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("detail"); // the newest version, or part of the reason
        QTest::newRow("newer, by version not order")
            << 200 << feed(item("0.0.3") + item("0.10.0") + item("0.9.1"))
            << Outcome::updateAvailable << "0.10.0";
        QTest::newRow("same, as enclosure attributes")
            << 200
            << feed("<item><enclosure url=\"https://s.app/d\" sparkle:version=\"0.1.0\"/></item>")
            << Outcome::upToDate << "0.1.0";
        QTest::newRow("older") << 200 << feed(item("0.0.9") + item("0.1.0b3")) << Outcome::upToDate
                               << "0.1.0b3";
        QTest::newRow("unsafe or versionless items skipped")
            << 200
            << feed(
                   "<item><enclosure url=\"https://x/a\"/></item><item><sparkle:version>9</sparkle:"
                   "version><enclosure url=\"file:///etc/passwd\"/></item><item><sparkle:version>3"
                   "</sparkle:version><link>https://x/p</link></item>")
            << Outcome::updateAvailable << "3";
        QTest::newRow("a later bad enclosure keeps the good one")
            << 200
            << feed("<item><sparkle:version>5</sparkle:version><enclosure url=\"https://x/5\"/>"
                    "<enclosure url=\"file:///etc/passwd\"/></item>")
            << Outcome::updateAvailable << "5";
        QTest::newRow("a negative version is no newer one")
            << 200 << feed(item("-2.0")) << Outcome::upToDate << "-2.0";
        QTest::newRow("malformed") << 200 << QByteArray("<rss><channel><item>") << Outcome::failed
                                   << "The update feed isn't valid XML: Premature end of document.";
        QTest::newRow("not modified")
            << 304 << QByteArray() << Outcome::failed
            << "The update server answered with status 304 instead of the feed.";
        QTest::newRow("no items") << 200 << feed({}) << Outcome::failed << "lists no versions";
        QTest::newRow("404") << 404 << QByteArray("gone") << Outcome::failed
                             << "The update server answered with error 404 (Not Found).";
        QTest::newRow("no server") << -1 << QByteArray() << Outcome::failed
                                   << "Sonabrix couldn't reach the update server. Check that "
                                      "the computer is online, then try again. The reason given: "
                                      "Connection refused.";
        QTest::newRow("silent server")
            << 0 << QByteArray() << Outcome::failed << "The update server didn't answer in time.";
    }

    void checkAgainstServedFeed() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(Outcome, outcome);
        QFETCH(QString, detail);
        FeedServer server;
        Updater updater(server.url(), "0.1.0");
        if (status < 0) {
            server.close();
        } else if (status > 0) {
            server.serve(status, body);
        }
        updater.setTransferTimeoutMs(300);
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.check();
        QVERIFY(finished.wait(5000));
        const auto result = finished.first().first().value<Updater::CheckResult>();
        QCOMPARE(result.outcome, outcome);
        QVERIFY2(outcome == Outcome::failed
                     ? !result.failureReason.isEmpty() && result.failureReason.contains(detail) &&
                           !result.failureReason.endsWith("..") &&
                           !result.failureReason.endsWith(": ")
                     : result.newestItem->version == detail,
                 qPrintable(result.failureReason));
    }

    // A body that claims to be compressed and isn't: Qt's reason arrives unfinished.
    void aBrokenCompressedFeedIsNamedInFull() {
        FeedServer server;
        const QByteArray body = "not compressed at all";
        server.answer = "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                        QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        Updater updater(server.url(), "0.1.0");
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.check();
        QVERIFY(finished.wait(5000));
        const auto result = finished.first().first().value<Updater::CheckResult>();
        QCOMPARE(result.outcome, Outcome::failed);
        QCOMPARE(result.failureReason, QString("Decompression failed"));
    }

    void userCheckOffersTheNewVersionForDownload() {
        FeedServer server;
        server.serve(200, feed(item("0.2.0")));
        Updater updater(server.url(), "0.1.0");
        QList<QUrl> opened;
        updater.setUrlOpener([&](const QUrl& url) { opened.append(url); });
        updater.checkForUpdates();
        QTRY_VERIFY(openAlert("Sonabrix 0.2.0 (short) is available"));
        QMessageBox* box = openAlert();
        QVERIFY(box->informativeText().contains("0.1.0"));
        QVERIFY(visibleButton(box, "Release Notes"));
        click(box, "Download");
        QCOMPARE(opened, QList<QUrl>{QUrl("https://sonabrix.app/download/0.2.0")});
        QTRY_VERIFY(!openAlert());
    }

    // A feed past the cap is refused, whether its length is told up front or not.
    void aFeedTooLargeIsRefused_data() {
        QTest::addColumn<bool>("lengthTold");
        QTest::newRow("length told") << true;
        QTest::newRow("length untold") << false;
    }
    void aFeedTooLargeIsRefused() {
        QFETCH(bool, lengthTold);
        const QByteArray body = feed(item("0.2.0") + "<!--" +
                                     QByteArray(Updater::maximumFeedBytes + 1000, 'x') + "-->");
        FeedServer server;
        server.serve(200, body);
        if (!lengthTold) {
            server.answer = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body;
        }
        Updater updater(server.url(), "0.1.0");
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.check();
        QVERIFY(finished.wait(10000));
        const auto result = finished.first().first().value<Updater::CheckResult>();
        QCOMPARE(result.outcome, Outcome::failed);
        QCOMPARE(result.failureReason, QString("The update feed is too large."));
    }

    // A server that trickles its answer never lets the transfer timeout run out; the check's own
    // deadline ends it.
    void aTricklingServerMeetsTheDeadline() {
        FeedServer server;
        server.trickle = true;
        Updater updater(server.url(), "0.1.0");
        updater.setTransferTimeoutMs(1000);
        updater.setDeadlineMs(800);
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.check();
        QVERIFY(finished.wait(15000));
        QVERIFY(!updater.isChecking());
        const auto result = finished.first().first().value<Updater::CheckResult>();
        QCOMPARE(result.outcome, Outcome::failed);
        QCOMPARE(result.failureReason, QString("The update server didn't answer in time."));
    }

    // A running check can be ended at once; nobody is answered with a dialog then.
    void aCheckCanBeCancelled() {
        FeedServer server; // silent
        Updater updater(server.url(), "0.1.0");
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.checkForUpdates();
        QVERIFY(updater.isChecking());
        QTest::qWait(100);
        updater.cancel();
        QVERIFY(!updater.isChecking());
        QTRY_COMPARE(finished.size(), 1);
        const auto result = finished.first().first().value<Updater::CheckResult>();
        QCOMPARE(result.outcome, Outcome::failed);
        QCOMPARE(result.failureReason, QString("The update check was cancelled."));
        QTest::qWait(200);
        QVERIFY(!openAlert());
        updater.cancel(); // nothing left to cancel
        QCOMPARE(finished.size(), 1);
    }

    // Every text of the dialog that the server chose is shown as written, never as rich text
    // with live links, and shortened.
    void theServersWordsAreShownPlainAndShort() {
        const QByteArray link = "<a href=\"https://attacker.example/\">click</a>";
        const auto verifyPlain = [](QMessageBox* box) {
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (label->text().contains("href")) {
                    QVERIFY2(label->textFormat() == Qt::PlainText && !label->openExternalLinks(),
                             qPrintable(label->objectName()));
                }
            }
        };
        FeedServer server;
        server.serve(200,
                     feed("<item><sparkle:version>0.2.0</sparkle:version>"
                          "<sparkle:shortVersionString>" +
                          QString::fromUtf8(link).toHtmlEscaped().toUtf8() + QByteArray(5000, 'v') +
                          "</sparkle:shortVersionString><enclosure url=\"https://s.app/d\"/>"
                          "</item>"));
        Updater updater(server.url(), "0.1.0");
        QList<QUrl> opened;
        updater.setUrlOpener([&](const QUrl& url) { opened.append(url); });
        updater.checkForUpdates();
        QTRY_VERIFY(openAlert());
        QMessageBox* box = openAlert();
        QVERIFY(box->text().contains(link.left(36))); // <a href="https://attacker.example/">
        QVERIFY2(box->text().size() <= 80, qPrintable(box->text()));
        verifyPlain(box);
        closeAlerts();

        // The reason phrase of an error answer goes into the informative text.
        server.answer = "HTTP/1.1 404 " + link + QByteArray(5000, 'r') +
                        "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        updater.checkForUpdates();
        QTRY_VERIFY(openAlert("Couldn't check for updates"));
        box = openAlert();
        QVERIFY2(box->informativeText().contains(link), qPrintable(box->informativeText()));
        QVERIFY(box->informativeText().size() <= Updater::maximumShownReasonLength);
        verifyPlain(box);
        closeAlerts();
        QVERIFY(opened.isEmpty());
    }

    void sharedControllerIsOneUpdaterOnTheMainThread() {
        // First reached from two pool threads at once.
        auto first = QtConcurrent::run([] { return &UpdaterController::shared(); });
        auto second = QtConcurrent::run([] { return &UpdaterController::shared(); });
        QCOMPARE(first.result(), second.result());
        Updater& updater = UpdaterController::shared().controller();
        QVERIFY(!updater.isChecking()); // it never checks unasked
        QCOMPARE(updater.thread(), QCoreApplication::instance()->thread());
    }
};

QTEST_MAIN(UpdaterTest)
#include "UpdaterTest.moc"
