#pragma once

#include "CaptureService.h"

#include <QList>
#include <optional>

// What the app keeps between launches about the programs it can record alone: the one the user
// chose on the start screen, and the programs seen playing, so that one that is quiet now can
// still be chosen. Programs are kept by name and binary, never by stream.
namespace ProgramMemory {

// How many programs seen are kept, the most recent first.
constexpr int seenLimit = 10;

// The start screen's choice; none for the whole computer.
std::optional<CaptureProgram> chosen();
void setChosen(const std::optional<CaptureProgram>& program);

// Programs seen playing, the most recent first.
QList<CaptureProgram> seen();
// Puts the programs playing now first, in their order, ahead of those seen before.
void noteSeen(const QList<CaptureProgram>& playing);

} // namespace ProgramMemory
