// A device program for the emulator's process tests: writes its command line and working folder
// to "program.out" in its working folder (the device root) and exits with the number given as
// its last argument.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  std::wstring text = GetCommandLineW();
  text += L"\n";
  text += folder;
  HANDLE f = CreateFileW(L"program.out", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(f);
  }
  return argc > 1 ? static_cast<int>(wcstol(argv[argc - 1], nullptr, 10)) : 0;
}
