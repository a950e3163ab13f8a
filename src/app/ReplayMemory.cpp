#include "ReplayMemory.h"

#include <QSettings>
#include <algorithm>

namespace {
const QString minutesKey = QStringLiteral("replay/minutes");
const QString lengthKey = QStringLiteral("replay/length");
const QString startAfreshKey = QStringLiteral("replay/startAfresh");
} // namespace

bool ReplayMemory::isOffered(int minutes) {
    return std::find(lengths.begin(), lengths.end(), minutes) != lengths.end();
}

int ReplayMemory::minutes() {
    // A settings file edited by hand may hold anything; only a length offered switches it on.
    const int kept = QSettings().value(minutesKey, 0).toInt();
    return isOffered(kept) ? kept : 0;
}

void ReplayMemory::setMinutes(int minutes) {
    QSettings settings;
    settings.setValue(minutesKey, isOffered(minutes) ? minutes : 0);
    if (isOffered(minutes))
        settings.setValue(lengthKey, minutes);
}

int ReplayMemory::length() {
    const int chosen = QSettings().value(lengthKey, defaultLength).toInt();
    return isOffered(chosen) ? chosen : defaultLength;
}

bool ReplayMemory::startsAfresh() {
    return QSettings().value(startAfreshKey, false).toBool();
}

void ReplayMemory::setStartsAfresh(bool afresh) {
    QSettings().setValue(startAfreshKey, afresh);
}
