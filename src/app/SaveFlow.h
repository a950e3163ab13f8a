#pragma once

#include "TimeRange.h"

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
    // selection as it is once the dialog has closed; does nothing while an export runs.
    void save(const QUrl& sourceURL, const QString& suggestedBaseName,
              const std::function<TimeRange()>& selection);
    // Ends a running export; the destination stays as it was.
    void cancel();

    bool isExporting() const { return isExporting_; }
    // 0 to 100 while an export runs.
    int progressPercent() const { return progressPercent_; }
    std::optional<QString> error() const { return error_; }

    // The default runs the save dialog.
    void setDestinationProvider(DestinationProvider provider);

signals:
    void isExportingChanged(bool isExporting);
    void progressChanged(int percent);
    void saved(const QUrl& destination);

private:
    void finish();
    void setError(std::optional<QString> message);

    DestinationProvider destinationProvider_;
    QFutureWatcher<void> watcher_;
    QUrl destination_;
    // Until the outcome is handled, not only until the worker returns.
    bool isExporting_ = false;
    int progressPercent_ = 0;
    std::optional<QString> error_;
    MessageAlert* errorAlert_;
};
