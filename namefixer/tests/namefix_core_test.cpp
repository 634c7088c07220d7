#include <gtest/gtest.h>

#include "namefixer/core/namefix.h"

using namefix::TrimName;

TEST(TrimName, RemovesTrailingSpacesAndDotsInAnyOrder) {
  EXPECT_EQ(TrimName(u"report.txt. ", false), u"report.txt");
  EXPECT_EQ(TrimName(u"report.txt .. . ", true), u"report.txt");
  EXPECT_EQ(TrimName(u"name", true), u"name");
  EXPECT_EQ(TrimName(u"a b", true), u"a b");  // inner blanks stay
}

TEST(TrimName, TextOfOnlySpacesAndDotsBecomesEmpty) {
  EXPECT_EQ(TrimName(u" . . ", false), u"");
  EXPECT_EQ(TrimName(u"", true), u"");
  EXPECT_EQ(TrimName(u"...", true), u"..");  // the final pair is the whole remaining text
}

TEST(TrimName, PathDialogsKeepTheParentFolderDots) {
  EXPECT_EQ(TrimName(u"..\\..", true), u"..\\..");
  EXPECT_EQ(TrimName(u"..", true), u"..");
  EXPECT_EQ(TrimName(u"docs\\.. ", true), u"docs\\..");
  EXPECT_EQ(TrimName(u"docs/..", true), u"docs/..");
  EXPECT_EQ(TrimName(u"x\\a.", true), u"x\\a");   // a one-letter name keeps no dot
  EXPECT_EQ(TrimName(u"a..", true), u"a");        // ".." after a letter is not the parent folder
}

TEST(TrimName, OtherDialogsRemoveEveryFinalDot) {
  EXPECT_EQ(TrimName(u"..\\..", false), u"..\\");
  EXPECT_EQ(TrimName(u"..", false), u"");
  EXPECT_EQ(TrimName(u"x\\a.", false), u"x\\a");
}

TEST(WatchedDialogs, FoundFromTheLastEntryDown) {
  for (int i = 0; i < namefix::kWatchedDialogs; ++i)
    EXPECT_EQ(namefix::FindWatchedDialog(namefix::WatchedDialog(i)), i);
  namefix::DialogId other = namefix::WatchedDialog(3);
  other[15] ^= 1;
  EXPECT_EQ(namefix::FindWatchedDialog(other), -1);
  // The first four bytes are Data1 in little-endian order.
  const auto& first = namefix::WatchedDialog(0);
  EXPECT_EQ(first[0], 0xC4);
  EXPECT_EQ(first[3], 0xFC);
  EXPECT_EQ(first[8], 0x8B);
}

TEST(WatchedDialogs, OnlyThePathDialogsKeepParentDots) {
  EXPECT_TRUE(namefix::KeepsParentDots(0));
  EXPECT_TRUE(namefix::KeepsParentDots(3));
  EXPECT_FALSE(namefix::KeepsParentDots(4));
  EXPECT_FALSE(namefix::KeepsParentDots(6));
  EXPECT_FALSE(namefix::KeepsParentDots(-1));
}
