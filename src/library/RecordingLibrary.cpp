#include "RecordingLibrary.h"

#include "DetailPeaksFile.h"
#include "Logging.h"
#include "RecordingNotes.h"
#include "RecordingReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <algorithm>
#include <functional>

namespace {

// Loads the notes (or starts new ones), changes them and writes them back.
bool updateNotes(const QString& path, const std::function<void(RecordingNotes&)>& change) {
    RecordingNotes notes = RecordingNotes::load(path).value_or(RecordingNotes{});
    change(notes);
    const bool saved = notes.save(path);
    if (!saved) {
        qCWarning(lcLibrary) << "Couldn't write the notes of" << path;
    }
    return saved;
}

// The home trash when something other than a folder is in its place, where Qt's own move
// would report success and leave the file in the current folder instead.
QString unusableHomeTrash() {
    const QString trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
    const QFileInfo info(trash);
    return info.exists() && !info.isDir() ? trash : QString();
}

// A trashed file lies in a trash's "files" folder beside its "info" folder.
bool liesInATrash(const QString& movedPath) {
    const QFileInfo moved(movedPath);
    const QDir files = moved.absoluteDir();
    return moved.isAbsolute() && moved.exists() && files.dirName() == "files" &&
           QFileInfo(files.absoluteFilePath("../info")).isDir();
}

} // namespace

QList<Recording> RecordingLibrary::scan(const QString& folder) {
    const QDir directory(folder);
    const QFileInfoList entries =
        directory.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    QSet<QString> noteNames;
    for (const QFileInfo& entry : entries) {
        if (entry.fileName().startsWith(QLatin1Char('.'))) {
            noteNames.insert(entry.fileName());
        }
    }
    QList<Recording> recordings;
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (!name.startsWith(QStringLiteral("Sonabrix-")) ||
            !name.endsWith(QStringLiteral(".caf"))) {
            continue;
        }
        const bool hasNotes =
            noteNames.contains(QFileInfo(RecordingNotes::pathFor(name)).fileName());
        const QDateTime born = entry.birthTime();
        QDateTime date = born.isValid() ? born : entry.lastModified();
        // Notes that know when the sound began say it better than the file.
        if (const auto notes = hasNotes ? RecordingNotes::load(entry.filePath()) : std::nullopt;
            notes && notes->started) {
            date = *notes->started;
        }
        recordings.append({entry.filePath(), date, entry.size(), hasNotes});
    }
    std::sort(recordings.begin(), recordings.end(),
              [](const Recording& a, const Recording& b) { return a.date > b.date; });
    qCDebug(lcLibrary) << recordings.size() << "recordings in" << folder;
    return recordings;
}

std::optional<double> RecordingLibrary::duration(const QString& path) {
    const Result<RecordingReader> recording = RecordingReader::open(path);
    if (!recording) {
        return std::nullopt;
    }
    return static_cast<double>(recording->frameCount()) / recording->sampleRate();
}

bool RecordingLibrary::markFinished(const QString& path, std::optional<QDateTime> started) {
    return updateNotes(path, [&](RecordingNotes& notes) {
        notes.interrupted = false;
        if (started)
            notes.started = started;
    });
}

bool RecordingLibrary::markAnnounced(const QString& path) {
    return updateNotes(path, [](RecordingNotes& notes) { notes.interrupted = true; });
}

bool RecordingLibrary::rename(const QString& path, const QString& title) {
    return updateNotes(path, [&](RecordingNotes& notes) { notes.title = title.trimmed(); });
}

QString RecordingLibrary::nameFileAfterTitle(const QString& path, const QString& title) {
    // Only what every file system takes: no separators, no control characters, no leading
    // dot (hidden), and short enough in bytes for a name with the prefix and a number.
    constexpr qsizetype longestStemBytes = 180;
    QString stem;
    for (const QChar c : title.trimmed()) {
        stem +=
            c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control
                ? QLatin1Char('-')
                : c;
    }
    while (stem.startsWith(QLatin1Char('.'))) {
        stem.remove(0, 1);
    }
    while (stem.toUtf8().size() > longestStemBytes) {
        stem.chop(stem.size() > 1 && stem.at(stem.size() - 1).isLowSurrogate() ? 2 : 1);
    }
    stem = stem.trimmed();
    const QFileInfo file(path);
    if (stem.isEmpty()) {
        return path;
    }
    const QString prefix = file.absolutePath() + QStringLiteral("/Sonabrix-");
    QString target = prefix + stem + QStringLiteral(".caf");
    for (int number = 2; QFileInfo::exists(target) && target != file.absoluteFilePath(); ++number) {
        target = prefix + stem + QStringLiteral(" (%1).caf").arg(number);
    }
    if (target == file.absoluteFilePath()) {
        return path;
    }
    if (!QFile::rename(path, target)) {
        qCWarning(lcLibrary) << "Couldn't name" << path << "after its title";
        return path;
    }
    const QString notes = RecordingNotes::pathFor(path);
    if (QFileInfo::exists(notes) && !QFile::rename(notes, RecordingNotes::pathFor(target))) {
        // A recording without its notes would look interrupted: both keep their old names.
        QFile::rename(target, path);
        qCWarning(lcLibrary) << "Couldn't move the notes of" << path << "; name kept";
        return path;
    }
    // Peaks left under the old name would only be read for nothing, and ones left under the new
    // name by a file deleted elsewhere aren't this recording's; without peaks the recording is
    // read instead.
    const QString peaks = DetailPeaksFile::pathFor(path);
    QFile::remove(DetailPeaksFile::pathFor(target));
    if (QFileInfo::exists(peaks) && !QFile::rename(peaks, DetailPeaksFile::pathFor(target))) {
        QFile::remove(peaks);
    }
    qCInfo(lcLibrary) << "Renamed" << path << "to" << target;
    return target;
}

bool RecordingLibrary::rememberSelection(const QString& path, TimeRange selection) {
    return updateNotes(path, [&](RecordingNotes& notes) { notes.selection = selection; });
}

std::optional<Failure> RecordingLibrary::moveToTrash(const QString& path) {
    if (const QString trash = unusableHomeTrash(); !trash.isEmpty()) {
        qCWarning(lcLibrary) << "Couldn't move" << path << "to the trash:" << trash
                             << "isn't a folder";
        return Failure::because(
            QCoreApplication::translate("RecordingLibrary", "the trash “%1” isn't a folder.")
                .arg(trash));
    }
    QFile file(path);
    if (!file.moveToTrash()) {
        qCWarning(lcLibrary) << "Couldn't move" << path << "to the trash:" << file.errorString();
        return Failure::because(file.errorString());
    }
    if (!liesInATrash(file.fileName())) {
        // Somewhere no trash view shows it: put it back rather than lose it.
        const bool restored = QFile::rename(file.fileName(), path);
        qCWarning(lcLibrary) << "The trash put" << path << "at" << file.fileName()
                             << (restored ? "; moved back" : "; couldn't move it back");
        return Failure::because(
            QCoreApplication::translate("RecordingLibrary", "the trash couldn't take it."));
    }
    qCInfo(lcLibrary) << "Moved" << path << "to the trash";
    QFile notes(RecordingNotes::pathFor(path));
    if (notes.exists() && !notes.moveToTrash()) {
        notes.remove();
    }
    QFile peaks(DetailPeaksFile::pathFor(path));
    if (peaks.exists() && !peaks.moveToTrash()) {
        peaks.remove();
    }
    return std::nullopt;
}
