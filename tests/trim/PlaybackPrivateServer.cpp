#include "PlaybackPrivateServer.h"

#include "PulseConnection.h"

#include <QDeadlineTimer>
#include <QTest>
#include <chrono>

using namespace std::chrono_literals;

PlaybackPrivateServer::~PlaybackPrivateServer() {
    kill();
}

bool PlaybackPrivateServer::start() {
    if (!runtime_.isValid())
        return false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime_.path());
    environment.insert("PULSE_RUNTIME_PATH", runtime_.filePath("pulse"));
    environment.insert("PULSE_STATE_PATH", runtime_.filePath("state"));
    environment.remove("PULSE_SERVER");
    daemon_.setProcessEnvironment(environment);
    daemon_.start("pulseaudio",
                  {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                   "--disallow-exit", "--log-target=file:" + runtime_.filePath("daemon.log"),
                   "--load=module-null-sink sink_name=private_test rate=48000 channels=2",
                   "--load=module-native-protocol-unix auth-anonymous=1 socket=" +
                       runtime_.filePath("native")});
    if (!daemon_.waitForStarted(5000))
        return false;
    const QByteArray shared = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", address());
    QDeadlineTimer deadline(10000);
    bool answered = false;
    while (!answered && !deadline.hasExpired() && daemon_.state() == QProcess::Running) {
        answered = PulseConnection::connect("sonabrix-tests", nullptr, 1000ms) != nullptr;
        if (!answered)
            QTest::qWait(50);
    }
    qputenv("PULSE_SERVER", shared);
    return answered;
}

QByteArray PlaybackPrivateServer::address() const {
    return "unix:" + runtime_.filePath("native").toUtf8();
}

void PlaybackPrivateServer::kill() {
    if (daemon_.state() == QProcess::NotRunning)
        return;
    daemon_.kill();
    daemon_.waitForFinished(5000);
}
