#include "Updater.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "Appcast.h"
#include "Logging.h"
#include "VersionComparator.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>

Updater::Updater(QUrl feedURL, QString currentVersion, QObject* parent)
    : QObject(parent), feedURL_(std::move(feedURL)), currentVersion_(std::move(currentVersion)),
      openURL_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {}

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
    qCInfo(lcUpdater) << "Checking" << feedURL_.toString() << "for versions newer than"
                      << currentVersion_;
    QNetworkReply* reply = network_->get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finishCheck(reply); });
}

Updater::CheckResult Updater::evaluate(const QByteArray& feed, const QString& currentVersion) {
    CheckResult result;
    QString error;
    const auto items = Appcast::parse(feed, &error);
    if (!items) {
        result.failureReason = error;
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
    reply_ = nullptr;
    CheckResult result;
    const int httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (httpStatus >= 400) {
        const QString reason =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
        result.failureReason =
            reason.isEmpty()
                ? tr("The update server answered with error %1.").arg(httpStatus)
                : tr("The update server answered with error %1 (%2).").arg(httpStatus).arg(reason);
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        result.failureReason = tr("The update server didn't answer in time.");
    } else if (reply->error() != QNetworkReply::NoError) {
        result.failureReason = reply->errorString();
    } else {
        result = evaluate(reply->readAll(), currentVersion_);
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
        box->setText(tr("Sonabrix %1 is available").arg(item.displayVersion()));
        box->setInformativeText(
            tr("You have version %1. Download the new version to update.").arg(currentVersion_));
        QPushButton* download = box->addButton(tr("Download"), QMessageBox::AcceptRole);
        connect(download, &QPushButton::clicked, this,
                [this, url = item.downloadURL] { openURL_(url); });
        if (!item.releaseNotesURL.isEmpty()) {
            QPushButton* notes = box->addButton(tr("Release Notes"), QMessageBox::HelpRole);
            connect(notes, &QPushButton::clicked, this,
                    [this, url = item.releaseNotesURL] { openURL_(url); });
        }
        box->addButton(tr("Not Now"), QMessageBox::RejectRole);
        box->setDefaultButton(download);
        break;
    }
    case CheckResult::Outcome::failed:
        box->setText(tr("Couldn't check for updates"));
        box->setInformativeText(result.failureReason);
        box->setDefaultButton(box->addButton(tr("OK"), QMessageBox::AcceptRole));
        break;
    }
    box->open();
}
