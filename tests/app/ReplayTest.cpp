#include "EditorModel.h"
#include "IdleStageView.h"
#include "LaunchOptions.h"
#include "MainWindow.h"
#include "RecordingLibrary.h"
#include "RecordingsFolder.h"
#include "ReplayActions.h"
#include "ReplaySaving.h"
#include "StatusNote.h"
#include "TestSupport.h"

#include <QMenu>
#include <QMenuBar>

// Keeping the last minutes of sound, from the app's side: the switch on the start screen and in
// the File menu, remembered across launches; saving, and what a failed save says; the window's
// title; closing while it keeps, on a desktop without a tray; and the command line.
class ReplayTest : public QObject {
    Q_OBJECT

    static std::unique_ptr<MainWindow> shownWindow() {
        return scriptedView<MainWindow>(std::make_shared<CaptureScript>());
    }
    static IdleStageView* startScreen(const MainWindow& window) {
        return window.findChild<IdleStageView*>();
    }
    static QMenu* fileMenu(const MainWindow& window) {
        return window.menuBar()->actions().first()->menu();
    }
    static QAction* item(const QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }
    static QStringList checked(const QMenu* menu) {
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            if (action->isChecked())
                texts << action->text();
        }
        return texts;
    }

    // Answers the next question with this title by clicking one of its buttons.
    static void answerWith(const QString& title, const QString& choice) {
        QTimer::singleShot(50, [title, choice] { click(openAlert(title), choice); });
    }

private slots:
    void init() { QSettings().clear(); }
    void cleanup() { closeAlerts(); }

    void theSwitchIsRememberedAndReachesTheRecorder() {
        {
            auto window = shownWindow();
            SystemAudioRecorder& recorder = window->contentView()->recorder();
            IdleStageView* screen = startScreen(*window);
            QCOMPARE(recorder.replayMinutes(), 0);
            QVERIFY(!screen->replaySwitch()->isChecked());
            QVERIFY(!screen->saveReplayButton()->isVisible());
            QCOMPARE(screen->replayNote(), QString());

            // On, with the length shown (five minutes at first), then another length.
            QCOMPARE(screen->replayLength()->currentText(), QString("5 minutes"));
            QTest::mouseClick(screen->replaySwitch(), Qt::LeftButton, {},
                              QPoint(8, screen->replaySwitch()->height() / 2));
            QCOMPARE(recorder.replayMinutes(), 5);
            QCOMPARE(screen->replayNote(),
                     QString("Keeping the last 5 minutes of sound in memory."));
            QVERIFY(visibleButton(window.get(), "Save Last 5 Minutes"));
            screen->replayLength()->setCurrentIndex(screen->replayLength()->findText("15 minutes"));
            emit screen->replayLength()->activated(screen->replayLength()->currentIndex());
            QCOMPARE(recorder.replayMinutes(), 15);
            QVERIFY(visibleButton(window.get(), "Save Last 15 Minutes"));
            QCOMPARE(QSettings().value("replay/minutes").toInt(), 15);

            // A program chosen is named; the menu shows the same length.
            window->contentView()->flow().chooseProgram(CaptureProgram{"Radio", "radio", ""});
            QCOMPARE(screen->replayNote(),
                     QString("Keeping the last 15 minutes of what “Radio” plays in memory."));
            window->contentView()->flow().chooseProgram(std::nullopt);
            QMenu* keep = item(fileMenu(*window), "&Keep the Last")->menu();
            QCOMPARE(checked(keep), QStringList{"15 Minutes"});
        }
        // The next launch keeps the same length from its start.
        {
            auto window = shownWindow();
            SystemAudioRecorder& recorder = window->contentView()->recorder();
            IdleStageView* screen = startScreen(*window);
            QCOMPARE(recorder.replayMinutes(), 15);
            QVERIFY(screen->replaySwitch()->isChecked());
            QCOMPARE(screen->replayLength()->currentText(), QString("15 minutes"));

            // Off from the menu: the start screen follows, and still offers the length last
            // chosen to switch it on again with.
            QMenu* keep = item(fileMenu(*window), "&Keep the Last")->menu();
            item(keep, "&Off")->trigger();
            QCOMPARE(recorder.replayMinutes(), 0);
            QVERIFY(!screen->replaySwitch()->isChecked());
            QCOMPARE(screen->replayLength()->currentText(), QString("15 minutes"));
            QCOMPARE(QSettings().value("replay/minutes").toInt(), 0);
            screen->replaySwitch()->click();
            QCOMPARE(recorder.replayMinutes(), 15);
            item(keep, "1 Minute")->trigger();
            QCOMPARE(screen->replayNote(), QString("Keeping the last minute of sound in memory."));
        }
        // A length the app doesn't offer, written into the settings by hand, leaves it off.
        QSettings().setValue("replay/minutes", 7);
        auto window = shownWindow();
        QCOMPARE(window->contentView()->recorder().replayMinutes(), 0);
    }

    void menuItemsTheirKeysAndTheTitleFollowTheReplay() {
        auto window = shownWindow();
        SystemAudioRecorder& recorder = window->contentView()->recorder();
        QMenu* file = fileMenu(*window);
        QAction* keep = item(file, "&Keep the Last");
        QVERIFY(keep && keep->menu());
        QCOMPARE(file->actions().indexOf(keep),
                 file->actions().indexOf(window->contentView()->pauseAction()) + 2);
        QStringList lengths;
        for (const QAction* length : keep->menu()->actions())
            lengths << length->text();
        QCOMPARE(lengths,
                 (QStringList{"&Off", "1 Minute", "5 Minutes", "15 Minutes", "30 Minutes"}));
        QCOMPARE(checked(keep->menu()), QStringList{"&Off"});

        // Saving is there, greyed, while nothing is kept; its key is the one listed under F1.
        QAction* save = item(file, "Sa&ve Last 5 Minutes");
        QVERIFY(save);
        QCOMPARE(save->shortcut(), QKeySequence("Ctrl+Shift+S"));
        QVERIFY(!save->isEnabled());
        bool listed = false;
        for (const auto& [keys, meaning] : window->keyboardShortcuts())
            listed = listed || (keys == "Ctrl+Shift+S" && meaning.contains("Save the last"));
        QVERIFY(listed);
        QCOMPARE(window->windowTitle(), QString("Sonabrix"));

        item(keep->menu(), "30 Minutes")->trigger();
        QCOMPARE(recorder.replayMinutes(), 30);
        QCOMPARE(save->text(), QString("Sa&ve Last 30 Minutes"));
        QVERIFY(save->isEnabled());
        QCOMPARE(window->windowTitle(), QString("Sonabrix — Keeping the last 30 minutes"));
        QCOMPARE(window->accessibleName(), window->windowTitle());
        // A recording shows its time there instead, and the replay's line comes back after.
        recorder.start();
        QTRY_COMPARE(window->windowTitle(), QString("Recording 00:00"));
        recorder.stop();
        QTRY_COMPARE(window->contentView()->stageKind(), Stage::Kind::idle);
        QCOMPARE(window->windowTitle(), QString("Sonabrix — Keeping the last 30 minutes"));

        // Starting afresh is a choice of its own, remembered.
        QAction* afresh = item(file, "Start Afresh After Sav&ing");
        QVERIFY(afresh && afresh->isCheckable() && !afresh->isChecked());
        afresh->trigger();
        QVERIFY(QSettings().value("replay/startAfresh").toBool());
        window.reset();
        window = shownWindow();
        QVERIFY(item(fileMenu(*window), "Start Afresh After Sav&ing")->isChecked());
    }

    // What the recorder answers when it has nothing to save reaches the user in an alert, from
    // the key and from the start screen's button alike; with the replay off the app says so.
    void aSaveThatFailsSaysWhy() {
        auto window = shownWindow();
        ContentView* view = window->contentView();
        view->flow().saveReplay();
        QTRY_VERIFY(openAlert("Couldn't save the kept sound"));
        QCOMPARE(openAlert()->informativeText(),
                 QString("Nothing is kept to save: switch on “Keep the last … minutes” first."));
        closeAlerts();

        view->recorder().setReplayMinutes(1);
        QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY(openAlert("Couldn't save the kept sound"));
        QCOMPARE(openAlert()->informativeText(), QString("Nothing has been kept yet to save."));
        closeAlerts();
        click(window.get(), "Save Last Minute");
        QTRY_VERIFY(openAlert("Couldn't save the kept sound"));
        QCOMPARE(view->stageKind(), Stage::Kind::idle);
    }

    // Through the real recorder and what it keeps, over the scripted capture: a save opens in
    // the editor as a stopped recording does, listed from when its sound began; one during a
    // recording waits in the list and leaves the recording screen as it is.
    void aSavedReplayOpensInTheEditorOrWaitsInTheList() {
        auto script = std::make_shared<CaptureScript>();
        auto window = scriptedView<MainWindow>(script);
        ContentView* view = window->contentView();
        SystemAudioRecorder& recorder = view->recorder();
        recorder.setReplayMinutes(1);
        QTRY_VERIFY(recorder.isReplayListening());
        // Three seconds that played in the three seconds up to now, as the server tells it.
        const qint64 nowUs = monotonicNowUs();
        for (int second = 0; second < 3; ++second)
            script->deliver(1.0, 0.5f, nowUs - (3 - second) * 1'000'000);
        QTRY_VERIFY(recorder.replayKeptSeconds() >= 3.0);

        click(window.get(), "Save Last Minute");
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recorded);
        QCOMPARE(view->statusNote()->text(), QString("Saved the last 00:03 as a new recording."));
        const QString saved = view->flow().editor()->sourcePath();
        QCOMPARE(view->flow().editor()->durationSeconds(), 3.0);
        // Listed from when its sound began, three seconds before the save, rather than from when
        // its file was written.
        const QList<Recording> listed = RecordingLibrary::scan(RecordingsFolder::path());
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed[0].path, saved);
        const qint64 beforeFile = listed[0].date.msecsTo(QFileInfo(saved).lastModified());
        QVERIFY2(beforeFile >= 2900 && beforeFile < 10000, qPrintable(QString::number(beforeFile)));

        // During a recording: the key saves, the recording screen stays.
        view->newRecordingAction()->trigger();
        view->recordAction()->trigger();
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recording);
        script->deliver(1.0, 0.5f);
        QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(view->statusNote()->text(),
                     QString("Saved the last 00:04 to your recordings."));
        QCOMPARE(view->stageKind(), Stage::Kind::recording);
        QCOMPARE(RecordingLibrary::scan(RecordingsFolder::path()).size(), 3);
        view->recordAction()->trigger();
        QTRY_COMPARE(view->stageKind(), Stage::Kind::recorded);
        QVERIFY(view->flow().editor()->sourcePath() != saved);

        // Starting afresh: what was saved isn't saved again.
        view->replayActions()->startAfreshAction()->trigger();
        view->replayActions()->saveAction()->trigger();
        QTRY_VERIFY(view->statusNote()->text().startsWith("Saved the last 00:0"));
        QTRY_COMPARE(recorder.replayKeptSeconds(), 0.0);
        view->replayActions()->saveAction()->trigger();
        QTRY_VERIFY(openAlert("Couldn't save the kept sound"));
        QCOMPARE(openAlert()->informativeText(), QString("Nothing has been kept yet to save."));
    }

    // The sound server out of reach: the start screen tells why nothing is kept, and goes back
    // to saying what it keeps once the server answers again.
    void theStartScreenShowsWhyNothingIsKept() {
        auto script = std::make_shared<CaptureScript>();
        script->unreachable = true;
        auto window = scriptedView<MainWindow>(script);
        SystemAudioRecorder& recorder = window->contentView()->recorder();
        IdleStageView* screen = startScreen(*window);
        recorder.setReplayMinutes(5);
        QTRY_VERIFY(recorder.replayProblem());
        QCOMPARE(screen->replayNote(), *recorder.replayProblem());
        QVERIFY(!recorder.isReplayListening());
        script->unreachable = false;
        QTRY_VERIFY_WITH_TIMEOUT(recorder.isReplayListening(),
                                 SystemAudioRecorder::replayRetryMs + 5000);
        QTRY_COMPARE(screen->replayNote(),
                     QString("Keeping the last 5 minutes of sound in memory."));
    }

    // The offscreen desktop has no tray, as some desktops haven't: closing asks, and each
    // answer does what it says.
    void closingWithoutATrayAsksWhatToDo() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        auto window = shownWindow();
        QVERIFY(!window->replayTray());
        SystemAudioRecorder& recorder = window->contentView()->recorder();
        recorder.setReplayMinutes(5);
        const QString question = "Keep the last 5 minutes after closing?";

        QString explained;
        QTimer::singleShot(50, [&] {
            if (QMessageBox* box = openAlert(question))
                explained = box->informativeText();
        });
        answerWith(question, "Cancel");
        QVERIFY(!window->close());
        QVERIFY(window->isVisible() && !window->isInBackground());
        QVERIFY2(explained.contains("“sonabrix”"), qPrintable(explained));

        answerWith(question, "Keep Running");
        QVERIFY(!window->close());
        QVERIFY(!window->isVisible() && window->isInBackground());
        QCOMPARE(recorder.replayMinutes(), 5);
        // Starting Sonabrix again brings it back.
        window->bringToFront();
        QVERIFY(window->isVisible() && !window->isInBackground());

        answerWith(question, "Stop and Quit");
        QVERIFY(window->close());
        QVERIFY(!window->isVisible());
        QCOMPARE(recorder.replayMinutes(), 0);
        QCOMPARE(QSettings().value("replay/minutes").toInt(), 0);
    }

    // Quit ends the app without asking, and the replay is on again at the next launch.
    void quitQuitsAndTheReplayComesBack() {
        auto window = shownWindow();
        window->contentView()->recorder().setReplayMinutes(15);
        item(fileMenu(*window), "&Quit")->trigger();
        QVERIFY(!window->isVisible());
        QVERIFY(!openAlert());
        window.reset();
        QCOMPARE(shownWindow()->contentView()->recorder().replayMinutes(), 15);
    }

    void theCommandLineSwitchesAndSaves() {
        const auto parsed = [](const QStringList& arguments) {
            return LaunchOptions::parse(QStringList{"sonabrix"} + arguments);
        };
        const auto options = [&](const QStringList& arguments) {
            const auto result = parsed(arguments);
            const auto* exit = std::get_if<LaunchOptions::Exit>(&result);
            // A refusal reads as options that ask for nothing, and the comparison says so.
            return exit ? LaunchOptions() : std::get<LaunchOptions>(result);
        };
        const auto problem = [&](const QStringList& arguments) {
            const auto result = parsed(arguments);
            const auto* exit = std::get_if<LaunchOptions::Exit>(&result);
            return exit && exit->status == 2 && exit->toStandardError
                       ? exit->text.section("\n", 0, 0)
                       : QString("accepted");
        };

        QCOMPARE(options({}).replayMinutes, std::nullopt);
        QVERIFY(!options({}).saveReplay);
        QCOMPARE(options({"--replay", "5m"}).replayMinutes, 5);
        QCOMPARE(options({"--replay=30m"}).replayMinutes, 30);
        QCOMPARE(options({"--replay", "15"}).replayMinutes, 15);
        QCOMPARE(options({"--replay", "1min"}).replayMinutes, 1);
        QCOMPARE(options({"--replay", "OFF"}).replayMinutes, 0);
        for (const char* bad : {"7m", "0", "5s", "five", "", "-5m", "5m5"})
            QCOMPARE(problem({"--replay", bad}),
                     QString("--replay takes 1m, 5m, 15m, 30m or off, not “%1”.").arg(bad));
        QVERIFY(problem({"--replay"}).contains("Missing value after '--replay'"));

        QVERIFY(options({"--save-replay"}).saveReplay);
        QCOMPARE(options({"--save-replay"}).saveReplaySeconds, std::nullopt);
        QCOMPARE(options({"--save-replay", "90s"}).saveReplaySeconds, 90.0);
        QCOMPARE(options({"--save-replay", "5m"}).saveReplaySeconds, 300.0);
        QCOMPARE(options({"--save-replay", "1m30s"}).saveReplaySeconds, 90.0);
        QCOMPARE(options({"--save-replay", "2"}).saveReplaySeconds, 120.0);
        QCOMPARE(options({"--save-replay", "2.5m"}).saveReplaySeconds, 150.0);
        for (const char* bad : {"0s", "0", "abc", "5h", "m", "s", "1s30m"})
            QCOMPARE(problem({"--save-replay", bad}),
                     QString("--save-replay takes a length such as 90s, 5m or 1m30s, not “%1”.")
                         .arg(bad));
        QCOMPARE(problem({"90s"}), QString("Unexpected argument: 90s"));
        QCOMPARE(problem({"--save-replay", "90s", "5m"}), QString("Unexpected argument: 5m"));
        // Both at once: switch it on and save, as a desktop shortcut may.
        const LaunchOptions both = options({"--replay", "5m", "--save-replay", "30s"});
        QCOMPARE(both.replayMinutes, 5);
        QCOMPARE(both.saveReplaySeconds, 30.0);

        const auto help = parsed({"--help"});
        const QString text = std::get<LaunchOptions::Exit>(help).text;
        QVERIFY(text.contains("--replay <DURATION>"));
        QVERIFY(text.contains("--save-replay"));
        QVERIFY(text.contains("[DURATION]"));
    }
};

QTEST_MAIN(ReplayTest)
#include "ReplayTest.moc"
