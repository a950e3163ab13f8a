#include "SonabrixApp.h"

#include "AppDelegate.h"
#include "AppStyle.h"
#include "BuildConfig.h"
#include "MainWindow.h"
#include "SystemAudioRecorder.h"

#include <QTimer>

namespace {

// Names the app before the application object exists, so the platform sees them from the start.
int& configured(int& argc) {
    QCoreApplication::setApplicationName(QStringLiteral("Sonabrix"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(BuildConfig::version));
    QCoreApplication::setOrganizationDomain(QStringLiteral("sonabrix.app"));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(BuildConfig::appID));
    return argc;
}

} // namespace

SonabrixApp::SonabrixApp(int& argc, char** argv)
    : application_(configured(argc), argv), delegate_(std::make_unique<AppDelegate>()) {
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Sonabrix"));
    QGuiApplication::setWindowIcon(AppStyle::applicationIcon());
    window_ = std::make_unique<MainWindow>();
}

SonabrixApp::~SonabrixApp() = default;

int SonabrixApp::exec() {
    window_->show();
    // Launching has finished once the event loop runs with the window up.
    QTimer::singleShot(0, delegate_.get(), [this] { delegate_->applicationDidFinishLaunching(); });
    return QApplication::exec();
}
