#include "AppDelegate.h"

#include "UpdaterController.h"

#include <QGuiApplication>

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {
    QGuiApplication::setQuitOnLastWindowClosed(applicationShouldTerminateAfterLastWindowClosed());
}

void AppDelegate::applicationDidFinishLaunching() {
    UpdaterController::shared();
}
