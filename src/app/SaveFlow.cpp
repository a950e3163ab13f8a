#include "SaveFlow.h"

#include "AudioExporter.h"
#include "Logging.h"
#include "MessageAlert.h"
#include "SaveDestinationDialog.h"

#include <QWidget>

SaveFlow::SaveFlow(QWidget* window)
    : QObject(window), destinationProvider_([window](const QString& suggestedFileName) {
          return SaveDestinationDialog::ask(window, suggestedFileName);
      }),
      errorAlert_(
          new MessageAlert(window, tr("Couldn't save"), [this] { setError(std::nullopt); })),
      noticeAlert_(
          new MessageAlert(window, tr("Saved as recorded"), [this] { setNotice(std::nullopt); })) {
    connect(&watcher_, &QFutureWatcher<ExportOutcome>::progressValueChanged, this,
            [this](int value) {
                const int minimum = watcher_.progressMinimum();
                const int span = watcher_.progressMaximum() - minimum;
                const int percent = span > 0 ? (value - minimum) * 100 / span : 0;
                if (percent != progressPercent_) {
                    progressPercent_ = percent;
                    emit progressChanged(percent);
                }
            });
    connect(&watcher_, &QFutureWatcher<ExportOutcome>::finished, this, &SaveFlow::finish);
}

SaveFlow::~SaveFlow() {
    // Nothing may answer a finished export once the window is going.
    watcher_.disconnect(this);
}

void SaveFlow::setDestinationProvider(DestinationProvider provider) {
    destinationProvider_ = std::move(provider);
}

void SaveFlow::save(const QString& sourcePath, const QString& suggestedBaseName,
                    const std::function<TimeRange()>& selection, const QString& title,
                    const QDateTime& date) {
    if (isExporting()) {
        return;
    }
    const std::optional<QUrl> destination =
        destinationProvider_(suggestedBaseName + QStringLiteral(".m4a"));
    if (!destination || destination->isEmpty()) {
        qCDebug(lcExport) << "Save dialog cancelled";
        return;
    }
    destination_ = *destination;
    const TimeRange range = selection();
    qCInfo(lcExport) << "Saving" << range.lower << "to" << range.upper << "s of" << sourcePath
                     << "to" << destination_.toLocalFile();
    progressPercent_ = 0;
    isExporting_ = true;
    ExportOptions options = SaveDestinationDialog::lastOptions();
    options.title = title;
    options.date = date;
    watcher_.setFuture(
        AudioExporter::exportTrimmed(sourcePath, range, destination_.toLocalFile(), options));
    emit progressChanged(0);
    emit isExportingChanged(true);
}

void SaveFlow::cancel() {
    if (isExporting()) {
        qCInfo(lcExport) << "Save to" << destination_.toLocalFile() << "cancelled by the user";
        watcher_.cancel();
    }
}

void SaveFlow::finish() {
    QFuture<ExportOutcome> future = watcher_.future();
    try {
        // Throws what the export threw.
        future.waitForFinished();
        if (future.isCanceled() || future.resultCount() == 0) {
            qCInfo(lcExport) << "Save cancelled; the destination is as it was";
        } else {
            qCInfo(lcExport) << "Saved" << destination_.toLocalFile();
            emit saved(destination_);
            if (future.result().loudnessUnmeasurable)
                setNotice(tr("The selection is silent or too short to measure its loudness, so "
                             "it was saved at the level it was recorded."));
        }
    } catch (const ExportFailure& failure) {
        qCWarning(lcExport) << "Save failed:" << failure.what();
        setError(failure.failure().message());
    } catch (const std::exception& error) {
        qCWarning(lcExport) << "Save failed:" << error.what();
        setError(QString::fromUtf8(error.what()));
    } catch (...) {
        qCWarning(lcExport) << "Save failed for an unknown reason";
        setError(tr("The audio couldn't be saved."));
    }
    isExporting_ = false;
    emit isExportingChanged(false);
}

void SaveFlow::setNotice(std::optional<QString> message) {
    notice_ = std::move(message);
    noticeAlert_->sync(notice_);
}

void SaveFlow::setError(std::optional<QString> message) {
    error_ = std::move(message);
    errorAlert_->sync(error_);
}
