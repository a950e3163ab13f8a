#include "Updater.h"

#include "Appcast.h"
#include "UpdaterController.h"
#include "VersionComparator.h"
#include "WidgetFinder.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtConcurrent>
#include <QtTest>

namespace {

// Serves one canned HTTP answer to every request, on the loopback interface only. With no
// answer set it accepts and stays silent, like a server that hangs.
class FeedServer : public QObject {
public:
    FeedServer() {
        QVERIFY(server_.listen(QHostAddress::LocalHost));
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    request_ += socket->readAll();
                    if (!request_.contains("\r\n\r\n") || answer_.isEmpty()) {
                        return;
                    }
                    socket->write(answer_);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    void answer(int status, const QByteArray& reason, const QByteArray& body) {
        answer_ = "HTTP/1.1 " + QByteArray::number(status) + " " + reason +
                  "\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }

    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(server_.serverPort()));
    }
    QByteArray request() const { return request_; }

private:
    QTcpServer server_;
    QByteArray answer_;
    QByteArray request_;
};

QByteArray feedWithElements(const QList<QByteArray>& versions) {
    QByteArray items;
    for (const QByteArray& version : versions) {
        items += "<item><title>Sonabrix " + version +
                 "</title>"
                 "<sparkle:version>" +
                 version +
                 "</sparkle:version>"
                 "<sparkle:shortVersionString>" +
                 version +
                 " (short)</sparkle:shortVersionString>"
                 "<sparkle:releaseNotesLink>https://sonabrix.app/notes/" +
                 version +
                 "</sparkle:releaseNotesLink>"
                 "<enclosure url=\"https://sonabrix.app/download/" +
                 version + ".tar.gz\" length=\"1\" type=\"application/octet-stream\"/></item>";
    }
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" "
           "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>"
           "<title>Sonabrix</title>" +
           items + "</channel></rss>";
}

QByteArray feedWithEnclosureAttributes(const QByteArray& version) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" "
           "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><item>"
           "<enclosure url=\"https://sonabrix.app/dl.tar.gz\" sparkle:version=\"" +
           version + "\" sparkle:shortVersionString=\"" + version +
           "\" length=\"1\"/></item>"
           "</channel></rss>";
}

} // namespace

// The update check against feeds served by the test itself on 127.0.0.1.
class UpdaterTest : public QObject {
    Q_OBJECT

private:
    Updater::CheckResult checkAgainst(const QUrl& feed, const QString& currentVersion,
                                      int timeoutMs = 5000) {
        Updater updater(feed, currentVersion);
        updater.setTransferTimeoutMs(timeoutMs);
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.check();
        [&] { QVERIFY(finished.wait(timeoutMs + 5000)); }();
        return finished.isEmpty() ? Updater::CheckResult{}
                                  : finished.first().first().value<Updater::CheckResult>();
    }

    static void closeAlert(QMessageBox* box) {
        if (box) {
            box->reject();
        }
    }

private slots:
    void initTestCase() { qRegisterMetaType<Updater::CheckResult>(); }

    void versionsCompareByRunsOfDigitsAndLetters_data() {
        QTest::addColumn<QString>("older");
        QTest::addColumn<QString>("newer");
        QTest::newRow("minor") << "0.1.0"
                               << "0.2.0";
        QTest::newRow("numbers by value") << "1.9"
                                          << "1.10";
        QTest::newRow("long numbers") << "1.99999999999999999999"
                                      << "1.100000000000000000000";
        QTest::newRow("patch release") << "1.0"
                                       << "1.0.1";
        QTest::newRow("beta before release") << "1.0b2"
                                             << "1.0";
        QTest::newRow("alpha before beta") << "1.0a9"
                                           << "1.0b1";
        QTest::newRow("betas by number") << "2.0b2"
                                         << "2.0b10";
        QTest::newRow("build after beta") << "1.0b3"
                                          << "1.0.1";
    }

    void versionsCompareByRunsOfDigitsAndLetters() {
        QFETCH(QString, older);
        QFETCH(QString, newer);
        QVERIFY(VersionComparator::compare(older, newer) < 0);
        QVERIFY(VersionComparator::compare(newer, older) > 0);
        QCOMPARE(VersionComparator::compare(newer, newer), 0);
    }

    void trailingZerosAndSeparatorsDontMatter() {
        QCOMPARE(VersionComparator::compare(QStringLiteral("1.0"), QStringLiteral("1.0.0")), 0);
        QCOMPARE(VersionComparator::compare(QStringLiteral("1.2"), QStringLiteral("1-2")), 0);
        QCOMPARE(VersionComparator::compare(QStringLiteral("01.2"), QStringLiteral("1.2")), 0);
    }

    void feedItemsAsElementsOrEnclosureAttributes() {
        QString error;
        const auto items = Appcast::parse(feedWithElements({"0.3.0", "0.10.0", "0.9.1"}), &error);
        QVERIFY2(items, qPrintable(error));
        QCOMPARE(items->size(), size_t(3));
        const auto newest = Appcast::newestItem(*items);
        QCOMPARE(newest->version, QStringLiteral("0.10.0"));
        QCOMPARE(newest->shortVersionString, QStringLiteral("0.10.0 (short)"));
        QCOMPARE(newest->downloadURL, QUrl("https://sonabrix.app/download/0.10.0.tar.gz"));
        QCOMPARE(newest->releaseNotesURL, QUrl("https://sonabrix.app/notes/0.10.0"));

        const auto attributed = Appcast::parse(feedWithEnclosureAttributes("2.1"), &error);
        QVERIFY2(attributed, qPrintable(error));
        QCOMPARE(attributed->size(), size_t(1));
        QCOMPARE(attributed->front().version, QStringLiteral("2.1"));
        QCOMPARE(attributed->front().downloadURL, QUrl("https://sonabrix.app/dl.tar.gz"));
        QVERIFY(attributed->front().releaseNotesURL.isEmpty());
    }

    void itemsWithoutVersionOrSafeDownloadAreSkipped() {
        const QByteArray feed =
            "<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>"
            "<item><enclosure url=\"https://x.example/a\"/></item>"
            "<item><sparkle:version>9</sparkle:version>"
            "<enclosure url=\"file:///etc/passwd\"/></item>"
            "<item><sparkle:version>3</sparkle:version><link>https://x.example/page</link></item>"
            "</channel></rss>";
        QString error;
        const auto items = Appcast::parse(feed, &error);
        QVERIFY(items);
        QCOMPARE(items->size(), size_t(1));
        QCOMPARE(items->front().downloadURL, QUrl("https://x.example/page"));
    }

    void newerVersionIsOffered() {
        FeedServer server;
        server.answer(200, "OK", feedWithElements({"0.1.0", "0.2.0"}));
        const auto result = checkAgainst(server.url(), QStringLiteral("0.1.0"));
        QCOMPARE(result.outcome, Updater::CheckResult::Outcome::updateAvailable);
        QCOMPARE(result.newestItem->version, QStringLiteral("0.2.0"));
        QVERIFY(server.request().startsWith("GET /appcast.xml HTTP/1.1"));
    }

    void sameVersionIsUpToDate() {
        FeedServer server;
        server.answer(200, "OK", feedWithEnclosureAttributes("0.1.0"));
        QCOMPARE(checkAgainst(server.url(), QStringLiteral("0.1.0")).outcome,
                 Updater::CheckResult::Outcome::upToDate);
    }

    void olderVersionIsUpToDate() {
        FeedServer server;
        server.answer(200, "OK", feedWithElements({"0.0.9", "0.1.0b3"}));
        QCOMPARE(checkAgainst(server.url(), QStringLiteral("0.1.0")).outcome,
                 Updater::CheckResult::Outcome::upToDate);
    }

    void malformedFeedFailsWithItsReason() {
        FeedServer server;
        server.answer(200, "OK", "<rss><channel><item><title>oops</channel>");
        const auto result = checkAgainst(server.url(), QStringLiteral("0.1.0"));
        QCOMPARE(result.outcome, Updater::CheckResult::Outcome::failed);
        QVERIFY2(result.failureReason.contains(QStringLiteral("isn't valid XML")),
                 qPrintable(result.failureReason));

        server.answer(200, "OK", "<html><body>Not a feed</body></html>");
        QVERIFY(checkAgainst(server.url(), QStringLiteral("0.1.0"))
                    .failureReason.contains(QStringLiteral("isn't an RSS feed")));

        server.answer(200, "OK", feedWithElements({}));
        QVERIFY(checkAgainst(server.url(), QStringLiteral("0.1.0"))
                    .failureReason.contains(QStringLiteral("lists no versions")));
    }

    void missingFeedFailsWithTheServersAnswer() {
        FeedServer server;
        server.answer(404, "Not Found", "gone");
        const auto result = checkAgainst(server.url(), QStringLiteral("0.1.0"));
        QCOMPARE(result.outcome, Updater::CheckResult::Outcome::failed);
        QCOMPARE(result.failureReason,
                 QStringLiteral("The update server answered with error 404 (Not Found)."));
    }

    void noServerFails() {
        QUrl unused;
        {
            FeedServer server;
            unused = server.url();
        }
        const auto result = checkAgainst(unused, QStringLiteral("0.1.0"));
        QCOMPARE(result.outcome, Updater::CheckResult::Outcome::failed);
        QVERIFY(!result.failureReason.isEmpty());
    }

    void silentServerTimesOut() {
        FeedServer server; // accepts, never answers
        const auto result = checkAgainst(server.url(), QStringLiteral("0.1.0"), 300);
        QCOMPARE(result.outcome, Updater::CheckResult::Outcome::failed);
        QCOMPARE(result.failureReason, QStringLiteral("The update server didn't answer in time."));
    }

    void userCheckShowsTheNewVersionAndDownloads() {
        FeedServer server;
        server.answer(200, "OK", feedWithElements({"0.2.0"}));
        Updater updater(server.url(), QStringLiteral("0.1.0"));
        QList<QUrl> opened;
        updater.setUrlOpener([&](const QUrl& url) { opened.append(url); });
        updater.checkForUpdates();
        QTRY_VERIFY(WidgetFinder::openAlert(QStringLiteral("Sonabrix 0.2.0 (short) is available")));
        QMessageBox* box =
            WidgetFinder::openAlert(QStringLiteral("Sonabrix 0.2.0 (short) is available"));
        QVERIFY(box->informativeText().contains(QStringLiteral("0.1.0")));

        QAbstractButton* notes = WidgetFinder::alertButton(box, QStringLiteral("Release Notes"));
        QAbstractButton* download = WidgetFinder::alertButton(box, QStringLiteral("Download"));
        QVERIFY(notes && download);
        QTest::mouseClick(download, Qt::LeftButton);
        QCOMPARE(opened, (QList<QUrl>{QUrl("https://sonabrix.app/download/0.2.0.tar.gz")}));
        QTRY_VERIFY(!box->isVisible());
    }

    void userCheckTellsUpToDateAndFailure() {
        FeedServer server;
        server.answer(200, "OK", feedWithElements({"0.1.0"}));
        Updater updater(server.url(), QStringLiteral("0.1.0"));
        updater.checkForUpdates();
        QTRY_VERIFY(WidgetFinder::openAlert(QStringLiteral("You're up to date")));
        closeAlert(WidgetFinder::openAlert(QStringLiteral("You're up to date")));

        server.answer(404, "Not Found", "");
        updater.checkForUpdates();
        QTRY_VERIFY(WidgetFinder::openAlert(QStringLiteral("Couldn't check for updates")));
        QMessageBox* box = WidgetFinder::openAlert(QStringLiteral("Couldn't check for updates"));
        QVERIFY(box->informativeText().contains(QStringLiteral("404")));
        closeAlert(box);
    }

    void sharedControllerIsOneStartedUpdaterOnTheMainThread() {
        // First reached from two pool threads at once.
        QFuture<UpdaterController*> first =
            QtConcurrent::run([] { return &UpdaterController::shared(); });
        QFuture<UpdaterController*> second =
            QtConcurrent::run([] { return &UpdaterController::shared(); });
        QCOMPARE(first.result(), second.result());
        QCOMPARE(first.result(), &UpdaterController::shared());
        Updater& updater = UpdaterController::shared().controller();
        QVERIFY(updater.isStarted());
        QVERIFY(!updater.isChecking()); // it never checks unasked
        QCOMPARE(updater.thread(), QCoreApplication::instance()->thread());
        QVERIFY(updater.feedURL().isValid());
    }
};

QTEST_MAIN(UpdaterTest)
#include "UpdaterTest.moc"
