#include "Logging.h"

Q_LOGGING_CATEGORY(lcCapture, "sonabrix.capture", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPlayback, "sonabrix.playback", QtWarningMsg)
Q_LOGGING_CATEGORY(lcAnalysis, "sonabrix.analysis", QtWarningMsg)
Q_LOGGING_CATEGORY(lcExport, "sonabrix.export", QtWarningMsg)
Q_LOGGING_CATEGORY(lcApp, "sonabrix.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUpdater, "sonabrix.updater", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLibrary, "sonabrix.library", QtWarningMsg)

void Logging::enableVerbose() {
    // Rules set here are overridden by QT_LOGGING_RULES, so a user's own rules still win.
    QLoggingCategory::setFilterRules(QStringLiteral("sonabrix.*=true"));
}
