// files.module's single-file actions through the device browser plugin in the host stand-in,
// against the emulated handheld: Enter on programs, shortcuts, cabinets and other files; F4 on a
// shortcut; Alt+F6 between two device panels; Ctrl+A, with the device-side library taking over
// when the device refuses. A small device program records how it was started.
#include <gtest/gtest.h>

#include <sstream>

#include "devicebrowser/common/framework/tests/module_wine_support.h"
#include "devicebrowser/common/module_api.h"
#include "devicebrowser/modules/files/core/shortcut.h"
#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"

using namespace kelhost;

namespace {

std::wstring g_plugin, g_module, g_program;

using Lines = std::vector<std::wstring>;

class FileActions : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Utf8(what); };
    device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket Lnk\"\n");
    device.WriteState(u"script", "record\n");
    ASSERT_TRUE(handrel_test::CreateSettingsKey(host.RootKey()));
    device.MakeFolder(L"\\Windows");
    device.MakeFolder(L"\\Docs");
    device.MakeFolder(L"\\Links");
    device.MakeFolder(L"\\Program Files");
    device.MakeFolder(L"\\Program Files\\A B");
    ASSERT_TRUE(CopyFileW(g_program.c_str(), device.Host(L"\\Program Files\\A B\\app.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(g_program.c_str(), device.Host(L"\\Windows\\wceload.exe").c_str(), FALSE));
    device.MakeFile(L"\\Docs\\a.txt", "text");
    device.MakeFile(L"\\Docs\\pkg.cab", "cab");
    p = host.Load(folder.path + L"\\Handrel.dll");
    ASSERT_NE(p, nullptr);
  }
  void TearDown() override {
    while (host.ActivePanel().IsPlugin()) host.ClosePanel();
    host.SwapPanels();
    while (host.ActivePanel().IsPlugin()) host.ClosePanel();
  }

  Panel& panel() { return host.ActivePanel(); }
  // Opens the device panel in the active panel on a folder of the files module (from its root:
  // the module comes back to the folder it was last left in).
  void Open(const std::wstring& dir) {
    ASSERT_TRUE(host.OpenPanel(p, 1, 0));
    ASSERT_TRUE(host.PanelSetDirectory(L"Files:"));
    host.RefreshPluginPanel(panel());
    for (int up = 0; up < 8 && panel().pluginDir != L"Files:"; ++up) host.PanelSetDirectory(L"..");
    ASSERT_EQ(panel().pluginDir, L"Files:");
    if (!dir.empty()) {
      ASSERT_TRUE(host.PanelSetDirectory(dir));
    }
    host.RefreshPluginPanel(panel());
  }
  void PutCursor(const std::wstring& name) {
    auto& items = panel().Items();
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].name == name) {
        panel().current = static_cast<int>(i);
        return;
      }
    ADD_FAILURE() << "no item " << Utf8(name);
  }
  bool Has(Panel& in, const std::wstring& name) {
    for (auto& it : in.Items())
      if (it.name == name) return true;
    return false;
  }
  void MakeShortcut(const std::wstring& path, const std::string& command) {
    ASSERT_TRUE(device.MakeFile(path, handrel::files::ShortcutFileText(command)));
  }
  std::string Content(const std::wstring& path) {
    std::string s;
    return device.ReadFile(path, s) ? s : "<missing>";
  }
  // The lines "started.log" gathers, waiting for `count` of them (programs run in processes of their own).
  std::vector<std::string> Started(size_t count, int waitMs = 5000) {
    std::vector<std::string> lines;
    for (int waited = 0;; waited += 50) {
      lines.clear();
      std::string log;
      device.ReadFile(L"\\started.log", log);
      std::istringstream in(log);
      for (std::string l; std::getline(in, l);) lines.push_back(l);
      if (lines.size() >= count || waited >= waitMs) break;
      Sleep(50);
    }
    return lines;
  }
  Lines LastMessage() { return host.messages.empty() ? Lines{} : host.messages.back().lines; }
  // The word the device reports for a file: the sidecar's entry, else archive plus read-only
  // from the host file.
  uint32_t DeviceAttributes(const std::wstring& path) {
    std::istringstream in(device.ReadState(u"attributes"));
    std::string suffix(1, ' ');
    suffix += Utf8(path);
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      if (l.size() > suffix.size() && l.compare(l.size() - suffix.size(), suffix.size(), suffix) == 0)
        return static_cast<uint32_t>(std::stoul(l.substr(0, l.size() - suffix.size()), nullptr, 16));
    }
    DWORD a = GetFileAttributesW(device.Host(path).c_str());
    return 0x20u | (a & FILE_ATTRIBUTE_READONLY);
  }

  rapiemu::EmulatedDevice device{L"files-lnk-device"};
  handrel_test::PluginFolder folder{g_plugin, L"files-lnk-", g_module, L"files.module"};
  Host host;
  Plugin* p = nullptr;
};

// The host path of the device program as the emulated device starts it, quoted, then the arguments.
std::string Launch(const rapiemu::EmulatedDevice& device, const std::wstring& program, const std::string& args) {
  std::string line(1, '"');
  line += Utf8(device.Host(program));
  line += '"';
  if (!args.empty()) line.append(" ").append(args);
  return line;
}

}  // namespace

TEST_F(FileActions, EnterStartsWhatAShortcutNamesAndRefusesBrokenShortcuts) {
  // A quoted path holding spaces, then an option: the program gets the option alone.
  MakeShortcut(L"\\Links\\app.lnk", "\"\\Program Files\\A B\\app.exe\" -opt 1?\\Windows\\app.exe,0");
  // Unquoted with spaces: the whole text when the device has such a file, else split at the first space.
  MakeShortcut(L"\\Links\\split.lnk", "\\Windows\\wceload.exe /quiet x");
  MakeShortcut(L"\\Links\\whole.lnk", "\\Program Files\\A B\\app.exe");
  MakeShortcut(L"\\Links\\spaces.lnk", "\\Program Files\\A B\\app.exe -opt");
  // Neither backslash nor space.
  MakeShortcut(L"\\Links\\bare.lnk", "app.exe");
  // Damaged: no "#", and a length the file does not hold.
  device.MakeFile(L"\\Links\\nohash.lnk", "\"\\Windows\\wceload.exe\"");
  device.MakeFile(L"\\Links\\short.lnk", "90#\"\\Windows\\wceload.exe\"");
  Open(L"Links");

  const std::pair<const wchar_t*, std::string> runs[] = {
      {L"app.lnk", Launch(device, L"\\Program Files\\A B\\app.exe", "-opt 1")},
      {L"split.lnk", Launch(device, L"\\Windows\\wceload.exe", "/quiet x")},
      {L"whole.lnk", Launch(device, L"\\Program Files\\A B\\app.exe", "")}};
  size_t n = 0;
  for (const auto& run : runs) {
    PutCursor(run.first);
    EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
    std::vector<std::string> started = Started(++n);
    ASSERT_EQ(started.size(), n) << Utf8(run.first) << device.ReadState(u"calls.log");
    EXPECT_EQ(started.back(), run.second);
  }
  EXPECT_TRUE(host.messages.empty());

  // "\Program" is no program: the device's error.
  host.AnswerMessage(0);
  PutCursor(L"spaces.lnk");
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
  EXPECT_EQ(LastMessage(), (Lines{L"Files", L"CreateProcess failed", L"with Errorcode = 0x00000002!"}));
  EXPECT_NE(device.ReadState(u"calls.log").find("CeCreateProcess \\Program Files\\A B\\app.exe -opt -> error 2"),
            std::string::npos);

  host.AnswerMessage(0);
  PutCursor(L"bare.lnk");
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
  EXPECT_EQ(LastMessage(), (Lines{L"Files", L"Not found: app.exe"}));

  host.AnswerMessage(0);
  PutCursor(L"nohash.lnk");
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
  EXPECT_EQ(LastMessage(),
            (Lines{L"Files", L"Invalid *.lnk file", L"The file does not begin with the length of the command."}));
  EXPECT_TRUE(host.messages.back().flags & FMSG_WARNING);

  host.AnswerMessage(0);
  PutCursor(L"short.lnk");
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
  EXPECT_EQ(LastMessage(),
            (Lines{L"Files", L"Invalid *.lnk file", L"The file ends before the 90 bytes of the command."}));
  // The device cannot open or read the shortcut.
  device.WriteState(u"script", "record\nfail CeCreateFile 1 error 32\nfail CeReadFile 1 error 21\n");
  PutCursor(L"app.lnk");
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
  EXPECT_EQ(LastMessage(), (Lines{L"Files", L"Invalid *.lnk file", L"Can't open lnk file.", L"LastError=0x00000020"}));
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
  EXPECT_EQ(LastMessage(), (Lines{L"Files", L"Invalid *.lnk file", L"Can't read lnk file."}));
  // The refused ones started nothing (a start is made before CeCreateProcess answers).
  EXPECT_EQ(Started(n + 1, 0).size(), n);
}

TEST_F(FileActions, EnterRunsProgramsOffersCabinetsAndLeavesTheCommandLineToTheHost) {
  Open(L"Docs");
  // With text on the host's command line Enter is the host's.
  host.commandLine = L"dir";
  PutCursor(L"pkg.cab");
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 0);
  EXPECT_TRUE(host.messages.empty());
  host.commandLine.clear();

  // A cabinet: asked, then installed on yes; nothing on cancel.
  host.AnswerMessage(1);
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines, (Lines{L"Files", L"pkg.cab", L" ", L"Do You want to install this cab?", L" "}));
  EXPECT_EQ(host.messages[0].buttons, (Lines{L"&Yes", L"&Cancel"}));
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
  std::vector<std::string> started = Started(1);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0], Launch(device, L"\\Windows\\wceload.exe", "\"\\Docs\\pkg.cab\""));

  // Other files.
  host.AnswerMessage(0);
  PutCursor(L"a.txt");
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
  EXPECT_EQ(LastMessage(), (Lines{L"Files", L"Associations not supported.", L"Yet. Sorry..."}));
  EXPECT_EQ(host.messages.back().buttons, (Lines{L"&OK"}));
  host.ClosePanel();

  // A program, with no arguments; a folder is entered by the host.
  Open(L"Program Files\\A B");
  PutCursor(L"app.exe");
  EXPECT_EQ(host.PanelKey(KEY_ENTER, 0), 1);
  started = Started(2);
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[1], Launch(device, L"\\Program Files\\A B\\app.exe", ""));
  EXPECT_EQ(host.messages.size(), 3u);
}

TEST_F(FileActions, F4EditsAShortcutsFieldsAndWritesThemBack) {
  MakeShortcut(L"\\Links\\app.lnk", "\"\\Program Files\\A B\\app.exe\" -opt?\\Windows\\app.dll,-2");
  device.MakeFile(L"\\Links\\broken.lnk", "12\"\\Windows\\x.exe\"");
  device.MakeFile(L"\\Links\\note.txt", "x");
  Open(L"Links");
  PutCursor(L"app.lnk");
  // Items: 2 path, 4 arguments, 6 icon, 8 "&Modify", 9 "&Edit", 10 "Cancel".
  host.AnswerDialog(DialogScript()
                        .Check([](DialogView& d) {
                          EXPECT_EQ(d.Item(0).text, L"Edit link");
                          EXPECT_EQ(d.Item(2).text, L"\\Program Files\\A B\\app.exe");
                          EXPECT_EQ(d.Item(4).text, L"-opt");
                          EXPECT_EQ(d.Item(6).text, L"\\Windows\\app.dll,-2");
                          EXPECT_EQ(d.Item(8).text, L"&Modify");
                          EXPECT_EQ(d.Item(9).text, L"&Edit");
                        })
                        .Type(2, L"\\Windows\\new app.exe")
                        .Type(4, L"-x \"a b\"")
                        .Click(8));
  EXPECT_EQ(host.PanelKey(VK_F4, 0), 1);
  ASSERT_FALSE(host.dialogs.empty());
  EXPECT_EQ(host.dialogs.back().helpTopic, L"Lnk_Edit");
  EXPECT_EQ(Content(L"\\Links\\app.lnk"), "51#\"\\Windows\\new app.exe\" -x \"a b\"?\\Windows\\app.dll,-2");

  // An empty path is refused and the fields come back; Cancel leaves the file as it was.
  host.AnswerDialog(DialogScript().Type(2, L"").Click(8));
  host.AnswerMessage(0);
  host.AnswerDialog(DialogScript().Check([](DialogView& d) { EXPECT_EQ(d.Item(2).text, L""); }).Click(10));
  EXPECT_EQ(host.PanelKey(VK_F4, 0), 1);
  EXPECT_EQ(LastMessage(), (Lines{L"Files", L"Path is empty!"}));
  EXPECT_EQ(Content(L"\\Links\\app.lnk"), "51#\"\\Windows\\new app.exe\" -x \"a b\"?\\Windows\\app.dll,-2");

  // The device's disk is full: the file is reported, the dialog's work is not claimed done.
  device.WriteState(u"script", "record\nfail CeWriteFile 1 error 112\n");
  host.AnswerDialog(DialogScript().Type(4, L"-y").Click(8));
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelKey(VK_F4, 0), 1);
  EXPECT_EQ(LastMessage(), (Lines{L"Files", L"Can't write to lnk file!"}));
  EXPECT_EQ(Content(L"\\Links\\app.lnk"), "51#\"\\Windows\\new app.exe\" -x \"a b\"?\\Windows\\app.dll,-2");
  EXPECT_EQ(Content(L"\\Links\\app.lnk.~0"), "<missing>");
  device.WriteState(u"script", "record\n");

  // "&Edit" hands the file to the host's editor.
  host.AnswerDialog(DialogScript().Click(9));
  EXPECT_EQ(host.PanelKey(VK_F4, 0), 0);

  // A shortcut that does not read is reported, titled "Error"; F4 on any other file is the host's.
  host.AnswerMessage(0);
  PutCursor(L"broken.lnk");
  EXPECT_EQ(host.PanelKey(VK_F4, 0), 1);
  EXPECT_EQ(LastMessage(), (Lines{L"Error", L"Invalid *.lnk file", L"No \"#\" after the length of the command."}));
  size_t dialogs = host.dialogs.size();
  PutCursor(L"note.txt");
  EXPECT_EQ(host.PanelKey(VK_F4, 0), 0);
  EXPECT_EQ(host.dialogs.size(), dialogs);
}

TEST_F(FileActions, AltF6LinksTheSelectedItemIntoTheOtherDevicePanel) {
  Open(L"Docs");
  PutCursor(L"a.txt");
  // No device panel on the other side: the key is the host's.
  EXPECT_EQ(host.PanelKey(VK_F6, 2), 0);

  host.SwapPanels();
  Open(L"Links");
  host.SwapPanels();
  PutCursor(L"a.txt");
  host.AnswerDialog(DialogScript()
                        .Check([](DialogView& d) {
                          EXPECT_EQ(d.Item(0).text, L"Create link");
                          EXPECT_EQ(d.Item(1).text, L"Create link:");
                          EXPECT_EQ(d.Item(2).text, L"\\Links\\a.lnk");
                          EXPECT_EQ(d.Item(4).text, L"&Link");
                        })
                        .Click(4));
  EXPECT_EQ(host.PanelKey(VK_F6, 2), 1);
  EXPECT_EQ(Content(L"\\Links\\a.lnk"), "13#\"\\Docs\\a.txt\"");
  EXPECT_TRUE(Has(host.PassivePanel(), L"a.lnk"));

  // The proposed name edited.
  PutCursor(L"pkg.cab");
  host.AnswerDialog(DialogScript().Type(2, L"\\Links\\install.lnk").Click(4));
  EXPECT_EQ(host.PanelKey(VK_F6, 2), 1);
  EXPECT_EQ(Content(L"\\Links\\install.lnk"), "15#\"\\Docs\\pkg.cab\"");

  // Two selected items: the host's.
  panel().Select(L"a.txt");
  panel().Select(L"pkg.cab");
  EXPECT_EQ(host.PanelKey(VK_F6, 2), 0);
}

TEST_F(FileActions, CtrlASetsTheChangedBoxesAndFallsBackToTheDeviceLibraryWhenRefused) {
  device.MakeFile(L"\\Docs\\b.txt", "b");
  Open(L"Docs");
  PutCursor(L"a.txt");
  // Items: 2 path, 4..8 boxes (read only, archive, hidden, system, compressed), then (no flag
  // texts for a plain file) 9 separator, 10 header, 11..19 the time rows, 20..22 "&Original",
  // "Curre&nt", "&Blank", 23 separator, 24 "Set", 25 "Cancel".
  host.AnswerDialog(DialogScript()
                        .Check([](DialogView& d) {
                          EXPECT_EQ(d.Item(0).text, L"Attributes");
                          EXPECT_EQ(d.Item(1).text, L"Set file attributes for");
                          EXPECT_EQ(d.Item(2).text, L"\\Docs\\a.txt");
                          EXPECT_EQ(d.Item(4).text, L"&Read only");
                          EXPECT_EQ(d.Item(4).selected, 0);
                          EXPECT_EQ(d.Item(5).selected, 1);
                          EXPECT_EQ(d.Item(10).text, L"DD.MM.YYYY HH:MM:SS.FFF");
                          EXPECT_EQ(d.Item(12).text.size(), 10u);
                          EXPECT_EQ(d.Item(12).text[2], L'.');
                          EXPECT_EQ(d.Item(24).text, L"Set");
                        })
                        .Click(4)
                        .Click(6)
                        .Click(22));  // "&Blank": the dialog again, the boxes as left
  host.AnswerDialog(DialogScript()
                        .Check([](DialogView& d) {
                          EXPECT_EQ(d.Item(4).selected, 1);
                          EXPECT_EQ(d.Item(6).selected, 1);
                          EXPECT_EQ(d.Item(12).text, L"  .  .    ");
                          EXPECT_EQ(d.Item(13).text, L"  :  :  .   ");
                        })
                        .Click(24));
  EXPECT_EQ(host.PanelKey('A', 1), 1);
  EXPECT_EQ(host.dialogs.back().helpTopic, L"Attributes");
  EXPECT_EQ(DeviceAttributes(L"\\Docs\\a.txt"), 0x20u | 0x1u | 0x2u);
  EXPECT_TRUE(host.messages.empty());

  // The device refuses (access denied): the device-side library sets the word instead.
  device.WriteState(u"script", "record\nfail CeSetFileAttributes 1+ error 5\n");
  PutCursor(L"b.txt");
  host.AnswerDialog(DialogScript().Click(7).Click(24));
  EXPECT_EQ(host.PanelKey('A', 1), 1);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(DeviceAttributes(L"\\Docs\\b.txt"), 0x20u | 0x4u);
  EXPECT_NE(device.ReadState(u"calls.log").find("-> error 5 (scripted)"), std::string::npos);

  // Refused there too (no library): the error, then the dialog again.
  device.ReleaseLibraries(L"\\Windows\\HandrelInvoke.dll");  // held by the emulator once invoked
  ASSERT_TRUE(DeleteFileW(device.Host(L"\\Windows\\HandrelInvoke.dll").c_str()));
  host.AnswerDialog(DialogScript().Click(6).Click(24));
  host.AnswerMessage(0);
  host.AnswerDialog(DialogScript().Click(25));
  EXPECT_EQ(host.PanelKey('A', 1), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  ASSERT_EQ(LastMessage().size(), 4u);
  EXPECT_EQ(LastMessage()[0], L"Error");
  EXPECT_EQ(LastMessage()[1], L"Can't change file attributes for:");
  EXPECT_EQ(LastMessage()[2], L"\\Docs\\b.txt");
  EXPECT_EQ(LastMessage()[3].substr(0, 6), L"Rapi: ");
  EXPECT_EQ(DeviceAttributes(L"\\Docs\\b.txt"), 0x20u | 0x4u);

  // Two selected items: the host's.
  panel().Select(L"a.txt");
  panel().Select(L"b.txt");
  EXPECT_EQ(host.PanelKey('A', 1), 0);
}

int main(int argc, char** argv) {
  if (!handrel_test::ReadArgumentPaths(argc, argv, "files_lnk_wine_tests", "Handrel.dll files.module device-program.exe",
                                       {&g_plugin, &g_module, &g_program}))
    return 2;
  return RUN_ALL_TESTS();
}
