// One conformance check for every ByteSource (memory, POSIX file, Win32 file), so the walker
// sees the same answers from each: sizes, reads anywhere, short reads at the end, nothing past it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "archiveformats/diskimage/core/byte_source.h"

// Bytes the checked source must hold: a seeded pseudo-random pattern, not a repeating one, so a
// read from the wrong offset cannot match.
inline std::vector<uint8_t> ConformanceBytes(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = 2463534242u;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x >> 24);
  }
  return bytes;
}

inline void CheckByteSource(oculo::ByteSource& source, const std::vector<uint8_t>& expected) {
  ASSERT_EQ(source.Size(), expected.size());
  const size_t n = expected.size();
  std::vector<uint8_t> buf(n + 1024, 0xCC);

  EXPECT_EQ(source.ReadAt(0, buf.data(), n), n) << "whole source";
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buf.begin()));

  struct Case { uint64_t offset; size_t count; size_t got; };
  const Case cases[] = {
      {1, 511, 511},            // unaligned
      {512, 512, 512},          // one sector
      {n / 2 + 3, 70000, 70000},
      {n - 100, 512, 100},      // runs past the end: up to the end
      {n - 1, 1, 1},            // the last byte
      {n, 1, 0},                // at the end
      {n + 4096, 16, 0},        // past the end
      {uint64_t{1} << 33, 16, 0},  // far beyond 32-bit offsets
      {7, 0, 0},                // nothing asked
  };
  for (const Case& c : cases) {
    std::fill(buf.begin(), buf.end(), 0xCC);
    size_t got = source.ReadAt(c.offset, buf.data(), c.count);
    EXPECT_EQ(got, c.got) << "offset " << c.offset << " count " << c.count;
    for (size_t i = 0; i < got && i < c.count; ++i) {
      if (buf[i] != expected[static_cast<size_t>(c.offset) + i]) {
        ADD_FAILURE() << "byte " << i << " of the read at " << c.offset;
        break;
      }
    }
    EXPECT_EQ(buf[got], 0xCC) << "wrote past what it read, offset " << c.offset;
  }
}
