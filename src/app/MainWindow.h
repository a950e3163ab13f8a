#pragma once

#include "SystemAudioRecorder.h"

#include <QMainWindow>
#include <memory>

class ContentView;

// The one window: the main view as its content, and the application menu.
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
    void createMenu();
    void showAbout();
    // Quitting during a save: wait for it, or cancel it, then quit.
    void askAboutSave();
    void closeAfterSave();

    ContentView* contentView_;
    bool closesAfterSave_ = false;
};
