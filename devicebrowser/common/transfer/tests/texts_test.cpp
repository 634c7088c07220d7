#include "devicebrowser/common/transfer/core/texts.h"

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

}  // namespace
}  // namespace handrel::transfer
