#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

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

signals:
    // Arguments from a later launch, program name first.
    void argumentsReceived(const QStringList& arguments);

private:
    void serve(QLocalSocket* connection);

    QString socketPath_;
    QLockFile launchLock_;
    QLocalServer* server_ = nullptr;
};
