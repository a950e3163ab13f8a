#include "SingleInstance.h"

#include "BuildConfig.h"
#include "FileDescriptor.h"
#include "Logging.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr char accepted = '\1';
// A command line is a few words; anything larger is not from us.
constexpr qint64 largestMessageBytes = 64 * 1024;
constexpr auto streamVersion = QDataStream::Qt_6_0;
// After a failed accept for want of descriptors, listening resumes this much later.
constexpr int acceptRetryMs = 100;

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
    closeListening();
}

void SingleInstance::closeListening() {
    if (!listenSocket_.isValid()) {
        return;
    }
    delete notifier_;
    notifier_ = nullptr;
    listenSocket_.reset();
    ::unlink(QFile::encodeName(socketPath_).constData());
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
    // Listened on directly rather than through QLocalServer, which stops listening for good
    // the first time an accept fails, as it does when the process is out of descriptors.
    const QByteArray path = QFile::encodeName(socketPath_);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    QString error;
    FileDescriptor socket;
    if (size_t(path.size()) >= sizeof address.sun_path) {
        error = QStringLiteral("the path is too long");
    } else {
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        socket.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!socket.isValid() ||
            ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0 ||
            // The runtime folder is the user's alone; the socket is too.
            ::chmod(path.constData(), S_IRUSR | S_IWUSR) < 0 ||
            ::listen(socket.get(), SOMAXCONN) < 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            socket.reset();
        }
    }
    if (!socket.isValid()) {
        qCWarning(lcApp) << "Can't listen at" << socketPath_ << ":" << error
                         << "; later launches will open windows of their own";
        launchLock_.unlock();
        return false;
    }
    listenSocket_ = std::move(socket);
    notifier_ = new QSocketNotifier(listenSocket_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SingleInstance::acceptWaiting);
    resume_ = new QTimer(this);
    resume_->setSingleShot(true);
    resume_->setInterval(acceptRetryMs);
    connect(resume_, &QTimer::timeout, this, [this] {
        if (notifier_) {
            notifier_->setEnabled(true);
            acceptWaiting();
        }
    });
    qCInfo(lcApp) << "Later launches hand over through" << socketPath_;
    launchLock_.unlock();
    return true;
}

void SingleInstance::acceptWaiting() {
    while (listenSocket_.isValid()) {
        FileDescriptor accepted(
            ::accept4(listenSocket_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!accepted.isValid()) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                // Out of descriptors or memory: the connection waits in the queue meanwhile.
                if (!std::exchange(toldTrouble_, true)) {
                    qCWarning(lcApp) << "Couldn't take a connection on" << socketPath_ << ":"
                                     << std::strerror(errno) << "; trying again shortly";
                }
                notifier_->setEnabled(false);
                resume_->start();
            }
            return;
        }
        if (connections_ >= maximumConnections) {
            if (!std::exchange(toldTrouble_, true)) {
                qCWarning(lcApp) << "Closing connections on" << socketPath_ << ": already"
                                 << connections_ << "open";
            }
            continue;
        }
        auto* connection = new QLocalSocket(this);
        if (!connection->setSocketDescriptor(accepted.get())) {
            delete connection;
            continue;
        }
        accepted.release(); // the connection owns it now
        toldTrouble_ = false;
        ++connections_;
        connect(connection, &QObject::destroyed, this, [this] { --connections_; });
        serve(connection);
    }
}

void SingleInstance::serve(QLocalSocket* connection) {
    connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    // A client that never finishes its message doesn't keep the connection forever.
    QTimer::singleShot(idleTimeoutMs_, connection, [this, connection] {
        qCInfo(lcApp) << "Dropped a connection that said nothing for" << idleTimeoutMs_ << "ms";
        connection->abort();
        connection->deleteLater();
    });
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
