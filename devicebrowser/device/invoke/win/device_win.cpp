#include "devicebrowser/device/invoke/win/device_win.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "devicebrowser/device/invoke/core/bytes.h"
#include "devicebrowser/device/seam/device_seam.h"

namespace handrel::invoke {
namespace {

std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
std::u16string U16(const wchar_t* s) { return std::u16string(s, s + wcslen(s)); }
HWND Hwnd(uint32_t handle) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(handle)); }
uint32_t Handle(HWND hwnd) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hwnd)); }

constexpr size_t kMaxWindows = 4096;  // a z-order walk longer than this is a cycle

// The screen's device context for one call.
struct ScreenDc {
  HDC dc = GetDC(nullptr);
  ~ScreenDc() {
    if (dc) ReleaseDC(nullptr, dc);
  }
  ScreenDc() = default;
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
};

// The colours of a 4- or 8-bit capture: the 16 standard colours, and for 8 bits after them a
// 6 x 6 x 6 cube and a grey ramp, so any screen colour has a near entry.
void FillPalette(RGBQUAD* table, uint32_t bits) {
  static const BYTE kStandard[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                        {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                        {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                        {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  size_t n = size_t{1} << bits;
  for (size_t i = 0; i < n; ++i) {
    BYTE r, g, b;
    if (i < 16) {
      r = kStandard[i][0];
      g = kStandard[i][1];
      b = kStandard[i][2];
    } else if (i < 16 + 216) {
      size_t c = i - 16;
      r = static_cast<BYTE>(51 * (c / 36));
      g = static_cast<BYTE>(51 * (c / 6 % 6));
      b = static_cast<BYTE>(51 * (c % 6));
    } else {
      r = g = b = static_cast<BYTE>(8 + 10 * (i - 232));
    }
    table[i] = {b, g, r, 0};
  }
}

}  // namespace

uint32_t Win32Device::LastError() { return GetLastError(); }

OsVersion Win32Device::Version() {
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  OsVersion r;
  if (!GetVersionExW(&v)) return r;
  r.major = v.dwMajorVersion;
  r.minor = v.dwMinorVersion;
  r.build = v.dwBuildNumber;
  r.platform = v.dwPlatformId;
  r.servicePack = U16(v.szCSDVersion);
  return r;
}

MemoryStatus Win32Device::Memory() {
  MEMORYSTATUS m{};
  m.dwLength = sizeof m;
  GlobalMemoryStatus(&m);
  return {m.dwMemoryLoad,     static_cast<uint32_t>(m.dwTotalPhys),    static_cast<uint32_t>(m.dwAvailPhys),
          static_cast<uint32_t>(m.dwTotalPageFile), static_cast<uint32_t>(m.dwAvailPageFile),
          static_cast<uint32_t>(m.dwTotalVirtual),  static_cast<uint32_t>(m.dwAvailVirtual)};
}

PowerStatus Win32Device::Power() {
  BYTE s[24] = {};
  PowerStatus p;
  if (!device_seam::PowerStatus(s)) return p;
  p.acLine = s[0];
  p.batteryFlag = s[1];
  p.batteryPercent = s[2];
  p.batteryLifeTime = Load32(s + 4);
  p.batteryFullLifeTime = Load32(s + 8);
  p.backupFlag = s[13];
  p.backupPercent = s[14];
  p.backupLifeTime = Load32(s + 16);
  p.backupFullLifeTime = Load32(s + 20);
  return p;
}

void Win32Device::Screen(uint32_t& width, uint32_t& height, uint32_t& bits) {
  ScreenDc screen;
  width = height = bits = 0;
  if (!screen.dc) return;
  width = static_cast<uint32_t>(GetDeviceCaps(screen.dc, HORZRES));
  height = static_cast<uint32_t>(GetDeviceCaps(screen.dc, VERTRES));
  bits = static_cast<uint32_t>(GetDeviceCaps(screen.dc, BITSPIXEL) * GetDeviceCaps(screen.dc, PLANES));
}

bool Win32Device::FreeSpace(const std::u16string& devicePath, DiskSpace& space) {
  ULARGE_INTEGER toCaller, total, totalFree;
  if (!device_seam::FreeSpace(W(devicePath), &toCaller, &total, &totalFree)) return false;
  space = {toCaller.QuadPart, total.QuadPart, totalFree.QuadPart};
  return true;
}

bool Win32Device::RootEntries(std::vector<DirEntry>& entries) {
  std::vector<device_seam::RootEntry> root;
  if (!device_seam::ListRoot(root)) return false;
  for (const auto& e : root) entries.push_back({std::u16string(e.name.begin(), e.name.end()), e.attributes});
  return true;
}

bool Win32Device::Capture(const BmpLayout& layout, uint8_t* colorTable, uint8_t* pixels) {
  ScreenDc screen;
  if (!screen.dc) return false;
  int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  std::vector<uint8_t> infoBytes(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
  auto* info = reinterpret_cast<BITMAPINFO*>(infoBytes.data());
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = static_cast<LONG>(layout.width);
  info->bmiHeader.biHeight = static_cast<LONG>(layout.height);  // bottom-up
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = static_cast<WORD>(layout.bits);
  info->bmiHeader.biCompression = BI_RGB;
  if (layout.bits <= 8) FillPalette(info->bmiColors, layout.bits);
  void* dibBits = nullptr;
  HBITMAP dib = CreateDIBSection(screen.dc, info, DIB_RGB_COLORS, &dibBits, nullptr, 0);
  if (!dib || !dibBits) return false;
  HDC mem = CreateCompatibleDC(screen.dc);
  bool ok = false;
  if (mem) {
    HGDIOBJ old = SelectObject(mem, dib);
    int w = static_cast<int>(layout.width), h = static_cast<int>(layout.height);
    if (w == screenWidth && h == screenHeight)
      ok = BitBlt(mem, 0, 0, w, h, screen.dc, 0, 0, SRCCOPY) != 0;
    else
      ok = StretchBlt(mem, 0, 0, w, h, screen.dc, 0, 0, screenWidth, screenHeight, SRCCOPY) != 0;
#ifndef UNDER_CE
    GdiFlush();  // the desktop batches drawing calls; the device draws at once
#endif
    if (ok) {
      // A DIB section's rows are padded to 32 bits, as the file's are.
      std::memcpy(pixels, dibBits, layout.pixelSize);
      if (layout.tableSize) {
        UINT got = GetDIBColorTable(mem, 0, static_cast<UINT>(layout.tableSize / 4), reinterpret_cast<RGBQUAD*>(colorTable));
        ok = got == layout.tableSize / 4;
      }
    }
    SelectObject(mem, old);
    DeleteDC(mem);
  }
  DWORD err = GetLastError();
  DeleteObject(dib);
  SetLastError(err);
  return ok;
}

bool Win32Device::Windows(std::vector<WindowInfo>& windows) {
  HWND h = GetWindow(GetDesktopWindow(), GW_CHILD);
  for (size_t n = 0; h && n < kMaxWindows; ++n, h = GetWindow(h, GW_HWNDNEXT)) {
    wchar_t cls[kMaxWindowText + 1] = {}, title[kMaxWindowText + 1] = {};
    if (!GetClassNameW(h, cls, static_cast<int>(kMaxWindowText + 1))) return false;
    GetWindowTextW(h, title, static_cast<int>(kMaxWindowText + 1));  // an empty title is no failure
    windows.push_back({Handle(h), static_cast<uint32_t>(GetWindowLongW(h, GWL_STYLE)), U16(cls), U16(title)});
  }
  return true;
}

bool Win32Device::ActivateWindow(uint32_t handle) {
  HWND h = Hwnd(handle);
  if (!IsWindow(h)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  return SetForegroundWindow(h) != 0;
}

bool Win32Device::ShowDesktop() {
  HWND desktop = FindWindowW(L"DesktopExplorerWindow", L"Desktop");
  if (!desktop) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  return SetForegroundWindow(desktop) != 0;
}

bool Win32Device::DestroyWindow(uint32_t handle) { return ::DestroyWindow(Hwnd(handle)) != 0; }

void Win32Device::PostChar(uint32_t keyState, char16_t ch) {
  UINT shift = keyState, character = ch;
  device_seam::PostKeybd(keyState, 1, &shift, &character);
}

void Win32Device::KeyEvent(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uint32_t extra) {
  device_seam::KeyEvent(virtualKey, scanCode, flags, extra);
}

void Win32Device::MouseEvent(uint32_t flags, uint32_t x, uint32_t y, uint32_t wheel, uint32_t extra) {
  device_seam::MouseEvent(flags, x, y, wheel, extra);
}

bool Win32Device::PostText(const std::u16string& text) {
  std::vector<UINT> shifts(text.size(), 0), chars(text.begin(), text.end());
  return device_seam::PostKeybd(0, static_cast<UINT>(text.size()), shifts.data(), chars.data()) != 0;
}

bool Win32Device::MovePath(const std::u16string& source, const std::u16string& destination) {
  return device_seam::MovePath(W(source), W(destination)) != 0;
}
uint32_t Win32Device::GetAttributes(const std::u16string& path) { return device_seam::GetAttributes(W(path)); }
bool Win32Device::SetAttributes(const std::u16string& path, uint32_t attributes) {
  return device_seam::SetAttributes(W(path), attributes) != 0;
}
bool Win32Device::RemoveFolder(const std::u16string& path) { return device_seam::RemoveFolder(W(path)) != 0; }
bool Win32Device::DeletePath(const std::u16string& path) { return device_seam::DeletePath(W(path)) != 0; }
pim::Store& Win32Device::Pim() { return device_seam::PimStore(); }

}  // namespace handrel::invoke
