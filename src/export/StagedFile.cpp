#include "StagedFile.h"

#include "ExportFailure.h"
#include "FileDescriptor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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

// A file being replaced keeps its permissions. Best effort: the audio matters more than the mode.
void keepModeOf(const QString& destinationPath, int descriptor) {
    struct stat existing {};
    if (::stat(QFile::encodeName(destinationPath).constData(), &existing) == 0 &&
        S_ISREG(existing.st_mode))
        (void)::fchmod(descriptor, existing.st_mode & 07777);
}

} // namespace

StagedFile::StagedFile(const QString& destinationPath) : destinationPath_(destinationPath) {
    // Replacing a link replaces the file it points to, as saving over it in any editor would.
    if (const QFileInfo link(destinationPath); link.isSymLink())
        destinationPath_ = link.symLinkTarget();
    const QFileInfo destination(destinationPath_);
    for (int attempt = 0;; ++attempt) {
        const QString candidate = destination.dir().filePath(stagedName(destination));
        // Created here, exclusively, with the mode a new file of the user's gets (umask applies).
        FileDescriptor file(::open(QFile::encodeName(candidate).constData(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file.get() >= 0) {
            path_ = candidate;
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
