// The host stand-in's own promises: scripted answers that run out fail loudly instead of
// hanging, dialogs answer messages from another thread, language files are read as the host
// reads them, and the settings root is a throwaway key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>

#include "standins/kelhost/kelhost.h"

using namespace kelhost;

std::wstring g_probeW, g_probeA;  // the probe plugins, named on the command line

TEST(KelHost, MessageWithoutScriptedAnswerFailsInsteadOfWaiting) {
  Host host;
  HostStartupInfo si = host.StartupRecord(L"test", 0);
  const wchar_t* items[] = {L"Title", L"Line", L"OK"};
  EXPECT_EQ(si.HostMessage(0, 0, nullptr, items, 3, 1), -1);
  ASSERT_EQ(host.failures.size(), 1u);
  host.AnswerMessage(0);
  EXPECT_EQ(si.HostMessage(0, FMSG_WARNING, L"Topic", items, 3, 1), 0);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[1].lines, (std::vector<std::wstring>{L"Title", L"Line"}));
  EXPECT_EQ(host.messages[1].buttons, (std::vector<std::wstring>{L"OK"}));
  EXPECT_EQ(host.messages[1].helpTopic, L"Topic");
}

TEST(KelHost, AllInOneMessageSplitsItsLines) {
  Host host;
  HostStartupInfo si = host.StartupRecord(L"test", 0);
  host.AnswerMessage(0);
  si.HostMessage(0, FMSG_ALLINONE | FMSG_MB_OK, nullptr, reinterpret_cast<const wchar_t* const*>(L"\nDone: 3"), 0, 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"", L"Done: 3"}));
}

namespace {
struct WorkerState {
  HostStartupInfo si{};
  std::thread worker;
  intptr_t focusSeen = -2;
};
WorkerState* g_state = nullptr;

intptr_t KEL_API WorkerDialogProc(HANDLE dlg, int msg, int p1, void* p2) {
  if (msg == DN_INITDIALOG) {
    // A worker thread changes the dialog and reports back with a user message.
    g_state->worker = std::thread([dlg] {
      KelDialogItemData d{4, L"done"};
      g_state->si.HostSendDlgMessage(dlg, DM_SETTEXT, 1, &d);
      g_state->focusSeen = g_state->si.HostSendDlgMessage(dlg, DM_GETFOCUS, 0, nullptr);
      g_state->si.HostSendDlgMessage(dlg, DM_USER, 7, nullptr);
    });
    return TRUE;
  }
  if (msg == DM_USER && p1 == 7) {
    g_state->si.HostSendDlgMessage(dlg, DM_CLOSE, 2, nullptr);
    return TRUE;
  }
  return g_state->si.HostDefDlgProc(dlg, msg, p1, p2);
}
}  // namespace

TEST(KelHost, DialogServesAWorkerThreadAndClosesOnItsMessage) {
  Host host;
  WorkerState state;
  state.si = host.StartupRecord(L"test", 0);
  g_state = &state;
  KelDialogItem items[3] = {};
  items[0].Type = DI_DOUBLEBOX;
  items[0].Data = L"Work";
  items[1].Type = DI_TEXT;
  items[1].Data = L"busy";
  items[2].Type = DI_BUTTON;
  items[2].Data = L"Cancel";
  host.AnswerDialog(DialogScript().WaitUntil([](DialogView& v) { return v.Item(1).text == L"done"; }).Idle().Idle());
  int exit = state.si.HostDialog(0, nullptr, 0, 0, 30, 5, L"", items, 3, 0, WorkerDialogProc, nullptr);
  state.worker.join();
  EXPECT_EQ(exit, 2);
  EXPECT_EQ(state.focusSeen, 2);
  EXPECT_EQ(host.dialogs.back().itemsAtClose[1].text, L"done");
  g_state = nullptr;
}

TEST(KelHost, DialogScriptThatRunsOutClosesWithEscAndFails) {
  Host host;
  HostStartupInfo si = host.StartupRecord(L"test", 0);
  KelDialogItem items[2] = {};
  items[0].Type = DI_EDIT;
  items[0].Data = L"x";
  items[1].Type = DI_CHECKBOX;
  items[1].Data = L"Option";
  host.AnswerDialog(DialogScript().Click(1));
  EXPECT_EQ(si.HostDialog(0, nullptr, 0, 0, 30, 5, L"", items, 2, 0, nullptr, nullptr), -1);
  EXPECT_EQ(items[1].Param.Selected, 1);  // the check box state comes back to the caller
  EXPECT_FALSE(host.failures.empty());
}

TEST(KelHost, LanguageFileTextsAreNumberedFromZero) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  std::wstring path = std::wstring(dir) + L"kelhost_test.lng";
  {
    std::ofstream out(path.c_str(), std::ios::binary);
    out << "\xEF\xBB\xBF.Language=English,English\r\n// comment\r\n\"First\"\r\n\r\n\"Say \\\"hi\\\"\\nthen go\"\r\n\"\u0416\"\r\n";
  }
  auto texts = LoadLanguageFile(path);
  DeleteFileW(path.c_str());
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], L"First");
  EXPECT_EQ(texts[1], L"Say \"hi\"\nthen go");
  EXPECT_EQ(texts[2], L"\u0416");
}

TEST(KelHost, SettingsRootIsCreatedAndRemoved) {
  std::wstring root;
  {
    Host host;
    root = host.RootKey();
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, root.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  HKEY key;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, root.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST(KelHost, PanelListsARealFolderAndHandsOutSelectedItems) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring dir = std::wstring(tmp) + L"kelhost_panel_test";
  CreateDirectoryW(dir.c_str(), nullptr);
  for (const wchar_t* n : {L"b.txt", L"a.txt"}) {
    HANDLE f = CreateFileW((dir + L"\\" + n).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(f);
  }
  CreateDirectoryW((dir + L"\\sub").c_str(), nullptr);
  {
    Host host;
    HostStartupInfo si = host.StartupRecord(L"test", 0);
    host.ActivePanel().SetFolder(dir);
    host.ActivePanel().Select(L"b.txt");
    PanelInfoW info;
    ASSERT_TRUE(si.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELINFO, 0, &info));
    EXPECT_EQ(info.ItemsNumber, 3);
    EXPECT_EQ(info.SelectedItemsNumber, 1);
    int size = si.HostPanelControl(PANEL_ACTIVE, FCTL_GETSELECTEDPANELITEM, 0, nullptr);
    std::vector<char> block(static_cast<size_t>(size));
    si.HostPanelControl(PANEL_ACTIVE, FCTL_GETSELECTEDPANELITEM, 0, block.data());
    EXPECT_STREQ(reinterpret_cast<PluginPanelItemW*>(block.data())->FileName, L"b.txt");
    EXPECT_EQ(host.ActivePanel().Items()[0].name, L"sub");  // folders first
  }
  for (const wchar_t* n : {L"b.txt", L"a.txt"}) DeleteFileW((dir + L"\\" + n).c_str());
  RemoveDirectoryW((dir + L"\\sub").c_str());
  RemoveDirectoryW(dir.c_str());
}

// Scripted failures: the n-th matching call is refused with the host's failure answer, once
// or for a count, and is recorded; other commands of the same service go through.
TEST(KelHostFailures, ServiceRefusedOnItsNthMatchingCall) {
  Host host;
  HostStartupInfo si = host.StartupRecord(L"test", 0);
  host.FailCall("HostAdvControl", 2, 2, ACTL_GETKELRECT);
  SMALL_RECT rect{};
  EXPECT_EQ(si.HostAdvControl(0, ACTL_GETKELRECT, 0, &rect), 1);
  EXPECT_NE(si.HostAdvControl(0, ACTL_GETKELVERSION, 0, nullptr), 0);  // another command: not counted
  EXPECT_EQ(si.HostAdvControl(0, ACTL_GETKELRECT, 0, &rect), 0);
  EXPECT_EQ(si.HostAdvControl(0, ACTL_GETKELRECT, 0, &rect), 0);
  EXPECT_EQ(si.HostAdvControl(0, ACTL_GETKELRECT, 0, &rect), 1);
  EXPECT_EQ(host.refusals, (std::vector<std::wstring>{L"HostAdvControl 32", L"HostAdvControl 32"}));
  EXPECT_EQ(std::count(host.transcript.begin(), host.transcript.end(), L"[refused] HostAdvControl 32"), 2);

  host.FailCall("HostMessage");
  const wchar_t* items[] = {L"Title", L"Line", L"OK"};
  EXPECT_EQ(si.HostMessage(0, 0, nullptr, items, 3, 1), -1);
  EXPECT_TRUE(host.messages.empty());  // never shown
  host.FailCall("HostGetMsg", 1, -1);
  EXPECT_EQ(si.HostGetMsg(0, 0), nullptr);
  EXPECT_EQ(si.HostGetMsg(0, 1), nullptr);
  EXPECT_TRUE(host.failures.empty());
  host.FailCall("HostPanelControl", 1, 1, FCTL_GETPANELINFO);
  PanelInfoW info{};
  EXPECT_EQ(si.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELINFO, 0, &info), 0);
  EXPECT_EQ(si.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELINFO, 0, &info), 1);
  host.FailCall("NoSuchService");
  EXPECT_EQ(host.failures.size(), 1u);
}

namespace {
KelDialogItem Item(int type, const wchar_t* data) {
  KelDialogItem item{};
  item.Type = type;
  item.Data = data;
  return item;
}

struct SlowCloseState {
  HostStartupInfo si{};
  HANDLE dlg = nullptr;
  std::thread poster;
  HANDLE pumping = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // the host thread runs the script
  intptr_t posted = -2;
  bool posterDone = false;
};
SlowCloseState* g_slow = nullptr;

intptr_t KEL_API SlowCloseProc(HANDLE dlg, int msg, int p1, void* p2) {
  if (msg == DN_INITDIALOG) {
    g_slow->dlg = dlg;
    // Another thread asks the dialog to close; the host thread takes the request up at once, and
    // the dialog's own handling of it outlasts the poster's wait for an answer.
    g_slow->poster = std::thread([] {
      WaitForSingleObject(g_slow->pumping, 10000);
      g_slow->posted = g_slow->si.HostSendDlgMessage(g_slow->dlg, DM_CLOSE, 1, nullptr);
      g_slow->posterDone = true;
    });
    return TRUE;
  }
  if (msg == DN_CLOSE) {
    Sleep(1500);
    return TRUE;
  }
  return g_slow->si.HostDefDlgProc(dlg, msg, p1, p2);
}
}  // namespace

// A request that the host thread has taken up is waited for to its end: the poster gets the
// real answer, and the host never writes into the poster's frame after the poster has gone on.
TEST(KelHost, CrossThreadRequestTakenUpIsWaitedForBeyondTheTimeout) {
  Host host;
  host.crossThreadWaitMs = 500;
  SlowCloseState state;
  state.si = host.StartupRecord(L"test", 0);
  g_slow = &state;
  KelDialogItem items[] = {Item(DI_TEXT, L"busy"), Item(DI_BUTTON, L"OK")};
  // The poster is let go from inside the waiting step, so its request is taken up there and not
  // between two steps (where it would close the dialog before the script ended).
  host.AnswerDialog(DialogScript().WaitUntil([&](DialogView&) { SetEvent(state.pumping); return false; }, 5000));
  int exit = state.si.HostDialog(0, nullptr, 0, 0, 30, 5, L"", items, 2, 0, SlowCloseProc, nullptr);
  state.poster.join();
  CloseHandle(state.pumping);
  g_slow = nullptr;
  EXPECT_EQ(exit, 1);
  EXPECT_TRUE(state.posterDone);
  EXPECT_EQ(state.posted, 1);
  EXPECT_TRUE(host.failures.empty()) << Utf8(host.failures.empty() ? L"" : host.failures[0]);
}

namespace {
HostStartupInfo* g_busySi = nullptr;
intptr_t g_busyResult = -2;

intptr_t KEL_API BusyInitProc(HANDLE dlg, int msg, int p1, void* p2) {
  if (msg == DN_INITDIALOG) {
    // The host thread is busy here and takes nothing up while the other thread waits.
    std::thread t([dlg] { g_busyResult = g_busySi->HostSendDlgMessage(dlg, DM_GETFOCUS, 0, nullptr); });
    t.join();
    return TRUE;
  }
  return g_busySi->HostDefDlgProc(dlg, msg, p1, p2);
}
}  // namespace

// A request that nobody takes up within the wait is withdrawn and fails loudly.
TEST(KelHost, CrossThreadRequestNotTakenUpIsWithdrawn) {
  Host host;
  host.crossThreadWaitMs = 100;
  HostStartupInfo si = host.StartupRecord(L"test", 0);
  g_busySi = &si;
  KelDialogItem items[] = {Item(DI_BUTTON, L"OK")};
  host.AnswerDialog(DialogScript().Close(0));
  si.HostDialog(0, nullptr, 0, 0, 30, 5, L"", items, 1, 0, BusyInitProc, nullptr);
  g_busySi = nullptr;
  EXPECT_EQ(g_busyResult, 0);
  EXPECT_EQ(host.failures.size(), 1u);
}

// The 8-bit generation's texts stay where they were handed out, however many more are asked for,
// until the plugin is unloaded.
TEST(KelHost, EightBitTextsStayValidWhileMoreAreHandedOut) {
  Host host;
  Plugin* p = host.Load(g_probeA);
  ASSERT_NE(p, nullptr);
  auto text = [](int i) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "m%d", i);
    return std::string(buffer);
  };
  for (int i = 0; i < 64; ++i) p->messages.push_back(Wide(text(i)));
  const char* first = p->startupA.HostGetMsg(p->number, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "m0");
  std::vector<const char*> all;
  for (int i = 1; i < 64; ++i) all.push_back(p->startupA.HostGetMsg(p->number, i));
  // Reuse whatever the stand-in may have freed meanwhile.
  std::vector<std::string> churn;
  for (int i = 0; i < 256; ++i) churn.emplace_back(static_cast<size_t>(i % 24 + 1), 'Z');
  EXPECT_STREQ(first, "m0");
  for (int i = 1; i < 64; ++i) EXPECT_EQ(std::string(all[static_cast<size_t>(i - 1)]), text(i));
  EXPECT_EQ(p->startupA.HostGetMsg(p->number, 0), first);  // the same text, not a new copy
}

// Plugin panels of both generations: the listing, navigation, keys and closing.
namespace {

void CheckProbePanel(const std::wstring& path) {
  Host host;
  host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Utf8(what); };
  Plugin* p = host.Load(path);
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(host.OpenPanel(p, OPEN_PLUGINSMENU, 0));
  Panel& panel = host.ActivePanel();
  ASSERT_TRUE(panel.IsPlugin());
  EXPECT_EQ(panel.pluginTitle, L"Probe");
  ASSERT_EQ(panel.Items().size(), 3u);  // "..", sub, root.txt
  EXPECT_EQ(panel.Items()[0].name, L"..");
  EXPECT_EQ(panel.Items()[1].name, L"sub");
  EXPECT_EQ(panel.Items()[2].size, 12u);
  ASSERT_TRUE(host.PanelSetDirectory(L"sub"));
  EXPECT_EQ(panel.pluginDir, L"sub");
  ASSERT_EQ(panel.Items().size(), 2u);
  EXPECT_EQ(panel.Items()[1].name, L"inner.txt");
  EXPECT_FALSE(host.PanelSetDirectory(L"missing"));
  EXPECT_EQ(host.PanelKey('R', 1), 1);
  EXPECT_EQ(host.PanelKey('R', 0), 0);
  auto closed = reinterpret_cast<int(KEL_API*)()>(p->Entry("ProbeClosedCount"));
  ASSERT_NE(closed, nullptr);
  host.ClosePanel();
  EXPECT_FALSE(panel.IsPlugin());
  EXPECT_EQ(closed(), 1);
}
}  // namespace

TEST(KelHostPanels, UnicodePluginPanel) { CheckProbePanel(g_probeW); }

TEST(KelHostPanels, EightBitPluginPanelWithUnterminatedInfoLine) {
  CheckProbePanel(g_probeA);
  Host host;
  Plugin* p = host.Load(g_probeA);
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(host.OpenPanel(p, OPEN_PLUGINSMENU, 0));
  ASSERT_EQ(host.ActivePanel().infoLines.size(), 1u);
  EXPECT_EQ(host.ActivePanel().infoLines[0].first, L"Device");
  EXPECT_EQ(host.ActivePanel().infoLines[0].second, std::wstring(80, L'x'));
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    fprintf(stderr, "usage: kelhost_test PROBE-W.dll PROBE-A.dll\n");
    return 2;
  }
  g_probeW = Wide(argv[1]);
  g_probeA = Wide(argv[2]);
  return RUN_ALL_TESTS();
}
