#pragma once

#include "Stage.h"
#include "SystemAudioRecorder.h"

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QSize>
#include <memory>

class ContentView;
class QMenu;
class ReplayTray;

// The one window: the main view as its content, the File and Help menus, and the window's
// size and place from the last run. While the replay keeps sound, closing the window leaves the
// app running in the background, shown by an icon in the desktop's tray.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Without a recorder, the content view records from the sound server.
    explicit MainWindow(std::unique_ptr<SystemAudioRecorder> recorder = nullptr,
                        QWidget* parent = nullptr);

    ContentView* contentView() const { return contentView_; }
    // None while the desktop has no tray.
    ReplayTray* replayTray() const { return replayTray_; }
    // Closed while the replay kept on: the app runs on without a window.
    bool isInBackground() const { return inBackground_; }

    // Shows the window, from the background too, in front of the others.
    void bringToFront();
    // Ends the app, the replay and what it kept included, after what a close asks.
    void quit();

    // What the Keyboard Shortcuts window lists: keys and what they do; a row without keys
    // names the group of rows below it.
    struct KeyRow {
        QString keys;
        QString meaning;
    };
    QList<KeyRow> keyboardShortcuts() const;
    static QKeySequence helpKey() { return QKeySequence(Qt::Key_F1); }

    // The smallest the whole window goes, menu bar included; every text still fits there.
    static constexpr QSize smallestSize{580, 460};

protected:
    // A running recording or save isn't ended by a stray click: quitting then asks first.
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createMenus();
    void fitContentUnderMenuBar();
    QMenu* createFileMenu();
    QMenu* createHelpMenu();
    void openMenuBar();
    void showAbout();
    void showKeyboardShortcuts();
    void followStage(Stage::Kind kind);
    void showStateInTitle();
    void confirmSave();
    // Quitting during a save: wait for it, or cancel it, then quit.
    void askAboutSave();
    void closeAfterSave();
    // Quitting during a recording: stop it as Stop does, then close.
    void finishRecordingAndClose();
    // Closing while the replay keeps: to the tray, or, without one, as the user answers. True
    // when the user chose to stop and quit: the close goes on.
    bool closeToBackground();
    void goToBackground();
    // The tray icon, once the desktop has a tray.
    void ensureReplayTray();
    void followReplay();
    void tellReplaySaved(double seconds, bool opened);

    void restoreWindowGeometry();
    void saveWindowGeometry() const;

    ContentView* contentView_;
    Stage::Kind shownStage_ = Stage::Kind::idle;
    bool closesAfterSave_ = false;
    bool closesAfterRecording_ = false;
    // Quit rather than close: the replay's background gives way.
    bool quitting_ = false;
    bool inBackground_ = false;
    bool toldOfBackground_ = false;
    ReplayTray* replayTray_ = nullptr;
    static constexpr int stopWaitMs = 5000;
};
