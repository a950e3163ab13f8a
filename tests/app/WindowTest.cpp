#include "MainWindow.h"
#include "TestSupport.h"

#include <QMenu>
#include <QMenuBar>

// The window: its menu, its smallest size, and quitting when it closes.
class WindowTest : public QObject {
    Q_OBJECT

    static std::unique_ptr<MainWindow> shownWindow() {
        return scriptedView<MainWindow>(std::make_shared<CaptureScript>());
    }

private slots:
    void applicationMenuHoldsItsCommandsInOrder() {
        auto window = shownWindow();
        const QList<QAction*> menus = window->menuBar()->actions();
        QCOMPARE(menus.size(), 1);
        QCOMPARE(menus[0]->text(), QString("Sonabrix"));
        const QList<QAction*> items = menus[0]->menu()->actions();
        QStringList texts;
        for (QAction* item : items) {
            texts << item->text();
        }
        QCOMPARE(texts, (QStringList{"About Sonabrix", "Check for Updates…", "", "Quit Sonabrix"}));
        QCOMPARE(items[0]->menuRole(), QAction::AboutRole);
        QCOMPARE(items[3]->menuRole(), QAction::QuitRole);
        QCOMPARE(items[3]->shortcut(), QKeySequence("Ctrl+Q"));
    }

    void windowCannotShrinkBelowTheContentMinimum() {
        auto window = shownWindow();
        QCOMPARE(window->contentView()->minimumSize(), QSize(580, 460));
        window->resize(200, 150);
        QTRY_VERIFY(window->contentView()->width() >= 580 &&
                    window->contentView()->height() >= 460);
        window->resize(900, 700);
        QTRY_COMPARE(window->size(), QSize(900, 700));
    }

    // Last: it runs the application's event loop to its end.
    void closingAsksWhileRecordingAndThenEndsTheApplication() {
        QGuiApplication::setQuitOnLastWindowClosed(true);
        auto window = shownWindow();
        SystemAudioRecorder& recorder = window->contentView()->recorder();
        recorder.start();
        QTRY_VERIFY(recorder.isRecording());
        const auto answerWith = [](const char* choice) {
            QTimer::singleShot(50,
                               [choice] { click(openAlert("A recording is running"), choice); });
        };
        answerWith("Keep Recording");
        QVERIFY(!window->close());
        QVERIFY(window->isVisible() && recorder.isRecording());
        answerWith("Quit");
        QTimer::singleShot(0, window.get(), [&] { window->close(); });
        // Should the app outlive its window, this ends the loop with a failure code instead.
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
