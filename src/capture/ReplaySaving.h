#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

class ReplayStore;

// What saving the replay gave.
struct ReplaySave {
    // The new recording in the recordings folder, and when its first frame played.
    std::optional<QUrl> url;
    std::optional<QDateTime> startDate;
    double seconds = 0;
    // Why nothing, or not all of it, was saved, in the app's words.
    std::optional<QString> errorMessage;
};

// On a worker thread: writes what `store` kept up to the moment `pressedUs` (CLOCK_MONOTONIC,
// when the user asked, at `pressedAt` on the wall clock), or its last `lastSeconds`, as a new
// recording. What had played by then may still be on its way from the server: it is waited for,
// a moment at most.
ReplaySave saveReplay(const std::shared_ptr<ReplayStore>& store, qint64 pressedUs,
                      const QDateTime& pressedAt, std::optional<double> lastSeconds);

// Now, on the clock the capture times are on.
qint64 monotonicNowUs();
