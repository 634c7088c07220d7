// desktop.module loaded by the device browser plugin in the host stand-in, against the emulated
// handheld on a 240 x 320 x 16 screen: the nine pictures listed, copies that hold what a test
// window drew on the screen (exactly for BMP and PNG, within a tolerance for JPEG), two copies
// taking two screenshots, a move that leaves the picture listed, a dropped connection retried, and
// device answers that are not a whole bitmap failing with the transfer engine's message. The
// DeepScreen tests run the same program on 32-bit and 8-bit screens.
#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "devicebrowser/common/framework/tests/module_wine_support.h"
#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"
#include "standins/rapi/win/device_folder.h"

using namespace kelhost;

namespace {

std::wstring g_plugin, g_module, g_badInvoke;

// ---- A window covering the device's screen with eight coloured bands (reversed in the lower
// half); saturated colours survive the 16-bit screen and the 5-5-5 capture unchanged.
constexpr COLORREF kBands[8] = {RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(0, 0, 255), RGB(255, 255, 255),
                                RGB(255, 255, 0), RGB(0, 255, 255), RGB(255, 0, 255), RGB(0, 0, 0)};
bool g_reversed = false;  // the second pattern: the halves swapped

COLORREF BandColour(int x, int y, int width, int height) {
  int band = x * 8 / width;
  bool lower = y >= height / 2;
  if (lower != g_reversed) band = 7 - band;
  return kBands[band];
}

LRESULT CALLBACK PatternProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_ERASEBKGND) return 1;
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT rc;
    GetClientRect(h, &rc);
    for (int half = 0; half < 2; ++half) {
      for (int band = 0; band < 8; ++band) {
        RECT r{band * rc.right / 8, half * rc.bottom / 2, (band + 1) * rc.right / 8, (half + 1) * rc.bottom / 2};
        HBRUSH b = CreateSolidBrush(BandColour(r.left, r.top, rc.right, rc.bottom));
        FillRect(dc, &r, b);
        DeleteObject(b);
      }
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

uint32_t Rgb(COLORREF c) { return (uint32_t{GetRValue(c)} << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// A picture file decoded by GDI+ as the user's viewer would.
class Decoded {
 public:
  explicit Decoded(const std::wstring& path) {
    if (Gdiplus::DllExports::GdipCreateBitmapFromFile(path.c_str(), &bitmap_) != Gdiplus::Ok) bitmap_ = nullptr;
    if (bitmap_) {
      Gdiplus::DllExports::GdipGetImageWidth(bitmap_, &width_);
      Gdiplus::DllExports::GdipGetImageHeight(bitmap_, &height_);
    }
  }
  ~Decoded() {
    if (bitmap_) Gdiplus::DllExports::GdipDisposeImage(bitmap_);
  }
  bool ok() const { return bitmap_ != nullptr; }
  UINT width() const { return width_; }
  UINT height() const { return height_; }
  uint32_t At(UINT x, UINT y) const {
    Gdiplus::ARGB argb = 0;
    Gdiplus::DllExports::GdipBitmapGetPixel(bitmap_, static_cast<INT>(x), static_cast<INT>(y), &argb);
    return argb & 0xFFFFFF;
  }

 private:
  Gdiplus::GpBitmap* bitmap_ = nullptr;
  UINT width_ = 0, height_ = 0;
};

int Channel(uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }
bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16})
    if (std::abs(Channel(a, shift) - Channel(b, shift)) > tolerance) return false;
  return true;
}

// Every pixel of the picture against the pattern at its size; the tolerance applies to the band
// centres only (JPEG blurs the edges), exact pictures are checked everywhere.
void ExpectPattern(const std::wstring& path, UINT width, UINT height, int tolerance) {
  Decoded picture(path);
  ASSERT_TRUE(picture.ok()) << "not a picture GDI+ can read";
  ASSERT_EQ(picture.width(), width);
  ASSERT_EQ(picture.height(), height);
  int mismatches = 0;
  UINT bandWidth = width / 8;
  for (UINT y = 0; y < height; ++y) {
    UINT rowInHalf = y % (height / 2);
    for (UINT x = 0; x < width; ++x) {
      uint32_t expected = Rgb(BandColour(static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                                         static_cast<int>(height)));
      if (tolerance == 0) {
        if (picture.At(x, y) != expected && ++mismatches <= 5)
          ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << picture.At(x, y) << " not " << expected;
      } else {
        UINT inBand = x % bandWidth;
        bool centre = inBand >= bandWidth / 4 && inBand < bandWidth * 3 / 4 && rowInHalf >= height / 8 &&
                      rowInHalf < height * 3 / 8;
        if (centre && !Near(picture.At(x, y), expected, tolerance) && ++mismatches <= 5)
          ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << picture.At(x, y) << " far from "
                        << expected;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::string ReadBytes(const std::wstring& path) {
  std::string content;
  rapiemu::ReadWholeFile(path, content);
  return content;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class DesktopPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Utf8(what); };
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&gdiplus, &input, nullptr), Gdiplus::Ok);
    device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket Screen\"\n");
    device.WriteState(u"script", "record\n");
    device.MakeFolder(L"\\Windows");
    ASSERT_TRUE(handrel_test::CreateSettingsKey(host.RootKey()));
    out = handrel_test::FreshTempFolder(L"desktop-out-");
    host.PassivePanel().SetFolder(out);
    p = host.Load(folder.path + L"\\Handrel.dll");
    ASSERT_NE(p, nullptr);
  }
  void TearDown() override {
    if (window) DestroyWindow(window);
    Pump();
    host.Unload(p);
    rapiemu::EmulatedDevice::RemoveTree(out);
    Gdiplus::GdiplusShutdown(gdiplus);
  }

  Panel& panel() { return host.ActivePanel(); }
  void Enter() {
    ASSERT_TRUE(host.OpenPanel(p, 1, 0));
    ASSERT_TRUE(host.PanelSetDirectory(L"Desktop:"));
    host.RefreshPluginPanel(panel());
  }
  std::vector<std::wstring> Names() {
    std::vector<std::wstring> names;
    for (auto& it : panel().Items())
      if (it.name != L"..") names.push_back(it.name);
    return names;
  }
  int IndexOf(const std::wstring& name) {
    for (size_t i = 0; i < panel().Items().size(); ++i)
      if (panel().Items()[i].name == name) return static_cast<int>(i);
    return -1;
  }
  // F5 (or F6) on one picture, accepting the dialog's destination.
  int Copy(const std::wstring& name, bool move = false) {
    int index = IndexOf(name);
    EXPECT_GE(index, 0) << Utf8(name);
    panel().current = index;
    host.AnswerDialog(DialogScript().Close(4));
    return host.PanelGetFiles(move);
  }
  // Shows the pattern on the whole screen and waits until the screen shows it.
  void ShowPattern(bool reversed) {
    g_reversed = reversed;
    if (!window) {
      WNDCLASSW wc{};
      wc.lpfnWndProc = PatternProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"DesktopTestPattern";
      RegisterClassW(&wc);
      window = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"Pattern", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320,
                               nullptr, nullptr, wc.hInstance, nullptr);
      ASSERT_TRUE(window);
    }
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 240, 320, SWP_SHOWWINDOW);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC screen = GetDC(nullptr);
    for (int i = 0; i < 50; ++i) {
      Pump();
      GdiFlush();
      if (GetPixel(screen, 15, 40) == BandColour(15, 40, 240, 320) &&
          GetPixel(screen, 15, 280) == BandColour(15, 280, 240, 320))
        break;
      Sleep(100);
    }
    ReleaseDC(nullptr, screen);
  }

  rapiemu::EmulatedDevice device{L"handrel-desktop-device"};
  Host host;
  Plugin* p = nullptr;
  handrel_test::PluginFolder folder{g_plugin, L"handrel-desktop-", g_module, L"desktop.module"};
  std::wstring out;
  HWND window = nullptr;
  ULONG_PTR gdiplus = 0;
};

}  // namespace

TEST_F(DesktopPanel, TheHandheldScreenListsNinePicturesInOrderWithTheirPixelSizes) {
  Enter();
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"240x320x16.bmp", L"120x160x16.bmp", L"480x640x16.bmp",
                                                L"240x320x16.jpg", L"120x160x16.jpg", L"480x640x16.jpg",
                                                L"240x320x16.png", L"120x160x16.png", L"480x640x16.png"}));
  const uint64_t sizes[] = {153600, 38400, 614400};
  for (size_t i = 0; i < 9; ++i) {
    const PanelItem& item = panel().Items()[static_cast<size_t>(IndexOf(Names()[i]))];
    EXPECT_EQ(item.size, sizes[i % 3]) << Utf8(item.name);
    EXPECT_EQ(item.attributes, 0u);
    // The item's user data carries its picture.
    ASSERT_TRUE(item.hasUserBlock);
    uint32_t reserved = 0;
    memcpy(&reserved, item.userBlock.data() + 12, 4);
    EXPECT_NE(reserved, 0u);
  }
  EXPECT_TRUE(host.messages.empty());
  // Nothing is written to the screen.
  EXPECT_EQ(host.PanelDeleteFiles(), 0);
  EXPECT_EQ(Names().size(), 9u);
  host.ClosePanel();
}

TEST_F(DesktopPanel, CopiedPicturesHoldWhatTheScreenShowsAndEachCopyTakesANewScreenshot) {
  Enter();
  ShowPattern(false);
  ASSERT_FALSE(HasFatalFailure());

  // The dialog offers the other panel's folder, with its backslash, and copies there.
  ASSERT_EQ(Copy(L"240x320x16.png"), 1);
  ASSERT_FALSE(host.dialogs.empty());
  const DialogCall& dialog = host.dialogs.back();
  ASSERT_GE(dialog.itemsAtOpen.size(), 6u);
  EXPECT_EQ(dialog.itemsAtOpen[0].text, L"Copy");
  EXPECT_EQ(dialog.itemsAtOpen[1].text, L"Copy \"240x320x16.png\" t&o:");
  EXPECT_EQ(dialog.itemsAtOpen[2].text, out + L"\\");
  EXPECT_EQ(dialog.itemsAtOpen[2].history, L"Copy");
  EXPECT_EQ(dialog.itemsAtOpen[4].text, L"&Copy");
  EXPECT_EQ(dialog.itemsAtOpen[5].text, L"Ca&ncel");
  ExpectPattern(out + L"\\240x320x16.png", 240, 320, 0);
  std::string png = ReadBytes(out + L"\\240x320x16.png");
  EXPECT_EQ(png.substr(1, 3), "PNG");

  ASSERT_EQ(Copy(L"240x320x16.bmp"), 1);
  EXPECT_EQ(FileSize(out + L"\\240x320x16.bmp"), 54u + 240u * 320u * 2u);
  ExpectPattern(out + L"\\240x320x16.bmp", 240, 320, 0);
  ASSERT_EQ(Copy(L"480x640x16.png"), 1);
  ExpectPattern(out + L"\\480x640x16.png", 480, 640, 0);
  ASSERT_EQ(Copy(L"120x160x16.jpg"), 1);
  std::string jpg = ReadBytes(out + L"\\120x160x16.jpg");
  ASSERT_GE(jpg.size(), 4u);
  EXPECT_EQ(jpg.substr(0, 3), "\xFF\xD8\xFF");
  ExpectPattern(out + L"\\120x160x16.jpg", 120, 160, 40);
  ASSERT_EQ(Copy(L"240x320x16.jpg"), 1);
  ExpectPattern(out + L"\\240x320x16.jpg", 240, 320, 40);
  EXPECT_TRUE(host.messages.empty());
  // A silent fetch (the host's viewer) asks nothing and copies all the same.
  size_t dialogs = host.dialogs.size();
  panel().current = IndexOf(L"120x160x16.png");
  ASSERT_EQ(host.PanelGetFiles(false, 1), 1);
  EXPECT_EQ(host.dialogs.size(), dialogs);
  ExpectPattern(out + L"\\120x160x16.png", 120, 160, 0);

  // The screen changes; the same picture copied again is the new screen (the old file is
  // overwritten when the user says so).
  std::string calls = device.ReadState(u"calls.log");
  ShowPattern(true);
  host.AnswerMessage(0);
  ASSERT_EQ(Copy(L"240x320x16.png"), 1);
  ASSERT_EQ(host.messages.size(), 1u);  // the overwrite question
  ExpectPattern(out + L"\\240x320x16.png", 240, 320, 0);
  std::string later = device.ReadState(u"calls.log").substr(calls.size());
  EXPECT_EQ(Count(later, "CeRapiInvoke"), 1u);
  host.ClosePanel();
}

TEST_F(DesktopPanel, AMovedPictureStaysListedAndADroppedConnectionIsRetriedOnce) {
  Enter();
  ShowPattern(false);
  ASSERT_EQ(Copy(L"120x160x16.bmp", true), 1);
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[0].text, L"Move");
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[4].text, L"&Move");
  ExpectPattern(out + L"\\120x160x16.bmp", 120, 160, 0);
  EXPECT_EQ(Names().size(), 9u);
  EXPECT_GE(IndexOf(L"120x160x16.bmp"), 0);

  // Cancelled in the dialog: no screenshot, no file.
  std::string before = device.ReadState(u"calls.log");
  panel().current = IndexOf(L"240x320x16.bmp");
  host.AnswerDialog(DialogScript().Close(5));
  EXPECT_EQ(host.PanelGetFiles(false), -1);
  EXPECT_EQ(Count(device.ReadState(u"calls.log").substr(before.size()), "CeRapiInvoke"), 0u);
  EXPECT_EQ(GetFileAttributesW((out + L"\\240x320x16.bmp").c_str()), INVALID_FILE_ATTRIBUTES);

  // The connection drops at the screenshot: the module reconnects and asks once more.
  device.WriteState(u"script", "record\nfail CeRapiInvoke 1 lost\n");
  ASSERT_EQ(Copy(L"240x320x16.png"), 1);
  ExpectPattern(out + L"\\240x320x16.png", 240, 320, 0);
  std::string calls = device.ReadState(u"calls.log");
  EXPECT_NE(calls.find("lost (scripted)"), std::string::npos);

  // Every screenshot request fails: one retry, then the engine's message and no file.
  device.WriteState(u"script", "record\nfail CeRapiInvoke always error 31\n");
  host.AnswerMessage(0);
  EXPECT_EQ(Copy(L"480x640x16.jpg"), 0);
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().lines, (std::vector<std::wstring>{L"Copy", L"Can't read source file", L"480x640x16.jpg"}));
  EXPECT_EQ(GetFileAttributesW((out + L"\\480x640x16.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
  host.ClosePanel();
}

TEST_F(DesktopPanel, AnAnswerThatIsNotAWholeBitmapFailsTheCopyWithTheEnginesMessage) {
  Enter();
  // A device-side library that answers a text for a 50 % picture and a bitmap cut short otherwise.
  device.ReleaseLibraries(L"\\Windows\\HandrelInvoke.dll");  // held by the emulator once invoked
  ASSERT_TRUE(CopyFileW(g_badInvoke.c_str(), device.Host(L"\\Windows\\HandrelInvoke.dll").c_str(), FALSE));
  for (const wchar_t* name : {L"240x320x16.png", L"120x160x16.jpg", L"240x320x16.bmp"}) {
    SCOPED_TRACE(Utf8(name));
    size_t before = host.messages.size();
    host.AnswerMessage(0);
    EXPECT_EQ(Copy(name), 0);
    ASSERT_EQ(host.messages.size(), before + 1);
    EXPECT_EQ(host.messages.back().lines, (std::vector<std::wstring>{L"Copy", L"Can't read source file", name}));
    EXPECT_EQ(GetFileAttributesW((out + L"\\" + name).c_str()), INVALID_FILE_ATTRIBUTES);
  }
  EXPECT_EQ(Names().size(), 9u);
  host.ClosePanel();
}

class DeepScreen : public DesktopPanel {};

TEST_F(DeepScreen, ListsNothingAndSaysSoOnceEachTimeTheModuleIsEntered) {
  // Run on screens of 32 and 8 bits (see CMakeLists.txt); KEL_EXPECT_BITS names the depth.
  HDC screen = GetDC(nullptr);
  int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
  ReleaseDC(nullptr, screen);
  const char* expected = getenv("KEL_EXPECT_BITS");
  ASSERT_NE(expected, nullptr);
  ASSERT_EQ(bits, atoi(expected));
  host.AnswerMessage(0);
  Enter();
  EXPECT_TRUE(Names().empty());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"Desktop", L"Only 16bit screens supported now.", L"Sorry..."}));
  EXPECT_TRUE(host.messages[0].flags & 1u);
  // Panel re-reads do not say it again; entering the module again does.
  host.RefreshPluginPanel(panel());
  host.RefreshPluginPanel(panel());
  EXPECT_EQ(host.messages.size(), 1u);
  host.ClosePanel();
  // Opened again, the panel comes back in the module it was closed in.
  host.AnswerMessage(0);
  ASSERT_TRUE(host.OpenPanel(p, 1, 0));
  host.RefreshPluginPanel(panel());
  EXPECT_EQ(panel().pluginDir, L"Desktop:");
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_TRUE(Names().empty());
  host.ClosePanel();
}

int main(int argc, char** argv) {
  if (!handrel_test::ReadArgumentPaths(argc, argv, "handrel_desktop_tests", "Handrel.dll desktop.module badinvoke.dll",
                                       {&g_plugin, &g_module, &g_badInvoke}))
    return 2;
  return RUN_ALL_TESTS();
}
