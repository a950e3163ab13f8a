#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

// An export failed in the file system, libsndfile or FFmpeg; what() is that error's readable
// text (e.g. "Permission denied"), ready to show the user.
class ExportFailure : public QException {
public:
    explicit ExportFailure(const QString& description);

    static ExportFailure fromErrno(int errorNumber);
    static ExportFailure fromFFmpeg(int averror);

    const char* what() const noexcept override;
    void raise() const override;
    ExportFailure* clone() const override;

private:
    QByteArray description_;
};
