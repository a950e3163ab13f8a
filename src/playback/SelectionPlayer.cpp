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

void SelectionPlayer::toggle(const QUrl& url, TimeRange range) {
    if (isPlaying_) {
        stop();
        return;
    }
    QString error;
    auto player = startPlayer(url, range.lower, &error);
    if (!player) {
        emit failed(error);
        return;
    }
    player_ = std::move(player);
    stopAtSeconds_ = range.upper;
    qCInfo(lcPlayback).noquote() << "Playing" << url.toLocalFile() << "from" << range.lower
                                 << "s to" << range.upper << "s";
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

std::unique_ptr<AudioFilePlayer> SelectionPlayer::startPlayer(const QUrl& url, double fromSeconds,
                                                              QString* error) {
    if (!url.isLocalFile()) {
        *error = tr("not a local file");
        return nullptr;
    }
    // Only reached while idle, so no player still stands on a lost connection.
    if (!PulseConnection::reconnectIfLost(connection_, error, lcPlayback(), connectTimeout))
        return nullptr;
    auto player = AudioFilePlayer::open(*connection_, url.toLocalFile(), error);
    if (!player || !player->seek(fromSeconds) || !player->play(error)) {
        if (error->isEmpty())
            *error = tr("the recording couldn't be read at %1 s").arg(fromSeconds);
        qCWarning(lcPlayback).noquote()
            << "Couldn't play" << url.toLocalFile() << "from" << fromSeconds << "s:" << *error;
        return nullptr;
    }
    return player;
}

void SelectionPlayer::watch() {
    if (!player_) {
        watchTimer_.stop();
        return;
    }
    // Ended by itself at the end of the file (or the server went away): show the idle state,
    // so the next press plays again.
    if (!player_->isPlaying()) {
        stop();
        return;
    }
    currentTime_ = player_->positionSeconds();
    Q_EMIT currentTimeChanged();
    if (currentTime_ >= stopAtSeconds_)
        stop();
}

void SelectionPlayer::setPlaying(bool playing) {
    if (isPlaying_ == playing)
        return;
    isPlaying_ = playing;
    Q_EMIT isPlayingChanged();
}
