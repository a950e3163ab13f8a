#include "MainWindow.h"
#include "SaveFlow.h"
#include "TestSupport.h"
#include "TrimHandle.h"
#include "TrimView.h"

// One user's whole road without a mouse, on the private sound server: record, stop, trim with
// Home/End and the arrows, play, save, and back to the start, every key sent to whatever holds
// the focus at that moment.
class KeyboardJourneyTest : public QObject {
    Q_OBJECT

    MainWindow* window_ = nullptr;

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = window_->focusWidget();
        QVERIFY2(target, "nothing holds the keyboard focus");
        QTest::keyClick(target, key, modifiers);
    }

private slots:
    void initTestCase() {
        QVERIFY(qEnvironmentVariableIsSet("PULSE_SERVER"));
        QVERIFY(testFolder().isValid());
    }

    void recordTrimPlaySaveAndStartOverByKeys() {
        const QString sound = testFolder().filePath("tone.wav");
        QVERIFY(run("ffmpeg",
                    {"-v", "error", "-f", "lavfi", "-i",
                     "sine=frequency=440:sample_rate=48000:duration=3", "-ac", "2", "-y", sound}));
        MainWindow window;
        window_ = &window;
        const QString destination = testFolder().filePath("by-keys.m4a");
        ContentView* view = window.contentView();
        view->saveFlow().setDestinationProvider(
            [&](const QString&) { return std::optional(QUrl::fromLocalFile(destination)); });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        press(Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(view->stageKind(), Stage::Kind::recording, 10000);
        QVERIFY(run("paplay", {sound}));
        press(Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(view->stageKind(), Stage::Kind::recorded, 15000);
        const double duration = view->trimRange().upper;
        QVERIFY2(duration >= 3.0, qPrintable(QString::number(duration)));

        // The start handle has the keys: a second in, then the end handle to the end.
        auto* start = qobject_cast<TrimHandle*>(window.focusWidget());
        QVERIFY(start);
        press(Qt::Key_End);
        QCOMPARE(view->trimRange().lower, duration - 0.05);
        press(Qt::Key_Home);
        QCOMPARE(view->trimRange().lower, 0.0);
        press(Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(view->trimRange().lower, 1.0);
        press(Qt::Key_Tab);
        QVERIFY(window.focusWidget() != start && qobject_cast<TrimHandle*>(window.focusWidget()));
        press(Qt::Key_Home);
        QCOMPARE(view->trimRange().upper, 1.05);
        press(Qt::Key_End);
        QCOMPARE(view->trimRange(), (TimeRange{1.0, duration}));

        auto* trimView = window.findChild<TrimView*>();
        press(Qt::Key_Space);
        QTRY_VERIFY(trimView->player().isPlaying());
        press(Qt::Key_Space);
        QTRY_VERIFY(!trimView->player().isPlaying());

        press(Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!view->saveFlow().isExporting(), 20000);
        QVERIFY(!view->saveFlow().error());
        const auto [codec, seconds] = probe(destination);
        QCOMPARE(codec, QString("aac"));
        QVERIFY2(std::abs(seconds - (duration - 1.0)) < 0.1, qPrintable(QString::number(seconds)));

        press(Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(view->stageKind(), Stage::Kind::idle);
        QCOMPARE(window.focusWidget()->accessibleName(), QString("Record System Audio"));
        // Space on the focused button starts the next recording; there the focused Pause button
        // pauses and resumes, and Return on the Stop button, a Tab away, stops.
        press(Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(view->stageKind(), Stage::Kind::recording, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(view->recorder().isRecording(), 10000);
        press(Qt::Key_Space);
        QVERIFY(view->recorder().isPaused());
        press(Qt::Key_Space);
        QVERIFY(!view->recorder().isPaused());
        press(Qt::Key_Tab);
        QCOMPARE(window.focusWidget()->accessibleName(), QString("Stop Recording"));
        press(Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(view->stageKind() != Stage::Kind::recording, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!view->recorder().isRecording(), 10000);
    }
};

QTEST_MAIN(KeyboardJourneyTest)
#include "KeyboardJourneyTest.moc"
