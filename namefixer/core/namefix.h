// The name fixer's rules: which host dialogs are watched and how a confirmed name is trimmed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace namefix {

// A dialog identifier as the host reports it: the 16 bytes of a GUID in memory order
// (Data1, Data2, Data3 little-endian, then the eight Data4 bytes).
using DialogId = std::array<uint8_t, 16>;

constexpr int kWatchedDialogs = 7;

// The watched dialogs, index 0..6. Dialogs 0 to 3 take paths, so a final ".." there means the
// parent folder and is kept.
const DialogId& WatchedDialog(int index);

// Returns the index of a watched dialog, compared from the last entry down to the first; -1 when
// the identifier is not watched.
int FindWatchedDialog(const DialogId& id);

// Removes trailing spaces and dots, working from the end. With keepParentDots, a final ".." that
// is the whole text or follows "\" or "/" stays. Returns what remains (possibly empty).
std::u16string TrimName(std::u16string_view text, bool keepParentDots);

// The rule for a dialog index: dialogs 0 to 3 keep the parent-folder dots.
inline bool KeepsParentDots(int dialogIndex) { return dialogIndex >= 0 && dialogIndex <= 3; }

}  // namespace namefix
