#include "StagedFile.h"

#include "ExportFailure.h"
#include "FileDescriptor.h"
#include "Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString stagedName(const QFileInfo& destination) {
    const quint64 token = QRandomGenerator::system()->generate64();
    // Hidden, and short enough to stay within the file system's name limit.
    return QStringLiteral(".%1.%2.part")
        .arg(destination.fileName().left(200))
        .arg(token, 16, 16, QChar('0'));
}

// A staged file's writer holds this lock until it is done; the kernel drops it when the writer
// dies, however it dies.
bool tryLock(int descriptor) {
    return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
}

// Staged files left by a save that was killed before it could clean up: our naming only, our
// own regular files, untouched for some minutes and locked by no writer. The age keeps a file
// that is still being created (before its lock is taken) out of reach.
void removeAbandonedStagedFiles(const QDir& folder) {
    static const QRegularExpression ourNaming(QStringLiteral("^\\..+\\.[0-9a-f]{16}\\.part$"));
    constexpr time_t abandonedAfterSeconds = 10 * 60;
    const QStringList candidates =
        folder.entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : candidates) {
        if (!ourNaming.match(name).hasMatch())
            continue;
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        FileDescriptor file(
            ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat status = {};
        if (!file.isValid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_uid != ::getuid() ||
            std::time(nullptr) - status.st_mtime < abandonedAfterSeconds || !tryLock(file.get()))
            continue;
        struct stat stillThere = {};
        // Only the file just checked, not one that took its name since.
        if (::lstat(path.constData(), &stillThere) == 0 && stillThere.st_ino == status.st_ino &&
            stillThere.st_dev == status.st_dev && ::unlink(path.constData()) == 0)
            qCInfo(lcExport) << "Removed a staged file an interrupted save left behind";
    }
}

// The file at the end of a chain of links, even one that doesn't exist yet. Replacing a link
// replaces the file it points to, as saving over it in any editor would.
QString finalTarget(const QString& path) {
    constexpr int mostLinks = 40; // the kernel's own limit
    QString target = path;
    for (int links = 0; QFileInfo(target).isSymLink(); ++links) {
        if (links == mostLinks)
            throw ExportFailure::fromErrno(ELOOP);
        target = QFileInfo(target).symLinkTarget();
    }
    return target;
}

// An existing destination must be one the user may write: its permissions are not bypassed
// by replacing it, and a folder is never replaced. A file nobody may write counts as
// read-only even for an administrator, whom access() always lets through.
void checkReplaceable(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat existing = {};
    if (::stat(name.constData(), &existing) != 0)
        return;
    if (S_ISDIR(existing.st_mode))
        throw ExportFailure::fromErrno(EISDIR);
    if ((existing.st_mode & 0222) == 0 || ::access(name.constData(), W_OK) != 0)
        throw ExportFailure(QCoreApplication::translate(
                                "AudioExporter", "You don't have permission to replace “%1”.")
                                .arg(QFileInfo(path).fileName()));
}

// A file being replaced keeps its permissions, but never setuid, setgid or sticky: nothing
// there belongs on audio. Best effort: the audio matters more than the mode.
void keepModeOf(const QString& destinationPath, int descriptor) {
    struct stat existing = {};
    if (::stat(QFile::encodeName(destinationPath).constData(), &existing) == 0 &&
        S_ISREG(existing.st_mode))
        (void)::fchmod(descriptor, existing.st_mode & 0777);
}

} // namespace

StagedFile::StagedFile(const QString& destinationPath)
    : destinationPath_(finalTarget(destinationPath)) {
    checkReplaceable(destinationPath_);
    const QFileInfo destination(destinationPath_);
    removeAbandonedStagedFiles(destination.dir());
    for (int attempt = 0;; ++attempt) {
        const QString candidate = destination.dir().filePath(stagedName(destination));
        // Created here, exclusively, with the mode a new file of the user's gets (umask applies).
        FileDescriptor file(::open(QFile::encodeName(candidate).constData(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file.get() >= 0) {
            path_ = candidate;
            (void)tryLock(file.get()); // a fresh file: nobody else holds it
            lock_ = std::move(file);
            return;
        }
        if (errno != EEXIST || attempt == 10)
            throw ExportFailure::fromErrno(errno);
    }
}

StagedFile::~StagedFile() {
    if (!committed_ && !path_.isEmpty())
        ::unlink(QFile::encodeName(path_).constData());
}

void StagedFile::commit() {
    const QByteArray stagedPath = QFile::encodeName(path_);
    {
        // Durable before it takes the destination's name, so a crash can't leave a hollow file.
        FileDescriptor file(::open(stagedPath.constData(), O_RDONLY | O_CLOEXEC));
        if (file.get() < 0 || ::fsync(file.get()) != 0)
            throw ExportFailure::fromErrno(errno);
        // Only now: a read-only mode taken over earlier would have stopped the writing.
        keepModeOf(destinationPath_, file.get());
    }
    if (std::rename(stagedPath.constData(), QFile::encodeName(destinationPath_).constData()) != 0)
        throw ExportFailure::fromErrno(errno);
    committed_ = true;
}
