#pragma once

// A closed range of seconds from the start of a recording file; lower <= upper.
// The selection, the silence trimmer, the player and the exporter all speak it.
struct TimeRange {
    double lower = 0.0;
    double upper = 0.0;

    double length() const { return upper - lower; }
    friend bool operator==(const TimeRange&, const TimeRange&) = default;
};
