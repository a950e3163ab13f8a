#include "SelectionPlayer.h"

#include "AudioFilePlayer.h"
#include "PlaybackMonitor.h"
#include "PlaybackPrivateServer.h"
#include "PlaybackTestAudio.h"
#include "PulseConnection.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <sndfile.h>

namespace {

// One tone per second of the test files, far enough apart to tell apart in 20 ms.
const std::vector<double> tonesHz{500, 900, 1300, 1700, 2100};

bool soundIsHeard(PlaybackMonitor& monitor) {
    const double now = monitor.recordedSeconds();
    return now > 0.1 && !monitor.isSilent(now - 0.1, now);
}

// Waits until the monitor has recorded `seconds` beyond `fromSeconds`.
bool recordFor(PlaybackMonitor& monitor, double fromSeconds, double seconds) {
    QDeadlineTimer deadline(10000);
    while (monitor.recordedSeconds() < fromSeconds + seconds && !deadline.hasExpired())
        QTest::qWait(10);
    return monitor.recordedSeconds() >= fromSeconds + seconds;
}

} // namespace

class SelectionPlayerTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString tonesCaf_;      // five seconds, float, 48000 Hz stereo: what the recorder writes
    QString shortTonesWav_; // three seconds, 16-bit, 44100 Hz mono: needs conversion

    QUrl tonesUrl() const { return QUrl::fromLocalFile(tonesCaf_); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QString error;
        tonesCaf_ = dir_.filePath("tones.caf");
        QVERIFY2(PlaybackTestAudio::writeToneFile(tonesCaf_, tonesHz, 48000, 2,
                                                  SF_FORMAT_CAF | SF_FORMAT_FLOAT, &error),
                 qPrintable(error));
        shortTonesWav_ = dir_.filePath("short.wav");
        QVERIFY2(PlaybackTestAudio::writeToneFile(shortTonesWav_, {500, 900, 1300}, 44100, 1,
                                                  SF_FORMAT_WAV | SF_FORMAT_PCM_16, &error),
                 qPrintable(error));
    }

    void playsTheSelectionFromItsStartAndStopsAtItsEnd() {
        PlaybackMonitor monitor;
        QVERIFY(monitor.start());
        SelectionPlayer player;
        std::vector<double> published;
        connect(&player, &SelectionPlayer::currentTimeChanged,
                [&] { published.push_back(player.currentTime()); });
        QSignalSpy playingChanges(&player, &SelectionPlayer::isPlayingChanged);

        const double startMark = monitor.recordedSeconds();
        player.toggle(tonesUrl(), {2.0, 3.0});
        QVERIFY(player.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);
        QCOMPARE(playingChanges.count(), 2);
        QVERIFY(recordFor(monitor, monitor.recordedSeconds(), 0.3));

        // The position runs from the selection's start to just past its end, every ~30 ms.
        QVERIFY2(published.size() >= 10, qPrintable(QString::number(published.size())));
        QVERIFY(std::is_sorted(published.begin(), published.end()));
        qInfo("published %zu positions, first %.3f s, last %.3f s", published.size(),
              published.front(), published.back());
        QVERIFY(published.front() >= 2.0 && published.front() < 2.1);
        QVERIFY(published.back() >= 3.0 && published.back() < 3.1);
        QCOMPARE(player.currentTime(), published.back());

        // What was heard is second 2 of the file, all of it, and barely any of second 3.
        const double endMark = monitor.recordedSeconds();
        auto heard = [&](double hz) {
            return monitor.secondsOfTone(hz, tonesHz, startMark, endMark);
        };
        qInfo("heard %.2f s of second 2, %.2f s of second 3", heard(1300), heard(1700));
        QCOMPARE(heard(500), 0.0);
        QCOMPARE(heard(900), 0.0);
        QVERIFY(heard(1300) >= 0.9 && heard(1300) <= 1.04);
        QVERIFY(heard(1700) <= 0.1);
        QCOMPARE(heard(2100), 0.0);
    }

    void aSecondToggleStopsTheSoundAndKeepsThePosition() {
        PlaybackMonitor monitor;
        QVERIFY(monitor.start());
        SelectionPlayer player;
        player.toggle(tonesUrl(), {0.0, 4.0});
        QTRY_VERIFY_WITH_TIMEOUT(player.currentTime() > 0.5 && soundIsHeard(monitor), 5000);

        player.toggle(tonesUrl(), {0.0, 4.0});
        QVERIFY(!player.isPlaying());
        const double kept = player.currentTime();
        QVERIFY(kept > 0.5 && kept < 4.0);
        const double stopMark = monitor.recordedSeconds();
        QVERIFY(recordFor(monitor, stopMark, 0.5));
        QVERIFY(monitor.isSilent(stopMark + 0.2, stopMark + 0.5));
        QCOMPARE(player.currentTime(), kept);

        // The next press plays again from the selection's start.
        player.toggle(tonesUrl(), {0.0, 4.0});
        QVERIFY(player.isPlaying());
        QVERIFY(player.currentTime() < 0.1);
        player.stop();
        player.stop();
        QVERIFY(!player.isPlaying());
    }

    void aSelectionPastTheEndOfTheFileEndsStopped() {
        PlaybackMonitor monitor;
        QVERIFY(monitor.start());
        SelectionPlayer player;
        const QUrl url = QUrl::fromLocalFile(shortTonesWav_);
        const double startMark = monitor.recordedSeconds();
        player.toggle(url, {2.0, 5.0});
        QVERIFY(player.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);
        QVERIFY2(player.currentTime() > 2.8 && player.currentTime() <= 3.0,
                 qPrintable(QString::number(player.currentTime())));
        QVERIFY(recordFor(monitor, monitor.recordedSeconds(), 0.2));
        const double endMark = monitor.recordedSeconds();
        QVERIFY(monitor.secondsOfTone(1300, tonesHz, startMark, endMark) >= 0.9);
        QCOMPARE(monitor.secondsOfTone(500, tonesHz, startMark, endMark), 0.0);

        // Stopped, not stuck on "Stop": the next press plays.
        player.toggle(url, {2.0, 5.0});
        QVERIFY(player.isPlaying());
        player.stop();
    }

    void destroyingThePlayerEndsTheSound() {
        PlaybackMonitor monitor;
        QVERIFY(monitor.start());
        auto player = std::make_unique<SelectionPlayer>();
        player->toggle(tonesUrl(), {0.0, 5.0});
        QTRY_VERIFY_WITH_TIMEOUT(soundIsHeard(monitor), 5000);
        player.reset();
        const double goneMark = monitor.recordedSeconds();
        QVERIFY(recordFor(monitor, goneMark, 0.5));
        QVERIFY(monitor.isSilent(goneMark + 0.2, goneMark + 0.5));
    }

    void aFileThatCannotBePlayedLeavesThePlayerIdle() {
        const QString text = dir_.filePath("notes.caf");
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not audio at all\n");
        file.close();
        const QList<QUrl> unplayable{QUrl::fromLocalFile(dir_.filePath("missing.caf")),
                                     QUrl::fromLocalFile(text), QUrl::fromLocalFile(dir_.path()),
                                     QUrl("https://example.com/tones.caf"), QUrl()};
        SelectionPlayer player;
        QSignalSpy playingChanges(&player, &SelectionPlayer::isPlayingChanged);
        QSignalSpy timeChanges(&player, &SelectionPlayer::currentTimeChanged);
        for (const QUrl& url : unplayable) {
            player.toggle(url, {0.0, 1.0});
            QVERIFY2(!player.isPlaying(), qPrintable(url.toString()));
        }

        // No sound server at all: the same silence.
        const QByteArray server = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/sonabrix/native");
        SelectionPlayer serverless;
        QSignalSpy serverlessChanges(&serverless, &SelectionPlayer::isPlayingChanged);
        serverless.toggle(tonesUrl(), {0.0, 1.0});
        qputenv("PULSE_SERVER", server);
        QVERIFY(!serverless.isPlaying());

        QCOMPARE(playingChanges.count(), 0);
        QCOMPARE(timeChanges.count(), 0);
        QCOMPARE(serverlessChanges.count(), 0);
        QCOMPARE(player.currentTime(), 0.0);
    }

    void losingTheServerWhilePlayingEndsInTheStoppedState() {
        PlaybackPrivateServer server;
        QVERIFY(server.start());
        const QByteArray shared = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", server.address());
        SelectionPlayer player;
        player.toggle(tonesUrl(), {0.0, 5.0});
        qputenv("PULSE_SERVER", shared);
        QVERIFY(player.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(player.currentTime() > 0.2, 5000);

        server.kill();
        QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);

        // The next press connects afresh, here to the shared server, and plays.
        player.toggle(tonesUrl(), {0.0, 5.0});
        QVERIFY(player.isPlaying());
        player.stop();
    }

    void theFilePlayerSeeksPlaysToTheEndAndResumes() {
        QString error;
        auto connection = PulseConnection::connect("sonabrix-tests", &error);
        QVERIFY2(connection, qPrintable(error));
        QVERIFY(!AudioFilePlayer::open(*connection, dir_.filePath("missing.caf"), &error));
        QVERIFY(!error.isEmpty());

        auto player = AudioFilePlayer::open(*connection, tonesCaf_, &error);
        QVERIFY2(player, qPrintable(error));
        QCOMPARE(player->durationSeconds(), 5.0);
        QVERIFY(player->seek(4.7));
        QCOMPARE(player->positionSeconds(), 4.7);
        QVERIFY2(player->play(&error), qPrintable(error));
        QVERIFY(player->isPlaying());
        QVERIFY(!player->seek(1.0));
        QTRY_VERIFY_WITH_TIMEOUT(!player->isPlaying(), 5000);
        QVERIFY(player->positionSeconds() > 4.9);

        // Less than the server wants buffered before it starts, and nothing at all, still end.
        for (double tailStart : {4.99, 5.0, 7.0}) {
            QVERIFY(player->seek(tailStart));
            QVERIFY2(player->play(&error), qPrintable(error));
            QTRY_VERIFY_WITH_TIMEOUT(!player->isPlaying(), 5000);
            QCOMPARE(player->positionSeconds(), 5.0);
        }

        QVERIFY(player->seek(1.0));
        QVERIFY2(player->play(&error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(player->positionSeconds() > 1.2, 5000);
        player->stop();
        QVERIFY(!player->isPlaying());
        const double stoppedAt = player->positionSeconds();
        QVERIFY(stoppedAt > 1.2 && stoppedAt < 2.5);
        QVERIFY2(player->play(&error), qPrintable(error));
        QVERIFY(player->positionSeconds() >= stoppedAt);
        QVERIFY(player->positionSeconds() < stoppedAt + 0.1);
    }
};

QTEST_GUILESS_MAIN(SelectionPlayerTest)
#include "SelectionPlayerTest.moc"
