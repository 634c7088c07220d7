// The settings in the registry and the configuration dialog, run through the host stand-in's
// 8-bit dialog, menu and message services, with the plugin's own language file.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/plugin/settings/settings.h"
#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace {

using handrel::Settings;

std::vector<std::string> g_texts;  // the language file's texts, OEM

const char* KEL_API LanguageText(intptr_t, int id) {
  return id >= 0 && id < static_cast<int>(g_texts.size()) ? g_texts[static_cast<size_t>(id)].c_str() : nullptr;
}

// The dialog's items, in the order the rows are built.
enum Item {
  kBox, kPrefixText, kPrefix, kSep1, kUseDrive, kDrive, kDriveText, kInEditor, kInViewer, kInDialog, kSep2,
  kSlashText, kSlashAsk, kSlashRoot, kSlashTop, kSep3, kShiftText, kShiftAsk, kShiftRoot, kShiftTop, kSep4,
  kReplaceText, kReplace, kSep5, kOk, kCancel, kModules, kItemCount
};

// Two panels' worth of modules as the plugin would offer them.
class Panels : public handrel::ModuleConfigHost {
 public:
  bool BeginModuleConfig() override {
    ++begins;
    return havePanel;
  }
  int ModuleCount() override { return static_cast<int>(titles.size()); }
  const char* ModuleTitle(int index) override { return titles.at(static_cast<size_t>(index)).c_str(); }
  int ActiveModuleIndex() override { return active; }
  void ConfigureModule(int index) override {
    configured.push_back(index);
    if (index == 1) Settings().SettingsChanged = 1;  // this module's settings changed
  }
  void EndModuleConfig() override { ++ends; }
  void ReloadModuleSettingsEverywhere() override { ++reloads; }

  bool havePanel = true;
  std::vector<std::string> titles{"Device files", "Remote keyboard"};
  int active = 1;
  int begins = 0, ends = 0, reloads = 0;
  std::vector<int> configured;
};

class Configuration : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_texts.empty())
      for (const std::wstring& text : kelhost::LoadLanguageFile(kelhost::FromOem(HANDREL_LANGUAGE_FILE))) g_texts.push_back(kelhost::ToOem(text));
    ASSERT_EQ(25u, g_texts.size());
    root_ = kelhost::ToOem(host.RootKey());
    kelhost::FillStartupRecordA(startup_, L"HandrelTest.dll", 0, root_.c_str());
    handrel::ConsoleSetHost(&startup_, 0x0146);
    startup_.HostGetMsg = LanguageText;
    Settings() = handrel::settings::PluginSettings{};
    handrel::LoadSettings(root_.c_str());
    key_ = root_ + "\\Handrel";
  }

  std::map<std::string, std::string> Stored() const {
    std::map<std::string, std::string> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    char name[256], data[1024];
    for (DWORD i = 0;; ++i) {
      DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
      if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize) !=
          ERROR_SUCCESS)
        break;
      data[dataSize] = 0;
      values[name] = data;
    }
    RegCloseKey(key);
    return values;
  }
  int Run(Panels& panels) { return handrel::ConfigureDialog(startup_, panels); }

  kelhost::Host host;
  std::string root_, key_;
  HostStartupInfoA startup_{};
};

TEST_F(Configuration, TheDialogShowsTheSettingsRowByRowAndOkWritesThem) {
  kelhost::DialogScript script;
  script.Check([](kelhost::DialogView& v) {
          ASSERT_EQ(kItemCount, v.ItemCount());
          EXPECT_EQ(L"Handrel", v.Item(kBox).text);
          EXPECT_EQ(L"Command line prefix:", v.Item(kPrefixText).text);
          EXPECT_EQ(L"ppc", v.Item(kPrefix).text);
          EXPECT_EQ(L"5", v.Item(kDrive).text);
          EXPECT_EQ(L"-", v.Item(kReplace).text);
          EXPECT_EQ(1, v.Item(kUseDrive).selected);
          EXPECT_EQ(1, v.Item(kInEditor).selected);
          EXPECT_EQ(0, v.Item(kInViewer).selected);
          EXPECT_EQ(1, v.Item(kSlashAsk).selected);
          EXPECT_EQ(1, v.Item(kSlashRoot).selected);
          EXPECT_EQ(0, v.Item(kShiftAsk).selected);
          EXPECT_EQ(1, v.Item(kShiftTop).selected);
          EXPECT_EQ(L"&OK", v.Item(kOk).text);
          EXPECT_EQ(L"Cancel", v.Item(kCancel).text);
          EXPECT_EQ(L"&Modules...", v.Item(kModules).text);
          // Rows: the prefix on the first, the buttons on the fifteenth.
          EXPECT_EQ(v.Item(kPrefixText).y1, v.Item(kPrefix).y1);
          EXPECT_EQ(v.Item(kPrefixText).y1 + 14, v.Item(kOk).y1);
          EXPECT_EQ(v.Item(kInEditor).y1, v.Item(kInDialog).y1);
        })
      .Type(kPrefix, L"  dev\t")
      .Click(kUseDrive)
      .Type(kDrive, L"7")
      .Click(kInViewer)
      .Click(kSlashAsk)
      .Click(kSlashTop)
      .Click(kShiftRoot)
      .Type(kReplace, L"_")
      .Close(kOk);
  host.AnswerDialog(script);
  Panels panels;
  EXPECT_EQ(1, Run(panels));
  EXPECT_TRUE(host.failures.empty()) << kelhost::ToOem(host.failures.front());
  ASSERT_EQ(1u, host.dialogs.size());
  EXPECT_EQ(L"Setup", host.dialogs[0].helpTopic);
  EXPECT_EQ((std::map<std::string, std::string>{{"CommandPrefix", "dev"},
                                                {"DebugInvoke", "N"},
                                                {"UseDriveLetter", "N"},
                                                {"DriveLetter", "7"},
                                                {"ShowInEditor", "Y"},
                                                {"ShowInViewer", "Y"},
                                                {"ShowInDialog", "N"},
                                                {"CtrlSlash", "NN"},
                                                {"CtrlShiftSlash", "NY"},
                                                {"ReplaceChar", "_"}}),
            Stored());
  EXPECT_STREQ("dev", Settings().CommandPrefix);
  EXPECT_EQ(u'_', Settings().ReplaceChar);
  EXPECT_EQ(1, panels.begins);
  EXPECT_EQ(1, panels.ends);
  EXPECT_EQ(0, panels.reloads);
  // What was written is what the next start reads.
  Settings() = handrel::settings::PluginSettings{};
  handrel::LoadSettings(root_.c_str());
  EXPECT_STREQ("dev", Settings().CommandPrefix);
  EXPECT_FALSE(Settings().CtrlSlash.ask || Settings().CtrlSlash.toRoot);
  EXPECT_TRUE(Settings().CtrlShiftSlash.toRoot);
}

TEST_F(Configuration, AReplaceCharANameCannotHoldIsRefusedAndTheDialogStays) {
  host.AnswerDialog(kelhost::DialogScript().Type(kReplace, L"*").Type(kPrefix, L"pda").Close(kOk));
  host.AnswerMessage(0);
  // Shown again with what the user typed.
  host.AnswerDialog(kelhost::DialogScript()
                        .Check([](kelhost::DialogView& v) {
                          EXPECT_EQ(L"pda", v.Item(kPrefix).text);
                          EXPECT_EQ(L"*", v.Item(kReplace).text);
                        })
                        .Type(kReplace, L"~")
                        .Close(kOk));
  Panels panels;
  Run(panels);
  ASSERT_EQ(2u, host.dialogs.size());
  ASSERT_EQ(1u, host.messages.size());
  EXPECT_EQ(L"Handrel", host.messages[0].lines.at(0));
  EXPECT_EQ(L"The replacement character cannot be one of", host.messages[0].lines.at(1));
  EXPECT_NE(0u, host.messages[0].flags & FMSG_WARNING);
  EXPECT_EQ("~", Stored()["ReplaceChar"]);
  EXPECT_EQ("pda", Stored()["CommandPrefix"]);
}

TEST_F(Configuration, ModulesAreConfiguredFromTheMenuAndReloadedWhenOneChanged) {
  host.AnswerDialog(kelhost::DialogScript().Close(kModules));
  host.AnswerMenu(1);   // "Remote keyboard": its Configure changes a setting
  host.AnswerMenu(0);   // "Device files"
  host.AnswerMenu(-1);  // back to the dialog
  host.AnswerDialog(kelhost::DialogScript().Close(kCancel));
  Panels panels;
  EXPECT_EQ(1, Run(panels));
  ASSERT_EQ(3u, host.menus.size());
  EXPECT_EQ(L"Module configuration", host.menus[0].title);
  EXPECT_EQ((std::vector<std::wstring>{L"Device files", L"Remote keyboard"}), host.menus[0].items);
  EXPECT_EQ(1, host.menus[0].selectedOnOpen);  // the panel's active module
  EXPECT_EQ((std::vector<int>{1, 0}), panels.configured);
  EXPECT_EQ(2u, host.dialogs.size());
  EXPECT_TRUE(Stored().empty());  // cancelled: the plugin's values are not written
  EXPECT_EQ(1, panels.reloads);
  EXPECT_EQ(1, panels.ends);
}

TEST_F(Configuration, WithoutAnyPanelTheModuleButtonShowsTheDialogAgain) {
  host.AnswerDialog(kelhost::DialogScript().Close(kModules));
  host.AnswerDialog(kelhost::DialogScript().Key(KEY_ESC));
  Panels panels;
  panels.havePanel = false;
  EXPECT_EQ(1, Run(panels));
  EXPECT_TRUE(host.menus.empty());
  EXPECT_EQ(2u, host.dialogs.size());
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(0, panels.reloads);
  EXPECT_EQ(1, panels.ends);
}

// A replacement character outside ASCII: typed in the console's code page, kept as a character,
// stored in the ANSI code page (run under both locales).
TEST_F(Configuration, ACharacterOutsideAsciiIsTakenAsTyped) {
  const wchar_t typed = GetOEMCP() == 866 ? L'\u0436' : L'\u00E9';  // "zhe" or e acute
  host.AnswerDialog(kelhost::DialogScript().Type(kReplace, std::wstring(1, typed)).Close(kOk));
  Panels panels;
  Run(panels);
  EXPECT_EQ(static_cast<char16_t>(typed), Settings().ReplaceChar);
  char ansi = 0;
  ASSERT_EQ(1, WideCharToMultiByte(CP_ACP, 0, &typed, 1, &ansi, 1, nullptr, nullptr));
  EXPECT_EQ(std::string(1, ansi), Stored()["ReplaceChar"]);
  // Read back at the next start as the same character, and shown as typed.
  Settings() = handrel::settings::PluginSettings{};
  handrel::LoadSettings(root_.c_str());
  EXPECT_EQ(static_cast<char16_t>(typed), Settings().ReplaceChar);
  host.AnswerDialog(kelhost::DialogScript()
                        .Check([&](kelhost::DialogView& v) { EXPECT_EQ(std::wstring(1, typed), v.Item(kReplace).text); })
                        .Key(KEY_ESC));
  Run(panels);
}

// Values read for the modules and the panels' last paths are terminated inside the caller's
// buffer whatever the registry holds.
TEST_F(Configuration, ASettingIsAlwaysTerminatedInsideItsBuffer) {
  const std::string key = key_;
  char buffer[8];
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0, handrel::ReadSettingValue(key.c_str(), "Missing", buffer, sizeof buffer));  // no key yet
  EXPECT_EQ('x', buffer[0]);
  HKEY k = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           &k, nullptr));
  // Stored without a terminator, filling the buffer exactly.
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(k, "Full", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcdefgh"), 8));
  const wchar_t wide[] = L"ABCD";
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(k, L"Wide", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide), 8));
  RegCloseKey(k);
  EXPECT_EQ(0, handrel::ReadSettingValue(key.c_str(), "Full", buffer, sizeof buffer));
  EXPECT_STREQ("abcdefg", buffer);
  char roomy[16];
  EXPECT_EQ(0, handrel::ReadSettingValue(key.c_str(), "Full", roomy, sizeof roomy));
  EXPECT_STREQ("abcdefgh", roomy);
  EXPECT_EQ(1, handrel::ReadSettingValue(key.c_str(), "Missing", buffer, sizeof buffer));
  wchar_t w[4];
  EXPECT_EQ(0, handrel::ReadSettingValue(key.c_str(), L"Wide", w, sizeof w));
  EXPECT_STREQ(L"ABC", w);
  EXPECT_EQ(0, handrel::WriteSettingValue(key.c_str(), L"Written", L"value"));
  EXPECT_EQ("value", Stored()["Written"]);
  EXPECT_EQ(0, handrel::WriteSettingValue((key + "\\NoSuchKey").c_str(), L"Written", L"value"));
}

}  // namespace
