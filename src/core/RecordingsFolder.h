#pragma once

#include "Failure.h"

#include <QString>

// Where recordings live: the user's own data folder, $XDG_DATA_HOME/Sonabrix/Recordings
// (~/.local/share/... by default), not the temporary folder, which many systems keep in memory
// and empty at boot.
namespace RecordingsFolder {

// Looked up anew at each call, so that a changed environment is honoured.
QString path();

// Creates the folder, and the Sonabrix folder above it, readable by the user alone when they
// don't exist yet. The path, or the folder that couldn't be made and why.
Result<QString> ensure();

} // namespace RecordingsFolder
