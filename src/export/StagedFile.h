#pragma once

#include "FileDescriptor.h"

#include <QString>

// A new, uniquely named file beside a destination (the end of its chain of links), to be
// written in full and then renamed over it in one step. Until commit() succeeds the
// destination is untouched, and a staged file that is never committed is removed; one whose
// writer was killed is removed by a later save into the same folder. A
// destination the user may not write, or a folder, is refused at once with ExportFailure.
class StagedFile {
public:
    explicit StagedFile(const QString& destinationPath);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const QString& path() const { return path_; }
    // Makes the written data durable and replaces the destination with it; throws ExportFailure.
    void commit();

private:
    QString destinationPath_;
    QString path_;
    FileDescriptor lock_; // held open, locked, while the file is being written
    bool committed_ = false;
};
