// Test programs of the device modules take the plugin and module libraries as arguments; the host
// stand-in and the loader want them as full Windows paths with backslashes.
#pragma once

#include <windows.h>

#include <string>

namespace handrel_test {

inline std::wstring ArgumentPath(const char* argument) {
  wchar_t given[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, argument, -1, given, MAX_PATH);
  wchar_t full[MAX_PATH];
  GetFullPathNameW(given, MAX_PATH, full, nullptr);
  for (wchar_t* c = full; *c; ++c)
    if (*c == L'/') *c = L'\\';
  return full;
}

}  // namespace handrel_test
