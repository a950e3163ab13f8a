#include "SonabrixApp.h"

#include "AppStyle.h"
#include "BuildConfig.h"
#include "ContentView.h"
#include "Logging.h"
#include "MainWindow.h"
#include "SingleInstance.h"
#include "SystemAudioRecorder.h"
#include "Translations.h"
#if SONABRIX_UPDATER
#include "UpdaterController.h"
#endif

#include <QTimer>
#include <cstdio>
#include <variant>

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

int SonabrixApp::run(int& argc, char** argv) {
    LaunchOptions options;
    std::unique_ptr<SingleInstance> instance;
    {
        // Reading the command line and handing it over need no display, so --help, --version
        // and a second launch work from any terminal and never open a window.
        QCoreApplication console(configured(argc), argv);
        Translations::install(console);
        const auto parsed = LaunchOptions::parse(QCoreApplication::arguments());
        if (const auto* exit = std::get_if<LaunchOptions::Exit>(&parsed)) {
            std::fputs(qPrintable(exit->text), exit->toStandardError ? stderr : stdout);
            return exit->status;
        }
        options = std::get<LaunchOptions>(parsed);
        if (options.verbose) {
            Logging::enableVerbose();
        }
        instance = std::make_unique<SingleInstance>();
        switch (instance->handOver(QCoreApplication::arguments())) {
        case SingleInstance::HandOver::done:
            return 0;
        case SingleInstance::HandOver::unanswered:
            std::fprintf(stderr, "%s\n",
                         qPrintable(QCoreApplication::translate(
                             "SonabrixApp", "Sonabrix is already running but doesn't answer. "
                                            "Close it, or end its process, and try again.")));
            return 1;
        case SingleInstance::HandOver::noInstance:
            break;
        }
    }
    SonabrixApp app(argc, argv, options);
    QObject::connect(instance.get(), &SingleInstance::argumentsReceived, instance.get(),
                     [&app](const QStringList& arguments) {
                         const auto parsed = LaunchOptions::parse(arguments);
                         if (const auto* handed = std::get_if<LaunchOptions>(&parsed)) {
                             app.follow(*handed);
                         }
                     });
    instance->listen();
    const int status = app.exec();
    // The socket closes while the application object, whose event loop watches it, still exists.
    instance.reset();
    return status;
}

SonabrixApp::SonabrixApp(int& argc, char** argv, const LaunchOptions& options)
    : application_(configured(argc), argv), options_(options) {
    if (options.verbose) {
        Logging::enableVerbose();
    }
    qCInfo(lcApp) << "Sonabrix" << QCoreApplication::applicationVersion() << "on Qt" << qVersion()
                  << "platform" << QGuiApplication::platformName();
    Translations::install(application_);
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Sonabrix"));
    QGuiApplication::setWindowIcon(AppStyle::applicationIcon());
    window_ = std::make_unique<MainWindow>();
}

SonabrixApp::~SonabrixApp() = default;

int SonabrixApp::exec() {
    window_->show();
    QTimer::singleShot(0, &application_, [this] {
#if SONABRIX_UPDATER
        // The updater comes up once the event loop runs with the window up.
        UpdaterController::shared();
#endif
        // A launch that asks to record does so; an interrupted recording is offered next time.
        // A first launch asked to save has kept nothing yet, and says so in the window.
        const bool replayAsked = followReplay(options_);
        if (options_.toggleRecording) {
            window_->contentView()->toggleRecordingOf(options_.program());
        } else if (!replayAsked) {
            window_->contentView()->offerRecovery();
        }
    });
    return QApplication::exec();
}

bool SonabrixApp::followReplay(const LaunchOptions& options) {
    ContentView& content = *window_->contentView();
    if (options.replayMinutes) {
        content.recorder().setReplayMinutes(*options.replayMinutes);
    }
    if (options.saveReplay) {
        content.flow().saveReplay(options.saveReplaySeconds);
    }
    return options.replayMinutes || options.saveReplay;
}

void SonabrixApp::follow(const LaunchOptions& options) {
    if (options.verbose) {
        Logging::enableVerbose();
    }
    // Left where it is: a shortcut pressed in another app shouldn't pull the window up.
    const bool replayAsked = followReplay(options);
    if (options.toggleRecording) {
        window_->contentView()->toggleRecordingOf(options.program());
        return;
    }
    if (replayAsked) {
        return;
    }
    // Starting the app again brings its window to the front, from the background too.
    window_->bringToFront();
}
