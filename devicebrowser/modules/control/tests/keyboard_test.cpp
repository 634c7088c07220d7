// The remote keyboard's logic: what a key pressed in the dialog becomes on the device, the records
// of a key with its modifiers, the clipboard text request, and the scratch folder search.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "devicebrowser/common/framework/core/names.h"
#include "devicebrowser/modules/control/core/keyboard.h"

using namespace handrel::control;

namespace {

uint32_t Load32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(b[at + 3]) << 24;
}

// The records as "down 11", "up 25", "char 80 41", ending at the zero record (which must be last).
std::vector<std::string> Decode(const std::vector<uint8_t>& records) {
  std::vector<std::string> out;
  EXPECT_EQ(records.size() % kInputRecordSize, 0u);
  for (size_t at = 0; at + kInputRecordSize <= records.size(); at += kInputRecordSize) {
    uint32_t kind = Load32(records, at), a = Load32(records, at + 4), b = Load32(records, at + 8),
             c = Load32(records, at + 12);
    EXPECT_EQ(Load32(records, at + 16), 0u);
    EXPECT_EQ(Load32(records, at + 20), 0u);
    char text[64];
    if (kind == 0) {
      EXPECT_EQ(at + kInputRecordSize, records.size()) << "the zero record ends the list";
      EXPECT_EQ(a | b | c, 0u);
      break;
    }
    if (kind == kRecordKey) {
      EXPECT_EQ(b, 0u) << "no scan code";
      snprintf(text, sizeof text, "%s %X", c == kKeyDown ? "down" : c == kKeyUp ? "up" : "??", a);
    } else {
      snprintf(text, sizeof text, "kind%u %X %X", kind, a, b);
    }
    out.push_back(text);
  }
  return out;
}

using Lines = std::vector<std::string>;

uint32_t Ext(uint32_t vk) { return kExtendedKey + vk; }

}  // namespace

TEST(KeyRecords, ModifiersWrapTheKeyAndComeUpInReverse) {
  // Ctrl+Shift+Left as the host reports it.
  KeyDecision left = DecideKey(Ext(0x25) | kModCtrl | kModShift);
  ASSERT_EQ(left.action, KeyAction::kVirtualKey);
  EXPECT_EQ(Decode(KeyRecords(static_cast<uint8_t>(left.code), left.modifiers)),
            (Lines{"down 11", "down 10", "down 25", "up 25", "up 10", "up 11"}));
  // Alt+F6 (the OK key): the device has no Alt, its left Windows key stands in.
  KeyDecision ok = DecideKey(Ext(0x75) | kModAlt);
  EXPECT_EQ(Decode(KeyRecords(static_cast<uint8_t>(ok.code), ok.modifiers)),
            (Lines{"down 5B", "down 75", "up 75", "up 5B"}));
  // The right-hand Ctrl and Alt count as well; all three in order.
  KeyDecision all = DecideKey(Ext(0x2E) | kModRightCtrl | kModRightAlt | kModShift);
  EXPECT_EQ(Decode(KeyRecords(static_cast<uint8_t>(all.code), all.modifiers)),
            (Lines{"down 11", "down 10", "down 5B", "down 2E", "up 2E", "up 5B", "up 10", "up 11"}));
  // A modifier is not wrapped around itself.
  Modifiers every{true, true, true};
  EXPECT_EQ(Decode(KeyRecords(kVkControl, every)), (Lines{"down 10", "down 5B", "down 11", "up 11", "up 5B", "up 10"}));
  EXPECT_EQ(Decode(KeyRecords(kVkShift, every)), (Lines{"down 11", "down 5B", "down 10", "up 10", "up 5B", "up 11"}));
  EXPECT_EQ(Decode(KeyRecords(kVkMenu, every)), (Lines{"down 11", "down 10", "down 12", "up 12", "up 10", "up 11"}));
  // A plain key: down, up, the end.
  EXPECT_EQ(Decode(KeyRecords(0x1B, Modifiers{})), (Lines{"down 1B", "up 1B"}));
}

TEST(KeyTable, EveryHostKeyGoesToItsDeviceKeyOrIsSwallowed) {
  std::map<uint32_t, uint32_t> keys = {
      {8, 0x08},         {9, 0x09},         {13, 0x0D},        {Ext(13), 0x0D},   {27, 0x1B},
      {Ext(3), 0x03},    {Ext(0x21), 0x21}, {Ext(0x22), 0x22}, {Ext(0x23), 0x23}, {Ext(0x24), 0x24},
      {Ext(0x25), 0x25}, {Ext(0x26), 0x26}, {Ext(0x27), 0x27}, {Ext(0x28), 0x28}, {Ext(0x2E), 0x2E},
      {Ext(0x5D), 0x5B}, {Ext(0x7A), 0x7A}, {Ext(0x79), 0x79}, {Ext(0x7B), 0x7B}};
  for (uint32_t f = 0x70; f <= 0x78; ++f) keys[Ext(f)] = f;
  for (auto [host, device] : keys) {
    KeyDecision d = DecideKey(host);
    EXPECT_EQ(d.action, KeyAction::kVirtualKey) << host;
    EXPECT_EQ(d.code, device) << host;
  }
  // Alt turns F10 into typing the clipboard and F12 into closing; Ctrl or Shift do not.
  EXPECT_EQ(DecideKey(Ext(0x79) | kModAlt).action, KeyAction::kTypeClipboard);
  EXPECT_EQ(DecideKey(Ext(0x79) | kModRightAlt).action, KeyAction::kTypeClipboard);
  EXPECT_EQ(DecideKey(Ext(0x7B) | kModAlt).action, KeyAction::kClose);
  EXPECT_EQ(DecideKey(Ext(0x7B) | kModCtrl).action, KeyAction::kVirtualKey);
  EXPECT_EQ(DecideKey(Ext(0x79) | kModShift).code, 0x79u);
  // Characters: OEM bytes to convert, wider codes as they are.
  EXPECT_EQ(DecideKey('a').action, KeyAction::kOemCharacter);
  EXPECT_EQ(DecideKey(' ').action, KeyAction::kOemCharacter);
  EXPECT_EQ(DecideKey(0xE0 | kModShift).action, KeyAction::kOemCharacter);
  EXPECT_EQ(DecideKey(0xE0 | kModShift).code, 0xE0u);
  EXPECT_EQ(DecideKey(0x16C).action, KeyAction::kCharacter);  // beside the swallowed keypad codes
  EXPECT_EQ(DecideKey(0x430).code, 0x430u);

  std::set<uint32_t> swallowed = {301, 347, 348, 365, 367, 521, 522, 768, 1023, 4095, 4097, 4098, 65535};
  for (uint32_t k = 0; k < 32; ++k)
    if (k != 8 && k != 9 && k != 13 && k != 27) swallowed.insert(k);
  for (uint32_t k = 352; k <= 363; ++k) swallowed.insert(k);
  for (uint32_t k = 380; k <= 391; ++k) swallowed.insert(k);
  for (uint32_t k = 422; k <= 439; ++k) swallowed.insert(k);
  for (uint32_t k = 513; k <= 516; ++k) swallowed.insert(k);
  // Every 16-bit code: swallowed exactly when listed, whatever the modifiers.
  for (uint32_t k = 0; k <= 0xFFFF; ++k) {
    bool isSwallowed = DecideKey(k).action == KeyAction::kSwallow;
    ASSERT_EQ(isSwallowed, swallowed.count(k) == 1) << k;
    ASSERT_EQ(DecideKey(k | kModCtrl | kModAlt).action == KeyAction::kSwallow, isSwallowed) << k;
  }
}

TEST(CharacterRecords, ShiftStateFlagsAndTheRecord) {
  EXPECT_EQ(CharacterFlags(Modifiers{}, false, false), 0x80u);
  EXPECT_EQ(CharacterFlags(Modifiers{true, false, false}, false, false), 0x40000080u);
  EXPECT_EQ(CharacterFlags(Modifiers{false, true, false}, false, false), 0x10000080u);
  EXPECT_EQ(CharacterFlags(Modifiers{false, false, true}, false, false), 0x20000080u);
  EXPECT_EQ(CharacterFlags(Modifiers{true, true, true}, true, true), 0x70880080u);
  EXPECT_EQ(CharacterFlags(Modifiers{}, false, true), 0x80080u);
  EXPECT_EQ(CharacterFlags(Modifiers{}, true, false), 0x800080u);
  EXPECT_EQ(Decode(CharacterRecords(0x20000080u, u'\u0416')), (Lines{"kind1 20000080 416"}));
}

TEST(TextRequest, TheClipboardTextInOneRecordPaddedTo2nPlus48Bytes) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{5}, size_t{127}, size_t{128}, size_t{4000}}) {
    std::u16string text;
    for (size_t i = 0; i < n; ++i) text += static_cast<char16_t>(u'a' + i % 26);
    if (n > 2) text[1] = u'\u20AC';
    std::vector<uint8_t> record = TextRecord(text);
    std::vector<uint8_t> request = handrel::fw::InvokeRequest(kInputCommand, record.data(), record.size());
    ASSERT_EQ(request.size(), 2 * n + 48) << n;
    const size_t at = 22;  // after "InputEvent;"
    EXPECT_EQ(Load32(request, at), kRecordText);
    EXPECT_EQ(Load32(request, at + 4), n);
    for (size_t i = 0; i < n; ++i)
      ASSERT_EQ(request[at + 8 + 2 * i] | request[at + 9 + 2 * i] << 8, text[i]) << i;
    for (size_t i = at + 8 + 2 * n; i < request.size(); ++i) ASSERT_EQ(request[i], 0) << i;
  }
  EXPECT_FALSE(AskBeforeTyping(127));
  EXPECT_TRUE(AskBeforeTyping(128));
}

TEST(Hints, AClickedHintSendsWhatItsKeySends) {
  // Each key hint names the host key that does the same; pressing it must give the same records.
  std::map<std::string, uint32_t> named = {{"F1", Ext(0x70)}, {"F2", Ext(0x71)}, {"F3", Ext(0x72)},
                                           {"F4", Ext(0x73)}, {"F6", Ext(0x75)}, {"F7", Ext(0x76)},
                                           {"Alt-F6", Ext(0x75) | kModAlt}, {"Apps", Ext(0x5D)},
                                           {"Alt-F10", Ext(0x79) | kModAlt}, {"Alt-F12", Ext(0x7B) | kModAlt}};
  int rows[8] = {};
  size_t widths[8] = {};
  for (const Hint& h : Hints()) {
    std::string text = h.text;
    size_t open = text.find("[ "), dash = text.find(" - ");
    ASSERT_NE(dash, std::string::npos) << text;
    std::string key = text.substr(open + 2, dash - open - 2);
    ASSERT_EQ(named.count(key), 1u) << key;
    KeyDecision d = DecideKey(named[key]);
    switch (h.action) {
      case HintAction::kKey:
        ASSERT_EQ(d.action, KeyAction::kVirtualKey) << key;
        EXPECT_EQ(KeyRecords(h.virtualKey, Modifiers{false, h.alt, false}),
                  KeyRecords(static_cast<uint8_t>(d.code), d.modifiers))
            << key;
        break;
      case HintAction::kTypeClipboard: EXPECT_EQ(d.action, KeyAction::kTypeClipboard); break;
      case HintAction::kClose: EXPECT_EQ(d.action, KeyAction::kClose); break;
    }
    ASSERT_TRUE(h.row >= 1 && h.row <= 7 && h.row != kSeparatorRow);
    ++rows[h.row];
    widths[h.row] += text.size();
  }
  EXPECT_EQ(rows[1] + rows[2] + rows[3] + rows[4], 8);
  EXPECT_EQ(rows[5] + rows[7], 2);
  // The hints of a row fit the dialog side by side.
  for (size_t w : widths) EXPECT_LE(w, static_cast<size_t>(kDialogWidth));
}

namespace {

struct MemoryFolders : ScratchSeam {
  std::map<std::u16string, int> entries;  // folder -> files inside; -1: a file, not a folder
  std::set<std::u16string> refused;       // cannot be created
  std::vector<std::u16string> asked;
  bool IsEmptyFolder(const std::u16string& p) override {
    asked.push_back(p);
    auto it = entries.find(p);
    return it != entries.end() && it->second == 0;
  }
  bool parentMissing = false;
  Made CreateFolder(const std::u16string& p) override {
    if (parentMissing) return Made::kNever;
    if (entries.count(p) || refused.count(p)) return Made::kNo;
    entries[p] = 0;
    return Made::kYes;
  }
};

}  // namespace

TEST(ScratchFolder, TheFirstEmptyOrNewFolderFromZeroUp) {
  MemoryFolders fs;
  std::u16string temp = u"C:\\Temp\\";
  fs.entries[temp + u"Handrel0000"] = 3;   // someone's files
  fs.entries[temp + u"Handrel0001"] = -1;  // a file of that name
  fs.refused.insert(temp + u"Handrel0002");
  std::u16string found;
  ASSERT_TRUE(FindScratchFolder(temp, fs, found));
  EXPECT_EQ(found, temp + u"Handrel0003");
  // An empty one left behind is taken again.
  fs.entries[temp + u"Handrel0001"] = 0;
  ASSERT_TRUE(FindScratchFolder(u"C:\\Temp", fs, found));
  EXPECT_EQ(found, temp + u"Handrel0001");
  // Counters are four upper-case hex digits.
  EXPECT_EQ(ScratchFolder(temp, 0xBEEF), temp + u"HandrelBEEF");
  // A temporary folder longer than 230 characters is cut there.
  std::u16string deep = u"C:\\" + std::u16string(300, u'x');
  EXPECT_EQ(ScratchFolder(deep, 10), deep.substr(0, 230) + u"\\Handrel000A");
  // Nowhere to go: every counter asked once, then false.
  MemoryFolders full;
  for (unsigned i = 0; i <= 0xFFFF; ++i) full.refused.insert(ScratchFolder(temp, i));
  EXPECT_FALSE(FindScratchFolder(temp, full, found));
  EXPECT_EQ(full.asked.size(), 0x10000u);
  // A temporary folder that is not there: the first failure says no counter can do better.
  MemoryFolders missing;
  missing.parentMissing = true;
  EXPECT_FALSE(FindScratchFolder(temp, missing, found));
  EXPECT_EQ(missing.asked.size(), 1u);
}
