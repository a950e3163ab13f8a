#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// How a selection is saved beyond its format: loudness, fades at the cuts, and the tags.
struct ExportOptions {
    // Integrated loudness (EBU R128) to bring the selection to with one gain; none: as recorded.
    std::optional<double> loudnessTargetLufs;
    // The highest true peak a loudness target may leave; peaks above it are limited.
    double truePeakCeilingDbtp = -1.0;
    // Length of the fade in at the start and out at the end, each only where the cut falls on
    // sound; 0: none.
    double fadeSeconds = 0.0;
    // The recording's name and when it was made, for the file's tags; empty ones are left out.
    QString title;
    QDateTime date;
};

// What a finished export did that the user may want to know.
struct ExportOutcome {
    // A loudness target was asked for but the selection is silent or too short to measure, so
    // it was saved as recorded.
    bool loudnessUnmeasurable = false;
    // The gain applied for the loudness target, in dB.
    double gainDb = 0.0;
};
