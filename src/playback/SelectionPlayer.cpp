#include "SelectionPlayer.h"

#include "AudioFilePlayer.h"
#include "Logging.h"
#include "PulseConnection.h"

#include <chrono>

using namespace std::chrono_literals;

namespace {
// A local server answers at once; an absent one is refused at once. Only a hung one waits this.
constexpr std::chrono::milliseconds connectTimeout = 2000ms;
} // namespace

SelectionPlayer::SelectionPlayer(QObject* parent) : QObject(parent) {
    watchTimer_.setInterval(watchIntervalMs);
    watchTimer_.setTimerType(Qt::PreciseTimer);
    connect(&watchTimer_, &QTimer::timeout, this, &SelectionPlayer::watch);
}

SelectionPlayer::~SelectionPlayer() = default;

bool SelectionPlayer::isPlaying() const {
    return isPlaying_;
}

double SelectionPlayer::currentTime() const {
    return currentTime_;
}

void SelectionPlayer::toggle(const QString& path, TimeRange range) {
    if (isPlaying_) {
        stop();
        return;
    }
    QString error;
    auto player = startPlayer(path, range, &error);
    if (!player) {
        emit failed(error);
        return;
    }
    player_ = std::move(player);
    qCInfo(lcPlayback).noquote() << "Playing" << path << "from" << range.lower << "s to"
                                 << range.upper << "s";
    setPlaying(true);
    watchTimer_.start();
    watch(); // the first pass at once, so the playhead jumps to the start
}

void SelectionPlayer::stop() {
    if (player_)
        qCDebug(lcPlayback).noquote() << "Playback stopped at" << currentTime_ << "s";
    watchTimer_.stop();
    player_.reset(); // its destructor ends the sound at once
    setPlaying(false);
}

std::unique_ptr<AudioFilePlayer> SelectionPlayer::startPlayer(const QString& path, TimeRange range,
                                                              QString* error) {
    // Only reached while idle, so no player still stands on a lost connection.
    if (!PulseConnection::reconnectIfLost(connection_, error, lcPlayback(), connectTimeout))
        return nullptr;
    auto player = AudioFilePlayer::open(*connection_, path, error);
    if (!player || !player->play(range, error)) {
        qCWarning(lcPlayback).noquote()
            << "Couldn't play" << path << "from" << range.lower << "s:" << *error;
        return nullptr;
    }
    return player;
}

void SelectionPlayer::watch() {
    if (!player_) {
        watchTimer_.stop();
        return;
    }
    const bool ended = !player_->isPlaying();
    currentTime_ = player_->positionSeconds();
    Q_EMIT currentTimeChanged();
    // Ended by itself after the selection's last frame (or the server went away): show the
    // idle state, so the next press plays again.
    if (ended)
        stop();
}

void SelectionPlayer::setPlaying(bool playing) {
    if (isPlaying_ == playing)
        return;
    isPlaying_ = playing;
    Q_EMIT isPlayingChanged();
}
