// Perchlet in the host stand-in with a console that is a real window. Run plainly, the program
// relaunches itself in a console window of its own (Wine's console) on a desktop of its own, so
// that the only "Shell_TrayWnd" it finds is the recorder it creates: a window that logs every
// tray call the shell sends it. The inner run writes its output and exit code to files the
// launching run prints and returns.
//
// The recorder reads Wine's own form of the tray call (WM_COPYDATA, the call in dwData, the tip
// at offset 16, the icon's bits after a 960-byte head): a test double, not a Windows interface.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "editortools/remarks/tests/plugin_support.h"
#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

bool gTour = false;  // the demo: print each tray call as it arrives

// ---- The recorder -----------------------------------------------------------------------------

struct TrayCall {
  unsigned op = 0;  // 0 add, 1 modify, 2 delete
  HWND window = nullptr;
  unsigned id = 0, flags = 0, callback = 0;
  std::string tip;
  bool consoleVisible = false;  // the console window at the moment of the call
  DWORD pixel = 0;              // the icon's centre pixel (0x00RRGGBB), 0 when none came
  DWORD at = 0;                 // tick count
};

const char* OpName(unsigned op) { return op == 0 ? "add" : op == 1 ? "modify" : op == 2 ? "delete" : "?"; }

class Recorder {
 public:
  void Start() {
    thread_ = std::thread([this] { Run(); });
    for (int i = 0; i < 500 && !window_.load(); ++i) Sleep(10);
  }
  void Stop() {
    if (HWND w = window_.load()) PostMessageW(w, WM_CLOSE, 0, 0);
    if (thread_.joinable()) thread_.join();
  }
  HWND Window() const { return window_.load(); }
  std::vector<TrayCall> Calls() {
    std::lock_guard<std::mutex> g(lock_);
    return calls_;
  }
  void Clear() {
    std::lock_guard<std::mutex> g(lock_);
    calls_.clear();
  }
  static std::string Describe(const TrayCall& c) {
    char line[400];
    snprintf(line, sizeof line, "tray %s: id=%u flags=%u callback=0x%x tip=\"%s\" console %s", OpName(c.op), c.id,
             c.flags, c.callback, c.tip.c_str(), c.consoleVisible ? "on screen" : "hidden");
    return line;
  }

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
      auto* self = reinterpret_cast<Recorder*>(GetWindowLongPtrW(w, GWLP_USERDATA));
      auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
      if (self && cds && cds->lpData && cds->cbData >= 16 + 256) {
        auto* p = static_cast<const BYTE*>(cds->lpData);
        TrayCall c;
        c.op = static_cast<unsigned>(cds->dwData);
        c.window = reinterpret_cast<HWND>(static_cast<intptr_t>(*reinterpret_cast<const LONG*>(p)));
        // Other programs of the same desktop may call the tray as well: only our own calls count.
        DWORD owner = 0;
        GetWindowThreadProcessId(c.window, &owner);
        if (owner != GetCurrentProcessId()) return TRUE;
        c.id = *reinterpret_cast<const UINT*>(p + 4);
        c.flags = *reinterpret_cast<const UINT*>(p + 8);
        c.callback = *reinterpret_cast<const UINT*>(p + 12);
        wchar_t tip[129] = {};
        memcpy(tip, p + 16, 256);
        c.tip = Utf8(tip);
        c.consoleVisible = IsWindowVisible(GetConsoleWindow()) != FALSE;
        c.at = GetTickCount();
        const size_t head = 960;  // Wine's record; then width, height, planes, bpp at 944..959, colour bits
        if (cds->cbData >= head) {
          UINT width = *reinterpret_cast<const UINT*>(p + 944), height = *reinterpret_cast<const UINT*>(p + 948);
          UINT bpp = *reinterpret_cast<const UINT*>(p + 956);
          size_t at = head + (static_cast<size_t>(height / 2) * width + width / 2) * 4;
          if (bpp == 32 && width <= 256 && height <= 256 && at + 4 <= cds->cbData)
            c.pixel = *reinterpret_cast<const DWORD*>(p + at) & 0xFFFFFF;
        }
        if (gTour) printf("  %s\n", Describe(c).c_str());
        std::lock_guard<std::mutex> g(self->lock_);
        self->calls_.push_back(c);
      }
      return TRUE;
    }
    if (msg == WM_CLOSE) {
      DestroyWindow(w);
      return 0;
    }
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(w, msg, wp, lp);
  }
  void Run() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Shell_TrayWnd";
    RegisterClassW(&wc);
    // Topmost and last created: the first of its class in the z-order, before the desktop's own.
    HWND w = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                             nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_.store(w);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  }
  std::thread thread_;
  std::atomic<HWND> window_{nullptr};
  std::mutex lock_;
  std::vector<TrayCall> calls_;
};

Recorder gRecorder;

// ---- Helpers ----------------------------------------------------------------------------------

bool WaitFor(const std::function<bool()>& done, int ms) {
  for (DWORD start = GetTickCount();;) {
    if (done()) return true;
    if (static_cast<int>(GetTickCount() - start) >= ms) return false;
    Sleep(10);
  }
}

std::string ConsoleTitle() {
  char title[1100] = {};
  GetConsoleTitleA(title, sizeof title);
  return title;
}

// A 32 x 32 icon file of one colour (RGB).
std::string IconFile(BYTE r, BYTE g, BYTE b) {
  auto u16 = [](std::string& s, unsigned v) { s += static_cast<char>(v & 0xFF), s += static_cast<char>(v >> 8); };
  auto u32 = [&](std::string& s, unsigned v) { u16(s, v & 0xFFFF), u16(s, v >> 16); };
  std::string image;
  u32(image, 40), u32(image, 32), u32(image, 64), u16(image, 1), u16(image, 32);
  for (int i = 0; i < 6; ++i) u32(image, 0);
  image.resize(40);
  image[20] = static_cast<char>(0x80), image[21] = 0x10;  // image size 4096 + 128
  for (int i = 0; i < 32 * 32; ++i) image += std::string{static_cast<char>(b), static_cast<char>(g), static_cast<char>(r), '\xFF'};
  image += std::string(128, '\0');
  std::string file;
  u16(file, 0), u16(file, 1), u16(file, 1);
  file += std::string{32, 32, 0, 0};
  u16(file, 1), u16(file, 32), u32(file, static_cast<unsigned>(image.size())), u32(file, 22);
  return file + image;
}

constexpr DWORD kOwnIconPixel = 0x2090A0;  // the centre of the library's own icon

class Perchlet : public ::testing::Test {
 protected:
  void SetUp() override {
    console = GetConsoleWindow();
    ASSERT_NE(console, nullptr) << "no console window: run the test without arguments so it relaunches itself";
    ASSERT_EQ(FindWindowW(L"Shell_TrayWnd", nullptr), gRecorder.Window())
        << "the shell would not talk to the recorder: another \"Shell_TrayWnd\" comes first";
    ShowWindow(console, SW_RESTORE);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(console) && !IsIconic(console); }, 3000));
    SetConsoleTitleA("Perchlet test console");
    host = std::make_unique<Host>();
    host->onFailure = [](const std::wstring& f) { ADD_FAILURE() << Utf8(f); };
    gRecorder.Clear();
  }
  void TearDown() override {
    if (plugin) Unload();
    host.reset();
    ShowWindow(console, SW_RESTORE);
  }

  // Loads the plugin; its tray thread has found the console and made its window when this returns.
  void Load() {
    plugin = host->Load(BesideTest(PLUGIN_FILE));
    ASSERT_NE(plugin, nullptr);
    ASSERT_TRUE(WaitFor([&] { return (trayWindow = FindWindowA("MySpecWin", nullptr)) != nullptr; }, 5000));
    Sleep(150);  // a tick of the loop: the timer runs
  }
  void Unload() {
    host->Unload(plugin);
    plugin = nullptr;
    // The tray thread held the library while it ran: it is gone, so the library is too.
    EXPECT_EQ(GetModuleHandleW(PLUGIN_FILE), nullptr);
    EXPECT_EQ(FindWindowA("MySpecWin", nullptr), nullptr);
  }
  template <class F>
  F Entry(const char* name) {
    return reinterpret_cast<F>(plugin->Entry(name));
  }
  int Configure() { return Entry<int(KEL_API*)(int)>("Configure")(0); }
  // The calls of one kind so far.
  std::vector<TrayCall> Calls(unsigned op) {
    std::vector<TrayCall> out;
    for (auto& c : gRecorder.Calls())
      if (c.op == op) out.push_back(c);
    return out;
  }
  // Minimises the console and waits for it to leave the screen; returns the tick of the minimise.
  // Shortly after a restore, Wine's console now and then loses a minimise: the window never shows
  // as minimised, or goes back to normal at once, before the plugin's next tick saw it. The user
  // would click again, and so does the test, saying so; a console the plugin hid is never retried.
  DWORD MinimiseAndWaitHidden() {
    for (int attempt = 1;; ++attempt) {
      DWORD start = GetTickCount();
      size_t adds = Calls(0).size();
      bool sawMinimised = false;
      ShowWindow(console, SW_MINIMIZE);
      if (WaitFor([&] {
            sawMinimised = sawMinimised || IsIconic(console);
            return !IsWindowVisible(console);
          }, 1500))
        return start;
      printf("[perchlet] %s: minimise %d not applied (seen minimised: %s; now visible %d, minimised %d)\n",
             ::testing::UnitTest::GetInstance()->current_test_info()->name(), attempt, sawMinimised ? "yes" : "no",
             IsWindowVisible(console), IsIconic(console));
      if (Calls(0).size() != adds || IsIconic(console) || attempt == 3) {
        ADD_FAILURE() << "the minimised console stayed on screen";
        return start;
      }
    }
  }
  void ClickIcon() { PostMessageW(trayWindow, 0x400, 1, 0x202); }
  // After a click: the window is back, restored and in front (the last step of the restore).
  // Wine's ShowWindow on another process's window only queues the request, and the console's
  // thread handles it after it has finished with the restore: the round trip of a sent message
  // says when that is.
  bool WaitRestored() {
    bool back = WaitFor([&] { return IsWindowVisible(console) && !IsIconic(console) && GetForegroundWindow() == console; },
                        3000);
    DWORD_PTR answer = 0;
    bool answered = SendMessageTimeoutW(console, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &answer) != 0;
    Sleep(300);  // and the window system's own events of the restore
    return back && answered;
  }
  void Say(const std::string& line) {
    if (gTour) printf("%s\n", line.c_str());
  }

  HWND console = nullptr;
  HWND trayWindow = nullptr;
  std::unique_ptr<Host> host;
  Plugin* plugin = nullptr;
};

}  // namespace

TEST_F(Perchlet, ExportsPluginInformationAndAQuietStart) {
  Load();
  EXPECT_EQ(ExportNames(plugin->module),
            (std::set<std::string>{"SetStartupInfo", "GetPluginInfo", "Configure", "ExitKEL"}));
  PluginInfoA info{};
  Entry<void(KEL_API*)(PluginInfoA*)>("GetPluginInfo")(&info);
  EXPECT_EQ(info.StructSize, 40);
  EXPECT_EQ(info.Flags, 1u);
  ASSERT_EQ(info.PluginConfigStringsNumber, 1);
  EXPECT_STREQ(info.PluginConfigStrings[0], "Perchlet");
  EXPECT_EQ(info.PluginMenuStringsNumber, 0);
  EXPECT_EQ(info.DiskMenuStringsNumber, 0);
  EXPECT_EQ(info.CommandPrefix, nullptr);
  // The search for the console window put the title back; a console on screen has no icon.
  EXPECT_EQ(ConsoleTitle(), "Perchlet test console");
  Sleep(300);
  EXPECT_TRUE(gRecorder.Calls().empty());
  EXPECT_TRUE(IsWindowVisible(console));
}

TEST_F(Perchlet, AMinimisedConsoleHidesToTheTrayAndAClickBringsItBack) {
  Load();
  Say("The console is minimised:");
  DWORD start = MinimiseAndWaitHidden();
  DWORD hidden = GetTickCount() - start;
  ASSERT_TRUE(WaitFor([&] { return !Calls(0).empty(); }, 3000));
  printf("[perchlet] minimised console hidden after %lu ms, icon added after %lu ms (timer tick: 100 ms)\n",
         static_cast<unsigned long>(hidden), static_cast<unsigned long>(Calls(0)[0].at - start));
  EXPECT_TRUE(IsIconic(console));
  auto adds = Calls(0);
  ASSERT_EQ(adds.size(), 1u);
  EXPECT_EQ(adds[0].window, trayWindow);
  EXPECT_EQ(adds[0].id, 1u);
  EXPECT_EQ(adds[0].flags, 7u);  // message, icon, tip
  EXPECT_EQ(adds[0].callback, 0x400u);
  EXPECT_EQ(adds[0].tip, "Perchlet test console");
  EXPECT_FALSE(adds[0].consoleVisible);
  // The test program has no icon and no icon file beside it: the library's own.
  EXPECT_EQ(adds[0].pixel, kOwnIconPixel);

  Say("The user clicks the icon:");
  ClickIcon();
  ASSERT_TRUE(WaitRestored()) << "not restored";
  ASSERT_TRUE(WaitFor([&] { return !Calls(2).empty(); }, 3000));
  EXPECT_EQ(Calls(2)[0].id, 1u);
  Say(std::string("  console window: ") + (IsWindowVisible(console) ? "on screen" : "hidden") +
      (IsIconic(console) ? ", minimised" : ", restored"));

  // And again: the icon comes back with the next minimise.
  Say("Once more: minimised, then the icon clicked:");
  MinimiseAndWaitHidden();
  ASSERT_TRUE(WaitFor([&] { return Calls(0).size() == 2; }, 3000));
  ClickIcon();
  ASSERT_TRUE(WaitRestored());
  Say("The host exits with the console on screen: the icon's removal is all that happens:");
  Unload();
  EXPECT_EQ(Calls(2).size(), 3u);
}

TEST_F(Perchlet, AnIconFileNamedAfterTheHostsProgramIsUsed) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring icoPath = std::wstring(self);
  icoPath.replace(icoPath.size() - 3, 3, L"ico");
  {
    std::string bytes = IconFile(0xC0, 0x10, 0x20);
    FILE* f = _wfopen(icoPath.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  Load();
  MinimiseAndWaitHidden();
  ASSERT_TRUE(WaitFor([&] { return !Calls(0).empty(); }, 3000));
  EXPECT_EQ(Calls(0)[0].pixel, 0xC01020u);
  ClickIcon();
  ASSERT_TRUE(WaitRestored());
  Unload();
  DeleteFileW(icoPath.c_str());
}

// The host's program with an icon of its own: that icon comes first, before an icon file beside it.
// A copy of this program gets an icon resource and runs in a console window of its own (child mode
// "--iconic"), reporting the colour of the icon it saw added.
TEST_F(Perchlet, TheHostProgramsOwnIconComesFirst) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring copy = BesideTest(L"perchlet_iconic.exe");
  std::wstring icoFile = BesideTest(L"perchlet_iconic.ico");
  std::wstring result = BesideTest(L"perchlet_iconic.out");
  DeleteFileW(result.c_str());
  ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
  // The icon image (resource type 3) without the file's head, and its group (type 14).
  std::string image = IconFile(0x10, 0xB0, 0x30).substr(22);
  unsigned char group[20] = {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 32, 0, 0, 0, 0, 0, 1, 0};
  group[14] = static_cast<unsigned char>(image.size() & 0xFF), group[15] = static_cast<unsigned char>(image.size() >> 8);
  HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE);
  ASSERT_NE(update, nullptr);
  ASSERT_TRUE(UpdateResourceW(update, MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                              image.data(), static_cast<DWORD>(image.size())));
  ASSERT_TRUE(UpdateResourceW(update, MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                              group, sizeof group));
  ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
  {
    std::string bytes = IconFile(0xC0, 0x10, 0x20);
    FILE* f = _wfopen(icoFile.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  std::wstring line = L"\"" + copy + L"\" --iconic \"" + result + L"\"";
  std::vector<wchar_t> cmd(line.begin(), line.end());
  cmd.push_back(0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr, &si,
                             &pi));
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    ADD_FAILURE() << "the program with an icon did not finish";
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::string seen = ReadBytes(result);
  EXPECT_EQ(seen, "pixel=10b030\n");
  DeleteFileW(result.c_str());
  DeleteFileW(icoFile.c_str());
  DeleteFileW(copy.c_str());
}

TEST_F(Perchlet, DisableFromTheMenuKeepsTheConsoleOnTheTaskbarAndIsWrittenOnExit) {
  Load();
  host->AnswerMenu(1);  // "&Disable"
  EXPECT_EQ(Configure(), 1);
  ASSERT_EQ(host->menus.size(), 1u);
  const MenuCall& menu = host->menus[0];
  EXPECT_EQ(menu.title, L"Perchlet");
  EXPECT_EQ(menu.items, (std::vector<std::wstring>{L"&Enable", L"&Disable"}));
  EXPECT_TRUE(menu.itemFlags[0] & MIF_CHECKED);
  EXPECT_FALSE(menu.itemFlags[1] & MIF_CHECKED);
  EXPECT_TRUE(menu.flags & FMENU_WRAPMODE);

  ShowWindow(console, SW_MINIMIZE);
  Sleep(1000);
  EXPECT_TRUE(IsWindowVisible(console)) << "hidden although disabled";
  EXPECT_TRUE(IsIconic(console));
  EXPECT_TRUE(Calls(0).empty());

  host->AnswerMenu(-1);  // Esc: nothing changes
  EXPECT_EQ(Configure(), 0);
  EXPECT_FALSE(host->menus[1].itemFlags[0] & MIF_CHECKED);
  EXPECT_TRUE(host->menus[1].itemFlags[1] & MIF_CHECKED);
  Sleep(300);
  EXPECT_TRUE(IsWindowVisible(console));

  host->AnswerMenu(0);  // "&Enable": the minimised console goes to the tray now
  EXPECT_EQ(Configure(), 1);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(console) && !Calls(0).empty(); }, 3000));
  ClickIcon();
  ASSERT_TRUE(WaitRestored());

  host->AnswerMenu(1);
  EXPECT_EQ(Configure(), 1);
  Unload();
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (host->RootKey() + L"\\Perchlet").c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD value = 7, type = 0, size = sizeof value;
  EXPECT_EQ(RegQueryValueExW(key, L"Disable", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 1u);

  // Read back at the next start: still disabled.
  gRecorder.Clear();
  Load();
  ShowWindow(console, SW_RESTORE);
  ASSERT_TRUE(WaitFor([&] { return !IsIconic(console); }, 3000));
  ShowWindow(console, SW_MINIMIZE);
  Sleep(800);
  EXPECT_TRUE(IsWindowVisible(console));
  EXPECT_TRUE(Calls(0).empty());
}

TEST_F(Perchlet, ALongTitleIsCutInTheTipAndATitleChangeReachesItWithinASecond) {
  std::string longTitle = "Kel - Z:\\a folder with a rather long name\\and another one below it\\and more";
  ASSERT_GT(longTitle.size(), 63u);
  Load();
  SetConsoleTitleA(longTitle.c_str());
  MinimiseAndWaitHidden();
  ASSERT_TRUE(WaitFor([&] { return !Calls(0).empty(); }, 3000));
  EXPECT_EQ(Calls(0)[0].tip, longTitle.substr(0, 63));

  Say("The title changes while the console is hidden:");
  DWORD changed = GetTickCount();
  SetConsoleTitleA("Kel - Z:\\renamed");
  ASSERT_TRUE(WaitFor([&] {
    for (auto& c : Calls(1))
      if (c.tip == "Kel - Z:\\renamed") return true;
    return false;
  }, 3000)) << "the tip did not follow the title";
  DWORD reached = 0;
  for (auto& c : Calls(1))
    if (c.tip == "Kel - Z:\\renamed" && !reached) reached = c.at - changed;
  printf("[perchlet] title change reached the tip after %lu ms\n", static_cast<unsigned long>(reached));
  // One second by the timer's count; the margin is for a busy machine's late timer messages.
  EXPECT_LE(reached, 1600u);
  ClickIcon();
  ASSERT_TRUE(WaitRestored());
}

TEST_F(Perchlet, ANewNotificationAreaGetsTheShownIconAgain) {
  UINT created = RegisterWindowMessageA("TaskbarCreated");
  Load();
  PostMessageW(HWND_BROADCAST, created, 0, 0);
  Sleep(300);
  EXPECT_TRUE(Calls(0).empty()) << "no icon is shown, none is added";
  MinimiseAndWaitHidden();
  ASSERT_TRUE(WaitFor([&] { return Calls(0).size() == 1; }, 3000));
  Say("The notification area is re-created (\"TaskbarCreated\" is broadcast):");
  PostMessageW(HWND_BROADCAST, created, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return Calls(0).size() == 2; }, 3000)) << "the icon was not added again";
  EXPECT_EQ(Calls(0)[1].tip, "Perchlet test console");
  ClickIcon();
  ASSERT_TRUE(WaitRestored());
}

TEST_F(Perchlet, ExitingWhileHiddenShowsTheConsoleBeforeTheIconGoes) {
  Load();
  Say("The console is minimised again:");
  MinimiseAndWaitHidden();
  ASSERT_TRUE(WaitFor([&] { return !Calls(0).empty(); }, 3000));
  Say("The host exits while the console is in the tray:");
  Unload();
  EXPECT_TRUE(IsWindowVisible(console));
  auto deletes = Calls(2);
  ASSERT_EQ(deletes.size(), 1u);
  EXPECT_TRUE(deletes[0].consoleVisible) << "the icon went while the console was still hidden";
  Say(std::string("  console window: ") + (IsWindowVisible(console) ? "on screen" : "hidden") +
      (IsIconic(console) ? " (minimised, on the taskbar)" : ""));
}

// Run plainly (before the relaunch) the console is a pseudo-terminal without a window: the
// search finds none and the thread watches nothing, so no icon ever appears.
TEST(PerchletWithoutConsoleWindow, NothingIsWatchedAndExitStillEndsTheThread) {
  // The console of a plain run may have a window handle, but no window shows its title.
  std::string title = "perchlet-plain-" + std::to_string(GetCurrentProcessId());
  SetConsoleTitleA(title.c_str());
  Sleep(200);
  if (FindWindowA(nullptr, title.c_str())) GTEST_SKIP() << "this console has a window of its own";
  if (FindWindowW(L"Shell_TrayWnd", nullptr) != gRecorder.Window())
    GTEST_SKIP() << "the desktop's own \"Shell_TrayWnd\" comes before the recorder here";
  Host host;
  host.onFailure = [](const std::wstring& f) { ADD_FAILURE() << Utf8(f); };
  Plugin* plugin = host.Load(BesideTest(PLUGIN_FILE));
  ASSERT_NE(plugin, nullptr);
  ASSERT_TRUE(WaitFor([&] { return FindWindowA("MySpecWin", nullptr) != nullptr; }, 5000));
  Sleep(500);
  EXPECT_TRUE(gRecorder.Calls().empty());
  host.Unload(plugin);
  EXPECT_EQ(GetModuleHandleW(PLUGIN_FILE), nullptr);
  for (auto& c : gRecorder.Calls()) EXPECT_EQ(c.op, 2u) << "only the removal on exit";
}

// ---- Running inside a console window of its own -------------------------------------------------

namespace {

std::string Narrow(const std::wstring& w) { return Utf8(w); }

int RunInside(int argc, char** argv, const char* resultFile) {
  if (!freopen(resultFile, "w", stdout)) return 3;
  setvbuf(stdout, nullptr, _IONBF, 0);
  gTour = GetEnvironmentVariableA("PERCHLET_TOUR", nullptr, 0) > 0;
  ::testing::InitGoogleTest(&argc, argv);
  gRecorder.Start();
  int code = RUN_ALL_TESTS();
  gRecorder.Stop();
  fflush(stdout);
  std::string codeFile = std::string(resultFile) + ".code";
  if (FILE* f = fopen(codeFile.c_str(), "w")) {
    fprintf(f, "%d\n", code);
    fclose(f);
  }
  return code;
}

// Starts this program again in a console window on a desktop of its own (Wine's explorer makes
// the desktop; wineconsole gives the console its window), waits for its result and makes sure
// nothing it started is left running.
int Relaunch(int argc, char** argv) {
  wchar_t self[MAX_PATH], tmp[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  GetTempPathW(MAX_PATH, tmp);
  std::wstring result = std::wstring(tmp) + L"perchlet-" + std::to_wstring(GetCurrentProcessId()) + L".out";
  std::wstring codeFile = result + L".code";
  DeleteFileW(result.c_str());
  DeleteFileW(codeFile.c_str());
  std::wstring line = L"explorer.exe /desktop=perchlet" + std::to_wstring(GetCurrentProcessId()) +
                      L",640x480 wineconsole \"" + self + L"\" --inside \"" + result + L"\"";
  for (int i = 1; i < argc; ++i) line += L" \"" + Wide(argv[i]) + L"\"";

  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<wchar_t> cmd(line.begin(), line.end());
  cmd.push_back(0);
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi)) {
    printf("cannot start %s (error %lu)\n", Narrow(line).c_str(), GetLastError());
    return 2;
  }
  if (job) AssignProcessToJobObject(job, pi.hProcess);
  ResumeThread(pi.hThread);

  // The inner run ends by writing its exit code; the desktop's explorer leaves when it is empty.
  bool done = WaitFor([&] { return GetFileAttributesW(codeFile.c_str()) != INVALID_FILE_ATTRIBUTES; }, 100000);
  bool desktopGone = WaitForSingleObject(pi.hProcess, 15000) == WAIT_OBJECT_0;
  if (job) TerminateJobObject(job, 1);  // whatever is left (a hung inner run, its console, the desktop)
  if (!desktopGone) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (job) CloseHandle(job);

  std::string out = ReadBytes(result);
  fwrite(out.data(), 1, out.size(), stdout);
  int code = 1;
  if (done) {
    std::string c = ReadBytes(codeFile);
    code = c.empty() ? 1 : atoi(c.c_str());
  } else {
    printf("\nthe run in its own console did not finish in time\n");
  }
  DeleteFileW(result.c_str());
  DeleteFileW(codeFile.c_str());
  return code;
}

// Child mode of TheHostProgramsOwnIconComesFirst: minimise this console, write what icon came.
int RunIconic(const char* resultFile) {
  std::string out;
  gRecorder.Start();
  HWND console = GetConsoleWindow();
  if (!console) {
    out = "no console window\n";
  } else if (FindWindowW(L"Shell_TrayWnd", nullptr) != gRecorder.Window()) {
    out = "the recorder is not the first \"Shell_TrayWnd\"\n";
  } else {
    Host host;
    Plugin* plugin = host.Load(BesideTest(PLUGIN_FILE));
    if (!plugin || !WaitFor([] { return FindWindowA("MySpecWin", nullptr) != nullptr; }, 5000)) {
      out = "the plugin did not start\n";
    } else {
      Sleep(150);
      ShowWindow(console, SW_MINIMIZE);
      if (!WaitFor([] { return !gRecorder.Calls().empty(); }, 5000)) {
        out = "no icon was added\n";
      } else {
        char line[64];
        snprintf(line, sizeof line, "pixel=%06lx\n", static_cast<unsigned long>(gRecorder.Calls()[0].pixel));
        out = line;
      }
      host.Unload(plugin);
    }
  }
  gRecorder.Stop();
  if (FILE* f = fopen(resultFile, "wb")) {
    fwrite(out.data(), 1, out.size(), f);
    fclose(f);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  if (argc == 3 && std::string(argv[1]) == "--iconic") return RunIconic(argv[2]);
  if (argc >= 3 && std::string(argv[1]) == "--inside") {
    const char* resultFile = argv[2];
    argv[2] = argv[0];  // gtest sees the program and the arguments after the result file
    return RunInside(argc - 2, argv + 2, resultFile);
  }
  if (argc == 1) {
    // The plain part first, then the rest in a console window of its own.
    int plainArgc = 2;
    char filter[] = "--gtest_filter=PerchletWithoutConsoleWindow.*";
    char* plainArgv[] = {argv[0], filter, nullptr};
    ::testing::InitGoogleTest(&plainArgc, plainArgv);
    gRecorder.Start();
    int plain = RUN_ALL_TESTS();
    gRecorder.Stop();
    char inner[] = "--gtest_filter=Perchlet.*";
    char* innerArgv[] = {argv[0], inner, nullptr};
    int code = Relaunch(2, innerArgv);
    return plain ? plain : code;
  }
  return Relaunch(argc, argv);
}
