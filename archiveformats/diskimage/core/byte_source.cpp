#include "archiveformats/diskimage/core/byte_source.h"

#include <cstring>

namespace oculo {

size_t MemorySource::ReadAt(uint64_t offset, uint8_t* out, size_t count) {
  if (count == 0 || offset >= size_) return 0;  // an empty buffer may have no address
  size_t avail = size_ - static_cast<size_t>(offset);
  size_t n = count < avail ? count : avail;
  std::memcpy(out, data_ + offset, n);
  return n;
}

}  // namespace oculo
