#pragma once

#include <QString>
#include <QUrl>

// One release offered by the update feed.
struct AppcastItem {
    // The machine version that is compared ("0.2.0", "1.4b2").
    QString version;
    // What people read; the version when the feed gives none.
    QString shortVersionString;
    QUrl downloadURL;
    QUrl releaseNotesURL;

    QString displayVersion() const {
        return shortVersionString.isEmpty() ? version : shortVersionString;
    }
};
