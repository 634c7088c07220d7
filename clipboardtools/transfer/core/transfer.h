// Sheafer's logic apart from the shell: which action a command asks for, the names of new
// shortcuts, the paste job's record and the error texts. The Win32 side does the clipboard,
// the shell's data objects, links and file operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sheafer {

using Text = std::u16string;

enum Action : int { kCopy = 0, kCut = 1, kMenu = 2, kPaste = 3, kLink = 4 };

// Language file texts (by number).
enum Msg : int {
  kMsgCopy = 0, kMsgCut = 1, kMsgTitle = 2, kMsgPaste = 3, kMsgLink = 4, kMsgErrorTitle = 5, kMsgErrorButton = 6,
  kMsgNotOnClipboard = 7,   // %d: files that failed to go on the clipboard
  kMsgMoveEffect = 8,       // %d: the error of setting the move effect
  kMsgSetClipboard = 9,     // %d: the error of handing the data to the clipboard
  kMsgCreateLink = 10,      // %d: the error of creating a shortcut
  kMsgOpenFolder = 11,      // %d: the error of opening the files' folder
};

// The words of a command line as a program receives them: blanks separate words, double quotes
// group, 2n backslashes before a quote give n and the quote groups, 2n+1 give n and a quote.
std::vector<Text> SplitWords(const Text& line);

struct Request {
  Action action = kMenu;
  std::vector<Text> files;  // for copy and cut typed on the command line
};
// The first word chooses the action (without regard to case); no word or another word: the menu.
Request ParseCommand(const Text& line);

// "Preferred DropEffect": the bit of weight 2 means move.
inline constexpr uint32_t kDropEffectMove = 2;
inline bool IsMove(std::optional<uint32_t> effect) { return effect && (*effect & kDropEffectMove) != 0; }

// The shell file operation's codes and the paste flags (undo allowed).
inline constexpr uint32_t kOperationMove = 1;
inline constexpr uint32_t kOperationCopy = 2;
inline constexpr uint32_t kPasteFlags = 0x40;

// The paste job: the operation (kPasteCopy or kPasteMove), the destination folder, and the
// sources as the shell wants them (each ending with a zero, the list with an empty path).
inline constexpr int kPasteCopy = 1;
inline constexpr int kPasteMove = 2;
struct PasteJob {
  int operation = kPasteCopy;
  Text folder;
  Text sources;  // zero-separated, ending with two zeros
  size_t count = 0;
};
PasteJob MakePasteJob(int operation, const Text& folder, const std::vector<Text>& paths);

// The file list of a dropped-files block (the shell's format 15): a 20-byte header whose first
// field is the offset of the names and whose last says whether they are wide, then the names,
// each ending with a zero, the list with an empty name. Every name is bounded by the block.
// 8-bit names are converted with `widen`. nullopt when the block is malformed.
std::optional<std::vector<Text>> ReadDropFiles(const uint8_t* block, size_t size,
                                               const std::function<Text(const std::string&)>& widen);

// The name of a new shortcut to `source` in a folder: its name without its last extension and
// ".lnk", or "<name> (N).lnk" with N = 2, 3, ... while `exists` says the name is taken.
// The count is capped so that a folder that answers "taken" for ever cannot hang the caller.
std::optional<Text> LinkName(const Text& source, const std::function<bool(const Text&)>& exists);

// "%d" in `format` replaced by `value` once (a language text is never handed to printf).
Text FormatNumber(const Text& format, long long value);

// A path split into its folder (without the final backslash, "C:\" kept whole) and its name.
void SplitPath(const Text& path, Text* folder, Text* name);

}  // namespace sheafer
