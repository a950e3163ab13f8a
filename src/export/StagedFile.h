#pragma once

#include <QString>

// A new, uniquely named file beside a destination (the end of its chain of links), to be
// written in full and then renamed over it in one step. Until commit() succeeds the
// destination is untouched, and a staged file that is never committed is removed. A
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
    bool committed_ = false;
};
