#include "CaptureService.h"

namespace {

bool same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

CaptureProgram CaptureProgram::named(const QString& nameOrBinary) {
    return {nameOrBinary, nameOrBinary, {}, true};
}

QString CaptureProgram::displayName() const {
    return name.isEmpty() ? binary : name;
}

bool CaptureProgram::matches(const CaptureProgram& stream) const {
    if (byNameOrBinary)
        return (!name.isEmpty() && same(name, stream.name)) ||
               (!binary.isEmpty() && same(binary, stream.binary));
    // One binary can be several programs (a script's players, a browser's web apps): the names
    // they give their streams tell them apart.
    return (!name.isEmpty() || !binary.isEmpty()) && same(name, stream.name) &&
           same(binary, stream.binary);
}

bool CaptureProgram::operator==(const CaptureProgram& other) const {
    return byNameOrBinary == other.byNameOrBinary && same(name, other.name) &&
           same(binary, other.binary);
}
