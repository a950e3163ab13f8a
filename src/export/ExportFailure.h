#pragma once

#include "Failure.h"

#include <QByteArray>
#include <QException>
#include <QString>
#include <optional>

// An export failed. It carries what the user is told (failure()): that the audio couldn't be
// saved, and why: the file system's, libsndfile's or FFmpeg's own text (e.g. "Permission
// denied"), or the exporter's. what() is that reason alone, for the log.
class ExportFailure : public QException {
public:
    // The exporter's own failure that has a name callers may test for.
    enum Case { sessionCreationFailed };

    explicit ExportFailure(const QString& reason);
    // "Couldn't set up the export.": the exporter could not even begin.
    explicit ExportFailure(Case errorCase);

    static ExportFailure fromErrno(int errorNumber);
    static ExportFailure fromFFmpeg(int averror);

    std::optional<Case> errorCase() const { return errorCase_; }
    const Failure& failure() const { return failure_; }
    const char* what() const noexcept override;
    void raise() const override;
    ExportFailure* clone() const override;

private:
    std::optional<Case> errorCase_;
    Failure failure_;
    QByteArray reasonText_;
};
