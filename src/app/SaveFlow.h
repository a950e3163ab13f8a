#pragma once

#include "ExportOptions.h"
#include "TimeRange.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

class MessageAlert;
class QWidget;

// Saving the selection: asks where, exports off the main thread with progress, can be
// cancelled, and tells the user when it fails. The user's old file at the destination is
// replaced only by a complete new one.
class SaveFlow : public QObject {
    Q_OBJECT

public:
    using DestinationProvider =
        std::function<std::optional<QUrl>(const QString& suggestedFileName)>;

    // Dialogs and alerts open over `window`.
    explicit SaveFlow(QWidget* window);
    ~SaveFlow() override;

    // Asks for a destination, offering the suggested name with ".m4a", and exports the
    // selection once the dialog has closed, at the loudness and with the fades chosen there and
    // with the title and date in the file's tags; does nothing while an export runs.
    void save(const QString& sourcePath, const QString& suggestedBaseName,
              const std::function<TimeRange()>& selection, const QString& title = {},
              const QDateTime& date = {});
    // Ends a running export; the destination stays as it was.
    void cancel();

    bool isExporting() const { return isExporting_; }
    // 0 to 100 while an export runs.
    int progressPercent() const { return progressPercent_; }
    std::optional<QString> error() const { return error_; }
    // What the user should know about a save that succeeded, until they close its alert.
    std::optional<QString> notice() const { return notice_; }

    // The default runs the save dialog.
    void setDestinationProvider(DestinationProvider provider);

signals:
    void isExportingChanged(bool isExporting);
    void progressChanged(int percent);
    void saved(const QUrl& destination);

private:
    void finish();
    void setError(std::optional<QString> message);
    void setNotice(std::optional<QString> message);

    DestinationProvider destinationProvider_;
    QFutureWatcher<ExportOutcome> watcher_;
    QUrl destination_;
    // Until the outcome is handled, not only until the worker returns.
    bool isExporting_ = false;
    int progressPercent_ = 0;
    std::optional<QString> error_;
    MessageAlert* errorAlert_;
    std::optional<QString> notice_;
    MessageAlert* noticeAlert_;
};
