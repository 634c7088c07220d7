// A console program that records how it was started: the launcher's tests read its line back.
// The line goes to the file named by LOFTER_PROBE_LOG: the command line, the working folder, the
// show mode it was given, and whether it shares a console with its parent.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain() {
  wchar_t log[MAX_PATH];
  if (!GetEnvironmentVariableW(L"LOFTER_PROBE_LOG", log, MAX_PATH)) return 3;
  wchar_t self[MAX_PATH], cwd[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  GetCurrentDirectoryW(MAX_PATH, cwd);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  GetStartupInfoW(&si);
  DWORD mode = 0;
  bool console = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  std::wstring line = std::wstring(L"exe=") + self + L"\tcmd=" + GetCommandLineW() + L"\tcwd=" + cwd +
                      L"\tshow=" + std::to_wstring((si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1) +
                      L"\tconsole=" + (console ? L"yes" : L"no") + L"\tmode=" + std::to_wstring(mode) + L"\n";
  // Appended in one write under a lock, so runs that overlap never interleave their lines.
  HANDLE f = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 4;
  int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), n, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return 0;
}
