#include "devicebrowser/modules/control/core/keyboard.h"

#include <algorithm>
#include <cstdio>

namespace handrel::control {

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Record(std::vector<uint8_t>& out, uint32_t kind, uint32_t a, uint32_t b = 0, uint32_t c = 0) {
  Put32(out, kind);
  Put32(out, a);
  Put32(out, b);
  Put32(out, c);
  Put32(out, 0);
  Put32(out, 0);
}

void KeyRecord(std::vector<uint8_t>& out, uint8_t vk, uint32_t flags) { Record(out, kRecordKey, vk, 0, flags); }

void EndRecord(std::vector<uint8_t>& out) { out.insert(out.end(), kInputRecordSize, 0); }

constexpr uint32_t Ext(uint32_t vk) { return kExtendedKey + vk; }

// Host keys that reach neither the device nor the host: Ins, the Windows keys, the keypad's
// digits and operators, F13 to F24, the browser and media keys, and the host's internal codes.
bool Swallowed(uint32_t key) {
  if (key < 32) return true;
  if (key == 301 || key == 347 || key == 348 || key == 365 || key == 367) return true;
  if ((key >= 352 && key <= 363) || (key >= 380 && key <= 391) || (key >= 422 && key <= 439)) return true;
  if ((key >= 513 && key <= 516) || key == 521 || key == 522) return true;
  return key == 768 || key == 1023 || key == 4095 || key == 4097 || key == 4098 || key == 65535;
}

}  // namespace

Modifiers ModifiersOf(uint32_t hostKey) {
  Modifiers m;
  m.ctrl = (hostKey & (kModCtrl | kModRightCtrl)) != 0;
  m.alt = (hostKey & (kModAlt | kModRightAlt)) != 0;
  m.shift = (hostKey & kModShift) != 0;
  return m;
}

KeyDecision DecideKey(uint32_t hostKey) {
  KeyDecision d;
  d.modifiers = ModifiersOf(hostKey);
  uint32_t key = hostKey & 0xFFFF;
  auto vk = [&](uint32_t code) {
    d.action = KeyAction::kVirtualKey;
    d.code = code;
    return d;
  };
  switch (key) {
    case 8: case 9: case 13: case 27: return vk(key);
    case Ext(13): return vk(0x0D);  // Enter of the keypad
    case Ext(0x03): return vk(0x03);  // Break
    case Ext(0x2E): return vk(0x2E);  // Del
    case Ext(0x5D): return vk(0x5B);  // Apps: the device's Windows soft key
    case Ext(0x7A): return vk(0x7A);  // F11
    case Ext(0x79):
      if (d.modifiers.alt) {
        d.action = KeyAction::kTypeClipboard;
        return d;
      }
      return vk(0x79);
    case Ext(0x7B):
      if (d.modifiers.alt) {
        d.action = KeyAction::kClose;
        return d;
      }
      return vk(0x7B);
    default: break;
  }
  if (key >= Ext(0x21) && key <= Ext(0x28)) return vk(key - kExtendedKey);  // PgUp ... Down
  if (key >= Ext(0x70) && key <= Ext(0x78)) return vk(key - kExtendedKey);  // F1 ... F9
  if (Swallowed(key)) return d;
  d.action = key <= 255 ? KeyAction::kOemCharacter : KeyAction::kCharacter;
  d.code = key;
  return d;
}

std::vector<uint8_t> KeyRecords(uint8_t virtualKey, Modifiers m) {
  bool ctrl = m.ctrl && virtualKey != kVkControl;
  bool shift = m.shift && virtualKey != kVkShift;
  bool windows = m.alt && virtualKey != kVkMenu;
  std::vector<uint8_t> out;
  if (ctrl) KeyRecord(out, kVkControl, kKeyDown);
  if (shift) KeyRecord(out, kVkShift, kKeyDown);
  if (windows) KeyRecord(out, kVkLeftWindows, kKeyDown);
  KeyRecord(out, virtualKey, kKeyDown);
  KeyRecord(out, virtualKey, kKeyUp);
  if (windows) KeyRecord(out, kVkLeftWindows, kKeyUp);
  if (shift) KeyRecord(out, kVkShift, kKeyUp);
  if (ctrl) KeyRecord(out, kVkControl, kKeyUp);
  EndRecord(out);
  return out;
}

uint32_t CharacterFlags(Modifiers m, bool leftWindowsDown, bool rightWindowsDown) {
  uint32_t flags = m.ctrl ? 0x40000080u : 0x80u;
  if (m.alt) flags |= 0x10000000u;
  if (m.shift) flags |= 0x20000000u;
  if (rightWindowsDown) flags |= 0x80000u;
  if (leftWindowsDown) flags |= 0x800000u;
  return flags;
}

std::vector<uint8_t> CharacterRecords(uint32_t flags, char16_t character) {
  std::vector<uint8_t> out;
  Record(out, kRecordCharacter, flags, character);
  EndRecord(out);
  return out;
}

std::vector<uint8_t> TextRecord(const std::u16string& text) {
  constexpr size_t commandBytes = (sizeof kInputCommand / sizeof kInputCommand[0] - 1) * 2;
  size_t total = 2 * text.size() + kTextRequestOverhead - commandBytes - 2;
  std::vector<uint8_t> out;
  out.reserve(total);
  Put32(out, kRecordText);
  Put32(out, static_cast<uint32_t>(text.size()));
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.resize(total, 0);  // the terminator and the padding
  return out;
}

const std::vector<Hint>& Hints() {
  static const std::vector<Hint> hints = {
      {1, "[ F1 - Left soft   ]", HintAction::kKey, 0x70, false},
      {1, " [ F2 - Right soft  ]", HintAction::kKey, 0x71, false},
      {2, "[ F3 - Green phone ]", HintAction::kKey, 0x72, false},
      {2, " [ F4 - Red phone   ]", HintAction::kKey, 0x73, false},
      {3, "[ F6 - Volume up   ]", HintAction::kKey, 0x75, false},
      {3, " [ F7 - Volume down ]", HintAction::kKey, 0x76, false},
      {4, "[ Alt-F6 - OK key  ]", HintAction::kKey, 0x75, true},
      {4, " [ Apps - Win soft  ]", HintAction::kKey, 0x5B, false},
      {5, "[ Alt-F10 - Type PcClipboard ]", HintAction::kTypeClipboard, 0, false},
      {7, "[ Alt-F12 - Close ]", HintAction::kClose, 0, false},
  };
  return hints;
}

std::u16string ScratchFolder(const std::u16string& tempFolder, unsigned counter) {
  std::u16string path = tempFolder.substr(0, kTempFolderChars);
  if (!path.empty() && path.back() != u'\\') path += u'\\';
  char name[16];
  std::snprintf(name, sizeof name, "Handrel%04X", counter & 0xFFFFu);
  for (const char* c = name; *c; ++c) path += static_cast<char16_t>(*c);
  return path;
}

bool FindScratchFolder(const std::u16string& tempFolder, ScratchSeam& seam, std::u16string& out) {
  for (unsigned counter = 0; counter <= 0xFFFF; ++counter) {
    std::u16string path = ScratchFolder(tempFolder, counter);
    if (seam.IsEmptyFolder(path)) {
      out = path;
      return true;
    }
    ScratchSeam::Made made = seam.CreateFolder(path);
    if (made == ScratchSeam::Made::kYes) {
      out = path;
      return true;
    }
    if (made == ScratchSeam::Made::kNever) return false;
  }
  return false;
}

}  // namespace handrel::control
