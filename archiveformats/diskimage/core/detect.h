// Finding the volumes of a raw disk image: a partition table (nested ones included) or a lone
// boot sector within the first two 51200-byte windows of a search.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "archiveformats/diskimage/core/byte_source.h"

namespace oculo {

// Volume kinds are numbered by partition type code; a volume found without a partition table
// gets 1 (FAT12), 6 (FAT16), 11 (FAT32) or 7 (NTFS).
enum class FileSystem { Unknown, Fat12, Fat16, Fat32, Ntfs, Linux, Extended };

// What a partition type code stands for.
FileSystem FileSystemOfKind(int kind);

struct Volume {
  uint64_t offset = 0;  // byte offset of the boot sector in the image
  int kind = 0;         // partition type code
  std::array<uint8_t, 512> bootSector{};
};

struct DetectedImage {
  // true: `volumes` are the volumes of the partition tables, volume n at index n - 1 (depth
  // first, in table order). false: `volumes` holds the one volume found from a boot sector.
  bool partitioned = false;
  std::vector<Volume> volumes;
};

// Limits on what a hostile image can make detection do.
constexpr int kMaxTableNesting = 8;   // nested partition tables followed
constexpr int kMaxProbes = 64;        // sub-volumes examined per image
constexpr size_t kMaxVolumes = 24;    // drive letters C to Z

constexpr size_t kWindowBytes = 51200;  // one detection window
constexpr size_t kWindowStep = 50688;   // the second window starts here; candidates start below it

// Looks for volumes from offset 0. Returns true (and fills `image`) when the source is a disk
// image: a partition table that yields at least one volume, or a FAT or NTFS boot sector.
bool DetectImage(ByteSource& source, DetectedImage& image);

}  // namespace oculo
