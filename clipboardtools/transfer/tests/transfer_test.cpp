// Sheafer's decisions: words of a command, the paste job, the dropped-files list, link names.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "clipboardtools/transfer/core/transfer.h"

using namespace sheafer;

namespace {
std::string N(const Text& t) { return std::string(t.begin(), t.end()); }
Text U(const std::string& s) { return Text(s.begin(), s.end()); }
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  for (const Text& w : SplitWords(U(line))) out.push_back(N(w));
  return out;
}
Text Widen(const std::string& s) { return U(s); }

std::vector<uint8_t> DropBlock(const std::vector<std::string>& names, bool wide, uint32_t offset = 20) {
  std::vector<uint8_t> b(offset, 0);
  b[0] = static_cast<uint8_t>(offset);
  b[16] = wide ? 1 : 0;
  for (const auto& n : names) {
    for (char c : n) {
      b.push_back(static_cast<uint8_t>(c));
      if (wide) b.push_back(0);
    }
    b.push_back(0);
    if (wide) b.push_back(0);
  }
  b.push_back(0);
  if (wide) b.push_back(0);
  return b;
}
}  // namespace

TEST(Command, WordsAreSplitAsAProgramReadsItsCommandLine) {
  EXPECT_EQ(Words("  copy a.txt   b.txt "), (std::vector<std::string>{"copy", "a.txt", "b.txt"}));
  EXPECT_EQ(Words("copy \"my file.txt\" x"), (std::vector<std::string>{"copy", "my file.txt", "x"}));
  EXPECT_EQ(Words("a\\\"b"), (std::vector<std::string>{"a\"b"}));             // \" is a quote
  EXPECT_EQ(Words("\"C:\\dir\\\\\" next"), (std::vector<std::string>{"C:\\dir\\", "next"}));  // \\" ends
  EXPECT_EQ(Words("C:\\a\\b c"), (std::vector<std::string>{"C:\\a\\b", "c"}));  // lone backslashes stay
  EXPECT_EQ(Words("a\"b c\"d"), (std::vector<std::string>{"ab cd"}));
  EXPECT_EQ(Words("\"\""), (std::vector<std::string>{""}));
  EXPECT_TRUE(Words("   ").empty());
}

TEST(Command, FirstWordChoosesTheActionWithoutRegardToCase) {
  Request r = ParseCommand(u"COPY one \"two three\"");
  EXPECT_EQ(r.action, kCopy);
  EXPECT_EQ(r.files, (std::vector<Text>{u"one", u"two three"}));
  EXPECT_EQ(ParseCommand(u"Cut x").action, kCut);
  EXPECT_EQ(ParseCommand(u"paste").action, kPaste);
  EXPECT_EQ(ParseCommand(u"link").action, kLink);
  EXPECT_EQ(ParseCommand(u"").action, kMenu);
  EXPECT_EQ(ParseCommand(u"copyx a").action, kMenu);
  EXPECT_TRUE(ParseCommand(u"move a").files.empty());
}

TEST(Paste, JobListsEverySourceForTheShellAndTheEffectBitChoosesMove) {
  PasteJob job = MakePasteJob(kPasteMove, u"D:\\to", {u"C:\\a.txt", u"", u"C:\\b c.txt"});
  EXPECT_EQ(job.operation, kPasteMove);
  EXPECT_EQ(job.count, 2u);
  EXPECT_EQ(job.sources, Text(u"C:\\a.txt\0C:\\b c.txt\0\0", 21));
  EXPECT_EQ(MakePasteJob(kPasteCopy, u"D:\\", {}).sources, Text(1, u'\0'));
  EXPECT_FALSE(IsMove(std::nullopt));
  EXPECT_FALSE(IsMove(1u));  // copy
  EXPECT_TRUE(IsMove(2u));
  EXPECT_TRUE(IsMove(3u));   // copy or move: the bit of move is set
  EXPECT_FALSE(IsMove(5u));
}

TEST(Paste, DroppedFilesInBothFormsAndEveryMalformedBlockRefused) {
  std::vector<uint8_t> wide = DropBlock({"C:\\a.txt", "C:\\b.txt"}, true);
  auto list = ReadDropFiles(wide.data(), wide.size(), Widen);
  ASSERT_TRUE(list);
  EXPECT_EQ(*list, (std::vector<Text>{u"C:\\a.txt", u"C:\\b.txt"}));
  std::vector<uint8_t> narrow = DropBlock({"C:\\x"}, false, 24);
  list = ReadDropFiles(narrow.data(), narrow.size(), Widen);
  ASSERT_TRUE(list);
  EXPECT_EQ(*list, (std::vector<Text>{u"C:\\x"}));
  // A list without its final empty name, a name without its terminator, an offset outside.
  std::vector<uint8_t> cut = wide;
  cut.resize(cut.size() - 2);
  EXPECT_FALSE(ReadDropFiles(cut.data(), cut.size(), Widen));
  cut.resize(cut.size() - 2);
  EXPECT_FALSE(ReadDropFiles(cut.data(), cut.size(), Widen));
  std::vector<uint8_t> bad = wide;
  bad[0] = 200;
  EXPECT_FALSE(ReadDropFiles(bad.data(), bad.size(), Widen));
  bad[0] = 4;  // inside the header
  EXPECT_FALSE(ReadDropFiles(bad.data(), bad.size(), Widen));
  EXPECT_FALSE(ReadDropFiles(wide.data(), 10, Widen));
  EXPECT_FALSE(ReadDropFiles(nullptr, 0, Widen));
  std::vector<uint8_t> odd = wide;
  odd.pop_back();  // half a character at the end
  EXPECT_FALSE(ReadDropFiles(odd.data(), odd.size(), Widen));
}

TEST(Link, NameWithoutItsLastExtensionNumberedWhileTaken) {
  std::set<std::string> taken;
  auto exists = [&](const Text& n) { return taken.count(N(n)) > 0; };
  EXPECT_EQ(N(LinkName(u"C:\\docs\\report.final.txt", exists).value()), "report.final.lnk");
  EXPECT_EQ(N(LinkName(u"C:\\docs\\README", exists).value()), "README.lnk");
  taken = {"report.lnk", "report (2).lnk"};
  EXPECT_EQ(N(LinkName(u"C:\\docs\\report.txt", exists).value()), "report (3).lnk");
  // A name holding "%d" is not a format.
  taken = {"100%d.lnk"};
  EXPECT_EQ(N(LinkName(u"C:\\100%d.txt", exists).value()), "100%d (2).lnk");
  // A folder where every name is taken ends the search instead of looping for ever.
  EXPECT_FALSE(LinkName(u"C:\\x.txt", [](const Text&) { return true; }).has_value());
}

TEST(Text, ErrorFormatsAndPaths) {
  EXPECT_EQ(N(FormatNumber(u"%d file(s) failed", 3)), "3 file(s) failed");
  EXPECT_EQ(N(FormatNumber(u"error %d", -2147467259LL)), "error -2147467259");
  EXPECT_EQ(N(FormatNumber(u"error 0x%08X.", 0x80004001LL)), "error 0x80004001.");
  EXPECT_EQ(N(FormatNumber(u"code 0x%08x", 5)), "code 0x00000005");
  EXPECT_EQ(N(FormatNumber(u"%u left", -1)), "4294967295 left");
  // Other conversions are shown as they stand; the first number conversion takes the value.
  EXPECT_EQ(N(FormatNumber(u"100% of %s and %d", 7)), "100% of %s and 7");
  EXPECT_EQ(N(FormatNumber(u"trailing %", 7)), "trailing %");
  Text folder, name;
  SplitPath(u"C:\\dir\\sub\\f.txt", &folder, &name);
  EXPECT_EQ(N(folder), "C:\\dir\\sub");
  EXPECT_EQ(N(name), "f.txt");
  SplitPath(u"C:\\f.txt", &folder, &name);
  EXPECT_EQ(N(folder), "C:\\");
  EXPECT_EQ(N(name), "f.txt");
}
