#include "ExportFormat.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

struct Naming {
    const char* extension;
    const char* displayName;
};

// Indexed by ExportFormat.
constexpr Naming namings[] = {
    {"m4a", QT_TRANSLATE_NOOP("ExportFormat", "MPEG-4 audio")},
    {"mp3", QT_TRANSLATE_NOOP("ExportFormat", "MP3 audio")},
    {"opus", QT_TRANSLATE_NOOP("ExportFormat", "Ogg Opus audio")},
    {"flac", QT_TRANSLATE_NOOP("ExportFormat", "FLAC audio (lossless)")},
    {"wav", QT_TRANSLATE_NOOP("ExportFormat", "WAV audio (lossless)")},
};
static_assert(std::size(namings) == allExportFormats.size());

const Naming& namingOf(ExportFormat format) {
    return namings[static_cast<size_t>(format)];
}

} // namespace

QString extensionOf(ExportFormat format) {
    return QString::fromLatin1(namingOf(format).extension);
}

QString displayNameOf(ExportFormat format) {
    return QCoreApplication::translate("ExportFormat", namingOf(format).displayName);
}

std::optional<ExportFormat> exportFormatForPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    for (const ExportFormat format : allExportFormats)
        if (suffix.compare(extensionOf(format), Qt::CaseInsensitive) == 0)
            return format;
    return std::nullopt;
}
