#pragma once

#include "SystemAudioRecorder.h"

#include <QMainWindow>
#include <memory>

class ContentView;
class QMenu;

// The one window: the main view as its content, the File and Help menus, and the window's
// size and place from the last run.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Without a recorder, the content view records from the sound server.
    explicit MainWindow(std::unique_ptr<SystemAudioRecorder> recorder = nullptr,
                        QWidget* parent = nullptr);

    ContentView* contentView() const { return contentView_; }

protected:
    // A running recording or save isn't ended by a stray click: quitting then asks first.
    void closeEvent(QCloseEvent* event) override;

private:
    void createMenus();
    QMenu* createFileMenu();
    QMenu* createHelpMenu();
    void openMenuBar();
    void showAbout();
    void showKeyboardShortcuts();
    void followStage(int stageIndex);
    void confirmSave();
    // Quitting during a save: wait for it, or cancel it, then quit.
    void askAboutSave();
    void closeAfterSave();

    void restoreWindowGeometry();
    void saveWindowGeometry() const;

    ContentView* contentView_;
    int shownStage_ = 0;
    bool closesAfterSave_ = false;
};
