#include "ProgramMemory.h"

#include <QSettings>

namespace {

const QString chosenKey = QStringLiteral("recording/program");
const QString seenKey = QStringLiteral("recording/programsSeen");

QVariantMap toMap(const CaptureProgram& program) {
    return {{QStringLiteral("name"), program.name},
            {QStringLiteral("binary"), program.binary},
            {QStringLiteral("icon"), program.iconName}};
}

std::optional<CaptureProgram> fromMap(const QVariantMap& map) {
    CaptureProgram program{map.value(QStringLiteral("name")).toString(),
                           map.value(QStringLiteral("binary")).toString(),
                           map.value(QStringLiteral("icon")).toString()};
    if (program.displayName().isEmpty())
        return std::nullopt;
    return program;
}

} // namespace

std::optional<CaptureProgram> ProgramMemory::chosen() {
    return fromMap(QSettings().value(chosenKey).toMap());
}

void ProgramMemory::setChosen(const std::optional<CaptureProgram>& program) {
    QSettings settings;
    if (program)
        settings.setValue(chosenKey, toMap(*program));
    else
        settings.remove(chosenKey);
}

QList<CaptureProgram> ProgramMemory::seen() {
    QList<CaptureProgram> programs;
    for (const QVariant& entry : QSettings().value(seenKey).toList()) {
        const std::optional<CaptureProgram> program = fromMap(entry.toMap());
        if (program && !programs.contains(*program))
            programs.append(*program);
    }
    return programs;
}

void ProgramMemory::noteSeen(const QList<CaptureProgram>& playing) {
    if (playing.isEmpty())
        return;
    const QList<CaptureProgram> before = seen();
    QList<CaptureProgram> programs;
    for (const QList<CaptureProgram>& list : {playing, before})
        for (const CaptureProgram& program : list)
            if (!program.byNameOrBinary && !program.displayName().isEmpty() &&
                !programs.contains(program) && programs.size() < seenLimit)
                programs.append(program);
    // Only a change is written: the check runs every few seconds while the start screen is up.
    bool same = programs.size() == before.size();
    for (qsizetype i = 0; same && i < programs.size(); ++i)
        same = programs[i].iconName == before[i].iconName && programs[i] == before[i];
    if (same)
        return;
    QVariantList entries;
    for (const CaptureProgram& program : programs)
        entries.append(toMap(program));
    QSettings().setValue(seenKey, entries);
}
