// The walk of one FAT volume: names, order, long names, and hostile structures that must end
// the volume's items instead of looping, overrunning or growing without bound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archiveformats/diskimage/core/image_reader.h"
#include "archiveformats/diskimage/tests/test_image.h"

namespace {

std::vector<oculo::ImageItem> ListAll(const std::vector<uint8_t>& bytes, size_t cap = 100000) {
  oculo::MemorySource source(bytes);
  oculo::ImageReader reader(source, oculo::AsciiLongNames);
  std::vector<oculo::ImageItem> items;
  if (!reader.Detect()) return items;
  oculo::ImageItem item;
  while (items.size() < cap && reader.Next(item)) items.push_back(item);
  return items;
}

std::vector<std::string> Names(const std::vector<oculo::ImageItem>& items) {
  std::vector<std::string> names;
  for (const auto& i : items) names.push_back(i.name);
  return names;
}

TEST(FatWalk, ListsFoldersDepthFirstInDirectoryOrderWithLongNames) {
  TestVolume v;
  v.Entry(TestVolume::Root(0), "DISK_ONE   ", 0x08);
  v.LongName(TestVolume::Root(1), "Quarterly report.txt", TestVolume::Checksum("QUARTE~1TXT"));
  v.Entry(TestVolume::Root(3), "QUARTE~1TXT", 0x20, 0, 4096);
  v.Entry(TestVolume::Root(4), "DOCS       ", 0x10, 2);
  v.Entry(TestVolume::Root(5), "Z          ", 0x20, 0, 1);
  v.Fat(2, 0xFFFF);
  v.Entry(TestVolume::InCluster(2, 0), ".          ", 0x10, 2);
  v.Entry(TestVolume::InCluster(2, 1), "..         ", 0x10, 0);
  v.Entry(TestVolume::InCluster(2, 2), "LETTER  TXT", 0x20, 0, 300);

  auto items = ListAll(v.bytes);
  EXPECT_EQ(Names(items), (std::vector<std::string>{"Quarterly report.txt", "DOCS", "DOCS\\LETTER.TXT", "Z"}));
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].shortName, "QUARTE~1.TXT");
  EXPECT_EQ(items[0].size, 4096u);
  EXPECT_EQ(items[0].writeDate, 0x3A41);
  EXPECT_EQ(items[0].writeTime, 0x6DA5);
  EXPECT_EQ(items[0].createDate, 0x399F);
  EXPECT_EQ(items[0].createTime, 0x5A10);
  EXPECT_EQ(items[0].accessDate, 0x3A42);
  EXPECT_EQ(items[1].attributes, 0x10u);
}

TEST(FatWalk, FirstByte05IsTheRealLetterE5AndDeletedEntriesAreSkipped) {
  TestVolume v;
  v.Entry(TestVolume::Root(0), "\x05" "LEB    TXT", 0x20, 0, 7);  // "хLEB.TXT" in code page 866
  v.Entry(TestVolume::Root(1), "\xE5" "ONE    TXT", 0x20, 0, 1);
  v.Entry(TestVolume::Root(2), "BAD?NAMETXT", 0x20, 0, 1);
  v.Entry(TestVolume::Root(3), "KEPT    TXT", 0x20, 0, 2);
  EXPECT_EQ(Names(ListAll(v.bytes)), (std::vector<std::string>{"\xE5" "LEB.TXT", "KEPT.TXT"}));
}

TEST(FatWalk, LongNameWithWrongChecksumGivesWayToTheShortName) {
  TestVolume v;
  v.LongName(TestVolume::Root(0), "Broken long name", static_cast<uint8_t>(TestVolume::Checksum("BROKEN~1TXT") + 1));
  v.Entry(TestVolume::Root(2), "BROKEN~1TXT", 0x20);
  // Parts that disagree among themselves cancel the name too.
  v.LongName(TestVolume::Root(3), "Mixed parts of a name", TestVolume::Checksum("MIXED~1 TXT"));
  v.bytes[TestVolume::Root(4) + 13] ^= 1;
  v.Entry(TestVolume::Root(5), "MIXED~1 TXT", 0x20);
  EXPECT_EQ(Names(ListAll(v.bytes)), (std::vector<std::string>{"BROKEN~1.TXT", "MIXED~1.TXT"}));
}

TEST(FatWalk, LoopingDirectoryChainIsReadOnce) {
  TestVolume v;
  v.Entry(TestVolume::Root(0), "LOOP       ", 0x10, 2);
  v.Fat(2, 3);
  v.Fat(3, 2);  // back to the start
  v.Entry(TestVolume::InCluster(2, 2), "A       TXT", 0x20);
  v.Entry(TestVolume::InCluster(3, 0), "B       TXT", 0x20);
  EXPECT_EQ(Names(ListAll(v.bytes)), (std::vector<std::string>{"LOOP", "LOOP\\A.TXT", "LOOP\\B.TXT"}));
}

TEST(FatWalk, FolderThatContainsItsAncestorIsNotEnteredAgain) {
  TestVolume v;
  v.Entry(TestVolume::Root(0), "UP         ", 0x10, 2);
  v.Fat(2, 0xFFFF);
  v.Entry(TestVolume::InCluster(2, 2), "SELF       ", 0x10, 2);
  v.Entry(TestVolume::InCluster(2, 3), "ROOT       ", 0x10, 0);
  EXPECT_EQ(Names(ListAll(v.bytes)), (std::vector<std::string>{"UP", "UP\\SELF", "UP\\ROOT"}));
}

TEST(FatWalk, ClusterNumbersBeyondTheFatOrTheFileEndTheChain) {
  TestVolume v;
  v.Entry(TestVolume::Root(0), "FAR        ", 0x10, 5000);  // the FAT holds 256 entries
  v.Entry(TestVolume::Root(1), "NEAR       ", 0x10, 2);
  v.Fat(2, 250);  // inside the FAT, past the end of the file
  v.Entry(TestVolume::InCluster(2, 2), "IN      TXT", 0x20);
  v.Entry(TestVolume::Root(2), "ONE        ", 0x10, 1);  // cluster 1 is no data cluster
  EXPECT_EQ(Names(ListAll(v.bytes)), (std::vector<std::string>{"FAR", "NEAR", "NEAR\\IN.TXT", "ONE"}));
}

TEST(FatWalk, BootSectorWithoutClusterOrFatSizeYieldsNoItems) {
  for (size_t field : {size_t{13}, size_t{22}}) {  // sectors per cluster, sectors per FAT
    TestVolume v;
    v.Entry(TestVolume::Root(0), "FILE    TXT", 0x20);
    v.bytes[field] = 0;
    if (field == 22) v.bytes[23] = 0;
    TestDisk d(64);
    d.Partition(0, 0, 0x06, 63);
    d.Place(63 * 512, v.bytes);
    EXPECT_EQ(Names(ListAll(d.bytes)), (std::vector<std::string>{"descript.ion"})) << "field " << field;
  }
}

TEST(FatWalk, PathsStopGrowingAt1023Characters) {
  TestVolume v(200);
  v.Entry(TestVolume::Root(0), "DEEP0000   ", 0x10, 2);
  for (uint16_t c = 2; c < 190; ++c) {
    v.Fat(c, 0xFFFF);
    char name[12];
    std::snprintf(name, sizeof(name), "DEEP%04u   ", static_cast<unsigned>(c));
    v.Entry(TestVolume::InCluster(c, 2), name, 0x10, static_cast<uint16_t>(c + 1));
  }
  auto items = ListAll(v.bytes);
  ASSERT_FALSE(items.empty());
  size_t longest = 0;
  for (const auto& i : items) longest = std::max(longest, i.name.size());
  EXPECT_LE(longest, 1023u + 8u);  // the folder path, then one name
  EXPECT_GT(longest, 1000u);
  EXPECT_LT(items.size(), 190u);
}

TEST(FatWalk, LongNameRunAnnouncingMorePartsThanFollowStaysInsideTheDirectory) {
  TestVolume v;
  v.LongName(TestVolume::Root(15), "x", 0);
  v.bytes[TestVolume::Root(15)] = 0x40 | 32;  // 32 parts announced in the last entry of the root
  v.Entry(TestVolume::Root(0), "FIRST   TXT", 0x20);
  EXPECT_EQ(Names(ListAll(v.bytes)), (std::vector<std::string>{"FIRST.TXT"}));
}

TEST(FatWalk, LongNameRunCutShortByAnOrdinaryOrDeletedEntryLeavesThatEntryListed) {
  TestVolume v;
  // A run announcing three parts, then at once an ordinary entry: the entry is no part.
  v.LongName(TestVolume::Root(0), "Part", TestVolume::Checksum("KEPT    TXT"));
  v.bytes[TestVolume::Root(0)] = 0x40 | 3;
  v.Entry(TestVolume::Root(1), "KEPT    TXT", 0x20, 0, 1);
  // Again, cut by a deleted entry; the ordinary entry after it is listed too.
  v.LongName(TestVolume::Root(2), "Other", TestVolume::Checksum("NEXT    TXT"));
  v.bytes[TestVolume::Root(2)] = 0x40 | 2;
  v.Entry(TestVolume::Root(3), "\xE5" "ONE    TXT", 0x20);
  v.bytes[TestVolume::Root(3) + 11] = 0x0F;  // a deleted long-name part
  v.Entry(TestVolume::Root(4), "NEXT    TXT", 0x20, 0, 2);
  EXPECT_EQ(Names(ListAll(v.bytes)), (std::vector<std::string>{"KEPT.TXT", "NEXT.TXT"}));
}

}  // namespace

namespace {

// Found by fuzzing: a FAT16 root region of no entries made an empty read with no buffer.
TEST(FatWalk, RootRegionWithoutEntriesIsAnEmptyVolume) {
  TestVolume v;
  v.Put16(17, 0);  // root entries
  EXPECT_TRUE(ListAll(v.bytes).empty());
}

}  // namespace
