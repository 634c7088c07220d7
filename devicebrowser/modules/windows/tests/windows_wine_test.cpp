// windows.module in the device browser plugin, in the host stand-in, against the emulated handheld
// on its 240 x 320 x 16 screen, whose desktop (handheld_desktop.exe) holds real windows: the panel
// lists exactly the visible titled windows with their handles and classes; Enter brings one to the
// front; F8 asks and then brings the device's desktop forward; F5 copies nothing; the view and sort
// modes on entering and leaving; the trace log only when the debug settings name one; a lost
// connection is made again once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <thread>

#include "devicebrowser/common/framework/tests/module_wine_support.h"
#include "devicebrowser/common/module_api.h"
#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"
#include "standins/rapi/win/device_folder.h"

using namespace kelhost;

namespace {

std::wstring g_plugin, g_module, g_desktop;

std::wstring TempPath(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static int n = 0;
  return std::wstring(temp) + name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++n);
}

std::string ReadWhole(const std::wstring& path) {
  std::string out;
  rapiemu::ReadWholeFile(path, out);
  return out;
}

void WriteWhole(const std::wstring& path, const std::string& text) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (f == INVALID_HANDLE_VALUE) return;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

// Requests in the device's call record, by their size: "GetWindows" with its terminator and two
// zero bytes; "WindowAction;" + "Close;0x%08x" and two zero bytes.
const char* const kListRequest = "FnBlockMode 24 ";
const char* const kCloseRequest = "FnBlockMode 60 ";

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Hex(HWND h) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(h)));
  return text;
}

// The device's desktop: the windows handheld_desktop.exe made, as its control file lists them.
struct DesktopWindow {
  HWND hwnd;
  bool visible;
  std::string cls, title;  // UTF-8
};

class HandheldDesktop {
 public:
  HandheldDesktop() {
    control_ = TempPath(L"handheld-desktop") + L".txt";
    std::wstring command =
        L"\"" + g_desktop + L"\" \"" + control_ + L"\" " + std::to_wstring(GetCurrentProcessId());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(g_desktop.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) return;
    for (int i = 0; i < 200 && windows.empty(); ++i) {
      std::istringstream in(ReadWhole(control_));
      std::string line;
      while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string hwnd, visible, cls, title;
        std::getline(fields, hwnd, '\t');
        std::getline(fields, visible, '\t');
        std::getline(fields, cls, '\t');
        std::getline(fields, title);
        windows.push_back({reinterpret_cast<HWND>(std::stoul(hwnd, nullptr, 16)), visible == "1", cls, title});
      }
      if (windows.empty()) Sleep(50);
    }
  }
  ~HandheldDesktop() {
    DeleteFileW(control_.c_str());
    if (pi_.hProcess) {
      if (WaitForSingleObject(pi_.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(pi_.hProcess, 1);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
  }
  HWND Find(const std::string& title) const {
    for (auto& w : windows)
      if (w.title == title) return w.hwnd;
    return nullptr;
  }
  std::vector<DesktopWindow> windows;

 private:
  std::wstring control_;
  PROCESS_INFORMATION pi_{};
};

HandheldDesktop* g_desktopWindows = nullptr;

// Every file below a folder, with its size.
void ListTree(const std::wstring& folder, std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListTree(folder + L"\\" + name, out);
    else out.push_back(folder + L"\\" + name + L" " + std::to_wstring(fd.nFileSizeLow));
  } while (FindNextFileW(f, &fd));
  FindClose(f);
}

// What the panel must show: every top-level window of the screen that is visible and titled, in
// the device's walk order, as (handle, class).
std::vector<std::pair<std::string, std::string>> VisibleTitledWindows() {
  std::vector<std::pair<std::string, std::string>> out;
  for (HWND h = GetWindow(GetDesktopWindow(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
    if (!(GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) || GetWindowTextLengthW(h) == 0) continue;
    char cls[261] = {};
    GetClassNameA(h, cls, sizeof cls);
    out.emplace_back(Hex(h), cls);
  }
  return out;
}

class WindowsModule : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(g_desktopWindows, nullptr);
    ASSERT_EQ(g_desktopWindows->windows.size(), 6u) << "the handheld's desktop did not start";
    host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Utf8(what); };
    device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket Windows\"\n");
    ASSERT_TRUE(handrel_test::CreateSettingsKey(host.RootKey()));
    device.MakeFolder(L"\\Windows");
    p = host.Load(folder.path + L"\\Handrel.dll");
    ASSERT_NE(p, nullptr);
  }
  Panel& panel() { return host.ActivePanel(); }
  // Opens the device panel and enters the windows module.
  void Enter() {
    ASSERT_TRUE(host.OpenPanel(p, 1, 0));
    ASSERT_TRUE(host.PanelSetDirectory(L"Windows:"));
    host.RefreshPluginPanel(panel());
    ASSERT_EQ(panel().pluginDir, L"Windows:");
  }
  int IndexOf(const std::wstring& name) {
    for (size_t i = 0; i < panel().Items().size(); ++i)
      if (panel().Items()[i].name == name) return static_cast<int>(i);
    return -1;
  }
  const PanelItem* Item(const std::wstring& name) {
    int i = IndexOf(name);
    return i < 0 ? nullptr : &panel().Items()[static_cast<size_t>(i)];
  }
  std::vector<std::pair<std::string, std::string>> Shown() {
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& it : panel().Items()) {
      if (it.name == L"..") continue;
      EXPECT_EQ(it.columns.size(), 2u) << Utf8(it.name);
      if (it.columns.size() == 2) out.emplace_back(it.columns[0], it.columns[1]);
    }
    return out;
  }

  rapiemu::EmulatedDevice device{L"handrel-windows-device"};
  handrel_test::PluginFolder folder{g_plugin, L"handrel-windows-", g_module, L"windows.module"};
  Host host;
  Plugin* p = nullptr;
  const HandheldDesktop& desk = *g_desktopWindows;
};

}  // namespace

TEST_F(WindowsModule, ThePanelListsExactlyTheVisibleTitledWindowsWithHandleAndClass) {
  panel().viewMode = 3;
  panel().sortMode = 4;
  panel().sortReverse = true;
  Enter();
  // Entering: view mode 0, unsorted, the normal order.
  EXPECT_EQ(panel().viewMode, 0);
  EXPECT_EQ(panel().sortMode, 1);
  EXPECT_FALSE(panel().sortReverse);

  std::vector<std::pair<std::string, std::string>> shown = Shown(), expected = VisibleTitledWindows();
  EXPECT_EQ(shown, expected);
  for (const char* title : {"Desktop", "Inbox", "Calendar"}) {
    const PanelItem* it = Item(Wide(title));
    ASSERT_NE(it, nullptr) << title;
    EXPECT_EQ(it->attributes, 0x80u) << title;
    ASSERT_EQ(it->columns.size(), 2u);
    EXPECT_EQ(it->columns[0], Hex(desk.Find(title))) << title;
  }
  EXPECT_EQ(Item(L"Desktop")->columns[1], "DesktopExplorerWindow");
  EXPECT_EQ(Item(L"Inbox")->columns[1], "HandheldInbox");
  // A title outside ASCII reaches the panel in the OEM code page (437 has the accented letter).
  ASSERT_NE(Item(L"Caf\u00e9 menu"), nullptr);
  EXPECT_EQ(Item(L"Caf\u00e9 menu")->columns[1], "HandheldNotes");
  // The hidden window and the untitled one are not there.
  EXPECT_EQ(Item(L"Hidden tasks"), nullptr);
  for (auto& s : shown) {
    EXPECT_NE(s.second, "HandheldHidden");
    EXPECT_NE(s.second, "HandheldUntitled");
  }
  EXPECT_TRUE(host.messages.empty());

  // Leaving: the former view mode (3, as the panel had it when opened), by name, the normal order.
  panel().sortReverse = true;
  host.PanelSetDirectory(L"..");  // the plugin leaves the module and answers 0 for the host to re-read
  host.RefreshPluginPanel(panel());
  EXPECT_EQ(panel().pluginDir, L"");
  EXPECT_EQ(panel().viewMode, 3);
  EXPECT_EQ(panel().sortMode, 2);
  EXPECT_FALSE(panel().sortReverse);
  host.ClosePanel();
}

TEST_F(WindowsModule, EnterBringsTheWindowUnderTheCursorToTheFront) {
  Enter();
  HWND calendar = desk.Find("Calendar"), inbox = desk.Find("Inbox");
  panel().current = IndexOf(L"Calendar");
  ASSERT_GT(panel().current, 0);
  int updates = panel().updates;
  EXPECT_EQ(host.PanelKey(VK_RETURN, 0), 0);
  EXPECT_EQ(GetForegroundWindow(), calendar);
  EXPECT_EQ(panel().updates, updates + 1);
  panel().current = IndexOf(L"Inbox");
  EXPECT_EQ(host.PanelKey(VK_RETURN, 0), 0);
  EXPECT_EQ(GetForegroundWindow(), inbox);

  // Not on "..", not with a modifier.
  panel().current = IndexOf(L"Calendar");
  EXPECT_EQ(host.PanelKey(VK_RETURN, 2), 0);  // with Alt
  EXPECT_EQ(GetForegroundWindow(), inbox);
  panel().current = 0;
  ASSERT_EQ(panel().Items()[0].name, L"..");
  EXPECT_EQ(host.PanelKey(VK_RETURN, 0), 0);
  EXPECT_EQ(GetForegroundWindow(), inbox);
  EXPECT_TRUE(host.messages.empty());

  // A window that went away after the listing: the device's explanation in the message.
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"WindowsTestShortLived";
  RegisterClassW(&wc);
  HWND brief = CreateWindowExW(0, wc.lpszClassName, L"Short-lived", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                               nullptr, wc.hInstance, nullptr);
  ASSERT_NE(brief, nullptr);
  host.RefreshPluginPanel(panel());
  panel().current = IndexOf(L"Short-lived");
  ASSERT_GT(panel().current, 0);
  DestroyWindow(brief);
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelKey(VK_RETURN, 0), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  const MessageCall& m = host.messages[0];
  ASSERT_EQ(m.lines.size(), 4u);
  EXPECT_EQ(m.lines[0], L"Windows");
  EXPECT_EQ(m.lines[1], L"Can't activate window");
  EXPECT_EQ(m.lines[2].substr(0, 28), L"Rapi=0x00000000, LastError=0");
  EXPECT_EQ(m.lines[3].substr(0, 32), L"Can't activate window " + Wide(Hex(brief)));
  EXPECT_EQ(m.buttons, std::vector<std::wstring>{L"OK"});
  host.ClosePanel();
}

TEST_F(WindowsModule, F8AsksFirstThenBringsTheDesktopForwardAndClosesNothing) {
  Enter();
  HWND inbox = desk.Find("Inbox"), calendar = desk.Find("Calendar"), desktop = desk.Find("Desktop");
  panel().current = IndexOf(L"Inbox");
  host.PanelKey(VK_RETURN, 0);
  ASSERT_EQ(GetForegroundWindow(), inbox);
  panel().Select(L"Inbox");
  panel().Select(L"Calendar");

  // Cancel: nothing is sent.
  device.WriteState(u"script", "record\n");
  host.AnswerMessage(1);
  EXPECT_EQ(host.PanelDeleteFiles(), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"Windows", L"Minimize selected windows?"}));
  EXPECT_EQ(host.messages[0].buttons, (std::vector<std::wstring>{L"Minimize", L"Cancel"}));
  EXPECT_EQ(host.messages[0].flags & FMSG_WARNING, 0u);
  EXPECT_EQ(GetForegroundWindow(), inbox);
  // Only the re-reading of the panel: no action request.
  EXPECT_EQ(Count(device.ReadState(u"calls.log"), kCloseRequest), 0);
  EXPECT_EQ(Count(device.ReadState(u"calls.log"), kListRequest), 1);

  // Asked even when the operation is silent; Minimize: the desktop comes forward, both windows stay.
  panel().Select(L"Inbox");
  panel().Select(L"Calendar");
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelDeleteFiles(1), 1);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[1].lines[1], L"Minimize selected windows?");
  EXPECT_EQ(GetForegroundWindow(), desktop);
  EXPECT_TRUE(IsWindow(inbox));
  EXPECT_TRUE(IsWindow(calendar));
  // One request for each selected window, then the re-reading.
  EXPECT_EQ(Count(device.ReadState(u"calls.log"), kCloseRequest), 2) << device.ReadState(u"calls.log");
  EXPECT_EQ(Count(device.ReadState(u"calls.log"), kListRequest), 2);
  EXPECT_NE(IndexOf(L"Inbox"), -1);
  EXPECT_NE(IndexOf(L"Calendar"), -1);
  host.ClosePanel();
}

TEST_F(WindowsModule, F5CopiesNothingAndSaysNothing) {
  std::wstring target = TempPath(L"windows-target");
  CreateDirectoryW(target.c_str(), nullptr);
  host.PassivePanel().SetFolder(target);
  Enter();
  panel().current = IndexOf(L"Inbox");
  EXPECT_EQ(host.PanelGetFiles(false), -1);
  panel().SelectAll();
  EXPECT_EQ(host.PanelGetFiles(true), -1);
  std::vector<std::wstring> files;
  ListTree(target, files);
  EXPECT_TRUE(files.empty());
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(IsWindow(desk.Find("Inbox")));
  host.ClosePanel();
  RemoveDirectoryW(target.c_str());
}

TEST_F(WindowsModule, TheTraceIsWrittenOnlyWhereTheDebugSettingsNameIt) {
  std::vector<std::wstring> before, after;
  ListTree(folder.path, before);
  ListTree(device.root(), before);
  Enter();
  ASSERT_NE(IndexOf(L"Inbox"), -1);
  host.ClosePanel();
  ListTree(folder.path, after);
  ListTree(device.root(), after);
  // Only the device's own state may have changed (the invoke library placed on it, its registry).
  auto outsideState = [&](const std::vector<std::wstring>& files) {
    std::vector<std::wstring> out;
    for (auto& f : files)
      if (f.find(L"\\.device\\") == std::wstring::npos && f.find(L"HandrelInvoke.dll") == std::wstring::npos)
        out.push_back(f);
    return out;
  };
  EXPECT_EQ(outsideState(after), outsideState(before));

  std::wstring log = TempPath(L"windows-trace") + L".log";
  WriteWhole(folder.path + L"\\Modules\\windows.ini", "[Debug]\r\nLogFileName=" + Utf8(log) + "\r\n");
  Enter();
  host.ClosePanel();
  std::string trace = ReadWhole(log);
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.substr(0, 51), "Listing windows (begin)\r\nInvoke call\r\nInvoke done\r\n");
  EXPECT_EQ(trace.substr(trace.size() - 24), "Listing windows (done)\r\n");
  // Every window's record in its raw bytes, the hidden and the untitled ones too.
  auto utf16 = [](const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
  };
  for (const char* cls : {"DesktopExplorerWindow", "HandheldHidden", "HandheldUntitled"}) {
    size_t at = trace.find(utf16(cls) + std::string(2, '\0'));
    ASSERT_NE(at, std::string::npos) << cls;
    EXPECT_NE(trace.rfind("--next window:\r\n", at), std::string::npos) << cls;
  }
  EXPECT_NE(trace.find(utf16("Hidden tasks") + std::string(2, '\0') + "\r\n"), std::string::npos);
  DeleteFileW(log.c_str());
}

TEST_F(WindowsModule, ALostConnectionIsMadeAgainOnceAndThenReported) {
  Enter();
  // The listing's request loses the connection; the module reconnects and lists again.
  device.WriteState(u"script", "fail CeRapiInvoke 1 lost\nrecord\n");
  host.RefreshPluginPanel(panel());
  EXPECT_TRUE(host.messages.empty());
  EXPECT_NE(IndexOf(L"Inbox"), -1);
  // Every request lost: one retry, then the message (the panel is empty).
  device.WriteState(u"script", "fail CeRapiInvoke always lost\n");
  host.AnswerMessage(0);
  host.RefreshPluginPanel(panel());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines[0], L"Windows");
  EXPECT_EQ(host.messages[0].lines[1], L"Can't get window list");
  EXPECT_EQ(host.messages[0].lines[2].substr(0, 5), L"HR=0x");
  EXPECT_EQ(IndexOf(L"Inbox"), -1);
  device.WriteState(u"script", "");
  host.ClosePanel();
}

TEST(WindowsModuleExports, TheNamesAndThePanelModeWithItsThreeColumns) {
  HMODULE library = LoadLibraryW(g_module.c_str());
  ASSERT_NE(library, nullptr);
  auto entry = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(library, name)); };
  auto info = reinterpret_cast<ModuleGetInfoFn>(entry("GetModuleInfo"));
  auto init = reinterpret_cast<ModuleInitFn>(entry("InitModule"));
  auto open = reinterpret_cast<ModuleGetOpenInfoFn>(entry("GetOpenModuleInfo"));
  auto close = reinterpret_cast<ModuleCloseFn>(entry("CloseModule"));
  ASSERT_TRUE(info && init && open && close);
  ModuleInfo mi{};
  mi.Size = kModuleInfoSize;
  info(&mi);
  EXPECT_STREQ(mi.ShortName, "Windows");
  EXPECT_STREQ(mi.Title, "PPC Windows");
  ModuleStartupRecord record{};
  record.Size = kModuleStartupRecordSize;
  ModuleInstance module = init(reinterpret_cast<ModuleOwner>(0x1234), &record, 0);
  ASSERT_NE(module, 0);
  OpenPluginInfoA opi{};
  opi.StructSize = sizeof opi;
  open(module, &opi);
  ASSERT_EQ(opi.PanelModesNumber, 1);
  ASSERT_NE(opi.PanelModesArray, nullptr);
  // The host's 8-bit panel mode: column types, widths, titles, four switches, status types, widths.
  struct Mode {
    const char* types;
    const char* widths;
    const char* const* titles;
    int switches[4];
    const char* statusTypes;
    const char* statusWidths;
    uint32_t reserved[2];
  };
  const Mode& m = *static_cast<const Mode*>(opi.PanelModesArray);
  EXPECT_STREQ(m.types, "N,C0,C1");
  EXPECT_STREQ(m.widths, "30,10,0");
  ASSERT_NE(m.titles, nullptr);
  EXPECT_STREQ(m.titles[0], "Name");
  EXPECT_STREQ(m.titles[1], "HWND");
  EXPECT_STREQ(m.titles[2], "Class");
  EXPECT_STREQ(m.statusTypes, "N");
  EXPECT_STREQ(m.statusWidths, "0");
  EXPECT_EQ(opi.StartPanelMode, '0');
  EXPECT_EQ(opi.StartSortMode, 1);  // unsorted
  close(module);
  FreeLibrary(library);
}

int main(int argc, char** argv) {
  if (!handrel_test::ReadArgumentPaths(argc, argv, "handrel_windows_tests",
                                       "Handrel.dll windows.module handheld_desktop.exe",
                                       {&g_plugin, &g_module, &g_desktop}))
    return 2;
  HandheldDesktop desktop;
  g_desktopWindows = &desktop;
  return RUN_ALL_TESTS();
}
