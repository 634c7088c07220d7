// The windows module's core, natively: the "GetWindows" answer walk over answers a device could
// send (whole, damaged, hostile), the window list's growth, the listing with its reconnect and its
// trace, the window actions and their messages, over a scripted device and user.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "devicebrowser/modules/windows/core/windows_core.h"

using namespace handrel::windows;

namespace {

// An answer written byte by byte, independently of the walk: handle, style, class, title.
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutText(std::vector<uint8_t>& out, const std::u16string& s, bool terminate = true) {
  for (char16_t c : s) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminate) out.insert(out.end(), {0, 0});
}
void PutWindow(std::vector<uint8_t>& out, uint32_t handle, uint32_t style, const std::u16string& cls,
               const std::u16string& title) {
  Put32(out, handle);
  Put32(out, style);
  PutText(out, cls);
  PutText(out, title);
}

// The walk over a heap block of exactly the answer's size, so that a read past it is caught.
std::vector<WindowRecord> Walk(const std::vector<uint8_t>& answer) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[answer.size() ? answer.size() : 1]);
  if (!answer.empty()) std::memcpy(exact.get(), answer.data(), answer.size());
  return ParseWindowsAnswer(exact.get(), answer.size());
}

std::vector<uint8_t> ThreeWindows() {
  std::vector<uint8_t> a;
  PutWindow(a, 0x00010020, 0x10CF0000, u"DesktopExplorerWindow", u"Desktop");
  PutWindow(a, 0x00010044, 0x00000000, u"HandheldHidden", u"Hidden tasks");
  PutWindow(a, 0x0001ABCD, 0x90000000, u"HandheldNotes", u"Caf\u00e9 \u0417");
  return a;
}

TEST(WindowsAnswer, AWholeAnswerGivesEveryRecordWithItsBytes) {
  std::vector<uint8_t> a = ThreeWindows();
  std::vector<WindowRecord> r = Walk(a);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].handle, 0x00010020u);
  EXPECT_EQ(r[0].style, 0x10CF0000u);
  EXPECT_EQ(r[0].className, u"DesktopExplorerWindow");
  EXPECT_EQ(r[0].title, u"Desktop");
  EXPECT_EQ(r[1].title, u"Hidden tasks");
  EXPECT_EQ(r[2].handle, 0x0001ABCDu);
  EXPECT_EQ(r[2].title, u"Caf\u00e9 \u0417");
  // The records lie back to back and cover the answer: 8 + 2 x (21 + 1) + 2 x (7 + 1) for the first.
  EXPECT_EQ(r[0].offset, 0u);
  EXPECT_EQ(r[0].size, 8u + 44u + 16u);
  EXPECT_EQ(r[1].offset, r[0].size);
  EXPECT_EQ(r[2].offset + r[2].size, a.size());
  EXPECT_TRUE(Walk({}).empty());
  EXPECT_TRUE(ParseWindowsAnswer(nullptr, 100).empty());
}

TEST(WindowsAnswer, ADamagedTailEndsTheWalkAndKeepsTheRecordsBeforeIt) {
  std::vector<uint8_t> whole = ThreeWindows();
  size_t second = Walk(whole)[1].offset;
  struct Case {
    const char* what;
    std::vector<uint8_t> answer;
    size_t records;
  };
  std::vector<Case> cases;
  // Cut anywhere inside the second record: only the first stays.
  for (size_t cut : {second + 1, second + 7, second + 8, second + 9, second + 20, Walk(whole)[2].offset - 1})
    cases.push_back({"cut short", std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(cut)), 1});
  // Trailing bytes fewer than the smallest record (12): ignored.
  for (size_t extra : {1u, 2u, 11u}) {
    std::vector<uint8_t> a = whole;
    a.insert(a.end(), extra, 0);
    cases.push_back({"trailing bytes", a, 3});
  }
  {
    // Exactly the smallest record: a window with neither class nor title.
    std::vector<uint8_t> a = whole;
    a.insert(a.end(), 12, 0);
    cases.push_back({"an empty record", a, 4});
  }
  // A whole first record, then the second's handle and style and the given tail.
  auto afterFirst = [](const std::vector<uint8_t>& tail) {
    std::vector<uint8_t> a;
    PutWindow(a, 1, kVisibleStyle, u"C", u"first");
    Put32(a, 2);
    Put32(a, kVisibleStyle);
    a.insert(a.end(), tail.begin(), tail.end());
    return a;
  };
  auto text = [](const std::u16string& s, bool terminate) {
    std::vector<uint8_t> t;
    PutText(t, s, terminate);
    return t;
  };
  {
    // A title of 260 characters fits; one of 261 does not, terminated or not at all.
    std::vector<uint8_t> a;
    PutWindow(a, 1, kVisibleStyle, u"C", std::u16string(260, u'x'));
    cases.push_back({"260 characters", a, 1});
    std::vector<uint8_t> tail = text(u"C", true), title = text(std::u16string(261, u'x'), true);
    tail.insert(tail.end(), title.begin(), title.end());
    cases.push_back({"261 characters", afterFirst(tail), 1});
    cases.push_back({"no terminator", afterFirst(text(std::u16string(300, u'y'), false)), 1});
    // A title whose terminator would be the answer's last, odd byte.
    tail = text(u"C", true);
    tail.push_back('T');
    tail.insert(tail.end(), {0, 0});
    cases.push_back({"odd end", afterFirst(tail), 1});
  }
  for (const Case& c : cases) {
    std::vector<WindowRecord> r = Walk(c.answer);
    EXPECT_EQ(r.size(), c.records) << c.what << " (" << c.answer.size() << " bytes)";
    uint32_t firstHandle = static_cast<uint32_t>(c.answer[0] | (c.answer[1] << 8) | (c.answer[2] << 16) |
                                                 (static_cast<uint32_t>(c.answer[3]) << 24));
    if (!r.empty()) {
      EXPECT_EQ(r[0].handle, firstHandle) << c.what;
    }
    for (const WindowRecord& w : r) EXPECT_LE(w.offset + w.size, c.answer.size()) << c.what;
  }
}

TEST(WindowsList, GrowsByItsOwnSizeBetween10And4096Entries) {
  EXPECT_EQ(WindowList::GrownCapacity(0), 10u);
  EXPECT_EQ(WindowList::GrownCapacity(10), 20u);
  EXPECT_EQ(WindowList::GrownCapacity(2560), 5120u);
  EXPECT_EQ(WindowList::GrownCapacity(5120), 9216u);
  WindowList list;
  std::vector<size_t> capacities;
  for (int i = 0; i < 9000; ++i) {
    list.Append(WindowEntry{});
    if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<size_t>{10, 20, 40, 80, 160, 320, 640, 1280, 2560, 5120, 9216}));
  list.Clear();
  EXPECT_TRUE(list.Entries().empty());
}

// ---- The listing and the actions over a scripted device and user -------------------------------

struct Sink : LogSink {
  std::u16string file;
  std::string bytes;
  int appends = 0;
  void Append(const std::u16string& name, const std::string& b) override {
    file = name;
    bytes += b;
    ++appends;
  }
};

struct Scripted : WindowsSeam {
  std::deque<InvokeResult> answers;
  std::vector<std::u16string> requests;
  bool transport = false;
  bool reconnectWorks = true;
  int reconnects = 0;
  uint32_t lastError = 0;
  std::vector<std::string> ui;  // "open T|X", "text X", "close", "warning X"
  InvokeResult Invoke(const std::u16string& command, const std::u16string& payload) override {
    requests.push_back(command + payload);
    if (answers.empty()) return InvokeResult{0x80004005, false, {}};
    InvokeResult r = answers.front();
    answers.pop_front();
    return r;
  }
  bool TransportError() override { return transport; }
  uint32_t DeviceLastError() override { return lastError; }
  bool Reconnect() override {
    ++reconnects;
    if (reconnectWorks) transport = false;
    return reconnectWorks;
  }
  // The tests' OEM table: ASCII as it is, anything else "?".
  std::string ToOem(const std::u16string& text) override {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }
  void OpenStatus(const std::string& t, const std::string& x) override { ui.push_back("open " + t + "|" + x); }
  void StatusText(const std::string& x) override { ui.push_back("text " + x); }
  void CloseStatus() override { ui.push_back("close"); }
  void Warning(const std::string& x) override { ui.push_back("warning " + x); }
};

InvokeResult Answer(std::vector<uint8_t> bytes) { return InvokeResult{0, true, std::move(bytes)}; }
InvokeResult TextAnswer(uint32_t status, const std::u16string& text) {
  std::vector<uint8_t> b;
  PutText(b, text);
  return InvokeResult{status, true, b};
}

TEST(WindowsListing, EntriesKeepEveryWindowAndTheTraceHasEachRecordsBytes) {
  Scripted device;
  std::vector<uint8_t> answer;
  PutWindow(answer, 0x00010020, 0x10000000, u"DesktopExplorerWindow", u"Desktop");
  PutWindow(answer, 0x00010044, 0x00CF0000, u"HandheldHidden", u"Hidden tasks");
  PutWindow(answer, 0x000100A0, 0x10000000, u"HandheldUntitled", u"");
  PutWindow(answer, 0x7FFF0001, 0x10000000, u"HandheldNotes", u"Caf\u00e9");
  device.answers.push_back(Answer(answer));
  Sink sink;
  TraceLog log(sink, u"C:\\trace.log");
  WindowList list;
  list.Append(WindowEntry{"stale", kAttributeNormal, "0x00000001", "Old", true});
  ListWindows(device, log, false, list);

  ASSERT_EQ(list.Entries().size(), 4u);
  const auto& e = list.Entries();
  EXPECT_EQ(e[0].name, "Desktop");
  EXPECT_EQ(e[0].handleText, "0x00010020");
  EXPECT_EQ(e[0].className, "DesktopExplorerWindow");
  EXPECT_EQ(e[0].attributes, 0x80u);
  EXPECT_TRUE(e[0].Listed());
  EXPECT_EQ(e[1].attributes, 0x82u);
  EXPECT_FALSE(e[1].Listed());  // not visible
  EXPECT_FALSE(e[2].Listed());  // no title
  EXPECT_EQ(e[3].name, "Caf?");
  EXPECT_EQ(e[3].handleText, "0x7fff0001");
  EXPECT_EQ(device.requests, (std::vector<std::u16string>{u"GetWindows"}));
  EXPECT_EQ(device.ui, (std::vector<std::string>{"open Windows|Listing windows...", "text Invoke listing...",
                                                  "text Invoke done...", "text Parsing result...", "close"}));
  // The trace: every line ended by CR LF, every record (hidden and untitled too) with its raw bytes.
  EXPECT_EQ(sink.file, u"C:\\trace.log");
  std::string expected = "Listing windows (begin)\r\nInvoke call\r\nInvoke done\r\n";
  std::vector<WindowRecord> records = Walk(answer);
  for (const WindowRecord& r : records)
    expected += "--next window:\r\n" +
                std::string(reinterpret_cast<const char*>(answer.data() + r.offset), r.size) + "\r\n";
  expected += "Listing windows (done)\r\n";
  EXPECT_EQ(sink.bytes, expected);
}

TEST(WindowsListing, NoLogFileNameWritesNothingAndSilentShowsNoStatus) {
  Scripted device;
  std::vector<uint8_t> answer;
  PutWindow(answer, 1, kVisibleStyle, u"C", u"T");
  device.answers.push_back(Answer(answer));
  Sink sink;
  TraceLog log(sink, u"");
  WindowList list;
  ListWindows(device, log, true, list);
  EXPECT_EQ(list.Entries().size(), 1u);
  EXPECT_EQ(sink.appends, 0);
  EXPECT_TRUE(device.ui.empty());
}

TEST(WindowsListing, ATransportFailureReconnectsAndRetriesOnce) {
  Sink sink;
  std::vector<uint8_t> answer;
  PutWindow(answer, 1, kVisibleStyle, u"C", u"Back");
  {
    // Lost, reconnected, listed.
    Scripted device;
    device.transport = true;
    device.answers.push_back(InvokeResult{0x800704D4, false, {}});
    device.answers.push_back(Answer(answer));
    TraceLog log(sink, u"t.log");
    WindowList list;
    ListWindows(device, log, true, list);
    EXPECT_EQ(device.reconnects, 1);
    EXPECT_EQ(device.requests.size(), 2u);
    ASSERT_EQ(list.Entries().size(), 1u);
    EXPECT_EQ(list.Entries()[0].name, "Back");
    EXPECT_NE(sink.bytes.find("Invoke done\r\nFailed, reconnect trying\r\nInvoke call\r\n"), std::string::npos);
    EXPECT_TRUE(device.ui.empty());
  }
  {
    // Lost twice: one retry only, then the message even though silent; the list is empty.
    Scripted device;
    device.transport = true;
    device.reconnectWorks = true;
    device.answers.push_back(InvokeResult{0x800704D4, false, {}});
    device.answers.push_back(InvokeResult{0x8007048F, false, {}});
    TraceLog log(sink, u"");
    WindowList list;
    ListWindows(device, log, true, list);
    EXPECT_EQ(device.requests.size(), 2u);
    EXPECT_TRUE(list.Entries().empty());
    EXPECT_EQ(device.ui, (std::vector<std::string>{"warning Can't get window list\nHR=0x8007048f"}));
  }
  {
    // The reconnect fails: no second request.
    Scripted device;
    device.transport = true;
    device.reconnectWorks = false;
    device.answers.push_back(InvokeResult{0x800704D4, false, {}});
    TraceLog log(sink, u"");
    WindowList list;
    ListWindows(device, log, false, list);
    EXPECT_EQ(device.reconnects, 1);
    EXPECT_EQ(device.requests.size(), 1u);
    EXPECT_EQ(device.ui.back(), "close");
    EXPECT_EQ(device.ui[device.ui.size() - 2], "warning Can't get window list\nHR=0x800704d4");
  }
  {
    // A device-side failure (no transport error): no reconnect.
    Scripted device;
    device.answers.push_back(InvokeResult{0x8007007E, false, {}});
    TraceLog log(sink, u"");
    WindowList list;
    ListWindows(device, log, true, list);
    EXPECT_EQ(device.reconnects, 0);
    EXPECT_EQ(device.ui, (std::vector<std::string>{"warning Can't get window list\nHR=0x8007007e"}));
  }
}

TEST(WindowsActions, RequestsAndTheirOutcomes) {
  {
    Scripted device;
    device.answers.push_back(TextAnswer(0, u"OK"));
    EXPECT_TRUE(RunWindowAction(device, WindowAction::kActivate, "0x0001abcd", false));
    EXPECT_EQ(device.requests, (std::vector<std::u16string>{u"WindowAction;Activate;0x0001abcd"}));
    EXPECT_TRUE(device.ui.empty());
  }
  {
    // The device's explanation follows on its own line.
    Scripted device;
    device.lastError = 0x578;
    device.answers.push_back(TextAnswer(0, u"Desktop window not found! ErrCode=0x00000578"));
    EXPECT_FALSE(RunWindowAction(device, WindowAction::kClose, "0x00010044", false));
    EXPECT_EQ(device.requests, (std::vector<std::u16string>{u"WindowAction;Close;0x00010044"}));
    EXPECT_EQ(device.ui, (std::vector<std::string>{"warning Can't minimize window\nRapi=0x00000000, "
                                                    "LastError=0x00000578\nDesktop window not found! ErrCode=0x00000578"}));
  }
  {
    // No answer: the status only. "OK" with a failed status is no success either.
    Scripted device;
    device.answers.push_back(InvokeResult{0x8007007E, false, {}});
    device.answers.push_back(TextAnswer(0x80004005, u"OK"));
    EXPECT_FALSE(RunWindowAction(device, WindowAction::kActivate, "0x00000010", false));
    EXPECT_FALSE(RunWindowAction(device, WindowAction::kActivate, "0x00000010", true));
    EXPECT_EQ(device.ui, (std::vector<std::string>{"warning Can't activate window\nRapi=0x8007007e, "
                                                    "LastError=0x00000000"}));
  }
  {
    // "OKAY", "OK" without its terminator in an odd-sized answer, a long explanation cut at 150 bytes.
    Scripted device;
    device.answers.push_back(TextAnswer(0, u"OKAY"));
    EXPECT_FALSE(RunWindowAction(device, WindowAction::kActivate, "0x1", true));
    device.answers.push_back(TextAnswer(0, std::u16string(400, u'e')));
    EXPECT_FALSE(RunWindowAction(device, WindowAction::kActivate, "0x1", false));
    ASSERT_EQ(device.ui.size(), 1u);
    EXPECT_EQ(device.ui[0].substr(device.ui[0].rfind('\n') + 1), std::string(150, 'e'));
  }
  // The handle text as the column shows it, at most 12 characters.
  EXPECT_EQ(ActionPayload(WindowAction::kClose, "0x0001abcd;junk"), u"Close;0x0001abcd;j");
  EXPECT_EQ(AnswerText({'O', 0, 'K', 0, 'X'}), u"OK");
}

TEST(WindowsPanel, TheViewModeComesBackFromThePanelStateWhenLeaving) {
  EXPECT_EQ(ViewModeOnLeaving('0' + 3), 3);
  EXPECT_EQ(ViewModeOnLeaving('0'), 0);
  EXPECT_EQ(ViewModeOnLeaving(47), 1);
  EXPECT_EQ(ViewModeOnLeaving(0), 1);
  EXPECT_EQ(ViewModeOnLeaving(-5), 1);
}

}  // namespace
