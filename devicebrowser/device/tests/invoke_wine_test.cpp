// HandrelInvoke on the emulated handheld: every command through rapi.dll's CeRapiInvoke, byte for
// byte, on a 240 x 320 x 16 screen. What the test drew is what the capture holds; windows the
// test made are what the window list shows; input lands in the device's input log; files change
// on the device's disk.
#include <string>
#include <vector>

#include "devicebrowser/device/invoke/core/records.h"
#include "devicebrowser/device/invoke/tests/capture_checks.h"
#include "devicebrowser/device/tests/device_session.h"

using namespace devicetest;

namespace {

std::vector<uint8_t> Record(uint32_t kind, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0,
                            uint32_t e = 0) {
  std::vector<uint8_t> r;
  for (uint32_t v : {kind, a, b, c, d, e}) Put32(r, v);
  return r;
}
std::vector<uint8_t> Cmd(const std::u16string& text, const std::vector<uint8_t>& tail) {
  std::vector<uint8_t> r = Wide(text, false);
  Append(r, tail);
  return r;
}
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}
std::string Hex(uint32_t v) {
  char b[16];
  wsprintfA(b, "0x%x", v);
  return b;
}
std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
std::u16string Hex8(uint32_t v) {
  char b[16];
  wsprintfA(b, "0x%08x", v);
  return U16(b);
}

// ---- a screen the test paints: four quadrants, red, green / blue, white.
constexpr COLORREF kQuadrants[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};

LRESULT CALLBACK PaintProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_ERASEBKGND) return 1;
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT rc;
    GetClientRect(h, &rc);
    for (int q = 0; q < 4; ++q) {
      RECT r{q % 2 ? rc.right / 2 : 0, q / 2 ? rc.bottom / 2 : 0, q % 2 ? rc.right : rc.right / 2,
             q / 2 ? rc.bottom : rc.bottom / 2};
      HBRUSH b = CreateSolidBrush(kQuadrants[q]);
      FillRect(dc, &r, b);
      DeleteObject(b);
    }
    EndPaint(h, &ps);
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

void Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

HWND MakeWindow(const wchar_t* cls, const wchar_t* title, DWORD style, int x, int y, int w, int h,
                WNDPROC proc = DefWindowProcW) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = cls;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, cls, title, style, x, y, w, h, nullptr, nullptr, wc.hInstance, nullptr);
  Pump();
  return hwnd;
}

// Colour of the picture's pixel (x, y from the top) as 0xRRGGBB, whatever the depth.
uint32_t PixelAt(const std::vector<uint8_t>& b, uint32_t x, uint32_t y) {
  uint32_t off = U32(b, 10), w = U32(b, 18), h = U32(b, 22), bits = b[28];
  size_t row = ((w * bits + 31) / 32) * 4;
  size_t p = off + (h - 1 - y) * row;
  auto table = [&](uint32_t i) { return (uint32_t{b.at(54 + 4 * i + 2)} << 16) | (b.at(54 + 4 * i + 1) << 8) | b.at(54 + 4 * i); };
  switch (bits) {
    case 16: {
      uint32_t v = b.at(p + 2 * x) | (b.at(p + 2 * x + 1) << 8);  // 5-5-5
      return (((v >> 10) & 31) * 255 / 31) << 16 | (((v >> 5) & 31) * 255 / 31) << 8 | ((v & 31) * 255 / 31);
    }
    case 24: return (uint32_t{b.at(p + 3 * x + 2)} << 16) | (b.at(p + 3 * x + 1) << 8) | b.at(p + 3 * x);
    case 32: return (uint32_t{b.at(p + 4 * x + 2)} << 16) | (b.at(p + 4 * x + 1) << 8) | b.at(p + 4 * x);
    case 8: return table(b.at(p + x));
    case 4: return table(x % 2 ? b.at(p + x / 2) & 15 : b.at(p + x / 2) >> 4);
  }
  return 0xDEADBEEF;
}
uint32_t Rgb(COLORREF c) { return (uint32_t{GetRValue(c)} << 16) | (GetGValue(c) << 8) | GetBValue(c); }

class Handheld : public DeviceSession {};

}  // namespace

TEST_F(Handheld, DeviceRecordDescribesTheEmulatedDevice) {
  WriteState(u"power", "ac=0\nbattery-flag=2\nbattery-percent=37\nbattery-life=5400\nbackup-percent=80\n");
  for (const wchar_t* dir : {L"\\My Documents", L"\\Program Files", L"\\SD Card", L"\\Storage Card"})
    ASSERT_TRUE(CreateDirectoryW(Host(dir).c_str(), nullptr));
  ASSERT_TRUE(rapiemu::WriteWholeFile(Host(L"\\readme.txt"), "x"));
  WriteState(u"attributes", "0x00000110 \\Storage Card\n0x00000110 \\SD Card\n");
  Open();
  InvokeResult r = Invoke(Wide(u"GetBrowserInfo"));
  ASSERT_EQ(r.hr, S_OK);
  ASSERT_EQ(r.answer.size(), 952u);
  const auto& rec = r.answer;
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  GetVersionExW(&v);
  EXPECT_EQ(U32(rec, 0), 276u);
  EXPECT_EQ(U32(rec, 4), v.dwMajorVersion);
  EXPECT_EQ(U32(rec, 12), v.dwBuildNumber);
  EXPECT_EQ(U32(rec, 276), 32u);
  EXPECT_GT(U32(rec, 284), 0u);  // total physical memory
  EXPECT_EQ(rec[308], 0);        // on battery
  EXPECT_EQ(rec[309], 2);
  EXPECT_EQ(rec[310], 37);
  EXPECT_EQ(U32(rec, 312), 5400u);
  EXPECT_EQ(U32(rec, 316), 0xFFFFFFFFu);
  EXPECT_EQ(rec[322], 80);
  EXPECT_EQ(U32(rec, 332), 240u);
  EXPECT_EQ(U32(rec, 336), 320u);
  EXPECT_EQ(U32(rec, 340), 16u);
  EXPECT_EQ(Text(rec, 344), u"\\");
  EXPECT_GT(U64(rec, 344 + 136), 0u);
  EXPECT_GE(U64(rec, 344 + 136), U64(rec, 344 + 144));
  EXPECT_EQ(Text(rec, 496), u"\\SD Card");
  EXPECT_EQ(U64(rec, 496 + 136), U64(rec, 344 + 136));  // the same disk holds the card folders
  EXPECT_EQ(Text(rec, 648), u"\\Storage Card");
  for (size_t i = 800; i < 952; ++i) ASSERT_EQ(rec[i], 0) << i;
}

TEST_F(Handheld, CapturesHoldWhatWasDrawnAtEveryDepthAndZoom) {
  Open();
  HWND paint = MakeWindow(L"DeviceTestPaint", L"Paint", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, PaintProc);
  ASSERT_TRUE(paint);
  SetWindowPos(paint, HWND_TOPMOST, 0, 0, 240, 320, SWP_SHOWWINDOW);
  RedrawWindow(paint, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  // The X server shows the window a moment after it was painted.
  std::vector<uint8_t> plain;
  for (int i = 0; i < 50; ++i) {
    Pump();
    plain = Invoke(Wide(u"GetSnapshoot;")).answer;
    if (plain.size() > 54 && PixelAt(plain, 60, 80) == 0xFF0000 && PixelAt(plain, 180, 240) == 0xFFFFFF) break;
    Sleep(100);
  }
  struct Case {
    const char16_t* options;
    uint32_t width, height, bits;
  };
  const Case cases[] = {{u"", 240, 320, 16},          {u"ZOOM=50%;", 120, 160, 16}, {u"ZOOM=200%;", 480, 640, 16},
                        {u"BPP=24;", 240, 320, 24},   {u"BPP=32;ZOOM=50%;", 120, 160, 32},
                        {u"BPP=8;", 240, 320, 8},     {u"ZOOM=200%;BPP=4;", 480, 640, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.options, c.options + std::char_traits<char16_t>::length(c.options)));
    InvokeResult r = Invoke(Wide(std::u16string(u"GetSnapshoot;") + c.options));
    ASSERT_EQ(r.hr, S_OK);
    const auto& b = r.answer;
    handrel::invoke::testing::ExpectCaptureHeaders(b, c.width, c.height, c.bits);
    if (::testing::Test::HasFatalFailure()) return;
    // The centre of each quadrant, and a pixel on either side of the middle line.
    for (int q = 0; q < 4; ++q) {
      uint32_t x = c.width / 4 + (q % 2) * c.width / 2, y = c.height / 4 + (q / 2) * c.height / 2;
      EXPECT_EQ(PixelAt(b, x, y), Rgb(kQuadrants[q])) << "quadrant " << q;
    }
    EXPECT_EQ(PixelAt(b, c.width / 2 - 1, 2), 0xFF0000u);
    EXPECT_EQ(PixelAt(b, c.width / 2, 2), 0x00FF00u);
  }
  DestroyWindow(paint);
  Pump();
}

TEST_F(Handheld, WindowListShowsTheTestsWindowsAndActionsWorkOnThem) {
  Open();
  HWND notes = MakeWindow(L"DeviceTestNotes", L"Заметки", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 100, 100);
  HWND hidden = MakeWindow(L"DeviceTestHidden", L"", WS_POPUP, 0, 0, 10, 10);
  ASSERT_TRUE(notes && hidden);
  InvokeResult r = Invoke(Wide(u"GetWindows"));
  ASSERT_EQ(r.hr, S_OK);
  std::vector<handrel::invoke::WindowInfo> windows;
  ASSERT_TRUE(handrel::invoke::ParseWindowRecords(r.answer.data(), r.answer.size(), windows));
  bool sawNotes = false, sawHidden = false;
  for (const auto& w : windows) {
    if (w.handle == reinterpret_cast<uintptr_t>(notes)) {
      sawNotes = true;
      EXPECT_EQ(w.className, u"DeviceTestNotes");
      EXPECT_EQ(w.title, u"Заметки");
      EXPECT_TRUE(w.style & WS_VISIBLE);
    }
    if (w.handle == reinterpret_cast<uintptr_t>(hidden)) {
      sawHidden = true;
      EXPECT_EQ(w.title, u"");
      EXPECT_FALSE(w.style & WS_VISIBLE);
    }
  }
  EXPECT_TRUE(sawNotes);
  EXPECT_TRUE(sawHidden);
  // Z-order: the list follows GetWindow's walk from the desktop's first child.
  EXPECT_EQ(windows.at(0).handle, reinterpret_cast<uintptr_t>(GetWindow(GetDesktopWindow(), GW_CHILD)));

  std::u16string notesHex = U16(Hex(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(notes))));
  std::u16string hiddenHex = U16(Hex(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hidden))));
  EXPECT_EQ(InvokeText(Wide(u"WindowAction;Activate;" + notesHex + u";")), u"OK");
  EXPECT_EQ(GetForegroundWindow(), notes);
  // "Close" brings the device's desktop forward and leaves the window alone.
  HWND desktop = MakeWindow(L"DesktopExplorerWindow", L"Desktop", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320);
  EXPECT_EQ(InvokeText(Wide(u"WindowAction;Close;" + notesHex)), u"OK");
  EXPECT_EQ(GetForegroundWindow(), desktop);
  EXPECT_TRUE(IsWindow(notes));
  EXPECT_EQ(InvokeText(Wide(u"WindowAction;Destroy;" + hiddenHex)), u"OK");
  EXPECT_FALSE(IsWindow(hidden));
  EXPECT_EQ(InvokeText(Wide(u"WindowAction;Activate;" + hiddenHex)),
            u"Can't activate window " + Hex8(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hidden))) +
                u"! ErrCode=0x00000578");
  DestroyWindow(desktop);
  EXPECT_EQ(InvokeText(Wide(u"WindowAction;Close;" + notesHex)), u"Desktop window not found! ErrCode=0x00000578");
  DestroyWindow(notes);
  Pump();

  const std::pair<const char16_t*, const char16_t*> errors[] = {
      {u"WindowAction;", u"Params empty!"},
      {u"WindowAction;Activate", u"First colon not found:\nActivate"},
      {u"WindowAction;Activate;1234", u"HWND 0x not found"},
      {u"WindowAction;Activate;0xQ", u"Can't parse HWND"},
      {u"WindowAction;Minimize;0x10", u"Unknown action: Minimize"}};
  for (const auto& [request, answer] : errors) EXPECT_EQ(InvokeText(Wide(request)), answer);
}

TEST_F(Handheld, InputRecordsOfEveryKindLandInTheInputLog) {
  Open();
  auto logLines = [&] { return Lines(ReadState(u"input.log")); };
  EXPECT_EQ(InvokeText(Cmd(u"InputEvent;", [] {
              auto r = Record(1, 0, 0x10436);  // only the low 16 bits are the character
              auto end = Record(0);
              Append(r, end);
              return r;
            }())),
            u"OK");
  ASSERT_EQ(logLines().size(), 1u);
  EXPECT_EQ(logLines()[0], "char flags=0x00000000 char=0x00000436 \"\xD0\xB6\"");

  std::vector<uint8_t> keys = Record(2, 0x1110, 0x12A, 4, 7);
  for (auto r : {Record(2, 0x10, 0x2A, 6, 0), Record(3, 0x8001, 120, 160, 0xFF88, 5), Record(0)})
    Append(keys, r);
  EXPECT_EQ(InvokeText(Cmd(u"InputEvent;", keys)), u"OK");
  auto lines = logLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "key vk=0x00000010 scan=0x0000002a flags=0x00000004 extra=0x00000007");
  EXPECT_EQ(lines[2], "key vk=0x00000010 scan=0x0000002a flags=0x00000006 extra=0x00000000");
  EXPECT_EQ(lines[3], "mouse flags=0x00008001 x=120 y=160 wheel=0x0000ff88 extra=0x00000005");

  // A text record as the control module sends it: count, characters, zero, padded to 2n + 48.
  std::u16string typed = u"Привет, 42";
  std::vector<uint8_t> text;
  Put32(text, 4);
  Put32(text, static_cast<uint32_t>(typed.size()));
  auto chars = Wide(typed);
  Append(text, chars);
  std::vector<uint8_t> request = Cmd(u"InputEvent;", text);
  request.resize(2 * typed.size() + 48, 0);
  InvokeResult r = Invoke(request);
  EXPECT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.answer, std::vector<uint8_t>({0, 0}));  // posted: the answer is empty text
  lines = logLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4], "text flags=0x00000000 count=10 \"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, 42\"");

  // Lists that run off the request are refused and nothing is logged.
  EXPECT_EQ(InvokeText(Cmd(u"InputEvent;", Record(2, 0x41))), u"Input list runs past the end of the request!");
  std::vector<uint8_t> overlong;
  Put32(overlong, 4);
  Put32(overlong, 1000);
  EXPECT_EQ(InvokeText(Cmd(u"InputEvent;", overlong)), u"Text record runs past the end of the request!");
  EXPECT_EQ(logLines().size(), 5u);

  // The device cannot take the text: the log is not writable.
  DeleteFileW(rapiemu::StatePath(root_, u"input.log").c_str());
  ASSERT_TRUE(CreateDirectoryW(rapiemu::StatePath(root_, u"input.log").c_str(), nullptr));
  std::u16string failed = Text(Invoke(request).answer);
  EXPECT_EQ(failed.substr(0, 34), u"PostKeybdMessage failed! ErrCode=0");
  EXPECT_NE(failed, u"PostKeybdMessage failed! ErrCode=0x00000000");
}

TEST_F(Handheld, FileCommandsChangeTheDevicesDisk) {
  Open();
  ASSERT_TRUE(rapiemu::WriteWholeFile(Host(L"\\notes.txt"), "n"));
  ASSERT_TRUE(CreateDirectoryW(Host(L"\\Old").c_str(), nullptr));
  auto two = [](const std::u16string& a, const std::u16string& b) {
    auto r = Wide(a);
    auto t = Wide(b);
    Append(r, t);
    return r;
  };
  EXPECT_EQ(InvokeText(Cmd(u"MoveFile;", two(u"\\notes.txt", u"\\Old\\notes 2.txt"))), u"OK");
  EXPECT_EQ(GetFileAttributesW(Host(L"\\notes.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(Host(L"\\Old\\notes 2.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(InvokeText(Cmd(u"MoveFile;", two(u"\\notes.txt", u"\\x.txt"))), u"0x00000002");
  EXPECT_EQ(InvokeText(Cmd(u"MoveFile;", two(u"\\Old\\notes 2.txt", u"\\..\\escaped.txt"))), u"0x0000007b");
  EXPECT_EQ(InvokeText(Cmd(u"MoveFile;", Wide(u"\\Old\\notes 2.txt", false))), u"0x00000057");

  auto code = [&](const std::vector<uint8_t>& req) {
    InvokeResult r = Invoke(req);
    EXPECT_EQ(r.answer.size(), 4u);
    return r.answer.size() == 4 ? U32(r.answer, 0) : 0xDEADu;
  };
  auto attrib = [](uint32_t a, const std::u16string& path) {
    std::vector<uint8_t> p;
    Put32(p, a);
    auto w = Wide(path);
    Append(p, w);
    return Cmd(u"SetAttrib;", p);
  };
  EXPECT_EQ(code(attrib(0x21, u"\\Old\\notes 2.txt")), 0u);
  EXPECT_EQ(CeGetFileAttributes(L"\\Old\\notes 2.txt"), 0x21u);
  EXPECT_EQ(code(attrib(0x120, u"\\Old\\notes 2.txt")), 5u);  // the file system keeps its own bits
  EXPECT_EQ(code(attrib(0x20, u"\\missing.txt")), 2u);
  EXPECT_EQ(code(Cmd(u"DeleteFile;", Wide(u"\\Old\\notes 2.txt"))), 0u);  // read-only: reset first
  EXPECT_EQ(GetFileAttributesW(Host(L"\\Old\\notes 2.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(code(attrib(0x03, u"\\Old")), 5u);  // a folder keeps its directory bit: not what was asked
  EXPECT_EQ(code(attrib(0x13, u"\\Old")), 0u);
  EXPECT_EQ(code(Cmd(u"DeleteFile;", Wide(u"\\Old"))), 0u);  // a hidden read-only folder
  EXPECT_EQ(GetFileAttributesW(Host(L"\\Old").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(code(Cmd(u"DeleteFile;", Wide(u"\\Old"))), 2u);
  EXPECT_EQ(code(Cmd(u"DeleteFile;", Wide(u"\\Old", false))), 87u);
}

TEST_F(Handheld, EntryPointAnswersAndFailures) {
  Open();
  InvokeResult empty = Invoke({});
  EXPECT_EQ(empty.hr, S_OK);
  EXPECT_EQ(Text(empty.answer), u"Empty Input buffer passed in.");
  EXPECT_EQ(empty.answer.size(), 60u);
  EXPECT_EQ(InvokeText(Wide(u"GetWindowsNow")), u"Unknown Command String passed in.");
  EXPECT_EQ(InvokeText(Wide(u"Hello")), u"Unknown Command String passed in.");
  // The device cannot allocate the answer.
  WriteState(u"script", "fail LocalAlloc always error 8\n");
  InvokeResult oom = Invoke(Wide(u"GetBrowserInfo"));
  EXPECT_EQ(static_cast<uint32_t>(oom.hr), 0x8007000Eu);
  EXPECT_FALSE(oom.answered);
}

TEST_F(Handheld, ContactsAreKeptInTheDevicesStore) {
  Open();
  std::vector<uint8_t> p = Wide(u"CN", false);
  Put32(p, 0);
  Put32(p, 2);
  auto v = Wide(u"Ada");
  Append(p, v);
  Put32(p, 46);
  v = Wide(u"10.12.1815");
  Append(p, v);
  Put32(p, 0);
  EXPECT_EQ(InvokeText(Cmd(u"UpdateContact;", p)), u"OK;0x00010001");
  EXPECT_EQ(InvokeText(Wide(u"EnumContacts;TF")), u"Empty");
  InvokeResult all = Invoke(Wide(u"EnumContacts;CF"));
  ASSERT_GE(all.answer.size(), 12u);
  EXPECT_EQ(U32(all.answer, 0), all.answer.size() - 4);
  EXPECT_EQ(U32(all.answer, 4), 2u);
  EXPECT_EQ(U32(all.answer, 8), 0x10001u);
  EXPECT_EQ(U32(all.answer, 12), 2u);
  EXPECT_EQ(Text(all.answer, 16), u"Ada");
  EXPECT_EQ(ReadState(u"pim").size(), all.answer.size());  // the store keeps the same records
  WriteState(u"pim", "damaged");
  EXPECT_EQ(InvokeText(Wide(u"EnumContacts;CF")), u"Error;GetItems failed, code=0x8007000d");
}
