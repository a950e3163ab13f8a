#include "SingleInstance.h"

#include "BuildConfig.h"
#include "Logging.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace {

constexpr char accepted = '\1';
// A command line is a few words; anything larger is not from us.
constexpr qint64 largestMessageBytes = 64 * 1024;
constexpr auto streamVersion = QDataStream::Qt_6_0;

QString optionsText(const QStringList& arguments) {
    return arguments.size() > 1 ? arguments.mid(1).join(QLatin1Char(' '))
                                : QStringLiteral("no options");
}

} // namespace

QString SingleInstance::defaultSocketPath() {
    // Qt creates the runtime folder with mode 0700 when XDG_RUNTIME_DIR is unset, and refuses
    // to use one that other users can read.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        return {};
    }
    return QDir(folder).filePath(QString::fromUtf8(BuildConfig::appID) + QStringLiteral(".socket"));
}

SingleInstance::SingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent), socketPath_(socketPath), launchLock_(socketPath + QStringLiteral(".lock")) {}

SingleInstance::~SingleInstance() {
    if (server_) {
        server_->close();
    }
}

SingleInstance::HandOver SingleInstance::handOver(const QStringList& arguments) {
    if (socketPath_.isEmpty()) {
        return HandOver::noInstance;
    }
    // A lock whose process is gone is taken over by QLockFile itself.
    if (!launchLock_.tryLock(answerTimeoutMs)) {
        qCWarning(lcApp) << "Another launch holds" << launchLock_.fileName() << "error"
                         << launchLock_.error();
        return HandOver::unanswered;
    }
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(answerTimeoutMs)) {
        qCDebug(lcApp) << "No running instance at" << socketPath_ << ":" << socket.error();
        return HandOver::noInstance;
    }
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out.setVersion(streamVersion);
    out << arguments;
    socket.write(message);
    char answer = 0;
    const bool answered =
        socket.waitForBytesWritten(answerTimeoutMs) &&
        (socket.bytesAvailable() > 0 || socket.waitForReadyRead(answerTimeoutMs)) &&
        socket.getChar(&answer) && answer == accepted;
    launchLock_.unlock();
    if (!answered) {
        qCWarning(lcApp) << "The running instance at" << socketPath_
                         << "didn't take the command line:" << socket.errorString();
        return HandOver::unanswered;
    }
    qCInfo(lcApp).noquote() << "Handed" << optionsText(arguments) << "to the running instance at"
                            << socketPath_;
    return HandOver::done;
}

bool SingleInstance::listen() {
    if (socketPath_.isEmpty()) {
        qCWarning(lcApp) << "No private runtime folder; later launches will open windows of "
                            "their own";
        return false;
    }
    // Nothing answered on the socket while we held the lock, so a file there is left over from
    // a run that ended without closing it.
    if (QFileInfo::exists(socketPath_)) {
        qCInfo(lcApp) << "Replacing the socket a previous run left at" << socketPath_;
        QLocalServer::removeServer(socketPath_);
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* connection = server_->nextPendingConnection()) {
            serve(connection);
        }
    });
    const bool listening = server_->listen(socketPath_);
    if (listening) {
        qCInfo(lcApp) << "Later launches hand over through" << socketPath_;
    } else {
        qCWarning(lcApp) << "Can't listen at" << socketPath_ << ":" << server_->errorString()
                         << "; later launches will open windows of their own";
    }
    launchLock_.unlock();
    return listening;
}

void SingleInstance::serve(QLocalSocket* connection) {
    connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    // A client that never finishes its message doesn't keep the connection forever.
    QTimer::singleShot(answerTimeoutMs, connection, [connection] { connection->abort(); });
    connect(connection, &QLocalSocket::readyRead, this, [this, connection] {
        if (connection->bytesAvailable() > largestMessageBytes) {
            qCWarning(lcApp) << "Dropped an oversized message on" << socketPath_;
            connection->abort();
            return;
        }
        QDataStream in(connection);
        in.setVersion(streamVersion);
        in.startTransaction();
        QStringList arguments;
        in >> arguments;
        if (!in.commitTransaction()) {
            return; // the rest is still on its way
        }
        connection->putChar(accepted);
        connection->flush();
        connection->disconnectFromServer();
        qCInfo(lcApp).noquote() << "A later launch handed over" << optionsText(arguments);
        emit argumentsReceived(arguments);
    });
}
