// Reading the edited list of names back, as the editor mode does when the editor closes.
#include <gtest/gtest.h>

#include "renamer/core/editormode.h"

namespace quillet {
namespace {

void Fill(RenameList& list, std::vector<std::u16string> names, std::vector<bool> folders = {}) {
  for (size_t i = 0; i < names.size(); ++i) {
    const bool folder = i < folders.size() && folders[i];
    list.items.push_back(MakeSourceItem(uint32_t(i), folder ? kAttributeDirectory : 0, names[i]));
  }
}

TEST(EditorMode, TheListHoldsOneNameALine) {
  RenameList list;
  Fill(list, {u"a.txt", u"b"});
  EXPECT_EQ(WriteNameList(list), u"a.txt\nb\n");
}

TEST(EditorMode, EditedLinesBecomeNewNamesAndSlashOrBlankKeepsTheItem) {
  RenameList list;
  Fill(list, {u"a.txt", u"b.txt", u"c.txt", u"dir.d"}, {false, false, false, true});
  ReadBack r = ReadNameList(u"\uFEFFx.new.txt  \r\n/\n \t\nnew.dir\n\n/comment\n", &list);
  EXPECT_EQ(r.outcome, ReadBackOutcome::kReady);
  EXPECT_EQ(r.kept, 2u);
  EXPECT_EQ(*list.entries[0].name, u"x.new.txt");
  EXPECT_EQ(list.entries[0].dotIndex, 5);
  EXPECT_EQ(list.entries[1].status, kStatusKeep);
  EXPECT_EQ(list.entries[2].status, kStatusKeep);
  EXPECT_EQ(*list.entries[3].name, u"new.dir");
  EXPECT_EQ(list.entries[3].dotIndex, -1);  // folders have no extension
}

TEST(EditorMode, AStarOnTheFirstLineAbandons) {
  RenameList list;
  Fill(list, {u"a", u"b"});
  EXPECT_EQ(ReadNameList(u"*a\nb\n", &list).outcome, ReadBackOutcome::kAbandon);
}

TEST(EditorMode, LineCountMismatches) {
  RenameList list;
  Fill(list, {u"a", u"b", u"c"});
  EXPECT_EQ(ReadNameList(u"a\nc\n", &list).outcome, ReadBackOutcome::kFewerLines);
  EXPECT_EQ(ReadNameList(u"a\nb\nc\nd\n", &list).outcome, ReadBackOutcome::kMoreLines);
  EXPECT_EQ(ReadNameList(u"a\nb\nc", &list).outcome, ReadBackOutcome::kReady);  // no final line feed
  EXPECT_EQ(ReadNameList(u"", &list).outcome, ReadBackOutcome::kFewerLines);
}

TEST(EditorMode, InvalidCharactersMarkTheirItems) {
  RenameList list;
  Fill(list, {u"a", u"b", u"c"});
  std::u16string tooLong(kEditorLineMax + 1, u'x');
  ReadBack r = ReadNameList(u"a:b\nfine\n" + tooLong + u"\n", &list);
  EXPECT_EQ(r.outcome, ReadBackOutcome::kInvalidNames);
  EXPECT_EQ(r.invalid, 2u);
  EXPECT_EQ(list.entries[0].status, kStatusInvalidTyped);
  EXPECT_EQ(*list.entries[1].name, u"fine");
  EXPECT_EQ(list.entries[2].status, kStatusInvalidTyped);
}

TEST(EditorMode, NamesAroundTheCurrentLineFitTheWindow) {
  EXPECT_EQ(NamesAround(0, 100, 10), (std::pair<uint32_t, uint32_t>{0, 10}));
  EXPECT_EQ(NamesAround(50, 100, 10), (std::pair<uint32_t, uint32_t>{45, 55}));
  EXPECT_EQ(NamesAround(99, 100, 10), (std::pair<uint32_t, uint32_t>{90, 100}));
  EXPECT_EQ(NamesAround(3, 5, 10), (std::pair<uint32_t, uint32_t>{0, 5}));
}

}  // namespace
}  // namespace quillet
