// Veloma.exe against the stand-in copy service, driven like a user with mouse messages.
#include <windows.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

std::wstring WinPath(const char* unixPath) {
  std::wstring w = L"Z:";
  for (const char* p = unixPath; *p; ++p) w.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
  return w;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
  for (int waited = 0; waited < timeoutMs; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

std::string ReadFileText(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(h);
  return text;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

HANDLE Start(const std::wstring& commandLine) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

HWND Indicator() { return FindWindowW(L"Veloma", L"Veloma"); }

// Whether the indicator's tooltip is on the screen.
bool TooltipShown() {
  DWORD pid = 0;
  GetWindowThreadProcessId(Indicator(), &pid);
  for (HWND w = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr); w;
       w = FindWindowExW(nullptr, w, L"tooltips_class32", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid && IsWindowVisible(w)) return true;
  }
  return false;
}

// A dialog of the indicator's process with this title; other programs on the same desktop may
// show dialogs of the same name.
HWND DialogOfIndicator(const wchar_t* title) {
  DWORD pid = 0;
  HWND indicator = Indicator();
  if (!indicator) return nullptr;
  GetWindowThreadProcessId(indicator, &pid);
  for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", title); w; w = FindWindowExW(nullptr, w, L"#32770", title)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid) return w;
  }
  return nullptr;
}

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

class VelomaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Veloma");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    dir_ = std::wstring(temp) + L"veloma-test-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(dir_.c_str(), nullptr);
    log_ = dir_ + L"ferry.log";
    snapshot_ = dir_ + L"frame.png";
    SetEnvironmentVariableW(L"VELOMA_SNAPSHOT", snapshot_.c_str());
    SetEnvironmentVariableW(L"VELOMA_FAULT", nullptr);
    GdiplusStartupInput input;
    GdiplusStartup(&gdiplus_, &input, nullptr);
  }

  void TearDown() override {
    HWND w = Indicator();
    if (veloma_ && w) PostMessageW(w, WM_CLOSE, 0, 0);
    if (veloma_ && WaitForSingleObject(veloma_, 5000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "Veloma did not end after WM_CLOSE";
      TerminateProcess(veloma_, 1);
    } else if (veloma_) {
      DWORD code = 1;
      GetExitCodeProcess(veloma_, &code);
      EXPECT_EQ(code, 0u) << "Veloma's exit code";
    }
    if (ferry_) {
      TerminateProcess(ferry_, 0);
      WaitForSingleObject(ferry_, 5000);
    }
    for (HANDLE h : {veloma_, ferry_})
      if (h) CloseHandle(h);
    GdiplusShutdown(gdiplus_);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Veloma");
    DeleteFileW(log_.c_str());
    DeleteFileW(snapshot_.c_str());
    DeleteFileW((snapshot_ + L".tip.txt").c_str());
    DeleteFileW((dir_ + L"scenario.txt").c_str());
    RemoveDirectoryW(dir_.c_str());
  }

  void StartFerry(const std::string& scenario) {
    std::wstring path = dir_ + L"scenario.txt";
    std::ofstream(path.c_str(), std::ios::binary) << scenario;
    ferry_ = Start(L"\"" + WinPath(FERRY_EXE) + L"\" \"" + path + L"\" \"" + log_ + L"\"");
    ASSERT_NE(ferry_, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ReadFileText(log_).find("ready") != std::string::npos; }));
  }

  // The product by default; the test build where a test reads the frame or scripts a fault.
  void StartVeloma(const char* exe = VELOMA_EXE) {
    veloma_ = Start(L"\"" + WinPath(exe) + L"\"");
    ASSERT_NE(veloma_, nullptr);
    ASSERT_TRUE(WaitFor([] { return Indicator() != nullptr; }));
  }

  std::string Log() { return ReadFileText(log_); }
  // The log without the routine polls, for failure messages.
  std::string Requests() {
    std::istringstream lines(Log());
    std::string line, kept;
    while (std::getline(lines, line))
      if (line.find(" ListJobs") == std::string::npos) kept += line + "\n";
    return kept;
  }
  bool Logged(const std::string& line) {
    return WaitFor([&] { return Log().find(line) != std::string::npos; });
  }

  static SIZE WindowSize() {
    RECT r = {};
    GetWindowRect(Indicator(), &r);
    return {r.right - r.left, r.bottom - r.top};
  }

  // A pixel of the last frame the indicator drew, as ARGB; 0 when there is no frame yet.
  ARGB Pixel(int x, int y) {
    ARGB color = 0;
    std::wstring copy = dir_ + L"frame-copy.png";
    // The frame is replaced as the window repaints; a copy taken mid-replace is tried again.
    WaitFor([&] {
      GpBitmap* bitmap = nullptr;
      if (!CopyFileW(snapshot_.c_str(), copy.c_str(), FALSE)) return false;
      if (GdipCreateBitmapFromFile(copy.c_str(), &bitmap) == Ok) {
        GdipBitmapGetPixel(bitmap, x, y, &color);
        GdipDisposeImage(bitmap);
      }
      DeleteFileW(copy.c_str());
      return color != 0;
    }, 2000);
    return color;
  }

  std::wstring dir_, log_, snapshot_;
  HANDLE ferry_ = nullptr, veloma_ = nullptr;
  ULONG_PTR gdiplus_ = 0;
};

constexpr ARGB kBarEmpty = 0xFFD2F5FF, kBarOutline = 0xFFA3D1D1;

TEST_F(VelomaTest, ShowsTheJobsAndSendsTheUsersCommands) {
  StartFerry(
      "at 0 add 11 kind=copy total=1000 percent=0 src=\"C:\\Data\\film.mkv\" dst=\"D:\\Backup\"\n"
      "at 0 add 12 kind=copy total=1000 percent=50 question=1 token=1122334455667788 src=C:\\a.txt dst=E:\\a.txt\n"
      "at 0 add 13 kind=move total=5000 percent=100 src=C:\\b.txt dst=E:\\\n");
  StartVeloma(VELOMA_TEST_EXE);
  HWND w = Indicator();
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(w) && WindowSize().cy == 3 * 10 + 18; }));
  EXPECT_EQ(WindowSize().cx, 250 + 8);

  // Row 0 at 0 %: an empty bar inside its outline. Row 2 at 100 %: the gradient fills the row.
  ASSERT_TRUE(WaitFor([&] { return Pixel(100, 29) != kBarEmpty && Pixel(100, 29) != 0; }));
  EXPECT_EQ(Pixel(100, 9), kBarEmpty);
  EXPECT_EQ(Pixel(4, 9), kBarOutline);
  EXPECT_EQ(Pixel(100, 4), kBarOutline);
  for (int x : {5, 100, 252}) {
    ARGB top = Pixel(x, 25), bottom = Pixel(x, 33);
    EXPECT_NE(top, kBarEmpty) << x;
    EXPECT_GT((bottom >> 8) & 0xFF, (bottom >> 16) & 0xFF) << "green at the bottom of the bar, x " << x;
    EXPECT_GT((top >> 16) & 0xFF, (bottom >> 16) & 0xFF) << "lighter at the top, x " << x;
  }

  // Hovering a row asks for its details at every poll and shows them in the tooltip.
  PostMessageW(w, WM_MOUSEMOVE, 0, At(60, 9));
  EXPECT_TRUE(WaitFor([&] { return Count(Log(), "GetJobDetails 11") >= 3; })) << Requests();
  // The snapshot switch also keeps the text the tooltip last asked for.
  std::string tip;
  EXPECT_TRUE(WaitFor([&] {
    return TooltipShown() && (tip = ReadFileText(snapshot_ + L".tip.txt")).find("0% (0 байт из 1000 байт) 0 байт/с") != std::string::npos;
  })) << tip;
  EXPECT_EQ(tip.rfind("Копирование \nиз C:\\Data\\film.mkv\nв D:\\Backup\n", 0), 0u) << tip;
  PostMessageW(w, WM_MOUSEMOVE, 0, At(60, 40));  // below the rows: nothing hovered
  EXPECT_TRUE(WaitFor([&] { return !TooltipShown(); })) << "the tip hides";

  PostMessageW(w, WM_LBUTTONUP, 0, At(50, 9));
  EXPECT_TRUE(Logged("TogglePause 11 -> paused"));
  PostMessageW(w, WM_LBUTTONUP, 0, At(50, 19));  // a job with a question ignores a click

  // "Закрыть" leaves the question pending; the first button with the check box overwrites all.
  PostMessageW(w, WM_LBUTTONDBLCLK, 0, At(50, 19));
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = DialogOfIndicator(L"Ошибка")) != nullptr; }));
  wchar_t text[512] = {};
  GetDlgItemTextW(dialog, 1101, text, 512);
  EXPECT_EQ(std::wstring(text).rfind(L"Такой файл уже существует\r\n\r\nИсходный: a.txt\r\nРазмер: 0\r\n", 0), 0u)
      << "the file is not on this disk: size 0";
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitFor([&] { return DialogOfIndicator(L"Ошибка") == nullptr; }));

  PostMessageW(w, WM_LBUTTONDBLCLK, 0, At(50, 19));
  ASSERT_TRUE(WaitFor([&] { return (dialog = DialogOfIndicator(L"Ошибка")) != nullptr; }));
  SendDlgItemMessageW(dialog, 1102, BM_SETCHECK, BST_CHECKED, 0);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1103, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1103)));
  EXPECT_TRUE(Logged("Answer 12 code=0x80000001 token=1122334455667788\n")) << Requests();

  PostMessageW(w, WM_MBUTTONUP, 0, At(50, 29));
  EXPECT_TRUE(Logged("AbortJob 13\n")) << Requests();
  EXPECT_TRUE(WaitFor([&] { return WindowSize().cy == 2 * 10 + 18; })) << "the aborted job's row goes when the service drops it";

  std::string log = Log();
  EXPECT_EQ(Count(log, "Answer"), 1u) << Requests();
  EXPECT_EQ(Count(log, "TogglePause 12"), 0u) << Requests();

  // Dragged past the left edge of the work area, the window sits exactly on it.
  RECT area;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  SetWindowPos(w, nullptr, area.left - 40, 500, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT r = {};
  EXPECT_TRUE(WaitFor([&] { return GetWindowRect(w, &r) && r.left == area.left && r.top == 500; }))
      << r.left << "," << r.top;

  // Sizing with two jobs shown: 100 pixels wider and two rows of 20 pixels.
  GetWindowRect(w, &r);
  RECT sizing = {r.left, r.top, r.right + 100, r.top + 2 * 20 + 18};
  SendMessageW(w, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&sizing));

  // Settings are written at exit, with the window's position and bar size.
  SetWindowPos(w, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageW(w, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(veloma_, 5000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(veloma_, &code);
  EXPECT_EQ(code, 0u);
  DWORD value = 0, size = sizeof value;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Veloma", L"Wndpos", RRF_RT_REG_DWORD, nullptr, &value, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, (200u << 16) | 300u);
  size = sizeof value;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Veloma", L"Linewidth", RRF_RT_REG_DWORD, nullptr, &value, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 350u);
  size = sizeof value;
  RegGetValueW(HKEY_CURRENT_USER, L"Software\\Veloma", L"Lineheight", RRF_RT_REG_DWORD, nullptr, &value, &size);
  EXPECT_EQ(value, 20u);
  BYTE colors[64];
  DWORD colorsSize = sizeof colors;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Veloma", L"Colors", RRF_RT_REG_BINARY, nullptr, colors, &colorsSize),
            ERROR_SUCCESS);
  EXPECT_EQ(colorsSize, 48u);
}

TEST_F(VelomaTest, SecondStartWakesTheFirstAndAnAbsentServiceIsRetried) {
  StartVeloma();  // no service yet: every poll finds no pipe
  HWND w = Indicator();
  Sleep(1200);
  EXPECT_FALSE(IsWindowVisible(w)) << "no jobs: the window stays hidden";

  HANDLE second = Start(L"\"" + WinPath(VELOMA_EXE) + L"\"");
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(WaitForSingleObject(second, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(second, &code);
  CloseHandle(second);
  EXPECT_EQ(code, 42u);
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(w); }, 3000)) << "the first instance shows itself";
  EXPECT_EQ(Indicator(), w) << "no second window";

  StartFerry("at 0 add 5 kind=delete total=21 done=7 src=C:\\Temp\\old\n");
  EXPECT_TRUE(WaitFor([&] { return WindowSize().cy == 28; })) << "the service is found at a later poll";
  EXPECT_TRUE(Logged("GetJobDetails 5"));
}

DWORD Setting(const wchar_t* name) {
  DWORD value = 0, size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Veloma", name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
    return 0xFFFFFFFF;
  return value;
}

std::wstring FieldText(HWND dialog, int id) {
  wchar_t text[64] = {};
  GetDlgItemTextW(dialog, id, text, 64);
  return text;
}

TEST_F(VelomaTest, SettingsDialogChecksRangesAndSavesOnlyWhenConfirmed) {
  StartVeloma();
  HWND w = Indicator();
  auto openSettings = [&] {
    HWND dialog = nullptr;
    PostMessageW(w, WM_COMMAND, 40008, 0);  // "Настройки..." of the context menu
    // Found as soon as it exists; its fields are filled in a moment later.
    EXPECT_TRUE(WaitFor([&] {
      return (dialog = DialogOfIndicator(L"Настройки")) != nullptr && !FieldText(dialog, 1010).empty();
    }));
    return dialog;
  };
  HWND dialog = openSettings();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(FieldText(dialog, 1006), L"10") << "opacity 229 shows as 10 % transparency";
  EXPECT_EQ(FieldText(dialog, 1008), L"70");
  EXPECT_EQ(FieldText(dialog, 1010), L"500");
  SetDlgItemTextW(dialog, 1010, L"3001");
  EXPECT_TRUE(WaitFor([&] { return FieldText(dialog, 1010) == L"500"; })) << "out of range: the last valid value returns";
  SetDlgItemTextW(dialog, 1006, L"0");
  SetDlgItemTextW(dialog, 1008, L"90");
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([&] { return DialogOfIndicator(L"Настройки") == nullptr; }));
  EXPECT_TRUE(WaitFor([] { return Setting(L"AlphaHover") == 255; })) << "saved when confirmed";
  EXPECT_EQ(Setting(L"AlphaNoHover"), 26u);
  EXPECT_EQ(Setting(L"Fadetime"), 500u);

  // The about box tells the product, rights and version from the version resource.
  PostMessageW(w, WM_COMMAND, 40009, 0);
  HWND about = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    return (about = DialogOfIndicator(L"О программе")) != nullptr && !FieldText(about, 0xFFFF).empty();
  }));
  wchar_t aboutText[256] = {};
  GetDlgItemTextW(about, 0xFFFF, aboutText, 256);
  EXPECT_NE(std::wstring(aboutText).find(L"Veloma\n"), std::wstring::npos) << aboutText;
  EXPECT_NE(std::wstring(aboutText).find(L"\nВерсия 1.0.0.0"), std::wstring::npos) << aboutText;
  PostMessageW(about, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([&] { return DialogOfIndicator(L"О программе") == nullptr; }));

  dialog = openSettings();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(FieldText(dialog, 1006), L"0");
  SetDlgItemTextW(dialog, 1010, L"1000");
  SetDlgItemTextW(dialog, 1014, L"0");
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitFor([&] { return DialogOfIndicator(L"Настройки") == nullptr; }));
  PostMessageW(w, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(veloma_, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(Setting(L"Fadetime"), 500u) << "cancel puts the old values back";
  EXPECT_EQ(Setting(L"NoNotifyTime"), 10000u);
  EXPECT_EQ(Setting(L"AlphaHover"), 255u);
}

TEST_F(VelomaTest, ProductHasNoSnapshotSwitch) {
  StartFerry("at 0 add 4 kind=copy total=1000 percent=30 src=C:\\a\n");
  StartVeloma();  // with VELOMA_SNAPSHOT set, as for the test build
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(Indicator()) && WindowSize().cy == 28; }));
  PostMessageW(Indicator(), WM_MOUSEMOVE, 0, At(60, 9));
  EXPECT_TRUE(WaitFor([&] { return Count(Log(), "GetJobDetails 4") >= 3; })) << Requests();
  EXPECT_EQ(GetFileAttributesW(snapshot_.c_str()), INVALID_FILE_ATTRIBUTES) << "no frame written";
  EXPECT_EQ(GetFileAttributesW((snapshot_ + L".tip.txt").c_str()), INVALID_FILE_ATTRIBUTES) << "no tip text";
}

// A failure inside a procedure that Windows calls ends that one action, never the program; the
// test build throws once where VELOMA_FAULT says.
TEST_F(VelomaTest, FailedPollIsDroppedAndTheNextOneShowsTheJobs) {
  SetEnvironmentVariableW(L"VELOMA_FAULT", L"poll");
  StartFerry("at 0 add 8 kind=copy total=1000 percent=30 src=C:\\a\n");
  StartVeloma(VELOMA_TEST_EXE);
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(Indicator()) && WindowSize().cy == 28; })) << Requests();
  EXPECT_EQ(WaitForSingleObject(veloma_, 0), WAIT_TIMEOUT) << "still running";
}

TEST_F(VelomaTest, FailedQuestionDialogSendsNothingAndTheNextOneWorks) {
  SetEnvironmentVariableW(L"VELOMA_FAULT", L"question");
  StartFerry("at 0 add 9 kind=copy total=10 question=4 token=0102030405060708 src=C:\\a dst=D:\\a\n");
  StartVeloma(VELOMA_TEST_EXE);
  HWND w = Indicator();
  ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(w) && WindowSize().cy == 28; }));
  PostMessageW(w, WM_LBUTTONDBLCLK, 0, At(50, 9));
  ASSERT_TRUE(WaitFor([&] { return Count(Log(), "GetJobDetails 9") >= 2; })) << "the dialog asked for the details";
  Sleep(500);
  EXPECT_EQ(DialogOfIndicator(L"Ошибка"), nullptr) << "the failed dialog is gone";
  ASSERT_EQ(WaitForSingleObject(veloma_, 0), WAIT_TIMEOUT) << "still running";
  PostMessageW(w, WM_LBUTTONDBLCLK, 0, At(50, 9));
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = DialogOfIndicator(L"Ошибка")) != nullptr; }));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1104, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1104)));
  EXPECT_TRUE(Logged("Answer 9 code=0x00000007 token=0102030405060708\n")) << Requests();
  EXPECT_EQ(Count(Log(), "Answer"), 1u) << Requests();
}

TEST_F(VelomaTest, FailedSettingsDialogEndsAsCancelled) {
  SetEnvironmentVariableW(L"VELOMA_FAULT", L"settings");
  StartVeloma(VELOMA_TEST_EXE);
  HWND w = Indicator();
  PostMessageW(w, WM_COMMAND, 40008, 0);
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = DialogOfIndicator(L"Настройки")) != nullptr && !FieldText(dialog, 1010).empty(); }));
  SetDlgItemTextW(dialog, 1010, L"1000");
  ASSERT_TRUE(WaitFor([&] { return FieldText(dialog, 1010) == L"1000"; }));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1023, BN_CLICKED), 0);  // "Тест" fails
  EXPECT_TRUE(WaitFor([&] { return DialogOfIndicator(L"Настройки") == nullptr; })) << "the dialog ended";
  ASSERT_EQ(WaitForSingleObject(veloma_, 0), WAIT_TIMEOUT) << "still running";
  PostMessageW(w, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(veloma_, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(Setting(L"Fadetime"), 500u) << "the edit went back with the failed dialog";
}

TEST_F(VelomaTest, FailedBeepEditorLeavesTheTextAndTheSettingsDialogOpen) {
  SetEnvironmentVariableW(L"VELOMA_FAULT", L"beeps");
  StartVeloma(VELOMA_TEST_EXE);
  HWND w = Indicator();
  PostMessageW(w, WM_COMMAND, 40008, 0);
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = DialogOfIndicator(L"Настройки")) != nullptr && !FieldText(dialog, 1010).empty(); }));
  // "Настраиваемый..." in the pattern list opens the beep editor.
  SendDlgItemMessageW(dialog, 1021, CB_SETCURSEL, 16, 0);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1021, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1021)));
  HWND editor = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (editor = DialogOfIndicator(L"Редактор писков")) != nullptr; }));
  SetDlgItemTextW(editor, 1202, L"1000 200");
  PostMessageW(editor, WM_COMMAND, MAKEWPARAM(1203, BN_CLICKED), 0);  // "Тест" fails
  EXPECT_TRUE(WaitFor([&] { return DialogOfIndicator(L"Редактор писков") == nullptr; })) << "the editor ended";
  ASSERT_EQ(WaitForSingleObject(veloma_, 0), WAIT_TIMEOUT) << "still running";
  EXPECT_NE(DialogOfIndicator(L"Настройки"), nullptr) << "the settings dialog goes on";
  PostMessageW(DialogOfIndicator(L"Настройки"), WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([&] { return DialogOfIndicator(L"Настройки") == nullptr; }));
  PostMessageW(w, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(veloma_, 5000), WAIT_OBJECT_0);
  wchar_t text[64] = {};
  DWORD size = sizeof text;
  LSTATUS found = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Veloma", L"NotifyCustomBeeps0", RRF_RT_REG_SZ, nullptr,
                               text, &size);
  EXPECT_NE(found, ERROR_SUCCESS) << "the failed editor confirmed no text: " << found;
}

// The service fails in a scripted way from 1.5 s to 9 s of its run; a job added meanwhile shows
// only after. Throughout, the indicator keeps its rows and answers the window manager (an
// exchange that gets no answer fails after a few seconds instead of holding the window for ever).
class ServiceFaultTest : public VelomaTest {
 protected:
  void ComesThrough(const std::string& fault, const std::string& logged) {
    StartVeloma();  // first, so that the service's clock starts when the indicator is there
    HWND w = Indicator();
    StartFerry("at 0 add 1 kind=copy total=1000 percent=10 src=C:\\a\n"
               "at 1500 fault " + fault + "\n"
               "at 1600 add 2 kind=copy total=1000 percent=20 src=C:\\b\n"
               "at 9000 fault none\n");
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(w) && WindowSize().cy == 28; })) << Requests();
    ASSERT_TRUE(Logged(logged)) << Log();
    EXPECT_EQ(WindowSize().cy, 28) << "the table stays as it was";
    for (int i = 0; i < 2; ++i) {
      DWORD_PTR ignored = 0;
      EXPECT_NE(SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored), 0)
          << "the window answers during the fault";
    }
    EXPECT_TRUE(WaitFor([&] { return WindowSize().cy == 38; }, 20000)) << "the service is heard again\n" << Log();
  }
};

TEST_F(ServiceFaultTest, BusyPipe) { ComesThrough("busy", "busy: every instance taken"); }
TEST_F(ServiceFaultTest, ShortReply) { ComesThrough("short", "(short reply"); }
TEST_F(ServiceFaultTest, ListReplyWithAHugeCount) { ComesThrough("huge", "(count 4294967295)"); }
TEST_F(ServiceFaultTest, ListReplyWithMoreRecordsNamedThanSent) { ComesThrough("huge count=4000", "(count 4000)"); }
TEST_F(ServiceFaultTest, ServiceThatNeverAnswers) { ComesThrough("silent", "(no answer)"); }

}  // namespace
