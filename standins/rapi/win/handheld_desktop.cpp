// handheld_desktop.exe CONTROL-FILE [PID]: the emulated handheld's desktop, a few real top-level windows
// on the screen the device pieces see (under Wine, the 240 x 320 x 16 Xvfb screen of the tests):
//   "Desktop"        class "DesktopExplorerWindow", visible, the whole screen, at the bottom
//   "Inbox"          class "HandheldInbox", visible
//   "Calendar"       class "HandheldCalendar", visible
//   "Café menu"      class "HandheldNotes", visible (a title outside ASCII)
//   "Hidden tasks"   class "HandheldHidden", not visible
//   (no title)       class "HandheldUntitled", visible
// When they exist it writes CONTROL-FILE (UTF-8): one line a window, "0x%08x<TAB>visible<TAB>class
// <TAB>title" (visible 1 or 0). It runs until CONTROL-FILE is removed (checked every 50 ms), the
// process PID (a test that started it) has ended, or ten minutes have passed, then destroys its
// windows and ends: a test that crashed leaves no windows behind for the next one.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct WindowPlan {
  const wchar_t* cls;
  const wchar_t* title;
  bool visible;
  int x, y, w, h;
};

const WindowPlan kWindows[] = {
    {L"DesktopExplorerWindow", L"Desktop", true, 0, 0, 240, 320},
    {L"HandheldInbox", L"Inbox", true, 0, 26, 240, 268},
    {L"HandheldCalendar", L"Calendar", true, 10, 40, 220, 200},
    {L"HandheldNotes", L"Caf\u00e9 menu", true, 20, 60, 200, 160},
    {L"HandheldHidden", L"Hidden tasks", false, 0, 0, 100, 100},
    {L"HandheldUntitled", L"", true, 0, 294, 240, 26},
};

LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT r;
    GetClientRect(h, &r);
    wchar_t title[64] = {};
    GetWindowTextW(h, title, 64);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawTextW(dc, title, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(h, &ps);
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

std::string Utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 1), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) {
    std::fprintf(stderr, "usage: handheld_desktop CONTROL-FILE\n");
    return 2;
  }
  std::wstring control = argv[1];
  HANDLE watched = argc > 2 ? OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(_wtoi(argv[2]))) : nullptr;
  LocalFree(argv);
  std::vector<HWND> made;
  std::string lines;
  for (const WindowPlan& s : kWindows) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.lpszClassName = s.cls;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    RegisterClassW(&wc);
    HWND h = CreateWindowExW(0, s.cls, s.title, WS_POPUP | WS_BORDER | (s.visible ? WS_VISIBLE : 0), s.x, s.y, s.w,
                             s.h, nullptr, nullptr, instance, nullptr);
    if (!h) {
      std::fprintf(stderr, "handheld_desktop: cannot make the window \"%s\" (error %lu)\n", Utf8(s.title).c_str(),
                   GetLastError());
      return 1;
    }
    made.push_back(h);
    char head[32];
    std::snprintf(head, sizeof head, "0x%08x\t%d\t", static_cast<unsigned>(reinterpret_cast<uintptr_t>(h)),
                  s.visible ? 1 : 0);
    lines += head + Utf8(s.cls) + "\t" + Utf8(s.title) + "\n";
  }
  // The desktop lies under every other window, as on the device.
  SetWindowPos(made[0], HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  for (HWND h : made) UpdateWindow(h);

  // The control file appears whole: written aside, then renamed.
  std::wstring temp = control + L".tmp";
  HANDLE f = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (f == INVALID_HANDLE_VALUE || !WriteFile(f, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr)) {
    std::fprintf(stderr, "handheld_desktop: cannot write the control file\n");
    return 1;
  }
  CloseHandle(f);
  if (!MoveFileExW(temp.c_str(), control.c_str(), MOVEFILE_REPLACE_EXISTING)) return 1;

  UINT_PTR timer = SetTimer(nullptr, 0, 50, nullptr);
  DWORD started = GetTickCount();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr) {
      if (GetFileAttributesW(control.c_str()) == INVALID_FILE_ATTRIBUTES || GetTickCount() - started > 600000) break;
      if (watched && WaitForSingleObject(watched, 0) == WAIT_OBJECT_0) break;
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  KillTimer(nullptr, timer);
  for (HWND h : made) DestroyWindow(h);
  DeleteFileW(control.c_str());
  if (watched) CloseHandle(watched);
  return 0;
}
