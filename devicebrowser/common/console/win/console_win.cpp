// The console helpers' shell: the console seam over the host's 8-bit services and the process's
// console (CONOUT$ / CONIN$, whatever the standard handles are), and the helpers' entry points.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/console/core/format.h"
#include "devicebrowser/common/console/core/popup.h"
#include "devicebrowser/common/console/win/host_console.h"

namespace handrel {

namespace {

HostStartupInfoA g_host{};
uint32_t g_version = 0;

constexpr DWORD kTitleChars = 1000;

HANDLE OpenConsole(const wchar_t* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}
HANDLE ConsoleOut() {
  static HANDLE out = OpenConsole(L"CONOUT$");
  return out;
}
HANDLE ConsoleIn() {
  static HANDLE in = OpenConsole(L"CONIN$");
  return in;
}

class Win32Console : public con::Console {
 public:
  void Text(int x, int y, int color, const std::string& text) override {
    if (g_host.HostText) g_host.HostText(x, y, color, text.c_str());
  }
  void Flush() override {
    if (g_host.HostText) g_host.HostText(0, 0, 0, nullptr);
  }
  void* SaveScreen() override {
    auto save = reinterpret_cast<HostSaveScreenFnA>(g_host.HostSaveScreen);
    return save ? save(0, 0, -1, -1) : nullptr;
  }
  void RestoreScreen(void* saved) override {
    auto restore = reinterpret_cast<HostRestoreScreenFnA>(g_host.HostRestoreScreen);
    if (restore && saved) restore(saved);
  }
  int Message(const std::vector<std::string>& items, int buttons, bool warning) override {
    if (!g_host.HostMessage) return -1;
    std::vector<const char*> ptrs;
    for (auto& s : items) ptrs.push_back(s.c_str());
    return g_host.HostMessage(g_host.ModuleNumber, warning ? FMSG_WARNING : 0u, nullptr, ptrs.data(),
                              static_cast<int>(ptrs.size()), buttons);
  }
  bool WindowSize(int& cols, int& rows) override {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(ConsoleOut(), &info)) return false;
    cols = info.srWindow.Right - info.srWindow.Left + 1;
    rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    return cols > 0 && rows > 0;
  }
  bool ReadCells(const con::Rect& r, std::vector<con::Cell>& out) override {
    COORD size{static_cast<SHORT>(r.Width()), static_cast<SHORT>(r.Height())};
    std::vector<CHAR_INFO> cells(static_cast<size_t>(r.Width()) * static_cast<size_t>(r.Height()));
    SMALL_RECT region{static_cast<SHORT>(r.x1), static_cast<SHORT>(r.y1), static_cast<SHORT>(r.x2),
                      static_cast<SHORT>(r.y2)};
    if (!ReadConsoleOutputA(ConsoleOut(), cells.data(), size, COORD{0, 0}, &region)) return false;
    // A region cut by the console's edge is not what was asked for.
    if (region.Right - region.Left + 1 != r.Width() || region.Bottom - region.Top + 1 != r.Height()) return false;
    out.clear();
    for (auto& c : cells) out.push_back(con::Cell{c.Char.AsciiChar, c.Attributes});
    return true;
  }
  // The title is kept in UTF-16 so that it comes back whole whatever the OEM code page holds.
  std::string SaveTitle() override {
    std::wstring title(kTitleChars + 1, L'\0');
    DWORD n = GetConsoleTitleW(title.data(), kTitleChars + 1);
    title.resize(std::min<DWORD>(n, kTitleChars));
    return std::string(reinterpret_cast<const char*>(title.data()), title.size() * sizeof(wchar_t));
  }
  void RestoreTitle(const std::string& saved) override {
    std::wstring title(saved.size() / sizeof(wchar_t), L'\0');
    std::memcpy(title.data(), saved.data(), title.size() * sizeof(wchar_t));
    SetConsoleTitleW(title.c_str());
  }
  void SetTitle(const std::string& oemTitle) override {
    int n = MultiByteToWideChar(CP_OEMCP, 0, oemTitle.c_str(), -1, nullptr, 0);
    if (n <= 0) return;
    std::wstring title(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_OEMCP, 0, oemTitle.c_str(), -1, title.data(), n);
    SetConsoleTitleW(title.c_str());
  }
  int PendingInput() override {
    DWORD n = 0;
    if (!GetNumberOfConsoleInputEvents(ConsoleIn(), &n)) return 0;
    return static_cast<int>(n);
  }
  // Reads only what is pending, so that it never waits.
  std::vector<con::InputEvent> ReadInput(int max) override {
    std::vector<con::InputEvent> out;
    int want = std::min(max, PendingInput());
    if (want <= 0) return out;
    std::vector<INPUT_RECORD> records(static_cast<size_t>(want));
    DWORD got = 0;
    if (!ReadConsoleInputW(ConsoleIn(), records.data(), static_cast<DWORD>(want), &got)) return out;
    for (DWORD i = 0; i < got; ++i) {
      con::InputEvent e;
      e.keyEvent = records[i].EventType == KEY_EVENT;
      if (e.keyEvent) {
        e.keyDown = records[i].Event.KeyEvent.bKeyDown != FALSE;
        e.virtualKey = records[i].Event.KeyEvent.wVirtualKeyCode;
      }
      out.push_back(e);
    }
    return out;
  }
  void FlushInput() override { FlushConsoleInputBuffer(ConsoleIn()); }
  uint32_t Tick() override { return GetTickCount(); }
};

Win32Console g_console;

void CopyOut(char* buffer, size_t size, const std::string& text) {
  if (!buffer || size == 0) return;
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
}

}  // namespace

namespace detail {
const HostStartupInfoA& Host() { return g_host; }
uint32_t HostVersion() { return g_version; }
con::Console& HostConsole() { return g_console; }
}  // namespace detail

void ConsoleSetHost(const HostStartupInfoA* info, uint32_t hostVersion) {
  g_host = HostStartupInfoA{};
  g_version = hostVersion;
  if (!info) return;
  // Older hosts give a shorter record: copy what they gave, the rest stays zero.
  size_t size = info->StructSize > 0 ? static_cast<size_t>(info->StructSize) : 0;
  std::memcpy(&g_host, info, std::min(size, sizeof g_host));
}

int ShowMessage(const char* title, const char* text, const char* buttons, int warning) {
  return con::ShowMessage(g_console, title, text, buttons, warning != 0);
}

int CheckEscape() { return con::CheckEscape(g_console); }

void FormatNumber(char* buffer, int64_t value) { CopyOut(buffer, kNumberBufferSize, con::FormatNumber(value)); }

void FormatTime(char* buffer, int64_t seconds) { CopyOut(buffer, kTimeBufferSize, con::FormatTime(seconds)); }

// ---- CPop ---------------------------------------------------------------------------------------

struct CPop::Impl {
  con::Popup popup;
  Impl(const char* title, const char* text, uint32_t flags, int style)
      : popup(g_console, title ? title : "", con::SplitLines(text), 0,
              (flags & kPopNoShadow) ? con::Popup::kNoShadow : 0u, style) {}
};

CPop::CPop(const char* title, const char* text, uint32_t flags, int style)
    : impl_(std::make_unique<Impl>(title, text, flags, style)) {}

CPop::~CPop() = default;

void CPop::SetText(const char* text) { impl_->popup.SetLines(con::SplitLines(text)); }

// ---- ProgressWindow -----------------------------------------------------------------------------

struct ProgressWindow::Impl {
  con::Progress progress;
  Impl(const char* verb, int totalItems, uint64_t totalBytes)
      : progress(g_console, verb ? verb : "", totalItems, totalBytes) {}
};

ProgressWindow::ProgressWindow(const char* verb, int totalItems, uint64_t totalBytes)
    : impl_(std::make_unique<Impl>(verb, totalItems, totalBytes)) {}
ProgressWindow::~ProgressWindow() = default;
ProgressCounters& ProgressWindow::Counters() { return impl_->progress.Counters(); }
void ProgressWindow::Redraw() { impl_->progress.Redraw(); }
void ProgressWindow::StartFile(const char* source, const char* target, uint64_t size) {
  impl_->progress.StartFile(source ? source : "", target ? target : "", size);
}
void ProgressWindow::AddBytes(uint64_t bytes) { impl_->progress.AddBytes(bytes); }
void ProgressWindow::SetFileSize(uint64_t size) { impl_->progress.SetFileSize(size); }

}  // namespace handrel
