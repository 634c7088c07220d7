// Backspace and Tab at the start of a line's text, against a small editor with tab stops of 8.
#include "editortools/backspace/core/indent.h"

#include <gtest/gtest.h>

#include <vector>

using rubato::HandleIndentKey;
using rubato::IndentKey;

namespace {

class FakeEditor : public rubato::IndentEditor {
 public:
  FakeEditor(std::vector<std::u16string> text, int line, int pos) : lines(std::move(text)), curLine(line), curPos(pos) {}
  bool Cursor(int* line, int* pos, int* column) override {
    *line = curLine;
    *pos = curPos;
    *column = Column(curLine, curPos);
    return true;
  }
  bool Line(int number, std::u16string* text) override {
    if (number == -1) number = curLine;
    if (number < 0 || number >= static_cast<int>(lines.size())) return false;
    *text = lines[static_cast<size_t>(number)];
    return true;
  }
  int Column(int number, int pos) override {
    const std::u16string& t = lines[static_cast<size_t>(number)];
    int col = 0;
    for (int i = 0; i < pos; ++i)
      col = i < static_cast<int>(t.size()) && t[static_cast<size_t>(i)] == u'\t' ? col + 8 - col % 8 : col + 1;
    return col;
  }
  bool SetCursorLine(const std::u16string& text) override {
    lines[static_cast<size_t>(curLine)] = text;
    ++sets;
    return true;
  }
  void SetCursorColumn(int column) override {
    const std::u16string& t = lines[static_cast<size_t>(curLine)];
    int col = 0, i = 0;
    while (i < static_cast<int>(t.size()) && col < column) col = t[static_cast<size_t>(i++)] == u'\t' ? col + 8 - col % 8 : col + 1;
    curPos = i + (column - col);
    cursorColumn = column;
  }
  void Redraw() override { ++redraws; }
  std::vector<std::u16string> lines;
  int curLine, curPos;
  int cursorColumn = -1, sets = 0, redraws = 0;
};

IndentKey Key(char16_t ch, bool down = true, uint32_t state = 0, int type = rubato::kKeyEvent) {
  IndentKey k;
  k.ch = ch;
  k.keyDown = down;
  k.controlState = state;
  k.eventType = type;
  return k;
}

}  // namespace

TEST(SmartBackspace, UnindentsToTheNearestShallowerLineAbove) {
  FakeEditor ed({u"if (a) {", u"    if (b) {", u"        call();", u"        x;"}, 3, 8);
  EXPECT_TRUE(HandleIndentKey(ed, Key(8), true));
  EXPECT_EQ(ed.lines[3], u"    x;");
  EXPECT_EQ(ed.cursorColumn, 4);
  EXPECT_EQ(ed.redraws, 1);
  // Again: now the shallower line is the first one.
  ed.curPos = 4;
  EXPECT_TRUE(HandleIndentKey(ed, Key(8), true));
  EXPECT_EQ(ed.lines[3], u"x;");
  EXPECT_EQ(ed.cursorColumn, 0);
}

TEST(SmartBackspace, CopiesTheReferenceIndentationWithItsTabsAndComparesScreenColumns) {
  // The line above is indented by one tab (column 8); the current line by 12 spaces: 8 < 12.
  FakeEditor ed({u"\tbody;", u"            deeper;"}, 1, 12);
  EXPECT_TRUE(HandleIndentKey(ed, Key(8), true));
  EXPECT_EQ(ed.lines[1], u"\tdeeper;");
  EXPECT_EQ(ed.cursorColumn, 8);
  // A tab line (column 8) above a 4-space line is not shallower: keep searching, none left.
  FakeEditor ed2({u"\tbody;", u"    x;"}, 1, 4);
  EXPECT_TRUE(HandleIndentKey(ed2, Key(8), true));
  EXPECT_EQ(ed2.lines[1], u"x;");
  EXPECT_EQ(ed2.cursorColumn, 0);
}

TEST(SmartBackspace, SkipsBlankLinesAboveAndEmptiesABlankCurrentLine) {
  FakeEditor ed({u"  a", u"      b", u"   \t", u"", u"        "}, 4, 8);
  EXPECT_TRUE(HandleIndentKey(ed, Key(8), true));
  EXPECT_EQ(ed.lines[4], u"");
  EXPECT_EQ(ed.cursorColumn, 6);
  EXPECT_EQ(ed.lines[2], u"   \t");
}

TEST(SmartBackspace, LeavesOrdinaryBackspacesToTheEditor) {
  // At character 0, inside the indentation, after the first character, on line 0.
  FakeEditor ed({u"a", u"    bc"}, 1, 0);
  EXPECT_FALSE(HandleIndentKey(ed, Key(8), true));
  ed.curPos = 2;
  EXPECT_FALSE(HandleIndentKey(ed, Key(8), true));
  ed.curPos = 5;
  EXPECT_FALSE(HandleIndentKey(ed, Key(8), true));
  FakeEditor top({u"    a"}, 0, 4);
  EXPECT_FALSE(HandleIndentKey(top, Key(8), true));
  EXPECT_EQ(ed.sets + top.sets, 0);
}

TEST(SmartBackspace, ModifiersAndOtherEventsGoToTheEditor) {
  FakeEditor ed({u"a", u"    b"}, 1, 4);
  for (uint32_t bit : {0x1u, 0x2u, 0x4u, 0x8u, 0x10u}) EXPECT_FALSE(HandleIndentKey(ed, Key(8, true, bit), true));
  EXPECT_FALSE(HandleIndentKey(ed, Key(8, true, 0, 2), true));  // a mouse event
  EXPECT_FALSE(HandleIndentKey(ed, Key(u'x'), true));
  // Num Lock and Caps Lock (0x20, 0x80) are not modifiers.
  EXPECT_TRUE(HandleIndentKey(ed, Key(8, true, 0x20 | 0x80, rubato::kReplayedKeyEvent), true));
  EXPECT_EQ(ed.lines[1], u"b");
}

TEST(SmartBackspace, ConsumesTheReleaseOfAHandledKeyWithoutActing) {
  FakeEditor ed({u"a", u"    b"}, 1, 4);
  EXPECT_TRUE(HandleIndentKey(ed, Key(8, false), true));
  EXPECT_EQ(ed.lines[1], u"    b");
  EXPECT_EQ(ed.redraws, 0);
  ed.curPos = 2;  // not at the text: the release is the editor's too
  EXPECT_FALSE(HandleIndentKey(ed, Key(8, false), true));
}

TEST(SmartTab, IndentsToTheDeeperLineAbove) {
  FakeEditor ed({u"{", u"\t  x;", u"y;"}, 2, 0);
  EXPECT_TRUE(HandleIndentKey(ed, Key(9), true));
  EXPECT_EQ(ed.lines[2], u"\t  y;");
  EXPECT_EQ(ed.cursorColumn, 10);
}

TEST(SmartTab, IsAnOrdinaryTabWhenNothingAboveIsDeeperOrWhenDisabled) {
  FakeEditor same({u"    a", u"    b"}, 1, 4);
  EXPECT_FALSE(HandleIndentKey(same, Key(9), true));
  // The nearest non-blank line decides alone, even if a deeper one lies further up.
  FakeEditor nearest({u"        deep", u"a", u"", u"b"}, 3, 0);
  EXPECT_FALSE(HandleIndentKey(nearest, Key(9), true));
  FakeEditor none({u"", u"b"}, 1, 0);
  EXPECT_FALSE(HandleIndentKey(none, Key(9), true));
  FakeEditor off({u"        a", u"b"}, 1, 0);
  EXPECT_FALSE(HandleIndentKey(off, Key(9), false));
  EXPECT_EQ(same.sets + nearest.sets + none.sets + off.sets, 0);
}

TEST(SmartTab, OnABlankLineMovesTheCursorToTheDeeperColumn) {
  FakeEditor ed({u"    a", u"  "}, 1, 2);
  EXPECT_TRUE(HandleIndentKey(ed, Key(9), true));
  EXPECT_EQ(ed.lines[1], u"");
  EXPECT_EQ(ed.cursorColumn, 4);
}
