#include "TestSupport.h"
#include "TrimView.h"

// Saving through the real exporter, the save dialog replaced through the seam.
class SaveFlowTest : public QObject {
    Q_OBJECT

    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<ContentView> view_;
    QStringList suggestedNames_;

    // A 2-second recording, arrived in the editor.
    void arriveInEditor() {
        click(view_.get(), "Record System Audio");
        QTRY_COMPARE(view_->stageIndex(), 1);
        script_->deliver(2.0, 0.5f);
        click(view_.get(), "Stop Recording");
        QTRY_COMPARE(view_->stageIndex(), 3);
    }
    void saveTo(const std::optional<QString>& path) {
        view_->setSaveDestinationProvider([this, path](const QString& suggestedFileName) {
            suggestedNames_.append(suggestedFileName);
            return path ? std::optional(QUrl::fromLocalFile(*path)) : std::nullopt;
        });
    }

private slots:
    void initTestCase() { QVERIFY(testFolder().isValid()); }

    void init() {
        QVERIFY(view_ = scriptedView(script_ = std::make_shared<CaptureScript>()));
        suggestedNames_.clear();
    }

    void cleanup() {
        closeAlerts();
        QTRY_VERIFY_WITH_TIMEOUT(!view_->isExporting(), 20000);
        view_.reset();
    }

    void cancelledDialogChangesNothing() {
        saveTo(std::nullopt);
        QTest::keyClick(view_.get(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(suggestedNames_.isEmpty()); // nothing recorded yet
        arriveInEditor();
        click(view_.get(), "Save Trimmed Audio…");
        const QDateTime start = view_->recorder().lastRecordingDate().value();
        QCOMPARE(suggestedNames_,
                 QStringList{"Recording " + start.toString("yyyy-MM-dd HH-mm-ss") + ".m4a"});
        QVERIFY(!view_->isExporting() && !view_->exportError() && !openAlert());
        QCOMPARE(view_->stageIndex(), 3);
        QTest::keyClick(view_.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(suggestedNames_.size(), 2);
    }

    void savesTheSelectionAsItIsWhenTheExportStarts() {
        arriveInEditor();
        auto* trimView = view_->findChild<TrimView*>();
        trimView->setRange({0.5, 1.5});
        QCOMPARE(view_->trimRange(), (TimeRange{0.5, 1.5}));
        const QString destination = testFolder().filePath("selection.m4a");
        // The selection changes while the dialog is up; the export takes the newer one.
        view_->setSaveDestinationProvider([&](const QString&) {
            trimView->setRange({0.25, 1.0});
            return std::optional(QUrl::fromLocalFile(destination));
        });
        click(view_.get(), "Save Trimmed Audio…");
        QVERIFY(view_->isExporting());
        QVERIFY(!visibleButton(view_.get(), "Save Trimmed Audio…")); // the spinner instead
        QTRY_VERIFY_WITH_TIMEOUT(!view_->isExporting(), 20000);
        QVERIFY(!view_->exportError());
        QVERIFY(visibleButton(view_.get(), "Save Trimmed Audio…")->isEnabled());
        const auto [codec, seconds] = probe(destination);
        QCOMPARE(codec, QString("aac"));
        QVERIFY2(std::abs(seconds - 0.75) < 0.05, qPrintable(QString::number(seconds)));
    }

    void failedSaveTellsWhyAndKeepsTheOldFile_data() {
        QTest::addColumn<bool>("recordingGone");
        QTest::addColumn<bool>("leaveDuringExport");
        QTest::newRow("fails in the editor") << true << false;
        QTest::newRow("New Recording during a good export") << false << true;
        QTest::newRow("New Recording during a failing export") << true << true;
    }

    void failedSaveTellsWhyAndKeepsTheOldFile() {
        QFETCH(bool, recordingGone);
        QFETCH(bool, leaveDuringExport);
        arriveInEditor();
        const QString destination = testFolder().filePath("keep.m4a");
        QFile old(destination);
        QVERIFY(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
        old.write("the user's earlier clip");
        old.close();
        if (recordingGone) {
            QVERIFY(QFile::remove(view_->recorder().lastRecordingURL()->toLocalFile()));
        }
        saveTo(destination);
        click(view_.get(), "Save Trimmed Audio…");
        QVERIFY(view_->isExporting() || recordingGone); // a good export takes a while
        if (leaveDuringExport) {
            click(view_.get(), "New Recording");
        }
        QTRY_VERIFY_WITH_TIMEOUT(!view_->isExporting(), 20000);
        QCOMPARE(view_->stageIndex(), leaveDuringExport ? 0 : 3);
        QCOMPARE(probe(destination).first == "aac", !recordingGone);
        if (recordingGone) {
            QTRY_VERIFY(openAlert("Couldn't save"));
            QMessageBox* alert = openAlert("Couldn't save");
            QVERIFY(!alert->informativeText().isEmpty());
            QCOMPARE(alert->informativeText(), view_->exportError().value_or(""));
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), QByteArray("the user's earlier clip"));
            click(alert, "OK");
        }
        QTRY_VERIFY(!openAlert());
        QVERIFY(!view_->exportError());
    }
};

QTEST_MAIN(SaveFlowTest)
#include "SaveFlowTest.moc"
