// Perchlet: the host's entries and the Win32 side of the tray thread. The thread starts when the
// library is loaded and runs until ExitKEL raises the exit flag; everything it decides is
// perchlet::Tray, everything the entries decide is in the core as well.
#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "consoletray/core/tray.h"
#include "host/kel_firewall.h"
#include "host/kel_plugin.h"

namespace {

HINSTANCE gInstance = nullptr;
perchlet::Shared gShared;
HANDLE gThread = nullptr;
HostStartupInfoA gInfo{};
HostStandardFunctionsA gFsf{};
constexpr DWORD kTrayStackBytes = 2048;
// How long ExitKEL waits for the tray thread: it leaves at its next timer tick (100 ms); the
// bound only matters when a tray call hangs, and the thread holds the library while it runs.
constexpr DWORD kExitWaitBoundMs = 2000;

// Reports an exception that reached an entry in a warning box (entries run on the host's thread).
struct HostReport {
  void operator()(const char* entry, const char* what) const {
    if (!gInfo.HostMessage) return;
    std::string text = std::string(perchlet::kName) + "\nUnhandled exception in " + entry;
    if (what && *what) text += std::string("\n") + what;
    gInfo.HostMessage(gInfo.ModuleNumber, FMSG_ALLINONE | FMSG_WARNING | FMSG_MB_OK, nullptr,
                      reinterpret_cast<const char* const*>(text.c_str()), 0, 0);
  }
};

// The tray thread must not call the host's services: it reports to the debugger.
void DebugReport(const char* entry, const char* what) {
  std::string text = std::string(perchlet::kName) + ": unhandled exception in " + entry;
  if (what && *what) text += std::string(": ") + what;
  OutputDebugStringA((text + "\n").c_str());
}

std::string SettingsKey() {
  std::string key = gInfo.RootKey ? gInfo.RootKey : "";
  if (!key.empty() && key.back() != '\\') key += '\\';
  return key + perchlet::kName;
}

class RegistryStore : public perchlet::SettingsStore {
 public:
  explicit RegistryStore(bool create) {
    std::string key = SettingsKey();
    LONG r = create ? RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                      nullptr, &key_, nullptr)
                    : RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &key_);
    if (r != ERROR_SUCCESS) key_ = nullptr;
  }
  ~RegistryStore() override {
    if (key_) RegCloseKey(key_);
  }
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;
  std::optional<uint32_t> ReadDword(const char* name) override {
    DWORD value = 0, type = 0, size = sizeof value;
    if (!key_ || RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
      return std::nullopt;
    return value;
  }
  bool WriteDword(const char* name, uint32_t value) override {
    DWORD v = value;
    return key_ && RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v) == ERROR_SUCCESS;
  }

 private:
  HKEY key_ = nullptr;
};

// ---- The title search -----------------------------------------------------------------------

class Win32Finder : public perchlet::ConsoleFinder {
 public:
  std::string ReadTitle(size_t maxChars) override {
    char title[perchlet::kTitleMaxChars + 1] = {};
    size_t limit = maxChars < perchlet::kTitleMaxChars ? maxChars : perchlet::kTitleMaxChars;
    GetConsoleTitleA(title, static_cast<DWORD>(limit + 1));
    title[limit] = 0;
    return title;
  }
  void SetTitle(const std::string& title) override { SetConsoleTitleA(title.c_str()); }
  uintptr_t FindTopLevelWindow(const std::string& exactText) override {
    Search search{exactText.c_str(), nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    return reinterpret_cast<uintptr_t>(search.found);
  }
  void Wait(uint32_t ms) override { Sleep(ms); }
  uint32_t ProcessId() override { return GetCurrentProcessId(); }
  uint32_t TickCount() override { return GetTickCount(); }

 private:
  struct Search {
    const char* text;
    HWND found;
  };
  static BOOL CALLBACK Match(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char text[256];
    int n = GetWindowTextA(window, text, sizeof text);
    if (n < 0 || n >= static_cast<int>(sizeof text)) return TRUE;
    text[n] = 0;
    if (std::strcmp(text, search->text) != 0) return TRUE;
    search->found = window;
    return FALSE;
  }
};

// ---- The tray thread ------------------------------------------------------------------------

HWND AsWindow(uintptr_t window) { return reinterpret_cast<HWND>(window); }

class Win32Tray : public perchlet::TraySystem {
 public:
  HWND window = nullptr;  // the hidden window that receives the icon's messages
  HICON icon = nullptr;

  bool ConsoleVisible(uintptr_t w) override { return IsWindowVisible(AsWindow(w)) != FALSE; }
  bool ConsoleMinimised(uintptr_t w) override { return IsIconic(AsWindow(w)) != FALSE; }
  void HideConsole(uintptr_t w) override {
    SetWindowPos(AsWindow(w), nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void RestoreConsole(uintptr_t w) override {
    HWND console = AsWindow(w);
    SetWindowPos(console, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);
    ShowWindow(console, SW_RESTORE);
    ShowWindow(console, SW_SHOWNORMAL);
    SetForegroundWindow(console);
  }
  void ShowConsole(uintptr_t w) override {
    SetWindowPos(AsWindow(w), nullptr, 0, 0, 0, 0,
                 SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  std::string ConsoleTitle() override {
    char title[perchlet::kTitleMaxChars + 1] = {};
    GetConsoleTitleA(title, sizeof title);
    title[perchlet::kTitleMaxChars] = 0;
    return title;
  }
  void AddIcon(const std::string& tip) override { Notify(NIM_ADD, tip); }
  void ModifyIcon(const std::string& tip) override { Notify(NIM_MODIFY, tip); }
  void RemoveIcon() override { Notify(NIM_DELETE, std::string()); }
  void Report(const char* entry, const char* what) override { DebugReport(entry, what); }

 private:
  void Notify(DWORD message, const std::string& tip) {
    // The first tray record layout (88 bytes, a 64-byte tip): understood by every shell.
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = perchlet::kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = perchlet::kCallbackMessage;
    data.hIcon = icon;
    std::string cut = perchlet::CutTip(tip);
    std::memcpy(data.szTip, cut.data(), cut.size());
    Shell_NotifyIconA(message, &data);
  }
};
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the first tray record is 88 bytes");

perchlet::Tray* gTray = nullptr;  // the tray thread's, for its window procedure
UINT gTaskbarCreated = 0;

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return kel::Firewall<LRESULT>("the tray window", 0, [&]() -> LRESULT {
    if (message == WM_CLOSE || message == WM_DESTROY) {
      PostQuitMessage(0);
      return 0;
    }
    if (gTray && message == perchlet::kCallbackMessage) {
      gTray->OnIconMessage(static_cast<uint32_t>(lParam));
      return 0;
    }
    if (gTray && gTaskbarCreated && message == gTaskbarCreated) {
      gTray->OnTaskbarCreated();
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }, DebugReport);
}

// The host's icon, else the icon file named after the host's executable, else our own.
HICON ChooseIcon(bool& extracted) {
  char exe[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
  extracted = true;
  if (n > 0 && n < MAX_PATH) {
    HICON icon = ExtractIconA(gInstance, exe, 0);
    if (reinterpret_cast<UINT_PTR>(icon) > 1) return icon;  // 1: not a file with icons
    if (auto file = perchlet::IconFileFor(exe)) {
      icon = ExtractIconA(gInstance, file->c_str(), 0);
      if (reinterpret_cast<UINT_PTR>(icon) > 1) return icon;
    }
  }
  extracted = false;
  return LoadIconA(gInstance, perchlet::kIconResource);
}

void RunTray() {
  // Found here rather than at load: the search sleeps and enumerates windows, which must not
  // happen under the loader's lock.
  Win32Finder finder;
  gShared.console.store(perchlet::FindConsoleWindow(finder));
  gTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = TrayWindowProc;
  windowClass.hInstance = gInstance;
  windowClass.lpszClassName = perchlet::kWindowClass;
  RegisterClassA(&windowClass);
  Win32Tray system;
  perchlet::Tray tray(gShared, system);
  gTray = &tray;
  // A hidden top-level window (not a message-only one): it must hear the "TaskbarCreated" broadcast.
  system.window = CreateWindowExA(0, perchlet::kWindowClass, perchlet::kName, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  gInstance, nullptr);
  bool extracted = false;
  system.icon = ChooseIcon(extracted);
  UINT_PTR timer = SetTimer(nullptr, 0, perchlet::kTimerPeriodMs, nullptr);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == timer) {
      tray.OnTick();
    } else {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (!tray.AfterMessage()) break;
  }

  KillTimer(nullptr, timer);
  tray.OnLeave();
  gTray = nullptr;
  if (system.window) DestroyWindow(system.window);
  UnregisterClassA(perchlet::kWindowClass, gInstance);
  if (extracted && system.icon) DestroyIcon(system.icon);
}

DWORD WINAPI TrayThread(void*) {
  kel::FirewallVoid("the tray thread", RunTray, DebugReport);
  // The thread took a reference to the library when it was started: its code stays loaded until here.
  FreeLibraryAndExitThread(gInstance, 0);
  return 0;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    gInstance = instance;
    gShared.iconShown.store(0);
    DisableThreadLibraryCalls(instance);
    HMODULE held = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&TrayThread), &held)) {
      gThread = CreateThread(nullptr, kTrayStackBytes, TrayThread, nullptr, 0, nullptr);
      if (!gThread) FreeLibrary(held);
    }
  }
  return TRUE;
}

extern "C" {

void KEL_API SetStartupInfo(const HostStartupInfoA* info) {
  kel::FirewallVoid("SetStartupInfo", [&] {
    gInfo = HostStartupInfoA{};
    gFsf = HostStandardFunctionsA{};
    if (!info) return;
    size_t n = info->StructSize > 0 ? static_cast<size_t>(info->StructSize) : 0;
    std::memcpy(&gInfo, info, n < sizeof gInfo ? n : sizeof gInfo);
    if (gInfo.FSF) {
      size_t f = gInfo.FSF->StructSize > 0 ? static_cast<size_t>(gInfo.FSF->StructSize) : 0;
      std::memcpy(&gFsf, gInfo.FSF, f < sizeof gFsf ? f : sizeof gFsf);
      gInfo.FSF = &gFsf;
    }
    RegistryStore store(false);
    gShared.disable.store(perchlet::LoadSettings(store).disable);
  }, HostReport{});
}

void KEL_API GetPluginInfo(PluginInfoA* info) {
  kel::FirewallVoid("GetPluginInfo", [&] {
    if (!info) return;
    static const char* const kConfigStrings[] = {perchlet::kName};
    *info = PluginInfoA{};
    info->StructSize = sizeof(PluginInfoA);
    info->Flags = PF_PRELOAD;
    info->PluginConfigStrings = kConfigStrings;
    info->PluginConfigStringsNumber = 1;
  }, HostReport{});
}

int KEL_API Configure(int) {
  return kel::Firewall("Configure", 0, [&] {
    if (!gInfo.HostMenu) return 0;
    uint32_t current = gShared.disable.load();
    std::vector<perchlet::MenuItem> items = perchlet::ConfigureMenu(current);
    std::vector<KelMenuItemA> menu(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
      std::strncpy(menu[i].Text, items[i].text, sizeof menu[i].Text - 1);
      menu[i].Checked = items[i].checked ? 1 : 0;
    }
    int choice = gInfo.HostMenu(gInfo.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, perchlet::kName, nullptr, nullptr,
                                nullptr, nullptr, menu.data(), static_cast<int>(menu.size()));
    uint32_t chosen = perchlet::ApplyMenuChoice(current, choice);
    gShared.disable.store(chosen);
    return chosen != current ? 1 : 0;
  }, HostReport{});
}

void KEL_API ExitKEL() {
  kel::FirewallVoid("ExitKEL", [&] {
    gShared.exit.store(1);
    perchlet::Settings settings;
    settings.disable = gShared.disable.load();
    RegistryStore store(true);
    perchlet::SaveSettings(store, settings);
    if (gThread) {
      if (WaitForSingleObject(gThread, kExitWaitBoundMs) == WAIT_OBJECT_0) {
        CloseHandle(gThread);
        gThread = nullptr;
      }
    } else {
      Sleep(perchlet::kExitWaitMs);
    }
  }, HostReport{});
}

}  // extern "C"
