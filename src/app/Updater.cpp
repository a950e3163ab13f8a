#include "Updater.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "Appcast.h"
#include "Logging.h"
#include "PlainText.h"
#include "VersionComparator.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <utility>

Updater::Updater(QUrl feedURL, QString currentVersion, QObject* parent)
    : QObject(parent), feedURL_(std::move(feedURL)), currentVersion_(std::move(currentVersion)),
      openURL_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    deadline_ = new QTimer(this);
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this] {
        if (QNetworkReply* reply = reply_) {
            qCWarning(lcUpdater) << "The update check ran past its deadline of" << deadlineMs_
                                 << "ms";
            abortCheck(reply, tr("The update server didn't answer in time."));
        }
    });
}

Updater::~Updater() = default;

void Updater::checkForUpdates() {
    // A check already under way answers this request too.
    presentsNextResult_ = true;
    check();
}

void Updater::check() {
    if (isChecking()) {
        return;
    }
    if (!network_) {
        // Made on first use, in the thread that asks: the main thread.
        network_ = new QNetworkAccessManager(this);
    }
    QNetworkRequest request(feedURL_);
    request.setTransferTimeout(transferTimeoutMs_);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Sonabrix/%1").arg(currentVersion_));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    // Redirects only to the same or a safer place, and few of them.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    qCInfo(lcUpdater) << "Checking" << feedURL_.toString() << "for versions newer than"
                      << currentVersion_;
    QNetworkReply* reply = network_->get(request);
    reply_ = reply;
    abortReason_.clear();
    feed_.clear();
    // Read no further than the cap, whether or not the server says the length up front.
    reply->setReadBufferSize(maximumFeedBytes + 1);
    // Taken as it comes: a reply whose buffer fills up waits for room, and might never finish.
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        if (reply != reply_)
            return;
        feed_ += reply->readAll();
        if (feed_.size() > maximumFeedBytes) {
            qCWarning(lcUpdater) << "The update feed is larger than" << maximumFeedBytes
                                 << "bytes; refused";
            abortCheck(reply, tr("The update feed is too large."));
        }
    });
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this, reply](qint64 received, qint64 total) {
                if (received > maximumFeedBytes || total > maximumFeedBytes) {
                    qCWarning(lcUpdater)
                        << "The update feed is larger than" << maximumFeedBytes << "bytes; refused";
                    abortCheck(reply, tr("The update feed is too large."));
                }
            });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finishCheck(reply); });
    deadline_->start(deadlineMs_);
}

void Updater::cancel() {
    if (QNetworkReply* reply = reply_) {
        qCInfo(lcUpdater) << "Update check cancelled";
        // A cancelled check answers nobody with a dialog.
        presentsNextResult_ = false;
        abortCheck(reply, tr("The update check was cancelled."));
    }
}

void Updater::abortCheck(QNetworkReply* reply, const QString& reason) {
    if (reply != reply_ || !abortReason_.isEmpty()) {
        return;
    }
    abortReason_ = reason;
    // Finishes the reply, which ends the check with the reason above.
    reply->abort();
}

QString Updater::shownText(const QString& text, int maximum) {
    QString shown;
    shown.reserve(std::min<qsizetype>(text.size(), maximum + 1));
    for (const QChar c : text) {
        if (shown.size() > maximum) {
            break;
        }
        const auto category = c.category();
        const bool control = category == QChar::Other_Control || category == QChar::Other_Format ||
                             category == QChar::Separator_Line ||
                             category == QChar::Separator_Paragraph;
        shown += control ? QChar(u' ') : c;
    }
    shown = shown.simplified();
    if (shown.size() > maximum) {
        shown.truncate(maximum - 1);
        shown += QChar(0x2026);
    }
    return shown;
}

void Updater::openWebLink(const QUrl& url) {
    // Only links the app itself made from the feed, and only to a web page.
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() && (scheme == u"https" || scheme == u"http")) {
        openURL_(url);
    } else {
        qCWarning(lcUpdater) << "Not opening" << url.toString() << "from the update feed";
    }
}

Updater::CheckResult Updater::evaluate(const QByteArray& feed, const QString& currentVersion) {
    CheckResult result;
    const Result<std::vector<AppcastItem>> items = Appcast::parse(feed);
    if (!items) {
        result.failureReason = items.failure().message();
        return result;
    }
    result.newestItem = Appcast::newestItem(*items);
    if (!result.newestItem) {
        result.failureReason = tr("The update feed lists no versions.");
        return result;
    }
    result.outcome = VersionComparator::compare(result.newestItem->version, currentVersion) > 0
                         ? CheckResult::Outcome::updateAvailable
                         : CheckResult::Outcome::upToDate;
    return result;
}

void Updater::finishCheck(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != reply_) {
        return;
    }
    reply_ = nullptr;
    deadline_->stop();
    const QString abortReason = std::exchange(abortReason_, QString());
    CheckResult result;
    const int httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!abortReason.isEmpty()) {
        result.failureReason = abortReason;
    } else if (httpStatus >= 400) {
        const QString reason =
            shownText(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(),
                      maximumShownReasonLength / 2);
        result.failureReason =
            reason.isEmpty()
                ? tr("The update server answered with error %1.").arg(httpStatus)
                : tr("The update server answered with error %1 (%2).").arg(httpStatus).arg(reason);
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        result.failureReason = tr("The update server didn't answer in time.");
    } else if (reply->error() != QNetworkReply::NoError) {
        // Qt leaves some reasons unfinished ("Decompression failed: " when zlib names none).
        QString reason = reply->errorString().trimmed();
        while (reason.endsWith(u':')) {
            reason = reason.chopped(1).trimmed();
        }
        // Below 200 the connection itself failed (the network, the name, a proxy): said in the
        // app's words first, what to do included, with Qt's reason after them.
        const bool unreachable = reply->error() < QNetworkReply::ContentAccessDenied;
        if (unreachable)
            result.failureReason = tr("Sonabrix couldn't reach the update server. Check that "
                                      "the computer is online, then try again. The reason given: "
                                      "%1.")
                                       .arg(reason.isEmpty() ? tr("none") : reason);
        else
            result.failureReason =
                reason.isEmpty() ? tr("The update feed couldn't be read.") : reason;
    } else if (httpStatus >= 300) {
        // Not a feed: a 304 has no body, a redirect not followed points elsewhere.
        result.failureReason =
            tr("The update server answered with status %1 instead of the feed.").arg(httpStatus);
    } else if (const QByteArray feed = std::exchange(feed_, {}) + reply->readAll();
               feed.size() > maximumFeedBytes) {
        result.failureReason = tr("The update feed is too large.");
    } else {
        result = evaluate(feed, currentVersion_);
    }
    switch (result.outcome) {
    case CheckResult::Outcome::upToDate:
        qCInfo(lcUpdater) << "Up to date; the feed's newest is" << result.newestItem->version;
        break;
    case CheckResult::Outcome::updateAvailable:
        qCInfo(lcUpdater) << "Version" << result.newestItem->version << "is available";
        break;
    case CheckResult::Outcome::failed:
        qCWarning(lcUpdater) << "Update check failed:" << result.failureReason;
        break;
    }
    if (presentsNextResult_) {
        presentsNextResult_ = false;
        presentResult(result);
    }
    emit checkFinished(result);
}

void Updater::presentResult(const CheckResult& result) {
    auto* box = new QMessageBox(QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setIconPixmap(AppStyle::applicationIcon().pixmap(QSize(56, 56)));
    Accessibility::nameAlertIcon(box);
    box->setStyleSheet(AppStyle::alertStyleSheet());
    box->setWindowTitle(tr("Check for Updates"));
    switch (result.outcome) {
    case CheckResult::Outcome::upToDate:
        box->setText(tr("You're up to date"));
        box->setInformativeText(
            tr("Sonabrix %1 is the newest version available.").arg(currentVersion_));
        box->setDefaultButton(box->addButton(tr("OK"), QMessageBox::AcceptRole));
        break;
    case CheckResult::Outcome::updateAvailable: {
        const AppcastItem& item = *result.newestItem;
        box->setText(tr("Sonabrix %1 is available")
                         .arg(shownText(item.displayVersion(), maximumShownVersionLength)));
        box->setInformativeText(
            tr("You have version %1. Download the new version to update.").arg(currentVersion_));
        QPushButton* download = box->addButton(tr("Download"), QMessageBox::AcceptRole);
        connect(download, &QPushButton::clicked, this,
                [this, url = item.downloadURL] { openWebLink(url); });
        if (!item.releaseNotesURL.isEmpty()) {
            QPushButton* notes = box->addButton(tr("Release Notes"), QMessageBox::HelpRole);
            connect(notes, &QPushButton::clicked, this,
                    [this, url = item.releaseNotesURL] { openWebLink(url); });
        }
        box->addButton(tr("Not Now"), QMessageBox::RejectRole);
        box->setDefaultButton(download);
        break;
    }
    case CheckResult::Outcome::failed:
        box->setText(tr("Couldn't check for updates"));
        box->setInformativeText(shownText(result.failureReason, maximumShownReasonLength));
        box->setDefaultButton(box->addButton(tr("OK"), QMessageBox::AcceptRole));
        break;
    }
    // The texts carry the server's words: shown as written, with no live link in them.
    PlainText::keep(*box);
    box->open();
}
