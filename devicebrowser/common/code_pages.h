// The conversions between the host's 8-bit texts (in the console's OEM or the ANSI code page) and
// UTF-16, in one place for the device browser's modules and the pieces they share.
#pragma once

#include <windows.h>

#include <string>

namespace handrel {

inline std::wstring FromCodePage(UINT codePage, const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}
// A terminated text; null gives an empty one.
inline std::wstring FromCodePage(UINT codePage, const char* text) {
  return text ? FromCodePage(codePage, std::string(text)) : std::wstring();
}

inline std::string ToCodePage(UINT codePage, const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

inline std::wstring FromOem(const std::string& text) { return FromCodePage(CP_OEMCP, text); }
inline std::string ToOem(const std::wstring& text) { return ToCodePage(CP_OEMCP, text); }

}  // namespace handrel
