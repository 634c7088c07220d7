// The renamer's settings against a store in memory: first start, load rules, save rules, the
// template history and the configuration dialog's conversions.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "renamer/core/settings.h"
#include "renamer/tests/memory_store.h"

namespace quillet {
namespace {

const std::u16string kKey = u"Quillet";
const std::u16string kShortcuts = u"Quillet\\Shortcuts";
const std::u16string kHistory = u"Quillet\\TemplateHist";

TEST(Settings, FirstStartWritesEveryDefault) {
  MemoryStore store;
  EXPECT_TRUE(CreateDefaultsIfMissing(store));
  EXPECT_EQ(store.ReadDword(kKey, u"EditorEntry"), 1u);
  EXPECT_EQ(store.ReadDword(kKey, u"RenameDupMax"), 1000u);
  EXPECT_EQ(store.ReadDword(kKey, u"AutoResolveMax"), 0xFFFFFFFFu);
  EXPECT_EQ(store.ReadDword(kKey, u"LastSeqStart"), 1u);
  EXPECT_EQ(store.ReadDword(kShortcuts, u"KeyPreview"), 0x10074u);
  EXPECT_EQ(store.ReadDword(kShortcuts, u"KeyConstClear"), 0x2000058u);
  EXPECT_EQ(store.ReadDword(kShortcuts, u"PosManRemove"), 2u);
  EXPECT_EQ(store.ReadString(kKey, u"WordDelimitChars", 4096), std::u16string(kDefaultWordDelimiters) + u'\0');
  EXPECT_TRUE(store.OpenKey(kHistory));  // the history is on by default, with no entries
  EXPECT_TRUE(store.EnumValues(kHistory).empty());
  // 36 numbers and the delimiters in the key, 23 numbers in "Shortcuts".
  EXPECT_EQ(store.EnumValues(kKey).size(), 37u);
  EXPECT_EQ(store.EnumValues(kShortcuts).size(), 23u);

  // The next start finds the key and leaves it alone.
  store.keys[kKey][u"MultipleEntries"] = MemoryStore::Value{false, 1, {}};
  EXPECT_FALSE(CreateDefaultsIfMissing(store));
  EXPECT_EQ(store.ReadDword(kKey, u"MultipleEntries"), 1u);
}

TEST(Settings, EveryRowRoundTripsAndMissingValuesFallBackToDefaults) {
  MemoryStore store;
  Settings changed;
  for (const SettingRow& row : SettingRows()) {
    if (row.number) changed.*row.number = row.kind == RowKind::kFlag ? 1 - Settings{}.*row.number : 77;
  }
  changed.wordDelimitChars = u"_-";
  changed.templateHistoryCnt = 2;
  changed.saveTemplateHistory = 1;
  changed.history = {u"new ???", u"*_/"};
  ASSERT_TRUE(SaveSettings(store, changed));
  Settings loaded;
  ASSERT_TRUE(LoadSettings(store, &loaded));
  for (const SettingRow& row : SettingRows()) {
    if (row.number) {
      EXPECT_EQ(loaded.*row.number, changed.*row.number) << std::string(row.name, row.name + 1);
    }
  }
  EXPECT_EQ(loaded.wordDelimitChars, u"_-");
  EXPECT_EQ(loaded.history, changed.history);

  // Values that are missing keep their defaults; any nonzero number is a set flag.
  store.keys[kKey].erase(u"RenameDupMax");
  store.keys[kShortcuts].erase(u"KeySwitch");
  store.keys[kKey][u"RenameFolders"] = MemoryStore::Value{false, 42, {}};
  ASSERT_TRUE(LoadSettings(store, &loaded));
  EXPECT_EQ(loaded.renameDupMax, 1000u);
  EXPECT_EQ(loaded.keySwitch, 0x10075u);
  EXPECT_EQ(loaded.renameFolders, 1u);
}

TEST(Settings, LoadFailsWithoutTheKeyOrItsShortcuts) {
  MemoryStore store;
  Settings s;
  s.multipleEntries = 1;
  EXPECT_FALSE(LoadSettings(store, &s));
  EXPECT_EQ(s.multipleEntries, 0u);
  ASSERT_TRUE(CreateDefaultsIfMissing(store));
  store.unopenable.push_back(kShortcuts);
  EXPECT_FALSE(LoadSettings(store, &s));
  store.unopenable.clear();
  EXPECT_TRUE(LoadSettings(store, &s));
}

TEST(Settings, HistoryWithAMissingEntryReadsAsStar) {
  MemoryStore store;
  ASSERT_TRUE(CreateDefaultsIfMissing(store));
  store.WriteDword(kKey, u"TemplateHistoryCnt", 3);
  store.WriteString(kHistory, u"0", u"first");
  store.WriteString(kHistory, u"2", u"third");
  Settings s;
  ASSERT_TRUE(LoadSettings(store, &s));
  EXPECT_EQ(s.history, (std::vector<std::u16string>{u"first", u"*", u"third"}));
  EXPECT_EQ(s.templateHistoryCnt, 3u);

  // With the history off nothing is read and the count is 0.
  store.WriteDword(kKey, u"SaveTemplateHistory", 0);
  ASSERT_TRUE(LoadSettings(store, &s));
  EXPECT_TRUE(s.history.empty());
  EXPECT_EQ(s.templateHistoryCnt, 0u);
}

TEST(Settings, AnAbsurdHistoryCountIsCapped) {
  MemoryStore store;
  ASSERT_TRUE(CreateDefaultsIfMissing(store));
  store.WriteDword(kKey, u"TemplateHistoryCnt", 0xFFFFFFFFu);
  Settings s;
  ASSERT_TRUE(LoadSettings(store, &s));
  EXPECT_EQ(s.history.size(), kHistoryReadLimit);
  EXPECT_EQ(s.templateHistoryCnt, kHistoryReadLimit);  // still consistent, so it can be saved
  EXPECT_TRUE(SaveSettings(store, s));
}

TEST(Settings, OverlongDelimitersKeepTheDefault) {
  MemoryStore store;
  ASSERT_TRUE(CreateDefaultsIfMissing(store));
  store.WriteString(kKey, u"WordDelimitChars", std::u16string(3000, u'_'));
  Settings s;
  ASSERT_TRUE(LoadSettings(store, &s));
  EXPECT_EQ(s.wordDelimitChars, kDefaultWordDelimiters);
}

TEST(Settings, LongestTemplatesSurviveTheHistory) {
  MemoryStore store;
  Settings s;
  s.history = {std::u16string(4096, u'?')};
  s.templateHistoryCnt = 1;
  ASSERT_TRUE(SaveSettings(store, s));
  Settings loaded;
  ASSERT_TRUE(LoadSettings(store, &loaded));
  EXPECT_EQ(loaded.history, s.history);
}

TEST(Settings, StoredDelimitersAreTakenAsTheyAre) {
  MemoryStore store;
  ASSERT_TRUE(CreateDefaultsIfMissing(store));
  store.WriteString(kKey, u"WordDelimitChars", u"");  // only the terminator: an empty set
  Settings s;
  ASSERT_TRUE(LoadSettings(store, &s));
  EXPECT_TRUE(s.wordDelimitChars.empty());
  store.keys[kKey][u"WordDelimitChars"] = MemoryStore::Value{true, 0, u"-_"};  // written without a terminator
  ASSERT_TRUE(LoadSettings(store, &s));
  EXPECT_EQ(s.wordDelimitChars, u"-");  // the last character is taken for the terminator
}

TEST(Settings, SaveWithAWrongCountWritesNothing) {
  MemoryStore store;
  ASSERT_TRUE(CreateDefaultsIfMissing(store));
  const int writes = store.writes;
  const int deletes = store.deletes;
  Settings s;
  s.history = {u"a", u"b"};
  s.templateHistoryCnt = 3;
  s.multipleEntries = 1;
  EXPECT_FALSE(SaveSettings(store, s));
  EXPECT_EQ(store.writes, writes);
  EXPECT_EQ(store.deletes, deletes);
  EXPECT_EQ(store.ReadDword(kKey, u"MultipleEntries"), 0u);
}

TEST(Settings, SaveDeletesTheKeyFirstSoNoStaleEntriesRemain) {
  MemoryStore store;
  Settings s;
  s.history = {u"a", u"b", u"c"};
  s.templateHistoryCnt = 3;
  ASSERT_TRUE(SaveSettings(store, s));
  store.WriteDword(kKey, u"Obsolete", 5);
  s.history = {u"z"};
  s.templateHistoryCnt = 1;
  ASSERT_TRUE(SaveSettings(store, s));
  EXPECT_EQ(store.EnumValues(kHistory), (std::vector<std::u16string>{u"0"}));
  EXPECT_FALSE(store.ReadDword(kKey, u"Obsolete").has_value());

  // With the history off, its count is written as 0 and its subkey is not written.
  s.saveTemplateHistory = 0;
  ASSERT_TRUE(SaveSettings(store, s));
  EXPECT_EQ(store.ReadDword(kKey, u"TemplateHistoryCnt"), 0u);
  EXPECT_FALSE(store.OpenKey(kHistory));

  // An empty delimiter set is written as the default one.
  s.wordDelimitChars.clear();
  ASSERT_TRUE(SaveSettings(store, s));
  EXPECT_EQ(store.ReadString(kKey, u"WordDelimitChars", 4096), std::u16string(kDefaultWordDelimiters) + u'\0');
}

TEST(Settings, SaveReportsAStoreThatFails) {
  MemoryStore store;
  store.failCreate = true;
  EXPECT_FALSE(SaveSettings(store, Settings{}));
  store.failCreate = false;
  store.failWrite = true;
  EXPECT_FALSE(SaveSettings(store, Settings{}));
}

TEST(History, AddMovesDropsAndSkipsBlanks) {
  Settings s;
  s.templateHistoryMax = 3;
  AddTemplateToHistory(&s, u"a");
  AddTemplateToHistory(&s, u"b");
  AddTemplateToHistory(&s, u"  ");
  EXPECT_EQ(s.history, (std::vector<std::u16string>{u"b", u"a"}));
  AddTemplateToHistory(&s, u"c");
  AddTemplateToHistory(&s, u"a");  // already second... third: moves to the front, same count
  EXPECT_EQ(s.history, (std::vector<std::u16string>{u"a", u"c", u"b"}));
  EXPECT_EQ(s.templateHistoryCnt, 3u);
  AddTemplateToHistory(&s, u"c");  // second moves to the front
  EXPECT_EQ(s.history, (std::vector<std::u16string>{u"c", u"a", u"b"}));
  AddTemplateToHistory(&s, u"A");  // compared exactly: a new entry, the oldest goes
  EXPECT_EQ(s.history, (std::vector<std::u16string>{u"A", u"c", u"a"}));

  Settings two;
  two.templateHistoryMax = 2;
  two.history = {u"x", u"y"};
  two.templateHistoryCnt = 2;
  AddTemplateToHistory(&two, u"z");
  EXPECT_EQ(two.history, (std::vector<std::u16string>{u"z", u"x"}));

  Settings none;
  none.templateHistoryMax = 0;  // as stored by hand; still keeps the newest
  AddTemplateToHistory(&none, u"q");
  EXPECT_EQ(none.history, (std::vector<std::u16string>{u"q"}));
  EXPECT_EQ(none.templateHistoryCnt, 1u);
}

size_t RowIndex(std::u16string_view name) {
  const SettingRow* row = FindRow(name);
  EXPECT_NE(row, nullptr);
  return row ? size_t(row - SettingRows().data()) : 0;
}

size_t ClearBoxIndex() {
  const std::vector<SettingRow>& rows = SettingRows();
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].kind == RowKind::kClearHistoryBox) return i;
  ADD_FAILURE() << "no clear box";
  return 0;
}

// One table: every value stored once, every dialog label (messages 86 to 133) used once, every
// control of the dialog bound to a value except the frame, labels, separators, buttons and the
// clear box.
TEST(ConfigDialog, OneTableListsEveryValueAndEveryControlOnce) {
  std::set<std::u16string> names;
  std::multiset<int> messages;
  size_t stored = 0;
  for (const SettingRow& row : SettingRows()) {
    if (row.name) {
      ++stored;
      EXPECT_TRUE(names.insert(row.name).second) << "twice: " << std::string(row.name, row.name + 1);
      EXPECT_EQ(row.number != nullptr, row.kind != RowKind::kText);
      EXPECT_EQ(row.text != nullptr, row.kind == RowKind::kText);
    } else {
      EXPECT_TRUE(row.kind == RowKind::kDecoration || row.kind == RowKind::kClearHistoryBox);
      EXPECT_NE(row.control, Control::kNone);
    }
    if (row.message >= 0) messages.insert(row.message);
    for (uint32_t c = 0; c < row.choiceCount; ++c) messages.insert(row.choices[c].message);
    if (row.kind == RowKind::kChoice) {
      EXPECT_GE(row.choiceCount, 2u);
    }
  }
  EXPECT_EQ(stored, 60u);  // 36 numbers and the delimiters in the key, 23 in "Shortcuts"
  for (int m = 86; m <= 133; ++m) EXPECT_EQ(messages.count(m), 1u) << "message " << m;
  EXPECT_EQ(messages.size(), 48u);
}

TEST(ConfigDialog, ShowsNumbersAndConvertsThemBack) {
  Settings s;
  std::vector<DialogValue> v = DialogValuesOf(s);
  EXPECT_EQ(v[RowIndex(u"AutoResolveMax")].text, u"4294967295");
  EXPECT_EQ(v[RowIndex(u"RenameDupMax")].text, u"1000");
  EXPECT_EQ(v[RowIndex(u"WordDelimitChars")].text, kDefaultWordDelimiters);
  EXPECT_TRUE(v[RowIndex(u"ConfirmRename")].checked);

  v[RowIndex(u"AutoResolveMax")].text = u"0";
  v[RowIndex(u"TemplateHistoryMax")].text = u"0";
  v[RowIndex(u"WordDelimitChars")].text = u"";
  v[RowIndex(u"RenameDupMax")].text = u" 25 ";
  v[RowIndex(u"PreviewDupMax")].text = u"0";  // 0 means no limit here
  v[RowIndex(u"MultipleEntries")].checked = true;
  v[RowIndex(u"AutoResolveSuffix")].choice = 2;
  v[RowIndex(u"SequenceProcessOrder")].choice = 1;
  v[RowIndex(u"LastSeqStart")].text = u"99";  // not in the dialog: never taken back
  bool asked = false;
  ApplyConfig(v, &s, [&] { asked = true; return true; });
  EXPECT_FALSE(asked);  // clear box not checked
  EXPECT_EQ(s.autoResolveMax, 0xFFFFFFFEu);
  EXPECT_EQ(s.templateHistoryMax, 1u);
  EXPECT_EQ(s.wordDelimitChars, kDefaultWordDelimiters);
  EXPECT_EQ(s.renameDupMax, 25u);
  EXPECT_EQ(s.previewDupMax, 0u);
  EXPECT_EQ(s.multipleEntries, 1u);
  EXPECT_EQ(s.autoResolveSuffix, 2u);
  EXPECT_EQ(s.sequenceProcessOrder, 1u);
  EXPECT_EQ(s.lastSeqStart, 1u);

  // A stored choice outside its buttons shows as the first; what the dialog shows comes back.
  Settings odd;
  odd.autoResolveSuffix = 7;
  odd.defaultDialogType = 1;
  odd.autoResolveMax = 12;
  std::vector<DialogValue> shown = DialogValuesOf(odd);
  EXPECT_EQ(shown[RowIndex(u"AutoResolveSuffix")].choice, 0u);
  Settings back = odd;
  ApplyConfig(shown, &back, [] { return true; });
  EXPECT_EQ(back.autoResolveSuffix, 0u);
  EXPECT_EQ(back.defaultDialogType, 1u);
  EXPECT_EQ(back.autoResolveMax, 12u);
}

TEST(ConfigDialog, ClearHistoryAsksOnlyWhenThereIsSomethingToClear) {
  Settings s;
  s.history = {u"a"};
  s.templateHistoryCnt = 1;
  std::vector<DialogValue> v = DialogValuesOf(s);
  v[ClearBoxIndex()].checked = true;
  int asked = 0;
  ApplyConfig(v, &s, [&] { ++asked; return false; });  // the user says No
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(s.history.size(), 1u);
  ApplyConfig(v, &s, [&] { ++asked; return true; });
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(s.history.empty());
  EXPECT_EQ(s.templateHistoryCnt, 0u);
  ApplyConfig(v, &s, [&] { ++asked; return true; });  // empty now: no question
  EXPECT_EQ(asked, 2);

  // Switching the history off empties it without a question.
  s.history = {u"a", u"b"};
  s.templateHistoryCnt = 2;
  v[ClearBoxIndex()].checked = false;
  v[RowIndex(u"SaveTemplateHistory")].checked = false;
  ApplyConfig(v, &s, [&] { ++asked; return true; });
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(s.history.empty());
  EXPECT_EQ(s.templateHistoryCnt, 0u);
}

TEST(ConfigDialog, RulesFollowTheKindOfJob) {
  Settings s;
  s.previewDupCheck = 0;
  s.renameDupMax = 0;
  s.wordDelimitChars = u"_";
  s.convertExtensionCase = 1;
  s.sequenceHexUppercase = 0;
  EXPECT_FALSE(s.Rules(false).dupCheckEnabled);
  EXPECT_EQ(s.Rules(false).dupCheckMax, 1000u);
  EXPECT_TRUE(s.Rules(true).dupCheckEnabled);
  EXPECT_EQ(s.Rules(true).dupCheckMax, 0u);
  EXPECT_EQ(s.Rules(true).wordDelimiters, u"_");
  EXPECT_TRUE(s.Rules(true).convertExtensionCase);
  EXPECT_FALSE(s.Rules(true).hexUppercase);
}

}  // namespace
}  // namespace quillet
