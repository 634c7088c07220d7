// A writer of tiny FAT16 volumes for tests, with literal offsets of the published layout (not
// the walker's constants), so a wrong offset in the walker cannot agree with itself.
// Layout: 512-byte sectors, 1 sector per cluster, 1 reserved sector, 1 FAT of 1 sector
// (256 entries), 16 root entries; FAT at 512, root at 1024, cluster 2 at 1536.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct TestVolume {
  std::vector<uint8_t> bytes;

  explicit TestVolume(size_t clusters = 16) : bytes(1536 + clusters * 512, 0) {
    uint8_t* b = bytes.data();
    b[0] = 0xEB; b[1] = 0x3C; b[2] = 0x90;
    std::memcpy(b + 3, "MSWIN4.1", 8);
    Put16(11, 512);       // bytes per sector
    b[13] = 1;            // sectors per cluster
    Put16(14, 1);         // reserved sectors
    b[16] = 1;            // FATs
    Put16(17, 16);        // root entries
    Put16(19, static_cast<uint16_t>(bytes.size() / 512));
    b[21] = 0xF8;         // media
    Put16(22, 1);         // sectors per FAT
    std::memcpy(b + 54, "FAT16   ", 8);
    b[510] = 0x55; b[511] = 0xAA;
    Put16(512, 0xFFF8);   // FAT entries 0 and 1
    Put16(514, 0xFFFF);
  }

  void Put16(size_t at, uint16_t v) { bytes[at] = static_cast<uint8_t>(v); bytes[at + 1] = static_cast<uint8_t>(v >> 8); }
  void Put32(size_t at, uint32_t v) { Put16(at, static_cast<uint16_t>(v)); Put16(at + 2, static_cast<uint16_t>(v >> 16)); }

  void Fat(uint16_t cluster, uint16_t next) { Put16(512 + cluster * 2u, next); }
  static size_t Root(size_t index) { return 1024 + index * 32; }
  static size_t InCluster(uint16_t cluster, size_t index) { return 1536 + (cluster - 2u) * 512u + index * 32; }

  // A short entry; `name11` is the 11 stored name bytes.
  void Entry(size_t at, const char* name11, uint8_t attr, uint16_t cluster = 0, uint32_t size = 0) {
    std::memcpy(bytes.data() + at, name11, 11);
    bytes[at + 11] = attr;
    Put16(at + 14, 0x5A10);  // created 11:16:32
    Put16(at + 16, 0x399F);  // on 2008-12-31
    Put16(at + 18, 0x3A42);  // last accessed 2009-02-02
    Put16(at + 22, 0x6DA5);  // 13:45:10
    Put16(at + 24, 0x3A41);  // 2009-02-01
    Put16(at + 26, cluster);
    Put32(at + 28, size);
  }

  // The long-name parts of `name` (ASCII) before the short entry at index `shortIndex`, counted
  // from `base` in 32-byte steps; returns the index of the short entry.
  static uint8_t Checksum(const char* name11) {
    uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + static_cast<uint8_t>(name11[i]));
    return sum;
  }
  void LongName(size_t at, const std::string& name, uint8_t checksum) {
    static const size_t kChar[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    size_t parts = (name.size() + 13) / 13;  // room for the terminating zero
    for (size_t k = 0; k < parts; ++k) {
      size_t seq = parts - k;  // stored last part first
      size_t e = at + k * 32;
      bytes[e] = static_cast<uint8_t>(seq | (k == 0 ? 0x40 : 0));
      bytes[e + 11] = 0x0F;
      bytes[e + 13] = checksum;
      for (size_t c = 0; c < 13; ++c) {
        size_t i = (seq - 1) * 13 + c;
        uint16_t ch = i < name.size() ? static_cast<uint8_t>(name[i]) : (i == name.size() ? 0 : 0xFFFF);
        Put16(e + kChar[c], ch);
      }
    }
  }
};

// A disk: an MBR at 0 whose entries place copies of volumes; entries get CHS sector 63.
struct TestDisk {
  std::vector<uint8_t> bytes;
  explicit TestDisk(size_t sectors) : bytes(sectors * 512, 0) {
    bytes[510] = 0x55;
    bytes[511] = 0xAA;
  }
  void Partition(size_t table, int slot, uint8_t type, uint32_t start, uint8_t endSector = 63, uint32_t sectors = 0) {
    size_t e = table + 446 + static_cast<size_t>(slot) * 16;
    bytes[e + 4] = type;
    bytes[e + 6] = endSector;
    for (int i = 0; i < 4; ++i) bytes[e + 8 + static_cast<size_t>(i)] = static_cast<uint8_t>(start >> (8 * i));
    for (int i = 0; i < 4; ++i) bytes[e + 12 + static_cast<size_t>(i)] = static_cast<uint8_t>(sectors >> (8 * i));
    bytes[table + 510] = 0x55;
    bytes[table + 511] = 0xAA;
  }
  void Place(size_t offset, const std::vector<uint8_t>& volume) {
    if (bytes.size() < offset + volume.size()) bytes.resize(offset + volume.size());
    std::memcpy(bytes.data() + offset, volume.data(), volume.size());
  }
};
