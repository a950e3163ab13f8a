#include "BuildConfig.h"
#include "MainWindow.h"
#include "TestSupport.h"

#include <QMenu>
#include <QMenuBar>
#include <QScreen>

// The window: its menu, its smallest size, and quitting when it closes.
class WindowTest : public QObject {
    Q_OBJECT

    static std::unique_ptr<MainWindow> shownWindow() {
        return scriptedView<MainWindow>(std::make_shared<CaptureScript>());
    }

private slots:
    static QStringList texts(const QList<QAction*>& actions) {
        QStringList result;
        for (const QAction* action : actions) {
            result << action->text();
        }
        return result;
    }

    // Items of a menu whose mnemonic letter an earlier item already has.
    static QStringList repeatedMnemonics(const QMenu* menu) {
        QStringList repeated;
        QSet<QChar> letters;
        for (const QString& text : texts(menu->actions())) {
            if (!text.isEmpty()) {
                const QChar letter = text.at(text.indexOf('&') + 1).toLower();
                if (letters.contains(letter)) {
                    repeated << text;
                }
                letters.insert(letter);
            }
        }
        return repeated;
    }

    void menusHoldTheirCommandsWithMnemonicsAndStandardKeys() {
        auto window = shownWindow();
        const QList<QAction*> menus = window->menuBar()->actions();
        QCOMPARE(texts(menus), (QStringList{"&File", "&Help"}));
        const QList<QAction*> file = menus[0]->menu()->actions();
        QCOMPARE(
            texts(file),
            (QStringList{"&New Recording", "&Record System Audio", "&Pause Recording", "",
                         "&Keep the Last", "Sa&ve Last 5 Minutes", "Start Afresh After Sav&ing", "",
                         "P&lay Selection\tSpace", "&Auto-Trim Silence", "&Save Trimmed Audio…", "",
                         "&Open Recording\tReturn", "Rena&me Recording…\tF2", "Show in &Folder",
                         "Move to Tras&h…\tDel", "", "&Quit"}));
        QCOMPARE(file[0]->shortcut(), QKeySequence(QKeySequence::New));
        QCOMPARE(file[1]->shortcut(), QKeySequence("Ctrl+R"));
        QCOMPARE(file[2]->shortcut(), QKeySequence("Ctrl+P"));
        QCOMPARE(file[9]->shortcut(), QKeySequence("Ctrl+T"));
        QCOMPARE(file[10]->shortcut(), QKeySequence(QKeySequence::Save));
        QCOMPARE(file[17]->shortcut(), QKeySequence(QKeySequence::Quit));
        QCOMPARE(file[17]->menuRole(), QAction::QuitRole);
        // One look for every item: none has an icon where the others have none.
        for (const QAction* menu : menus) {
            for (const QAction* item : menu->menu()->actions()) {
                QVERIFY2(item->icon().isNull(), qPrintable(item->text()));
            }
        }
        const QList<QAction*> help = menus[1]->menu()->actions();
        QStringList helpTexts{"&Keyboard Shortcuts", "", "&About Sonabrix"};
#if SONABRIX_UPDATER
        helpTexts << "Check for &Updates…";
#endif
        QCOMPARE(texts(help), helpTexts);
        QCOMPARE(help[0]->shortcut(), QKeySequence(Qt::Key_F1));
        QCOMPARE(help[2]->menuRole(), QAction::AboutRole);
        for (const QAction* menu : menus) {
            QVERIFY2(repeatedMnemonics(menu->menu()).isEmpty(),
                     qPrintable(repeatedMnemonics(menu->menu()).join(", ")));
        }
    }

    void fileCommandsFollowTheStage() {
        auto script = std::make_shared<CaptureScript>();
        auto window = scriptedView<MainWindow>(script);
        ContentView* view = window->contentView();
        QAction* record = view->recordAction();
        QVERIFY(record->isEnabled());
        QVERIFY(!view->saveAction()->isEnabled() && !view->newRecordingAction()->isEnabled());
        QCOMPARE(window->accessibleName(), QString("Sonabrix"));

        record->trigger();
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recording);
        QCOMPARE(record->text(), QString("S&top Recording"));
        QVERIFY(repeatedMnemonics(window->menuBar()->actions().first()->menu()).isEmpty());
        // The running time is in the title, so a minimized window still shows it.
        QVERIFY2(window->windowTitle().startsWith("Recording 00:0"),
                 qPrintable(window->windowTitle()));
        QCOMPARE(window->accessibleName(), QString("Recording — Sonabrix"));
        script->deliver(1.0, 0.5f);
        record->trigger();
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recorded);
        QCOMPARE(record->text(), QString("&Record System Audio"));
        QCOMPARE(window->accessibleName(), QString("Sonabrix"));
        QVERIFY(view->saveAction()->isEnabled() && view->newRecordingAction()->isEnabled());

        QVERIFY(view->playAction()->isEnabled() && view->autoTrimAction()->isEnabled());
        QVERIFY(!view->pauseAction()->isEnabled() && !view->renameAction()->isEnabled());

        view->newRecordingAction()->trigger();
        QCOMPARE(view->stageKind(), Stage::Kind::idle);
        QVERIFY(!view->saveAction()->isEnabled());
        QVERIFY(!view->playAction()->isEnabled() && !view->autoTrimAction()->isEnabled());
        // The recording just left is selected in the list, so the list's commands act on it.
        for (QAction* command : {view->openRecordingAction(), view->renameAction(),
                                 view->showInFolderAction(), view->trashAction()}) {
            QVERIFY2(command->isEnabled(), qPrintable(command->text()));
        }
        // Opened again from the menu, as Enter opens it in the list.
        view->openRecordingAction()->trigger();
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recorded);
        QVERIFY(!view->openRecordingAction()->isEnabled());
        view->newRecordingAction()->trigger();
        QCOMPARE(view->stageKind(), Stage::Kind::idle);

        // Pause from the menu, and its name says what it will do.
        record->trigger();
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recording);
        QVERIFY(view->pauseAction()->isEnabled() && !view->renameAction()->isEnabled());
        view->pauseAction()->trigger();
        QVERIFY(view->recorder().isPaused());
        QCOMPARE(view->pauseAction()->text(), QString("Res&ume Recording"));
        QVERIFY2(window->windowTitle().startsWith("Paused 00:0"),
                 qPrintable(window->windowTitle()));
        QCOMPARE(window->accessibleName(), QString("Paused — Sonabrix"));
        QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(!view->recorder().isPaused());
        QCOMPARE(view->pauseAction()->text(), QString("&Pause Recording"));
        script->deliver(2.0, 0.0f);
        script->deliver(1.0, 0.5f);
        record->trigger();
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recorded);
        // Auto-trim from its key: the silence at the start goes.
        QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
        QTRY_VERIFY(view->trimRange().lower > 1.5);
    }

    // Every command of the menus, and every key the app answers, is on the list F1 shows.
    void theShortcutListNamesEveryCommandsKeys() {
        auto window = shownWindow();
        QStringList listed;
        for (const auto& row : window->keyboardShortcuts()) {
            listed << row.keys;
        }
        const QString all = listed.join('\n');
        for (const QAction* menu : window->menuBar()->actions()) {
            for (const QAction* item : menu->menu()->actions()) {
                const QString keys = item->text().contains('\t')
                                         ? item->text().section('\t', 1)
                                         : item->shortcut().toString(QKeySequence::NativeText);
                QVERIFY2(keys.isEmpty() || all.contains(keys), qPrintable(item->text()));
            }
        }
        for (const char* keys : {"Ctrl+=", "Ctrl+-", "Ctrl+0", "F1", "F2", "Del", "Return", "Enter",
                                 "Space", "Ctrl+P", "Ctrl+T", "F10", "Home"}) {
            QVERIFY2(all.contains(keys), keys);
        }
        // Each description says something of its own.
        QStringList meanings;
        for (const auto& row : window->keyboardShortcuts()) {
            QVERIFY2(!meanings.contains(row.meaning), qPrintable(row.meaning));
            meanings << row.meaning;
        }
    }

    void keysOpenTheMenuBarAndTheShortcutList() {
        auto window = shownWindow();
        QMenu* file = window->menuBar()->actions().first()->menu();
        QTest::keyClick(window.get(), Qt::Key_F10);
        QTRY_VERIFY(file->isVisible());
        QTest::keyClick(file, Qt::Key_Escape);
        QTRY_VERIFY(!file->isVisible());
        QMenu* help = window->menuBar()->actions().last()->menu();
        QTest::keyClick(window.get(), Qt::Key_H, Qt::AltModifier);
        QTRY_VERIFY(help->isVisible());
        QTest::keyClick(help, Qt::Key_Escape);
        QTRY_VERIFY(!help->isVisible());

        QString listed;
        QTimer::singleShot(50, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                if (auto* list = dialog->findChild<QLabel*>("keyboardShortcutList")) {
                    listed = list->text();
                }
                dialog->reject();
            }
        });
        QTest::keyClick(window.get(), Qt::Key_F1);
        QVERIFY2(listed.contains("Ctrl+R") && listed.contains("Home or End") &&
                     listed.contains("F10"),
                 qPrintable(listed));
    }

    // In the app's one settings file, with its other choices.
    void sizeAndPlaceComeBackInTheNextRun() {
        const QString file = QFileInfo(QSettings().fileName()).absoluteFilePath();
        QVERIFY2(file.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")), qPrintable(file));
        QFile::remove(file);
        // Inside the screen: from Qt 6.8 on, a restored window that wouldn't fit is moved and
        // shrunk onto it, as it should be on a desktop.
        const QRect placed(QPoint(64, 48), QSize(640, 500));
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(
            placed.adjusted(-8, -32, 8, 8)));
        {
            auto window = shownWindow();
            window->setGeometry(placed);
            QTRY_COMPARE(window->geometry(), placed);
            QVERIFY(window->close());
        }
        QVERIFY(QFile::exists(file));
        auto window = shownWindow();
        QCOMPARE(window->geometry(), placed);
    }

    // Versions before kept the window's size and place in a file of their own: taken over.
    void sizeAndPlaceOfAnEarlierVersionAreTakenOver() {
        QFile::remove(QSettings().fileName());
        const QRect placed(QPoint(80, 60), QSize(620, 480));
        {
            auto window = shownWindow();
            window->setGeometry(placed);
            QTRY_COMPARE(window->geometry(), placed);
            const QByteArray geometry = window->saveGeometry();
            window->hide();
            QSettings earlier(QSettings::NativeFormat, QSettings::UserScope, "Sonabrix",
                              "Sonabrix");
            earlier.setValue("window/geometry", geometry);
            earlier.setValue("window/size", placed.size());
        }
        QFile::remove(QSettings().fileName());
        auto window = shownWindow();
        QCOMPARE(window->geometry(), placed);
        QVERIFY(QSettings().contains("window/geometry"));
    }

    // The smallest size is the whole window's, menu bar included.
    void windowCannotShrinkBelowItsSmallestSize() {
        auto window = shownWindow();
        window->resize(200, 150);
        QTRY_COMPARE(window->size(), QSize(580, 460));
        QCOMPARE(window->menuBar()->geometry().bottom() + 1, window->contentView()->y());
        // A larger font makes the menu bar taller; the content gives up the difference.
        const int menuHeight = window->menuBar()->height();
        QFont larger = window->font();
        larger.setPointSizeF(larger.pointSizeF() * 1.5);
        window->setFont(larger);
        window->resize(200, 150);
        QTRY_VERIFY(window->menuBar()->height() > menuHeight);
        QTRY_COMPARE(window->size(), QSize(580, 460));
        window->resize(900, 700);
        QTRY_COMPARE(window->size(), QSize(900, 700));
    }

    // The question before quitting looks like every other alert: a bold heading, the app's icon.
    void theQuitQuestionHasTheAlertsLook() {
        auto window = shownWindow();
        SystemAudioRecorder& recorder = window->contentView()->recorder();
        recorder.start();
        QTRY_VERIFY(recorder.isRecording());
        QFont heading;
        QMessageBox::Icon icon = QMessageBox::Question;
        QTimer::singleShot(50, [&] {
            QMessageBox* question = openAlert("A recording is running");
            if (!question)
                return;
            heading = question->findChild<QLabel*>("qt_msgbox_label")->font();
            icon = question->icon();
            click(question, "Keep Recording");
        });
        QVERIFY(!window->close());
        QVERIFY2(heading.bold(), qPrintable(QString::number(heading.weight())));
        QCOMPARE(icon, QMessageBox::NoIcon); // a picture of its own rather than a stock sign
        recorder.stop();
        QTRY_VERIFY(!recorder.isRecording());
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
