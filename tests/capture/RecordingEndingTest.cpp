#include "RecordingEnding.h"

#include <QTest>

using Text = std::optional<QString>;
Q_DECLARE_METATYPE(Text)

class RecordingEndingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tellsWhatBecameOfTheAudio_data() {
        QTest::addColumn<Text>("stoppedByItself");
        QTest::addColumn<Text>("stopError");
        QTest::addColumn<Text>("file");
        QTest::addColumn<Text>("creationError");
        QTest::addColumn<Text>("lossReason");
        QTest::addColumn<Text>("message");
        const Text none, file = "/tmp/a.caf", gone = "Connection terminated";
        const QString noAudio = "No audio was captured — is anything actually playing sound?";
        const QString stopped = "Capture stopped unexpectedly: Connection terminated";
        const QString created = "Couldn't create the recording file: Disk full";
        const QString lost = "Part of the recording couldn't be saved: Disk full";
        QTest::newRow("all kept") << none << none << file << none << none << none;
        QTest::newRow("nothing played") << none << none << none << none << none << Text(noAudio);
        QTest::newRow("stop failed") << none << Text("Timeout") << file << none << none
                                     << Text("Couldn't stop capture cleanly: Timeout");
        QTest::newRow("stop failed, nothing played")
            << none << Text("Timeout") << none << none << none << Text(noAudio);
        QTest::newRow("no file could be made")
            << none << Text("Timeout") << none << Text("Disk full") << none << Text(created);
        QTest::newRow("part lost")
            << none << Text("Timeout") << file << none << Text("Disk full") << Text(lost);
        QTest::newRow("stopped by itself") << gone << none << file << none << none << Text(stopped);
        QTest::newRow("stopped by itself before any audio")
            << gone << none << none << none << none << Text(stopped);
        QTest::newRow("stopped by itself, no file could be made")
            << gone << none << none << Text("Disk full") << none
            << Text(stopped + "\n\n" + created);
        QTest::newRow("stopped by itself, part lost")
            << gone << none << file << none << Text("Disk full") << Text(stopped + "\n\n" + lost);
    }

    void tellsWhatBecameOfTheAudio() {
        QFETCH(Text, stoppedByItself);
        QFETCH(Text, stopError);
        QFETCH(Text, file);
        QFETCH(Text, creationError);
        QFETCH(Text, lossReason);
        QFETCH(Text, message);
        const RecordingEnding ending{stoppedByItself, stopError,
                                     RecordingWriter::Outcome{file, creationError, lossReason}};
        QCOMPARE(endingMessage(ending), message);
    }
};

QTEST_GUILESS_MAIN(RecordingEndingTest)
#include "RecordingEndingTest.moc"
