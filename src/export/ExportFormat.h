#pragma once

#include <QString>
#include <array>
#include <optional>

// The file formats a selection can be saved in; the destination's extension picks one.
enum class ExportFormat { m4a, mp3, opus, flac, wav };

// In the order the save dialog offers them: M4A first, the default.
inline constexpr std::array allExportFormats{ExportFormat::m4a, ExportFormat::mp3,
                                             ExportFormat::opus, ExportFormat::flac,
                                             ExportFormat::wav};

// The file name extension without its dot, e.g. "m4a".
QString extensionOf(ExportFormat format);
// The format's name in the save dialog's file-type list, e.g. "MPEG-4 audio".
QString displayNameOf(ExportFormat format);
// The format a file name asks for by its extension, in any letter case.
std::optional<ExportFormat> exportFormatForPath(const QString& path);
