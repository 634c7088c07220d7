// The invoke library's commands over a device seam: HandleRequest takes one request and gives
// its answer bytes. The shell implements InvokeDevice with the device's own calls; the tests and
// the fuzzer with a scripted device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devicebrowser/device/invoke/core/pim.h"
#include "devicebrowser/device/invoke/core/records.h"
#include "devicebrowser/device/invoke/core/request.h"

namespace handrel::invoke {

constexpr uint32_t kAttrReadOnly = 0x1, kAttrHidden = 0x2, kAttrSystem = 0x4, kAttrDirectory = 0x10,
                   kAttrNormal = 0x80, kAttrTemporary = 0x100;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidParameter = 87;  // the answer to a request whose path runs off its end

struct DirEntry {
  std::u16string name;
  uint32_t attributes = 0;
};
struct DiskSpace {
  uint64_t freeToCaller = 0, total = 0, totalFree = 0;
};

// Every call reports failure by its result; LastError() then gives the device's error code.
class InvokeDevice {
 public:
  virtual ~InvokeDevice() = default;
  virtual uint32_t LastError() = 0;

  virtual OsVersion Version() = 0;
  virtual MemoryStatus Memory() = 0;
  virtual PowerStatus Power() = 0;
  // Screen size (system metrics) and the screen device context's bits per pixel.
  virtual void Screen(uint32_t& width, uint32_t& height, uint32_t& bits) = 0;
  virtual bool FreeSpace(const std::u16string& devicePath, DiskSpace& space) = 0;
  // The entries of the device's root folder in the file system's order.
  virtual bool RootEntries(std::vector<DirEntry>& entries) = 0;

  // Copies the screen into `pixels` (layout.pixelSize bytes, rows bottom-up and padded) at the
  // layout's size and depth, stretched when it differs from the screen's size, and fills the
  // colour table (layout.tableSize bytes) for 4 and 8 bits.
  virtual bool Capture(const BmpLayout& layout, uint8_t* colorTable, uint8_t* pixels) = 0;

  // The top-level windows from the first child of the desktop in z-order; false when a text
  // could not be copied.
  virtual bool Windows(std::vector<WindowInfo>& windows) = 0;
  virtual bool ActivateWindow(uint32_t handle) = 0;
  // Brings the device desktop ("DesktopExplorerWindow", "Desktop") to the foreground.
  virtual bool ShowDesktop() = 0;
  virtual bool DestroyWindow(uint32_t handle) = 0;

  virtual void PostChar(uint32_t keyState, char16_t ch) = 0;
  virtual void KeyEvent(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uint32_t extra) = 0;
  virtual void MouseEvent(uint32_t flags, uint32_t x, uint32_t y, uint32_t wheel, uint32_t extra) = 0;
  virtual bool PostText(const std::u16string& text) = 0;

  virtual bool MovePath(const std::u16string& source, const std::u16string& destination) = 0;
  virtual uint32_t GetAttributes(const std::u16string& path) = 0;  // kInvalidAttributes on failure
  virtual bool SetAttributes(const std::u16string& path, uint32_t attributes) = 0;
  virtual bool RemoveFolder(const std::u16string& path) = 0;
  virtual bool DeletePath(const std::u16string& path) = 0;

  virtual pim::Store& Pim() = 0;
};

// The answer to one request (never throws except std::bad_alloc).
std::vector<uint8_t> HandleRequest(const uint8_t* data, size_t size, InvokeDevice& device);

// Answer texts of the entry point itself.
constexpr char16_t kEmptyInput[] = u"Empty Input buffer passed in.";
constexpr char16_t kUnknownCommand[] = u"Unknown Command String passed in.";

}  // namespace handrel::invoke
