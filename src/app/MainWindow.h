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
    // A running recording isn't thrown away by a stray click: quitting then asks first.
    void closeEvent(QCloseEvent* event) override;

private:
    void createMenu();
    void showAbout();

    ContentView* contentView_;
};
