// veloma_poke: drives a running Veloma like a user's mouse, for the demo.
//   veloma_poke hover ROW | click ROW | middle ROW | ask ROW BUTTON [all] | wait-rows N | close
//   veloma_poke clipboard TEXT      puts a text on the clipboard (needs no Veloma window)
//   veloma_poke instance            exit code 0 while a Veloma holds its single-instance mutex
//   veloma_poke stay SECONDS        a windowless program that stays alive that long
//   veloma_poke hold SECONDS        holds the single-instance mutex that long, without a window
// Rows are counted from 0 with the default bar height of 10 pixels.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND Indicator() { return FindWindowW(L"Veloma", L"Veloma"); }

LPARAM RowPoint(int row) { return MAKELPARAM(50, 4 + row * 10 + 5); }

template <typename F>
bool WaitFor(F condition, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: veloma_poke hover ROW | click ROW | middle ROW | ask ROW BUTTON [all] | wait-rows N | close\n");
    return 2;
  }
  if (!std::strcmp(argv[1], "clipboard") && argc > 2) {
    if (!OpenClipboard(nullptr)) return 1;
    EmptyClipboard();
    size_t n = std::strlen(argv[2]) + 1;
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, n);
    std::memcpy(GlobalLock(text), argv[2], n);
    GlobalUnlock(text);
    bool set = SetClipboardData(CF_TEXT, text) != nullptr;
    CloseClipboard();
    return set ? 0 : 1;
  }
  if (!std::strcmp(argv[1], "stay") && argc > 2) {
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    return 0;
  }
  if (!std::strcmp(argv[1], "hold") && argc > 2) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, L"VeLoMaiSoNtHeRoAd");
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    if (mutex) CloseHandle(mutex);
    return 0;
  }
  if (!std::strcmp(argv[1], "instance")) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"VeLoMaiSoNtHeRoAd");
    if (mutex) CloseHandle(mutex);
    return mutex ? 0 : 1;
  }
  HWND w = nullptr;
  if (!WaitFor([&] { return (w = Indicator()) != nullptr; }, 10000)) {
    std::fprintf(stderr, "veloma_poke: no Veloma window\n");
    return 1;
  }
  const char* verb = argv[1];
  int row = argc > 2 ? std::atoi(argv[2]) : 0;
  if (!std::strcmp(verb, "hover")) {
    PostMessageW(w, WM_MOUSEMOVE, 0, RowPoint(row));
  } else if (!std::strcmp(verb, "click")) {
    PostMessageW(w, WM_LBUTTONUP, 0, RowPoint(row));
  } else if (!std::strcmp(verb, "middle")) {
    PostMessageW(w, WM_MBUTTONUP, 0, RowPoint(row));
  } else if (!std::strcmp(verb, "ask") && argc > 3) {
    PostMessageW(w, WM_LBUTTONDBLCLK, 0, RowPoint(row));
    HWND dialog = nullptr;
    if (!WaitFor([&] { return (dialog = FindWindowW(L"#32770", L"\u041e\u0448\u0438\u0431\u043a\u0430")) != nullptr; }, 5000)) {
      std::fprintf(stderr, "veloma_poke: no question dialog\n");
      return 1;
    }
    wchar_t text[1024] = {};
    GetDlgItemTextW(dialog, 1101, text, 1024);
    char utf8[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    std::printf("%s\n", utf8);
    if (argc > 4 && !std::strcmp(argv[4], "all")) SendDlgItemMessageW(dialog, 1102, BM_SETCHECK, BST_CHECKED, 0);
    int button = std::atoi(argv[3]);
    int id = button == 0 ? IDCANCEL : 1102 + button;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  } else if (!std::strcmp(verb, "wait-rows")) {
    bool ok = WaitFor([&] {
      RECT r;
      GetWindowRect(w, &r);
      return IsWindowVisible(w) && r.bottom - r.top == row * 10 + 18;
    }, 10000);
    return ok ? 0 : 1;
  } else if (!std::strcmp(verb, "close")) {
    PostMessageW(w, WM_CLOSE, 0, 0);
  } else {
    std::fprintf(stderr, "veloma_poke: unknown command %s\n", verb);
    return 2;
  }
  return 0;
}
