#pragma once

#include <QByteArray>
#include <QException>
#include <QString>
#include <optional>

// An export failed; what() is a readable text ready to show the user: the file system's,
// libsndfile's or FFmpeg's own (e.g. "Permission denied"), or the exporter's.
class ExportFailure : public QException {
public:
    // The exporter's own failure that has a name callers may test for.
    enum Case { sessionCreationFailed };

    explicit ExportFailure(const QString& description);
    // "Couldn't set up the export.": the exporter could not even begin.
    explicit ExportFailure(Case errorCase);

    static ExportFailure fromErrno(int errorNumber);
    static ExportFailure fromFFmpeg(int averror);

    std::optional<Case> errorCase() const { return errorCase_; }
    const char* what() const noexcept override;
    void raise() const override;
    ExportFailure* clone() const override;

private:
    std::optional<Case> errorCase_;
    QByteArray description_;
};
