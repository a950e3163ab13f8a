#include "RecordingEnding.h"

#include <QTest>

using Text = std::optional<QString>;
Q_DECLARE_METATYPE(Text)

namespace {

// A failure known by its reason alone, as the capture and the writer give them.
std::optional<Failure> because(const Text& reason) {
    return reason ? std::optional(Failure::because(*reason)) : std::nullopt;
}

} // namespace

class RecordingEndingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tellsWhatBecameOfTheAudio_data() {
        QTest::addColumn<Text>("stoppedByItself");
        QTest::addColumn<Text>("stopError");
        QTest::addColumn<Text>("file");
        QTest::addColumn<Text>("creationError");
        QTest::addColumn<Text>("lossReason");
        QTest::addColumn<bool>("forSpace");
        QTest::addColumn<Text>("message");
        const Text none, file = "/tmp/a.caf", gone = "Connection terminated";
        const QString noAudio = "No audio was captured — is anything actually playing sound?";
        const QString stopped =
            "The recording stopped by itself: the sound server ended it. Check that sound works on "
            "your computer, then record again.\n\nThe reason given: Connection terminated";
        const QString created = "Couldn't create the recording file: Disk full";
        const QString lost = "Part of the recording couldn't be saved: Disk full";
        QTest::newRow("all kept") << none << none << file << none << none << false << none;
        QTest::newRow("nothing played")
            << none << none << none << none << none << false << Text(noAudio);
        QTest::newRow("stop failed") << none << Text("Timeout") << file << none << none << false
                                     << Text("Couldn't stop capture cleanly: Timeout");
        QTest::newRow("stop failed, nothing played")
            << none << Text("Timeout") << none << none << none << false << Text(noAudio);
        QTest::newRow("no file could be made")
            << none << Text("Timeout") << none << Text("Disk full") << none << false
            << Text(created);
        QTest::newRow("part lost")
            << none << Text("Timeout") << file << none << Text("Disk full") << false << Text(lost);
        QTest::newRow("stopped by itself")
            << gone << none << file << none << none << false << Text(stopped);
        QTest::newRow("stopped by itself before any audio")
            << gone << none << none << none << none << false << Text(stopped);
        QTest::newRow("stopped by itself, no file could be made")
            << gone << none << none << Text("Disk full") << none << false
            << Text(stopped + "\n\n" + created);
        QTest::newRow("stopped by itself, part lost")
            << gone << none << file << none << Text("Disk full") << false
            << Text(stopped + "\n\n" + lost);
        const QString space = "The recording was stopped because the disk is almost full. "
                              "Everything recorded until then has been kept.";
        QTest::newRow("stopped for space")
            << none << none << file << none << none << true << Text(space);
        QTest::newRow("stopped for space, stop failed")
            << none << Text("Timeout") << file << none << none << true << Text(space);
        QTest::newRow("stopped for space, part lost")
            << none << none << file << none << Text("Disk full") << true << Text(lost);
    }

    void tellsWhatBecameOfTheAudio() {
        QFETCH(Text, stoppedByItself);
        QFETCH(Text, stopError);
        QFETCH(Text, file);
        QFETCH(Text, creationError);
        QFETCH(Text, lossReason);
        QFETCH(bool, forSpace);
        QFETCH(Text, message);
        const RecordingEnding ending{
            stoppedByItself, because(stopError),
            RecordingWriter::Outcome{file, because(creationError), because(lossReason)}, forSpace};
        QCOMPARE(endingMessage(ending), message);
    }
};

QTEST_GUILESS_MAIN(RecordingEndingTest)
#include "RecordingEndingTest.moc"
