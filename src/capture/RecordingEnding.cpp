#include "RecordingEnding.h"

#include <QCoreApplication>

// The recorder's messages, translated where its other messages are: under the
// SystemAudioRecorder context, named in each call so lupdate files them there too.
std::optional<QString> endingMessage(const RecordingEnding& ending) {
    const RecordingWriter::Outcome& file = ending.file;
    std::optional<QString> fileProblem;
    if (file.creationError)
        fileProblem = file.creationError
                          ->within(QCoreApplication::translate(
                              "SystemAudioRecorder", "Couldn't create the recording file"))
                          .message();
    else if (file.lossReason)
        fileProblem = file.lossReason
                          ->within(QCoreApplication::translate(
                              "SystemAudioRecorder", "Part of the recording couldn't be saved"))
                          .message();
    // A stream that died says so itself; no file then is no news.
    else if (!file.filePath && !ending.stoppedByItself)
        fileProblem = QCoreApplication::translate(
            "SystemAudioRecorder", "No audio was captured — is anything actually playing sound?");

    if (ending.stoppedByItself) {
        const QString stopped =
            QCoreApplication::translate(
                "SystemAudioRecorder",
                "The recording stopped by itself: the sound server ended it. Check that sound "
                "works on your computer, then record again.\n\nThe reason given: %1")
                .arg(*ending.stoppedByItself);
        return fileProblem ? stopped + QStringLiteral("\n\n") + *fileProblem : stopped;
    }
    // What became of the audio matters more than how the stream ended.
    if (fileProblem)
        return fileProblem;
    if (ending.stoppedForSpace)
        return QCoreApplication::translate(
            "SystemAudioRecorder", "The recording was stopped because the disk is almost full. "
                                   "Everything recorded until then has been kept.");
    if (ending.stopError)
        return ending.stopError
            ->within(
                QCoreApplication::translate("SystemAudioRecorder", "Couldn't stop capture cleanly"))
            .message();
    return std::nullopt;
}
