// Rubato in the host stand-in: keys reach ProcessEditorInputW as console input records, and what
// the plugin leaves alone the stand-in's editor handles itself.
#include <gtest/gtest.h>

#include <climits>
#include <fstream>

#include "editortools/remarks/tests/plugin_support.h"
#include "standins/kelhost/editor.h"
#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

EditorKeyEvent Key(wchar_t ch, WORD vk, bool down = true, DWORD state = 0) {
  EditorKeyEvent k;
  k.ch = ch;
  k.vk = vk;
  k.keyDown = down;
  k.controlState = state;
  return k;
}
const EditorKeyEvent kBackspace = Key(8, VK_BACK);
const EditorKeyEvent kTab = Key(9, VK_TAB);

class Rubato : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& f) { ADD_FAILURE() << Utf8(f); };
  }
  Editor* Open(const std::string& text, int line, int pos) {
    plugin = plugin ? plugin : host.Load(BesideTest(PLUGIN_FILE));
    EXPECT_NE(plugin, nullptr);
    Editor* e = host.OpenEditor(WriteSample(L"rubato_sample.txt", text));
    EXPECT_NE(e, nullptr);
    e->curLine = line;
    e->curPos = pos;
    return e;
  }
  // SmartTab in the plugin's key, before the plugin is loaded.
  void StoreSmartTab(DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Rubato").c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"SmartTab", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
  }
  Host host;
  Plugin* plugin = nullptr;
};

}  // namespace

TEST_F(Rubato, ExportsAndMenuEntry) {
  plugin = host.Load(BesideTest(PLUGIN_FILE));
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(ExportNames(plugin->module),
            (std::set<std::string>{"GetMinKelVersionW", "SetStartupInfoW", "GetPluginInfoW", "ProcessEditorInputW"}));
  auto minVersion = reinterpret_cast<int(KEL_API*)()>(plugin->Entry("GetMinKelVersionW"));
  EXPECT_EQ(static_cast<uint32_t>(minVersion()), 0x043E0200u);
  PluginInfoW info{};
  ASSERT_TRUE(host.GetPluginInfo(plugin, &info));
  EXPECT_EQ(info.StructSize, 44);
  EXPECT_EQ(info.Flags, 2u);
  ASSERT_EQ(info.PluginConfigStringsNumber, 1);
  EXPECT_STREQ(info.PluginConfigStrings[0], L"Rubato");
  EXPECT_EQ(info.PluginMenuStringsNumber, 0);
}

TEST_F(Rubato, BackspaceFollowsTabbedIndentationAndTheReleaseIsConsumed) {
  // The reference line is indented by a tab (column 8 with the editor's tab size 8); the cursor
  // line by twelve spaces.
  Editor* e = Open("if (x) {\r\n\tcall();\n            more();\r\n}", 2, 12);
  EXPECT_EQ(host.EditorInput(kBackspace), 1);
  EXPECT_EQ(e->lines[2].text, L"\tmore();");
  EXPECT_EQ(e->lines[2].eol, L"\r\n");
  EXPECT_EQ(e->curPos, 1);
  EXPECT_EQ(e->RealToTab(2, e->curPos), 8);
  EXPECT_GE(e->redraws, 1);
  EXPECT_EQ(host.EditorInput(Key(8, VK_BACK, false)), 1);
  EXPECT_EQ(e->lines[2].text, L"\tmore();");
  // The replayed form of the event is handled the same way.
  EditorKeyEvent replayed = kBackspace;
  replayed.eventType = 0x8001;
  EXPECT_EQ(host.EditorInput(replayed), 1);
  EXPECT_EQ(e->lines[2].text, L"more();");
  EXPECT_EQ(e->curPos, 0);
}

TEST_F(Rubato, TabSizeOfTheEditorDecidesTheColumns) {
  Editor* e = Open("\tx\n      y\n", 1, 6);
  e->tabSize = 4;  // the tab now ends at column 4 < 6: the reference
  EXPECT_EQ(host.EditorInput(kBackspace), 1);
  EXPECT_EQ(e->lines[1].text, L"\ty");
  e->tabSize = 8;
  EXPECT_EQ(e->RealToTab(1, 1), 8);
}

TEST_F(Rubato, ABlankCurrentLineIsEmptiedAndTheCursorPlacedAtTheReferenceColumn) {
  Editor* e = Open("a\n    b\n          \nc", 2, 10);
  EXPECT_EQ(host.EditorInput(kBackspace), 1);
  EXPECT_EQ(e->lines[2].text, L"");
  EXPECT_EQ(e->curPos, 4);  // beyond the end of the empty line, at column 4
  EXPECT_EQ(e->Text(), L"a\n    b\n\nc");
}

TEST_F(Rubato, OrdinaryKeysAndModifiedKeysReachTheEditor) {
  Editor* e = Open("a\n    bc\n", 1, 5);
  EXPECT_EQ(host.EditorInput(kBackspace), 0);  // after the first character: the editor's
  EXPECT_EQ(e->lines[1].text, L"    c");
  EXPECT_EQ(e->curPos, 4);
  EXPECT_EQ(host.EditorInput(Key(8, VK_BACK, true, LEFT_CTRL_PRESSED)), 0);
  EXPECT_EQ(e->lines[1].text, L"    c");  // the stand-in's editor has no Ctrl+Backspace
  EXPECT_EQ(host.EditorInput(Key(8, VK_BACK, true, SHIFT_PRESSED)), 0);
  EXPECT_EQ(e->lines[1].text, L"   c");  // an ordinary backspace by the editor
  e->curPos = 0;
  EXPECT_EQ(host.EditorInput(Key(L'z', 'Z')), 0);
  EXPECT_EQ(e->lines[1].text, L"z   c");
}

TEST_F(Rubato, TabIndentsToADeeperLineOrIsAnOrdinaryTab) {
  Editor* e = Open("{\n        deep;\nx;\n", 2, 0);
  EXPECT_EQ(host.EditorInput(kTab), 1);
  EXPECT_EQ(e->lines[2].text, L"        x;");
  EXPECT_EQ(e->curPos, 8);
  // No deeper line above the next one: the editor inserts a tab.
  e->curLine = 2;
  e->curPos = 8;
  EXPECT_EQ(host.EditorInput(kTab), 0);
  EXPECT_EQ(e->lines[2].text, L"        \tx;");
}

TEST_F(Rubato, SmartTabOffInTheRegistryIsReadAtStartUp) {
  StoreSmartTab(0);
  Editor* e = Open("{\n        deep;\nx;\n", 2, 0);
  EXPECT_EQ(host.EditorInput(kTab), 0);
  EXPECT_EQ(e->lines[2].text, L"\tx;");
  e->curLine = 1;
  e->curPos = 8;
  EXPECT_EQ(host.EditorInput(kBackspace), 1);  // Backspace still works
}

// The settings key is the root key, one backslash and "Rubato", however the host spells its root.
TEST_F(Rubato, ARootKeyEndingInABackslashFindsTheSameSetting) {
  StoreSmartTab(0);
  host.startupRootKey = host.RootKey() + L"\\";
  Editor* e = Open("{\n        deep;\nx;\n", 2, 0);
  EXPECT_EQ(host.EditorInput(kTab), 0);
  EXPECT_EQ(e->lines[2].text, L"\tx;");
  // The key it read has single separators (some systems refuse a doubled one).
  EXPECT_EQ(host.registryKeys, (std::vector<std::wstring>{host.RootKey() + L"\\Rubato"}));
}

// Every refusal of the host, and memory running out anywhere, leaves the key to the editor and
// the line as the plugin found it.
TEST_F(Rubato, RefusalsAndFailedAllocationsLeaveTheKeyToTheEditor) {
  const std::string text = "    if (x) {\n        call(argument);\n";
  struct Case {
    const char* name;
    int command;
  } cases[] = {{"HostEditorControl", ECTL_GETINFO}, {"HostEditorControl", ECTL_GETSTRING}};
  for (const Case& c : cases) {
    Editor* e = Open(text, 1, 8);
    host.FailCall(c.name, 1, -1, c.command);
    EXPECT_EQ(host.EditorInput(kBackspace), 0) << c.command;
    host.ClearFailures();
    EXPECT_EQ(e->lines[1].text, L"       call(argument);") << c.command;  // the editor's own Backspace
  }
  Open(text, 1, 8);
  host.FailCall("malloc", INT_MAX);
  EXPECT_EQ(host.EditorInput(kBackspace), 1);
  int allocations = host.CallsSeen("malloc");
  host.ClearFailures();
  for (int nth = 1; nth <= allocations; ++nth) {
    Editor* e = Open(text, 1, 8);
    host.FailCall("malloc", nth);
    EXPECT_EQ(host.EditorInput(kBackspace), 0) << nth;
    host.ClearFailures();
    EXPECT_EQ(e->lines[1].text, L"       call(argument);") << nth;
  }
  EXPECT_TRUE(host.messages.empty());
}
