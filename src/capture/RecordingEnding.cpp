#include "RecordingEnding.h"

#include <QCoreApplication>

namespace {

// The recorder's messages, translated where its other messages are.
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(SystemAudioRecorder)
};

} // namespace

std::optional<QString> endingMessage(const RecordingEnding& ending) {
    using T = Texts;
    const RecordingWriter::Outcome& file = ending.file;
    std::optional<QString> fileProblem;
    if (file.creationError)
        fileProblem = T::tr("Couldn't create the recording file: %1").arg(*file.creationError);
    else if (file.lossReason)
        fileProblem = T::tr("Part of the recording couldn't be saved: %1").arg(*file.lossReason);
    // A stream that died says so itself; no file then is no news.
    else if (!file.filePath && !ending.stoppedByItself)
        fileProblem = T::tr("No audio was captured — is anything actually playing sound?");

    if (ending.stoppedByItself) {
        const QString stopped =
            T::tr("Capture stopped unexpectedly: %1").arg(*ending.stoppedByItself);
        return fileProblem ? stopped + QStringLiteral("\n\n") + *fileProblem : stopped;
    }
    // What became of the audio matters more than how the stream ended.
    if (fileProblem)
        return fileProblem;
    if (ending.stoppedForSpace)
        return T::tr("The recording was stopped because the disk is almost full. Everything "
                     "recorded until then has been kept.");
    if (ending.stopError)
        return T::tr("Couldn't stop capture cleanly: %1").arg(*ending.stopError);
    return std::nullopt;
}
