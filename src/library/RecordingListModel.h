#pragma once

#include "RecordingLibrary.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QLocale>
#include <optional>
#include <vector>

// The recordings folder for a list view, newest first. Only the directory is read up front;
// a row's header and notes are read when a view first asks for that row, so a folder of
// thousands opens at once.
class RecordingListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        PathRole = Qt::UserRole + 1,
        DateRole,
        // Seconds as a double; invalid when the file can't be read.
        DurationRole,
        SizeRole,
        InterruptedRole,
        // The user's title; empty for none.
        TitleRole,
        // The line under the name: date, duration, size, and the interrupted mark.
        DetailsRole,
    };

    explicit RecordingListModel(QObject* parent = nullptr);

    // Reads the folder anew.
    void reload(const QString& folder);
    // Reads one recording's notes anew, after they changed.
    void refresh(const QString& path);

    QString folder() const { return folder_; }
    qint64 totalBytes() const { return totalBytes_; }
    int rowOf(const QString& path) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // "1:05.3", "1:02:03.0": tenths truncated, as the editor shows lengths.
    static QString durationText(double seconds);
    // One way for every date in the list, with seconds, so that recordings made a few
    // seconds apart can be told apart in every language.
    static QString dateText(const QDateTime& date, const QLocale& locale);
    // In the units the desktop shows files in: decimal (kB, MB) unless KDE's binary ones.
    static QString sizeText(qint64 bytes, const QLocale& locale);

signals:
    void totalBytesChanged(qint64 bytes);

private:
    struct Details {
        std::optional<double> duration;
        QString title;
        bool interrupted = false;
    };
    struct Row {
        Recording recording;
        std::optional<Details> details;
    };
    // Reads the row's header and notes on first use.
    const Details& details(Row& row) const;

    QString folder_;
    // Filled in lazily from data(), which is const.
    mutable std::vector<Row> rows_;
    qint64 totalBytes_ = 0;
};
