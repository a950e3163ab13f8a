#pragma once

#include <array>

// What the app keeps between launches about the replay: how many minutes it keeps (none while
// it is off), the length last chosen, to switch it on again with, and whether a save drops what
// was kept.
namespace ReplayMemory {

// The lengths offered, in minutes.
constexpr std::array<int, 4> lengths{1, 5, 15, 30};
constexpr int defaultLength = 5;
bool isOffered(int minutes);

// 0 while off.
int minutes();
// Remembers a length offered as the one to switch on with too; anything else as off.
void setMinutes(int minutes);
// The length last chosen; the default before any.
int length();

bool startsAfresh();
void setStartsAfresh(bool afresh);

} // namespace ReplayMemory
