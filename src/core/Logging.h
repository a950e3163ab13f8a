#pragma once

#include <QLoggingCategory>

// One category per subsystem. Warnings are on by default; the rest with --verbose or
// QT_LOGGING_RULES="sonabrix.*=true". Lines say what a support question needs (servers,
// devices, formats, frame counts, outcomes), never audio or file contents.
Q_DECLARE_LOGGING_CATEGORY(lcCapture)
Q_DECLARE_LOGGING_CATEGORY(lcPlayback)
Q_DECLARE_LOGGING_CATEGORY(lcAnalysis)
Q_DECLARE_LOGGING_CATEGORY(lcExport)
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcUpdater)
Q_DECLARE_LOGGING_CATEGORY(lcLibrary)

namespace Logging {

// Turns every sonabrix category on at debug level, unless QT_LOGGING_RULES already decides.
void enableVerbose();

} // namespace Logging
