// The 8-bit generation through the host stand-in, checked by an 8-bit probe plugin that records
// what the host hands it: its panel with user data going back out as copies, the very array
// going back to FreeFindData, "..", the file operations, an 8-bit dialog run by a script, and the
// panel services. The suite runs under two locales, so the OEM code page is 437 once and 866 once;
// the Cyrillic texts survive only in the second, and must cross the same way in both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <cstdio>

#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

std::wstring g_probe;

std::string Oem(const std::wstring& w) {
  char buf[1024] = {};
  WideCharToMultiByte(CP_OEMCP, 0, w.c_str(), -1, buf, sizeof(buf), nullptr, nullptr);
  return buf;
}
// What the user sees of a text that crossed in the OEM code page.
std::wstring Seen(const std::wstring& w) {
  wchar_t buf[1024] = {};
  MultiByteToWideChar(CP_OEMCP, 0, Oem(w).c_str(), -1, buf, 1024);
  return buf;
}

std::string ProbeLog(Plugin* p) {
  auto f = reinterpret_cast<const char*(KEL_API*)()>(p->Entry("ProbeLog"));
  return f ? f() : std::string("(no log)");
}

// The panel's names in order of their texts: the probe lists in order of its OEM bytes, which
// differs between the two code pages.
std::vector<std::wstring> Names(Panel& panel) {
  std::vector<std::wstring> out;
  for (auto& it : panel.Items()) out.push_back(it.name);
  std::sort(out.begin(), out.end());
  return out;
}
std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
  std::sort(v.begin(), v.end());
  return v;
}

void SetCurrent(Panel& panel, const std::wstring& name) {
  for (size_t i = 0; i < panel.Items().size(); ++i)
    if (panel.Items()[i].name == name) panel.current = static_cast<int>(i);
}

std::wstring CurrentName(Panel& panel) { return panel.Items().at(static_cast<size_t>(panel.current)).name; }

// A fresh folder under the temporary folder, removed with its files at the end.
struct TempFolder {
  std::wstring path;
  TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path = std::wstring(base) + L"kelhost8_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path.c_str(), nullptr);
  }
  ~TempFolder() {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do DeleteFileW((path + L"\\" + fd.cFileName).c_str());
      while (FindNextFileW(h, &fd));
      FindClose(h);
    }
    RemoveDirectoryW(path.c_str());
  }
  void Put(const std::wstring& name) {
    HANDLE f = CreateFileW((path + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, "local", 5, &written, nullptr);
    CloseHandle(f);
  }
};

class Probe8 : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Utf8(what); };
    p = host.Load(g_probe);
    ASSERT_NE(p, nullptr);
    host.PassivePanel().SetFolder(temp.path);
    ASSERT_TRUE(host.OpenPanel(p, 0, 0));
  }
  TempFolder temp;
  Host host;
  Plugin* p = nullptr;
};

}  // namespace

TEST_F(Probe8, ListingGoesDownAndBackWithUserDataAndTheSameArrays) {
  Panel& panel = host.ActivePanel();
  EXPECT_EQ(Names(panel), Sorted({L"..", L"mod", L"root.txt", L"sub", Seen(L"Папка")}));
  EXPECT_EQ(panel.pluginTitle, L"Probe8:");
  SetCurrent(panel, Seen(L"Папка"));
  ASSERT_TRUE(host.PanelEnter());
  EXPECT_EQ(Names(panel), Sorted({L"..", Seen(L"Отчёт.txt")}));
  EXPECT_EQ(panel.pluginDir, Seen(L"Папка"));
  // ".." goes back up and the cursor rests on the folder it came from.
  panel.current = 0;
  ASSERT_TRUE(host.PanelEnter());
  EXPECT_EQ(panel.pluginDir, L"");
  EXPECT_EQ(CurrentName(panel), Seen(L"Папка"));
  // ".." from "mod" is refused after the plugin went back to the root and put the cursor on
  // "mod" itself (update and redraw): the host shows the root and leaves the cursor there.
  SetCurrent(panel, L"mod");
  ASSERT_TRUE(host.PanelEnter());
  EXPECT_EQ(Names(panel), Sorted({L"..", L"m.txt"}));
  panel.current = 0;
  EXPECT_FALSE(host.PanelEnter());
  EXPECT_EQ(panel.pluginDir, L"");
  EXPECT_EQ(CurrentName(panel), L"mod");
  // A file is not entered; ".." at the root is refused by the plugin and changes nothing.
  SetCurrent(panel, L"root.txt");
  EXPECT_FALSE(host.PanelEnter());
  panel.current = 0;
  EXPECT_FALSE(host.PanelEnter());
  host.ClosePanel();
  std::string log = ProbeLog(p);
  EXPECT_NE(log.find("SetDirectory " + Oem(L"Папка") + "\nSetDirectory ..\nSetDirectory mod\nSetDirectory ..\nSetDirectory ..\nclose"), std::string::npos) << log;
  EXPECT_EQ(log.find("did not hand out"), std::string::npos) << log;
  EXPECT_NE(log.find("close, arrays outstanding=0"), std::string::npos) << log;
}

TEST_F(Probe8, FileOperationsHandTheItemsBackWithCopiesOfTheirUserData) {
  Panel& panel = host.ActivePanel();
  // F5 of two selected items into the folder panel: the file arrives, the selection is cleared.
  panel.Select(L"root.txt");
  panel.Select(L"sub");
  std::wstring dest;
  EXPECT_EQ(host.PanelGetFiles(false, 0, &dest), 1);
  EXPECT_EQ(dest, temp.path);
  EXPECT_EQ(Names(host.PassivePanel()), Sorted({L"root.txt"}));
  EXPECT_TRUE(panel.SelectedNames().empty());
  // F5 from the folder panel into the plugin's panel: names relative to the folder, no user data.
  temp.Put(L"local.txt");
  host.SwapPanels();
  host.ActivePanel().Reread(false);
  host.ActivePanel().Select(L"local.txt");
  EXPECT_EQ(host.PanelPutFiles(false), 1);
  host.SwapPanels();
  EXPECT_EQ(Names(panel), Sorted({L"..", L"local.txt", L"mod", L"root.txt", L"sub", Seen(L"Папка")}));
  // F8 on the current item; F7 with a name the plugin rewrites; F6 moves a file away.
  SetCurrent(panel, L"local.txt");
  EXPECT_EQ(host.PanelDeleteFiles(), 1);
  std::wstring name = L"New folder. ";
  EXPECT_EQ(host.PanelMakeDirectory(name), 1);
  EXPECT_EQ(name, L"New folder");
  EXPECT_EQ(CurrentName(panel), L"New folder");
  SetCurrent(panel, L"root.txt");
  EXPECT_EQ(host.PanelGetFiles(true), 1);
  EXPECT_EQ(Names(panel), Sorted({L"..", L"New folder", L"mod", L"sub", Seen(L"Папка")}));
  std::string log = ProbeLog(p);
  for (const char* line : {"GetFiles root.txt,sub move=0 userdata=copied\n",
                           "PutFiles local.txt move=0 on disk=y userdata=none\n",
                           "DeleteFiles local.txt userdata=copied\n",
                           "MakeDirectory \"New folder. \" -> \"New folder\"\n",
                           "GetFiles root.txt move=1 userdata=copied\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
  EXPECT_EQ(log.find("did not hand out"), std::string::npos) << log;
}

TEST_F(Probe8, DialogOfEightBitItemsRunsByScriptAndWritesBackItsResults) {
  SetCurrent(host.ActivePanel(), L"sub");
  host.AnswerDialog(DialogScript()
                        .Check([](DialogView& d) {
                          EXPECT_EQ(d.Item(0).text, Seen(L"Переименовать"));
                          EXPECT_EQ(d.Item(2).text, L"sub");
                          EXPECT_EQ(d.Focus(), 2);
                          ASSERT_EQ(d.Item(4).list.size(), 3u);
                          EXPECT_EQ(d.Item(4).list[2], Seen(L"Три"));
                        })
                        .Type(2, L"")
                        .Key(KEY_ENTER)  // refused by the plugin: the name is empty
                        .Type(2, L"Имя")
                        .Click(5)        // "Fill" puts a text of its own into the edit
                        .Check([](DialogView& d) { EXPECT_EQ(d.Item(2).text, Seen(L"Новое имя")); })
                        .Click(3)
                        .Select(4, 0)
                        .Key(KEY_ENTER));
  EXPECT_EQ(host.PanelKey(VK_F4, 0), 1);
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0].exitCode, 6);
  std::string log = ProbeLog(p);
  std::string text = Oem(L"Новое имя");
  for (const std::string& line :
       {std::string("dialog init param=77\n"), std::string("close refused: empty name\n"),
        "edit change: " + Oem(L"Имя") + "\n",
        "close: text=" + text + " length=" + std::to_string(text.size()) + " first5=" + text.substr(0, 5) +
            " check=Keep case:0 list1=" + Oem(L"Два") + "\n",
        "dialog exit=6 text=" + text + " keep=0 combo=One pos=0\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
  // Esc: the caller's items keep what the dialog showed, and the exit is -1.
  host.AnswerDialog(DialogScript().Key(KEY_ESC));
  host.PanelKey(VK_F4, 0);
  EXPECT_NE(ProbeLog(p).find("dialog exit=-1 text=sub keep=1 combo= pos=1\n"), std::string::npos)
      << ProbeLog(p);
}

// Two panels of the plugin, each with its own directory: items put from one into the other come
// with the user data of the panel that listed them.
TEST_F(Probe8, PutFilesFromAnotherPanelOfThePluginCarriesItsUserData) {
  host.SwapPanels();
  ASSERT_TRUE(host.OpenPanel(p, 0, 0));
  Panel& source = host.ActivePanel();
  source.Select(L"root.txt");
  source.Select(L"mod");
  EXPECT_EQ(host.PanelPutFiles(false), 1);
  EXPECT_NE(ProbeLog(p).find("PutFiles mod,root.txt move=0 on disk=nn userdata=copied\n"), std::string::npos)
      << ProbeLog(p);
  // The other panel keeps its own directory while this one moves.
  SetCurrent(source, L"sub");
  ASSERT_TRUE(host.PanelEnter());
  host.SwapPanels();
  host.RefreshPluginPanel(host.ActivePanel());
  EXPECT_EQ(host.ActivePanel().pluginDir, L"");
  host.ClosePanel();
  host.SwapPanels();
  EXPECT_EQ(host.ActivePanel().pluginDir, L"sub");
  host.ClosePanel();
  EXPECT_NE(ProbeLog(p).find("close, arrays outstanding=0\nclose, arrays outstanding=0\n"), std::string::npos)
      << ProbeLog(p);
}

TEST_F(Probe8, PanelServicesOfBothPanels) {
  temp.Put(L"a.txt");
  temp.Put(L"b.txt");
  host.PassivePanel().Reread(false);
  host.PassivePanel().Select(L"b.txt");
  Panel& panel = host.ActivePanel();
  SetCurrent(panel, L"root.txt");
  int current = panel.current;
  std::wstring last = panel.Items().back().name;
  EXPECT_EQ(host.PanelKey('I', 1), 1);
  std::string log = ProbeLog(p);
  for (const std::string& line :
       {"this: plugin=1 items=5 current=" + std::to_string(current) +
            " focus=1 view=2 sort=2 dir= selected=root.txt userdata=copied\n",
        "other: plugin=0 items=2 current=0 focus=0 view=2 sort=2 dir=" + Oem(temp.path) + " selected=b.txt\n",
        "command line: ppc:" + Oem(L"Папка") + "\n",
        "after: view=3 sort=4 reverse=1 current=" + std::to_string(panel.Items().size() - 1) +
            " top=1 selected=" + Oem(last) + "\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
  EXPECT_EQ(host.commandLine, L"ppc:" + Seen(L"Папка"));
  EXPECT_EQ(panel.viewMode, 3);
  EXPECT_EQ(panel.SelectedNames(), (std::vector<std::wstring>{last}));
  EXPECT_EQ(CurrentName(panel), last);
}

TEST_F(Probe8, UnknownPanelCommandAndRefusedServiceAnswerZero) {
  std::vector<std::wstring> failures;
  host.onFailure = [&](const std::wstring& what) { failures.push_back(what); };
  HostStartupInfoA& si = p->startupA;
  EXPECT_EQ(si.HostPanelControl(PANEL_ACTIVE, FCTL_GETCOLUMNTYPES, nullptr), 0);
  EXPECT_EQ(failures.size(), 1u);
  host.FailCall("HostPanelControl", 1, 1, FCTL_GETPANELINFO);
  PanelInfoA info{};
  EXPECT_EQ(si.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELINFO, &info), 0);
  EXPECT_EQ(si.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELINFO, &info), 1);
  EXPECT_EQ(info.ItemsNumber, 5);
}

namespace {
// A worker thread of an 8-bit plugin changes a running dialog's text, reads it back and closes it.
struct Worker {
  HostStartupInfoA si{};
  std::thread thread;
  std::string text, readBack;
  intptr_t length = -1;
};
Worker* g_worker = nullptr;

intptr_t KEL_API WorkerProc(HANDLE dlg, int msg, int p1, intptr_t p2) {
  if (msg == DN_INITDIALOG) {
    g_worker->thread = std::thread([dlg] {
      Worker& w = *g_worker;
      w.si.HostSendDlgMessage(dlg, DM_SETTEXTPTR, 1, reinterpret_cast<intptr_t>(w.text.c_str()));
      char buf[64] = {};
      KelDialogItemDataA d{static_cast<int>(sizeof(buf) - 1), buf};
      w.length = w.si.HostSendDlgMessage(dlg, DM_GETTEXT, 1, reinterpret_cast<intptr_t>(&d));
      w.readBack = buf;
      w.si.HostSendDlgMessage(dlg, DM_CLOSE, 2, 0);
    });
    return TRUE;
  }
  return g_worker->si.HostDefDlgProc(dlg, msg, p1, p2);
}
}  // namespace

TEST_F(Probe8, EightBitDialogServesAWorkerThread) {
  Worker w;
  w.si = p->startupA;
  w.text = Oem(L"Готово");
  g_worker = &w;
  KelDialogItemA items[3] = {};
  items[0].Type = DI_DOUBLEBOX;
  std::strcpy(items[0].Data, "Work");
  items[1].Type = DI_TEXT;
  std::strcpy(items[1].Data, "busy");
  items[2].Type = DI_BUTTON;
  std::strcpy(items[2].Data, "Cancel");
  host.AnswerDialog(DialogScript().WaitUntil([](DialogView&) { return false; }, 30000));
  int exit = w.si.HostDialog(w.si.ModuleNumber, -1, -1, 30, 5, nullptr, items, 3, 0, 0, WorkerProc, 0);
  w.thread.join();
  g_worker = nullptr;
  EXPECT_EQ(exit, 2);
  EXPECT_EQ(w.readBack, w.text);
  EXPECT_EQ(w.length, static_cast<intptr_t>(w.text.size()));
  EXPECT_EQ(std::string(items[1].Data), w.text);  // the final text comes back into the caller's item
  EXPECT_EQ(host.dialogs.back().itemsAtClose[1].text, Seen(L"Готово"));
}

namespace {
std::vector<uint32_t> g_keys;
const HostStartupInfoA* g_keysHost = nullptr;
intptr_t KEL_API KeyProc(HANDLE dlg, int msg, int p1, intptr_t p2) {
  if (msg == DN_KEY) {
    g_keys.push_back(static_cast<uint32_t>(p2));
    if (static_cast<uint32_t>(p2) != KEY_ESC) return TRUE;
  }
  return g_keysHost->HostDefDlgProc(dlg, msg, p1, p2);
}
}  // namespace

TEST_F(Probe8, EightBitDialogsGetKeysInTheirOwnCodes) {
  g_keys.clear();
  g_keysHost = &p->startupA;
  KelDialogItemA items[2] = {};
  items[0].Type = DI_DOUBLEBOX;
  items[1].Type = DI_BUTTON;
  std::strcpy(items[1].Data, "OK");
  host.AnswerDialog(DialogScript()
                        .Key(KEY_F1)
                        .Key(KEY_CTRL | KEY_SHIFT | KEY_LEFT)
                        .Key(KEY_RALT | KEY_NUMENTER)
                        .Key(KEY_FKEYBASE + 0x5D)
                        .Key('a' | KEY_SHIFT)
                        .Key(L'\u0436')
                        .Key(L'\u4E2D')
                        .Key(KEY_ESC));
  EXPECT_EQ(p->startupA.HostDialog(p->startupA.ModuleNumber, -1, -1, 20, 4, nullptr, items, 2, 0, 0, KeyProc, 0), -1);
  // The Cyrillic letter has a byte only in code page 866; the CJK one in neither.
  uint32_t zhe = GetOEMCP() == 866 ? 0xA6u : 0x436u;
  EXPECT_EQ(g_keys, (std::vector<uint32_t>{0x170, KEY_CTRL | KEY_SHIFT | 0x125, KEY_RALT | 0x10D, 0x15D,
                                           'a' | KEY_SHIFT, zhe, 0x4E2D, KEY_ESC}));
  EXPECT_EQ(DialogKeyA(KEY_ALT | (KEY_FKEYBASE + 0x7B)), KEY_ALT | 0x17Bu);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: kelhost8_test PROBE8\n");
    return 2;
  }
  g_probe = Wide(argv[1]);
  // The locale the suite was started for must really be in force.
  if (const char* cp = std::getenv("KEL_OEMCP")) {
    if (GetOEMCP() != static_cast<UINT>(std::atoi(cp))) {
      std::fprintf(stderr, "OEM code page %u, expected %s\n", GetOEMCP(), cp);
      return 1;
    }
  }
  return RUN_ALL_TESTS();
}
