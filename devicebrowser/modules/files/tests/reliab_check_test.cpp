// The judge of the randomized copy and move runs: what a sound move, copy and append leave behind
// passes; each way of losing or corrupting data that a faulty engine could leave is named.
#include "devicebrowser/modules/files/tests/reliab_check.h"

#include <gtest/gtest.h>

namespace reliab {
namespace {

Entry File(std::string content) { return Entry{false, std::move(content)}; }
Entry Folder() { return Entry{true, ""}; }

// Device folder W\src with a file, a folder holding a file, and an unselected file; an old file
// in the computer's target folder; an unrelated file elsewhere.
Snapshot Start() {
  return {{"D\\W\\src", Folder()},
          {"D\\W\\src\\a.txt", File("alpha")},
          {"D\\W\\src\\Sub", Folder()},
          {"D\\W\\src\\Sub\\b.bin", File("beta")},
          {"D\\W\\src\\stay.txt", File("stay")},
          {"L\\W\\dst", Folder()},
          {"L\\W\\dst\\a.txt", File("old")},
          {"L\\Keep\\k.txt", File("keep")}};
}

Operation Move(int result) {
  Operation op;
  op.sourceFolder = "D\\W\\src\\";
  op.targetFolder = "L\\W\\dst\\";
  op.selected = {"a.txt", "Sub"};
  op.move = true;
  op.result = result;
  return op;
}

TEST(NothingLost, AFinishedMoveWithAnAppendAndAFolderPasses) {
  Snapshot after = Start();
  after.erase("D\\W\\src\\a.txt");
  after.erase("D\\W\\src\\Sub\\b.bin");
  after["L\\W\\dst\\a.txt"] = File("oldalpha");
  after["L\\W\\dst\\Sub"] = Folder();
  after["L\\W\\dst\\Sub\\b.bin"] = File("beta");
  EXPECT_EQ(Check(Start(), after, Move(1)), std::vector<std::string>{});
}

TEST(NothingLost, AFailedMoveLeavingSourcesAndUntouchedTargetsPassesButNotWhenItClaimsDone) {
  Snapshot after = Start();  // the first device call failed: nothing happened
  EXPECT_TRUE(Check(Start(), after, Move(0)).empty());
  // A skip answered by the user explains untouched targets of a finished run; without one it does not.
  Operation skipped = Move(1);
  skipped.userSkipped = true;
  after["L\\W\\dst\\Sub"] = Folder();
  EXPECT_TRUE(Check(Start(), after, skipped).empty());
  std::vector<std::string> problems = Check(Start(), after, Move(1));
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0], "done without a skip, but the target is not a copy: L\\W\\dst\\Sub\\b.bin");
  EXPECT_EQ(problems[1], "done without a skip, but the target is not a copy: L\\W\\dst\\a.txt");
}

TEST(NothingLost, LostAndCorruptedDataIsNamed) {
  Snapshot after = Start();
  after.erase("D\\W\\src\\a.txt");                  // moved away, but the target holds something else
  after["L\\W\\dst\\a.txt"] = File("alx");
  after.erase("D\\W\\src\\Sub\\b.bin");             // moved away with no target at all
  after["D\\W\\src\\stay.txt"] = File("stay!");     // not selected, yet changed
  after["L\\W\\dst\\c.txt"] = File("?");            // a file nobody asked for
  after.erase("D\\W\\src\\Sub");                    // the source folder of a move stays
  std::vector<std::string> problems = Check(Start(), after, Move(0));
  std::vector<std::string> expected = {
      "source folder gone: D\\W\\src\\Sub",
      "moved source gone, target missing is not its 4 bytes: L\\W\\dst\\Sub\\b.bin",
      "moved source gone, target 3 bytes is not its 5 bytes: L\\W\\dst\\a.txt",
      "target holds data that is not its source's (3 bytes -> 3 bytes, source 5 bytes): L\\W\\dst\\a.txt",
      "changed outside the selection (4 bytes -> 5 bytes): D\\W\\src\\stay.txt",
      "changed outside the selection (missing -> 1 bytes): L\\W\\dst\\c.txt"};
  EXPECT_EQ(problems, expected);
}

TEST(NothingLost, ACopyKeepsItsSourcesAndAnAppendAddsExactlyTheSource) {
  Operation copy = Move(1);
  copy.move = false;
  copy.selected = {"a.txt"};
  Snapshot after = Start();
  after.erase("D\\W\\src\\a.txt");
  after["L\\W\\dst\\a.txt"] = File("oldalphaalpha");  // appended twice
  std::vector<std::string> problems = Check(Start(), after, copy);
  std::vector<std::string> expected = {
      "a copy removed its source: D\\W\\src\\a.txt",
      "target holds data that is not its source's (3 bytes -> 13 bytes, source 5 bytes): L\\W\\dst\\a.txt"};
  EXPECT_EQ(problems, expected);
}

TEST(NothingLost, NoTargetIsLeftShortOrRemovedEvenWhenTheRunStopped) {
  Operation copy = Move(-1);
  copy.move = false;
  Snapshot start = Start();
  start["D\\W\\src\\c.txt"] = File("gamma");
  start["L\\W\\dst\\c.txt"] = File("old c");
  copy.selected = {"a.txt", "Sub", "c.txt"};
  Snapshot after = start;
  after["L\\W\\dst\\a.txt"] = File("al");         // an overwrite cut off
  after["L\\W\\dst\\Sub"] = Folder();
  after["L\\W\\dst\\Sub\\b.bin"] = File("");       // a new copy cut off before its first block
  after["L\\W\\dst\\c.txt"] = File("old cgam");    // an append cut off
  std::vector<std::string> expected = {
      "a created target left short (missing -> 0 bytes, source 4 bytes): L\\W\\dst\\Sub\\b.bin",
      "an overwritten target left short (3 bytes -> 2 bytes, source 5 bytes): L\\W\\dst\\a.txt",
      "an appended target left short (5 bytes -> 8 bytes, source 5 bytes): L\\W\\dst\\c.txt"};
  EXPECT_EQ(Check(start, after, copy), expected);
  after = start;
  after.erase("L\\W\\dst\\a.txt");  // an overwritten target removed after its copy failed
  EXPECT_EQ(Check(start, after, copy),
            std::vector<std::string>{"an overwritten target removed (3 bytes -> missing, source 5 bytes): L\\W\\dst\\a.txt"});
  // An item reported finished whose target was not touched, though nobody skipped it.
  after = start;
  copy.finished = {"a.txt"};
  EXPECT_EQ(Check(start, after, copy),
            std::vector<std::string>{"reported finished without a skip, but the target is not a copy: L\\W\\dst\\a.txt"});
  copy.userSkipped = true;
  EXPECT_TRUE(Check(start, after, copy).empty());
  // Untouched, whole or appended whole: nothing to say, whatever the run answered.
  after = start;
  after["L\\W\\dst\\a.txt"] = File("alpha");
  after["L\\W\\dst\\c.txt"] = File("old cgamma");
  EXPECT_TRUE(Check(start, after, copy).empty());
}

}  // namespace
}  // namespace reliab
