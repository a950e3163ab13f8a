#pragma once

#include "TimeRange.h"

#include <QByteArray>
#include <QException>
#include <QFuture>
#include <QUrl>

// Writes a time range of a recording to an MPEG-4 audio (.m4a) file, off the main thread.
class AudioExporter {
public:
    AudioExporter() = delete;

    // The exporter's own failure: it could not even begin. Failures of the file system,
    // libsndfile or FFmpeg arrive as ExportFailure instead, carrying their own text.
    class ExportError : public QException {
    public:
        enum Case { sessionCreationFailed };

        explicit ExportError(Case errorCase);

        Case errorCase() const { return errorCase_; }
        const char* what() const noexcept override;
        void raise() const override;
        ExportError* clone() const override;

    private:
        Case errorCase_;
        QByteArray description_;
    };

    // Runs on Qt Concurrent's pool. The range is read with frame accuracy and clamped to the
    // file; a range holding no audio fails. On success the destination is replaced at once;
    // on failure or cancel() it is left exactly as it was and no temporary file remains.
    // Progress is reported from 0 to 1000 while the audio is encoded.
    static QFuture<void> exportTrimmed(const QUrl& sourceURL, TimeRange range, const QUrl& to);
};
