// Small text helpers shared by the portable cores (no Win32 here).
#pragma once

#include <cstdint>
#include <string>

namespace kel {

// `format` with its first conversion filled with `value`: "%d", "%u", or "%x" / "%X" with an
// optional zero-padded width ("0x%08X" shows a system error code). Language texts are the user's
// to edit: they are never handed to printf, so any other "%" in one is shown as it stands.
inline std::u16string FormatNumber(const std::u16string& format, long long value) {
  for (size_t at = format.find(u'%'); at != std::u16string::npos; at = format.find(u'%', at + 1)) {
    size_t i = at + 1;
    bool zero = i < format.size() && format[i] == u'0';
    if (zero) ++i;
    size_t width = 0;
    while (i < format.size() && format[i] >= u'1' && format[i] <= u'9' && width < 10) width = width * 10 + static_cast<size_t>(format[i++] - u'0');
    if (i >= format.size()) break;
    char16_t conv = format[i];
    std::string digits;
    if (conv == u'd') {
      digits = std::to_string(value);
    } else if (conv == u'u') {
      digits = std::to_string(static_cast<uint32_t>(value));
    } else if (conv == u'x' || conv == u'X') {
      const char* hex = conv == u'x' ? "0123456789abcdef" : "0123456789ABCDEF";
      uint32_t v = static_cast<uint32_t>(value);
      do {
        digits.insert(digits.begin(), hex[v & 15]);
        v >>= 4;
      } while (v);
    } else {
      continue;
    }
    if (digits.size() < width) digits.insert(0, width - digits.size(), zero ? '0' : ' ');
    std::u16string out = format.substr(0, at);
    for (char c : digits) out += static_cast<char16_t>(c);
    out.append(format, i + 1, std::u16string::npos);
    return out;
  }
  return format;
}

}  // namespace kel
