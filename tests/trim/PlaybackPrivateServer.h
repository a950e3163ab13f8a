#pragma once

#include <QProcess>
#include <QTemporaryDir>

// A PulseAudio daemon of the test's own, with one null sink, for tests that must lose their
// server; the shared one is never touched.
class PlaybackPrivateServer {
public:
    PlaybackPrivateServer() = default;
    ~PlaybackPrivateServer();
    PlaybackPrivateServer(const PlaybackPrivateServer&) = delete;
    PlaybackPrivateServer& operator=(const PlaybackPrivateServer&) = delete;

    // True once the daemon accepts clients at address().
    bool start();
    QByteArray address() const;
    // Kills the daemon the way a crash would.
    void kill();

private:
    QTemporaryDir runtime_;
    QProcess daemon_;
};
