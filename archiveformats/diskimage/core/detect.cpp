#include "archiveformats/diskimage/core/detect.h"

#include <algorithm>

#include "archiveformats/diskimage/core/boot_sector.h"
#include "archiveformats/diskimage/core/le.h"

namespace oculo {

namespace {

// Partition table: four 16-byte entries at 446.
constexpr size_t kPartitionTable = 446;
constexpr size_t kPartEntrySize = 16;
constexpr size_t kPartType = 4;
constexpr size_t kPartEndSector = 6;   // low 6 bits: CHS sector of the last sector
constexpr size_t kPartStartLba = 8;    // 32 bits, sectors from the table
constexpr size_t kPartSectors = 12;    // 32 bits, the partition's length
constexpr uint32_t kAlignedStart = 63;  // the classic first partition: one track in

bool HasSignature(const uint8_t* s) { return s[kBsSignature] == 0x55 && s[kBsSignature + 1] == 0xAA; }

bool HasNtfsName(const uint8_t* s) {
  return s[kBsOemName] == 'N' && s[kBsOemName + 1] == 'T' && s[kBsOemName + 2] == 'F' &&
         s[kBsOemName + 3] == 'S';
}

// NTFS leaves the FAT fields of the parameter block zero and sets a cluster size.
bool HasNtfsParameters(const uint8_t* s) {
  return Ld16(s + kBpbReservedSectors) == 0 && s[kBpbNumFats] == 0 && Ld16(s + kBpbRootEntries) == 0 &&
         Ld16(s + kBpbTotalSectors16) == 0 && Ld16(s + kBpbSectorsPerFat16) == 0 &&
         Ld32(s + kBpbTotalSectors32) == 0 && s[kBpbSectorsPerCluster] != 0;
}

bool IsTableCandidate(const uint8_t* s) {
  if (!HasSignature(s)) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (Ld32(s + kPartitionTable + i * kPartEntrySize + kPartStartLba) == kAlignedStart) return true;
  }
  return false;
}

unsigned DecimalAt(const uint8_t* s, size_t pos) {
  unsigned value = 0;
  for (size_t i = pos; i < pos + 5 && s[i] >= '0' && s[i] <= '9'; ++i) value = value * 10 + (s[i] - '0');
  return value;
}

// Scans the two windows from `start`; calls match(offset, candidate) for every 512-byte candidate
// that ends before `end`
// until it returns true. Returns whether one matched.
template <class Match>
bool ScanWindows(ByteSource& source, uint64_t start, uint64_t end, Match&& match) {
  std::vector<uint8_t> window(kWindowBytes);
  for (uint64_t w = 0; w < 2; ++w) {
    uint64_t base = start + w * kWindowStep;
    if (base < start) return false;  // offset wrapped
    size_t got = source.ReadAt(base, window.data(), window.size());
    if (got < 512) return false;
    size_t last = std::min(kWindowStep, got - 511);  // candidates fit in what was read
    for (size_t p = 0; p < last; ++p) {
      if (base + p + 512 > end) return false;
      if (match(base + p, window.data() + p)) return true;
    }
    if (got < window.size()) return false;  // the read reached the end of the file
  }
  return false;
}

struct Detector {
  ByteSource& source;
  std::vector<Volume>& volumes;
  int probes = 0;

  // The boot sector at a partition's offset, checked by its type code.
  bool CheckBootSector(Volume& v) {
    if (source.ReadAt(v.offset, v.bootSector.data(), 512) != 512) return false;
    const uint8_t* s = v.bootSector.data();
    switch (FileSystemOfKind(v.kind)) {
      case FileSystem::Fat12:
      case FileSystem::Fat16:
      case FileSystem::Fat32:
        return s[0] == 0xEB;
      case FileSystem::Ntfs:
        return s[0] == 0xEB && HasSignature(s) && HasNtfsName(s) && HasNtfsParameters(s);
      case FileSystem::Linux:
        return s[0] == 'L' && s[1] == 'I' && s[2] == 'N' && s[3] == 'U';
      default:
        return false;
    }
  }

  // A partition table searched from `start`; its volumes are appended. Returns whether
  // at least one volume came out of it.
  bool SearchTable(uint64_t start, uint64_t end, int depth) {
    if (depth >= kMaxTableNesting) return false;
    uint64_t tableOffset = 0;
    std::array<uint8_t, 512> table{};
    bool found = ScanWindows(source, start, end, [&](uint64_t offset, const uint8_t* s) {
      if (!IsTableCandidate(s)) return false;
      tableOffset = offset;
      std::copy(s, s + 512, table.begin());
      return true;
    });
    if (!found) return false;
    size_t before = volumes.size();
    int kept = 0;
    for (size_t i = 0; i < 4 && kept < 4; ++i) {
      const uint8_t* e = table.data() + kPartitionTable + i * kPartEntrySize;
      if ((e[kPartEndSector] & 0x3F) != 0x3F) continue;  // ends on a track's last sector
      uint32_t startLba = Ld32(e + kPartStartLba);
      if (startLba == 0) continue;  // a partition cannot start at its own table
      Volume sub;
      sub.offset = tableOffset + uint64_t{startLba} * 512;
      sub.kind = e[kPartType];
      uint64_t sectors = Ld32(e + kPartSectors);
      // A nested table belongs to the partition only when it lies inside it.
      uint64_t limit = sectors == 0 ? UINT64_MAX : sub.offset + sectors * 512;
      if (Probe(sub, limit, depth + 1)) ++kept;
    }
    return volumes.size() > before;
  }

  // A partition: a nested table makes it a container, else its boot sector decides.
  bool Probe(Volume& v, uint64_t end, int depth) {
    if (probes >= kMaxProbes || volumes.size() >= kMaxVolumes) return false;
    ++probes;
    if (v.offset >= source.Size()) return false;
    if (SearchTable(v.offset, end, depth)) return true;
    if (!CheckBootSector(v)) return false;
    if (FileSystemOfKind(v.kind) == FileSystem::Extended) return false;
    volumes.push_back(v);
    return true;
  }
};

// A boot sector without a partition table: FAT (its first FAT begins with the media byte) or NTFS.
bool SearchBootSector(ByteSource& source, Volume& out) {
  uint64_t size = source.Size();
  return ScanWindows(source, 0, UINT64_MAX, [&](uint64_t offset, const uint8_t* s) {
    if (s[0] != 0xEB && s[0] != 0xE9) return false;
    if (Ld16(s + kBpbBytesPerSector) != 512 || !HasSignature(s)) return false;
    uint64_t firstFat = offset + 512 * uint64_t{Ld16(s + kBpbReservedSectors)};
    uint8_t media = s[kBpbMedia];
    if (firstFat >= 512 && firstFat <= size) {
      uint8_t fatByte = 0;
      if (source.ReadAt(firstFat, &fatByte, 1) != 1) return false;
      if (fatByte != media && (fatByte & media) != 0xF0) return false;  // FAT starts with the media byte
    } else {
      if (!HasNtfsName(s)) return false;
      if (!HasNtfsParameters(s)) return false;
      out.offset = offset;
      out.kind = 7;
      std::copy(s, s + 512, out.bootSector.begin());
      return true;
    }
    int kind = 0;
    if (media == 0xF0) {
      kind = 1;
    } else {
      unsigned bits = DecimalAt(s, kBsFat16TypeDigits);
      if (bits == 12) {
        kind = 1;
      } else if (bits == 16) {
        kind = 6;
      } else if (DecimalAt(s, kBsFat32TypeDigits) == 32) {
        kind = 11;
      } else {
        return false;
      }
    }
    out.offset = offset;
    out.kind = kind;
    std::copy(s, s + 512, out.bootSector.begin());
    return true;
  });
}

}  // namespace

FileSystem FileSystemOfKind(int kind) {
  switch (kind) {
    case 0x01: case 0x11:
      return FileSystem::Fat12;
    case 0x04: case 0x06: case 0x0E: case 0x14: case 0x16: case 0x1E:
      return FileSystem::Fat16;
    case 0x0B: case 0x0C: case 0x1B: case 0x1C:
      return FileSystem::Fat32;
    case 0x07: case 0x17:
      return FileSystem::Ntfs;
    case 0x83:
      return FileSystem::Linux;
    case 0x05: case 0x0F: case 0x15: case 0x1F: case 0x85:
      return FileSystem::Extended;
    default:
      return FileSystem::Unknown;
  }
}

bool DetectImage(ByteSource& source, DetectedImage& image) {
  image = DetectedImage{};
  Detector detector{source, image.volumes};
  if (detector.SearchTable(0, UINT64_MAX, 0)) {
    image.partitioned = true;
    return true;
  }
  image.volumes.clear();
  Volume single;
  if (!SearchBootSector(source, single)) return false;
  image.volumes.push_back(single);
  return true;
}

}  // namespace oculo
