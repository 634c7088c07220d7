// The device browser plugin in the host stand-in, against the emulated handheld, with the test
// module (and its copies under other names) in the plugin's Modules folder: opening from every
// place, the root listing, every path form inside a module, the jump to top, two panels, the
// module's failures and missing entries, the services, and what closing releases.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "devicebrowser/common/framework/tests/module_wine_support.h"
#include "standins/kelhost/editor.h"
#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"
#include "standins/rapi/win/device_folder.h"

using namespace kelhost;

namespace {

std::wstring g_plugin, g_module, g_bare;

std::string ReadText(const std::wstring& path) {
  std::string text;
  rapiemu::ReadWholeFile(path, text);
  return text;
}

void WriteText(const std::wstring& path, const std::string& text) {
  std::ofstream out(path.c_str(), std::ios::binary);
  out << text;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class HandrelPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Utf8(what); };
    device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket Test\"\n");
    device.WriteState(u"script", "record\n");
    device.MakeFolder(L"\\Windows");
  }

  // Puts a copy of the test module in the Modules folder under `file`, told what to do by `cfg`.
  std::wstring AddModule(const std::wstring& file, const std::string& cfg, bool bare = false) {
    std::wstring path = folder.path + L"\\Modules\\" + file;
    CopyFileW((bare ? g_bare : g_module).c_str(), path.c_str(), FALSE);
    WriteText(path + L".cfg", cfg);
    return path;
  }
  std::string Log(const std::wstring& file) { return ReadText(folder.path + L"\\Modules\\" + file + L".log"); }
  // Values of the plugin's settings key, set before the plugin reads them at start-up.
  void SetSetting(const std::wstring& name, const std::wstring& value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Handrel").c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  std::wstring GetSetting(const std::wstring& name) {
    wchar_t buf[512] = {};
    DWORD size = sizeof(buf) - sizeof(wchar_t);
    RegGetValueW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Handrel").c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                 buf, &size);
    return buf;
  }

  void Load() {
    p = host.Load(folder.path + L"\\Handrel.dll");
    ASSERT_NE(p, nullptr);
  }
  // OpenPlugin as the host calls it; the item is a text for the command line.
  HANDLE OpenRaw(int from, const char* item = nullptr) {
    auto f = reinterpret_cast<HANDLE(KEL_API*)(int, intptr_t)>(p->Entry("OpenPlugin"));
    return f(from, reinterpret_cast<intptr_t>(item));
  }
  bool Open(int from, const char* item = nullptr) {
    bool opened = host.OpenPanel(p, from, reinterpret_cast<intptr_t>(item));
    if (!opened && getenv("HANDREL_TEST_TRACE")) {
      fprintf(stderr, "device calls:\n%s\n", device.ReadState(u"calls.log").c_str());
      for (auto& line : host.transcript) fprintf(stderr, "%s\n", Utf8(line).c_str());
    }
    return opened;
  }
  Panel& panel() { return host.ActivePanel(); }
  std::vector<std::wstring> Names() {
    std::vector<std::wstring> out;
    for (auto& it : panel().Items()) out.push_back(it.name);
    return out;
  }
  std::wstring Current() { return panel().Items().at(static_cast<size_t>(panel().current)).name; }
  bool Cd(const std::wstring& dir) { return host.PanelSetDirectory(dir); }
  std::wstring Dir() { return panel().pluginDir; }
  std::wstring Title() { return panel().pluginTitle; }
  bool HasLine(const std::wstring& text, const std::wstring& data) {
    for (auto& l : panel().infoLines)
      if (l.first == text && l.second == data) return true;
    return false;
  }
  const MessageCall& LastMessage() { return host.messages.back(); }

  rapiemu::EmulatedDevice device{L"handrel-device"};
  handrel_test::PluginFolder folder{g_plugin, L"handrel-plugin-"};  // Modules empty
  Host host;
  Plugin* p = nullptr;
};

}  // namespace

TEST_F(HandrelPlugin, OpensFromTheMenusWithTheModuleFoldersAndTheDeviceLines) {
  AddModule(L"test.module", "name Test\ntitle Test module\n");
  Load();
  // The menus of a first run: disks menu with hot key 5, plugins and configuration menus, editor.
  PluginInfoA info{};
  reinterpret_cast<void(KEL_API*)(PluginInfoA*)>(p->Entry("GetPluginInfo"))(&info);
  EXPECT_EQ(info.StructSize, 40);
  EXPECT_EQ(info.Flags, 4u);
  ASSERT_EQ(info.DiskMenuStringsNumber, 1);
  EXPECT_STREQ(info.DiskMenuStrings[0], "Handrel");
  EXPECT_EQ(info.DiskMenuNumbers[0], 5);
  ASSERT_EQ(info.PluginMenuStringsNumber, 1);
  EXPECT_EQ(info.PluginConfigStringsNumber, 1);
  EXPECT_STREQ(info.CommandPrefix, "ppc");

  for (int from : {0, 1}) {
    ASSERT_TRUE(Open(from)) << from;
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"..", L"Test:"}));
    EXPECT_EQ(Title(), L" Handrel ");
    EXPECT_EQ(Dir(), L"");
    EXPECT_EQ(panel().pluginFormat, L"ppc");
    EXPECT_EQ(panel().pluginFlags, 0x40Fu);
    EXPECT_TRUE(HasLine(L"PPC Name", L"Pocket Test")) << from;
    EXPECT_TRUE(panel().Items()[1].attributes & FILE_ATTRIBUTE_DIRECTORY);
    host.ClosePanel();
  }
  // The modules see the start panel mode in the panel record: '0' + the file panel's view mode.
  host.ActivePanel().viewMode = 3;
  ASSERT_TRUE(Open(1));
  host.ClosePanel();
  std::string log = Log(L"test.module");
  EXPECT_EQ(Count(log, "InitModule size=68 host=372 reserved=0 lang=English view=50\n"), 2u) << log;
  EXPECT_EQ(Count(log, "InitModule size=68 host=372 reserved=0 lang=English view=51\n"), 1u) << log;
  EXPECT_EQ(Count(log, "GetModuleInfo size=176 reserved0=44\n"), 3u) << log;
  EXPECT_EQ(Count(log, "CloseModule"), 3u) << log;
  // A code the plugin does not open from: no panel, no module loaded.
  EXPECT_EQ(OpenRaw(2), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Count(Log(L"test.module"), "InitModule"), 3u);
}

TEST_F(HandrelPlugin, EditorViewerAndDialogOpenInTheControlModule) {
  AddModule(L"control.module", "name control\ntitle Remote keyboard\n");
  AddModule(L"test.module", "name Test\n");
  Load();
  for (int from : {5, 6, 8}) {
    ASSERT_TRUE(Open(from)) << from;
    EXPECT_EQ(Dir(), L"control:");
    EXPECT_EQ(Title(), L" Remote keyboard ");
    host.ClosePanel();
  }
  EXPECT_EQ(Count(Log(L"control.module"), "Activate lang="), 3u);
  EXPECT_EQ(Count(Log(L"control.module"), "DeActivate"), 3u);
}

TEST_F(HandrelPlugin, EditorOpenWithoutTheControlModuleOpensNothing) {
  AddModule(L"test.module", "name Test\n");
  Load();
  EXPECT_FALSE(Open(5));
  EXPECT_EQ(Count(Log(L"test.module"), "CloseModule"), 1u);
  EXPECT_NE(device.ReadState(u"calls.log").find("CeRapiUninit"), std::string::npos);
}

TEST_F(HandrelPlugin, CommandLineOpensAtItsPathAndReusesAFocusedPanel) {
  AddModule(L"test.module", "name Test\ndirs A;A\\B;D\n");
  Load();
  ASSERT_TRUE(Open(4, "test:A\\B"));
  EXPECT_EQ(Dir(), L"Test:\\A\\B");
  EXPECT_EQ(Title(), L"Test:A\\B");
  // Again from the command line while that panel is visible and focused: it moves, none opens.
  EXPECT_EQ(OpenRaw(4, "Test:D"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Dir(), L"Test:\\D");
  EXPECT_EQ(panel().current, 0);
  EXPECT_EQ(Count(Log(L"test.module"), "created"), 1u);
  host.ClosePanel();
  // A command naming no module opens nothing.
  EXPECT_FALSE(Open(4, "Nowhere:A"));
  EXPECT_EQ(Count(Log(L"test.module"), "CloseModule"), 2u);
}

TEST_F(HandrelPlugin, EveryPathFormInsideAModule) {
  AddModule(L"test.module", "name Test\ntitle Test module\ndirs A;A\\B;A\\B\\C;A\\C;D\n");
  AddModule(L"other.module", "name Other\ntitle Other module\ndirs O\n");
  Load();
  ASSERT_TRUE(Open(1));
  ASSERT_TRUE(Cd(L"tEsT:"));  // any letter case
  EXPECT_EQ(Dir(), L"Test:");
  EXPECT_EQ(Title(), L" Test module ");
  EXPECT_TRUE(Cd(L"A\\B"));
  EXPECT_EQ(Dir(), L"Test:\\A\\B");
  EXPECT_EQ(Title(), L"Test:A\\B");
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"..", L"C", L"file.txt"}));
  EXPECT_TRUE(Cd(L".."));
  EXPECT_EQ(Dir(), L"Test:\\A");
  EXPECT_TRUE(Cd(L"B\\C\\"));
  EXPECT_EQ(Dir(), L"Test:\\A\\B\\C");
  EXPECT_TRUE(Cd(L"..\\..\\C"));  // up twice from "A\B\C\", then into C
  EXPECT_EQ(Dir(), L"Test:\\A\\C");
  EXPECT_TRUE(Cd(L"..\\B"));
  EXPECT_EQ(Dir(), L"Test:\\A\\B");
  EXPECT_TRUE(Cd(L"\\D"));
  EXPECT_EQ(Dir(), L"Test:\\D");
  // Missing deeper folders end in the deepest existing one.
  EXPECT_TRUE(Cd(L"Test:A\\B\\X\\Y"));
  EXPECT_EQ(Dir(), L"Test:\\A\\B");
  EXPECT_TRUE(Cd(L"Test:\\A"));  // with or without a backslash after the colon
  EXPECT_EQ(Dir(), L"Test:\\A");
  EXPECT_TRUE(Cd(L"Test:"));     // the prefix alone keeps the module's folder
  EXPECT_EQ(Dir(), L"Test:\\A");
  EXPECT_TRUE(Cd(L".."));
  EXPECT_EQ(Dir(), L"Test:");
  // ".." at the module's top: back at the root with the cursor on the module, and a 0.
  EXPECT_FALSE(Cd(L".."));
  EXPECT_EQ(Dir(), L"");
  EXPECT_EQ(Title(), L" Handrel ");
  EXPECT_EQ(Current(), L"Test:");
  // ".." at the root answers 1 and changes nothing.
  EXPECT_TRUE(Cd(L".."));
  EXPECT_EQ(Dir(), L"");
  // "\" leaves a module; a prefix inside one goes through the root to the other module.
  EXPECT_TRUE(Cd(L"Test:\\A\\B"));
  EXPECT_TRUE(Cd(L"Other:O"));
  EXPECT_EQ(Dir(), L"Other:\\O");
  EXPECT_FALSE(Cd(L"\\"));
  EXPECT_EQ(Current(), L"Other:");
  EXPECT_FALSE(Cd(L"Nowhere:"));
  EXPECT_EQ(Dir(), L"");
  host.ClosePanel();

  std::string log = Log(L"test.module");
  // Probes go without a trailing backslash, the directory set with one.
  EXPECT_NE(log.find("ExistsDirectory [A\\B\\X\\Y]\n#1 ExistsDirectory [A\\B\\X]\n#1 ExistsDirectory [A\\B]\n"
                     "#1 SetDirectory [A\\B\\]"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("SetDirectory [A\\C\\]"), std::string::npos) << log;
  EXPECT_EQ(log.find("SetDirectory [A\\B\\C\\C"), std::string::npos) << log;
  EXPECT_EQ(Count(log, "Activate lang=English"), Count(log, "DeActivate") + 0u) << log;
}

TEST_F(HandrelPlugin, JumpToTopWithEachFlagPair) {
  AddModule(L"test.module", "name Test\ndirs A;A\\B\n");
  struct Case {
    const wchar_t* pair;
    int menuAnswer;  // -2: no menu expected
    const wchar_t* after;  // the panel's directory after the first jump
  };
  const Case cases[] = {
      {L"NN", -2, L"Test:"},   // to the module's top, no question
      {L"NY", -2, L""},        // straight to the root
      {L"YN", 0, L""},         // asked, the root chosen
      {L"YY", 1, L"Test:"},    // asked, the module's top chosen
      {L"YY", -1, L"Test:\\A\\B"},  // asked and cancelled: nothing changes
  };
  for (const Case& c : cases) {
    SetSetting(L"CtrlSlash", c.pair);
    SetSetting(L"CtrlShiftSlash", c.pair);
    Load();
    for (unsigned state : {1u, 5u}) {  // Ctrl+\, Ctrl+Shift+\ -
      ASSERT_TRUE(Open(4, "Test:A\\B"));
      size_t menus = host.menus.size();
      if (c.menuAnswer != -2) host.AnswerMenu(c.menuAnswer);
      EXPECT_EQ(host.PanelKey(0xDC, state), 1) << Utf8(c.pair);
      host.RefreshPluginPanel(panel());
      EXPECT_EQ(Dir(), c.after) << Utf8(c.pair) << " state " << state;
      if (c.menuAnswer != -2) {
        ASSERT_EQ(host.menus.size(), menus + 1);
        EXPECT_EQ(host.menus.back().items.size(), 2u);
        EXPECT_EQ(host.menus.back().selectedOnOpen, c.pair[1] == L'Y' ? 0 : 1);
      } else {
        EXPECT_EQ(host.menus.size(), menus);
      }
      if (std::wstring(c.after).empty()) {
        EXPECT_EQ(Current(), L"Test:");
      }
      // Once at the root the keys are the host's.
      if (c.menuAnswer == -2 && std::wstring(c.after) == L"Test:") {
        EXPECT_EQ(host.PanelKey(0xDC, state), 1);
        host.RefreshPluginPanel(panel());
        EXPECT_EQ(Dir(), L"");
        EXPECT_EQ(Current(), L"Test:");
        EXPECT_EQ(host.PanelKey(0xDC, state), 0);
      }
      host.ClosePanel();
    }
    host.Unload(p);
  }
}

TEST_F(HandrelPlugin, TwoPanelsHaveTheirOwnModuleInstancesAndShareTheConnection) {
  AddModule(L"test.module", "name Test\ndirs A\n");
  Load();
  ASSERT_TRUE(Open(1));
  ASSERT_TRUE(Cd(L"Test:A"));
  host.SwapPanels();
  ASSERT_TRUE(Open(1));  // starts where the visible device panel is
  EXPECT_EQ(Dir(), L"Test:\\A");
  std::string log = Log(L"test.module");
  EXPECT_NE(log.find("#2 created"), std::string::npos) << log;
  // The other panel's module while it is visible and inside a module; 0 at its root or hidden.
  EXPECT_EQ(host.PanelKey('O', 0), 1);
  EXPECT_EQ(Count(Log(L"test.module"), "#2 other=0"), 0u);
  EXPECT_FALSE(Cd(L"\\"));
  host.SwapPanels();
  EXPECT_EQ(host.PanelKey('O', 0), 1);
  EXPECT_EQ(Count(Log(L"test.module"), "#1 other=0"), 1u);
  host.SwapPanels();
  ASSERT_TRUE(Cd(L"Test:"));
  host.PassivePanel().visible = false;
  EXPECT_EQ(host.PanelKey('O', 0), 1);
  EXPECT_EQ(Count(Log(L"test.module"), "#2 other=0"), 1u);
  host.PassivePanel().visible = true;
  // Closing the first keeps the connection; closing the second ends it.
  host.SwapPanels();
  host.ClosePanel();
  EXPECT_EQ(Count(device.ReadState(u"calls.log"), "CeRapiUninit"), 0u);
  EXPECT_EQ(Count(device.ReadState(u"calls.log"), "CeRapiInitEx"), 1u);
  host.SwapPanels();
  host.ClosePanel();
  EXPECT_EQ(Count(device.ReadState(u"calls.log"), "CeRapiUninit"), 1u);
  log = Log(L"test.module");
  EXPECT_NE(log.find("#1 CloseModule"), std::string::npos) << log;
  EXPECT_NE(log.find("#2 DeActivate\n#2 CloseModule"), std::string::npos) << log;
}

TEST_F(HandrelPlugin, ModulesThatFailToLoadAreSkippedAndDbModuleIsNeverLoaded) {
  std::wstring failing = AddModule(L"failing.module", "name Failing\nfail-init\n");
  AddModule(L"db.module", "name Db\n");
  AddModule(L"test.module", "name Test\nrefuse-activate\n");
  Load();
  host.AnswerMessage(0);
  host.AnswerMessage(0);
  ASSERT_TRUE(Open(1));
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"..", L"Test:"}));
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"Exception", L"Can't initialize module"}));
  EXPECT_EQ(host.messages[1].lines, (std::vector<std::wstring>{L"Handrel", L"Can't load module:", failing}));
  EXPECT_EQ(host.messages[1].buttons, (std::vector<std::wstring>{L"OK"}));
  EXPECT_EQ(Log(L"db.module"), "");
  // A module that refuses to be entered leaves the panel at the root.
  EXPECT_FALSE(Cd(L"Test:"));
  EXPECT_EQ(Dir(), L"");
  host.ClosePanel();
  std::string log = Log(L"test.module");
  EXPECT_NE(log.find("#1 Activate"), std::string::npos) << log;
  EXPECT_EQ(log.find("DeActivate"), std::string::npos) << log;
}

TEST_F(HandrelPlugin, WithoutAnyModuleNoPanelOpens) {
  Load();
  host.AnswerMessage(0);
  EXPECT_FALSE(Open(1));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines,
            (std::vector<std::wstring>{L"Handrel", L"Modules not found:", folder.path + L"\\Modules\\*.module"}));
}

TEST_F(HandrelPlugin, MissingOptionalEntriesGetTheirDefaults) {
  AddModule(L"bare.module", "name Bare\ntitle Bare module\n", true);
  Load();
  ASSERT_TRUE(Open(1));
  // No Activate: entered; no ExistsDirectory: every folder exists; no SetDirectory: 0, but the
  // plugin's own copy of the directory stands in for the missing GetDirectory.
  EXPECT_TRUE(Cd(L"Bare:"));
  EXPECT_EQ(Dir(), L"Bare:");
  EXPECT_FALSE(Cd(L"X\\Y"));
  host.RefreshPluginPanel(panel());
  EXPECT_EQ(Dir(), L"Bare:\\X\\Y");
  EXPECT_EQ(Title(), L"Bare:X\\Y");
  EXPECT_EQ(host.PanelKey('I', 0), 0);
  std::wstring name = L"New";
  EXPECT_EQ(host.PanelMakeDirectory(name), 0);
  panel().current = 1;
  EXPECT_EQ(host.PanelDeleteFiles(), 0);
  EXPECT_EQ(host.PanelGetFiles(false), 0);
  EXPECT_FALSE(Cd(L"\\"));
  host.ClosePanel();
  std::string log = Log(L"bare.module");
  EXPECT_NE(log.find("InitModule"), std::string::npos) << log;
}

TEST_F(HandrelPlugin, ServicesReachThePanel) {
  AddModule(L"test.module", "name Test\ndirs A\n");
  Load();
  ASSERT_TRUE(Open(1));
  ASSERT_TRUE(Cd(L"Test:A"));
  EXPECT_EQ(host.PanelKey('D', 0), 1);
  // Ctrl+R rereads the device and passes the key on to the module.
  host.PanelKey('R', 1);
  EXPECT_NE(Log(L"test.module").find("#1 ProcessKey 82 state=1\n"), std::string::npos);
  // F8 on "..": the module is not asked; on an item it is, and the lines are rebuilt after it.
  host.RefreshPluginPanel(panel());
  panel().current = 0;
  EXPECT_EQ(host.PanelDeleteFiles(), 0);
  EXPECT_EQ(Count(Log(L"test.module"), "DeleteFiles"), 0u);
  host.PanelKey('I', 0);
  host.RefreshPluginPanel(panel());
  EXPECT_TRUE(HasLine(L"Module line", L"data"));
  panel().current = 1;
  EXPECT_EQ(host.PanelDeleteFiles(), 1);
  EXPECT_EQ(Count(Log(L"test.module"), "DeleteFiles 1"), 1u);
  EXPECT_TRUE(HasLine(L"PPC Name", L"Pocket Test"));
  EXPECT_FALSE(HasLine(L"Module line", L"data"));
  EXPECT_EQ(host.PanelKey('N', 0), 1);
  for (int i = 0; i < 45; ++i) host.PanelKey('I', 0);
  host.RefreshPluginPanel(panel());
  EXPECT_EQ(panel().infoLines.size(), 40u);  // nothing past the 40th
  EXPECT_TRUE(HasLine(L"Separator", L""));
  EXPECT_TRUE(HasLine(L"Module line", L"data"));
  // Settings: a first run has no key: read leaves the default, write writes nothing.
  HKEY key;
  bool keyExisted = RegOpenKeyExW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Handrel").c_str(), 0, KEY_READ, &key) ==
                    ERROR_SUCCESS;
  if (keyExisted) RegCloseKey(key);
  ASSERT_FALSE(keyExisted);
  host.PanelKey('R', 0);
  host.PanelKey('W', 0);
  SetSetting(L"Other", L"x");
  host.PanelKey('R', 0);
  host.PanelKey('W', 0);
  host.PanelKey('R', 0);
  // The editor receiver gets the editor's input until its module is left.
  auto editorInput = reinterpret_cast<int(KEL_API*)(const INPUT_RECORD*)>(p->Entry("ProcessEditorInput"));
  INPUT_RECORD rec{};
  EXPECT_EQ(editorInput(&rec), 0);
  EXPECT_EQ(host.PanelKey('E', 0), 1);
  EXPECT_EQ(editorInput(&rec), 0);
  // A file read into the editor meanwhile is shown in the ANSI table.
  std::wstring file = folder.path + L"\\note.txt";
  WriteText(file, "text\r\n");
  auto editorEvent = reinterpret_cast<int(KEL_API*)(int, void*)>(p->Entry("ProcessEditorEvent"));
  ASSERT_NE(host.OpenEditor(file), nullptr);
  UINT before = host.CurrentEditor()->codePage;
  ASSERT_NE(before, 2u);
  EXPECT_EQ(editorEvent(1, nullptr), 0);  // not "file read": nothing changes
  EXPECT_EQ(host.CurrentEditor()->codePage, before);
  EXPECT_EQ(editorEvent(0, nullptr), 0);
  EXPECT_EQ(host.CurrentEditor()->codePage, 2u);
  host.CloseEditor();
  EXPECT_FALSE(Cd(L"\\"));
  EXPECT_EQ(editorInput(&rec), 0);
  // The receiver went with its module: the editor is left alone.
  ASSERT_NE(host.OpenEditor(file), nullptr);
  before = host.CurrentEditor()->codePage;
  EXPECT_EQ(editorEvent(0, nullptr), 0);
  EXPECT_EQ(host.CurrentEditor()->codePage, before);
  host.CloseEditor();
  host.ClosePanel();
  std::string log = Log(L"test.module");
  EXPECT_NE(log.find("#1 device=Pocket Test"), std::string::npos) << log;
  EXPECT_NE(log.find("#1 read=0 dfl\n"), std::string::npos) << log;
  EXPECT_NE(log.find("#1 write=0\n"), std::string::npos) << log;
  EXPECT_NE(log.find("#1 read=1 dfl\n"), std::string::npos) << log;  // key there, value not yet
  EXPECT_NE(log.find("#1 read=0 abc\n"), std::string::npos) << log;
  EXPECT_EQ(GetSetting(L"TestValue"), L"abc");
  EXPECT_NE(log.find("#1 editor=0"), std::string::npos) << log;
  EXPECT_EQ(Count(log, "ProcessEditorInput"), 1u) << log;
}

TEST_F(HandrelPlugin, FailuresAreReportedByTheExportsAndPassedOnAsFailures) {
  AddModule(L"test.module", "name Test\nthrow GetFindData\n");
  Load();
  ASSERT_TRUE(Open(1));
  // The module's failing listing reaches the host as a failure; the plugin adds no message.
  EXPECT_TRUE(Cd(L"Test:"));
  PluginPanelItemA* items = nullptr;
  int count = -1;
  auto getFindData = reinterpret_cast<int(KEL_API*)(HANDLE, PluginPanelItemA**, int*, int)>(p->Entry("GetFindData"));
  EXPECT_EQ(getFindData(panel().pluginHandle, &items, &count, 0), 0);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_NE(Log(L"test.module").find("caught test module threw in GetFindData"), std::string::npos);
  // A failure inside an export is reported with the export's name and answered with 0.
  host.AnswerMessage(0);
  auto setDirectory = reinterpret_cast<int(KEL_API*)(HANDLE, const char*, int)>(p->Entry("SetDirectory"));
  int bogus = 0;
  EXPECT_EQ(setDirectory(&bogus, "Test:", 0), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"Handrel", L"Unhandled exception in SetDirectory",
                                                                L"unknown panel handle"}));
  EXPECT_EQ(host.messages[0].buttons, (std::vector<std::wstring>{L"OK"}));
  EXPECT_FALSE(AreFileApisANSI());  // every export hands the file functions back in OEM
  host.ClosePanel();
}

TEST_F(HandrelPlugin, ModuleConfigurationReachesTheModulesOfEveryPanel) {
  AddModule(L"test.module", "name Test\ntitle Test module\n");
  Load();
  auto configure = reinterpret_cast<int(KEL_API*)(int)>(p->Entry("Configure"));
  constexpr int kCancel = 25, kModules = 26;  // the configuration dialog's last two buttons
  auto configureTheModule = [&] {
    host.AnswerDialog(DialogScript().Close(kModules));
    host.AnswerMenu(0);   // "Test module": its Configure changes a setting
    host.AnswerMenu(-1);  // back to the dialog
    host.AnswerDialog(DialogScript().Close(kCancel));
    EXPECT_EQ(configure(0), 1);
    ASSERT_FALSE(host.menus.empty());
    EXPECT_EQ(host.menus.back().items, (std::vector<std::wstring>{L"Test module"}));
  };
  // No panel open: a panel that only loads the modules serves the menu, without a connection.
  configureTheModule();
  std::string log = Log(L"test.module");
  EXPECT_NE(log.find("#1 Configure\n#1 CloseModule"), std::string::npos) << log;
  EXPECT_EQ(device.ReadState(u"calls.log").find("CeRapiInitEx"), std::string::npos);
  // Two panels open: the change reloads the settings of both panels' instances.
  ASSERT_TRUE(Open(1));
  host.SwapPanels();
  ASSERT_TRUE(Open(1));
  configureTheModule();
  // (The library was unloaded with the load-only panel: its instances count from 1 again.)
  log = Log(L"test.module");
  EXPECT_NE(log.find("#1 Configure\n#1 ReloadModuleSettings\n#2 ReloadModuleSettings\n"), std::string::npos) << log;
  host.ClosePanel();
  host.SwapPanels();
  host.ClosePanel();
}

// Texts cross in the console's OEM code page: a Cyrillic device name and folder reach the panel
// and the module intact where the code page holds them (866), and as that page shows them where
// it does not (437: the folder's name cannot even be typed, so the panel stays at the top).
TEST_F(HandrelPlugin, CyrillicNamesCrossInTheConsoleCodePage) {
  device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Карманный\"\n");
  AddModule(L"test.module", "name Test\ndirs Папка\n");
  Load();
  ASSERT_TRUE(Open(1));
  bool cyrillic = GetOEMCP() == 866;
  EXPECT_TRUE(HasLine(L"PPC Name", cyrillic ? L"Карманный" : L"?????????"));
  EXPECT_EQ(Cd(L"Test:Папка"), true);
  EXPECT_EQ(Dir(), cyrillic ? L"Test:\\Папка" : L"Test:");
  if (cyrillic) {
    EXPECT_EQ(Title(), L"Test:Папка");
    EXPECT_FALSE(Cd(L"\\"));
    EXPECT_EQ(Current(), L"Test:");
    EXPECT_TRUE(Cd(L"Test:Папка"));
  }
  host.ClosePanel();
  EXPECT_EQ(GetSetting(cyrillic ? L"LastPath-Карманный" : L"LastPath-?????????"), L"Test:");
}

TEST_F(HandrelPlugin, CloseReleasesEverythingAndRemembersTheModule) {
  std::wstring module = AddModule(L"test.module", "name Test\ndirs A;A\\B\n");
  Load();
  ASSERT_TRUE(Open(1));
  ASSERT_TRUE(Cd(L"Test:A\\B"));
  host.ClosePanel();
  std::string log = Log(L"test.module");
  EXPECT_NE(log.find("#1 DeActivate\n#1 CloseModule"), std::string::npos) << log;
  EXPECT_EQ(GetModuleHandleW(module.c_str()), nullptr);  // the library is released
  EXPECT_EQ(GetSetting(L"LastPath-Pocket Test"), L"Test:");  // only the module prefix
  EXPECT_EQ(Count(device.ReadState(u"calls.log"), "CeRapiUninit"), 1u);
  // The next open of that device starts in that module, at its top.
  ASSERT_TRUE(Open(1));
  EXPECT_EQ(Dir(), L"Test:");
  host.ClosePanel();
}

int main(int argc, char** argv) {
  if (!handrel_test::ReadArgumentPaths(argc, argv, "handrel_plugin_tests",
                                       "Handrel.dll testmodule.module testmodule_bare.module",
                                       {&g_plugin, &g_module, &g_bare}))
    return 2;
  return RUN_ALL_TESTS();
}
