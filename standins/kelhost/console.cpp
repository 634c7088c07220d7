// Console services of the host stand-in: text output and saving and restoring screen areas,
// on the real console whatever the standard handles are.
#include <windows.h>

#include <vector>

#include "standins/kelhost/internal.h"

namespace kelhost {

namespace {

// The console: the real one (CONOUT$), whatever the standard handles are.
HANDLE ConsoleOut() {
  static HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  return out;
}

struct SavedScreen {
  SMALL_RECT rect;
  std::vector<CHAR_INFO> cells;
};

}  // namespace

void KEL_API SvcText(int x, int y, int color, const wchar_t* text) {
  if (!text || Refused("HostText")) return;
  HANDLE out = ConsoleOut();
  if (out == INVALID_HANDLE_VALUE) return;
  size_t n = wcslen(text);
  std::vector<WORD> attrs(n, static_cast<WORD>(color));
  DWORD written = 0;
  COORD at{static_cast<SHORT>(x), static_cast<SHORT>(y)};
  WriteConsoleOutputCharacterW(out, text, static_cast<DWORD>(n), at, &written);
  WriteConsoleOutputAttribute(out, attrs.data(), static_cast<DWORD>(n), at, &written);
}

HANDLE KEL_API SvcSaveScreen(int x1, int y1, int x2, int y2) {
  if (Refused("HostSaveScreen")) return nullptr;
  HANDLE out = ConsoleOut();
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (out == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(out, &info)) return nullptr;
  if (x1 < 0) x1 = 0;
  if (y1 < 0) y1 = 0;
  if (x2 < 0 || x2 >= info.dwSize.X) x2 = info.dwSize.X - 1;
  if (y2 < 0 || y2 >= info.dwSize.Y) y2 = info.dwSize.Y - 1;
  auto* s = new SavedScreen;
  s->rect = {static_cast<SHORT>(x1), static_cast<SHORT>(y1), static_cast<SHORT>(x2), static_cast<SHORT>(y2)};
  COORD size{static_cast<SHORT>(x2 - x1 + 1), static_cast<SHORT>(y2 - y1 + 1)};
  s->cells.resize(static_cast<size_t>(size.X) * static_cast<size_t>(size.Y));
  SMALL_RECT r = s->rect;
  ReadConsoleOutputW(out, s->cells.data(), size, COORD{0, 0}, &r);
  return reinterpret_cast<HANDLE>(s);
}

void KEL_API SvcRestoreScreen(HANDLE screen) {
  if (!screen) return;  // null: redraw the whole screen (nothing to do here)
  auto* s = reinterpret_cast<SavedScreen*>(screen);
  COORD size{static_cast<SHORT>(s->rect.Right - s->rect.Left + 1), static_cast<SHORT>(s->rect.Bottom - s->rect.Top + 1)};
  SMALL_RECT r = s->rect;
  WriteConsoleOutputW(ConsoleOut(), s->cells.data(), size, COORD{0, 0}, &r);
  delete s;
}

}  // namespace kelhost
