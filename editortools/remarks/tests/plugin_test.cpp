// Glossa in the host stand-in: the editor action on lines and blocks, the choice of the comment
// by file type from the registry, and the configuration menu with its edit dialog.
#include <gtest/gtest.h>

#include <climits>

#include "editortools/remarks/tests/plugin_support.h"
#include "standins/kelhost/editor.h"
#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

constexpr int kOk = 9;

class Glossa : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& f) { ADD_FAILURE() << Utf8(f); };
    plugin = host.Load(BesideTest(PLUGIN_FILE));
    ASSERT_NE(plugin, nullptr);
    key = host.RootKey() + L"\\GLOSSA";
  }
  void SetValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
  }
  void AddType(const std::wstring& name, const std::wstring& mask, const std::wstring& comment) {
    SetValue(key + L"\\Types\\" + name, L"Mask", mask);
    SetValue(key + L"\\Types\\" + name, L"Comment", comment);
  }
  std::optional<std::wstring> Value(const std::wstring& path, const wchar_t* name) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return std::nullopt;
    LONG rc = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, (wcslen(buffer) + 1) * sizeof(wchar_t));  // stored with the terminator
    return std::wstring(buffer);
  }
  bool KeyExists(const std::wstring& path) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
  }
  Editor* Open(const std::wstring& name, const std::string& bytes) {
    Editor* e = host.OpenEditor(WriteSample(name, bytes));
    EXPECT_NE(e, nullptr);
    return e;
  }
  Host host;
  Plugin* plugin = nullptr;
  std::wstring key;
};

}  // namespace

TEST_F(Glossa, ExportsAndMenuEntries) {
  EXPECT_EQ(ExportNames(plugin->module), (std::set<std::string>{"GetMinKelVersionW", "SetStartupInfoW", "GetPluginInfoW",
                                                                "OpenPluginW", "ConfigureW"}));
  EXPECT_EQ(static_cast<uint32_t>(reinterpret_cast<int(KEL_API*)()>(plugin->Entry("GetMinKelVersionW"))()), 0x05320200u);
  PluginInfoW info{};
  ASSERT_TRUE(host.GetPluginInfo(plugin, &info));
  EXPECT_EQ(info.Flags, 6u);
  ASSERT_EQ(info.PluginMenuStringsNumber, 1);
  ASSERT_EQ(info.PluginConfigStringsNumber, 1);
  EXPECT_STREQ(info.PluginMenuStrings[0], L"Line comments");
  EXPECT_STREQ(info.PluginConfigStrings[0], L"Line comments");
}

TEST_F(Glossa, AddOnABlockWithBlankLinesReselectsAndRestoresTheCursorInOneUndoStep) {
  const std::wstring original = L"a\r\nb\r\n\r\n   \ne\r\nf";
  Editor* e = Open(L"sample.c", "a\r\nb\r\n\r\n   \ne\r\nf");
  EditorSelectW select{BTYPE_STREAM, 1, 0, 0, 4};  // lines 1..3, ending at character 0 of line 4
  ASSERT_TRUE(e->Control(ECTL_SELECT, 0, &select));
  e->curLine = 4;
  e->curPos = 1;
  e->topLine = 2;
  e->leftPos = 1;
  e->overtype = 1;
  int stepsBefore = e->undoSteps();
  host.AnswerMenu(0);
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);

  ASSERT_EQ(host.menus.size(), 1u);
  EXPECT_EQ(host.menus[0].title, L"Line comments");
  EXPECT_EQ(host.menus[0].helpTopic, L"Contents");
  EXPECT_EQ(host.menus[0].items, (std::vector<std::wstring>{L"&Add comment", L"&Remove comment", L"", L"&Configure file types"}));
  EXPECT_EQ(host.menus[0].selectedOnOpen, 0);
  EXPECT_EQ(e->Text(), L"a\r\n//b\r\n//\r\n//   \ne\r\nf");
  EXPECT_EQ(e->block.type, BTYPE_STREAM);
  EXPECT_EQ(e->block.startLine, 1);
  EXPECT_EQ(e->block.startPos, 0);
  EXPECT_EQ(e->block.endLine, 4);
  EXPECT_EQ(e->block.endPos, 0);
  EXPECT_EQ(e->curLine, 4);
  EXPECT_EQ(e->curPos, 1);
  EXPECT_EQ(e->topLine, 2);
  EXPECT_EQ(e->leftPos, 1);
  EXPECT_EQ(e->overtype, 1);
  EXPECT_EQ(e->undoSteps(), stepsBefore + 1);
  EditorUndoRedoW undo{EUR_UNDO, {0, 0, 0}};
  ASSERT_TRUE(e->Control(ECTL_UNDOREDO, 0, &undo));
  EXPECT_EQ(e->Text(), original);

  // Removing again from the same block; the menu now starts on the item chosen last... which
  // was "add"; choose "remove".
  ASSERT_TRUE(e->Control(ECTL_SELECT, 0, &select));
  host.AnswerMenu(0);
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  host.AnswerMenu(1);
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  EXPECT_EQ(host.menus.back().selectedOnOpen, 0);
  EXPECT_EQ(e->Text(), original);
  host.AnswerMenu(-1);
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  EXPECT_EQ(host.menus.back().selectedOnOpen, 1);
}

TEST_F(Glossa, RemoveOnlyAtCharacterZeroOfTheCursorLine) {
  Editor* e = Open(L"x.cpp", "//one\n  //two\n");
  e->curLine = 1;
  e->curPos = 4;
  host.AnswerMenu(1);
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  EXPECT_EQ(e->Text(), L"//one\n  //two\n");
  EXPECT_EQ(e->block.type, BTYPE_NONE);  // nothing changed, nothing selected
  e->curLine = 0;
  host.AnswerMenu(1);
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  EXPECT_EQ(e->Text(), L"one\n  //two\n");
  EXPECT_EQ(e->curPos, 4);
}

TEST_F(Glossa, TheTypeEnumeratedFirstWinsMasksIgnoreCaseAndEmptyMasksAreSkipped) {
  AddType(L"A-empty", L"", L"!");
  AddType(L"B-shell", L"*.sh; \"*.PY\"", L"#");
  AddType(L"C-lisp", L"*.py", L";");
  Editor* e = Open(L"tool.py", "x = 1\n");
  host.AnswerMenu(0);
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  EXPECT_EQ(e->Text(), L"#x = 1\n");
  // A name the types do not match gets the default entry's comment.
  Editor* f = Open(L"Makefile", "all:\n");
  host.AnswerMenu(0);
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  EXPECT_EQ(f->Text(), L"//all:\n");
}

TEST_F(Glossa, ADefaultMaskThatDoesNotMatchStopsEverything) {
  SetValue(key, L"Mask", L"*.c,*.h");
  AddType(L"Python", L"*.py", L"#");
  Editor* e = Open(L"tool.py", "x = 1\n");
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  EXPECT_TRUE(host.menus.empty());
  EXPECT_EQ(e->Text(), L"x = 1\n");
}

TEST_F(Glossa, ConfigureFromTheEditorMenuKeepsTheCommentChosenBefore) {
  AddType(L"Python", L"*.py", L"#");
  Editor* e = Open(L"tool.py", "x\n");
  host.AnswerMenu(3);                   // configure...
  host.AnswerMenu(0);                   // ...the default entry, Enter
  host.AnswerDialog(DialogScript().Type(7, L"REM ").Close(kOk));
  host.AnswerMenu(-1);                  // leave the configuration menu
  host.AnswerMenu(0);                   // add
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  ASSERT_EQ(host.menus.size(), 4u);
  EXPECT_EQ(host.menus[3].selectedOnOpen, 3);
  EXPECT_EQ(e->Text(), L"#x\n");
  EXPECT_EQ(Value(key, L"Comment"), L"REM ");
}

TEST_F(Glossa, InsertRenameAndDeleteTypesThroughTheConfigurationMenu) {
  // Insert: a new type starts empty with the default entry's masks and comment.
  host.AnswerMenu(0, 0);
  host.AnswerDialog(DialogScript().Type(2, L"  Perl ").Type(5, L"*.pl,*.pm").Type(7, L"#").Close(kOk));
  host.AnswerMenu(-1);
  EXPECT_EQ(host.Configure(plugin, 0), 1);
  ASSERT_EQ(host.dialogs.size(), 1u);
  const DialogCall& d = host.dialogs[0];
  EXPECT_EQ(d.helpTopic, L"ConfigDlg");
  EXPECT_EQ(d.x2 - d.x1 + 1 == 38 || (d.x1 == -1 && d.x2 == 38), true);
  ASSERT_EQ(d.itemsAtOpen.size(), 11u);
  EXPECT_EQ(d.itemsAtOpen[0].type, DI_DOUBLEBOX);
  EXPECT_EQ(d.itemsAtOpen[0].x1, 3);
  EXPECT_EQ(d.itemsAtOpen[0].y2, 12);
  EXPECT_EQ(d.itemsAtOpen[2].text, L"");
  EXPECT_EQ(d.itemsAtOpen[2].history, L"Glossa_Item");
  EXPECT_EQ(d.itemsAtOpen[5].text, L"*.*");
  EXPECT_EQ(d.itemsAtOpen[5].history, L"Glossa_Mask");
  EXPECT_EQ(d.itemsAtOpen[7].text, L"//");
  EXPECT_EQ(d.itemsAtOpen[7].history, L"Glossa_Cmnt");
  EXPECT_TRUE(d.itemsAtOpen[9].flags & DIF_DEFAULTBUTTON);
  EXPECT_EQ(Value(key + L"\\Types\\Perl", L"Mask"), L"*.pl,*.pm");
  EXPECT_EQ(Value(key + L"\\Types\\Perl", L"Comment"), L"#");
  ASSERT_EQ(host.menus.size(), 2u);
  EXPECT_EQ(host.menus[0].items, (std::vector<std::wstring>{L"<Default>", L""}));
  EXPECT_EQ(host.menus[0].bottom, L"Ins, Del, F4");
  EXPECT_EQ(host.menus[0].helpTopic, L"Config");
  EXPECT_EQ(host.menus[1].items, (std::vector<std::wstring>{L"<Default>", L"", L"Perl"}));

  // Rename with F4: the values move to the new key, the old key goes.
  host.AnswerMenu(2, 2);
  host.AnswerDialog(DialogScript()
                        .Check([](DialogView& v) {
                          EXPECT_EQ(v.Item(2).text, L"Perl");
                          EXPECT_EQ(v.Item(5).text, L"*.pl,*.pm");
                        })
                        .Type(2, L"Perl5")
                        .Close(kOk));
  host.AnswerMenu(-1);
  host.Configure(plugin, 0);
  EXPECT_FALSE(KeyExists(key + L"\\Types\\Perl"));
  EXPECT_EQ(Value(key + L"\\Types\\Perl5", L"Mask"), L"*.pl,*.pm");

  // Cancel and an empty name save nothing; Delete on the default entry does nothing.
  host.AnswerMenu(2, 2);
  host.AnswerDialog(DialogScript().Type(7, L"%").Close(10));
  host.AnswerMenu(2, -1);
  host.AnswerDialog(DialogScript().Type(2, L"   ").Type(7, L"%").Close(kOk));
  host.AnswerMenu(0, 1);
  host.AnswerMenu(-1);
  host.Configure(plugin, 0);
  EXPECT_EQ(Value(key + L"\\Types\\Perl5", L"Comment"), L"#");
  EXPECT_TRUE(KeyExists(key + L"\\Types\\Perl5"));

  // Delete removes the type from the registry and from the list.
  host.AnswerMenu(2, 1);
  host.AnswerMenu(-1);
  host.Configure(plugin, 0);
  EXPECT_FALSE(KeyExists(key + L"\\Types\\Perl5"));
  EXPECT_EQ(host.menus.back().items, (std::vector<std::wstring>{L"<Default>", L""}));
}

TEST_F(Glossa, TheDefaultEntryEditsItsOwnValuesWithTheNameDisabled) {
  host.AnswerMenu(0);
  host.AnswerDialog(DialogScript().Type(5, L"*.c;*.h").Close(kOk));
  host.AnswerMenu(-1);
  host.Configure(plugin, 0);
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_FALSE(host.dialogs[0].itemsAtOpen[2].enabled);
  EXPECT_EQ(host.dialogs[0].itemsAtOpen[2].text, L"<Default>");
  EXPECT_EQ(Value(key, L"Mask"), L"*.c;*.h");
  EXPECT_EQ(Value(key, L"Comment"), L"//");
  EXPECT_FALSE(KeyExists(key + L"\\Types"));
}

// Every refusal of the host ends the editor action quietly: the file stays as it was, nothing is
// shown, and no undo group is left open.
TEST_F(Glossa, RefusalsOfTheHostEndTheActionQuietly) {
  Editor* e = Open(L"quiet.c", "a\r\nb");
  struct Case {
    const char* service;
    int command;
    bool menu;  // the menu is answered (the refusal comes after it)
  } cases[] = {
      {"HostMenu", -1, false},
      {"HostEditorControl", ECTL_GETINFO, true},
      {"HostEditorControl", ECTL_GETSTRING, true},
      {"HostEditorControl", ECTL_SETSTRING, true},
  };
  for (const Case& c : cases) {
    host.FailCall(c.service, 1, -1, c.command);
    if (c.menu) host.AnswerMenu(0);
    EXPECT_EQ(host.OpenPlugin(plugin, OPEN_EDITOR, 0), INVALID_HANDLE_VALUE);
    host.ClearFailures();
    EXPECT_FALSE(host.refusals.empty()) << c.service << " " << c.command;
    host.refusals.clear();
    EXPECT_EQ(e->Text(), L"a\r\nb") << c.service << " " << c.command;
    EXPECT_EQ(e->undoGroupDepth(), 0);
  }
  EXPECT_TRUE(host.messages.empty());
  // Without its texts the plugin still works (the host's missing texts read as empty ones).
  host.FailCall("HostGetMsg", 1, -1);
  host.AnswerMenu(0);
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  host.ClearFailures();
  EXPECT_EQ(host.menus.back().items, (std::vector<std::wstring>{L"", L"", L"", L""}));
  EXPECT_EQ(e->Text(), L"//a\r\nb");
}

// Failed registry writes are not reported; the configuration goes on as if they had worked.
TEST_F(Glossa, FailedSettingsWritesAreNotReported) {
  for (const char* write : {"RegCreateKeyExW", "RegSetValueExW"}) {
    host.FailCall(write, 1, -1);
    host.AnswerMenu(0);
    host.AnswerDialog(DialogScript().Type(5, L"*.c").Close(kOk));
    host.AnswerMenu(0, 0);
    host.AnswerDialog(DialogScript().Type(2, L"Perl").Type(5, L"*.pl").Close(kOk));
    host.AnswerMenu(-1);
    EXPECT_EQ(host.Configure(plugin, 0), 1) << write;
    host.ClearFailures();
    EXPECT_FALSE(host.refusals.empty()) << write;
    host.refusals.clear();
    EXPECT_EQ(Value(key, L"Mask"), std::nullopt) << write;
    EXPECT_EQ(Value(key + L"\\Types\\Perl", L"Mask"), std::nullopt) << write;
  }
  // A refused dialog saves nothing and shows the menu again.
  host.FailCall("HostDialog");
  host.AnswerMenu(0);
  host.AnswerMenu(-1);
  EXPECT_EQ(host.Configure(plugin, 0), 1);
  EXPECT_EQ(host.refusals, (std::vector<std::wstring>{L"HostDialog"}));
  EXPECT_EQ(Value(key, L"Mask"), std::nullopt);
  EXPECT_TRUE(host.messages.empty());
}

// Memory running out at any allocation of the action, one at a time: the failure is reported
// or the action completes, and either way the cursor is back and no undo group is left open.
TEST_F(Glossa, OutOfMemoryAnywhereLeavesNoUndoGroupOpen) {
  const std::wstring original = std::wstring(20, L'x') + L"\r\n" + std::wstring(30, L'y') + L"\r\n" + std::wstring(40, L'z');
  Editor* e = Open(L"big.c", Utf8(original));
  auto prepare = [&] {
    e->SetText(original);
    EditorSelectW select{BTYPE_STREAM, 0, 0, 0, 3};
    ASSERT_TRUE(e->Control(ECTL_SELECT, 0, &select));
    e->curLine = 2;
    e->curPos = 7;
  };
  prepare();
  host.FailCall("malloc", INT_MAX);
  host.AnswerMenu(0);
  host.OpenPlugin(plugin, OPEN_EDITOR, 0);
  int allocations = host.CallsSeen("malloc");
  ASSERT_GT(allocations, 3);
  host.ClearFailures();
  size_t menus = host.menus.size(), messages = host.messages.size();
  bool menuQueued = false, messageQueued = false;
  for (int nth = 1; nth <= allocations; ++nth) {
    prepare();
    if (!menuQueued) host.AnswerMenu(0);
    if (!messageQueued) host.AnswerMessage(0);
    menuQueued = messageQueued = true;
    host.FailCall("malloc", nth);
    host.OpenPlugin(plugin, OPEN_EDITOR, 0);
    host.ClearFailures();
    if (host.menus.size() > menus) menuQueued = false;
    if (host.messages.size() > messages) messageQueued = false;
    menus = host.menus.size();
    messages = host.messages.size();
    EXPECT_EQ(e->undoGroupDepth(), 0) << nth;
    EXPECT_EQ(e->curLine, 2) << nth;
    EXPECT_EQ(e->curPos, 7) << nth;
  }
  EXPECT_EQ(host.refusals.size(), static_cast<size_t>(allocations));
}

// The settings key is the root key, one backslash and "GLOSSA", however the host spells its root.
TEST_F(Glossa, ARootKeyEndingInABackslashGivesTheSameSettingsKey) {
  host.Unload(plugin);
  host.startupRootKey = host.RootKey() + L"\\";
  plugin = host.Load(BesideTest(PLUGIN_FILE));
  ASSERT_NE(plugin, nullptr);
  host.AnswerMenu(0);
  host.AnswerDialog(DialogScript().Type(5, L"*.c;*.h").Close(kOk));
  host.AnswerMenu(-1);
  host.Configure(plugin, 0);
  EXPECT_EQ(Value(key, L"Mask"), L"*.c;*.h");
  // Every key the plugin named has single separators (some systems refuse a doubled one).
  ASSERT_FALSE(host.registryKeys.empty());
  for (const std::wstring& k : host.registryKeys) EXPECT_EQ(k.find(L"\\\\"), std::wstring::npos) << Utf8(k);
}

// The host may call the start-up entry with no record: the plugin survives and stays quiet.
TEST_F(Glossa, StartUpWithoutARecordIsSurvived) {
  auto start = reinterpret_cast<void(KEL_API*)(const HostStartupInfo*)>(plugin->Entry("SetStartupInfoW"));
  start(nullptr);
  EXPECT_EQ(host.Configure(plugin, 0), 1);  // no host services: nothing shown, nothing done
  EXPECT_TRUE(host.menus.empty());
  start(&plugin->startup);
}
