#pragma once

#include "LoudnessMeter.h"
#include "TimeRange.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// Measures a range of a recording as it will be saved (mixed to at most two channels), its two
// halves side by side when it is long enough, so on two cores the extra read costs half the
// time. `advanced` hears of each chunk read, from either half's thread, and answers false to
// stop: then there is no result. Throws ExportFailure when the file can't be read or changes.
std::optional<LoudnessMeter> measureLoudness(const QString& sourcePath, TimeRange range,
                                             const std::function<bool(int64_t frames)>& advanced);
