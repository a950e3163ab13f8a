#pragma once

#include <QObject>

// Receives the application's launch and last-window notices.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(QObject* parent = nullptr);

    // Once the window is up: bring up the updater.
    void applicationDidFinishLaunching();
    // Closing the window ends the application.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }
};
