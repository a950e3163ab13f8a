#include "ExportFailure.h"

#include <QCoreApplication>

extern "C" {
#include <libavutil/error.h>
}

ExportFailure::ExportFailure(const QString& reason)
    : failure_{QCoreApplication::translate("ExportFailure", "The audio couldn't be saved."),
               reason},
      reasonText_(reason.toUtf8()) {}

ExportFailure::ExportFailure(Case errorCase)
    : ExportFailure(QCoreApplication::translate("AudioExporter", "Couldn't set up the export.")) {
    errorCase_ = errorCase;
}

// av_strerror is thread-safe where strerror is not, and speaks errno as well.
ExportFailure ExportFailure::fromErrno(int errorNumber) {
    return fromFFmpeg(AVERROR(errorNumber));
}

ExportFailure ExportFailure::fromFFmpeg(int averror) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return ExportFailure(QString::fromUtf8(text));
}

const char* ExportFailure::what() const noexcept {
    return reasonText_.constData();
}

void ExportFailure::raise() const {
    throw *this;
}

ExportFailure* ExportFailure::clone() const {
    return new ExportFailure(*this);
}
