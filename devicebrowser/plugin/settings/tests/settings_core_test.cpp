// The settings table: defaults, stored forms, the key, and ReplaceChar's check, over a store in
// memory that keeps what the registry would.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "devicebrowser/plugin/settings/core/settings_core.h"

namespace handrel::settings {
namespace {

class MemoryStore : public SettingsStore {
 public:
  bool Read(const std::string& key, const char* name, std::string& value) override {
    auto it = values.find(key + "|" + name);
    if (it == values.end()) return false;
    value = it->second;
    return true;
  }
  bool Write(const std::string& key, const char* name, const std::string& value) override {
    if (refuseWrites) return false;
    values[key + "|" + name] = value;
    return true;
  }
  std::map<std::string, std::string> values;
  bool refuseWrites = false;
};

// Latin-1 stands in for the ANSI code page.
class Latin1 : public AnsiCodec {
 public:
  char16_t FromAnsi(char byte) const override { return static_cast<unsigned char>(byte); }
  char ToAnsi(char16_t ch) const override { return ch < 256 ? static_cast<char>(ch) : '?'; }
};

const char kKey[] = "Software\\Kel\\Plugins\\Handrel";

TEST(Settings, AFirstRunYieldsTheDefaults) {
  MemoryStore store;
  PluginSettings s;
  LoadSettings(s, "Software\\Kel\\Plugins", store, Latin1());
  EXPECT_STREQ(kKey, s.SettingsKey);
  EXPECT_STREQ("ppc", s.CommandPrefix);
  EXPECT_FALSE(s.DebugInvoke);
  EXPECT_TRUE(s.UseDriveLetter);
  EXPECT_STREQ("5", s.DriveLetter);
  EXPECT_TRUE(s.ShowInEditor);
  EXPECT_FALSE(s.ShowInViewer);
  EXPECT_FALSE(s.ShowInDialog);
  EXPECT_TRUE(s.CtrlSlash.ask && s.CtrlSlash.toRoot);
  EXPECT_FALSE(s.CtrlShiftSlash.ask || s.CtrlShiftSlash.toRoot);
  EXPECT_EQ(u'-', s.ReplaceChar);
  EXPECT_EQ(0, s.SettingsChanged);
}

TEST(Settings, SavedValuesAreTheStoredForms) {
  MemoryStore store;
  PluginSettings s;
  LoadSettings(s, "Software\\Kel\\Plugins", store, Latin1());
  ASSERT_TRUE(SaveSettings(s, store, Latin1()));
  std::map<std::string, std::string> expected = {
      {"CommandPrefix", "ppc"}, {"DebugInvoke", "N"},  {"UseDriveLetter", "Y"}, {"DriveLetter", "5"},
      {"ShowInEditor", "Y"},    {"ShowInViewer", "N"}, {"ShowInDialog", "N"},   {"CtrlSlash", "YY"},
      {"CtrlShiftSlash", "NN"}, {"ReplaceChar", "-"},
  };
  ASSERT_EQ(expected.size(), store.values.size());
  for (const auto& [name, value] : expected) EXPECT_EQ(value, store.values[std::string(kKey) + "|" + name]) << name;
}

TEST(Settings, StoredValuesAreReadBackAsTheUserLeftThem) {
  MemoryStore store;
  auto put = [&](const char* name, const char* value) { store.values[std::string(kKey) + "|" + name] = value; };
  put("CommandPrefix", "dev");
  put("DebugInvoke", "Y");
  put("UseDriveLetter", "N");
  put("DriveLetter", "72");  // one character is kept
  put("ShowInEditor", "yes");  // on exactly when the first character is 'Y'
  put("ShowInViewer", "Yes");
  put("CtrlSlash", "NY");
  put("CtrlShiftSlash", "Y");  // a missing second character is off
  put("ReplaceChar", "\xE9_");
  PluginSettings s;
  LoadSettings(s, "Software\\Kel\\Plugins\\", store, Latin1());  // the root's own backslash is kept once
  EXPECT_STREQ(kKey, s.SettingsKey);
  EXPECT_STREQ("dev", s.CommandPrefix);
  EXPECT_TRUE(s.DebugInvoke);
  EXPECT_FALSE(s.UseDriveLetter);
  EXPECT_STREQ("7", s.DriveLetter);
  EXPECT_FALSE(s.ShowInEditor);
  EXPECT_TRUE(s.ShowInViewer);
  EXPECT_FALSE(s.CtrlSlash.ask);
  EXPECT_TRUE(s.CtrlSlash.toRoot);
  EXPECT_TRUE(s.CtrlShiftSlash.ask);
  EXPECT_FALSE(s.CtrlShiftSlash.toRoot);
  EXPECT_EQ(u'\u00E9', s.ReplaceChar);
  // DebugInvoke goes back as it came.
  MemoryStore out;
  SaveSettings(s, out, Latin1());
  EXPECT_EQ("Y", out.values[std::string(kKey) + "|DebugInvoke"]);
  EXPECT_EQ("\xE9", out.values[std::string(kKey) + "|ReplaceChar"]);
}

TEST(Settings, OddStoredValuesKeepTheFieldsBounded) {
  MemoryStore store;
  store.values[std::string(kKey) + "|CommandPrefix"] = std::string(1000, 'p');  // longer than the field
  store.values[std::string(kKey) + "|ReplaceChar"] = "";                          // no character: kept
  store.values[std::string(kKey) + "|DriveLetter"] = std::string(1001, '3');      // over the read limit
  PluginSettings s;
  LoadSettings(s, "Software\\Kel\\Plugins", store, Latin1());
  EXPECT_EQ(std::string(kCommandPrefixChars, 'p'), s.CommandPrefix);
  EXPECT_EQ(u'-', s.ReplaceChar);
  EXPECT_STREQ("5", s.DriveLetter);
}

TEST(Settings, TheKeyFollowsTheHostsRootOrTheDefault) {
  EXPECT_EQ("\\Software\\Kel\\Plugins\\Handrel", BuildSettingsKey(nullptr));
  EXPECT_EQ("\\Software\\Kel\\Plugins\\Handrel", BuildSettingsKey(""));
  EXPECT_EQ("Software\\Kel2\\Plugins\\Handrel", BuildSettingsKey("Software\\Kel2\\Plugins"));
  EXPECT_EQ("Software\\Kel2\\Plugins\\Handrel", BuildSettingsKey("Software\\Kel2\\Plugins\\"));
  std::string longRoot(2000, 'k');
  EXPECT_EQ(kSettingsKeyBytes - 1, BuildSettingsKey(longRoot.c_str()).size());
}

TEST(Settings, AFailedWriteIsReportedAndTheRestStillWritten) {
  MemoryStore store;
  store.refuseWrites = true;
  PluginSettings s;
  EXPECT_FALSE(SaveSettings(s, store, Latin1()));
}

TEST(Settings, ReplaceCharRefusesWhatANameCannotHold) {
  for (char16_t bad : std::u16string(u"*?:<>\"|/\\")) EXPECT_FALSE(IsValidReplaceChar(bad)) << char(bad);
  EXPECT_FALSE(IsValidReplaceChar(u'\0'));
  EXPECT_FALSE(IsValidReplaceChar(u'\t'));
  for (char16_t good : std::u16string(u"-_~#!. \u00E9\u0416")) EXPECT_TRUE(IsValidReplaceChar(good));
}

TEST(Settings, TheCommandPrefixLosesBlanksAtBothEnds) {
  EXPECT_EQ("ppc", TrimBlanks(" \tppc \t "));
  EXPECT_EQ("p c", TrimBlanks("p c"));
  EXPECT_EQ("", TrimBlanks(" \t "));
}

TEST(Settings, TheTableHasOneRowPerStoredValue) {
  ASSERT_EQ(10u, kSettingFieldCount);
  EXPECT_STREQ("CommandPrefix", kSettingFields[0].valueName);
  EXPECT_STREQ("ReplaceChar", kSettingFields[9].valueName);
}

}  // namespace
}  // namespace handrel::settings
