#include "ReplayTray.h"

#include "MainWindow.h"
#include "TestSupport.h"

#include <QMenu>
#include <QSystemTrayIcon>

// With a tray on the desktop (tests/app/tray/run starts a real one): the replay's icon is there
// while it keeps, says so, and holds its commands; closing the window leaves the app running
// behind it, and stopping from there ends the app.
class ReplayTrayTest : public QObject {
    Q_OBJECT

    static std::unique_ptr<MainWindow> shownWindow() {
        return scriptedView<MainWindow>(std::make_shared<CaptureScript>());
    }
    static QStringList texts(const QMenu* menu) {
        QStringList result;
        for (const QAction* action : menu->actions())
            result << action->text();
        return result;
    }

    // The note Qt shows from a tray icon when no notification service takes it.
    static QWidget* shownNote() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("QBalloonTip") && widget->isVisible())
                return widget;
        }
        return nullptr;
    }
    static void closeNotes() {
        QTRY_VERIFY(shownNote());
        while (QWidget* note = shownNote())
            note->hide();
    }

private slots:
    void initTestCase() {
        QSettings().clear();
        // The tray comes up beside the test.
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    }

    void theIconShowsWhileTheReplayKeeps() {
        auto window = shownWindow();
        ReplayTray* tray = window->replayTray();
        QVERIFY(tray);
        QVERIFY(!tray->icon()->isVisible());
        SystemAudioRecorder& recorder = window->contentView()->recorder();
        recorder.setReplayMinutes(5);
        QVERIFY(tray->icon()->isVisible());
        // Embedded in the tray: it has a place on the screen.
        QTRY_VERIFY(!tray->icon()->geometry().isEmpty());
        QCOMPARE(tray->icon()->toolTip(), QString("Sonabrix — Keeping the last 5 minutes"));
        QCOMPARE(texts(tray->menu()), (QStringList{"Sa&ve Last 5 Minutes", "&Open Sonabrix", "",
                                                   "&Stop Keeping Sound"}));
        // Stopping from the tray while the window is open only stops.
        tray->menu()->actions().last()->trigger();
        QCOMPARE(recorder.replayMinutes(), 0);
        QVERIFY(!tray->icon()->isVisible());
        QVERIFY(window->isVisible());
        // Without the replay, closing closes.
        QVERIFY(window->close());
    }

    void closingLeavesTheAppInTheTray() {
        auto window = shownWindow();
        ReplayTray* tray = window->replayTray();
        window->contentView()->recorder().setReplayMinutes(15);
        QVERIFY(!window->close());
        QVERIFY(!openAlert());
        QVERIFY(!window->isVisible() && window->isInBackground());
        QVERIFY(tray->icon()->isVisible());
        // A save that fails out of sight brings the window up with its message.
        tray->menu()->actions().first()->trigger();
        QTRY_VERIFY(window->isVisible());
        QTRY_VERIFY(openAlert("Couldn't save the kept sound"));
        closeAlerts();
        QVERIFY(!window->close());
        // The icon's Open brings the window back, as its click does.
        tray->menu()->actions()[1]->trigger();
        QVERIFY(window->isVisible() && !window->isInBackground());
        emit tray->icon()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(window->isVisible());
    }

    // Saved while the window is closed: the recording opens behind it, a note from the icon
    // says so, and clicking the note brings the window with it.
    void aSaveInTheBackgroundIsToldByTheIcon() {
        auto script = std::make_shared<CaptureScript>();
        auto window = scriptedView<MainWindow>(script);
        SystemAudioRecorder& recorder = window->contentView()->recorder();
        recorder.setReplayMinutes(1);
        QTRY_VERIFY(recorder.isReplayListening());
        script->deliver(2.0, 0.5f);
        QTRY_VERIFY(recorder.replayKeptSeconds() >= 2.0);
        QVERIFY(!window->close());
        closeNotes(); // the one about running on in the tray

        window->replayTray()->menu()->actions().first()->trigger();
        QTRY_COMPARE(window->contentView()->stageKind(), Stage::Kind::recorded);
        QVERIFY(!window->isVisible());
        QWidget* note = nullptr;
        QTRY_VERIFY((note = shownNote()));
        QStringList said;
        for (const QLabel* label : note->findChildren<QLabel*>())
            said << label->text();
        QVERIFY2(said.contains("Saved the last 00:02 as a new recording"),
                 qPrintable(said.join('|')));
        QTest::mouseClick(note, Qt::LeftButton, {}, QPoint(note->width() / 2, note->height() - 8));
        QTRY_VERIFY(window->isVisible());
        QVERIFY(!window->isInBackground());
    }

    // Last: it runs the application's event loop to its end.
    void stoppingFromTheBackgroundEndsTheApp() {
        QGuiApplication::setQuitOnLastWindowClosed(true);
        auto window = shownWindow();
        window->contentView()->recorder().setReplayMinutes(1);
        QVERIFY(!window->close());
        QTimer::singleShot(0, window.get(),
                           [&] { window->replayTray()->menu()->actions().last()->trigger(); });
        // Should the app outlive the replay, this ends the loop with a failure code instead.
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(window->contentView()->recorder().replayMinutes(), 0);
    }
};

QTEST_MAIN(ReplayTrayTest)
#include "ReplayTrayTest.moc"
