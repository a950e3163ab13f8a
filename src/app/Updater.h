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

    // What the newest item of a feed means for this version.
    static CheckResult evaluate(const QByteArray& feed, const QString& currentVersion);

    void setTransferTimeoutMs(int timeoutMs) { transferTimeoutMs_ = timeoutMs; }
    // How a download or release-notes link is opened; the web browser unless replaced.
    void setUrlOpener(std::function<void(const QUrl&)> opener) { openURL_ = std::move(opener); }

    static constexpr int defaultTransferTimeoutMs = 15000;

signals:
    void checkFinished(const Updater::CheckResult& result);

private:
    void finishCheck(QNetworkReply* reply);
    void presentResult(const CheckResult& result);

    QUrl feedURL_;
    QString currentVersion_;
    bool presentsNextResult_ = false;
    int transferTimeoutMs_ = defaultTransferTimeoutMs;
    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> reply_;
    std::function<void(const QUrl&)> openURL_;
};

Q_DECLARE_METATYPE(Updater::CheckResult)
