#include "RecordingListModel.h"

#include "RecordingNotes.h"

#include <QLocale>
#include <QTextDocument>
#include <algorithm>

RecordingListModel::RecordingListModel(QObject* parent) : QAbstractListModel(parent) {}

void RecordingListModel::reload(const QString& folder) {
    beginResetModel();
    folder_ = folder;
    rows_.clear();
    totalBytes_ = 0;
    for (Recording& recording : RecordingLibrary::scan(folder)) {
        totalBytes_ += recording.sizeBytes;
        rows_.push_back({std::move(recording), std::nullopt});
    }
    endResetModel();
    emit totalBytesChanged(totalBytes_);
}

void RecordingListModel::refresh(const QString& path) {
    const int row = rowOf(path);
    if (row < 0) {
        return;
    }
    rows_[row].recording.hasNotes = RecordingNotes::load(path).has_value();
    rows_[row].details.reset();
    emit dataChanged(index(row), index(row));
}

int RecordingListModel::rowOf(const QString& path) const {
    for (size_t row = 0; row < rows_.size(); ++row) {
        if (rows_[row].recording.path == path) {
            return int(row);
        }
    }
    return -1;
}

int RecordingListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

const RecordingListModel::Details& RecordingListModel::details(Row& row) const {
    if (!row.details) {
        Details details;
        details.duration = RecordingLibrary::duration(row.recording.path);
        // Without notes the app never saw it finish.
        details.interrupted = true;
        if (row.recording.hasNotes) {
            if (const auto notes = RecordingNotes::load(row.recording.path)) {
                details.title = notes->title;
                details.interrupted = notes->interrupted;
            }
        }
        row.details = std::move(details);
    }
    return *row.details;
}

QVariant RecordingListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size())) {
        return {};
    }
    Row& row = rows_[size_t(index.row())];
    const Recording& recording = row.recording;
    const QLocale locale;
    switch (role) {
    case PathRole:
        return recording.path;
    case DateRole:
        return recording.date;
    case SizeRole:
        return recording.sizeBytes;
    case DurationRole:
        return details(row).duration ? QVariant(*details(row).duration) : QVariant();
    case InterruptedRole:
        return details(row).interrupted;
    case TitleRole:
        return details(row).title;
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
        const QString title = details(row).title;
        if (!title.isEmpty()) {
            return title;
        }
        return dateText(recording.date, locale);
    }
    case DetailsRole: {
        const Details& about = details(row);
        QStringList parts;
        if (!about.title.isEmpty()) {
            parts << dateText(recording.date, locale);
        }
        parts << (about.duration ? durationText(*about.duration) : tr("Can't be read"));
        parts << sizeText(recording.sizeBytes, locale);
        if (about.interrupted) {
            parts << tr("Interrupted");
        }
        return parts.join(QStringLiteral(" · "));
    }
    case Qt::ToolTipRole:
        // A tooltip reads text that looks like markup as rich text; a file's name is shown as
        // written.
        return Qt::convertFromPlainText(recording.path, Qt::WhiteSpaceNormal);
    default:
        return {};
    }
}

QString RecordingListModel::durationText(double seconds) {
    // Tenths of the whole value, truncated, as the editor counts them: 8.6 s reads 0:08.6 in
    // both places.
    const auto tenths = static_cast<long long>(std::max(0.0, seconds) * 10.0);
    const long long total = tenths / 10;
    if (total >= 3600) {
        return QString::asprintf("%lld:%02lld:%02lld.%lld", total / 3600, total / 60 % 60,
                                 total % 60, tenths % 10);
    }
    return QString::asprintf("%lld:%02lld.%lld", total / 60, total % 60, tenths % 10);
}

QString RecordingListModel::dateText(const QDateTime& date, const QLocale& locale) {
    const QDateTime local = date.toLocalTime();
    // The locale's short time, with seconds where it has none ("HH:mm" in German).
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QLatin1Char('s'))) {
        const qsizetype minutes = timeFormat.indexOf(QLatin1String("mm"));
        if (minutes >= 0) {
            timeFormat.insert(minutes + 2, QLatin1String(":ss"));
        }
    }
    return tr("%1, %2").arg(locale.toString(local.date(), QLocale::ShortFormat),
                            locale.toString(local.time(), timeFormat));
}

QString RecordingListModel::sizeText(qint64 bytes, const QLocale& locale) {
    const bool binary = qEnvironmentVariable("XDG_CURRENT_DESKTOP")
                            .contains(QLatin1String("KDE"), Qt::CaseInsensitive);
    return locale.formattedDataSize(
        bytes, 1, binary ? QLocale::DataSizeIecFormat : QLocale::DataSizeSIFormat);
}
