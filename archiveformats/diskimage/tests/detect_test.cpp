// Finding volumes: partition tables (nested ones included), lone boot sectors, and the item
// sequence over the volumes of a partitioned image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "archiveformats/diskimage/core/image_reader.h"
#include "archiveformats/diskimage/tests/test_image.h"

namespace {

std::vector<std::string> Names(const std::vector<uint8_t>& bytes) {
  oculo::MemorySource source(bytes);
  oculo::ImageReader reader(source, oculo::AsciiLongNames);
  std::vector<std::string> names;
  if (!reader.Detect()) return {"<not an image>"};
  oculo::ImageItem item;
  while (names.size() < 1000 && reader.Next(item)) names.push_back(item.name);
  return names;
}

TestVolume VolumeWith(const char* name11) {
  TestVolume v(4);
  v.Entry(TestVolume::Root(0), name11, 0x20, 0, 1);
  return v;
}

TEST(Detect, PartitionedDiskGivesDriveLettersAndOneDescriptionItem) {
  TestDisk d(64 + 3 * 64);
  d.Partition(0, 0, 0x06, 63);
  d.Partition(0, 1, 0x0E, 63 + 64);
  d.Partition(0, 2, 0x04, 63 + 128);
  d.Place(63 * 512, VolumeWith("ONE     TXT").bytes);
  d.Place((63 + 64) * 512, VolumeWith("TWO     TXT").bytes);
  d.Place((63 + 128) * 512, VolumeWith("THREE   TXT").bytes);
  EXPECT_EQ(Names(d.bytes),
            (std::vector<std::string>{"C:\\ONE.TXT", "descript.ion", "D:\\TWO.TXT", "E:\\THREE.TXT"}));
}

TEST(Detect, EmptyVolumesInBetweenHandNoPhantomItems) {
  TestDisk d(64 + 3 * 64);
  d.Partition(0, 0, 0x06, 63);
  d.Partition(0, 1, 0x07, 63 + 64);  // not NTFS after all: dropped
  d.Partition(0, 2, 0x06, 63 + 128);
  d.Partition(0, 3, 0x06, 63 + 160);
  d.Place(63 * 512, TestVolume(4).bytes);
  d.Place((63 + 128) * 512, TestVolume(4).bytes);
  d.Place((63 + 160) * 512, VolumeWith("LAST    TXT").bytes);
  EXPECT_EQ(Names(d.bytes), (std::vector<std::string>{"descript.ion", "E:\\LAST.TXT"}));
}

TEST(Detect, ExtendedPartitionCarriesLogicalVolumes) {
  TestDisk d(63 + 64 + 63 + 64);
  d.Partition(0, 0, 0x06, 63, 63, 64);  // small: the extended table lies within 100 KB of it
  d.Partition(0, 1, 0x05, 63 + 64, 63, 127);
  d.Partition((63 + 64) * 512, 0, 0x06, 63);  // the logical volume, relative to its table
  d.Place(63 * 512, VolumeWith("PRIMARY TXT").bytes);
  d.Place((63 + 64 + 63) * 512, VolumeWith("LOGICAL TXT").bytes);
  EXPECT_EQ(Names(d.bytes), (std::vector<std::string>{"C:\\PRIMARY.TXT", "descript.ion", "D:\\LOGICAL.TXT"}));
}

TEST(Detect, EntryNotEndingOnSector63IsIgnored) {
  TestDisk d(64 + 2 * 64);
  d.Partition(0, 0, 0x06, 63);
  d.Partition(0, 1, 0x06, 63 + 64, 62);
  d.Place(63 * 512, VolumeWith("ONE     TXT").bytes);
  d.Place((63 + 64) * 512, VolumeWith("TWO     TXT").bytes);
  EXPECT_EQ(Names(d.bytes), (std::vector<std::string>{"C:\\ONE.TXT", "descript.ion"}));
}

TEST(Detect, TablesThatPointAtThemselvesOrNestEndlesslyStop) {
  TestDisk self(200);
  self.Partition(0, 0, 0x05, 63);
  self.Partition(0, 1, 0x05, 0);  // the table itself
  for (size_t t = 63; t + 63 < 200; t += 63) self.Partition(t * 512, 0, 0x05, 63);  // a chain of tables
  EXPECT_EQ(Names(self.bytes), (std::vector<std::string>{"<not an image>"}));

  TestDisk wide(64 + 64);
  for (int slot = 0; slot < 4; ++slot) wide.Partition(0, slot, 0x05, 63);  // every entry the same nest
  wide.Partition(63 * 512, 0, 0x05, 63);
  for (int slot = 1; slot < 4; ++slot) wide.Partition(63 * 512, slot, 0x05, 63);
  EXPECT_EQ(Names(wide.bytes), (std::vector<std::string>{"<not an image>"}));
}

TEST(Detect, LoneBootSectorBehindAHeaderIsFound) {
  TestVolume v = VolumeWith("FLOPPY  TXT");
  std::vector<uint8_t> image(32768, 0);
  image.insert(image.end(), v.bytes.begin(), v.bytes.end());
  EXPECT_EQ(Names(image), (std::vector<std::string>{"FLOPPY.TXT"}));
  oculo::MemorySource source(image);
  oculo::ImageReader reader(source, nullptr);
  ASSERT_TRUE(reader.Detect());
  EXPECT_EQ(reader.FirstVolumeOffset(), 32768);
}

TEST(Detect, BootSectorNeedsItsFatToStartWithTheMediaByte) {
  TestVolume v = VolumeWith("FILE    TXT");
  v.bytes[512] = 0x12;
  EXPECT_EQ(Names(v.bytes), (std::vector<std::string>{"<not an image>"}));
  TestVolume fat12 = VolumeWith("FILE    TXT");
  std::memcpy(fat12.bytes.data() + 54, "FAT12   ", 8);
  fat12.bytes[512] = 0xF8;
  oculo::MemorySource source(fat12.bytes);
  oculo::DetectedImage image;
  ASSERT_TRUE(oculo::DetectImage(source, image));
  EXPECT_EQ(image.volumes.at(0).kind, 1);
}

TEST(Detect, NtfsBootSectorIsRecognisedWithoutItems) {
  std::vector<uint8_t> s(4096, 0);
  s[0] = 0xEB; s[1] = 0x52; s[2] = 0x90;
  std::memcpy(s.data() + 3, "NTFS    ", 8);
  s[11] = 0x00; s[12] = 0x02;  // 512
  s[13] = 8;
  s[510] = 0x55; s[511] = 0xAA;
  oculo::MemorySource source(s);
  oculo::DetectedImage image;
  ASSERT_TRUE(oculo::DetectImage(source, image));
  EXPECT_FALSE(image.partitioned);
  EXPECT_EQ(image.volumes.at(0).kind, 7);
  EXPECT_TRUE(Names(s).empty());
}

TEST(Detect, TextFileIsNoImage) {
  std::string text(100000, 'a');
  std::vector<uint8_t> bytes(text.begin(), text.end());
  EXPECT_EQ(Names(bytes), (std::vector<std::string>{"<not an image>"}));
}

TEST(Detect, LinuxPartitionCountsOnlyWhenItsFirstSectorSaysLinu) {
  for (bool marked : {true, false}) {
    TestDisk d(64 + 2 * 64);
    d.Partition(0, 0, 0x83, 63, 63, 64);
    d.Partition(0, 1, 0x06, 63 + 64);
    if (marked) std::memcpy(d.bytes.data() + 63 * 512, "LINU", 4);
    else std::memcpy(d.bytes.data() + 63 * 512, "LINX", 4);
    d.Place((63 + 64) * 512, VolumeWith("AFTER   TXT").bytes);
    oculo::MemorySource source(d.bytes);
    oculo::DetectedImage image;
    ASSERT_TRUE(oculo::DetectImage(source, image)) << marked;
    if (marked) {
      // A drive letter and no items: its end gives the description item, the FAT volume is D.
      ASSERT_EQ(image.volumes.size(), 2u);
      EXPECT_EQ(image.volumes[0].kind, 0x83);
      EXPECT_EQ(Names(d.bytes), (std::vector<std::string>{"descript.ion", "D:\\AFTER.TXT"}));
    } else {
      ASSERT_EQ(image.volumes.size(), 1u);
      EXPECT_EQ(Names(d.bytes), (std::vector<std::string>{"C:\\AFTER.TXT", "descript.ion"}));
    }
  }
}

TEST(Detect, EntryStartingAtSectorZeroIsNotTheTableItself) {
  TestDisk d(64 + 64);
  d.bytes[0] = 0xEB;               // a table sector that could pass for a boot sector
  d.Partition(0, 0, 0x06, 0);      // the table itself
  d.Partition(0, 1, 0x06, 63);
  d.Place(63 * 512, VolumeWith("ONE     TXT").bytes);
  EXPECT_EQ(Names(d.bytes), (std::vector<std::string>{"C:\\ONE.TXT", "descript.ion"}));
}

// A disk larger than 4 GiB held sparsely: zeros except the sectors placed.
class SparseDisk final : public oculo::ByteSource {
 public:
  explicit SparseDisk(uint64_t size) : size_(size) {}
  void Place(uint64_t offset, const std::vector<uint8_t>& bytes) { parts_.push_back({offset, bytes}); }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, uint8_t* out, size_t count) override {
    if (offset >= size_) return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
    std::memset(out, 0, n);
    for (const auto& [at, bytes] : parts_) {
      uint64_t from = std::max(at, offset), to = std::min(at + bytes.size(), offset + n);
      if (from < to) std::memcpy(out + (from - offset), bytes.data() + (from - at), static_cast<size_t>(to - from));
    }
    return n;
  }

 private:
  uint64_t size_;
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> parts_;
};

TEST(Detect, VolumesBeyond4GiBAreFoundAndListed) {
  constexpr uint32_t kFarSector = 0x900000;  // 4.5 GiB in
  TestDisk table(1);
  table.Partition(0, 0, 0x0E, kFarSector);
  table.Partition(0, 1, 0x06, 63);
  SparseDisk disk(uint64_t{kFarSector} * 512 + 1024 * 1024);
  disk.Place(0, table.bytes);
  disk.Place(63 * 512, VolumeWith("NEAR    TXT").bytes);
  disk.Place(uint64_t{kFarSector} * 512, VolumeWith("FAR     TXT").bytes);
  oculo::ImageReader reader(disk, oculo::AsciiLongNames);
  ASSERT_TRUE(reader.Detect());
  EXPECT_EQ(reader.FirstVolumeOffset(), int64_t{kFarSector} * 512);
  std::vector<std::string> names;
  oculo::ImageItem item;
  while (names.size() < 10 && reader.Next(item)) names.push_back(item.name);
  EXPECT_EQ(names, (std::vector<std::string>{"C:\\FAR.TXT", "descript.ion", "D:\\NEAR.TXT"}));
}

}  // namespace
