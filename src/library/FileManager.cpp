#include "FileManager.h"

#include "Logging.h"
#include "PlainText.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QUrl>

namespace {

using Failed = std::function<void(const QString&)>;

// xdg-open picks the desktop's own way to open a folder, and says by its exit status whether
// one was found. It may run as long as the file manager it started, so it is never waited for.
void openFolder(const QString& path, QPointer<QObject> context, Failed failed) {
    const QString folder = QFileInfo(path).absolutePath();
    auto* opener = new QProcess;
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({folder});
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    const auto fail = [context, failed, folder](const QString& reason) {
        qCWarning(lcLibrary) << "No file manager opened" << folder << "-" << reason;
        if (context)
            failed(reason);
    };
    QObject::connect(
        opener, &QProcess::errorOccurred, opener, [opener, fail](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                fail(QCoreApplication::translate("FileManager", "xdg-open isn't installed"));
                opener->deleteLater();
            }
        });
    QObject::connect(
        opener, &QProcess::finished, opener, [opener, fail](int status, QProcess::ExitStatus how) {
            if (how != QProcess::NormalExit || status != 0)
                fail(QCoreApplication::translate("FileManager",
                                                 "xdg-open found no program for folders "
                                                 "(exit status %1)")
                         .arg(status));
            opener->deleteLater();
        });
    opener->start();
}

} // namespace

void FileManager::showFile(const QString& path, QObject* context, Failed failed) {
    QPointer<QObject> guard(context);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(path, guard, std::move(failed));
        return;
    }
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                       service, QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // Asked without waiting: the service may first have to start. Without one, the folder.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [watcher, path, guard, failed = std::move(failed)] {
                         watcher->deleteLater();
                         if (watcher->isError()) {
                             qCDebug(lcLibrary) << "No FileManager1:" << watcher->error().message();
                             openFolder(path, guard, failed);
                         }
                     });
}

void FileManager::showFileOrSay(const QString& path, QWidget* parent) {
    showFile(path, parent, [path, parent](const QString& reason) {
        const QFileInfo file(path);
        PlainText::warn(
            parent, QCoreApplication::translate("FileManager", "Couldn't show the file"),
            QCoreApplication::translate(
                "FileManager", "No file manager opened to show “%1”. You find it in the folder "
                               "%2.\n\nThe reason given: %3.")
                .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath()), reason));
    });
}
