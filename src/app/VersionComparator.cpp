#include "VersionComparator.h"

#include <algorithm>
#include <vector>

namespace {

struct Run {
    bool isNumber;
    QString text;
};

std::vector<Run> runsOf(const QString& version) {
    std::vector<Run> runs;
    bool inRun = false;
    for (const QChar c : version) {
        const bool isDigit = c >= u'0' && c <= u'9';
        if (!isDigit && !c.isLetter()) {
            inRun = false; // a separator ends the current run
            continue;
        }
        if (!inRun || runs.back().isNumber != isDigit) {
            runs.push_back({isDigit, QString()});
            inRun = true;
        }
        runs.back().text.append(c);
    }
    return runs;
}

// Numbers of any length, without converting: fewer significant digits is smaller.
int compareNumbers(QString a, QString b) {
    while (a.size() > 1 && a.front() == u'0') {
        a.remove(0, 1);
    }
    while (b.size() > 1 && b.front() == u'0') {
        b.remove(0, 1);
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

bool isZero(const Run& run) {
    return run.isNumber && compareNumbers(run.text, QStringLiteral("0")) == 0;
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

} // namespace

// Versions begin with a digit or a letter; "-2.0" is not 2.0.
static bool isWellFormed(const QString& version) {
    return !version.isEmpty() && version.front().isLetterOrNumber();
}

int VersionComparator::compare(const QString& a, const QString& b) {
    if (isWellFormed(a) != isWellFormed(b)) {
        return isWellFormed(a) ? 1 : -1; // a malformed version is older than any other
    }
    const std::vector<Run> left = runsOf(a);
    const std::vector<Run> right = runsOf(b);
    const size_t common = std::min(left.size(), right.size());
    for (size_t i = 0; i < common; ++i) {
        const Run& l = left[i];
        const Run& r = right[i];
        if (l.isNumber != r.isNumber) {
            return l.isNumber ? 1 : -1;
        }
        const int order = l.isNumber ? compareNumbers(l.text, r.text)
                                     : l.text.compare(r.text, Qt::CaseInsensitive);
        if (order != 0) {
            return sign(order);
        }
    }
    // The longer one decides by its first meaningful extra run: letters mark a pre-release
    // ("1.0b"), a non-zero number a later release ("1.0.1").
    const bool leftIsLonger = left.size() > right.size();
    const std::vector<Run>& longer = leftIsLonger ? left : right;
    for (size_t i = common; i < longer.size(); ++i) {
        if (isZero(longer[i])) {
            continue;
        }
        const int longerIsNewer = longer[i].isNumber ? 1 : -1;
        return leftIsLonger ? longerIsNewer : -longerIsNewer;
    }
    return 0;
}
