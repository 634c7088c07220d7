// The invoke library's commands over a scripted device: request matching, the device record,
// capture headers, window records, input lists, file commands and their error answers. Offsets
// are written here as literals, not through the core's constants.
#include <gtest/gtest.h>

#include <cstring>

#include "devicebrowser/device/invoke/core/invoke.h"
#include "devicebrowser/device/invoke/tests/capture_checks.h"
#include "devicebrowser/device/invoke/tests/fake_device.h"

using namespace handrel::invoke;
using namespace handrel::invoke::testing;

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
}
uint64_t U64(const std::vector<uint8_t>& b, size_t at) { return U32(b, at) | (uint64_t{U32(b, at + 4)} << 32); }
std::u16string TextAt(const std::vector<uint8_t>& b, size_t at) {
  return AnswerText(std::vector<uint8_t>(b.begin() + static_cast<long>(at), b.end()));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
std::vector<uint8_t> Record(uint32_t kind, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0,
                            uint32_t e = 0) {
  std::vector<uint8_t> r;
  for (uint32_t v : {kind, a, b, c, d, e}) Put32(r, v);
  return r;
}
std::vector<uint8_t> Wide(const std::u16string& s, bool terminate = true) {
  std::vector<uint8_t> r = Req(s);
  if (terminate) r.insert(r.end(), {0, 0});
  return r;
}
std::vector<uint8_t> Ask(FakeDevice& dev, const std::vector<uint8_t>& req) {
  return HandleRequest(req.data(), req.size(), dev);
}
std::u16string AskText(FakeDevice& dev, const std::vector<uint8_t>& req) { return AnswerText(Ask(dev, req)); }

}  // namespace

TEST(InvokeRequest, EmptyUnknownAndWholeCommandMatching) {
  FakeDevice dev;
  std::vector<uint8_t> none;
  auto empty = HandleRequest(none.data(), 0, dev);
  EXPECT_EQ(AnswerText(empty), u"Empty Input buffer passed in.");
  EXPECT_EQ(empty.size(), 2 * 30u);  // text and its terminator
  EXPECT_EQ(AskText(dev, Wide(u"GetWindowsX")), u"Unknown Command String passed in.");
  EXPECT_EQ(AskText(dev, Wide(u"GetWindow")), u"Unknown Command String passed in.");
  EXPECT_EQ(AskText(dev, Wide(u"getwindows")), u"Unknown Command String passed in.");
  // Whole commands match with or without their terminator, and ignore what follows it.
  dev.windows = {{0x10, 0x10000000, u"C", u"T"}};
  EXPECT_EQ(Ask(dev, Wide(u"GetWindows")).size(), 8u + 4 + 4);
  EXPECT_EQ(Ask(dev, Wide(u"GetWindows", false)).size(), 16u);
  auto tailed = Wide(u"GetWindows");
  tailed.insert(tailed.end(), {'x', 0, 0, 0});
  EXPECT_EQ(Ask(dev, tailed).size(), 16u);
  // A ";" command is matched by its beginning; an odd trailing byte is not a unit.
  EXPECT_EQ(ParseRequest(Wide(u"GetSnapshoot;", false).data(), 26).command, Command::kSnapshot);
  auto odd = Wide(u"GetBrowserInfo", false);
  odd.push_back(0);
  EXPECT_EQ(ParseRequest(odd.data(), odd.size()).command, Command::kBrowserInfo);
  EXPECT_EQ(ParseRequest(odd.data(), 27).command, Command::kUnknown);  // "GetBrowserInf" and a half
}

TEST(InvokeRequest, CommandsAreTriedInTableOrder) {
  const std::pair<const char16_t*, Command> cases[] = {
      {u"GetSnapshoot;", Command::kSnapshot},        {u"GetWindows", Command::kWindows},
      {u"GetBrowserInfo", Command::kBrowserInfo},    {u"WindowAction;", Command::kWindowAction},
      {u"MoveFile;", Command::kMoveFile},            {u"EnumContacts;", Command::kEnumContacts},
      {u"UpdateContact;", Command::kUpdateContact},  {u"InputEvent;", Command::kInputEvent},
      {u"DeleteFile;", Command::kDeleteFile},        {u"SetAttrib;", Command::kSetAttrib}};
  for (const auto& [text, command] : cases) {
    auto req = Wide(text);
    Request r = ParseRequest(req.data(), req.size());
    EXPECT_EQ(r.command, command);
    if (std::u16string(text).back() == u';') {
      EXPECT_EQ(r.params, req.data() + 2 * std::u16string(text).size());
      EXPECT_EQ(r.paramsSize, 2u);
    }
  }
}

TEST(DeviceRecord, FieldsAtTheirOffsetsAndCardsFromTheRoot) {
  FakeDevice dev;
  dev.root = {{u"My Documents", 0x10},        {u"Storage Card", 0x110}, {u"notes.txt", 0x120},
              {u"..", 0x110},                  {u"SD Card", 0x110},       {u"Windows", 0x10},
              {std::u16string(63, u'x'), 0x110}, {u"Card3", 0x110},      {u"Card4", 0x110}};
  auto rec = Ask(dev, Wide(u"GetBrowserInfo"));
  ASSERT_EQ(rec.size(), 952u);
  EXPECT_EQ(U32(rec, 0), 276u);
  EXPECT_EQ(U32(rec, 4), 5u);
  EXPECT_EQ(U32(rec, 8), 2u);
  EXPECT_EQ(U32(rec, 12), 21234u);
  EXPECT_EQ(U32(rec, 16), 3u);
  EXPECT_EQ(TextAt(rec, 20), u"Build 21234");
  EXPECT_EQ(U32(rec, 276), 32u);
  EXPECT_EQ(U32(rec, 280), 40u);
  EXPECT_EQ(U32(rec, 284), 64u << 20);
  EXPECT_EQ(U32(rec, 304), 20u << 20);
  EXPECT_EQ(rec[308], 1);
  EXPECT_EQ(rec[309], 8);
  EXPECT_EQ(rec[310], 87);
  EXPECT_EQ(U32(rec, 312), 3600u);
  EXPECT_EQ(U32(rec, 316), 7200u);
  EXPECT_EQ(rec[321], 1);
  EXPECT_EQ(rec[322], 100);
  EXPECT_EQ(U32(rec, 324), 10u);
  EXPECT_EQ(U32(rec, 328), 20u);
  EXPECT_EQ(U32(rec, 332), 240u);
  EXPECT_EQ(U32(rec, 336), 320u);
  EXPECT_EQ(U32(rec, 340), 16u);
  EXPECT_EQ(TextAt(rec, 344), u"\\");
  EXPECT_EQ(U64(rec, 344 + 128), 1000u);
  EXPECT_EQ(U64(rec, 344 + 136), 4000u);
  EXPECT_EQ(U64(rec, 344 + 144), 1500u);
  // Cards: folders with the temporary bit, "." and ".." and files skipped, a name too long for
  // the 128-byte field skipped, at most three.
  EXPECT_EQ(TextAt(rec, 496), u"\\Storage Card");
  EXPECT_EQ(U64(rec, 496 + 128), uint64_t{13} << 32);
  EXPECT_EQ(TextAt(rec, 648), u"\\SD Card");
  EXPECT_EQ(TextAt(rec, 800), u"\\Card3");
  EXPECT_EQ(U64(rec, 800 + 136), 2000u);
  EXPECT_EQ(rec[951], 0);
}

TEST(DeviceRecord, UnusedEntriesStayZero) {
  FakeDevice dev;
  auto rec = Ask(dev, Wide(u"GetBrowserInfo"));
  ASSERT_EQ(rec.size(), 952u);
  for (size_t i = 496; i < 952; ++i) ASSERT_EQ(rec[i], 0) << i;
  for (size_t i = 20 + 2 * 11; i < 276; ++i) ASSERT_EQ(rec[i], 0) << i;
}

TEST(Capture, HeadersForEveryOption) {
  struct Case {
    const char16_t* options;
    uint32_t width, height, bits;
  };
  const Case cases[] = {
      {u"", 240, 320, 16},           {u"ZOOM=50%;", 120, 160, 16},  {u"ZOOM=200%;", 480, 640, 16},
      {u"BPP=8;", 240, 320, 8},      {u"BPP=4;ZOOM=50%;", 120, 160, 4}, {u"BPP=24;", 240, 320, 24},
      {u"ZOOM=200%;BPP=32;", 480, 640, 32}, {u"BPP=32;BPP=8;", 240, 320, 8},
      {u"ZOOM=200%;ZOOM=50%;", 120, 160, 16}, {u"BPP=16;", 240, 320, 16}};
  for (const auto& c : cases) {
    FakeDevice dev;
    auto bmp = Ask(dev, Wide(std::u16string(u"GetSnapshoot;") + c.options));
    SCOPED_TRACE(std::string(c.options, c.options + std::u16string(c.options).size()));
    ExpectCaptureHeaders(bmp, c.width, c.height, c.bits);
    size_t table = c.bits <= 8 ? 4u << c.bits : 0;
    // The device's table and pixels land where the headers say.
    if (table) {
      EXPECT_EQ(bmp[54 + 5], 5);
    }
    EXPECT_EQ(bmp[54 + table + 1], 7);
  }
}

TEST(Capture, RowsArePaddedWhenTheWidthIsOdd) {
  FakeDevice dev;
  dev.width = 241;
  dev.height = 3;
  auto b24 = Ask(dev, Wide(u"GetSnapshoot;BPP=24;"));
  EXPECT_EQ(U32(b24, 34), 724u * 3);  // 723 bytes a row, padded to 724
  auto b4 = Ask(dev, Wide(u"GetSnapshoot;BPP=4;"));
  EXPECT_EQ(U32(b4, 34), 124u * 3);  // 120.5 bytes, padded to 124
  EXPECT_EQ(U32(b4, 10), 54u + 64);
  auto b16 = Ask(dev, Wide(u"GetSnapshoot;ZOOM=50%;"));
  EXPECT_EQ(U32(b16, 18), 120u);
  EXPECT_EQ(U32(b16, 22), 1u);
  EXPECT_EQ(U32(b16, 34), 240u);
}

TEST(Capture, NoScreenOrAFailedCopyAnswersAText) {
  FakeDevice dev;
  dev.width = 1;
  dev.height = 1;
  EXPECT_EQ(AskText(dev, Wide(u"GetSnapshoot;ZOOM=50%;")), u"Can't capture the screen! Size 0 x 0");
  dev.width = 240;
  dev.height = 320;
  dev.captureFail = true;
  EXPECT_EQ(AskText(dev, Wide(u"GetSnapshoot;")), u"Can't capture the screen! ErrCode=0x00000008");
}

TEST(Windows, RecordsBackToBackWithTextsCutAt260) {
  FakeDevice dev;
  dev.windows = {{0x1234, 0x10000000, u"Dialog", u"Calendar"},
                 {0xBEEF, 0, std::u16string(300, u'c'), u""}};
  auto ans = Ask(dev, Wide(u"GetWindows"));
  EXPECT_EQ(U32(ans, 0), 0x1234u);
  EXPECT_EQ(U32(ans, 4), 0x10000000u);
  EXPECT_EQ(TextAt(ans, 8), u"Dialog");
  EXPECT_EQ(TextAt(ans, 8 + 14), u"Calendar");
  size_t second = 8 + 14 + 18;
  EXPECT_EQ(U32(ans, second), 0xBEEFu);
  EXPECT_EQ(TextAt(ans, second + 8), std::u16string(260, u'c'));
  EXPECT_EQ(ans.size(), second + 8 + 522 + 2);
  std::vector<WindowInfo> back;
  ASSERT_TRUE(ParseWindowRecords(ans.data(), ans.size(), back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].className.size(), 260u);
  EXPECT_FALSE(ParseWindowRecords(ans.data(), ans.size() - 1, back));
  dev.windowsFail = true;
  EXPECT_TRUE(Ask(dev, Wide(u"GetWindows")).empty());
}

TEST(WindowActionTest, ErrorTextsAndActions) {
  FakeDevice dev;
  dev.windows = {{0x2a, 0, u"A", u"B"}};
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"", u"Params empty!"},
      {u"Activate", u"First colon not found:\nActivate"},
      {u"Activate;2a", u"HWND 0x not found"},
      {u"Activate;0x", u"Can't parse HWND"},
      {u"Activate;0xZZ", u"Can't parse HWND"},
      {u"Activate;0x000000000", u"Can't parse HWND"},
      {u"Activate;0x123456789", u"Can't parse HWND"},
      {u"Bogus;0x0", u"Can't parse HWND"},
      {u"Bogus;0x2a", u"Unknown action: Bogus"},
      {u"Activate;0x2a", u"OK"},
      {u"Activate;0x2A;", u"OK"},
      {u"Activate;0x2b", u"Can't activate window 0x0000002b! ErrCode=0x00000578"},
      {u"Close;0x99", u"OK"},
      {u"Destroy;0x2a", u"OK"}};
  for (const auto& [params, answer] : cases)
    EXPECT_EQ(AskText(dev, Wide(std::u16string(u"WindowAction;") + params)), answer);
  // "Close" brings the desktop forward and leaves the window alone.
  EXPECT_EQ(dev.log[dev.log.size() - 2], "desktop");
  dev.desktopPresent = false;
  EXPECT_EQ(AskText(dev, Wide(u"WindowAction;Close;0x99")), u"Desktop window not found! ErrCode=0x00000578");
  // The parameters end at the request's end even without a terminator.
  EXPECT_EQ(AskText(dev, Wide(u"WindowAction;Activate;0x2a", false)), u"OK");
}

TEST(Input, EveryRecordKindReachesTheDevice) {
  FakeDevice dev;
  std::vector<uint8_t> list;
  for (auto r : {Record(1, 3, 0x10041), Record(2, 0x110, 0x1D2A, 4, 77), Record(3, 0x8001, 100, 200, 120, 9),
                 Record(0)})
    list.insert(list.end(), r.begin(), r.end());
  EXPECT_EQ(AskText(dev, Req(u"InputEvent;", list)), u"OK");
  ASSERT_EQ(dev.log.size(), 3u);
  EXPECT_EQ(dev.log[0], "char 3 65");
  EXPECT_EQ(dev.log[1], "key 16 42 4 77");  // low bytes of key and scan code
  EXPECT_EQ(dev.log[2], "mouse 32769 100 200 120 9");
}

TEST(Input, TextRecordEndsTheListAndAnswersEmpty) {
  FakeDevice dev;
  std::vector<uint8_t> list = Record(1, 0, 'x');
  Put32(list, 4);
  Put32(list, 3);
  for (char16_t c : std::u16string(u"Hi!")) {
    list.push_back(static_cast<uint8_t>(c));
    list.push_back(0);
  }
  list.resize(list.size() + 24, 0);  // the control module pads its text request
  auto more = Record(3, 1, 1, 1);    // never reached: the text record ended the list
  list.insert(list.end(), more.begin(), more.end());
  auto ans = Ask(dev, Req(u"InputEvent;", list));
  EXPECT_EQ(ans, std::vector<uint8_t>({0, 0}));
  ASSERT_EQ(dev.log.size(), 2u);
  EXPECT_EQ(dev.log[1], "text Hi!");
  dev.postTextFail = true;
  EXPECT_EQ(AskText(dev, Req(u"InputEvent;", list)), u"PostKeybdMessage failed! ErrCode=0x00000006");
}

TEST(Input, ListsThatRunOffTheRequestAreRefusedBeforeAnyEvent) {
  FakeDevice dev;
  auto key = Record(2, 0x41);
  // No end record: the list runs off the buffer.
  EXPECT_EQ(AskText(dev, Req(u"InputEvent;", key)), u"Input list runs past the end of the request!");
  // A record cut short.
  std::vector<uint8_t> cut = key;
  auto half = Record(3);
  cut.insert(cut.end(), half.begin(), half.begin() + 20);
  EXPECT_EQ(AskText(dev, Req(u"InputEvent;", cut)), u"Input list runs past the end of the request!");
  // A text record whose count exceeds the rest of the request, and one exactly fitting.
  std::vector<uint8_t> text = key;
  Put32(text, 4);
  Put32(text, 3);
  text.insert(text.end(), {'a', 0, 'b', 0});
  EXPECT_EQ(AskText(dev, Req(u"InputEvent;", text)), u"Text record runs past the end of the request!");
  text.insert(text.end(), {'c', 0});
  EXPECT_EQ(Ask(dev, Req(u"InputEvent;", text)).size(), 2u);
  std::vector<uint8_t> kindOnly = {4, 0, 0, 0, 1, 0};
  EXPECT_EQ(AskText(dev, Req(u"InputEvent;", kindOnly)), u"Input list runs past the end of the request!");
  // Nothing of the refused lists reached the device.
  ASSERT_EQ(dev.log.size(), 2u);
  EXPECT_EQ(dev.log[1], "text abc");
  // An unknown kind ends the list like the end record; a bare end record is an empty list.
  dev.log.clear();
  EXPECT_EQ(AskText(dev, Req(u"InputEvent;", Record(9, 1, 2))), u"OK");
  EXPECT_EQ(AskText(dev, Req(u"InputEvent;", {0, 0, 0, 0})), u"OK");
  EXPECT_EQ(AskText(dev, Req(u"InputEvent;", {0, 0})), u"Input list runs past the end of the request!");
  EXPECT_TRUE(dev.log.empty());
}

TEST(Files, MoveDeleteAndSetAttrib) {
  FakeDevice dev;
  dev.files = {{u"\\a.txt", 0x20}, {u"\\ro.txt", 0x21}, {u"\\dir", 0x12}};
  std::vector<uint8_t> move = Wide(u"\\a.txt");
  auto dst = Wide(u"\\b.txt");
  move.insert(move.end(), dst.begin(), dst.end());
  EXPECT_EQ(AskText(dev, Req(u"MoveFile;", move)), u"OK");
  EXPECT_EQ(dev.files.count(u"\\b.txt"), 1u);
  EXPECT_EQ(AskText(dev, Req(u"MoveFile;", move)), u"0x00000002");
  // Without the separating zero, or with the destination cut short: refused, nothing moved.
  EXPECT_EQ(AskText(dev, Req(u"MoveFile;", Wide(u"\\b.txt", false))), u"0x00000057");
  auto cut = Wide(u"\\b.txt");
  auto tail = Wide(u"\\c.txt", false);
  cut.insert(cut.end(), tail.begin(), tail.end());
  EXPECT_EQ(AskText(dev, Req(u"MoveFile;", cut)), u"0x00000057");
  EXPECT_EQ(dev.files.count(u"\\b.txt"), 1u);

  auto code = [&](const std::vector<uint8_t>& req) {
    auto a = Ask(dev, req);
    EXPECT_EQ(a.size(), 4u);
    return a.size() == 4 ? U32(a, 0) : 0xDEAD;
  };
  EXPECT_EQ(code(Req(u"DeleteFile;", Wide(u"\\ro.txt"))), 0u);  // read-only reset first
  EXPECT_EQ(dev.files.count(u"\\ro.txt"), 0u);
  EXPECT_EQ(code(Req(u"DeleteFile;", Wide(u"\\dir"))), 0u);     // hidden folder
  EXPECT_EQ(dev.log.back(), "setattr 144");                     // normal, directory bit kept
  EXPECT_EQ(code(Req(u"DeleteFile;", Wide(u"\\none"))), 2u);
  EXPECT_EQ(code(Req(u"DeleteFile;", Wide(u"\\b.txt", false))), 87u);

  std::vector<uint8_t> attrib;
  Put32(attrib, 0x21);
  auto path = Wide(u"\\b.txt");
  attrib.insert(attrib.end(), path.begin(), path.end());
  EXPECT_EQ(code(Req(u"SetAttrib;", attrib)), 0u);
  EXPECT_EQ(dev.files[u"\\b.txt"], 0x21u);
  dev.attributeMask = ~0x100u;  // the file system drops the temporary bit
  attrib[0] = 0x20;
  attrib[1] = 0x01;
  EXPECT_EQ(code(Req(u"SetAttrib;", attrib)), 5u);
  std::vector<uint8_t> missing;
  Put32(missing, 0x20);
  auto nopath = Wide(u"\\none");
  missing.insert(missing.end(), nopath.begin(), nopath.end());
  EXPECT_EQ(code(Req(u"SetAttrib;", missing)), 2u);
  EXPECT_EQ(code(Req(u"SetAttrib;", {0x20, 0, 0})), 87u);
  EXPECT_EQ(code(Req(u"SetAttrib;", {0x20, 0, 0, 0, '\\', 0})), 87u);
}
