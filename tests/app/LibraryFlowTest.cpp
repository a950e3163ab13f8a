#include "../library/KilledRecording.h"
#include "DetailPeaksFile.h"
#include "MainWindow.h"
#include "RecordingListModel.h"
#include "RecordingListView.h"
#include "RecordingsFolder.h"
#include "SaveFlow.h"
#include "TestSupport.h"
#include "TrimView.h"

// Past recordings from the start screen, recovery after a crash, and quitting during a save,
// through the real widgets over a capture platform the test steers.
class LibraryFlowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dataHome_;
    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<ContentView> view_;

    void record(int seconds) { recordThroughButtons(*view_, *script_, seconds); }
    // The start screen's list; the one of a start screen fading out doesn't count.
    RecordingListView* list() const {
        for (auto* list : view_->findChildren<RecordingListView*>()) {
            if (list->isVisibleTo(view_.get())) {
                return list;
            }
        }
        return nullptr;
    }
    QVariant listed(int row, int role) const {
        return list()->listView()->model()->index(row, 0).data(role);
    }

    // A save from `view`'s editor over the user's earlier file at `destination`, started.
    static void startSavingOverAnEarlierClip(ContentView* view, const QString& destination) {
        QFile old(destination);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(earlierClip);
        old.close();
        view->saveFlow().setDestinationProvider([destination](const QString&) {
            return std::optional(QUrl::fromLocalFile(destination));
        });
        click(view, "Save Trimmed Audio…");
        QVERIFY(view->saveFlow().isExporting());
    }
    static bool holdsTheEarlierClip(const QString& destination) {
        QFile old(destination);
        return old.open(QIODevice::ReadOnly) && old.readAll() == earlierClip;
    }
    static constexpr char earlierClip[] = "the user's earlier clip";

private slots:
    void init() {
        // A data folder of each case's own, so that each starts with no recordings.
        dataHome_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome_->path()));
        QVERIFY(view_ = scriptedView(script_ = std::make_shared<CaptureScript>()));
    }

    void cleanup() {
        closeAlerts();
        view_.reset();
    }

    void recordingsStayListedAndReopenWithTheirSelection() {
        QVERIFY(!list()); // nothing recorded yet: the start screen as it always was
        record(2);
        const QString path = view_->recorder().lastRecordingURL()->toLocalFile();
        QCOMPARE(QFileInfo(path).absolutePath(), RecordingsFolder::path());
        QCOMPARE(QFileInfo(path).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        view_->findChild<TrimView*>()->setRange({0.5, 1.5});
        click(view_.get(), "New Recording");

        QVERIFY(list());
        QCOMPARE(list()->listView()->model()->rowCount(), 1);
        QCOMPARE(listed(0, RecordingListModel::DurationRole).toDouble(), 2.0);
        QVERIFY(!listed(0, RecordingListModel::InterruptedRole).toBool());
        QCOMPARE(list()->selectedPath(), path); // the one just left

        // Ctrl+R from the editor starts anew, and the one left stays listed too.
        QTest::keyClick(list()->listView(), Qt::Key_Return);
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        QCOMPARE(view_->trimRange(), (TimeRange{0.5, 1.5}));
        QTest::keyClick(view_.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recording);
        script_->deliver(1.0, 0.5f);
        QTest::keyClick(view_.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 1.0}));
        QTest::keyClick(view_.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(list()->listView()->model()->rowCount(), 2);
        QCOMPARE(listed(1, RecordingListModel::PathRole).toString(), path);

        // A selection that no longer fits the file gives way to the whole recording.
        RecordingLibrary::rememberSelection(path, {0.5, 9.0});
        list()->select(path);
        click(view_.get(), "Open");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 2.0}));

        // A recording's name is what saving it suggests, as a file name.
        QVERIFY(view_->defaultFileName().startsWith("Recording "));
        QVERIFY(RecordingLibrary::rename(path, "Talk 1/2"));
        QCOMPARE(view_->defaultFileName(), QString("Talk 1-2"));
    }

    // A finished recording opens from the peaks saved beside it, straight into the editor; one
    // whose peaks don't match it, or that has none, is read under the analysing stage first.
    void savedPeaksOpenARecordingAtOnce() {
        record(2);
        const QString path = view_->recorder().lastRecordingURL()->toLocalFile();
        QVERIFY(QFile::exists(DetailPeaksFile::pathFor(path)));
        QList<Stage::Kind> stages;
        connect(view_.get(), &ContentView::stageChanged, this,
                [&stages](Stage::Kind stage) { stages << stage; });
        for (const int peaks : {0, 1, 2}) { // as saved, of another length, none
            click(view_.get(), "New Recording");
            if (peaks == 1)
                QVERIFY((DetailPeaksFile{3 * 48000, 48000, std::vector(141, 0.5f)}.save(path)));
            if (peaks == 2)
                QVERIFY(QFile::remove(DetailPeaksFile::pathFor(path)));
            stages.clear();
            list()->select(path);
            click(view_.get(), "Open");
            QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
            const QList<Stage::Kind> opened =
                peaks == 0 ? QList{Stage::Kind::recorded}
                           : QList{Stage::Kind::analysing, Stage::Kind::recorded};
            QCOMPARE(stages, opened);
            QCOMPARE(view_->trimRange(), (TimeRange{0.0, 2.0}));
        }
    }

    void interruptedRecordingIsOfferedOnceAndOpens() {
        const QString killed = KilledRecording::make(RecordingsFolder::ensure().value(), 1.5);
        QVERIFY(!killed.isEmpty());
        view_->offerRecovery();
        const QString offer = "Sonabrix quit while recording. The recording up to then was kept.";
        QTRY_VERIFY(openAlert(offer));
        click(openAlert(offer), "Open");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 1.5}));
        click(view_.get(), "New Recording");
        QVERIFY(listed(0, RecordingListModel::InterruptedRole).toBool());

        // Launched again: still listed, not offered again.
        view_.reset();
        QVERIFY(view_ = scriptedView(script_));
        view_->offerRecovery();
        QTest::qWait(100);
        QVERIFY(!openAlert());
        QCOMPARE(listed(0, RecordingListModel::PathRole).toString(), killed);
        QVERIFY(listed(0, RecordingListModel::InterruptedRole).toBool());
    }

    // Asked at launch, before the desktop has put the window anywhere (no place was saved):
    // the question still opens over the window, not where the window was before it was placed.
    void theRecoveryQuestionOpensOverTheWindow() {
        view_.reset();
        QVERIFY(!KilledRecording::make(RecordingsFolder::ensure().value(), 1.0).isEmpty());
        MainWindow window(std::make_unique<SystemAudioRecorder>(
            std::make_unique<ScriptedCaptureService>(script_)));
        window.contentView()->offerRecovery();
        window.show();
        // Where a window manager might place it: in the screen's far corner.
        const QRect screen = window.screen()->availableGeometry();
        window.move(screen.bottomRight() - QPoint(window.width(), window.height()));
        const QString offer = "Sonabrix quit while recording. The recording up to then was kept.";
        QTRY_VERIFY(openAlert(offer));
        QTRY_VERIFY(openAlert(offer)->isVisible());
        const QPoint offset = openAlert(offer)->geometry().center() - window.geometry().center();
        QVERIFY2(
            offset.manhattanLength() <= 40,
            qPrintable(
                QStringLiteral("%1, %2 from the window's centre").arg(offset.x()).arg(offset.y())));
        click(openAlert(offer), "Later");
    }

    // Several recordings cut short: one question names them all, and none is left unoffered.
    void everyInterruptedRecordingIsOffered() {
        const QString folder = RecordingsFolder::ensure().value();
        QStringList killed;
        for (int i = 0; i < 3; ++i) {
            killed << KilledRecording::make(folder, 1.0 + i);
            QVERIFY(!killed.last().isEmpty());
            QTest::qWait(20);
        }
        view_->offerRecovery();
        const QString offer = "Sonabrix quit during 3 recordings. Each was kept up to then and is "
                              "marked “Interrupted” in the list of recordings.";
        QTRY_VERIFY(openAlert(offer));
        click(openAlert(offer), "Open the Newest");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 3.0}));
        click(view_.get(), "New Recording");
        QCOMPARE(list()->listView()->model()->rowCount(), 3);
        for (int row = 0; row < 3; ++row) {
            QVERIFY(listed(row, RecordingListModel::InterruptedRole).toBool());
        }
    }

    // Quitting on purpose during a recording ends it as Stop does: kept, finished, not
    // offered as cut short at the next launch.
    void quittingDuringARecordingKeepsItFinished() {
        view_.reset();
        auto window = scriptedView<MainWindow>(script_);
        QVERIFY(window);
        ContentView* view = window->contentView();
        click(view, "Record System Audio");
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recording);
        script_->deliver(2.0, 0.5f);

        QString asked;
        QTimer::singleShot(50, [&] {
            QMessageBox* question = openAlert("A recording is running");
            asked = question ? question->text() : QString();
            click(question, "Quit");
        });
        QVERIFY(!window->close());
        QCOMPARE(asked, QString("A recording is running"));
        QTRY_VERIFY(!window->isVisible());
        QVERIFY(!view->recorder().isRecording());
        const QString path = view->recorder().lastRecordingURL()->toLocalFile();
        window.reset();

        QVERIFY(view_ = scriptedView(script_));
        view_->offerRecovery();
        QTest::qWait(100);
        QVERIFY(!openAlert());
        QCOMPARE(listed(0, RecordingListModel::PathRole).toString(), path);
        QVERIFY(!listed(0, RecordingListModel::InterruptedRole).toBool());
        QCOMPARE(listed(0, RecordingListModel::DurationRole).toDouble(), 2.0);
    }

    // Escape cancels a running save, as Cancel does: the earlier file stays as it was.
    void escapeCancelsARunningSave() {
        record(60);
        QTemporaryDir folder;
        const QString destination = folder.filePath("clip.flac");
        startSavingOverAnEarlierClip(view_.get(), destination);
        QVERIFY(!QTest::currentTestFailed());
        QTest::keyClick(view_.get(), Qt::Key_Escape);
        QTRY_VERIFY(!view_->saveFlow().isExporting());
        QVERIFY(!view_->saveFlow().error());
        QVERIFY(holdsTheEarlierClip(destination));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"clip.flac"});
    }

    // Closing while a save runs asks first: waiting closes once the file is complete;
    // cancelling closes with nothing left behind and the old file as it was.
    void closingDuringASaveAsks_data() {
        QTest::addColumn<QString>("answer");
        QTest::newRow("wait") << "Wait";
        QTest::newRow("cancel") << "Cancel Save";
    }

    void closingDuringASaveAsks() {
        QFETCH(QString, answer);
        view_.reset();
        auto window = scriptedView<MainWindow>(script_);
        QVERIFY(window);
        ContentView* view = window->contentView();
        click(view, "Record System Audio");
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recording);
        for (int second = 0; second < 60; ++second) {
            script_->deliver(1.0, 0.5f);
        }
        click(view, "Stop Recording");
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recorded);
        QTemporaryDir folder;
        const QString destination = folder.filePath("clip.m4a");
        startSavingOverAnEarlierClip(view, destination);
        QVERIFY(!QTest::currentTestFailed());

        QString asked;
        QTimer::singleShot(50, [&] {
            QMessageBox* question = openAlert("A save is in progress.");
            asked = question ? question->text() : QString();
            click(question, answer);
        });
        QVERIFY(!window->close());
        QCOMPARE(asked, QString("A save is in progress."));
        QVERIFY(window->isVisible() || answer == "Cancel Save");
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 30000);
        QVERIFY(!view->saveFlow().isExporting());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"clip.m4a"});
        if (answer == "Wait")
            QVERIFY(std::abs(probe(destination).second - 60.0) < 0.05);
        else
            QVERIFY(holdsTheEarlierClip(destination));
    }
};

int main(int argc, char** argv) {
    KilledRecording::runIfAsked(argc, argv);
    QApplication app(argc, argv);
    LibraryFlowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "LibraryFlowTest.moc"
