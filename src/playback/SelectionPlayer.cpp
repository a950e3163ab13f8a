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
    Result<std::unique_ptr<AudioFilePlayer>> player = startPlayer(path, range);
    if (!player) {
        emit failed(player.failure().message());
        return;
    }
    player_ = std::move(player).value();
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

Result<std::unique_ptr<AudioFilePlayer>> SelectionPlayer::startPlayer(const QString& path,
                                                                      TimeRange range) {
    // Only reached while idle, so no player still stands on a lost connection.
    if (std::optional<PulseConnection::ConnectFailure> failure =
            PulseConnection::reconnectIfLost(connection_, lcPlayback(), connectTimeout))
        return Failure(*failure);
    Result<std::unique_ptr<AudioFilePlayer>> player = AudioFilePlayer::open(*connection_, path);
    std::optional<Failure> failure = player ? (*player)->play(range) : player.failure();
    if (failure) {
        qCWarning(lcPlayback).noquote()
            << "Couldn't play" << path << "from" << range.lower << "s:" << failure->message();
        return *std::move(failure);
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
