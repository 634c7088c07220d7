// The popup, the progress window, the message helper and the Esc check on a console in memory.
#include <gtest/gtest.h>

#include <string>

#include "devicebrowser/common/console/core/popup.h"
#include "devicebrowser/common/console/tests/console_conformance.h"
#include "devicebrowser/common/console/tests/memory_console.h"

using namespace handrel::con;
using handrel::con::testing::MemoryConsole;

namespace {

std::string Line(char left, const std::string& middle, char right) { return left + middle + right; }
std::string Spaced(const std::string& s) { return std::string(1, ' ').append(s).append(1, ' '); }

}  // namespace

TEST(Popup, BoxCentredWithTitleShadowAndConsoleTitleThenAllRestored) {
  MemoryConsole c;
  Cell under = c.At(49, 12);
  {
    Popup p(c, "Files", {"Listing files..."});
    // Content 16 wide: the box is 20 x 3, centred in 80 x 25.
    ASSERT_EQ(p.Box(), (Rect{30, 11, 49, 13}));
    EXPECT_EQ(c.Row(11, 30, 49), Line('\xC9', std::string(5, '\xCD') + " Files " + std::string(6, '\xCD'), '\xBB'));
    EXPECT_EQ(c.Row(12, 30, 49), Line('\xBA', " Listing files... ", '\xBA'));
    EXPECT_EQ(c.Row(13, 30, 49), Line('\xC8', std::string(18, '\xCD'), '\xBC'));
    for (int x = 30; x <= 49; ++x) EXPECT_EQ(c.At(x, 12).attr, 0x70);
    // Shadow: two columns right from the second row, the row below from the third column; the
    // characters stay, their colour becomes grey on black.
    for (int y = 12; y <= 14; ++y)
      for (int x = 50; x <= 51; ++x) {
        EXPECT_EQ(c.At(x, y).attr, 0x07) << x << "," << y;
        EXPECT_EQ(c.At(x, y).ch, static_cast<char>('a' + (x + y) % 26));
      }
    for (int x = 32; x <= 49; ++x) EXPECT_EQ(c.At(x, 14).attr, 0x07) << x;
    EXPECT_EQ(c.At(31, 14).attr, 0x1F);
    EXPECT_EQ(c.At(30, 14).attr, 0x1F);
    EXPECT_EQ(c.At(52, 12).attr, 0x1F);
    EXPECT_EQ(c.At(50, 11).attr, 0x1F);
    EXPECT_TRUE(p.ShadowShown());
    EXPECT_EQ(c.title, "Files (Listing files...)");
    EXPECT_GE(c.flushes, 1);
    EXPECT_TRUE(c.messages.empty());
  }
  EXPECT_EQ(c.title, "Kel");
  EXPECT_EQ(c.At(49, 12).ch, under.ch);
  EXPECT_EQ(c.At(49, 12).attr, under.attr);
  EXPECT_EQ(c.At(50, 12).attr, 0x1F);
  EXPECT_EQ(c.openSaves, 0);
}

TEST(Popup, NewTextRedrawsAndABoxOfAnotherSizeLeavesNothingBehind) {
  MemoryConsole c;
  Popup p(c, "Delete", {"Deleting the file or folder"});
  Rect first = p.Box();
  p.SetLines({"a"});
  Rect second = p.Box();
  EXPECT_LT(second.Width(), first.Width());
  EXPECT_EQ(c.title, "Delete (a)");
  // Where the wider box and its shadow were is the background again.
  EXPECT_EQ(c.At(first.x1, first.y1).attr, 0x1F);
  EXPECT_EQ(c.At(first.x2 + 1, first.y1 + 1).attr, 0x1F);
  EXPECT_EQ(c.At(second.x1, second.y1).ch, '\xC9');
  EXPECT_EQ(c.At(second.x2 + 2, second.y1 + 1).attr, 0x07);
  EXPECT_EQ(c.openSaves, 1);
}

TEST(Popup, UnreadableConsoleSaysSoOnceAndDrawsWithoutShadow) {
  MemoryConsole c;
  c.readable = false;
  c.answers = {0};
  Popup p(c, "Files", {"Listing files..."});
  ASSERT_EQ(c.messages.size(), 1u);
  EXPECT_EQ(c.messages[0].items, (std::vector<std::string>{"CPop", "Can't read console!", "OK"}));
  EXPECT_EQ(c.messages[0].buttons, 1);
  EXPECT_TRUE(c.messages[0].warning);
  EXPECT_FALSE(p.ShadowShown());
  EXPECT_EQ(c.At(p.Box().x2 + 1, p.Box().y1 + 1).attr, 0x1F);
  EXPECT_EQ(c.At(p.Box().x1, p.Box().y1).ch, '\xC9');
  p.SetLines({"again"});
  EXPECT_EQ(c.messages.size(), 1u);
}

TEST(Popup, UnknownConsoleSizeCountsAsEightyByTwentyFiveAndLongLinesAreCut) {
  MemoryConsole c(120, 40);
  c.sizeReadable = false;
  Popup p(c, "T", {std::string(200, 'x')});
  EXPECT_EQ(p.Box(), (Rect{1, 11, 78, 13}));  // 74 characters of text: 80 less frame, spaces, shadow
  EXPECT_EQ(c.Row(12, 1, 78), Line('\xBA', Spaced(std::string(74, 'x')), '\xBA'));
  EXPECT_EQ(c.At(79, 12).attr, 0x07);
  MemoryConsole wide(120, 40);
  Popup q(wide, "T", {"abc"});
  EXPECT_EQ(q.Box().x1, (120 - 7) / 2);
  EXPECT_EQ(q.Box().y1, (40 - 3) / 2);
}

TEST(Popup, ShadowClippedAtTheConsoleEdge) {
  MemoryConsole c(10, 4);
  Popup p(c, "", {"abcdefgh"});  // cut to 4 characters; the shadow's second column falls outside
  EXPECT_EQ(p.Box(), (Rect{1, 0, 8, 2}));
  EXPECT_EQ(c.Row(1, 1, 8), Line('\xBA', " abcd ", '\xBA'));
  EXPECT_EQ(c.At(9, 1).attr, 0x07);
  EXPECT_EQ(c.At(9, 3).attr, 0x07);
  EXPECT_EQ(c.At(3, 3).attr, 0x07);
  EXPECT_EQ(c.At(2, 3).attr, 0x1F);
}

TEST(Progress, ElevenLinesAtTheStart) {
  MemoryConsole c;
  c.tick = 5000;
  Progress p(c, "Copy", 3, 3000);
  p.StartFile("file.txt", "C:\\target\\file.txt", 1000);
  p.Redraw();
  ProgressView v = ProgressLines(p.Counters(), c.tick);
  std::vector<std::string> expected = {
      "Copying the file",
      "file.txt",
      "to",
      "C:\\target\\file.txt",
      std::string(41, '\xB0') + "   0%",
      std::string(16, '\xC4') + " Total: 3,000 " + std::string(16, '\xC4'),
      std::string(41, '\xB0') + "   0%",
      std::string(46, '\xC4'),
      "Files/folders processed: 0 of 3",
      std::string(46, '\xC4'),
      "Time: 00:00:00  Remaining: 00:00:00 0 b/s     ",
  };
  EXPECT_EQ(v.lines, expected);
  EXPECT_EQ(c.title, "(0% 00:00:00)");
  // On the console: 46 columns of content, title "Copy" in the top border, each line two columns
  // inside the left frame.
  Rect box = p.Window().Box();
  EXPECT_EQ(box.Width(), 50);
  EXPECT_EQ(box.Height(), 13);
  EXPECT_EQ(c.Row(box.y1, box.x1, box.x2).find(" Copy "), 22u);
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(c.Row(box.y1 + 1 + static_cast<int>(i), box.x1 + 2, box.x1 + 2 + static_cast<int>(expected[i].size()) - 1),
              expected[i]) << i;
}

TEST(Progress, MidwayBarsTimeAndConsoleTitle) {
  MemoryConsole c;
  c.tick = 1000;
  Progress p(c, "Mov", 4, 4000);
  p.StartFile("a", "b", 2000);
  p.AddBytes(1500);                 // file 75 %
  p.Counters().processedItems = 1;
  c.tick = 1000 + 3500;             // three whole seconds
  p.AddBytes(500);                  // file done: 2000 of 4000 in all
  ProgressView v = ProgressLines(p.Counters(), c.tick);
  EXPECT_EQ(v.lines[0], "Moving the file");
  EXPECT_EQ(v.lines[4], std::string(41, '\xDB') + " 100%");
  EXPECT_EQ(v.lines[6], std::string(20, '\xDB') + std::string(21, '\xB0') + "  50%");
  EXPECT_EQ(v.lines[8], "Files/folders processed: 1 of 4");
  EXPECT_EQ(v.lines[10], "Time: 00:00:03  Remaining: 00:00:03 666 b/s   ");
  EXPECT_EQ(c.title, "(50% 00:00:03)");
  // The next file: what the previous one had not counted goes to the total first.
  p.StartFile("c", "d", 1000);
  p.SetFileSize(1000);
  EXPECT_EQ(p.Counters().totalDone, 2000u);
  p.StartFile("e", "f", 100);       // "c" skipped after 0 bytes: its 1000 count as done
  EXPECT_EQ(p.Counters().totalDone, 3000u);
  EXPECT_EQ(p.Counters().fileDone, 0u);
}

TEST(Progress, SpeedUnitsAndTheLongestTimeOnTheTimeLine) {
  struct { uint64_t bytes; const char* speed; } table[] = {
      {999, "999 b/s   "}, {1000, "1,000 kb/s"}, {1234567, "1,234 Mb/s"}};
  for (auto& row : table) {
    MemoryConsole c;
    Progress p(c, "Copy", 1, UINT64_MAX / 2);
    c.tick = 1000;
    p.AddBytes(row.bytes);
    Rect box = p.Window().Box();
    EXPECT_EQ(c.Row(box.y1 + 11, box.x1 + 2, box.x1 + 47),
              std::string("Time: 00:00:01  Remaining: 99:59:59 ") + row.speed);
  }
}

TEST(ShowMessage, TitleLinesAndButtons) {
  MemoryConsole c;
  c.answers = {1, 0, 0};
  EXPECT_EQ(ShowMessage(c, "Title", "one\r\ntwo\nthree\n\r\n\rfour\r\n", "&Yes\r\n&No", true), 1);
  EXPECT_EQ(c.messages[0].items, (std::vector<std::string>{"Title", "one", "two", "three", "four", "&Yes", "&No"}));
  EXPECT_EQ(c.messages[0].buttons, 2);
  EXPECT_TRUE(c.messages[0].warning);
  ShowMessage(c, nullptr, "a\nb", nullptr, false);
  EXPECT_EQ(c.messages[1].items, (std::vector<std::string>{"", "a", "b", "OK"}));
  EXPECT_FALSE(c.messages[1].warning);
  // CR LF pairs and single LFs give the same lines.
  EXPECT_EQ(SplitLines("x\r\ny\r\nz"), SplitLines("x\ny\nz"));
  EXPECT_EQ(SplitLines(nullptr), std::vector<std::string>{});
  EXPECT_EQ(SplitLines("\r\n"), std::vector<std::string>{});
  EXPECT_EQ(c.answers.size(), 1u);
  EXPECT_EQ(ShowMessage(c, "t", "", "", false), 0);
  EXPECT_EQ(c.messages[2].items, (std::vector<std::string>{"t", "OK"}));
}

TEST(ShowMessage, LimitsOnLinesWidthAndItems) {
  std::string text;
  for (int i = 0; i < 120; ++i) text += "line" + std::to_string(i) + "\n";
  MessageItems m = BuildMessage("T", text.c_str(), "A\nB");
  ASSERT_EQ(m.items.size(), 100u);  // title, 97 lines and two buttons
  EXPECT_EQ(m.items[97], "line96");
  EXPECT_EQ(m.items[98], "A");
  EXPECT_EQ(m.buttons, 2);
  m = BuildMessage("T", text.c_str(), nullptr);
  EXPECT_EQ(m.items.size(), 100u);  // title, 98 lines, OK
  EXPECT_EQ(m.items[98], "line97");
  m = BuildMessage("T", "short", nullptr);
  EXPECT_EQ(m.items.size(), 3u);
  std::string wide(300, 'w');
  m = BuildMessage(nullptr, (std::string(254, 'v') + "\n" + wide).c_str(), nullptr);
  EXPECT_EQ(m.items[1].size(), 254u);
  EXPECT_EQ(m.items[2].size(), 254u);
}

TEST(CheckEscape, NothingPendingMeansNoRead) {
  MemoryConsole c;
  EXPECT_EQ(CheckEscape(c), 0);
  EXPECT_EQ(c.reads, 0);
  EXPECT_TRUE(c.messages.empty());
}

TEST(CheckEscape, OtherInputIsReadAndDropped) {
  MemoryConsole c;
  c.Key('A');
  c.Mouse();
  c.Key(kVkEscape, false);  // a key-up of Esc is no request
  EXPECT_EQ(CheckEscape(c), 0);
  EXPECT_TRUE(c.input.empty());
  EXPECT_TRUE(c.messages.empty());
}

TEST(CheckEscape, EscAnsweredYesCancels) {
  MemoryConsole c;
  c.Key('A');
  c.Key(kVkEscape);
  c.answers = {0};
  EXPECT_EQ(CheckEscape(c), 1);
  ASSERT_EQ(c.messages.size(), 1u);
  EXPECT_EQ(c.messages[0].items, (std::vector<std::string>{"", "Cancel operation?", "&Yes", "&No"}));
  EXPECT_TRUE(c.messages[0].warning);
  EXPECT_EQ(c.inputFlushes, 0);
}

TEST(CheckEscape, EscAnsweredNoGoesOnAndDiscardsTheRest) {
  for (int answer : {1, -1}) {
    MemoryConsole c;
    c.Key(kVkEscape);
    c.Key('B');
    c.answers = {answer};
    EXPECT_EQ(CheckEscape(c), 0);
    EXPECT_EQ(c.messages.size(), 1u);
    EXPECT_EQ(c.inputFlushes, 1);
    EXPECT_TRUE(c.input.empty());
  }
}

TEST(CheckEscape, AtMostTenEventsPerCheck) {
  MemoryConsole c;
  for (int i = 0; i < 10; ++i) c.Key('x');
  c.Key(kVkEscape);
  EXPECT_EQ(CheckEscape(c), 0);  // the Esc is the eleventh: not seen yet
  EXPECT_EQ(c.input.size(), 1u);
  c.answers = {0};
  EXPECT_EQ(CheckEscape(c), 1);
}

TEST(ConsoleSeam, MemoryConsoleConforms) {
  MemoryConsole c;
  handrel::con::testing::CheckConsoleSeam(c, [&] {
    c.Key(kVkEscape, true);
    c.Key(kVkEscape, false);
  });
}
