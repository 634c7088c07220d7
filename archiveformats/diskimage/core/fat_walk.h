// Walking one FAT12/16/32 volume depth first in directory order, one item per call, long names
// included. Every size the image controls is capped and every chain is checked, so a hostile
// volume ends its items early instead of looping, overrunning or allocating without bound.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archiveformats/diskimage/core/byte_source.h"
#include "archiveformats/diskimage/core/detect.h"

namespace oculo {

// Converts a long name (UTF-16, as stored) to the 8-bit OEM text the archive plugin shows.
// Characters without an OEM form become whatever the converter chooses (usually "?").
using LongNameConverter = std::function<std::string(std::u16string_view)>;

// The default converter: ASCII kept, everything else "?".
std::string AsciiLongNames(std::u16string_view name);

// One item of an image, in the terms of the directory entry it came from.
struct ImageItem {
  std::string name;       // full item path, 8-bit OEM text ("C:\DOCS\LETTER.TXT", "DOCS\LETTER.TXT")
  std::string shortName;  // the 8.3 name
  uint32_t attributes = 0;
  uint16_t createDate = 0, createTime = 0;  // DOS date and time words, local time
  uint16_t accessDate = 0;
  uint16_t writeDate = 0, writeTime = 0;
  uint32_t size = 0;
  bool nameOnly = false;  // the "descript.ion" item: only `name` carries a value
};

// Limits on what a volume can make the walker do.
constexpr size_t kMaxDirectoryBytes = size_t{65536} * 32;  // 65536 entries: the FAT limit
constexpr size_t kMaxPathChars = 1023;                     // folder path text, "\" included

constexpr uint32_t kAttrVolumeLabel = 0x08;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint8_t kAttrLongName = 0x0F;

class VolumeWalker {
 public:
  // `volumeNumber` is 1-based on a partitioned image (it gives the drive letter), 0 otherwise.
  VolumeWalker(ByteSource& source, const Volume& volume, int volumeNumber,
               const LongNameConverter& convert);
  ~VolumeWalker();
  VolumeWalker(const VolumeWalker&) = delete;
  VolumeWalker& operator=(const VolumeWalker&) = delete;

  // The next item of the volume: true with `item` filled, false at the end of the volume (also
  // when the volume is damaged, not FAT, or a read fails).
  bool Next(ImageItem& item);

  // Number of directory clusters read so far (each at most once).
  uint64_t ClustersRead() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The VFAT checksum of the 11 name bytes of a short entry.
uint8_t ShortNameChecksum(const uint8_t* name11);

}  // namespace oculo
