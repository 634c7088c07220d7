// The invoke library's device: the Win32 calls the handheld shares with the desktop (screen,
// windows, memory, version) and the device seam for the rest.
#pragma once

#include "devicebrowser/device/invoke/core/invoke.h"

namespace handrel::invoke {

class Win32Device : public InvokeDevice {
 public:
  uint32_t LastError() override;
  OsVersion Version() override;
  MemoryStatus Memory() override;
  PowerStatus Power() override;
  void Screen(uint32_t& width, uint32_t& height, uint32_t& bits) override;
  bool FreeSpace(const std::u16string& devicePath, DiskSpace& space) override;
  bool RootEntries(std::vector<DirEntry>& entries) override;
  bool Capture(const BmpLayout& layout, uint8_t* colorTable, uint8_t* pixels) override;
  bool Windows(std::vector<WindowInfo>& windows) override;
  bool ActivateWindow(uint32_t handle) override;
  bool ShowDesktop() override;
  bool DestroyWindow(uint32_t handle) override;
  void PostChar(uint32_t keyState, char16_t ch) override;
  void KeyEvent(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uint32_t extra) override;
  void MouseEvent(uint32_t flags, uint32_t x, uint32_t y, uint32_t wheel, uint32_t extra) override;
  bool PostText(const std::u16string& text) override;
  bool MovePath(const std::u16string& source, const std::u16string& destination) override;
  uint32_t GetAttributes(const std::u16string& path) override;
  bool SetAttributes(const std::u16string& path, uint32_t attributes) override;
  bool RemoveFolder(const std::u16string& path) override;
  bool DeletePath(const std::u16string& path) override;
  pim::Store& Pim() override;
};

}  // namespace handrel::invoke
