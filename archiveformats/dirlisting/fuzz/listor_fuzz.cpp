// Fuzz harness: detection and every item of an arbitrary listing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "archiveformats/dirlisting/core/listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  listor::IsListing(data, size);
  listor::ListingParser parser(std::string_view(reinterpret_cast<const char*>(data), size));
  listor::ListingItem item;
  while (parser.Next(item)) {
    if (item.name.size() > listor::kMaxNameBytes) __builtin_trap();
    if (parser.VolumeText().size() > listor::kMaxLineBytes + 64) __builtin_trap();
  }
  return 0;
}
