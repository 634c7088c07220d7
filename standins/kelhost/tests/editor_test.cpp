// The host stand-in's editor as the editor tools rely on it: files kept byte for byte, tab
// columns, block parts per line, undo groups, the default key handling, and mask matching.
#include <gtest/gtest.h>

#include "editortools/remarks/tests/plugin_support.h"
#include "standins/kelhost/editor.h"

using namespace kelhost;

namespace {

std::string RoundTrip(const std::string& bytes, UINT codePage = 0) {
  std::wstring file = WriteSample(L"editor_roundtrip.txt", bytes);
  Editor e;
  if (!e.Load(file, codePage)) return "<load failed>";
  std::wstring copy = file + L".out";
  if (!e.Save(copy)) return "<save failed>";
  return ReadBytes(copy);
}

Editor WithText(const std::wstring& text) {
  Editor e;
  e.SetText(text);
  return e;
}

}  // namespace

TEST(HostEditor, FilesComeBackByteForByte) {
  for (const std::string& bytes : {std::string("a\r\nb\nc\rd"), std::string("x\r\n\r\n"), std::string(""),
                                   std::string("caf\xE9 \t\r\n"), std::string("\xEF\xBB\xBFutf-8 \xC3\xA9\n"),
                                   std::string("\xFF\xFEu\0t\0f\0\r\0\n\0", 12)})
    EXPECT_EQ(RoundTrip(bytes), bytes);
  EXPECT_EQ(RoundTrip(std::string("a\0\n\0", 4), 1200), std::string("a\0\n\0", 4));
}

TEST(HostEditor, LinesKeepTheirOwnEnds) {
  std::wstring file = WriteSample(L"editor_lines.txt", "one\r\ntwo\nthree\rfour\r\n");
  Editor e;
  ASSERT_TRUE(e.Load(file, 0));
  ASSERT_EQ(e.lines.size(), 5u);
  EXPECT_EQ(e.lines[1].eol, L"\n");
  EXPECT_EQ(e.lines[2].eol, L"\r");
  EXPECT_EQ(e.lines[4].text, L"");
  EXPECT_EQ(e.lines[4].eol, L"");
  EditorGetStringW get{};
  get.StringNumber = 2;
  ASSERT_TRUE(e.Control(ECTL_GETSTRING, 0, &get));
  EXPECT_EQ(std::wstring(get.StringText, static_cast<size_t>(get.StringLength)), L"three");
  EXPECT_STREQ(get.StringEOL, L"\r");
  EditorSetStringW set{2, L"3", nullptr, 1};  // no line end given: the line keeps its own
  ASSERT_TRUE(e.Control(ECTL_SETSTRING, 0, &set));
  EXPECT_EQ(e.Text(), L"one\r\ntwo\n3\rfour\r\n");
  e.curLine = 4;
  ASSERT_TRUE(e.Control(ECTL_DELETESTRING, 0, nullptr));  // the last line: "four" now ends the file
  EXPECT_EQ(e.Text(), L"one\r\ntwo\n3\rfour");
  wchar_t name[MAX_PATH] = {};
  EXPECT_EQ(e.Control(ECTL_GETFILENAME, 0, nullptr), static_cast<int>(file.size() + 1));
  e.Control(ECTL_GETFILENAME, 0, name);
  EXPECT_EQ(std::wstring(name), file);
}

TEST(HostEditor, TabsCountAtTheirDisplayedWidth) {
  Editor e = WithText(L"\tab\tc\nxy");
  EXPECT_EQ(e.RealToTab(0, 1), 8);
  EXPECT_EQ(e.RealToTab(0, 4), 16);
  EXPECT_EQ(e.RealToTab(0, 7), 19);  // beyond the end: one column a character
  EXPECT_EQ(e.TabToReal(0, 5), 0);   // inside the first tab
  EXPECT_EQ(e.TabToReal(0, 16), 4);
  EXPECT_EQ(e.TabToReal(0, 19), 7);
  EditorSetParameterW param{};
  param.Type = ESPT_TABSIZE;
  param.Param.iParam = 4;
  ASSERT_TRUE(e.Control(ECTL_SETPARAM, 0, &param));
  EditorConvertPosW convert{0, 4, -1};
  ASSERT_TRUE(e.Control(ECTL_REALTOTAB, 0, &convert));
  EXPECT_EQ(convert.DestPos, 8);
  convert = {0, 8, -1};
  ASSERT_TRUE(e.Control(ECTL_TABTOREAL, 0, &convert));
  EXPECT_EQ(convert.DestPos, 4);
  EditorSetPositionW pos{1, -1, 6, -1, -1, -1};  // by column only
  ASSERT_TRUE(e.Control(ECTL_SETPOSITION, 0, &pos));
  EXPECT_EQ(e.curPos, 6);
}

TEST(HostEditor, StreamAndColumnBlocksReportEachLinesPart) {
  Editor e = WithText(L"0123\n\tab\ncd\nef");
  EditorSelectW stream{BTYPE_STREAM, 0, 2, 1, 3};  // from (0,2) to (2,1)
  ASSERT_TRUE(e.Control(ECTL_SELECT, 0, &stream));
  auto part = [&](int line) {
    EditorGetStringW g{};
    g.StringNumber = line;
    e.Control(ECTL_GETSTRING, 0, &g);
    return std::make_pair(g.SelStart, g.SelEnd);
  };
  EXPECT_EQ(part(0), std::make_pair(2, -1));
  EXPECT_EQ(part(1), std::make_pair(0, -1));
  EXPECT_EQ(part(2), std::make_pair(0, 1));
  EXPECT_EQ(part(3), std::make_pair(-1, -1));
  EditorInfoW info{};
  e.Control(ECTL_GETINFO, 0, &info);
  EXPECT_EQ(info.BlockType, BTYPE_STREAM);
  EXPECT_EQ(info.BlockStartLine, 0);
  EditorSelectW column{BTYPE_COLUMN, 0, 8, 2, 2};  // screen columns 8..9 of lines 0..1
  ASSERT_TRUE(e.Control(ECTL_SELECT, 0, &column));
  EXPECT_EQ(part(0), std::make_pair(8, 10));  // past the end of "0123": one position a column
  EXPECT_EQ(part(1), std::make_pair(1, 3));  // after the tab
  EditorSelectW none{BTYPE_NONE, 0, 0, 0, 0};
  ASSERT_TRUE(e.Control(ECTL_SELECT, 0, &none));
  EXPECT_EQ(part(0), std::make_pair(-1, -1));
}

TEST(HostEditor, UndoGroupsRestoreTextCursorAndScreenExactly) {
  Editor e = WithText(L"a \r\nb\n\n");
  e.curLine = 1;
  e.curPos = 1;
  e.topLine = 1;
  EditorUndoRedoW begin{EUR_BEGIN, {}}, end{EUR_END, {}}, undo{EUR_UNDO, {}};
  ASSERT_TRUE(e.Control(ECTL_UNDOREDO, 0, &begin));
  ASSERT_TRUE(e.Control(ECTL_UNDOREDO, 0, &begin));  // nested: still one step
  EditorSetStringW set{0, L"a", nullptr, 1};
  e.Control(ECTL_SETSTRING, 0, &set);
  ASSERT_TRUE(e.Control(ECTL_UNDOREDO, 0, &end));
  e.curLine = 2;
  e.Control(ECTL_DELETESTRING, 0, nullptr);
  e.Control(ECTL_INSERTTEXT, 0, const_cast<wchar_t*>(L"xy"));
  ASSERT_TRUE(e.Control(ECTL_UNDOREDO, 0, &end));
  e.curPos = 0;
  e.Control(ECTL_INSERTTEXT, 0, const_cast<wchar_t*>(L"!"));  // its own step
  EXPECT_EQ(e.undoSteps(), 2);
  ASSERT_TRUE(e.Control(ECTL_UNDOREDO, 0, &undo));
  EXPECT_EQ(e.Text(), L"a\r\nb\n xy");  // typed at position 1 of an empty line: padded
  ASSERT_TRUE(e.Control(ECTL_UNDOREDO, 0, &undo));
  EXPECT_EQ(e.Text(), L"a \r\nb\n\n");
  EXPECT_EQ(e.curLine, 1);
  EXPECT_EQ(e.curPos, 1);
  EXPECT_EQ(e.topLine, 1);
  EXPECT_FALSE(e.modified);
  EXPECT_FALSE(e.Control(ECTL_UNDOREDO, 0, &undo));
}

TEST(HostEditor, DefaultKeyHandling) {
  Editor e = WithText(L"ab\r\ncd");
  auto key = [&](wchar_t ch, WORD vk) {
    EditorKeyEvent k;
    k.ch = ch;
    k.vk = vk;
    return e.ApplyKey(k);
  };
  e.curLine = 1;
  EXPECT_TRUE(key(8, VK_BACK));  // at character 0: joins with the line above
  EXPECT_EQ(e.Text(), L"abcd");
  EXPECT_EQ(e.curPos, 2);
  EXPECT_TRUE(key(13, VK_RETURN));
  EXPECT_EQ(e.Text(), L"ab\r\ncd");
  EXPECT_TRUE(key(9, VK_TAB));
  EXPECT_TRUE(key(L'x', 'X'));
  EXPECT_EQ(e.lines[1].text, L"\txcd");
  EXPECT_TRUE(key(0, VK_UP));
  EXPECT_EQ(e.curLine, 0);
  EXPECT_EQ(e.curPos, 9);  // the same screen column 9, beyond the end of "ab"
  // Shift+Down from the start of line 0 marks it as a stream block ending at line 1, character 0.
  EXPECT_TRUE(key(0, VK_HOME));
  EditorKeyEvent down;
  down.vk = VK_DOWN;
  down.controlState = SHIFT_PRESSED;
  EXPECT_TRUE(e.ApplyKey(down));
  EXPECT_EQ(e.block.type, BTYPE_STREAM);
  EXPECT_EQ(e.block.startLine, 0);
  EXPECT_EQ(e.block.endLine, 1);
  EXPECT_EQ(e.block.endPos, 0);
  EXPECT_TRUE(key(L'q', 'Q'));  // typing drops the block
  EXPECT_EQ(e.block.type, BTYPE_NONE);
}

TEST(MaskMatching, ListsWildcardsCaseAndQuotes) {
  struct Case {
    const wchar_t* masks;
    const wchar_t* name;
    bool match;
  } cases[] = {
      {L"*.*", L"Makefile", true},        {L"*.c", L"MAIN.C", true},       {L"*.c,*.h", L"x.h", true},
      {L"*.c;*.h", L"x.hpp", false},      {L"?.c", L"ab.c", false},        {L"a?c.txt", L"abc.TXT", true},
      {L" *.py , *.sh ", L"run.sh", true}, {L"\"a,b.txt\"", L"a,b.txt", true}, {L"\"a,b.txt\"", L"a", false},
      {L"", L"x", false},                 {L"*", L"", true},               {L"*.", L"README", true},
      {L"*.", L"x.c", false},             {L"**a*", L"bab", true},         {L"*.cpp", L"x.cp", false},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchMaskList(c.masks, c.name), c.match) << Utf8(c.masks) << " / " << Utf8(c.name);
}
