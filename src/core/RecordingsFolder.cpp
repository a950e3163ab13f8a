#include "RecordingsFolder.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>
#include <sys/stat.h>

namespace {

// mkdir -p, with the given mode for the folders it makes; the failing folder and errno's
// reason when one can't be made.
std::optional<Failure> makeFolders(const QStringList& folders, mode_t mode) {
    for (const QString& folder : folders) {
        if (::mkdir(QFile::encodeName(folder).constData(), mode) != 0 && errno != EEXIST)
            return Failure::because(QStringLiteral("%1: %2").arg(folder, qt_error_string(errno)));
    }
    return std::nullopt;
}

} // namespace

QString RecordingsFolder::path() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/Sonabrix/Recordings");
}

Result<QString> RecordingsFolder::ensure() {
    const QString recordings = path();
    if (recordings.isEmpty())
        return Failure::because(QStringLiteral("$XDG_DATA_HOME: %1").arg(qt_error_string(ENOENT)));
    const QString sonabrix = recordings.section(QLatin1Char('/'), 0, -2);
    QStringList parents;
    for (QString folder = sonabrix.section(QLatin1Char('/'), 0, -2); folder.count('/') > 0;
         folder = folder.section(QLatin1Char('/'), 0, -2)) {
        parents.prepend(folder);
    }
    // Recordings of calls are private: our folders are the user's alone from the first moment.
    if (std::optional<Failure> failure = makeFolders(parents, 0777))
        return *failure;
    if (std::optional<Failure> failure = makeFolders({sonabrix, recordings}, S_IRWXU))
        return *failure;
    struct stat status = {};
    if (::stat(QFile::encodeName(recordings).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return Failure::because(QStringLiteral("%1: %2").arg(recordings, qt_error_string(ENOTDIR)));
    return recordings;
}
