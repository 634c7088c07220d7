// The console helpers on a real console under Wine, through the host stand-in's 8-bit services:
// what the popup and the progress window leave on the screen (read back cell by cell), the
// console title, Esc typed into the console input, the host messages, dialogs and menus.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/console/tests/console_conformance.h"
#include "devicebrowser/common/console/win/host_console.h"
#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

std::wstring g_probe;

HANDLE Out() {
  static HANDLE h = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  return h;
}
HANDLE In() {
  static HANDLE h = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  return h;
}

struct Screen {
  int cols = 80, rows = 25;
};
Screen Size() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  Screen s;
  if (GetConsoleScreenBufferInfo(Out(), &info)) {
    s.cols = info.srWindow.Right - info.srWindow.Left + 1;
    s.rows = info.srWindow.Bottom - info.srWindow.Top + 1;
  }
  return s;
}

// Cells of one row, as OEM bytes and their attributes.
struct Cells {
  std::string text;
  std::vector<WORD> attrs;
};
Cells ReadRow(int y, int x1, int x2) {
  Cells c;
  int w = x2 - x1 + 1;
  std::vector<CHAR_INFO> buf(static_cast<size_t>(w));
  SMALL_RECT r{static_cast<SHORT>(x1), static_cast<SHORT>(y), static_cast<SHORT>(x2), static_cast<SHORT>(y)};
  EXPECT_TRUE(ReadConsoleOutputA(Out(), buf.data(), COORD{static_cast<SHORT>(w), 1}, COORD{0, 0}, &r));
  for (auto& ci : buf) {
    c.text += ci.Char.AsciiChar;
    c.attrs.push_back(ci.Attributes);
  }
  return c;
}

// The whole window: letters in bright white on blue, so that a shadow shows.
void PaintBackground() {
  Screen s = Size();
  std::vector<CHAR_INFO> buf(static_cast<size_t>(s.cols * s.rows));
  for (int y = 0; y < s.rows; ++y)
    for (int x = 0; x < s.cols; ++x) {
      CHAR_INFO& ci = buf[static_cast<size_t>(y * s.cols + x)];
      ci.Char.AsciiChar = static_cast<char>('a' + (x + y) % 26);
      ci.Attributes = 0x1F;
    }
  SMALL_RECT r{0, 0, static_cast<SHORT>(s.cols - 1), static_cast<SHORT>(s.rows - 1)};
  WriteConsoleOutputA(Out(), buf.data(), COORD{static_cast<SHORT>(s.cols), static_cast<SHORT>(s.rows)}, COORD{0, 0},
                      &r);
}

std::string Oem(const std::wstring& w) {
  char buf[1024] = {};
  WideCharToMultiByte(CP_OEMCP, 0, w.c_str(), -1, buf, sizeof buf, nullptr, nullptr);
  return buf;
}
// What the user sees of a text that crossed in the OEM code page.
std::wstring Seen(const std::wstring& w) {
  wchar_t buf[1024] = {};
  MultiByteToWideChar(CP_OEMCP, 0, Oem(w).c_str(), -1, buf, 1024);
  return buf;
}

std::wstring Title() {
  wchar_t buf[1100] = {};
  GetConsoleTitleW(buf, 1100);
  return buf;
}

void TypeKey(WORD vk, wchar_t ch, bool down) {
  INPUT_RECORD r{};
  r.EventType = KEY_EVENT;
  r.Event.KeyEvent.bKeyDown = down;
  r.Event.KeyEvent.wRepeatCount = 1;
  r.Event.KeyEvent.wVirtualKeyCode = vk;
  r.Event.KeyEvent.uChar.UnicodeChar = ch;
  DWORD n = 0;
  WriteConsoleInputW(In(), &r, 1, &n);
}
void Press(WORD vk, wchar_t ch) {
  TypeKey(vk, ch, true);
  TypeKey(vk, ch, false);
}
DWORD Pending() {
  DWORD n = 0;
  GetNumberOfConsoleInputEvents(In(), &n);
  return n;
}

class Console : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& w) { ADD_FAILURE() << Utf8(w); };
    p = host.Load(g_probe);
    ASSERT_NE(p, nullptr);
    handrel::ConsoleSetHost(&p->startupA, KelMakeVersion(1, 70, 0));
    FlushConsoleInputBuffer(In());
    SetConsoleTitleW(L"Kel test");
    PaintBackground();
  }
  void TearDown() override { handrel::ConsoleSetHost(nullptr, 0); }
  Host host;
  Plugin* p = nullptr;
};

}  // namespace

TEST_F(Console, PopupBoxShadowAndTitleOnTheConsoleThenPutBack) {
  Screen s = Size();
  Cells before = ReadRow(s.rows / 2, 0, s.cols - 1);
  {
    handrel::CPop pop("Files", "Listing files...");
    // 16 characters of text: a box 20 x 3, centred.
    int x1 = (s.cols - 20) / 2, y1 = (s.rows - 3) / 2, x2 = x1 + 19, y2 = y1 + 2;
    Cells top = ReadRow(y1, x1, x2), mid = ReadRow(y1 + 1, x1, x2), bottom = ReadRow(y2, x1, x2);
    EXPECT_EQ(top.text, "\xC9" + std::string(5, '\xCD') + " Files " + std::string(6, '\xCD') + "\xBB");
    EXPECT_EQ(mid.text, "\xBA Listing files... \xBA");
    EXPECT_EQ(bottom.text, "\xC8" + std::string(18, '\xCD') + "\xBC");
    for (WORD a : mid.attrs) EXPECT_EQ(a, 0x70);
    // The shadow: the characters that were there, grey on black, two columns right and one row below.
    for (int y = y1 + 1; y <= y2 + 1; ++y) {
      Cells right = ReadRow(y, x2 + 1, x2 + 2);
      for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(right.attrs[static_cast<size_t>(i)], 0x07) << y;
        EXPECT_EQ(right.text[static_cast<size_t>(i)], static_cast<char>('a' + (x2 + 1 + i + y) % 26)) << y;
      }
    }
    Cells below = ReadRow(y2 + 1, x1, x2);
    EXPECT_EQ(below.attrs[0], 0x1F);
    EXPECT_EQ(below.attrs[1], 0x1F);
    for (size_t i = 2; i < below.attrs.size(); ++i) EXPECT_EQ(below.attrs[i], 0x07) << i;
    EXPECT_EQ(ReadRow(y1, x2 + 1, x2 + 1).attrs[0], 0x1F);  // no shadow beside the top row
    EXPECT_EQ(Title(), L"Files (Listing files...)");
    pop.SetText("Deleting files...");  // one wider: the box moves half a column left
    int nx1 = (s.cols - 21) / 2;
    EXPECT_EQ(ReadRow(y1 + 1, nx1, nx1 + 20).text, "\xBA Deleting files... \xBA");
    EXPECT_EQ(Title(), L"Files (Deleting files...)");
  }
  EXPECT_EQ(Title(), L"Kel test");
  Cells after = ReadRow(s.rows / 2, 0, s.cols - 1);
  EXPECT_EQ(after.text, before.text);
  EXPECT_EQ(after.attrs, before.attrs);
  EXPECT_TRUE(host.messages.empty());
}

// The shell's seam over the host stand-in and the real console keeps the same contract as the
// memory console of the core tests.
TEST_F(Console, ShellConsoleConforms) {
  handrel::con::testing::CheckConsoleSeam(handrel::detail::HostConsole(), [] { Press(VK_ESCAPE, 27); });
}

// Texts are OEM: a Cyrillic folder name reaches the box and the console title as the console's
// code page has it (whole under 866, as "?" under 437), and a title of any script comes back whole.
TEST_F(Console, OemTextsInTheBoxAndTheConsoleTitle) {
  SetConsoleTitleW(L"Kel \u041F\u0430\u043D\u0435\u043B\u044C \u00E9\u4E2D");
  std::wstring before = Title();
  std::wstring folder = L"\u041F\u0430\u043F\u043A\u0430";  // "Papka" in Cyrillic
  {
    handrel::CPop pop("Files", Oem(folder).c_str());
    EXPECT_EQ(Title(), L"Files (" + Seen(folder) + L")");
    Screen s = Size();
    int x1 = (s.cols - 11) / 2, y1 = (s.rows - 3) / 2;
    EXPECT_EQ(ReadRow(y1 + 1, x1, x1 + 10).text, "\xBA " + Oem(folder) + "   \xBA");  // as wide as " Files "
  }
  EXPECT_EQ(Title(), before);
}

namespace {

// The progress window's content rows (the eleven lines), read from the console.
std::vector<std::string> ProgressRows() {
  Screen s = Size();
  int x1 = (s.cols - 50) / 2, y1 = (s.rows - 13) / 2;
  std::vector<std::string> rows;
  for (int i = 0; i < 11; ++i) rows.push_back(ReadRow(y1 + 1 + i, x1 + 2, x1 + 47).text);
  return rows;
}
std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

TEST_F(Console, ProgressWindowAtTheStartAndMidway) {
  handrel::ProgressWindow w("Copy", 2, 2000);
  w.StartFile("report.txt", "C:\\Backup\\report.txt", 1000);
  w.Counters().startTick = GetTickCount();
  w.Redraw();
  std::vector<std::string> rows = ProgressRows();
  EXPECT_EQ(Trimmed(rows[0]), "Copying the file");
  EXPECT_EQ(Trimmed(rows[1]), "report.txt");
  EXPECT_EQ(Trimmed(rows[2]), "to");
  EXPECT_EQ(Trimmed(rows[3]), "C:\\Backup\\report.txt");
  EXPECT_EQ(rows[4], std::string(41, '\xB0') + "   0%");
  EXPECT_EQ(rows[5], std::string(16, '\xC4') + " Total: 2,000 " + std::string(16, '\xC4'));
  EXPECT_EQ(rows[6], std::string(41, '\xB0') + "   0%");
  EXPECT_EQ(rows[7], std::string(46, '\xC4'));
  EXPECT_EQ(Trimmed(rows[8]), "Files/folders processed: 0 of 2");
  EXPECT_EQ(rows[9], std::string(46, '\xC4'));
  EXPECT_EQ(rows[10], "Time: 00:00:00  Remaining: 00:00:00 0 b/s     ");
  EXPECT_EQ(Title(), L"(0% 00:00:00)");

  w.AddBytes(500);
  w.Counters().processedItems = 1;
  w.Redraw();
  rows = ProgressRows();
  EXPECT_EQ(rows[4], std::string(20, '\xDB') + std::string(21, '\xB0') + "  50%");
  EXPECT_EQ(rows[6], std::string(10, '\xDB') + std::string(31, '\xB0') + "  25%");
  EXPECT_EQ(Trimmed(rows[8]), "Files/folders processed: 1 of 2");
  EXPECT_EQ(Title(), L"(25% 00:00:00)");
}

TEST_F(Console, TimeLineSpeedUnitsAndTheLongestTime) {
  struct { uint64_t done; const char* speed; } table[] = {
      {999, "999 b/s   "}, {1000, "1,000 kb/s"}, {1234567, "1,234 Mb/s"}};
  for (auto& row : table) {
    handrel::ProgressWindow w("Copy", 1, row.done);
    w.Counters().totalDone = row.done;
    w.Counters().startTick = GetTickCount() - 1500;  // one whole second
    w.Redraw();
    EXPECT_EQ(ProgressRows()[10], std::string("Time: 00:00:01  Remaining: 00:00:00 ") + row.speed);
  }
  handrel::ProgressWindow w("Copy", 1, UINT64_MAX / 2);
  w.Counters().totalDone = 360000;
  w.Counters().startTick = GetTickCount() - 360000u * 1000u;  // a hundred hours
  w.Redraw();
  EXPECT_EQ(ProgressRows()[10], "Time: 99:59:59  Remaining: 99:59:59 1 b/s     ");
  EXPECT_EQ(Title(), L"(0% 99:59:59)");
}

TEST_F(Console, EscTypedInTheConsoleAnsweredYesCancels) {
  Press('A', L'a');
  Press(VK_ESCAPE, 27);
  host.AnswerMessage(0);
  EXPECT_EQ(handrel::CheckEscape(), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"", L"Cancel operation?"}));
  EXPECT_EQ(host.messages[0].buttons, (std::vector<std::wstring>{L"&Yes", L"&No"}));
  EXPECT_TRUE(host.messages[0].flags & FMSG_WARNING);
}

TEST_F(Console, EscAnsweredNoGoesOnAndThePendingInputIsGone) {
  Press(VK_ESCAPE, 27);
  Press('B', L'b');
  host.AnswerMessage(1);
  EXPECT_EQ(handrel::CheckEscape(), 0);
  EXPECT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(Pending(), 0u);
  EXPECT_EQ(handrel::CheckEscape(), 0);  // nothing left: no second question
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(Console, OtherKeysAreReadTenAtATimeWithoutAQuestion) {
  for (int i = 0; i < 6; ++i) Press('C', L'c');  // twelve events
  DWORD before = Pending();
  ASSERT_GE(before, 12u);
  EXPECT_EQ(handrel::CheckEscape(), 0);
  EXPECT_EQ(Pending(), before - 10);
  EXPECT_EQ(handrel::CheckEscape(), 0);
  EXPECT_EQ(Pending(), 0u);
  EXPECT_EQ(handrel::CheckEscape(), 0);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(Console, ShowMessageSplitsLinesAndKeepsItsLimits) {
  host.AnswerMessage(1);
  EXPECT_EQ(handrel::ShowMessage("Title", "first\r\nsecond\nthird\r\n\r\n", "&Retry\r\n&Skip", 1), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"Title", L"first", L"second", L"third"}));
  EXPECT_EQ(host.messages[0].buttons, (std::vector<std::wstring>{L"&Retry", L"&Skip"}));
  EXPECT_TRUE(host.messages[0].flags & FMSG_WARNING);

  std::string many;
  for (int i = 0; i < 150; ++i) many += "line " + std::to_string(i) + "\n";
  many += std::string(300, 'w');
  host.AnswerMessage(0);
  EXPECT_EQ(handrel::ShowMessage(nullptr, many.c_str()), 0);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[1].lines.size(), 99u);  // the empty title and 98 lines
  EXPECT_EQ(host.messages[1].lines[0], L"");
  EXPECT_EQ(host.messages[1].lines[98], L"line 97");
  EXPECT_EQ(host.messages[1].buttons, (std::vector<std::wstring>{L"OK"}));
  EXPECT_FALSE(host.messages[1].flags & FMSG_WARNING);

  host.AnswerMessage(0);
  handrel::ShowMessage("Wide", (std::string(300, 'w') + "\nshort").c_str());
  EXPECT_EQ(host.messages[2].lines[1], std::wstring(254, L'w'));
  EXPECT_EQ(host.messages[2].lines[2], L"short");
}

TEST_F(Console, FormattedNumbersAndTimesFitTheirBuffers) {
  char n[handrel::kNumberBufferSize];
  char t[handrel::kTimeBufferSize];
  handrel::FormatNumber(n, INT64_MIN);
  EXPECT_STREQ(n, "-9,223,372,036,854,775,808");
  handrel::FormatNumber(n, 999);
  EXPECT_STREQ(n, "999");
  handrel::FormatTime(t, 360000);
  EXPECT_STREQ(t, "99:59:59");
  handrel::FormatTime(t, 3723);
  EXPECT_STREQ(t, "01:02:03");
}

TEST_F(Console, DialogBuilderPlacesItemsAndFillsTheBoundVariablesOnlyWhenAccepted) {
  char prefix[21] = "ppc";
  int useLetter = 0, toRoot = 1, notRoot = 0;
  for (bool accept : {false, true}) {
    handrel::DialogBuilder d(30, 6, "Setup", "Setup");
    int text = d.AddText(1, 1, "Command prefix:");
    int edit = d.AddEdit(1, handrel::DialogBuilder::kAfter, 10, prefix, sizeof prefix);
    int sep = d.AddSeparator(2);
    int check = d.AddCheckBox(3, 1, "&Use drive letter", &useLetter);
    int r1 = d.AddRadioButton(4, handrel::DialogBuilder::kCentre, "&On", &toRoot);
    int r2 = d.AddRadioButton(4, handrel::DialogBuilder::kCentre, "O&ff", &notRoot);
    d.AddSeparator(5);
    int ok = d.AddButton(6, "&OK", true);
    int cancel = d.AddButton(6, "Cancel");
    host.AnswerDialog(DialogScript()
                          .Check([&](DialogView& v) {
                            EXPECT_EQ(v.Focus(), edit);
                            EXPECT_EQ(v.Item(0).text, L"Setup");
                            EXPECT_EQ(v.Item(edit).text, L"ppc");
                            EXPECT_TRUE(v.Item(r1).flags & DIF_GROUP);
                            EXPECT_FALSE(v.Item(r2).flags & DIF_GROUP);
                          })
                          .Type(edit, L"dev")
                          .Click(check)
                          .Click(r2)
                          .Close(accept ? ok : cancel));
    EXPECT_EQ(d.Run(ok), accept ? ok : cancel);
    ASSERT_EQ(host.dialogs.size(), accept ? 2u : 1u);
    const DialogCall& call = host.dialogs.back();
    EXPECT_EQ(call.helpTopic, L"Setup");
    const auto& items = call.itemsAtOpen;
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items[0].type, DI_DOUBLEBOX);
    EXPECT_EQ(items[0].x1, 3);
    EXPECT_EQ(items[0].y1, 1);
    EXPECT_EQ(items[0].x2, 36);
    EXPECT_EQ(items[0].y2, 8);
    EXPECT_EQ(items[static_cast<size_t>(text)].x1, 5);
    EXPECT_EQ(items[static_cast<size_t>(text)].y1, 2);
    EXPECT_EQ(items[static_cast<size_t>(edit)].type, DI_EDIT);
    EXPECT_EQ(items[static_cast<size_t>(edit)].x1, 21);
    EXPECT_EQ(items[static_cast<size_t>(edit)].x2, 30);
    EXPECT_TRUE(items[static_cast<size_t>(sep)].flags & DIF_SEPARATOR);
    EXPECT_EQ(items[static_cast<size_t>(ok)].y1, 7);
    EXPECT_TRUE(items[static_cast<size_t>(ok)].flags & DIF_DEFAULTBUTTON);
    EXPECT_FALSE(items[static_cast<size_t>(cancel)].flags & DIF_DEFAULTBUTTON);
    EXPECT_GT(items[static_cast<size_t>(cancel)].x1, items[static_cast<size_t>(ok)].x2);
    if (accept) {
      EXPECT_STREQ(prefix, "dev");
      EXPECT_EQ(useLetter, 1);
      EXPECT_EQ(toRoot, 0);
      EXPECT_EQ(notRoot, 1);
    } else {
      EXPECT_STREQ(prefix, "ppc");
      EXPECT_EQ(useLetter, 0);
      EXPECT_EQ(toRoot, 1);
      EXPECT_EQ(notRoot, 0);
    }
  }
}

TEST_F(Console, DialogBuilderEditsKeepWithinTheirVariable) {
  char letter[2] = "P";
  handrel::DialogBuilder d(10, 1, "L");
  int e = d.AddEdit(1, 1, 1, letter, sizeof letter);
  host.AnswerDialog(DialogScript()
                        .Check([&](DialogView& v) { EXPECT_EQ(v.Item(e).type, DI_FIXEDIT); })
                        .Type(e, L"XYZ")
                        .Close(e));
  EXPECT_EQ(d.Run(e), e);
  EXPECT_STREQ(letter, "X");
}

// A text with a colour of its own gets it from the builder's dialog procedure, on hosts that run
// one (from 0x0146 on); older hosts show it in the dialog's colour.
TEST_F(Console, DialogBuilderColoursTextsThroughItsProcedureOnNewerHosts) {
  for (uint32_t version : {KelMakeVersion(1, 70, 0), KelMakeVersion(1, 64, 0)}) {
    handrel::ConsoleSetHost(&p->startupA, version);
    handrel::DialogBuilder d(20, 3, "Colours");
    int warn = d.AddText(1, 1, "Careful", 0x4F);
    int plain = d.AddText(2, 1, "Plain");
    int ok = d.AddButton(3, "&OK", true);
    intptr_t warnColour = 0, plainColour = 0;
    host.AnswerDialog(DialogScript()
                          .Check([&](DialogView& v) {
                            warnColour = v.Send(DN_CTLCOLORDLGITEM, warn, reinterpret_cast<void*>(0x1770));
                            plainColour = v.Send(DN_CTLCOLORDLGITEM, plain, reinterpret_cast<void*>(0x1770));
                          })
                          .Close(ok));
    EXPECT_EQ(d.Run(ok), ok);
    bool newer = version == KelMakeVersion(1, 70, 0);
    EXPECT_EQ(warnColour, newer ? 0x174F : 0x1770) << std::hex << version;
    EXPECT_EQ(plainColour, 0x1770);
    EXPECT_EQ(static_cast<bool>(host.dialogs.back().itemsAtOpen[static_cast<size_t>(ok)].flags & DIF_CENTERGROUP), newer);
  }
}

TEST_F(Console, MenuBuilderSkipsDisabledItems) {
  handrel::MenuBuilder m;
  m.Add("&Files");
  m.Add("&Control", false, true);
  m.Add("&Desktop", true);
  host.AnswerMenu(1);  // the disabled one: the menu comes back
  host.AnswerMenu(2);
  EXPECT_EQ(m.Run("Modules", nullptr, "Modules"), 2);
  ASSERT_EQ(host.menus.size(), 2u);
  EXPECT_EQ(host.menus[0].items, (std::vector<std::wstring>{L"&Files", L"&Control", L"&Desktop"}));
  EXPECT_EQ(host.menus[0].title, L"Modules");
  EXPECT_EQ(host.menus[0].selectedOnOpen, 2);
  EXPECT_EQ(host.menus[1].selectedOnOpen, 1);
  host.AnswerMenu(-1);
  EXPECT_EQ(m.Run("Modules"), -1);
}

// An older host gives a shorter record: the services beyond it are missing and the helpers that
// need them answer as refused, while the others still work.
TEST_F(Console, ShorterRecordOfAnOlderHostLeavesTheNewerServicesOut) {
  HostStartupInfoA older = p->startupA;
  older.StructSize = static_cast<int>(offsetof(HostStartupInfoA, HostDialog));
  handrel::ConsoleSetHost(&older, KelMakeVersion(1, 70, 0));
  handrel::DialogBuilder d(10, 1, "Old");
  int ok = d.AddButton(1, "&OK", true);
  EXPECT_EQ(d.Run(ok), -1);
  EXPECT_TRUE(host.dialogs.empty());
  host.AnswerMessage(0);
  EXPECT_EQ(handrel::ShowMessage("Old", "still here"), 0);
  EXPECT_EQ(host.messages.size(), 1u);
}

// A plugin carrying the helpers: builders that cannot grow their item array say so and the
// export's firewall reports the text.
TEST_F(Console, BuildersThatCannotGrowReportTheFailureAtTheExport) {
  host.FailCall("HeapAlloc", 2);  // the first room of 40 is had; growing to 60 fails
  host.AnswerMessage(0);
  host.AnswerMessage(0);
  EXPECT_FALSE(host.OpenPanel(p, 0, 1));
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"Exception", L"(KelDialogItem*)calloc()=NULL"}));
  EXPECT_EQ(host.messages[1].lines[1], L"Unhandled exception in OpenPlugin");
  EXPECT_EQ(host.messages[1].lines[2], L"(KelDialogItem*)calloc()=NULL");
  EXPECT_TRUE(host.dialogs.empty());

  host.FailCall("HeapAlloc", 2);
  host.AnswerMessage(0);
  host.AnswerMessage(0);
  EXPECT_FALSE(host.OpenPanel(p, 0, 2));
  ASSERT_EQ(host.messages.size(), 4u);
  EXPECT_EQ(host.messages[2].lines, (std::vector<std::wstring>{L"Exception", L"(KelMenuItem*)calloc()==NULL"}));
  EXPECT_TRUE(host.menus.empty());

  // With the heap at hand both builders show all 45 items.
  host.ClearFailures();
  host.AnswerDialog(DialogScript().Check([](DialogView& v) { EXPECT_EQ(v.ItemCount(), 46); }).Close(-1));
  EXPECT_FALSE(host.OpenPanel(p, 0, 1));
  host.AnswerMenu(44);
  EXPECT_FALSE(host.OpenPanel(p, 0, 2));
  ASSERT_EQ(host.menus.size(), 1u);
  EXPECT_EQ(host.menus[0].items.size(), 45u);
  EXPECT_EQ(host.messages.size(), 4u);
}

// Run alone (its own test command): the process gives up its console first.
TEST(NoConsole, PopupWithoutAConsoleSaysItCannotReadItAndCarriesOn) {
  FreeConsole();
  Host host;
  host.onFailure = [](const std::wstring& w) { ADD_FAILURE() << Utf8(w); };
  Plugin* p = host.Load(g_probe);
  ASSERT_NE(p, nullptr);
  handrel::ConsoleSetHost(&p->startupA, KelMakeVersion(1, 70, 0));
  host.AnswerMessage(0);
  {
    handrel::CPop pop("Files", "Listing files...");
    pop.SetText("still listing");
  }
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"CPop", L"Can't read console!"}));
  EXPECT_EQ(host.messages[0].buttons, (std::vector<std::wstring>{L"OK"}));
  EXPECT_TRUE(host.messages[0].flags & FMSG_WARNING);
  EXPECT_EQ(handrel::CheckEscape(), 0);
  handrel::ConsoleSetHost(nullptr, 0);
}

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  bool filtered = false;
  for (int i = 1; i < argc; ++i) filtered = filtered || std::strncmp(argv[i], "--gtest_filter", 14) == 0;
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: handrel_console_tests CONPROBE8 [gtest options]\n");
    return 2;
  }
  g_probe = Wide(argv[1]);
  // The locale the suite was started for must really be in force.
  if (const char* cp = std::getenv("KEL_OEMCP")) {
    if (GetOEMCP() != static_cast<UINT>(std::atoi(cp))) {
      std::fprintf(stderr, "OEM code page %u, expected %s\n", GetOEMCP(), cp);
      return 1;
    }
  }
  // The run without a console is a command of its own: it cannot give the console back.
  if (!filtered) ::testing::GTEST_FLAG(filter) = "-NoConsole.*";
  return RUN_ALL_TESTS();
}
