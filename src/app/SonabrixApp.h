#pragma once

#include <QApplication>
#include <memory>

class MainWindow;

// The program: the application object with its name, version, icon and desktop entry, and the
// one window. Closing that window ends the application.
class SonabrixApp {
public:
    SonabrixApp(int& argc, char** argv);
    ~SonabrixApp();

    // Shows the window and runs until it is closed.
    int exec();
    MainWindow& window() { return *window_; }

private:
    QApplication application_;
    std::unique_ptr<MainWindow> window_;
};
