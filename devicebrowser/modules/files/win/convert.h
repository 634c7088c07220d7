// Texts across the file panel's shell: the host's 8-bit OEM texts, the ANSI code page, and the
// device's UTF-16 paths (wchar_t on Windows, char16_t in the portable cores).
#pragma once

#include <windows.h>

#include <string>

namespace handrel::files {

inline std::wstring FromCodePage(UINT codePage, const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

inline std::string ToCodePage(UINT codePage, const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

inline std::wstring FromOem(const std::string& text) { return FromCodePage(CP_OEMCP, text); }
inline std::string ToOem(const std::wstring& text) { return ToCodePage(CP_OEMCP, text); }
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
