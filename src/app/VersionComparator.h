#pragma once

#include <QString>

// Orders version strings the way release feeds write them: split into runs of digits and runs
// of letters (anything else separates), compared run by run; numbers by value, letters
// alphabetically, and a number outranks letters, so "1.0" > "1.0b2" > "1.0a9".
// Missing trailing zeros don't matter ("1.0" == "1.0.0").
// One not beginning with a digit or letter ("-2.0") is older than any that does.
class VersionComparator {
public:
    VersionComparator() = delete;

    // Negative when a is older than b, zero when the same, positive when newer.
    static int compare(const QString& a, const QString& b);
};
