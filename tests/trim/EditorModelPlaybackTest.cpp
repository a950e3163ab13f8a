#include "EditorModel.h"
#include "SoundTestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <limits>

// The model's player against the private sound server: it plays the selection as it stands.
class EditorModelPlaybackTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void playsTheSelectionAndNothingElse() {
        const QString path = dir_.filePath("tones.caf");
        QVERIFY(writeToneFile(path, {440, 880, 1320}, 48000, 2, SF_FORMAT_CAF | SF_FORMAT_FLOAT));
        auto analysis = Waveform::extractPeaks(path, 800);
        analysis.waitForFinished();
        QVERIFY(analysis.result());
        EditorModel model(*analysis.result(), {0, 3}, path);
        model.setTrimRange({1.0, 1.4});

        SelectionPlayer& player = model.player();
        QSignalSpy failed(&player, &SelectionPlayer::failed);
        double earliest = std::numeric_limits<double>::infinity();
        double latest = 0.0;
        connect(&player, &SelectionPlayer::currentTimeChanged, this, [&] {
            earliest = std::min(earliest, player.currentTime());
            latest = std::max(latest, player.currentTime());
        });
        model.togglePlayback();
        QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));
        QVERIFY(player.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 3000); // ends by itself
        QVERIFY2(earliest >= 1.0 && latest <= 1.4 && latest > 1.2,
                 qPrintable(QString("heard %1 to %2 s").arg(earliest).arg(latest)));

        // The next selection is the one played; changing it stops playback.
        model.setTrimRange({2.0, 2.5});
        earliest = std::numeric_limits<double>::infinity();
        model.togglePlayback();
        QTRY_VERIFY_WITH_TIMEOUT(latest > 2.1, 3000);
        QVERIFY(earliest >= 2.0);
        model.setTrimRange({0.0, 1.0});
        QVERIFY(!player.isPlaying());
    }
};

QTEST_GUILESS_MAIN(EditorModelPlaybackTest)
#include "EditorModelPlaybackTest.moc"
