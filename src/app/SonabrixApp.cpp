#include "SonabrixApp.h"

#include "AppStyle.h"
#include "BuildConfig.h"
#include "Logging.h"
#include "MainWindow.h"
#include "SystemAudioRecorder.h"
#if SONABRIX_UPDATER
#include "UpdaterController.h"
#endif

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

SonabrixApp::SonabrixApp(int& argc, char** argv) : application_(configured(argc), argv) {
    if (QCoreApplication::arguments().contains(QStringLiteral("--verbose")))
        Logging::enableVerbose();
    qCInfo(lcApp) << "Sonabrix" << QCoreApplication::applicationVersion() << "on Qt" << qVersion()
                  << "platform" << QGuiApplication::platformName();
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Sonabrix"));
    QGuiApplication::setWindowIcon(AppStyle::applicationIcon());
    window_ = std::make_unique<MainWindow>();
}

SonabrixApp::~SonabrixApp() = default;

int SonabrixApp::exec() {
    window_->show();
#if SONABRIX_UPDATER
    // The updater comes up once the event loop runs with the window up.
    QTimer::singleShot(0, &application_, [] { UpdaterController::shared(); });
#endif
    return QApplication::exec();
}
