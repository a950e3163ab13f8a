#pragma once

#include "Failure.h"
#include "TimeRange.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// One recording in the folder, as a directory listing sees it: nothing here reads the file.
struct Recording {
    QString path;
    // When it was started: the file's creation, or its last change where the file system
    // keeps no creation time.
    QDateTime date;
    qint64 sizeBytes = 0;
    // Notes exist: the app saw the recording finish, or has announced it as interrupted.
    bool hasNotes = false;
};

// The recordings folder as a list, and what the user can do to one recording. The recording's
// own file is never rewritten: titles, selections and marks live in its notes.
class RecordingLibrary {
public:
    RecordingLibrary() = delete;

    // The recorder's files in the folder, newest first; anything else there is someone else's
    // and left out. Empty when the folder doesn't exist.
    static QList<Recording> scan(const QString& folder);

    // Seconds, from the file's header alone; nothing when it can't be read.
    static std::optional<double> duration(const QString& path);

    // The recorder closed it cleanly; `started`, when given, is the date the list shows.
    static bool markFinished(const QString& path, std::optional<QDateTime> started = {});
    // Interrupted recordings are announced once: from now on they have notes.
    static bool markAnnounced(const QString& path);
    static bool rename(const QString& path, const QString& title);
    // Gives the file (and its notes, which go with it) a name after its title, so that a file
    // manager and the trash show it too: "Sonabrix-<title>.caf", with what a file name can't
    // hold replaced and a number added when the name is taken. The new path; the old one when
    // the title is empty or the file couldn't be moved.
    static QString nameFileAfterTitle(const QString& path, const QString& title);
    static bool rememberSelection(const QString& path, TimeRange selection);
    // Into the desktop's trash, so that a mistake can be undone; the notes go with it.
    // False with the reason when the file stays.
    static std::optional<Failure> moveToTrash(const QString& path);
};
