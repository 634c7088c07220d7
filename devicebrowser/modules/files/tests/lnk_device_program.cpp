// A device program for the tests: appends the command line it was started with (UTF-8, one line)
// to "started.log" in its working folder, which the emulated device makes its root.
#include <windows.h>

#include <cstdio>

int wmain() {
  const wchar_t* line = GetCommandLineW();
  char utf8[4096];
  int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof utf8, nullptr, nullptr);
  if (n <= 0) return 1;
  FILE* log = _wfopen(L"started.log", L"ab");
  if (!log) return 1;
  std::fprintf(log, "%s\n", utf8);
  std::fclose(log);
  return 0;
}
