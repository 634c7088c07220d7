// The trimming walk against a small editor with an undo group, and its progress arithmetic.
#include "editortools/trimmer/core/trim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <vector>

using snipwell::TrimResult;
using snipwell::TrimTrailing;

namespace {

struct Line {
  std::u16string text, eol;
  bool operator==(const Line&) const = default;
};

class FakeEditor : public snipwell::TrimEditor {
 public:
  explicit FakeEditor(std::vector<Line> l) : lines(std::move(l)) {}
  bool Info(int* total, snipwell::EditorPosition* pos) override {
    *total = static_cast<int>(lines.size());
    *pos = position;
    return infoWorks;
  }
  bool GoToLine(int n) override {
    cur = n;
    return n >= 0 && n < static_cast<int>(lines.size());
  }
  bool CurrentLine(std::u16string* text, std::u16string* eol) override {
    if (cur == throwOnLine) throw std::bad_alloc();
    *text = lines[static_cast<size_t>(cur)].text;
    *eol = lines[static_cast<size_t>(cur)].eol;
    return true;
  }
  bool SetCurrentLine(const std::u16string& text, const std::u16string& eol) override {
    lines[static_cast<size_t>(cur)] = {text, eol};
    return true;
  }
  bool DeleteCurrentLine() override {
    lines.erase(lines.begin() + cur);
    return true;
  }
  void SetPosition(const snipwell::EditorPosition& p) override { restored = p; }
  void BeginUndoGroup() override {
    saved = lines;
    log += u"B";
  }
  void EndUndoGroup() override { log += u"E"; }
  void UndoGroup() override {
    lines = saved;
    log += u"U";
  }
  void Redraw() override { log += u"R"; }
  std::vector<Line> lines, saved;
  int cur = -1;
  int throwOnLine = -1;  // the copy of this line runs out of memory
  bool infoWorks = true;
  snipwell::EditorPosition position{3, 4, 5, 1, 0, 0}, restored;
  std::u16string log;
};

class FakeProgress : public snipwell::TrimProgress {
 public:
  void Start() override { events.push_back(-1); }
  void Complete() override { events.push_back(-2); }
  void Stop() override { events.push_back(-3); }
  void Show(int percent, uint64_t, uint64_t) override { events.push_back(percent); }
  bool EscPressed() override { return ++polls == escOnPoll; }
  std::vector<int> events;
  int polls = 0, escOnPoll = -1;
};

}  // namespace

TEST(Trim, CleanFileReportsNothing) {
  FakeEditor ed({{u"int a;", u"\r\n"}, {u"", u""}});
  FakeProgress pr;
  TrimResult r = TrimTrailing(ed, pr);
  EXPECT_EQ(r.outcome, TrimResult::Done);
  EXPECT_EQ(r.blanksRemoved, 0u);
  EXPECT_EQ(r.linesRemoved, 0u);
  EXPECT_EQ(ed.lines.size(), 2u);
  EXPECT_EQ(ed.log, u"BER");
}

TEST(Trim, ThreeTrailingEmptyLinesLoseTheTwoAboveTheLast) {
  FakeEditor ed({{u"a", u"\n"}, {u"", u"\n"}, {u"", u"\n"}, {u"", u""}});
  FakeProgress pr;
  TrimResult r = TrimTrailing(ed, pr);
  EXPECT_EQ(r.linesRemoved, 2u);
  EXPECT_EQ(r.blanksRemoved, 0u);
  EXPECT_EQ(ed.lines, (std::vector<Line>{{u"a", u"\n"}, {u"", u""}}));
}

TEST(Trim, BlanksAreCutKeepingLineEndsAndBlankTailLinesGoToo) {
  FakeEditor ed({{u"x = 1;  \t", u"\r\n"}, {u"  ", u"\n"}, {u"\t", u"\r\n"}, {u"   ", u""}});
  FakeProgress pr;
  TrimResult r = TrimTrailing(ed, pr);
  EXPECT_EQ(r.blanksRemoved, 3u + 2u + 1u + 3u);
  EXPECT_EQ(r.linesRemoved, 2u);  // the blank last line is emptied but stays
  EXPECT_EQ(ed.lines, (std::vector<Line>{{u"x = 1;", u"\r\n"}, {u"", u""}}));
}

TEST(Trim, EmptyLinesInsideTheTextStay) {
  FakeEditor ed({{u"a ", u"\n"}, {u"", u"\n"}, {u"  ", u"\n"}, {u"b", u"\n"}, {u"", u"\n"}, {u"", u""}});
  FakeProgress pr;
  TrimResult r = TrimTrailing(ed, pr);
  EXPECT_EQ(r.linesRemoved, 1u);
  EXPECT_EQ(r.blanksRemoved, 3u);
  EXPECT_EQ(ed.lines, (std::vector<Line>{{u"a", u"\n"}, {u"", u"\n"}, {u"", u"\n"}, {u"b", u"\n"}, {u"", u""}}));
}

TEST(Trim, EscUndoesTheWholeGroupAfterRestoringThePosition) {
  std::vector<Line> before{{u"a ", u"\n"}, {u"b ", u"\n"}, {u"", u"\n"}, {u"", u""}};
  FakeEditor ed(before);
  FakeProgress pr;
  pr.escOnPoll = 3;  // after two lines were handled
  TrimResult r = TrimTrailing(ed, pr);
  EXPECT_EQ(r.outcome, TrimResult::Cancelled);
  EXPECT_EQ(ed.lines, before);
  EXPECT_EQ(ed.log, u"BEUR");
  EXPECT_EQ(ed.restored.curLine, 3);
  EXPECT_EQ(ed.restored.curTabPos, 5);
}

TEST(Trim, FailsWithoutEditorInfo) {
  FakeEditor ed(std::vector<Line>{{u"a ", u""}});
  ed.infoWorks = false;
  FakeProgress pr;
  EXPECT_EQ(TrimTrailing(ed, pr).outcome, TrimResult::Failed);
  EXPECT_EQ(ed.log, u"");
  EXPECT_TRUE(pr.events.empty());
}

// Out of memory while copying a line: the run stops at once, keeps what it did as one closed undo
// group, puts the cursor back, ends the progress and reports nothing to report.
TEST(Trim, OutOfMemoryStopsAtOnceAndCleansUp) {
  FakeEditor ed({{u"a ", u"\n"}, {u"b ", u"\n"}, {u"c ", u"\n"}, {u"d ", u"\n"}, {u"", u""}});
  ed.throwOnLine = 2;
  FakeProgress pr;
  TrimResult r = TrimTrailing(ed, pr);
  EXPECT_EQ(r.outcome, TrimResult::Failed);
  EXPECT_EQ(ed.lines, (std::vector<Line>{{u"a ", u"\n"}, {u"b ", u"\n"}, {u"c ", u"\n"}, {u"d", u"\n"}, {u"", u""}}));
  EXPECT_EQ(ed.log, u"BER");
  EXPECT_EQ(ed.restored.curLine, 3);
  EXPECT_EQ(ed.restored.curPos, 4);
  ASSERT_FALSE(pr.events.empty());
  EXPECT_EQ(pr.events.back(), -3);
}

// Esc before the end also ends the taskbar state.
TEST(TrimProgress, StoppedWhenTheRunEndsEarly) {
  FakeEditor ed({{u"a", u"\n"}, {u"b", u"\n"}, {u"", u""}});
  FakeProgress pr;
  pr.escOnPoll = 1;
  TrimTrailing(ed, pr);
  EXPECT_EQ(pr.events.back(), -3);
  FakeEditor done(std::vector<Line>{Line{u"a", u""}});
  FakeProgress whole;
  TrimTrailing(done, whole);
  EXPECT_EQ(std::count(whole.events.begin(), whole.events.end(), -3), 0);
}

TEST(TrimProgress, ShowsEachPercentageOnceAndCompletesBeforeTheLast) {
  std::vector<Line> many(250, Line{u"x", u"\n"});
  many.back().eol.clear();
  FakeEditor ed(many);
  FakeProgress pr;
  TrimTrailing(ed, pr);
  ASSERT_GE(pr.events.size(), 3u);
  EXPECT_EQ(pr.events[0], -1);
  // 250 lines: 1 % is reached at the third line; 0 % is never reported again.
  EXPECT_EQ(pr.events[1], 1);
  std::vector<int> percents;
  for (int e : pr.events)
    if (e >= 0) percents.push_back(e);
  EXPECT_EQ(percents.size(), 100u);
  EXPECT_EQ(percents.back(), 100);
  EXPECT_EQ(pr.events[pr.events.size() - 2], -2);
}

TEST(TrimProgress, Arithmetic) {
  EXPECT_EQ(snipwell::Percentage(1, 3), 33);
  EXPECT_EQ(snipwell::Percentage(3, 3), 100);
  EXPECT_EQ(snipwell::Percentage(4000000000ull, 4000000001ull), 99);  // no overflow in done * 100
  EXPECT_EQ(snipwell::TrackCell(0), 0);
  EXPECT_EQ(snipwell::TrackCell(4), 0);
  EXPECT_EQ(snipwell::TrackCell(5), 1);
  EXPECT_EQ(snipwell::TrackCell(99), 19);
  EXPECT_EQ(snipwell::TrackCell(100), 19);
  for (int row = 0; row < snipwell::kBoxHeight; ++row) EXPECT_EQ(snipwell::BoxRow(row).size(), 28u);
  EXPECT_EQ(snipwell::BoxRow(2).substr(0, 4), u"  \x2551 ");
  EXPECT_EQ(snipwell::CaptionColumn(10, 5), 22);
}
