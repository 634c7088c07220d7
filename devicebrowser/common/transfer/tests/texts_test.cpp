#include "devicebrowser/common/transfer/core/texts.h"
#include "devicebrowser/common/transfer/core/dialog_texts.h"

#include <gtest/gtest.h>

namespace handrel::transfer {
namespace {

TEST(TransferTexts, OverwriteQuestionShowsBothFilesAndCutsALongTarget) {
  Stamp newTime{2026, 12, 8, 9, 5, 7}, oldTime{2001, 1, 2, 23, 59, 58};
  std::string text = OverwriteText(false, "C:\\Out\\a.txt", 1234567, newTime, kUnknownSize, oldTime);
  EXPECT_EQ(text,
            "File already exists\nC:\\Out\\a.txt\n\x01\n"
            "New:           1,234,567   2026.12.08  9:05:07\n"
            "Existing:              ?   2001.01.02 23:59:58\n\x01");
  std::string target = "C:\\" + std::string(57, 'd') + "\\x";  // 62 characters
  text = OverwriteText(true, target, 0, newTime, 999, oldTime);
  EXPECT_EQ(text.substr(0, 22 + 60 + 1), "The file is read only\n..." + target.substr(5) + "\n");
  std::string exact = std::string(60, 'e');
  EXPECT_NE(OverwriteText(false, exact, 0, newTime, 0, oldTime).find("\n" + exact + "\n"), std::string::npos);
}

TEST(TransferTexts, OpenErrorsBreakTheSystemTextAtSpaces) {
  std::string reason = "The process cannot access the file because it is being used by another process.";
  std::string text = OpenErrorText(false, "\\Docs\\a.txt", reason);
  EXPECT_EQ(text,
            "Error opening input file\r\n\\Docs\\a.txt\r\n"
            "The process cannot access the file because it is being used\r\nby another process.\r\n\x01");
  EXPECT_EQ(WrapAtSpaces(std::string(70, 'w') + " x", 60), std::string(70, 'w') + "\r\nx");
  EXPECT_EQ(OpenErrorText(true, "t", "").substr(0, 27), "Error opening target file\r\n");
}

TEST(TransferTexts, MessagesAndTheirTitles) {
  bool error = false;
  EXPECT_EQ(MessageText(Message::kFileTooLarge, "\\big", error), "File too large:\r\n\\big");
  EXPECT_TRUE(error);
  EXPECT_EQ(MessageText(Message::kCantWrite, "C:\\t", error), "Can't write target file\nC:\\t");
  EXPECT_FALSE(error);
  EXPECT_EQ(MessageText(Message::kCantCreateFolder, "C:\\f", error), "Can't create folder\nC:\\f");
  EXPECT_TRUE(error);
}

// The one transfer dialog of the file panel (copy, move, rename) and the screen pictures (copy,
// move): a name is quoted whole up to 51 characters, several items are counted.
TEST(TransferDialogTexts, OneNameIsQuotedAndCutPast51ManyAreCounted) {
  const std::string n51(51, 'a'), n52(52, 'b');
  EXPECT_EQ(TransferPrompt(TransferKind::kCopy, "240x320x16.png", 1), "Copy \"240x320x16.png\" t&o:");
  EXPECT_EQ(TransferPrompt(TransferKind::kCopy, n51, 1), "Copy \"" + n51 + "\" t&o:");
  EXPECT_EQ(TransferPrompt(TransferKind::kMove, n52, 1), "Move \"" + std::string(49, 'b') + "...\" t&o:");
  EXPECT_EQ(TransferPrompt(TransferKind::kRename, "x.txt", 1), "R&ename \"x.txt\":");
  EXPECT_EQ(TransferPrompt(TransferKind::kCopy, n52, 3), "Copy 3 items t&o:");
  EXPECT_EQ(TransferPrompt(TransferKind::kMove, "x", 3), "Move 3 items t&o:");
}

TEST(TransferDialogTexts, OnlyADestinationWithoutItsSeparatorMayTakeABackslash) {
  EXPECT_TRUE(MayTakeFolderBackslash("C:\\Out"));
  EXPECT_FALSE(MayTakeFolderBackslash("C:\\Out\\"));
  EXPECT_FALSE(MayTakeFolderBackslash("C:/Out/"));
  EXPECT_FALSE(MayTakeFolderBackslash(""));
}

}  // namespace
}  // namespace handrel::transfer
