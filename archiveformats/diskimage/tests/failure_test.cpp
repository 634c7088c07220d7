// Hard failures inside a volume: a read error or memory running out while a directory loads ends
// that volume's items; the next volume of the image is still listed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "archiveformats/diskimage/core/image_reader.h"
#include "archiveformats/diskimage/tests/test_image.h"

namespace {

// One allocation of exactly this many bytes fails (0: none), as when memory runs out while a
// directory of that size loads.
size_t g_failAllocationOf = 0;

}  // namespace

void* operator new(size_t size) {
  if (size != 0 && size == g_failAllocationOf) {
    g_failAllocationOf = 0;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

// Reads that touch [from, to) fail once armed, as a bad sector under the image file would.
class FaultySource final : public oculo::ByteSource {
 public:
  FaultySource(const std::vector<uint8_t>& bytes, uint64_t from, uint64_t to) : inner_(bytes), from_(from), to_(to) {}
  uint64_t Size() const override { return inner_.Size(); }
  size_t ReadAt(uint64_t offset, uint8_t* out, size_t count) override {
    if (armed && offset < to_ && offset + count > from_) return 0;
    return inner_.ReadAt(offset, out, count);
  }
  bool armed = false;

 private:
  oculo::MemorySource inner_;
  uint64_t from_, to_;
};

constexpr size_t kFirst = 63 * 512;          // volume C
constexpr size_t kSecond = (63 + 64) * 512;  // volume D

// Two alike volumes: DOCS (clusters 2 to 4, 1536 bytes) holding LETTER.TXT, then Z.
TestDisk TwoVolumes() {
  TestVolume v(8);
  v.Entry(TestVolume::Root(0), "DOCS       ", 0x10, 2);
  v.Entry(TestVolume::Root(1), "Z          ", 0x20, 0, 1);
  v.Fat(2, 3);
  v.Fat(3, 4);
  v.Fat(4, 0xFFFF);
  v.Entry(TestVolume::InCluster(2, 0), ".          ", 0x10, 2);
  v.Entry(TestVolume::InCluster(2, 1), "..         ", 0x10, 0);
  v.Entry(TestVolume::InCluster(2, 2), "LETTER  TXT", 0x20, 0, 300);
  TestDisk d(64 + 2 * 64);
  d.Partition(0, 0, 0x06, 63, 63, 64);
  d.Partition(0, 1, 0x06, 63 + 64, 63, 64);
  d.Place(kFirst, v.bytes);
  d.Place(kSecond, v.bytes);
  return d;
}

std::vector<std::string> Walk(oculo::ImageReader& reader) {
  std::vector<std::string> names;
  oculo::ImageItem item;
  while (names.size() < 100 && reader.Next(item)) names.push_back(item.name);
  return names;
}

const std::vector<std::string> kFirstEndsAtDocs = {"C:\\DOCS", "descript.ion", "D:\\DOCS", "D:\\DOCS\\LETTER.TXT",
                                                    "D:\\Z"};

TEST(VolumeFailure, ReadErrorInsideAVolumeEndsThatVolumesItems) {
  struct Case {
    const char* where;
    size_t from, to;
  };
  const Case cases[] = {
      {"the folder's clusters", kFirst + 1536 + 512, kFirst + 1536 + 1024},
      {"the FAT", kFirst + 512, kFirst + 1024},
  };
  for (const auto& c : cases) {
    TestDisk d = TwoVolumes();
    FaultySource source(d.bytes, c.from, c.to);
    oculo::ImageReader reader(source, oculo::AsciiLongNames);
    ASSERT_TRUE(reader.Detect());
    source.armed = true;
    EXPECT_EQ(Walk(reader), kFirstEndsAtDocs) << c.where;
  }
}

TEST(VolumeFailure, ReadErrorInTheRootLeavesTheVolumeWithoutItems) {
  TestDisk d = TwoVolumes();
  FaultySource source(d.bytes, kFirst + 1024, kFirst + 1056);
  oculo::ImageReader reader(source, oculo::AsciiLongNames);
  ASSERT_TRUE(reader.Detect());
  source.armed = true;
  EXPECT_EQ(Walk(reader), (std::vector<std::string>{"descript.ion", "D:\\DOCS", "D:\\DOCS\\LETTER.TXT", "D:\\Z"}));
}

TEST(VolumeFailure, NoMemoryForADirectoryEndsThatVolumesItems) {
  TestDisk d = TwoVolumes();
  oculo::MemorySource source(d.bytes);
  oculo::ImageReader reader(source, oculo::AsciiLongNames);
  ASSERT_TRUE(reader.Detect());
  g_failAllocationOf = 3 * 512;  // DOCS, read whole
  std::vector<std::string> names;
  EXPECT_NO_THROW(names = Walk(reader));
  EXPECT_EQ(g_failAllocationOf, 0u) << "the directory's buffer was not allocated as expected";
  g_failAllocationOf = 0;
  EXPECT_EQ(names, kFirstEndsAtDocs);
}

}  // namespace
