#pragma once

#include "ExportFormat.h"
#include "ExportOptions.h"

#include <QCoreApplication>
#include <QString>
#include <QUrl>
#include <optional>

class QWidget;

// The save dialog: the export formats in its file-type list, the format last chosen selected
// and remembered, the suggested name preset with that format's extension, the extension added
// when the user leaves it out, and a question before an existing file is replaced. Below the
// file type, the loudness to save at and whether to fade in and out, remembered like the format.
class SaveDestinationDialog {
    Q_DECLARE_TR_FUNCTIONS(SaveDestinationDialog)

public:
    SaveDestinationDialog() = delete;

    // Nothing when the user cancels.
    static std::optional<QUrl> ask(QWidget* parent, const QString& suggestedFileName);

    // The name a file dialog returned, as the file that will be written: with `format`'s
    // extension when it has none of ours, and only after the user agreed to replace an existing
    // file. Nothing when they didn't.
    static std::optional<QUrl> confirmed(QWidget* parent, const QString& chosenPath,
                                         ExportFormat format);

    // An audio file's extension that is none of the export formats' ("ogg", "aiff", …).
    static bool isOtherAudioSuffix(const QString& suffix);

    // The path as it is when it ends in an export format's extension, else with `format`'s.
    static QString withAudioSuffix(const QString& path, ExportFormat format);

    // The format the user saved in last (kept in the settings), M4A at first.
    static ExportFormat lastFormat();

    // The loudness and fades the user saved with last: as recorded and none at first.
    static ExportOptions lastOptions();
};
