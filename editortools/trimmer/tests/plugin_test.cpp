// Snipwell in the host stand-in: the file is trimmed through HostEditorControl, the progress box
// lands in the real console, Esc (queued on the console input) undoes everything.
#include <gtest/gtest.h>

#include <climits>

#include "editortools/remarks/tests/plugin_support.h"
#include "standins/kelhost/editor.h"
#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

class Snipwell : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& f) { ADD_FAILURE() << Utf8(f); };
    plugin = host.Load(BesideTest(PLUGIN_FILE));
    ASSERT_NE(plugin, nullptr);
  }
  Editor* Open(const std::string& bytes) {
    file = WriteSample(L"snipwell_sample.txt", bytes);
    Editor* e = host.OpenEditor(file);
    EXPECT_NE(e, nullptr);
    return e;
  }
  // Runs the plugin from the editor and returns the text of its report.
  std::vector<std::wstring> Run() {
    size_t before = host.messages.size();
    host.AnswerMessage(0);
    EXPECT_EQ(host.OpenPlugin(plugin, OPEN_EDITOR, 0), INVALID_HANDLE_VALUE);
    if (host.messages.size() != before + 1) return {};
    return host.messages.back().lines;
  }
  Host host;
  Plugin* plugin = nullptr;
  std::wstring file;
};

std::wstring ConsoleText(int x, int y, int length, std::vector<WORD>* attributes = nullptr) {
  HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  std::wstring text(static_cast<size_t>(length), L'\0');
  DWORD got = 0;
  ReadConsoleOutputCharacterW(out, text.data(), static_cast<DWORD>(length), COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)}, &got);
  text.resize(got);
  if (attributes) {
    attributes->assign(static_cast<size_t>(length), 0);
    ReadConsoleOutputAttribute(out, attributes->data(), static_cast<DWORD>(length),
                               COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)}, &got);
  }
  CloseHandle(out);
  return text;
}

}  // namespace

TEST_F(Snipwell, ExportsMenuAndOnlyFromTheEditor) {
  EXPECT_EQ(ExportNames(plugin->module),
            (std::set<std::string>{"GetMinKelVersionW", "SetStartupInfoW", "GetPluginInfoW", "OpenPluginW"}));
  PluginInfoW info{};
  ASSERT_TRUE(host.GetPluginInfo(plugin, &info));
  EXPECT_EQ(info.Flags, 6u);
  ASSERT_EQ(info.PluginMenuStringsNumber, 1);
  EXPECT_STREQ(info.PluginMenuStrings[0], L"Trim trailing blanks");
  EXPECT_EQ(info.PluginConfigStringsNumber, 0);
  EXPECT_EQ(reinterpret_cast<int(KEL_API*)()>(plugin->Entry("GetMinKelVersionW"))(), 0x200);

  Editor* e = Open("a  \r\n\r\n");
  EXPECT_EQ(host.OpenPlugin(plugin, OPEN_PLUGINSMENU, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(e->Text(), L"a  \r\n\r\n");
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(host.progressStates.empty());
}

TEST_F(Snipwell, CleanFileReportsZeroAndZero) {
  Editor* e = Open("int a;\r\nint b;\r\n");
  EXPECT_EQ(Run(), (std::vector<std::wstring>{L"", L"Removed 0 trailing blank characters and 0 empty lines at the end."}));
  EXPECT_EQ(host.messages.back().flags & FMSG_WARNING, 0u);
  EXPECT_EQ(e->Text(), L"int a;\r\nint b;\r\n");
}

TEST_F(Snipwell, ThreeTrailingEmptyLinesAndBlanksWithTheirLineEndsKept) {
  Editor* e = Open("int x;  \r\n\tcall(); \t\nend;\r\r\n\r\n");
  e->curLine = 1;
  e->curPos = 3;
  e->topLine = 1;
  auto report = Run();
  EXPECT_EQ(report, (std::vector<std::wstring>{L"", L"Removed 4 trailing blank characters and 2 empty lines at the end."}));
  EXPECT_EQ(e->curLine, 1);
  EXPECT_EQ(e->curPos, 3);
  EXPECT_EQ(e->topLine, 1);
  ASSERT_TRUE(e->Save());
  EXPECT_EQ(ReadBytes(file), "int x;\r\n\tcall();\nend;\r");
  // Taskbar: indeterminate, then none with a completion notice, and the last value is all done.
  EXPECT_EQ(host.progressStates, (std::vector<int>{PS_INDETERMINATE, PS_NOPROGRESS}));
  EXPECT_EQ(host.progressNotifies, 1);
  ASSERT_FALSE(host.progressValues.empty());
  EXPECT_EQ(host.progressValues.back().Completed, 6u);
  EXPECT_EQ(host.progressValues.back().Total, 6u);
}

TEST_F(Snipwell, ALineOfBlanksAtTheEndIsEmptiedOrDeleted) {
  Editor* e = Open("a\n   \t");
  EXPECT_EQ(Run()[1], L"Removed 4 trailing blank characters and 0 empty lines at the end.");
  EXPECT_EQ(e->Text(), L"a\n");
  Editor* f = Open("a\n  \n");
  EXPECT_EQ(Run()[1], L"Removed 2 trailing blank characters and 1 empty lines at the end.");
  EXPECT_EQ(f->Text(), L"a\n");
}

TEST_F(Snipwell, EscRestoresTheFileByteForByte) {
  const std::string original = "keep  \r\n\tthis\t\n\n  \r\n\r\n";
  Editor* e = Open(original);
  e->curLine = 2;
  e->curPos = 5;
  HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  INPUT_RECORD esc{};
  esc.EventType = KEY_EVENT;
  esc.Event.KeyEvent.bKeyDown = TRUE;
  esc.Event.KeyEvent.wRepeatCount = 1;
  esc.Event.KeyEvent.wVirtualKeyCode = VK_ESCAPE;
  esc.Event.KeyEvent.uChar.UnicodeChar = 27;
  INPUT_RECORD records[2] = {esc, esc};
  records[1].Event.KeyEvent.bKeyDown = FALSE;
  DWORD written = 0;
  ASSERT_TRUE(WriteConsoleInputW(in, records, 2, &written));
  CloseHandle(in);

  auto report = Run();
  EXPECT_EQ(report, (std::vector<std::wstring>{L"", L"Trimming cancelled; the file is as it was."}));
  EXPECT_NE(host.messages.back().flags & FMSG_WARNING, 0u);
  EXPECT_EQ(e->curLine, 2);
  EXPECT_EQ(e->curPos, 5);
  EXPECT_FALSE(e->modified);
  ASSERT_TRUE(e->Save());
  EXPECT_EQ(ReadBytes(file), original);
}

TEST_F(Snipwell, TheProgressBoxIsDrawnIntoTheConsole) {
  std::string many;
  for (int i = 0; i < 250; ++i) many += "line \r\n";
  Open(many);
  host.kelRect = SMALL_RECT{0, 0, 79, 20};  // box at row 20 / 2 - 2 = 8, column 79 / 2 - 14 = 25
  Run();
  // One taskbar value per percentage reached: 1 % first (at the third line of 251), 100 % last.
  ASSERT_EQ(host.progressValues.size(), 100u);
  EXPECT_EQ(host.progressValues.front().Completed, 3u);
  std::vector<WORD> attributes;
  EXPECT_EQ(ConsoleText(25, 8, 28, &attributes), std::wstring(28, L' '));
  EXPECT_EQ(attributes, std::vector<WORD>(28, 0x70));
  EXPECT_EQ(ConsoleText(25, 9, 28), L"  \u2554\u2550\u2550\u2550 Trimming: 100% \u2550\u2550\u2550\u2557  ");
  // Every cell of the track was reached (each 5 % step fills its own cell).
  EXPECT_EQ(ConsoleText(25, 10, 28), L"  \u2551 " + std::wstring(20, L'\u2588') + L" \u2551  ");
  EXPECT_EQ(ConsoleText(25, 11, 4), L"  \u255A\u2550");
}

TEST_F(Snipwell, WithoutTheHostWindowRectangleTheBoxIsCentredOnTheConsoleWindow) {
  Open("a \n");
  host.kelRectAvailable = false;
  HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO csbi{};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &csbi));
  CloseHandle(out);
  const SMALL_RECT& w = csbi.srWindow;
  int top = w.Top + (w.Bottom - w.Top) / 2 - 2;
  int left = w.Left + (w.Right - w.Left) / 2 - 14;
  EXPECT_EQ(Run()[1], L"Removed 1 trailing blank characters and 0 empty lines at the end.");
  EXPECT_EQ(ConsoleText(left, top + 3, 28), L"  \u255A" + std::wstring(22, L'\u2550') + L"\u255D  ");
}

// Memory running out while a line is copied stops the run at once: -1 and no report, the undo
// group closed, the cursor back where it was, the taskbar state ended.
TEST_F(Snipwell, OutOfMemoryOnALineStopsAtOnceWithoutAReport) {
  std::string text;
  for (int i = 12; i > 0; --i) text += std::string(static_cast<size_t>(i) * 10, 'w') + "  \r\n";
  Editor* e = Open(text);
  e->curLine = 3;
  e->curPos = 2;
  // Learn how many allocations a whole run makes, then fail one in the middle of the walk (each
  // line is longer than the one below it, so each copy needs a new block).
  host.FailCall("malloc", INT_MAX);
  Run();
  int allocations = host.CallsSeen("malloc");
  host.ClearFailures();
  e = Open(text);
  e->curLine = 3;
  e->curPos = 2;
  host.progressStates.clear();
  size_t messages = host.messages.size();
  host.refusals.clear();
  host.FailCall("malloc", allocations / 2);
  EXPECT_EQ(host.OpenPlugin(plugin, OPEN_EDITOR, 0), INVALID_HANDLE_VALUE);
  host.ClearFailures();
  EXPECT_EQ(host.refusals.size(), 1u);
  EXPECT_EQ(host.messages.size(), messages);
  EXPECT_EQ(e->undoGroupDepth(), 0);
  EXPECT_EQ(e->curLine, 3);
  EXPECT_EQ(e->curPos, 2);
  ASSERT_FALSE(host.progressStates.empty());
  EXPECT_EQ(host.progressStates.back(), PS_NOPROGRESS);
  EXPECT_TRUE(e->modified);  // the lines done before the failure stay trimmed, as one undo step
  EXPECT_EQ(e->undoSteps(), 1);
}

// Every allocation of a run failing in turn: the run completes with its report or ends without
// one, never with an exception's report, never with an open undo group.
TEST_F(Snipwell, OutOfMemoryAnywhereEndsQuietly) {
  const std::string text = "first line  \r\nsecond line\t\r\nthird and last line \r\n\r\n\r\n";
  Editor* e = Open(text);
  host.FailCall("malloc", INT_MAX);
  Run();
  int allocations = host.CallsSeen("malloc");
  ASSERT_GT(allocations, 2);
  host.ClearFailures();
  size_t messages = host.messages.size();
  bool answerQueued = false;
  for (int nth = 1; nth <= allocations; ++nth) {
    e = Open(text);
    e->curLine = 1;
    if (!answerQueued) host.AnswerMessage(0);
    answerQueued = true;
    host.FailCall("malloc", nth);
    EXPECT_EQ(host.OpenPlugin(plugin, OPEN_EDITOR, 0), INVALID_HANDLE_VALUE);
    host.ClearFailures();
    if (host.messages.size() > messages) {
      answerQueued = false;
      messages = host.messages.size();
      EXPECT_EQ(host.messages.back().lines.at(1).find(L"Removed"), 0u) << nth;
    }
    EXPECT_EQ(e->undoGroupDepth(), 0) << nth;
    EXPECT_EQ(e->curLine, 1) << nth;
    EXPECT_EQ(host.progressStates.back(), PS_NOPROGRESS) << nth;
  }
}

// No editor information: the run does not start; nothing is shown or changed.
TEST_F(Snipwell, NoEditorInformationEndsTheRunQuietly) {
  Editor* e = Open("a  \r\n");
  host.FailCall("HostEditorControl", 1, 1, ECTL_GETINFO);
  EXPECT_EQ(host.OpenPlugin(plugin, OPEN_EDITOR, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(host.refusals.size(), 1u);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(host.progressStates.empty());
  EXPECT_EQ(e->Text(), L"a  \r\n");
}
