#include "AppDelegate.h"
#include "ContentView.h"
#include "MainWindow.h"
#include "ScriptedCaptureService.h"
#include "WidgetFinder.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QtTest>

// The window: its menu, its smallest size, and quitting when it closes.
class WindowTest : public QObject {
    Q_OBJECT

private:
    static std::unique_ptr<MainWindow> makeWindow() {
        auto script = std::make_shared<ScriptedCaptureService::Script>();
        return std::make_unique<MainWindow>(std::make_unique<SystemAudioRecorder>(
            std::make_unique<ScriptedCaptureService>(script)));
    }

private slots:
    void applicationMenuHoldsItsCommandsInOrder() {
        auto window = makeWindow();
        const QList<QAction*> menus = window->menuBar()->actions();
        QCOMPARE(menus.size(), 1);
        QCOMPARE(menus.first()->text(), QStringLiteral("Sonabrix"));
        const QList<QAction*> items = menus.first()->menu()->actions();
        QCOMPARE(items.size(), 4);
        QCOMPARE(items[0]->text(), QStringLiteral("About Sonabrix"));
        QCOMPARE(items[0]->menuRole(), QAction::AboutRole);
        QCOMPARE(items[1]->text(), QStringLiteral("Check for Updates…"));
        QCOMPARE(items[1]->menuRole(), QAction::ApplicationSpecificRole);
        QVERIFY(!items[1]->icon().isNull());
        QVERIFY(items[1]->isEnabled());
        QVERIFY(items[2]->isSeparator());
        QCOMPARE(items[3]->text(), QStringLiteral("Quit Sonabrix"));
        QCOMPARE(items[3]->menuRole(), QAction::QuitRole);
        QCOMPARE(items[3]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    }

    void windowCannotShrinkBelowTheContentMinimum() {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->resize(200, 150);
        QTRY_VERIFY(window->contentView()->width() >= ContentView::minimumWidth);
        QVERIFY(window->contentView()->height() >= ContentView::minimumHeight);
        window->resize(900, 700);
        QTRY_COMPARE(window->size(), QSize(900, 700));
    }

    void closingWhileRecordingAsksFirst() {
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->contentView()->recorder().start();
        QTRY_VERIFY(window->contentView()->recorder().isRecording());

        const auto answerWith = [](const QString& choice) {
            QTimer::singleShot(50, [choice] {
                QMessageBox* box =
                    WidgetFinder::openAlert(QStringLiteral("A recording is running"));
                QVERIFY(box);
                QTest::mouseClick(WidgetFinder::alertButton(box, choice), Qt::LeftButton);
            });
        };
        answerWith(QStringLiteral("Keep Recording"));
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
        QVERIFY(window->contentView()->recorder().isRecording());

        answerWith(QStringLiteral("Quit"));
        QVERIFY(window->close());
    }

    // Last: it runs the application's event loop to its end.
    void closingTheWindowEndsTheApplication() {
        AppDelegate delegate;
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTimer::singleShot(0, window.get(), [&] { window->close(); });
        // Should the app outlive its window, this ends the loop with a failure code instead.
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
