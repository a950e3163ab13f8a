#include "UpdaterController.h"

#include "BuildConfig.h"
#include "Updater.h"

#include <QCoreApplication>
#include <QThread>

UpdaterController& UpdaterController::shared() {
    // Never released on purpose: the updater's network objects must not outlive the
    // application object in static destruction. The language makes the first use exclusive.
    static UpdaterController* const instance = new UpdaterController();
    return *instance;
}

UpdaterController::UpdaterController()
    : controller_(new Updater(QUrl(QString::fromUtf8(BuildConfig::appcastURL)),
                              QString::fromUtf8(BuildConfig::version))) {
    // Its network work and dialogs belong to the main thread, whichever thread got here first.
    if (QCoreApplication* app = QCoreApplication::instance();
        app && QThread::currentThread() != app->thread()) {
        controller_->moveToThread(app->thread());
    }
}
