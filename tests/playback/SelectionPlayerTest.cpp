#include "SelectionPlayer.h"

#include "SoundTestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

class SelectionPlayerTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString tones_ = dir_.filePath("tones.caf");      // 5 s, float, 48 kHz stereo
    QString shortTones_ = dir_.filePath("short.wav"); // 3 s, 16-bit, 44.1 kHz

private slots:
    void initTestCase() {
        QVERIFY(writeToneFile(tones_, {500, 900, 1300, 1700, 2100}, 48000, 2,
                              SF_FORMAT_CAF | SF_FORMAT_FLOAT));
        QVERIFY(writeToneFile(shortTones_, {500, 900, 1300}, 44100, 1,
                              SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    }

    void playsTheSelectionFromItsStartAndStopsAtItsEnd() {
        SinkMonitor monitor;
        QVERIFY(monitor.seconds() > 0);
        SelectionPlayer player;
        std::vector<double> published;
        connect(&player, &SelectionPlayer::currentTimeChanged,
                [&] { published.push_back(player.currentTime()); });
        QSignalSpy playingChanges(&player, &SelectionPlayer::isPlayingChanged);
        const double startMark = monitor.seconds();
        player.toggle(tones_, {2.0, 3.0});
        QVERIFY(player.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);
        QCOMPARE(playingChanges.count(), 2);
        QVERIFY(monitor.recordFor(0.3));

        // Every ~30 ms, from the selection's start to just past its end.
        QVERIFY(published.size() >= 10 && std::ranges::is_sorted(published));
        QVERIFY(published.front() >= 2.0 && published.front() < 2.1);
        QVERIFY2(published.back() >= 3.0 && published.back() < 3.1,
                 qPrintable(QString::number(published.back())));
        // Heard: all of second 2, nothing else; not a moment of second 3.
        const double endMark = monitor.seconds();
        const auto heard = [&](double hz) { return monitor.secondsOfTone(hz, startMark, endMark); };
        // A window the server left a dropout in holds no tone, but was the selection's.
        const double dropouts = monitor.secondsWithDropouts(startMark, endMark);
        QVERIFY2(heard(1300) + dropouts >= 0.9 && heard(1300) <= 1.04,
                 qPrintable(QString("1300 Hz %1 s, dropouts %2 s").arg(heard(1300)).arg(dropouts)));
        const QString outside = QStringList{monitor.describeTone(500, startMark, endMark),
                                            monitor.describeTone(900, startMark, endMark),
                                            monitor.describeTone(1700, startMark, endMark),
                                            monitor.describeTone(2100, startMark, endMark)}
                                    .join(QStringLiteral("; "));
        QVERIFY2(heard(500) + heard(900) + heard(1700) + heard(2100) == 0.0, qPrintable(outside));
    }

    // What the server does on a busy machine: a few milliseconds of the tone go missing.
    void aDropoutIsHeardAsNoOtherTone() {
        constexpr int rate = 48000;
        for (double dropoutMs : {5.3, 12.0})
            for (int offset = 0; offset < rate / 50; offset += 12) {
                std::vector<float> s;
                for (int i = 0; i < rate / 2; ++i)
                    s.push_back(float(0.5 * std::sin(2 * std::numbers::pi * 1300 * i / rate)));
                const auto from = s.begin() + rate / 4 + offset;
                std::fill(from, from + int(dropoutMs * rate / 1000), 0.0f);
                for (double other : {500, 900})
                    QVERIFY2(toneWindows(s, rate, other).empty(),
                             qPrintable(QStringLiteral("%1 Hz in a dropout of %2 ms at +%3")
                                            .arg(other)
                                            .arg(dropoutMs)
                                            .arg(offset)));
                QVERIFY(toneWindows(s, rate, 1300).size() >= 22);
            }
    }

    // A selection of whole frames, as the editor makes it, plays to exactly its last frame:
    // the playhead ends there, not a frame before or after.
    void aSelectionOfWholeFramesEndsOnItsLastFrame() {
        constexpr int rate = 48000;
        const TimeRange selection{48003.0 / rate, 96001.0 / rate};
        SelectionPlayer player;
        player.toggle(tones_, selection);
        QVERIFY(player.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);
        QCOMPARE(player.currentTime(), selection.upper);
    }

    void aSecondToggleStopsTheSoundAndKeepsThePosition() {
        SinkMonitor monitor;
        QVERIFY(monitor.seconds() > 0);
        SelectionPlayer player;
        player.toggle(tones_, {0.0, 4.0});
        QTRY_VERIFY_WITH_TIMEOUT(player.currentTime() > 0.5 &&
                                     !monitor.isSilent(monitor.seconds() - 0.1, monitor.seconds()),
                                 5000);
        player.toggle(tones_, {0.0, 4.0});
        QVERIFY(!player.isPlaying());
        const double kept = player.currentTime();
        const double stopMark = monitor.seconds();
        QVERIFY(monitor.recordFor(0.5));
        QVERIFY(monitor.isSilent(stopMark + 0.2, stopMark + 0.5));
        QCOMPARE(player.currentTime(), kept);
        // The next press plays again from the selection's start.
        player.toggle(tones_, {0.0, 4.0});
        QVERIFY(player.isPlaying() && player.currentTime() < 0.1);
        player.stop();
        player.stop();
        QVERIFY(!player.isPlaying());
    }

    void aSelectionPastTheEndOfTheFileEndsStopped() {
        SinkMonitor monitor;
        QVERIFY(monitor.seconds() > 0);
        SelectionPlayer player;
        QSignalSpy playingChanges(&player, &SelectionPlayer::isPlayingChanged);
        const double startMark = monitor.seconds();
        player.toggle(shortTones_, {2.0, 5.0});
        QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);
        QVERIFY2(player.currentTime() > 2.8 && player.currentTime() <= 3.0,
                 qPrintable(QString::number(player.currentTime())));
        QVERIFY(monitor.recordFor(0.2));
        QVERIFY(monitor.secondsOfTone(1300, startMark, monitor.seconds()) >= 0.9);
        QCOMPARE(monitor.secondsOfTone(500, startMark, monitor.seconds()), 0.0);
        // Less than the server buffers before starting, or nothing at all: it still ends.
        for (double from : {2.99, 3.0, 7.0}) {
            const qsizetype before = playingChanges.count();
            player.toggle(shortTones_, {from, from + 1.0});
            QTRY_VERIFY_WITH_TIMEOUT(playingChanges.count() == before + 2, 5000);
        }
    }

    void destroyingThePlayerEndsTheSound() {
        SinkMonitor monitor;
        QVERIFY(monitor.seconds() > 0);
        auto player = std::make_unique<SelectionPlayer>();
        player->toggle(tones_, {0.0, 5.0});
        QTRY_VERIFY_WITH_TIMEOUT(!monitor.isSilent(monitor.seconds() - 0.1, monitor.seconds()),
                                 5000);
        player.reset();
        const double goneMark = monitor.seconds();
        QVERIFY(monitor.recordFor(0.5));
        QVERIFY(monitor.isSilent(goneMark + 0.2, goneMark + 0.5));
    }

    void aFileThatCannotBePlayedLeavesThePlayerIdle() {
        QFile text(dir_.filePath("notes.caf"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not audio at all\n") > 0);
        text.close();
        SelectionPlayer player;
        QSignalSpy changes(&player, &SelectionPlayer::isPlayingChanged);
        QSignalSpy timeChanges(&player, &SelectionPlayer::currentTimeChanged);
        for (const QString& path :
             {dir_.filePath("missing.caf"), text.fileName(), dir_.path(), QString()})
            player.toggle(path, {0.0, 1.0});
        // No sound server at all: the same.
        const QByteArray server = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/sonabrix/native");
        SelectionPlayer serverless;
        serverless.toggle(tones_, {0.0, 1.0});
        qputenv("PULSE_SERVER", server);
        QVERIFY(!player.isPlaying() && !serverless.isPlaying());
        QCOMPARE(changes.count() + timeChanges.count(), 0);
    }
};

QTEST_GUILESS_MAIN(SelectionPlayerTest)
#include "SelectionPlayerTest.moc"
