#pragma once

#include "FileDescriptor.h"

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalSocket;
class QSocketNotifier;
class QTimer;

// Keeps the app to one running instance per user. The first launch listens on a local socket
// in the user's runtime folder (private to the user); a later launch hands it its command line
// and leaves. A lock beside the socket keeps two launches at once from both becoming the first.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class HandOver { done, noInstance, unanswered };

    // XDG_RUNTIME_DIR/<application id>.socket; empty without a private runtime folder, and
    // then each launch runs on its own.
    static QString defaultSocketPath();

    explicit SingleInstance(const QString& socketPath = defaultSocketPath(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the launch lock and, when an instance runs, hands it the arguments (program name
    // first). The lock stays taken until listen(), unless the arguments were handed over.
    HandOver handOver(const QStringList& arguments);
    // Becomes the instance later launches hand over to, replacing a socket that a crashed run
    // left behind, and releases the launch lock.
    bool listen();

    QString socketPath() const { return socketPath_; }

    static constexpr int answerTimeoutMs = 5000;
    // Launches talking at once; a connection past these is closed as it comes.
    static constexpr int maximumConnections = 8;

    // How long a connection may take to say its command line before it is dropped.
    void setIdleTimeoutMs(int timeoutMs) { idleTimeoutMs_ = timeoutMs; }
    int connectionCount() const { return connections_; }
    bool isListening() const { return listenSocket_.isValid(); }

signals:
    // Arguments from a later launch, program name first.
    void argumentsReceived(const QStringList& arguments);

private:
    // Takes every waiting connection. When the process is out of file descriptors the
    // connections wait in the socket's queue and listening pauses a moment; it never stops.
    void acceptWaiting();
    void serve(QLocalSocket* connection);
    void closeListening();

    QString socketPath_;
    QLockFile launchLock_;
    FileDescriptor listenSocket_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* resume_ = nullptr;
    int connections_ = 0;
    int idleTimeoutMs_ = answerTimeoutMs;
    // Told once until a connection is taken again, so that a flood doesn't flood the log.
    bool toldTrouble_ = false;
};
