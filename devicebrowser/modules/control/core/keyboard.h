// The remote keyboard's logic: which host key stands for which device key, the input records sent
// for a key or a character, the clipboard text request, the hint lines of the dialog and the
// scratch folder's name. Pure functions; the shell sends what they build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace handrel::control {

// ---- Host keys (8-bit generation) ---------------------------------------------------------------

// A dialog key code of the 8-bit host: the key in the low 16 bits (a character 0..255, or 0x100
// plus the virtual key for the other keys), the modifier bits above.
constexpr uint32_t kExtendedKey = 0x100;
constexpr uint32_t kModCtrl = 0x01000000, kModAlt = 0x02000000, kModShift = 0x04000000;
constexpr uint32_t kModRightCtrl = 0x10000000, kModRightAlt = 0x20000000;

struct Modifiers {
  bool ctrl = false, alt = false, shift = false;
};
Modifiers ModifiersOf(uint32_t hostKey);

// What a key pressed in the dialog does.
enum class KeyAction {
  kSwallow,        // nothing reaches the device; the host does not see the key either
  kVirtualKey,     // key records for `code`
  kOemCharacter,   // `code` is an OEM byte (32..255): a character record once converted
  kCharacter,      // `code` is the character itself
  kTypeClipboard,  // Alt+F10
  kClose,          // Alt+F12
};
struct KeyDecision {
  KeyAction action = KeyAction::kSwallow;
  uint32_t code = 0;
  Modifiers modifiers;
};
KeyDecision DecideKey(uint32_t hostKey);

// ---- Input records -------------------------------------------------------------------------------

constexpr size_t kInputRecordSize = 24;
constexpr uint32_t kRecordCharacter = 1, kRecordKey = 2, kRecordText = 4;
constexpr uint32_t kKeyDown = 4, kKeyUp = 6;
constexpr uint8_t kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12, kVkLeftWindows = 0x5B;

// The records of one virtual key with the host modifiers, the zero record last: Ctrl, Shift and
// (for Alt, which the device lacks) the left Windows key go down around the key and come up in
// reverse order; a modifier is not wrapped around itself.
std::vector<uint8_t> KeyRecords(uint8_t virtualKey, Modifiers modifiers);

// Shift state flags of a character record. The Windows keys are the computer's, read at the time.
uint32_t CharacterFlags(Modifiers modifiers, bool leftWindowsDown, bool rightWindowsDown);
// One character record and the zero record.
std::vector<uint8_t> CharacterRecords(uint32_t flags, char16_t character);

// The text request's parameters: one text record (count, the characters, a terminator), zero
// padded so that the whole request ("InputEvent;" + these + the request's two closing zero bytes)
// is 2n + 48 bytes.
constexpr char16_t kInputCommand[] = u"InputEvent;";
constexpr size_t kTextRequestOverhead = 48;
std::vector<uint8_t> TextRecord(const std::u16string& text);

// Longer clipboard texts are typed only after the user confirms.
constexpr size_t kClipboardQuietLength = 127;
inline bool AskBeforeTyping(size_t length) { return length > kClipboardQuietLength; }

// ---- The dialog ----------------------------------------------------------------------------------

constexpr int kDialogWidth = 46;
constexpr char kDialogTitle[] = "Handrel Control";

enum class HintAction { kKey, kTypeClipboard, kClose };
struct Hint {
  int row;
  const char* text;
  HintAction action;
  uint8_t virtualKey;  // kKey
  bool alt;            // kKey: sent with Alt (the device's Windows key)
};
// The hints in row order, left before right; the separator sits on kSeparatorRow.
const std::vector<Hint>& Hints();
constexpr int kSeparatorRow = 6;

// ---- Scratch folder ------------------------------------------------------------------------------

constexpr size_t kTempFolderChars = 230;
constexpr char16_t kScratchFile[] = u"Control.txt";
// The folder for a counter: the temporary folder (at most 230 characters, a backslash after it)
// and "Handrel%04X".
std::u16string ScratchFolder(const std::u16string& tempFolder, unsigned counter);

class ScratchSeam {
 public:
  virtual ~ScratchSeam() = default;
  virtual bool IsEmptyFolder(const std::u16string& path) = 0;
  // kNever: the folder could not be made because the folder above it is missing, so no other
  // counter can succeed either.
  enum class Made { kYes, kNo, kNever };
  virtual Made CreateFolder(const std::u16string& path) = 0;
};
// The first folder from counter 0 upwards that is empty or can be created; false when none of
// the 65536 can (or, once the temporary folder proves missing, without trying the rest).
bool FindScratchFolder(const std::u16string& tempFolder, ScratchSeam& seam, std::u16string& out);

}  // namespace handrel::control
