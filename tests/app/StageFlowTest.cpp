#include "ContentView.h"
#include "PulsingDot.h"
#include "ScriptedCaptureService.h"
#include "StageContainer.h"
#include "SystemAudioRecorder.h"
#include "WidgetFinder.h"

#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using WidgetFinder::alertButton;
using WidgetFinder::openAlert;
using WidgetFinder::visibleButton;

// The stages of the main view, driven through its real buttons over a capture platform the
// test steers, so every failure path can be produced on demand.
class StageFlowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir recordings_;
    std::shared_ptr<ScriptedCaptureService::Script> script_;
    std::unique_ptr<ContentView> view_;
    std::unique_ptr<QSignalSpy> stages_;

    void click(const QString& text) {
        QAbstractButton* button = visibleButton(view_.get(), text);
        QVERIFY2(button, qPrintable(QStringLiteral("no visible button \"%1\"").arg(text)));
        QVERIFY(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }

    void startRecording() {
        click(QStringLiteral("Record System Audio"));
        QTRY_COMPARE(view_->stageIndex(), 1);
    }

    QList<int> visitedStages() const {
        QList<int> visited;
        for (const QList<QVariant>& change : *stages_) {
            visited.append(change.at(0).toInt());
        }
        return visited;
    }

    void closeAllAlerts() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) {
                box->reject();
            }
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(recordings_.isValid());
        // The app never deletes recordings; the test's go with this folder.
        qputenv("TMPDIR", QFile::encodeName(recordings_.path()));
    }

    void init() {
        script_ = std::make_shared<ScriptedCaptureService::Script>();
        auto recorder = std::make_unique<SystemAudioRecorder>(
            std::make_unique<ScriptedCaptureService>(script_));
        view_ = std::make_unique<ContentView>(std::move(recorder));
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        stages_ = std::make_unique<QSignalSpy>(view_.get(), &ContentView::stageChanged);
    }

    void cleanup() {
        closeAllAlerts();
        stages_.reset();
        view_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void startsIdleAtTheMinimumSize() {
        QCOMPARE(view_->stageIndex(), 0);
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 0.0}));
        QVERIFY(!view_->isExporting());
        QCOMPARE(view_->minimumSize(), QSize(580, 460));
        QVERIFY(visibleButton(view_.get(), QStringLiteral("Record System Audio")));
    }

    void recordingStageFollowsTheRecorder() {
        click(QStringLiteral("Record System Audio"));
        QTRY_VERIFY(view_->recorder().isRecording());
        QCOMPARE(view_->stageIndex(), 1);
        QVERIFY(visibleButton(view_.get(), QStringLiteral("Stop Recording")));
        QVERIFY(!visibleButton(view_.get(), QStringLiteral("Record System Audio")));
        auto* dot = view_->findChild<PulsingDot*>();
        QVERIFY(dot && dot->isVisible());
        QVERIFY(dot->isPulsing());
        // The clock starts at zero and follows the recorder's ticks.
        auto labels = view_->findChildren<QLabel*>();
        const auto shows = [&](const QString& text) {
            return std::any_of(labels.begin(), labels.end(), [&](QLabel* label) {
                return label->isVisibleTo(view_.get()) && label->text() == text;
            });
        };
        QVERIFY(shows(QStringLiteral("00:00")));
        QTRY_VERIFY_WITH_TIMEOUT(
            (labels = view_->findChildren<QLabel*>(), shows(QStringLiteral("00:01"))), 3000);
    }

    void stopAnalysesAndSelectsTheWholeRecording() {
        startRecording();
        script_->deliver(2.0, 0.5f);
        script_->deliver(0.5, 0.25f);
        click(QStringLiteral("Stop Recording"));
        QTRY_COMPARE(view_->stageIndex(), 3);
        QCOMPARE(visitedStages(), (QList<int>{1, 2, 3}));
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 2.5}));
        QVERIFY(!view_->recorder().errorMessage());
        QCOMPARE(WidgetFinder::openAlertCount(), 0);
        QVERIFY(visibleButton(view_.get(), QStringLiteral("New Recording")));
        QVERIFY(visibleButton(view_.get(), QStringLiteral("Save Trimmed Audio…")));
    }

    void newRecordingGoesBackKeepingEverythingElse() {
        startRecording();
        script_->deliver(1.0, 0.5f);
        click(QStringLiteral("Stop Recording"));
        QTRY_COMPARE(view_->stageIndex(), 3);
        const auto file = view_->recorder().lastRecordingURL();
        click(QStringLiteral("New Recording"));
        QCOMPARE(view_->stageIndex(), 0);
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 1.0}));
        QCOMPARE(view_->recorder().lastRecordingURL(), file);
        QVERIFY(QFile::exists(file->toLocalFile()));

        // And round again, to a recording of its own.
        startRecording();
        script_->deliver(1.5, 0.5f);
        click(QStringLiteral("Stop Recording"));
        QTRY_COMPARE(view_->stageIndex(), 3);
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 1.5}));
        QVERIFY(view_->recorder().lastRecordingURL() != file);
    }

    void failedStartStaysIdleAndOkClearsTheMessage() {
        script_->unreachable = true;
        click(QStringLiteral("Record System Audio"));
        QTRY_VERIFY(openAlert(QStringLiteral("Couldn't record")));
        QMessageBox* alert = openAlert(QStringLiteral("Couldn't record"));
        QCOMPARE(view_->stageIndex(), 0);
        QVERIFY(view_->recorder().errorMessage());
        QCOMPARE(alert->informativeText(), *view_->recorder().errorMessage());
        QCOMPARE(alert->buttons().size(), 1);

        QAbstractButton* ok = alertButton(alert, QStringLiteral("OK"));
        QVERIFY(ok);
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_VERIFY(!openAlert(QStringLiteral("Couldn't record")));
        QVERIFY(!view_->recorder().errorMessage());
        QCOMPARE(view_->stageIndex(), 0);
        QVERIFY(visitedStages().isEmpty());
    }

    void stopWithoutAudioReturnsToIdleWithTheMessage() {
        startRecording();
        click(QStringLiteral("Stop Recording"));
        QTRY_COMPARE(view_->stageIndex(), 0);
        QCOMPARE(visitedStages(), (QList<int>{1, 0}));
        QTRY_VERIFY(openAlert(QStringLiteral("Couldn't record")));
        QCOMPARE(openAlert(QStringLiteral("Couldn't record"))->informativeText(),
                 *view_->recorder().errorMessage());
    }

    void captureEndingByItselfKeepsWhatWasRecorded() {
        startRecording();
        script_->deliver(1.25, 0.5f);
        // Nobody presses stop: the view moves on with the partial file.
        script_->stopByItself(QStringLiteral("The sound server went away."));
        QTRY_COMPARE(view_->stageIndex(), 3);
        QCOMPARE(visitedStages(), (QList<int>{1, 2, 3}));
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 1.25}));
        QTRY_VERIFY(openAlert(QStringLiteral("Couldn't record")));
        QVERIFY(openAlert(QStringLiteral("Couldn't record"))
                    ->informativeText()
                    .contains(QStringLiteral("The sound server went away.")));
    }

    void captureEndingByItselfWithoutAudioGoesIdle() {
        // A finished recording first, so the recorder holds an older file.
        startRecording();
        script_->deliver(1.0, 0.5f);
        click(QStringLiteral("Stop Recording"));
        QTRY_COMPARE(view_->stageIndex(), 3);
        click(QStringLiteral("New Recording"));

        startRecording();
        stages_->clear();
        script_->stopByItself(QStringLiteral("The sound server went away."));
        QTRY_COMPARE(view_->stageIndex(), 0);
        // Never the earlier recording in place of the one that failed.
        QCOMPARE(visitedStages(), (QList<int>{0}));
        QTRY_VERIFY(openAlert(QStringLiteral("Couldn't record")));
    }

    void unreadableRecordingReturnsToIdleSilently() {
        startRecording();
        script_->deliver(1.0, 0.5f);
        // The file vanishes the moment it is published, before the analysis opens it.
        connect(&view_->recorder(), &SystemAudioRecorder::lastRecordingURLChanged, this,
                [](const std::optional<QUrl>& url) {
                    if (url) {
                        QFile::remove(url->toLocalFile());
                    }
                });
        click(QStringLiteral("Stop Recording"));
        QTRY_COMPARE(view_->stageIndex(), 0);
        QCOMPARE(visitedStages(), (QList<int>{1, 2, 0}));
        QCOMPARE(WidgetFinder::openAlertCount(), 0);
        QCOMPARE(view_->trimRange(), (TimeRange{0.0, 0.0}));
    }

    void stageChangesCrossFade() {
        auto* container = view_->findChild<StageContainer*>();
        QVERIFY(container);
        QVERIFY(!container->isFading());
        click(QStringLiteral("Record System Audio"));
        QTRY_COMPARE(view_->stageIndex(), 1);
        QVERIFY(container->isFading());
        QTRY_VERIFY_WITH_TIMEOUT(!container->isFading(), 1000);
    }

    void keyboardStartsAndStopsRecording() {
        QTest::keyClick(view_.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view_->stageIndex(), 1);
        script_->deliver(0.5, 0.5f);
        QTest::keyClick(view_.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view_->stageIndex(), 3);
        QTest::keyClick(view_.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(view_->stageIndex(), 0);
    }

    void elapsedLabelCountsMinutesWithoutCap_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("label");
        QTest::newRow("zero") << 0.0 << "00:00";
        QTest::newRow("just under a second") << 0.999 << "00:00";
        QTest::newRow("just under a minute") << 59.9 << "00:59";
        QTest::newRow("a minute") << 60.0 << "01:00";
        QTest::newRow("past an hour") << 3725.0 << "62:05";
        QTest::newRow("hundred minutes") << 6000.0 << "100:00";
        QTest::newRow("negative reads as zero") << -3.0 << "00:00";
        QTest::newRow("not a number reads as zero") << std::nan("") << "00:00";
    }

    void elapsedLabelCountsMinutesWithoutCap() {
        QFETCH(double, seconds);
        QFETCH(QString, label);
        QCOMPARE(ContentView::elapsedLabel(seconds), label);
    }

    void suggestedNameUsesTheRecordingStart() {
        startRecording();
        script_->deliver(0.5, 0.5f);
        click(QStringLiteral("Stop Recording"));
        QTRY_COMPARE(view_->stageIndex(), 3);
        const QDateTime start = *view_->recorder().lastRecordingDate();
        QCOMPARE(view_->defaultFileName(),
                 QStringLiteral("Recording ") +
                     start.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")));
    }

    void suggestedNameWithoutARecordingUsesNow() {
        const QDateTime before = QDateTime::currentDateTime();
        const QString name = view_->defaultFileName();
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY(name.startsWith(QStringLiteral("Recording ")));
        const QDateTime shown =
            QDateTime::fromString(name.mid(10), QStringLiteral("yyyy-MM-dd HH-mm-ss"));
        QVERIFY(shown.isValid());
        QVERIFY(shown >= before.addMSecs(-before.time().msec()) && shown <= after);
    }
};

QTEST_MAIN(StageFlowTest)
#include "StageFlowTest.moc"
