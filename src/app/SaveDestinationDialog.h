#pragma once

#include <QCoreApplication>
#include <QString>
#include <QUrl>
#include <optional>

class QWidget;

// The save dialog: MPEG-4 audio only, the suggested name preset, ".m4a" added when the user
// leaves it out, and a question before an existing file is replaced.
class SaveDestinationDialog {
    Q_DECLARE_TR_FUNCTIONS(SaveDestinationDialog)

public:
    SaveDestinationDialog() = delete;

    // Nothing when the user cancels.
    static std::optional<QUrl> ask(QWidget* parent, const QString& suggestedFileName);

    // The name a file dialog returned, as the file that will be written: with its suffix, and
    // only after the user agreed to replace an existing file. Nothing when they didn't.
    static std::optional<QUrl> confirmed(QWidget* parent, const QString& chosenPath);

    // The path with ".m4a" at its end, whatever else the user typed.
    static QString withAudioSuffix(const QString& path);
};
