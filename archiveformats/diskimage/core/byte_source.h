// The one seam between the image walker and the place the image lives: "read N bytes at offset".
// The Win32 module reads a file handle; tests, the fuzzer and the benchmark read memory or a
// POSIX file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace oculo {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Size of the image in bytes.
  virtual uint64_t Size() const = 0;
  // Reads up to `count` bytes at `offset` into `out`. Returns the number of bytes read: fewer
  // than asked at the end of the image, 0 past the end or on a read error.
  virtual size_t ReadAt(uint64_t offset, uint8_t* out, size_t count) = 0;
};

// An image held in memory (tests and fuzzing). The bytes must outlive the source.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit MemorySource(const std::vector<uint8_t>& bytes) : data_(bytes.data()), size_(bytes.size()) {}
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, uint8_t* out, size_t count) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace oculo
