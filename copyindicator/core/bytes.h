// Little-endian loads and stores over byte buffers; record fields are never read through casts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace veloma {

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Load64(const uint8_t* p) {
  return static_cast<uint64_t>(Load32(p)) | (static_cast<uint64_t>(Load32(p + 4)) << 32);
}
inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A UTF-16 text inside a fixed field: up to the first zero unit, and never past the field even
// when the service left out the terminator.
inline std::u16string LoadText(const uint8_t* p, size_t fieldBytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < fieldBytes; i += 2) {
    char16_t unit = static_cast<char16_t>(Load16(p + i));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace veloma
