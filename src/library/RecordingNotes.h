#pragma once

#include "TimeRange.h"

#include <QDateTime>
#include <QString>
#include <optional>

// What the app knows about one recording beyond its audio, kept in a small hidden file beside
// it (".<recording name>.json"), so that the recording's own file never changes. A recording
// without notes is one the app never saw finish: it was interrupted and not yet announced.
struct RecordingNotes {
    // The name the user gave it; empty for none. Saved to at most longestTitle UTF-16 units, so
    // that whatever was saved can be loaded again.
    QString title;
    static constexpr int longestTitle = 200;
    // The editor's last selection.
    std::optional<TimeRange> selection;
    // The app ended while it was being recorded.
    bool interrupted = false;
    // When its first sound played, where the file's own dates say otherwise: a recording saved
    // from what the replay kept was started minutes before its file was.
    std::optional<QDateTime> started;

    // Nothing when there are no notes or they can't be read.
    static std::optional<RecordingNotes> load(const QString& recordingPath);
    // Replaces the notes in one step; false when they couldn't be written. A link in the notes'
    // place is replaced, never written through.
    bool save(const QString& recordingPath) const;

    static QString pathFor(const QString& recordingPath);
    // At most longestTitle units, never ending in half a character.
    static QString cappedTitle(const QString& title);
};
