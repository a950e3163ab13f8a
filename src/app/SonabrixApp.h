#pragma once

#include <QApplication>
#include <memory>

class AppDelegate;
class MainWindow;

// The program: the application object with its name, version, icon and desktop entry, the
// delegate, and the one window.
class SonabrixApp {
public:
    SonabrixApp(int& argc, char** argv);
    ~SonabrixApp();

    // Shows the window and runs until it is closed.
    int exec();
    MainWindow& window() { return *window_; }

private:
    QApplication application_;
    std::unique_ptr<AppDelegate> delegate_;
    std::unique_ptr<MainWindow> window_;
};
