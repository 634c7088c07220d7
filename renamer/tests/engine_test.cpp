// The renamer's computations as a user meets them: templates on a selection, edit operations,
// letter case, the preview line and the duplicate marks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "renamer/core/engine.h"

namespace quillet {
namespace {

struct Item {
  std::u16string name;
  bool folder = false;
};

// A panel whose selection is a table.
class TablePanel : public PanelSource {
 public:
  explicit TablePanel(std::vector<Item> items) : items_(std::move(items)) {}
  bool SelectedCount(uint32_t* count) override {
    *count = uint32_t(items_.size());
    return true;
  }
  bool SelectedItem(uint32_t index, std::u16string* name, uint32_t* attributes) override {
    if (index == failAt) return false;
    *name = items_[index].name;
    *attributes = items_[index].folder ? 0x10u : 0x20u;
    return true;
  }
  std::u16string CurrentDirectory() override { return u"C:\\Photos"; }
  uint32_t failAt = 0xFFFFFFFF;

 private:
  std::vector<Item> items_;
};

void Fill(RenameList* list, std::vector<Item> items, bool renameFolders = true) {
  TablePanel panel(std::move(items));
  ASSERT_TRUE(BuildList(panel, renameFolders, list));
}

ConstructOptions Construct(std::u16string tmpl, uint32_t start = 1) {
  ConstructOptions o;
  o.templateText = std::move(tmpl);
  o.tokens = ParseTemplate(o.templateText);
  o.counter = start;
  return o;
}

std::vector<std::u16string> NewNames(const RenameList& list) {
  std::vector<std::u16string> names;
  for (const NewNameEntry& e : list.entries) names.push_back(e.name ? *e.name : u"<none>");
  return names;
}

using Names = std::vector<std::u16string>;

TEST(SourceItems, ExtensionIsAfterTheLastDotOfFilesOnly) {
  RenameList list;
  Fill(&list, {{u"archive.tar.gz"}, {u".profile"}, {u"folder.d", true}, {u"README"}, {u"trailing."}});
  ASSERT_EQ(list.items.size(), 5u);
  EXPECT_EQ(list.items[0].Base(), u"archive.tar");
  EXPECT_EQ(list.items[0].Extension(), u"gz");
  EXPECT_EQ(list.items[1].dotIndex, -1);
  EXPECT_EQ(list.items[1].Base(), u".profile");
  EXPECT_EQ(list.items[2].dotIndex, -1);
  EXPECT_EQ(list.items[2].Base(), u"folder.d");
  EXPECT_EQ(list.items[3].dotIndex, -1);
  EXPECT_EQ(list.items[4].Base(), u"trailing");
  EXPECT_EQ(list.items[4].extensionLength, 0u);
  EXPECT_EQ(list.fileCount, 4u);
  EXPECT_EQ(list.folderCount, 1u);
}

TEST(SourceItems, FoldersAreLeftOutUnlessRenamingFoldersIsOn) {
  RenameList list;
  Fill(&list, {{u"a.txt"}, {u"dir", true}, {u"b.txt"}}, false);
  ASSERT_EQ(list.items.size(), 2u);
  EXPECT_EQ(list.items[1].name, u"b.txt");
  EXPECT_EQ(list.items[1].panelIndex, 2u);  // still its place among the selected items
  EXPECT_EQ(list.folderCount, 0u);
}

TEST(SourceItems, AnUnreadableItemGivesAnEmptyListAndFailure) {
  TablePanel panel({{u"a"}, {u"b"}});
  panel.failAt = 1;
  RenameList list;
  EXPECT_FALSE(BuildList(panel, false, &list));
  EXPECT_TRUE(list.items.empty());
}

TEST(ProcessOrder, GroupsFilesAndFoldersOnlyWhenFoldersAreRenamed) {
  const std::vector<Item> items = {{u"d1", true}, {u"f1"}, {u"d2", true}, {u"f2"}};
  struct Case {
    ProcessOrder order;
    bool folders;
    std::vector<uint32_t> expected;
  } cases[] = {
      {ProcessOrder::kList, true, {0, 1, 2, 3}},
      {ProcessOrder::kFilesFirst, true, {1, 3, 0, 2}},
      {ProcessOrder::kFoldersFirst, true, {0, 2, 1, 3}},
      {ProcessOrder::kFoldersFirst, false, {0, 1, 2, 3}},
  };
  for (const Case& c : cases) {
    RenameList list;
    Fill(&list, items);
    BuildProcessOrder(&list, c.order, c.folders);
    EXPECT_EQ(list.order, c.expected);
    BuildProcessOrder(&list, ProcessOrder::kList, true);  // built once: a later call keeps it
    EXPECT_EQ(list.order, c.expected);
  }
}

TEST(Templates, CheckingGivesTheFirstProblemInOrder) {
  char16_t bad = 0;
  EXPECT_EQ(CheckTemplate(u"", false, &bad), kTemplateEmpty);
  EXPECT_EQ(CheckTemplate(u" \t\n", true, &bad), kTemplateEmpty);
  EXPECT_EQ(CheckTemplate(u"a:b<c", false, &bad), kTemplateBadChar);
  EXPECT_EQ(bad, u':');
  EXPECT_EQ(CheckTemplate(u"x|*", false, &bad), kTemplateBadChar);
  EXPECT_EQ(bad, u'|');
  EXPECT_EQ(CheckTemplate(u"plain", false, &bad), kTemplateNoToken);
  EXPECT_EQ(CheckTemplate(u"plain", true, &bad), kTemplateOk);
  EXPECT_EQ(CheckTemplate(u"*_???", false, &bad), kTemplateOk);
  EXPECT_EQ(CheckTemplate(u"/", false, &bad), kTemplateOk);
}

TEST(Templates, ParsingEmitsOneTokenPerRun) {
  const std::vector<TemplateToken> t = ParseTemplate(u"ab*??-??/c");
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[0].kind, TokenKind::kLiteral);
  EXPECT_EQ(t[0].value1, 0u);
  EXPECT_EQ(t[0].value2, 2u);
  EXPECT_EQ(t[1].kind, TokenKind::kBase);
  EXPECT_EQ(t[2].kind, TokenKind::kNumber);
  EXPECT_EQ(t[2].value1, 2u);
  EXPECT_EQ(t[3].kind, TokenKind::kLiteral);
  EXPECT_EQ(t[3].value1, 5u);
  EXPECT_EQ(t[3].value2, 1u);
  EXPECT_EQ(t[4].kind, TokenKind::kNumber);
  EXPECT_EQ(t[5].kind, TokenKind::kExtension);
  EXPECT_EQ(t[6].kind, TokenKind::kLiteral);
}

TEST(NumberFields, BlanksDigitsBlanks) {
  EXPECT_TRUE(CheckNumberField(u" 12\t", false));
  EXPECT_FALSE(CheckNumberField(u"1a", false));
  EXPECT_FALSE(CheckNumberField(u"1 2", false));
  EXPECT_FALSE(CheckNumberField(u"-1", false));
  EXPECT_FALSE(CheckNumberField(u"", false));
  EXPECT_TRUE(CheckNumberField(u"", true));
  EXPECT_TRUE(CheckNumberField(u"  ", true));
  EXPECT_EQ(ParseNumberField(u" 12 "), 12u);
  EXPECT_EQ(ParseNumberField(u""), 0u);
  EXPECT_EQ(ParseNumberField(u"4294967295"), 4294967295u);
  EXPECT_EQ(ParseNumberField(u"4294967296"), 0u);   // only the low 32 bits stay
  EXPECT_EQ(ParseNumberField(u"4294967303"), 7u);
}

TEST(SequenceNumbers, WidthIsAMinimumAndHexFollowsTheCaseSetting) {
  struct Case {
    uint32_t number, width;
    bool hex, upper;
    std::u16string expected;
  } cases[] = {
      {7, 3, false, true, u"007"},
      {1000, 2, false, true, u"1000"},
      {255, 3, true, true, u"0FF"},
      {255, 3, true, false, u"0ff"},
      {0xDEADBEEF, 1, true, true, u"DEADBEEF"},
      {0, 1, false, true, u"0"},
      {4294967295u, 12, false, true, u"004294967295"},
  };
  for (const Case& c : cases) {
    std::u16string out;
    FormatSequence(&out, c.number, c.width, c.hex, c.upper);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(Construct, PhotoTemplateNumbersFromTheStartAndKeepsExtensions) {
  RenameList list;
  Fill(&list, {{u"a.jpg"}, {u"b.jpg"}, {u"c.txt"}});
  ASSERT_EQ(ComputeConstruct(&list, Construct(u"Photo_???", 7), ComputeRules{}, false, nullptr), kNoDuplicates);
  EXPECT_EQ(NewNames(list), (Names{u"Photo_007.jpg", u"Photo_008.jpg", u"Photo_009.txt"}));
  EXPECT_EQ(list.entries[0].dotIndex, 9);
}

TEST(Construct, ExtensionTokenWithAndWithoutTheExtensionBox) {
  RenameList list;
  Fill(&list, {{u"report.txt"}});
  ConstructOptions o = Construct(u"*_/");
  ASSERT_EQ(ComputeConstruct(&list, o, ComputeRules{}, false, nullptr), kNoDuplicates);
  EXPECT_EQ(NewNames(list), (Names{u"report_txt.txt"}));
  o.keepExtension = false;  // the template includes the extension
  ComputeConstruct(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"report_txt"}));
  EXPECT_EQ(list.entries[0].dotIndex, -1);
}

TEST(Construct, HexadecimalNumbersAndSharedRuns) {
  RenameList list;
  Fill(&list, {{u"a"}, {u"b"}});
  ConstructOptions o = Construct(u"??-???", 255);
  o.hex = true;
  ComputeRules rules;
  ComputeConstruct(&list, o, rules, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"FF-0FF", u"100-100"}));
  rules.hexUppercase = false;
  ComputeConstruct(&list, o, rules, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"ff-0ff", u"100-100"}));
}

TEST(Construct, CounterWrapsAt32Bits) {
  RenameList list;
  Fill(&list, {{u"a"}, {u"b"}});
  ComputeConstruct(&list, Construct(u"n?", ParseNumberField(u"4294967295")), ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"n4294967295", u"n0"}));
}

TEST(Construct, EmptyNameGetsStatus6AndOthersGoOn) {
  RenameList list;
  Fill(&list, {{u"x.txt"}, {u"noext"}, {u"  .dat"}, {u"y.txt"}});
  ConstructOptions o = Construct(u"/ ");
  o.keepExtension = false;
  // The extension of a file without one is empty; the blank after it is trimmed away.
  EXPECT_EQ(ComputeConstruct(&list, o, ComputeRules{}, true, nullptr), kNoDuplicates);
  EXPECT_EQ(NewNames(list), (Names{u"txt", u"<none>", u"dat", u"txt"}));
  EXPECT_EQ(list.entries[1].status, kStatusNoName);
  EXPECT_EQ(list.problemCount, 1u);

  o = Construct(u"*");
  o.keepExtension = false;
  ComputeConstruct(&list, o, ComputeRules{}, true, nullptr);
  EXPECT_EQ(list.entries[2].status, kStatusNoName);  // base of blanks only
  EXPECT_EQ(list.problemCount, 1u);                  // counters start again on each computation
}

TEST(Construct, FoldersNeverGetExtensions) {
  RenameList list;
  Fill(&list, {{u"my.dir", true}});
  ComputeConstruct(&list, Construct(u"*-/"), ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"my.dir-"}));
  EXPECT_EQ(list.entries[0].dotIndex, -1);
  EXPECT_EQ(list.entries[0].folder, 1);
}

TEST(Construct, TrailingSpacesAreRemoved) {
  RenameList list;
  Fill(&list, {{u"a"}});
  ConstructOptions o = Construct(u"* ?  ");
  ComputeConstruct(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"a 1"}));
}

TEST(Construct, ANameLongerThanTheWorkBufferIsAnErrorForThatItemOnly) {
  RenameList list;
  std::u16string longBase(kWorkBufferChars - 4, u'n');
  Fill(&list, {{longBase + u".txt"}, {u"short.txt"}});
  ComputeConstruct(&list, Construct(u"*?", 1), ComputeRules{}, false, nullptr);
  EXPECT_EQ(list.entries[0].status, kStatusNoName);
  EXPECT_EQ(NewNames(list)[1], u"short1.txt");  // the failed item used no number
  // Exactly filling the buffer (one place left for the terminator) is fine.
  RenameList exact;
  Fill(&exact, {{std::u16string(kWorkBufferChars - 1 - 4, u'e') + u".txt"}});
  ComputeConstruct(&exact, Construct(u"*"), ComputeRules{}, false, nullptr);
  ASSERT_TRUE(exact.entries[0].name.has_value());
  EXPECT_EQ(exact.entries[0].length, kWorkBufferChars - 1);
  // A number run wider than the buffer cannot overrun it either.
  RenameList wide;
  Fill(&wide, {{u"w"}});
  ComputeConstruct(&wide, Construct(std::u16string(kWorkBufferChars + 10, u'?')), ComputeRules{}, false, nullptr);
  EXPECT_EQ(wide.entries[0].status, kStatusNoName);
}

TEST(Case, TitleCaseWithDefaultDelimitersAndExtensionCase) {
  RenameList list;
  Fill(&list, {{u"hello world-foo.TXT"}});
  ConstructOptions o = Construct(u"*");
  o.caseMode = CaseMode::kTitle;
  ComputeRules rules;
  ComputeConstruct(&list, o, rules, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"Hello World-Foo.TXT"}));
  rules.convertExtensionCase = true;
  ComputeConstruct(&list, o, rules, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"Hello World-Foo.Txt"}));
}

TEST(Case, OnlyLatinLettersChange) {
  std::u16string text = u"caf\u00e9 \u0436\u0416 Stra\u00dfe";
  ToUpperC(text.data(), text.size());
  EXPECT_EQ(text, u"CAF\u00e9 \u0436\u0416 STRA\u00dfE");
  ToLowerC(text.data(), text.size());
  EXPECT_EQ(text, u"caf\u00e9 \u0436\u0416 stra\u00dfe");
  std::u16string title = u"\u0436ABC x(yZ)";
  ToTitleC(title.data(), title.size(), kDefaultWordDelimiters);
  EXPECT_EQ(title, u"\u0436abc X(Yz)");
}

TEST(Case, CustomDelimitersDecideWordStarts) {
  std::u16string text = u"one_two three";
  ToTitleC(text.data(), text.size(), u"_");
  EXPECT_EQ(text, u"One_Two three");
}

TEST(Manipulate, ReplaceIgnoresLatinCaseAndSkipsTheExtension) {
  RenameList list;
  Fill(&list, {{u"Banana.a"}, {u"AAA"}});
  ManipulateOptions o;
  o.find = u"a";
  o.replacement = u"b";
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"Bbnbnb.a", u"bbb"}));
  o.find = u"aa";  // matches do not overlap
  o.replacement = u"x";
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list)[1], u"xA");
}

TEST(Manipulate, ReplaceDoesNotFoldCyrillic) {
  RenameList list;
  Fill(&list, {{u"\u0416\u0436.txt"}});
  ManipulateOptions o;
  o.find = u"\u0436";
  o.replacement = u"z";
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"\u0416z.txt"}));
}

TEST(Manipulate, CutFromBothEnds) {
  RenameList list;
  Fill(&list, {{u"abcdefg.txt"}});
  ManipulateOptions o;
  o.cut = true;
  o.cutStart = 2;
  o.cutEnd = 3;
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"cd.txt"}));

  o.cutStart = 4;  // 4 + 3 = the whole base: nothing remains
  EXPECT_EQ(ComputeManipulate(&list, o, ComputeRules{}, false, nullptr), kNoDuplicates);
  EXPECT_EQ(list.entries[0].status, kStatusNoManipulated);
  EXPECT_EQ(list.problemCount, 1u);

  o.prefix = u"p";  // a prefix gives the item a name again
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"p.txt"}));

  o.prefix.clear();
  o.cutStart = 0xFFFFFFFFu;  // sums beyond 32 bits do not wrap around
  o.cutEnd = 0xFFFFFFFFu;
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(list.entries[0].status, kStatusNoManipulated);
}

TEST(Manipulate, ExtensionOption) {
  RenameList list;
  Fill(&list, {{u"a.txt"}, {u"noext"}, {u"dir.d", true}});
  ManipulateOptions o;
  o.newExtension = u"bak";
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"a.bak", u"noext.bak", u"dir.d"}));
  EXPECT_EQ(list.entries[0].dotIndex, 1);

  o.addExtension = true;
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"a.txt.bak", u"noext.bak", u"dir.d"}));
  EXPECT_EQ(list.entries[0].dotIndex, 5);

  o.newExtension = u"";
  o.addExtension = false;
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"a", u"noext", u"dir.d"}));

  o.addExtension = true;  // add with empty text keeps the old extension
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list)[0], u"a.txt");
  EXPECT_EQ(list.entries[0].dotIndex, 1);
}

TEST(Manipulate, PrefixSuffixAndCaseKeepTheExtensionCase) {
  RenameList list;
  Fill(&list, {{u"Report.TXT"}});
  ManipulateOptions o;
  o.prefix = u"old ";
  o.suffix = u"_v2";
  o.caseMode = CaseMode::kUpper;
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"OLD REPORT_V2.TXT"}));
  o.caseMode = CaseMode::kLower;
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"old report_v2.TXT"}));
}

TEST(Manipulate, SpacesAloneMakeNoName) {
  RenameList list;
  Fill(&list, {{u"abc"}});
  ManipulateOptions o;
  o.prefix = u"  ";
  o.cut = true;
  o.cutStart = 3;
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(list.entries[0].status, kStatusNoManipulated);
  EXPECT_FALSE(list.entries[0].name.has_value());
}

ConstructCheck CheckConstruct(std::u16string templ, std::u16string start, size_t items, ConstructOptions* o = nullptr) {
  ConstructOptions scratch;
  return CheckConstructInputs(ConstructInputs{std::move(templ), std::move(start)}, items, o ? o : &scratch);
}

TEST(ConstructInputs, TemplateFirstThenStart) {
  EXPECT_EQ(CheckConstruct(u" ", u"x", 2).message, 65);
  const ConstructCheck bad = CheckConstruct(u"a>b*", u"1", 2);
  EXPECT_EQ(bad.message, 66);
  EXPECT_EQ(bad.badChar, u'>');
  EXPECT_EQ(CheckConstruct(u"fixed", u"1", 2).message, 67);
  EXPECT_EQ(CheckConstruct(u"fixed", u"1", 1).message, -1);
  EXPECT_EQ(CheckConstruct(u"*", u"1a", 2).message, 68);
  EXPECT_EQ(CheckConstruct(u"*?", u" 12 ", 2).message, -1);
  EXPECT_EQ(CheckConstruct(u"*?", u"", 2).message, -1);
}

TEST(ConstructInputs, GoodInputsBecomeOptions) {
  ConstructOptions o;
  ConstructInputs in{u"IMG_??_*", u" 4294967297 ", true, true, false, CaseMode::kUpper};
  ASSERT_EQ(CheckConstructInputs(in, 2, &o).message, -1);
  EXPECT_EQ(o.templateText, u"IMG_??_*");
  EXPECT_EQ(o.tokens.size(), 4u);
  EXPECT_EQ(o.counter, 1u);  // only the low 32 bits
  EXPECT_TRUE(o.hex);
  EXPECT_FALSE(o.keepExtension);
  EXPECT_EQ(o.caseMode, CaseMode::kNone);  // the case box is off
  in.caseOn = true;
  ASSERT_EQ(CheckConstructInputs(in, 2, &o).message, -1);
  EXPECT_EQ(o.caseMode, CaseMode::kUpper);
  // A failed check leaves the options alone.
  o.counter = 9;
  in.start = u"x";
  EXPECT_EQ(CheckConstructInputs(in, 2, &o).message, 68);
  EXPECT_EQ(o.counter, 9u);
}

TEST(ManipulateInputs, EachFaultNamesItsMessageAndField) {
  struct Case {
    const char* what;
    void (*set)(ManipulateInputs&);
    int message;
    ManipulateField field;
  } cases[] = {
      {"empty find", [](ManipulateInputs& i) { i.replace = true; }, 45, ManipulateField::kFind},
      {"find with a colon", [](ManipulateInputs& i) { i.replace = true; i.find = u"a:"; }, 46, ManipulateField::kFind},
      {"replacement with a star", [](ManipulateInputs& i) { i.replace = true; i.find = u"a"; i.replacement = u"*"; }, 47,
       ManipulateField::kReplacement},
      {"prefix with a slash", [](ManipulateInputs& i) { i.prefixOn = true; i.prefix = u"a/b"; }, 48, ManipulateField::kPrefix},
      {"suffix with a pipe", [](ManipulateInputs& i) { i.suffixOn = true; i.suffix = u"|"; }, 49, ManipulateField::kSuffix},
      {"cut start not a number", [](ManipulateInputs& i) { i.cut = true; i.cutStart = u"1a"; }, 50, ManipulateField::kCutStart},
      {"cut end not a number", [](ManipulateInputs& i) { i.cut = true; i.cutEnd = u"-2"; }, 51, ManipulateField::kCutEnd},
      {"both cut counts empty", [](ManipulateInputs& i) { i.cut = true; i.cutStart = u" "; }, 52, ManipulateField::kCutStart},
      {"extension with a question mark", [](ManipulateInputs& i) { i.extension = true; i.newExtension = u"b?k"; }, 53,
       ManipulateField::kExtension},
      {"extension of blanks", [](ManipulateInputs& i) { i.extension = true; i.newExtension = u"  "; }, 54,
       ManipulateField::kExtension},
      {"nothing checked", [](ManipulateInputs&) {}, 55, ManipulateField::kReplaceBox},
      {"empty prefix only", [](ManipulateInputs& i) { i.prefixOn = true; }, 55, ManipulateField::kReplaceBox},
      {"add with no text", [](ManipulateInputs& i) { i.extension = true; i.addExtension = true; }, 55,
       ManipulateField::kReplaceBox},
      {"prefix box off ignores its text", [](ManipulateInputs& i) { i.prefix = u"<"; }, 55, ManipulateField::kReplaceBox},
  };
  for (const Case& c : cases) {
    ManipulateInputs in;
    c.set(in);
    ManipulateOptions o;
    const ManipulateCheck check = CheckManipulateInputs(in, &o);
    EXPECT_EQ(check.message, c.message) << c.what;
    EXPECT_EQ(check.field, c.field) << c.what;
  }
}

TEST(ManipulateInputs, GoodInputsBecomeOptions) {
  ManipulateInputs in;
  in.cut = true;
  in.cutStart = u" 2 ";
  in.cutEnd = u"";
  in.extension = true;  // empty text without Add: the extensions go
  in.caseOn = true;
  in.caseMode = CaseMode::kUpper;
  in.suffix = u"ignored";  // its box is off
  ManipulateOptions o;
  ASSERT_EQ(CheckManipulateInputs(in, &o).message, -1);
  EXPECT_TRUE(o.cut);
  EXPECT_EQ(o.cutStart, 2u);
  EXPECT_EQ(o.cutEnd, 0u);
  ASSERT_TRUE(o.newExtension.has_value());
  EXPECT_TRUE(o.newExtension->empty());
  EXPECT_FALSE(o.find.has_value());
  EXPECT_TRUE(o.suffix.empty());
  EXPECT_EQ(o.caseMode, CaseMode::kUpper);
  RenameList list;
  Fill(&list, {{u"abcd.txt"}});
  ComputeManipulate(&list, o, ComputeRules{}, false, nullptr);
  EXPECT_EQ(NewNames(list), (Names{u"CD"}));
}

TEST(Preview, ShowsTheFirstItemInProcessingOrderWithTheStartNumber) {
  RenameList list;
  Fill(&list, {{u"dir", true}, {u"shot.JPG"}});
  BuildProcessOrder(&list, ProcessOrder::kFilesFirst, true);
  ComputeRules rules;
  PreviewLine line = ComputePreviewLine(&list, u"img ??  ", u" 5 ", false, true, CaseMode::kNone, rules);
  EXPECT_EQ(line.message, -1);
  EXPECT_EQ(line.text, u"img 05  .JPG");  // trailing spaces are not removed in the preview
  line = ComputePreviewLine(&list, u"*.x", u"1", false, false, CaseMode::kUpper, rules);
  EXPECT_EQ(line.text, u"SHOT.x");  // cut at the line's last dot: the extension keeps its case
  rules.convertExtensionCase = true;
  line = ComputePreviewLine(&list, u"*.x", u"1", false, false, CaseMode::kUpper, rules);
  EXPECT_EQ(line.text, u"SHOT.X");
}

TEST(Preview, ErrorsInTheirOrder) {
  RenameList list;
  Fill(&list, {{u"a"}});
  ComputeRules rules;
  EXPECT_EQ(ComputePreviewLine(&list, u"a<b", u"x", false, true, CaseMode::kNone, rules).message, 63);
  EXPECT_EQ(ComputePreviewLine(&list, u"", u"1a", false, true, CaseMode::kNone, rules).message, 64);
  EXPECT_EQ(ComputePreviewLine(&list, u"  ", u"", false, true, CaseMode::kNone, rules).message, 0);
  // A literal template is fine for the one-line sample.
  EXPECT_EQ(ComputePreviewLine(&list, u"fixed", u"", false, true, CaseMode::kNone, rules).text, u"fixed");
}

TEST(Search, FindIgnoreCase) {
  EXPECT_EQ(FindIgnoreCase(u"Hello hello", u"HELLO", 1), 6);
  EXPECT_EQ(FindIgnoreCase(u"abc", u"", 0), -1);
  EXPECT_EQ(FindIgnoreCase(u"abc", u"abcd", 0), -1);
  EXPECT_EQ(FindIgnoreCase(u"abc", u"c", 5), -1);
}

TEST(Hash, PositionalAndCaseBlind) {
  EXPECT_EQ(NameHash(u"ab"), 1u * 'A' + 2u * 'B');
  EXPECT_EQ(NameHash(u"Ab"), NameHash(u"aB"));
  EXPECT_NE(NameHash(u"ab"), NameHash(u"ba"));
  EXPECT_NE(NameHash(u"\u0436"), NameHash(u"\u0416"));
}

}  // namespace
}  // namespace quillet
