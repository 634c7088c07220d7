// Texts across the file panel's shell: the device's UTF-16 paths (wchar_t on Windows, char16_t in
// the portable cores), host name fields and folders; the code pages are code_pages.h's.
#pragma once

#include <windows.h>

#include <string>

#include "devicebrowser/common/code_pages.h"

namespace handrel::files {

inline std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
inline std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

// An 8-bit name field of a host record, read only up to its size.
inline std::string FieldText(const char* field, size_t size) {
  size_t n = 0;
  while (n < size && field[n]) ++n;
  return std::string(field, n);
}

// Two device or local folders the same without regard to case.
inline bool SameFolder(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

inline std::wstring WithBackslash(std::wstring path) {
  if (path.empty() || path.back() != L'\\') path += L'\\';
  return path;
}

}  // namespace handrel::files
