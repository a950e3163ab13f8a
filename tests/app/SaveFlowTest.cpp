#include "SaveFlow.h"

#include "SaveDestinationDialog.h"
#include "TestSupport.h"
#include "TrimView.h"

// Saving through the real exporter, the save dialog replaced through the seam.
class SaveFlowTest : public QObject {
    Q_OBJECT

    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<ContentView> view_;
    QStringList suggestedNames_;

    // A 2-second recording, arrived in the editor.
    void arriveInEditor(int seconds = 2) { recordThroughButtons(*view_, *script_, seconds); }
    static QString contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "<missing>";
    }
    static void write(const QString& path, const QByteArray& data) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(data);
    }
    void saveTo(const std::optional<QString>& path) {
        view_->saveFlow().setDestinationProvider([this, path](const QString& suggestedFileName) {
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
        QTRY_VERIFY_WITH_TIMEOUT(!view_->saveFlow().isExporting(), 20000);
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
        QVERIFY(!view_->saveFlow().isExporting() && !view_->saveFlow().error() && !openAlert());
        QCOMPARE(view_->stageKind(), Stage::Kind::recorded);
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
        view_->saveFlow().setDestinationProvider([&](const QString&) {
            trimView->setRange({0.25, 1.0});
            return std::optional(QUrl::fromLocalFile(destination));
        });
        click(view_.get(), "Save Trimmed Audio…");
        QVERIFY(view_->saveFlow().isExporting());
        QVERIFY(!visibleButton(view_.get(), "Save Trimmed Audio…")); // the spinner instead
        QTRY_VERIFY_WITH_TIMEOUT(!view_->saveFlow().isExporting(), 20000);
        QVERIFY(!view_->saveFlow().error());
        QVERIFY(visibleButton(view_.get(), "Save Trimmed Audio…")->isEnabled());
        // Said without a dialog in the way, until the next save starts.
        const auto notice = [this] {
            for (QLabel* label : view_->findChildren<QLabel*>()) {
                if (label->isVisible() && label->text().startsWith("Saved to ")) {
                    return label->text();
                }
            }
            return QString();
        };
        QCOMPARE(notice(), QString("Saved to selection.m4a"));
        QVERIFY(visibleButton(view_.get(), "Show in Folder"));
        click(view_.get(), "Save Trimmed Audio…");
        QCOMPARE(notice(), QString());
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
        QVERIFY(view_->saveFlow().isExporting() || recordingGone); // a good export takes a while
        if (leaveDuringExport) {
            click(view_.get(), "New Recording");
        }
        QTRY_VERIFY_WITH_TIMEOUT(!view_->saveFlow().isExporting(), 20000);
        QCOMPARE(view_->stageKind(), leaveDuringExport ? Stage::Kind::idle : Stage::Kind::recorded);
        QCOMPARE(probe(destination).first == "aac", !recordingGone);
        if (recordingGone) {
            QTRY_VERIFY(openAlert("Couldn't save"));
            QMessageBox* alert = openAlert("Couldn't save");
            QVERIFY(!alert->informativeText().isEmpty());
            QCOMPARE(alert->informativeText(), view_->saveFlow().error().value_or(""));
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), QByteArray("the user's earlier clip"));
            click(alert, "OK");
        }
        QTRY_VERIFY(!openAlert());
        QVERIFY(!view_->saveFlow().error());
    }
    // The loudness chosen in the dialog last time reaches the exporter; a fifth of a second is
    // too short to measure, which the user is told once it is saved as recorded. The file
    // carries the recording's title and date.
    void savesWithTheDialogsChoicesAndTheRecordingsTags() {
        QSettings().setValue("save/loudnessTarget", -16.0);
        arriveInEditor();
        view_->findChild<TrimView*>()->setRange({0.5, 0.7});
        const QDateTime start = view_->recorder().lastRecordingDate().value();
        const QString destination = testFolder().filePath("tagged.flac");
        saveTo(destination);
        click(view_.get(), "Save Trimmed Audio…");
        QTRY_VERIFY_WITH_TIMEOUT(!view_->saveFlow().isExporting(), 20000);
        QSettings().remove("save/loudnessTarget");
        QVERIFY(!view_->saveFlow().error());
        QTRY_VERIFY(openAlert("Saved as recorded"));
        QCOMPARE(openAlert("Saved as recorded")->informativeText(),
                 view_->saveFlow().notice().value_or(""));
        click(openAlert("Saved as recorded"), "OK");
        QTRY_VERIFY(!view_->saveFlow().notice());
        const QString tags =
            run("ffprobe", {"-v", "error", "-show_entries", "format_tags=title,date", "-of",
                            "default=nw=1", destination})
                .value_or("");
        QVERIFY2(tags.contains("TAG:title=Recording " + start.toString("yyyy-MM-dd HH-mm-ss")),
                 qPrintable(tags));
        QVERIFY2(tags.contains("TAG:date=" + start.toString("yyyy-MM-ddTHH:mm:ss")),
                 qPrintable(tags));
    }

    // Whatever name the dialog returns, with or without the suffix it may have added after
    // its own check, the file on disk stays as it is until the user agrees to replace it.
    void existingFileIsReplacedOnlyAfterTheUserAgrees_data() {
        QTest::addColumn<QString>("returnedName");
        QTest::addColumn<QString>("answer");
        QTest::newRow("typed without extension, kept") << "clip"
                                                       << "Cancel";
        QTest::newRow("suffixed by the dialog, kept") << "clip.m4a"
                                                      << "Cancel";
        QTest::newRow("typed without extension, replaced") << "clip"
                                                           << "Replace";
        QTest::newRow("suffixed by the dialog, replaced") << "clip.m4a"
                                                          << "Replace";
        QTest::newRow("a new name asks nothing") << "fresh"
                                                 << "";
    }

    void existingFileIsReplacedOnlyAfterTheUserAgrees() {
        QFETCH(QString, returnedName);
        QFETCH(QString, answer);
        arriveInEditor();
        QTemporaryDir folder(testFolder().filePath("dialog-XXXXXX"));
        const QString existing = folder.filePath("clip.m4a");
        write(existing, "the user's earlier clip");
        view_->saveFlow().setDestinationProvider([&](const QString&) {
            return SaveDestinationDialog::confirmed(view_.get(), folder.filePath(returnedName),
                                                    ExportFormat::m4a);
        });
        QStringList seenWhileAsked;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, this, [&] {
            if (QMessageBox* question = openAlert("Replace file?")) {
                answerer.stop();
                seenWhileAsked << question->informativeText() << contents(existing);
                click(question, answer);
            }
        });
        answerer.start(20);
        click(view_.get(), "Save Trimmed Audio…");
        QTRY_VERIFY_WITH_TIMEOUT(!view_->saveFlow().isExporting(), 20000);
        QVERIFY(!view_->saveFlow().error());
        if (answer.isEmpty()) {
            QVERIFY(seenWhileAsked.isEmpty());
            QCOMPARE(probe(folder.filePath("fresh.m4a")).first, QString("aac"));
            QCOMPARE(contents(existing), QString("the user's earlier clip"));
            return;
        }
        QCOMPARE(seenWhileAsked,
                 (QStringList{"“clip.m4a” already exists. Do you want to replace it?",
                              "the user's earlier clip"}));
        if (answer == "Cancel") {
            QCOMPARE(contents(existing), QString("the user's earlier clip"));
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"clip.m4a"});
        } else {
            QCOMPARE(probe(existing).first, QString("aac"));
        }
    }

    // Cancelling leaves no partial file and the old destination as it was; the button comes
    // back, and the next save runs to the end.
    void saveShowsProgressAndCancelLeavesNothingBehind_data() {
        QTest::addColumn<bool>("oldFileThere");
        QTest::newRow("over an old file") << true;
        QTest::newRow("to a new name") << false;
    }

    void saveShowsProgressAndCancelLeavesNothingBehind() {
        QFETCH(bool, oldFileThere);
        arriveInEditor(90);
        QTemporaryDir folder(testFolder().filePath("cancel-XXXXXX"));
        const QString destination = folder.filePath("long.m4a");
        if (oldFileThere) {
            write(destination, "the user's earlier clip");
        }
        saveTo(destination);
        QList<int> shown;
        auto* bar = view_->findChild<QProgressBar*>();
        connect(bar, &QProgressBar::valueChanged, this, [&](int value) { shown << value; });
        click(view_.get(), "Save Trimmed Audio…");
        QVERIFY(bar->isVisible() && !visibleButton(view_.get(), "Save Trimmed Audio…"));
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() >= 2, 20000);
        QVERIFY(bar->text().contains(QString::number(bar->value()) + "%"));
        click(view_.get(), "Cancel");
        QTRY_VERIFY_WITH_TIMEOUT(!view_->saveFlow().isExporting(), 20000);
        QVERIFY(std::is_sorted(shown.begin(), shown.end()) && shown.last() < 100);
        QVERIFY(!view_->saveFlow().error() && !openAlert());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 oldFileThere ? QStringList{"long.m4a"} : QStringList{});
        QCOMPARE(contents(destination),
                 oldFileThere ? QString("the user's earlier clip") : QString("<missing>"));
        QVERIFY(!bar->isVisible());

        click(view_.get(), "Save Trimmed Audio…");
        QTRY_VERIFY_WITH_TIMEOUT(!view_->saveFlow().isExporting(), 60000);
        QVERIFY(std::abs(probe(destination).second - 90.0) < 0.05);
    }
};

QTEST_MAIN(SaveFlowTest)
#include "SaveFlowTest.moc"
