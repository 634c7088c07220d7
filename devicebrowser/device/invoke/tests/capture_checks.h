// Checks of a capture answer's BMP headers, with the offsets written out as literals (not the
// core's constants), shared by the core tests and the tests on the emulated device.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace handrel::invoke::testing {

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
}

// The size of a BMP file of that picture: headers, colour table for 4 and 8 bits, padded rows.
inline size_t ExpectedBmpSize(uint32_t width, uint32_t height, uint32_t bits) {
  size_t row = ((width * bits + 31) / 32) * 4;
  return 54 + (bits <= 8 ? 4u << bits : 0) + row * height;
}

inline void ExpectCaptureHeaders(const std::vector<uint8_t>& b, uint32_t width, uint32_t height, uint32_t bits) {
  size_t row = ((width * bits + 31) / 32) * 4;
  size_t table = bits <= 8 ? 4u << bits : 0;
  ASSERT_EQ(b.size(), ExpectedBmpSize(width, height, bits));
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(Le32(b, 2), b.size());
  EXPECT_EQ(Le32(b, 6), 0u);
  EXPECT_EQ(Le32(b, 10), 54 + table);
  EXPECT_EQ(Le32(b, 14), 40u);
  EXPECT_EQ(Le32(b, 18), width);
  EXPECT_EQ(Le32(b, 22), height);
  EXPECT_EQ(b[26] | (b[27] << 8), 1);
  EXPECT_EQ(b[28] | (b[29] << 8), static_cast<int>(bits));
  EXPECT_EQ(Le32(b, 30), 0u);
  EXPECT_EQ(Le32(b, 34), row * height);
  EXPECT_EQ(Le32(b, 38), 96u);
  EXPECT_EQ(Le32(b, 42), 96u);
  EXPECT_EQ(Le32(b, 46), table / 4);
}

}  // namespace handrel::invoke::testing
