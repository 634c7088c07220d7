// Choosing the comment string and toggling it on lines and blocks, against a small editor.
#include "editortools/remarks/core/remarks.h"

#include <gtest/gtest.h>

#include <new>
#include <vector>

using glossa::RemarkAction;

namespace {

// A stand-in matcher: masks separated by ",", "*" only at the start ("*.ext") or alone.
bool SimpleMatch(const std::u16string& masks, const std::u16string& name) {
  size_t at = 0;
  while (at <= masks.size()) {
    size_t end = masks.find(u',', at);
    if (end == std::u16string::npos) end = masks.size();
    std::u16string m = masks.substr(at, end - at);
    if (m == u"*" || m == u"*.*") return true;
    if (m.size() > 1 && m[0] == u'*' && name.size() >= m.size() - 1 &&
        name.compare(name.size() - (m.size() - 1), m.size() - 1, m.substr(1)) == 0)
      return true;
    if (m == name) return true;
    at = end + 1;
  }
  return false;
}

struct Line {
  std::u16string text, eol;
  int selStart = -1, selEnd = -1;
};

class FakeEditor : public glossa::RemarkEditor {
 public:
  explicit FakeEditor(std::vector<Line> l) : lines(std::move(l)) {}
  bool Info(glossa::RemarkCursor* c, int* total, int* blockStart) override {
    *c = cursor;
    *total = static_cast<int>(lines.size());
    *blockStart = blockStartLine;
    return true;
  }
  bool GoToLine(int n) override {
    cursor.curLine = n;
    cursor.curPos = 0;
    cursor.topScreenLine = 0;
    return n < static_cast<int>(lines.size());
  }
  bool CurrentLine(glossa::RemarkLine* l) override {
    if (cursor.curLine == throwOnLine) throw std::bad_alloc();
    const Line& s = lines[static_cast<size_t>(cursor.curLine)];
    *l = {s.text, s.eol, s.selStart, s.selEnd};
    return true;
  }
  bool SetCurrentLine(const std::u16string& text, const std::u16string& eol) override {
    lines[static_cast<size_t>(cursor.curLine)].text = text;
    lines[static_cast<size_t>(cursor.curLine)].eol = eol;
    return true;
  }
  void Restore(const glossa::RemarkCursor& c) override { cursor = c; }
  void SelectLines(int first, int end) override {
    selFirst = first;
    selEnd = end;
  }
  void BeginUndoGroup() override { log += u"B"; }
  void EndUndoGroup() override { log += u"E"; }
  std::vector<Line> lines;
  glossa::RemarkCursor cursor;
  int blockStartLine = -1;
  int throwOnLine = -1;  // the copy of this line runs out of memory
  int selFirst = -1, selEnd = -1;
  std::u16string log;
};

}  // namespace

TEST(ChooseComment, TheFirstMatchingTypeWinsAndEmptyMasksAreIgnored) {
  glossa::RemarkSettings s;
  s.types = {{u"Empty", u"", u"!!"}, {u"Shell", u"*.sh,*.py", u"#"}, {u"Python", u"*.py", u";"}};
  EXPECT_EQ(glossa::ChooseComment(s, u"run.py", SimpleMatch), u"#");
  EXPECT_EQ(glossa::ChooseComment(s, u"main.c", SimpleMatch), u"//");
}

TEST(ChooseComment, ADefaultMaskThatDoesNotMatchStopsEverything) {
  glossa::RemarkSettings s;
  s.fallback.mask = u"*.c";
  s.types = {{u"Shell", u"*.sh", u"#"}};
  EXPECT_EQ(glossa::ChooseComment(s, u"x.sh", SimpleMatch), std::nullopt);
}

TEST(ToggleLine, AddsBeforeLeadingBlanksAndRemovesOnlyAtCharacterZero) {
  EXPECT_EQ(glossa::ToggleLine(RemarkAction::Add, u"//", u"  x;"), u"//  x;");
  EXPECT_EQ(glossa::ToggleLine(RemarkAction::Add, u"#", u""), u"#");
  EXPECT_EQ(glossa::ToggleLine(RemarkAction::Remove, u"//", u"//  x;"), u"  x;");
  EXPECT_EQ(glossa::ToggleLine(RemarkAction::Remove, u"//", u"  // x;"), std::nullopt);
  EXPECT_EQ(glossa::ToggleLine(RemarkAction::Remove, u"//", u"/"), std::nullopt);
  EXPECT_EQ(glossa::ToggleLine(RemarkAction::Remove, u"REM ", u"REM x"), u"x");
}

TEST(ApplyRemark, TheCursorLineAloneWithoutABlock) {
  FakeEditor ed({{u"a", u"\n"}, {u"  b", u"\r\n"}, {u"c", u""}});
  ed.cursor = {1, 2, 0, 0, 1};
  EXPECT_EQ(glossa::ApplyRemark(ed, RemarkAction::Add, u"--"), 1);
  EXPECT_EQ(ed.lines[1].text, u"--  b");
  EXPECT_EQ(ed.lines[1].eol, u"\r\n");
  EXPECT_EQ(ed.lines[0].text, u"a");
  EXPECT_EQ(ed.cursor.curPos, 2);
  EXPECT_EQ(ed.cursor.overtype, 1);
  EXPECT_EQ(ed.selFirst, 1);
  EXPECT_EQ(ed.selEnd, 2);
  EXPECT_EQ(ed.log, u"BE");
}

TEST(ApplyRemark, ABlockIncludingBlankLinesIsCommentedAndReselected) {
  FakeEditor ed({{u"a", u"\n", -1, -1}, {u"b", u"\n", 0, -1}, {u"", u"\n", 0, -1}, {u"   ", u"\n", 0, -1},
                 {u"e", u"\n", 0, 0}, {u"f", u"", -1, -1}});
  ed.blockStartLine = 1;
  ed.cursor = {4, 0, 2, 0, 0};
  EXPECT_EQ(glossa::ApplyRemark(ed, RemarkAction::Add, u"#"), 3);
  EXPECT_EQ(ed.lines[1].text, u"#b");
  EXPECT_EQ(ed.lines[2].text, u"#");
  EXPECT_EQ(ed.lines[3].text, u"#   ");
  EXPECT_EQ(ed.lines[4].text, u"e");
  EXPECT_EQ(ed.selFirst, 1);
  EXPECT_EQ(ed.selEnd, 4);
  EXPECT_EQ(ed.cursor.curLine, 4);
  EXPECT_EQ(ed.cursor.topScreenLine, 2);
}

TEST(ApplyRemark, RemovingWhereNothingIsCommentedSelectsNothing) {
  FakeEditor ed({{u"  // a", u"\n", 0, -1}, {u"b", u"", 0, -1}});
  ed.blockStartLine = 0;
  EXPECT_EQ(glossa::ApplyRemark(ed, RemarkAction::Remove, u"//"), 0);
  EXPECT_EQ(ed.lines[0].text, u"  // a");
  EXPECT_EQ(ed.selFirst, -1);
  EXPECT_EQ(ed.log, u"BE");
}

TEST(TrimBlanks, Names) {
  EXPECT_EQ(glossa::TrimBlanks(u" \tShell  "), u"Shell");
  EXPECT_EQ(glossa::TrimBlanks(u"   "), u"");
}

// Memory running out on a line of a block: the cursor goes back and the undo group is closed
// before the failure reaches the caller; the lines done so far stay done.
TEST(ApplyRemark, OutOfMemoryRestoresTheCursorAndClosesTheGroup) {
  FakeEditor ed({{u"a", u"\n", 0, -1}, {u"b", u"\n", 0, -1}, {u"c", u"", 0, -1}});
  ed.blockStartLine = 0;
  ed.cursor = {2, 1, 0, 0, 0};
  ed.throwOnLine = 1;
  EXPECT_THROW(glossa::ApplyRemark(ed, RemarkAction::Add, u"//"), std::bad_alloc);
  EXPECT_EQ(ed.log, u"BE");
  EXPECT_EQ(ed.cursor.curLine, 2);
  EXPECT_EQ(ed.cursor.curPos, 1);
  EXPECT_EQ(ed.lines[0].text, u"//a");
  EXPECT_EQ(ed.lines[1].text, u"b");
}
