#include "Failure.h"

#include <QTest>
#include <memory>

class FailureTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The messages the app showed before failures carried their parts separately come out the
    // same: an operation leading into its reason, a sentence followed by the reason given, and
    // either part alone.
    void tellsTheOperationAndItsReason_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("message");
        QTest::newRow("leads into the reason") << "Couldn't start capture"
                                               << "Access denied"
                                               << "Couldn't start capture: Access denied";
        QTest::newRow("a sentence, then the reason")
            << "Couldn't ask the sound server for a microphone."
            << "Timeout"
            << "Couldn't ask the sound server for a microphone. The reason given: Timeout";
        QTest::newRow("a question, then the reason") << "Is it running?"
                                                     << "Timeout"
                                                     << "Is it running? The reason given: Timeout";
        QTest::newRow("operation alone")
            << "The audio couldn't be saved." << QString() << "The audio couldn't be saved.";
        QTest::newRow("reason alone") << QString() << "Permission denied"
                                      << "Permission denied";
        QTest::newRow("neither") << QString() << QString() << QString();
    }

    void tellsTheOperationAndItsReason() {
        QFETCH(QString, operation);
        QFETCH(QString, reason);
        QFETCH(QString, message);
        QCOMPARE((Failure{operation, reason}.message()), message);
    }

    // A failure passed up becomes the reason of the operation that met it, whole.
    void aFailureWithinAnotherKeepsAllItSaid() {
        const Failure inner = Failure::because("Disk full");
        QCOMPARE(inner.within("Couldn't create the recording file").message(),
                 QString("Couldn't create the recording file: Disk full"));
        const Failure told{"Couldn't open the folder", "Permission denied"};
        QCOMPARE(told.within("Couldn't create the recording file"),
                 (Failure{"Couldn't create the recording file",
                          "Couldn't open the folder: Permission denied"}));
    }

    // A result holds its value or its failure, and a value that can only move moves out whole.
    void aResultHoldsEitherItsValueOrItsFailure() {
        Result<std::unique_ptr<int>> made = std::make_unique<int>(7);
        QVERIFY(made.ok() && bool(made));
        QCOMPARE(**made, 7);
        const std::unique_ptr<int> taken = std::move(made).value();
        QCOMPARE(*taken, 7);

        const Result<QString> failed = Failure::because("No such file or directory");
        QVERIFY(!failed.ok() && !bool(failed));
        QCOMPARE(failed.failure().reason, QString("No such file or directory"));
        QVERIFY_THROWS_EXCEPTION(std::bad_variant_access, static_cast<void>(failed.value()));
    }
};

QTEST_GUILESS_MAIN(FailureTest)
#include "FailureTest.moc"
