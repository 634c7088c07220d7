// Fuzz harness: detection and the full walk of every volume over arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "archiveformats/diskimage/core/image_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  oculo::MemorySource source(data, size);
  oculo::ImageReader reader(source, oculo::AsciiLongNames);
  if (!reader.Detect()) return 0;
  oculo::ImageItem item;
  size_t items = 0;
  while (reader.Next(item)) {
    if (item.name.size() > 1023 + 1024) __builtin_trap();  // folder path cap plus one name
    ++items;
  }
  (void)items;
  return 0;
}
