// Little-endian loads from byte buffers: on-disk structures are read field by field, never by
// casting a struct over the bytes.
#pragma once

#include <cstdint>

namespace oculo {

inline uint16_t Ld16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Ld32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace oculo
