#pragma once

#include "AppcastItem.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QTimer;

// Checks the update feed when the user asks, and tells the outcome in a dialog: up to date, a
// newer version with a way to download it, or why the check failed. It never checks by itself:
// without stored preferences there is no way to ask the user's consent once.
class Updater : public QObject {
    Q_OBJECT

public:
    struct CheckResult {
        enum class Outcome { upToDate, updateAvailable, failed };
        Outcome outcome = Outcome::failed;
        // The newest item of the feed, when there is one.
        std::optional<AppcastItem> newestItem;
        QString failureReason;
    };

    Updater(QUrl feedURL, QString currentVersion, QObject* parent = nullptr);
    ~Updater() override;

    bool isChecking() const { return reply_ != nullptr; }
    QUrl feedURL() const { return feedURL_; }

    // A check started by the user, answered with a dialog; joins a check already running.
    void checkForUpdates();
    // The same check without a dialog; the answer comes as checkFinished().
    void check();
    // Ends a running check at once, without a dialog; checkFinished() tells it failed.
    void cancel();

    // What the newest item of a feed means for this version.
    static CheckResult evaluate(const QByteArray& feed, const QString& currentVersion);

    // How long the server may stay silent, and how long the whole check may take: a server
    // that trickles its answer keeps the first from running out, never the second.
    void setTransferTimeoutMs(int timeoutMs) { transferTimeoutMs_ = timeoutMs; }
    void setDeadlineMs(int deadlineMs) { deadlineMs_ = deadlineMs; }
    // How a download or release-notes link is opened; the web browser unless replaced.
    void setUrlOpener(std::function<void(const QUrl&)> opener) { openURL_ = std::move(opener); }

    static constexpr int defaultTransferTimeoutMs = 15000;
    static constexpr int defaultDeadlineMs = 60000;
    // A feed is a few kilobytes; anything past this is refused unread.
    static constexpr qint64 maximumFeedBytes = 1024 * 1024;
    // The longest piece of the server's text that a dialog shows.
    static constexpr int maximumShownVersionLength = 40;
    static constexpr int maximumShownReasonLength = 300;

    // Text of the server's choosing as a dialog shows it: on one line, without control
    // characters, at most `maximum` characters.
    static QString shownText(const QString& text, int maximum);

signals:
    void checkFinished(const Updater::CheckResult& result);

private:
    void finishCheck(QNetworkReply* reply);
    // Ends the running check early with a reason of its own.
    void abortCheck(QNetworkReply* reply, const QString& reason);
    void openWebLink(const QUrl& url);
    void presentResult(const CheckResult& result);

    QUrl feedURL_;
    QString currentVersion_;
    bool presentsNextResult_ = false;
    int transferTimeoutMs_ = defaultTransferTimeoutMs;
    int deadlineMs_ = defaultDeadlineMs;
    QTimer* deadline_ = nullptr;
    // Why the running check was ended early; empty while it runs its course.
    QString abortReason_;
    // The running check's feed as far as it has come.
    QByteArray feed_;
    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> reply_;
    std::function<void(const QUrl&)> openURL_;
};

Q_DECLARE_METATYPE(Updater::CheckResult)
