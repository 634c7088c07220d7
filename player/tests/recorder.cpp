// tunlo_recorder.exe: stands for an external player in the tests. It appends its command line
// (after the program name) as one UTF-8 line to the file named by TUNLO_RECORD_FILE.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain() {
  const wchar_t* line = GetCommandLineW();
  // Skip the program name, quoted or not, and the blanks after it.
  bool quoted = *line == L'"';
  if (quoted) ++line;
  while (*line && (quoted ? *line != L'"' : *line != L' ')) ++line;
  if (quoted && *line) ++line;
  while (*line == L' ') ++line;
  wchar_t file[MAX_PATH];
  if (!GetEnvironmentVariableW(L"TUNLO_RECORD_FILE", file, MAX_PATH)) return 1;
  int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8.data(), n, nullptr, nullptr);
  FILE* f = _wfopen(file, L"ab");
  if (!f) return 1;
  std::fprintf(f, "%s\n", utf8.c_str());
  std::fclose(f);
  return 0;
}
