// Little-endian loads and stores and bounded UTF-16 texts over byte buffers. Request and answer
// fields are never read or written through struct casts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace handrel {

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Store64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void Append32(std::vector<uint8_t>& out, uint32_t v) {
  size_t at = out.size();
  out.resize(at + 4);
  Store32(out.data() + at, v);
}
// Appends the text's units and, when asked, a zero terminator.
inline void AppendText(std::vector<uint8_t>& out, const std::u16string& text, bool terminate = true) {
  size_t at = out.size();
  out.resize(at + 2 * (text.size() + (terminate ? 1 : 0)));
  for (size_t i = 0; i < text.size(); ++i) Store16(out.data() + at + 2 * i, text[i]);
  if (terminate) Store16(out.data() + at + 2 * text.size(), 0);
}

// A UTF-16 text at the start of [p, p + n): up to the first zero unit or the last whole unit.
// `terminated` tells whether a zero unit ended it; `consumed` is the bytes used, terminator
// included.
struct BoundedText {
  std::u16string text;
  bool terminated = false;
  size_t consumed = 0;
};
inline BoundedText ReadText(const uint8_t* p, size_t n) {
  BoundedText r;
  size_t i = 0;
  for (; i + 1 < n; i += 2) {
    char16_t unit = static_cast<char16_t>(Load16(p + i));
    if (unit == 0) {
      r.terminated = true;
      i += 2;
      break;
    }
    r.text.push_back(unit);
  }
  r.consumed = i;
  return r;
}

// ASCII text as UTF-16 (every text of ours is ASCII).
inline std::u16string Ascii(const char* s) {
  std::u16string r;
  for (; *s; ++s) r.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
  return r;
}
// "0x%08X" (upper) or "0x%08x" (lower).
inline std::u16string Hex8(uint32_t v, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::u16string r = u"0x";
  for (int shift = 28; shift >= 0; shift -= 4) r.push_back(static_cast<char16_t>(digits[(v >> shift) & 15]));
  return r;
}
inline std::u16string Decimal(int64_t v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

}  // namespace handrel

namespace handrel {
// A text answer: the UTF-16 units and their terminating zero.
inline std::vector<uint8_t> TextAnswer(const std::u16string& text) {
  std::vector<uint8_t> out;
  AppendText(out, text);
  return out;
}
}  // namespace handrel
