#include "archiveformats/diskimage/core/fat_walk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "archiveformats/diskimage/core/boot_sector.h"
#include "archiveformats/diskimage/core/le.h"

namespace oculo {

namespace {

// Directory entry fields (32 bytes).
constexpr size_t kDirEntrySize = 32;
constexpr size_t kDirName = 0;  // 8 + 3 bytes
constexpr size_t kDirAttr = 11;
constexpr size_t kDirCreateTime = 14;
constexpr size_t kDirCreateDate = 16;
constexpr size_t kDirAccessDate = 18;
constexpr size_t kDirClusterHigh = 20;
constexpr size_t kDirWriteTime = 22;
constexpr size_t kDirWriteDate = 24;
constexpr size_t kDirClusterLow = 26;
constexpr size_t kDirFileSize = 28;

// Long-name entry fields.
constexpr size_t kLfnChecksum = 13;
constexpr size_t kLfnCharOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
constexpr uint8_t kLfnLastPart = 0x40;
constexpr size_t kMaxSequence = 32;  // parts a long-name run may announce

constexpr uint8_t kDeleted = 0xE5;
constexpr uint8_t kKanjiE5 = 0x05;  // stored for a real first byte 0xE5

constexpr size_t kFatWindowBytes = 64 * 1024;

// Bytes that make an 8.3 name invalid (the entry is then treated as deleted).
constexpr std::array<bool, 256> kBadNameByte = [] {
  std::array<bool, 256> bad{};
  for (size_t c = 0; c < 256; ++c) bad[c] = c <= 31 || c >= 248;
  for (const char* p = "\"*+,/:;<=>?[\\]|"; *p; ++p) bad[static_cast<uint8_t>(*p)] = true;
  return bad;
}();
bool IsBadNameByte(uint8_t c) { return kBadNameByte[c]; }

size_t TrimmedLength(const uint8_t* p, size_t n) {
  while (n > 0 && p[n - 1] == ' ') --n;
  return n;
}

// Names never carry a path separator or a control character into the item path.
void Sanitize(std::string& name) {
  for (char& c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == '\\' || c == '/') c = '_';
  }
}

}  // namespace

std::string AsciiLongNames(std::u16string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char16_t c : name) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

uint8_t ShortNameChecksum(const uint8_t* name11) {
  uint8_t sum = 0;
  for (size_t i = 0; i < 11; ++i) {
    sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
  }
  return sum;
}

struct VolumeWalker::State {
  struct Frame {
    std::vector<uint8_t> bytes;  // the whole directory, its clusters concatenated
    size_t next = 0;             // index of the next entry to look at
    size_t pathLength = 0;       // folder path length to restore when leaving it
  };

  ByteSource& source;
  const LongNameConverter& convert;
  int volumeNumber;
  FileSystem fs = FileSystem::Unknown;
  bool usable = false;
  bool failed = false;  // a read error or an allocation failure: the volume's items end
  bool started = false;
  uint64_t imageSize = 0;
  uint64_t fatOffset = 0, rootOffset = 0, dataOffset = 0;
  uint64_t clusterSize = 0;
  uint32_t rootEntries = 0;
  uint32_t rootCluster = 0;
  uint64_t lastValid = 0;  // highest cluster number a chain may name
  std::vector<bool> visited;  // directory clusters already read: each is read once per walk
  uint64_t clustersRead = 0;
  std::vector<Frame> frames;
  std::string longPath = "\\";
  std::u16string longNameScratch;  // buffers reused from item to item
  std::string convertedScratch;

  std::vector<uint8_t> fatWindow;
  uint64_t fatWindowStart = 0;
  size_t fatWindowLength = 0;

  State(ByteSource& s, const LongNameConverter& c, int number) : source(s), convert(c), volumeNumber(number) {}

  // Volume geometry from the boot sector; false when the volume cannot be listed.
  bool Init(const Volume& v) {
    fs = FileSystemOfKind(v.kind);
    if (fs != FileSystem::Fat12 && fs != FileSystem::Fat16 && fs != FileSystem::Fat32) return false;
    const uint8_t* b = v.bootSector.data();
    uint64_t bytesPerSector = Ld16(b + kBpbBytesPerSector);
    uint64_t sectorsPerCluster = b[kBpbSectorsPerCluster];
    uint64_t sectorsPerFat = fs == FileSystem::Fat32 ? Ld32(b + kBpbSectorsPerFat32) : Ld16(b + kBpbSectorsPerFat16);
    if (bytesPerSector == 0 || sectorsPerCluster == 0 || sectorsPerFat == 0) return false;  // no sizes, no walk
    imageSize = source.Size();
    clusterSize = sectorsPerCluster * bytesPerSector;
    fatOffset = v.offset + Ld16(b + kBpbReservedSectors) * bytesPerSector;
    uint64_t fatsBytes = b[kBpbNumFats] * sectorsPerFat * bytesPerSector;
    uint64_t fatBytes = sectorsPerFat * bytesPerSector;
    uint64_t entriesInFat = 0;
    uint64_t kindMax = 0;
    if (fs == FileSystem::Fat32) {
      dataOffset = fatOffset + fatsBytes;
      rootOffset = dataOffset;
      rootCluster = Ld32(b + kBpbRootCluster);
      entriesInFat = fatBytes * 2 / 8;
      kindMax = 0xFFFFFFFF;
    } else {
      rootOffset = fatOffset + fatsBytes;
      rootEntries = Ld16(b + kBpbRootEntries);
      dataOffset = rootOffset + uint64_t{rootEntries} * kDirEntrySize;
      entriesInFat = fs == FileSystem::Fat12 ? fatBytes * 2 / 3 : fatBytes * 2 / 4;
      kindMax = fs == FileSystem::Fat12 ? 0xFFF : 0xFFFF;
    }
    if (fatOffset >= imageSize || rootOffset >= imageSize || dataOffset > imageSize) return false;
    uint64_t limit = std::min(kindMax, entriesInFat);
    if (limit < 8 + 2) return false;  // not even one data cluster
    lastValid = limit - 8;            // values above it end a chain
    // Clusters past the end of the image can never be read: no need to track them.
    uint64_t inImage = (imageSize - dataOffset) / clusterSize + 3;
    lastValid = std::min(lastValid, inImage);
    visited.assign(static_cast<size_t>(lastValid + 1), false);
    fatWindow.resize(kFatWindowBytes);
    return true;
  }

  bool IsValidCluster(uint64_t n) const { return n >= 2 && n <= lastValid; }

  // Reads `count` bytes at `offset` into `out`; `got` is what arrived. Fewer bytes are fine only
  // where the image ends; false when the read fails or starts at or past the end.
  bool ReadInImage(uint64_t offset, uint8_t* out, size_t count, size_t& got) {
    got = 0;
    if (count == 0) return true;
    if (offset >= imageSize) return false;
    uint64_t expected = std::min<uint64_t>(count, imageSize - offset);
    got = source.ReadAt(offset, out, count);
    return got == expected;
  }

  // The FAT entry of cluster n; 0 (end of chain) with `failed` set when it cannot be read.
  uint64_t FatEntry(uint64_t n) {
    uint64_t at = 0;
    size_t width = 4;
    if (fs == FileSystem::Fat12) {
      at = n * 3 / 2;
      width = 2;
    } else if (fs == FileSystem::Fat16) {
      at = n * 2;
      width = 2;
    } else {
      at = n * 4;
    }
    uint64_t pos = fatOffset + at;
    if (pos < fatWindowStart || pos + width > fatWindowStart + fatWindowLength) {
      fatWindowStart = pos;
      if (!ReadInImage(pos, fatWindow.data(), fatWindow.size(), fatWindowLength) || fatWindowLength < width) {
        fatWindowLength = 0;
        failed = true;
        return 0;
      }
    }
    const uint8_t* p = fatWindow.data() + (pos - fatWindowStart);
    if (fs == FileSystem::Fat32) return Ld32(p);
    uint16_t word = Ld16(p);
    if (fs == FileSystem::Fat16) return word;
    return (n & 1) ? (word >> 4) : (word & 0xFFF);
  }

  // Reads a directory whole. Cluster 0 on FAT12/16 is the fixed root region. false when a read
  // fails or memory runs out: the caller ends the volume's items.
  bool LoadDirectory(uint64_t firstCluster, std::vector<uint8_t>& out) {
    try {
      return LoadDirectoryBytes(firstCluster, out) && !failed;
    } catch (const std::bad_alloc&) {
      out = std::vector<uint8_t>();
      return false;
    }
  }

  bool LoadDirectoryBytes(uint64_t firstCluster, std::vector<uint8_t>& out) {
    out.clear();
    if (firstCluster == 0 && fs != FileSystem::Fat32) {
      out.resize(std::min<size_t>(rootEntries * kDirEntrySize, kMaxDirectoryBytes));
      size_t got = 0;
      if (!ReadInImage(rootOffset, out.data(), out.size(), got)) return false;
      out.resize(got);  // a root region cut by the end of the image: what is there is listed
      return true;
    }
    // The chain first: valid numbers, each cluster once, no more than a directory may hold.
    std::vector<uint64_t> chain;
    uint64_t maxClusters = (kMaxDirectoryBytes + clusterSize - 1) / clusterSize;
    for (uint64_t n = firstCluster; IsValidCluster(n) && !visited[static_cast<size_t>(n)] && chain.size() < maxClusters;) {
      visited[static_cast<size_t>(n)] = true;
      chain.push_back(n);
      uint64_t next = FatEntry(n);
      if (next == 0 || next > lastValid) break;
      n = next;
    }
    // Then the clusters, consecutive runs in one read each.
    for (size_t i = 0; i < chain.size();) {
      size_t j = i + 1;
      while (j < chain.size() && chain[j] == chain[j - 1] + 1) ++j;
      uint64_t offset = dataOffset + (chain[i] - 2) * clusterSize;
      uint64_t want64 = std::min<uint64_t>((j - i) * clusterSize, kMaxDirectoryBytes - out.size());
      size_t want = static_cast<size_t>(want64);
      size_t had = out.size();
      out.resize(had + want);
      size_t got = 0;
      if (!ReadInImage(offset, out.data() + had, want, got)) return false;
      out.resize(had + got);
      clustersRead += j - i;
      if (got < want || out.size() >= kMaxDirectoryBytes) break;  // end of file: what was read stays
      i = j;
    }
    return true;
  }

  bool Start(const Volume& v) {
    try {
      if (!Init(v)) return false;
      Frame root;
      uint64_t first = fs == FileSystem::Fat32 ? rootCluster : 0;
      if (fs == FileSystem::Fat32 && !IsValidCluster(first)) return false;
      if (!LoadDirectory(first, root.bytes)) return false;
      root.pathLength = longPath.size();
      frames.push_back(std::move(root));
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  // Enters a directory just returned, unless it names no valid cluster, is already walked or
  // too deep. A directory that cannot be read (or loaded for want of memory) ends the volume.
  void Enter(const uint8_t* e, const std::string& name) {
    uint64_t cluster = Ld16(e + kDirClusterLow);
    if (fs == FileSystem::Fat32) cluster |= uint64_t{Ld16(e + kDirClusterHigh)} << 16;
    if (!IsValidCluster(cluster) || visited[static_cast<size_t>(cluster)]) return;
    if (longPath.size() + name.size() + 1 > kMaxPathChars) return;
    try {
      Frame f;
      f.pathLength = longPath.size();
      if (!LoadDirectory(cluster, f.bytes)) {
        failed = true;
        return;
      }
      f.next = 2;  // its "." and ".." entries are not items
      frames.push_back(std::move(f));
      longPath += name;
      longPath += '\\';
    } catch (const std::bad_alloc&) {
      failed = true;
    }
  }

  // Writes the item path into `path`, reusing its buffer.
  void ItemPath(const std::string& name, std::string& path) const {
    path.clear();
    if (volumeNumber > 0) {
      path.push_back(static_cast<char>(66 + volumeNumber));
      path.push_back(':');
      path += longPath;
    } else {
      path.append(longPath, 1, std::string::npos);
    }
    path += name;
  }

  bool Next(ImageItem& item) {
    while (!failed && !frames.empty()) {
      Frame& f = frames.back();
      size_t count = f.bytes.size() / kDirEntrySize;
      if (f.next >= count) {
        longPath.resize(f.pathLength);
        frames.pop_back();
        continue;
      }
      if (NextInFrame(f, count, item)) return true;
    }
    return false;
  }

  // Looks at entries of the directory from f.next; true when one gave an item.
  bool NextInFrame(Frame& f, size_t count, ImageItem& item) {
    std::u16string& longName = longNameScratch;
    bool haveLong = false;
    uint8_t longChecksum = 0;
    while (f.next < count) {
      const uint8_t* e = f.bytes.data() + f.next * kDirEntrySize;
      if (e[kDirName] == kDeleted) {
        ++f.next;
        // A small first byte after a deleted entry counts entries that belong to it.
        if (f.next < count) {
          uint8_t follow = f.bytes[f.next * kDirEntrySize];
          if (follow <= 31) f.next = std::min(count, f.next + follow);
        }
        haveLong = false;
        continue;
      }
      if (e[kDirAttr] == kAttrLongName) {
        haveLong = ReadLongName(f, count, longName, longChecksum);
        continue;
      }
      ++f.next;
      bool applies = haveLong;
      haveLong = false;
      uint8_t first = e[kDirName] == kKanjiE5 ? kDeleted : e[kDirName];
      if (IsBadNameByte(first)) continue;
      bool bad = false;
      for (size_t i = 1; i < 8 && !bad; ++i) bad = IsBadNameByte(e[kDirName + i]);
      if (bad) continue;
      if (e[kDirAttr] & kAttrVolumeLabel) continue;

      uint8_t base[8];
      std::memcpy(base, e + kDirName, 8);
      base[0] = first;
      // The 8.3 name: base and extension without their padding, the dot only before an extension.
      std::string& shortName = item.shortName;
      shortName.assign(reinterpret_cast<const char*>(base), TrimmedLength(base, 8));
      size_t extension = TrimmedLength(e + kDirName + 8, 3);
      if (extension > 0) {
        shortName += '.';
        shortName.append(reinterpret_cast<const char*>(e + kDirName + 8), extension);
      }
      Sanitize(shortName);
      const std::string* name = &shortName;
      if (applies && longChecksum == ShortNameChecksum(e + kDirName)) {
        // The name ends at its zero; 0xFFFF pads the last part after it.
        size_t end = 0;
        while (end < longName.size() && longName[end] != 0 && longName[end] != 0xFFFF) ++end;
        convertedScratch = convert(std::u16string_view(longName).substr(0, end));
        Sanitize(convertedScratch);
        if (!convertedScratch.empty()) name = &convertedScratch;
      }
      ItemPath(*name, item.name);
      item.nameOnly = false;
      item.attributes = e[kDirAttr];
      item.createTime = Ld16(e + kDirCreateTime);
      item.createDate = Ld16(e + kDirCreateDate);
      item.accessDate = Ld16(e + kDirAccessDate);
      item.writeTime = Ld16(e + kDirWriteTime);
      item.writeDate = Ld16(e + kDirWriteDate);
      item.size = Ld32(e + kDirFileSize);
      if (item.attributes & kAttrDirectory) Enter(e, *name);  // may reallocate frames: f is not used after
      return true;
    }
    return false;
  }

  // A run of long-name parts from f.next. The first announces how many parts follow (its
  // sequence number); each part's own number places its 13 characters. Returns whether the
  // name stands (all parts present with one checksum).
  bool ReadLongName(Frame& f, size_t count, std::u16string& name, uint8_t& checksum) {
    const uint8_t* e = f.bytes.data() + f.next * kDirEntrySize;
    size_t parts = e[0] & static_cast<uint8_t>(~kLfnLastPart);
    if (parts < 1 || parts > kMaxSequence) {
      ++f.next;  // not a run start: passed over
      return false;
    }
    checksum = e[kLfnChecksum];
    name.assign(parts * 13, u'\0');
    bool ok = true;
    for (size_t k = 0; k < parts; ++k) {
      if (f.next >= count) return false;
      const uint8_t* p = f.bytes.data() + f.next * kDirEntrySize;
      if (p[kDirAttr] != kAttrLongName || p[kDirName] == kDeleted) return false;  // left for the caller
      ++f.next;
      if (p[kLfnChecksum] != checksum) ok = false;
      size_t seq = p[0] & 0x3F;
      if (seq < 1 || seq > parts) {
        ok = false;
        continue;
      }
      for (size_t c = 0; c < 13; ++c) {
        name[(seq - 1) * 13 + c] = static_cast<char16_t>(Ld16(p + kLfnCharOffsets[c]));
      }
    }
    return ok;
  }
};

VolumeWalker::VolumeWalker(ByteSource& source, const Volume& volume, int volumeNumber,
                           const LongNameConverter& convert)
    : state_(std::make_unique<State>(source, convert, volumeNumber)) {
  state_->usable = state_->Start(volume);
}

VolumeWalker::~VolumeWalker() = default;

bool VolumeWalker::Next(ImageItem& item) { return state_->usable && state_->Next(item); }

uint64_t VolumeWalker::ClustersRead() const { return state_->clustersRead; }

}  // namespace oculo
