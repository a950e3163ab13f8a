#pragma once

#include "LaunchOptions.h"

#include <QApplication>
#include <memory>

class MainWindow;

// The program: the application object with its name, version, icon, desktop entry and
// translations, and the one window. Closing that window ends the application.
class SonabrixApp {
public:
    // The whole launch: reads the command line, hands it to an instance already running or
    // becomes the one later launches hand over to, and runs until the window closes.
    static int run(int& argc, char** argv);

    SonabrixApp(int& argc, char** argv, const LaunchOptions& options = {});
    ~SonabrixApp();

    // Shows the window, follows the launch's options and runs until the window is closed.
    int exec();
    // Does what a later launch asked for in the window already open.
    void follow(const LaunchOptions& options);
    MainWindow& window() { return *window_; }

private:
    // What the options ask of the replay: its length, a save. False when they ask nothing.
    bool followReplay(const LaunchOptions& options);

    QApplication application_;
    std::unique_ptr<MainWindow> window_;
    LaunchOptions options_;
};
