// Reading saved "dir" listings: the volume text, relative folders of recursive listings, the
// tag columns, and lines that are padded, linked or far too long.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archiveformats/dirlisting/core/listing.h"

namespace {

// Item lines as the command interpreter writes them: date at 0, time at 12, a tag from 21 or
// a size ending at 34, the name from 36.
std::string Tagged(const char* tag, const std::string& name, const char* when = "01.02.2009  13:45") {
  char line[64];
  std::snprintf(line, sizeof(line), "%s    %-14s ", when, tag);
  return line + name + "\r\n";
}
std::string Sized(const char* size, const std::string& name, const char* when = "01.02.2009  13:45") {
  char line[64];
  std::snprintf(line, sizeof(line), "%s %17s ", when, size);
  return line + name + "\r\n";
}

struct Parsed {
  std::vector<listor::ListingItem> items;
  std::vector<std::string> volumeTexts;
};

Parsed Parse(const std::string& text) {
  listor::ListingParser parser(text);
  Parsed p;
  listor::ListingItem item;
  while (p.items.size() < 1000 && parser.Next(item)) {
    p.items.push_back(item);
    p.volumeTexts.push_back(parser.VolumeText());
  }
  return p;
}

std::vector<std::string> Names(const Parsed& p) {
  std::vector<std::string> names;
  for (const auto& i : p.items) names.push_back((i.folder ? "[" : "") + i.name + (i.folder ? "]" : ""));
  return names;
}

const std::string kEnglishHead =
    " Volume in drive C is DATA\r\n Volume Serial Number is 1234-ABCD\r\n\r\n Directory of C:\\Data\r\n\r\n";

TEST(Listing, EnglishFolderGivesItsFilesFoldersSizesAndTimes) {
  std::string text = kEnglishHead + Tagged("<DIR>", ".") + Tagged("<DIR>", "..") +
                     Tagged("<DIR>", "Photos") + Sized("1 234 567", "spaced.bin") +
                     Sized("1,234,567", "commas.bin") + Sized("12", "small.txt", "24.12.2008  07:05") +
                     "               3 File(s)      2 469 146 bytes\r\n";
  Parsed p = Parse(text);
  EXPECT_EQ(Names(p), (std::vector<std::string>{"[Photos]", "spaced.bin", "commas.bin", "small.txt"}));
  ASSERT_EQ(p.items.size(), 4u);
  EXPECT_EQ(p.items[0].size, 0u);
  EXPECT_EQ(p.items[1].size, 1234567u);
  EXPECT_EQ(p.items[2].size, 1234567u);
  const auto& t = p.items[0];
  EXPECT_EQ(std::vector<int>({t.day, t.month, t.year, t.hour, t.minute}), std::vector<int>({1, 2, 2009, 13, 45}));
  const auto& s = p.items[3];
  EXPECT_EQ(std::vector<int>({s.day, s.month, s.year, s.hour, s.minute}), std::vector<int>({24, 12, 2008, 7, 5}));
  EXPECT_EQ(p.volumeTexts[0], " 1234-ABCD  Label: DATA");
}

TEST(Listing, DriveWithoutLabelGivesAnEmptyLabel) {
  Parse("");  // an empty file has no items
  Parsed p = Parse(" Volume in drive D has no label.\r\n Volume Serial Number is 0000-0001\r\n"
                   " Directory of D:\\\r\n" + Sized("5", "a.txt"));
  ASSERT_EQ(p.items.size(), 1u);
  EXPECT_EQ(p.volumeTexts[0], " 0000-0001  Label:");
}

TEST(Listing, RecursiveListingNamesItemsRelativeToTheFirstFolderUntilTheGrandTotal) {
  std::string text = kEnglishHead + Tagged("<DIR>", "Sub") + Sized("1", "top.txt") +
                     " Directory of C:\\Data\\Sub\r\n" + Tagged("<DIR>", ".") + Tagged("<DIR>", "..") +
                     Sized("2", "inner.txt") + " Directory of C:\\Data\\Sub\\Deep\r\n" + Sized("3", "deep.txt") +
                     "     Total Files Listed:\r\n               3 File(s)              6 bytes\r\n" +
                     " Directory of E:\\Other\r\n" + Sized("4", "fresh.txt") + " Directory of E:\\Other\\X\r\n" +
                     Sized("5", "x.txt");
  EXPECT_EQ(Names(Parse(text)), (std::vector<std::string>{"[Sub]", "top.txt", "Sub\\inner.txt", "Sub\\Deep\\deep.txt",
                                                          "fresh.txt", "X\\x.txt"}));
}

TEST(Listing, RussianListingInCodePage866) {
  // " Том в устройстве C имеет метку ДИСК", " Серийный номер тома: 1234-ABCD",
  // " Содержимое папки C:\Дом", "     Всего файлов:".
  std::string text =
      " \x92\xAE\xAC \xA2 \xE3\xE1\xE2\xE0\xAE\xA9\xE1\xE2\xA2\xA5 C \xA8\xAC\xA5\xA5\xE2 \xAC\xA5\xE2\xAA\xE3 "
      "\x84\x88\x91\x8A\r\n"
      " \x91\xA5\xE0\xA8\xA9\xAD\xEB\xA9 \xAD\xAE\xAC\xA5\xE0 \xE2\xAE\xAC\xA0: 1234-ABCD\r\n\r\n"
      " \x91\xAE\xA4\xA5\xE0\xA6\xA8\xAC\xAE\xA5 \xAF\xA0\xAF\xAA\xA8 C:\\\x84\xAE\xAC\r\n\r\n" +
      Tagged("<DIR>", ".") + Tagged("<DIR>", "..") + Tagged("<DIR>", "\x94\xAE\xE2\xAE") +
      " \x91\xAE\xA4\xA5\xE0\xA6\xA8\xAC\xAE\xA5 \xAF\xA0\xAF\xAA\xA8 C:\\\x84\xAE\xAC\\\x94\xAE\xE2\xAE\r\n" +
      Sized("2 048", "\xE5\xAB\xA5\xA1.jpg") + "     \x82\xE1\xA5\xA3\xAE \xE4\xA0\xA9\xAB\xAE\xA2:\r\n";
  Parsed p = Parse(text);
  EXPECT_EQ(Names(p), (std::vector<std::string>{"[\x94\xAE\xE2\xAE]", "\x94\xAE\xE2\xAE\\\xE5\xAB\xA5\xA1.jpg"}));
  ASSERT_EQ(p.items.size(), 2u);
  EXPECT_EQ(p.items[1].size, 2048u);
  EXPECT_EQ(p.volumeTexts[0], " 1234-ABCD  Label: \x84\x88\x91\x8A");
}

TEST(Listing, LinksAreNamedByTheTextBeforeTheirTarget) {
  std::string text = kEnglishHead + Tagged("<JUNCTION>", "Docs [C:\\Users\\Docs]") +
                     Tagged("<SYMLINKD>", "link1 [folder]") + Tagged("<JUNCTION>", "cur [\\??\\C:\\x]") +
                     Tagged("<SYMLINK>", "file.lnk [D:\\target.txt]") + Tagged("<SYMLINK>", "rel [..\\t.txt]") +
                     Tagged("<SYMLINKD>", "My [old] docs [C:\\old]");
  Parsed p = Parse(text);
  EXPECT_EQ(Names(p), (std::vector<std::string>{"[Docs]", "[link1]", "[cur]", "file.lnk", "rel", "[My [old] docs]"}));
  for (const auto& i : p.items) EXPECT_EQ(i.size, 0u) << i.name;
}

TEST(Listing, TrailingBlanksNeitherKeepDotEntriesNorPadNames) {
  std::string text = kEnglishHead + "01.02.2009  13:45    <DIR>          .   \r\n" +
                     "01.02.2009  13:45    <DIR>          ..\t \r\n" + Tagged("<DIR>", "Padded   ") +
                     Sized("7", "name.txt  ");
  EXPECT_EQ(Names(Parse(text)), (std::vector<std::string>{"[Padded]", "name.txt"}));
}

TEST(Listing, OverlongLinesAreCutAndTheNextLineStillCounts) {
  std::string longName(10000, 'n');
  std::string text = kEnglishHead + Sized("1", longName) + Sized("2", "after.txt") +
                     " Volume Serial Number is " + std::string(9000, 'S') + "\r\n" + Sized("3", "last.txt");
  Parsed p = Parse(text);
  ASSERT_EQ(p.items.size(), 3u);
  EXPECT_EQ(p.items[0].name, std::string(listor::kMaxNameBytes, 'n'));
  EXPECT_EQ(p.items[1].name, "after.txt");
  EXPECT_LE(p.volumeTexts[2].size(), listor::kMaxLineBytes);
}

TEST(Listing, FolderNamesJoinedWithLongPathsStayWithinTheRecord) {
  std::string text = kEnglishHead + " Directory of C:\\Data\\" + std::string(300, 'p') + "\r\n" + Sized("1", "f.txt");
  Parsed p = Parse(text);
  ASSERT_EQ(p.items.size(), 1u);
  EXPECT_EQ(p.items[0].name.size(), listor::kMaxNameBytes);
}

TEST(Listing, DetectionComparesOnlyTheBytesItIsGiven) {
  auto is = [](const std::string& s) {
    return listor::IsListing(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  EXPECT_TRUE(is(" Volume in drive C is DATA\r\n"));
  EXPECT_TRUE(is(" Volu"));
  EXPECT_TRUE(is(" \x92\xAE\xAC \xA2 \xE3\xE1\xE2\xE0\xAE\xA9\xE1\xE2\xA2\xA5 C"));
  EXPECT_FALSE(is(" Volume label: X"));
  EXPECT_FALSE(is("Volume in drive C"));
  EXPECT_FALSE(is(""));
}

// Lines whose date, time and size columns hold more than plain digits and blanks are still read
// digit by digit, whatever shortcut the usual lines take.
TEST(Listing, UnusualColumnsAreReadDigitByDigit) {
  struct Case {
    std::string line;
    std::vector<int> when;  // day, month, year, hour, minute
    uint64_t size;
  };
  // Date and time in columns 0 to 16, two blanks, the 16 size columns 19 to 34, a blank, the name.
  auto line = [](const char* when, const char* size16, const char* name) {
    return std::string(when) + "  " + size16 + " " + name;
  };
  const Case cases[] = {
      {line("01.02.2009  13:45", "       1 234 567", "a"), {1, 2, 2009, 13, 45}, 1234567},
      {line("1x.02.2009  13:4y", "              12", "b"), {1, 2, 2009, 13, 4}, 12},
      {line("01/02/09    13-45", "1,234,567,890,12", "c"), {1, 2, 9, 13, 45}, 123456789012},
      {line("01.02.2009  13:45", "12a34\xFF" "56 7 x  8", "d"), {1, 2, 2009, 13, 45}, 12345678},
      {line("01.02.2009  13:45", "9999999999999999", "e"), {1, 2, 2009, 13, 45}, 9999999999999999},
      {line("ab.cd.efgh  ij:kl", "         \t   77", "f"), {0, 0, 0, 0, 0}, 77},
      {line("01.02.2009  13:45", "                ", "g"), {1, 2, 2009, 13, 45}, 0},
      {line("01.02.2009  13:45", "  <FOLDER>      ", "h"), {1, 2, 2009, 13, 45}, 0},
      {line("31.12.1999  23:59", "  \xFF" "1\xFF" "234     5", "i"), {31, 12, 1999, 23, 59}, 12345},
  };
  for (const auto& c : cases) {
    Parsed p = Parse(kEnglishHead + c.line + "\r\n");
    ASSERT_EQ(p.items.size(), 1u) << c.line;
    const auto& i = p.items[0];
    EXPECT_EQ(std::vector<int>({i.day, i.month, i.year, i.hour, i.minute}), c.when) << c.line;
    EXPECT_EQ(i.size, c.size) << c.line;
  }
  // Short lines: only the columns present count.
  Parsed p = Parse(kEnglishHead + "01.02.2009  13:4\r\n12.11.2010  10:30   55\r\n");
  ASSERT_EQ(p.items.size(), 2u);
  EXPECT_EQ(std::vector<int>({p.items[0].day, p.items[0].month, p.items[0].year, p.items[0].hour, p.items[0].minute}),
            std::vector<int>({1, 2, 2009, 13, 4}));
  EXPECT_EQ(p.items[0].name, "");
  EXPECT_EQ(p.items[1].size, 55u);
}

// A listing's items share few distinct minutes: each is converted to the platform's time once.
TEST(Listing, EachDistinctDateAndTimeIsConvertedOnce) {
  std::string text = kEnglishHead;
  for (int folder = 0; folder < 100; ++folder) {
    text += Sized("1", "a.txt") + Sized("2", "b.txt", "01.02.2009  13:46") + Sized("3", "c.txt", "02.01.2009  13:45");
  }
  listor::ListingParser parser(text);
  listor::TimeCache<uint64_t> cache;
  listor::ListingItem item;
  int conversions = 0;
  std::vector<uint64_t> keys;
  auto convert = [&](const listor::ListingItem& i) {
    ++conversions;
    return listor::TimeKey(i) + 1;
  };
  while (parser.Next(item)) keys.push_back(cache.Get(item, convert));
  ASSERT_EQ(keys.size(), 300u);
  EXPECT_EQ(conversions, 3);
  EXPECT_EQ(keys[0], 200902011345u + 1);
  EXPECT_EQ(keys[1], 200902011346u + 1);
  EXPECT_EQ(keys[2], 200901021345u + 1);
  EXPECT_EQ(keys[299], keys[2]);
}

}  // namespace
