// The header reader over arbitrary file contents: never reads past what the file holds.
#include <cstdint>
#include <cstring>

#include "launcher/core/launch.h"

namespace {
class MemoryFile : public lofter::ByteReader {
 public:
  MemoryFile(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    if (offset >= size_) return 0;
    size_t n = size_ - static_cast<size_t>(offset) < size ? size_ - static_cast<size_t>(offset) : size;
    std::memcpy(buffer, data_ + offset, n);
    return n;
  }
 private:
  const uint8_t* data_;
  size_t size_;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFile file(data, size);
  int kind = lofter::ExecutableKind(file);
  if (kind < 0 || kind > 0xFFFF) __builtin_trap();
  return 0;
}
