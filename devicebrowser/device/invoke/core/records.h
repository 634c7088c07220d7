// Answer records of the invoke library: the 952-byte device record, the BMP file of a screen
// capture and the window records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace handrel::invoke {

// Device record ("GetBrowserInfo"), little-endian, zero where nothing is written.
namespace device_record {
constexpr size_t kVersion = 0;        // OSVERSIONINFO, 276 bytes, its size field 276
constexpr size_t kVersionSize = 276;
constexpr size_t kMemory = 276;       // MEMORYSTATUS, 32 bytes, its length field 32
constexpr size_t kMemorySize = 32;
constexpr size_t kPower = 308;        // SYSTEM_POWER_STATUS_EX, 24 bytes
constexpr size_t kPowerSize = 24;
constexpr size_t kScreenWidth = 332;
constexpr size_t kScreenHeight = 336;
constexpr size_t kBitsPerPixel = 340;
constexpr size_t kStores = 344;       // four storage entries
constexpr size_t kStoreSize = 152;
constexpr size_t kStoreCount = 4;     // the main store and at most three storage cards
constexpr size_t kStorePathBytes = 128;  // UTF-16, zero-terminated
constexpr size_t kStoreFreeToCaller = 128;
constexpr size_t kStoreTotal = 136;
constexpr size_t kStoreTotalFree = 144;
constexpr size_t kSize = 952;
static_assert(kStores + kStoreCount * kStoreSize == kSize, "the storage entries end the record");
static_assert(kPower + kPowerSize == kScreenWidth, "the screen follows the power status");
}  // namespace device_record

struct OsVersion {
  uint32_t major = 0, minor = 0, build = 0, platform = 0;
  std::u16string servicePack;  // at most 127 characters are kept
};
struct MemoryStatus {
  uint32_t load = 0, totalPhys = 0, availPhys = 0, totalPageFile = 0, availPageFile = 0, totalVirtual = 0,
           availVirtual = 0;
};
struct PowerStatus {
  uint8_t acLine = 0, batteryFlag = 0, batteryPercent = 0;
  uint32_t batteryLifeTime = 0, batteryFullLifeTime = 0;
  uint8_t backupFlag = 0, backupPercent = 0;
  uint32_t backupLifeTime = 0, backupFullLifeTime = 0;
};
struct Storage {
  std::u16string path;  // "\" or "\" + card folder; must fit 63 characters
  uint64_t freeToCaller = 0, total = 0, totalFree = 0;
};
struct DeviceFacts {
  OsVersion version;
  MemoryStatus memory;
  PowerStatus power;
  uint32_t screenWidth = 0, screenHeight = 0, bitsPerPixel = 0;
  std::vector<Storage> stores;  // main store first; at most four are written
};
std::vector<uint8_t> BuildDeviceRecord(const DeviceFacts& facts);
// Whether a storage path fits its field with the terminator.
bool StoragePathFits(const std::u16string& path);

// A screen capture as a BMP file: 14-byte file header, 40-byte bitmap header, colour table for
// 4 and 8 bits (2^bits entries of 4 bytes), pixel rows bottom-up, each padded to 4 bytes.
namespace bmp {
constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;  // 54
constexpr int32_t kPixelsPerMetre = 96;
constexpr uint32_t kMaxSide = 16384;  // a capture side beyond this is refused
}  // namespace bmp
struct BmpLayout {
  uint32_t width = 0, height = 0, bits = 0;
  size_t rowSize = 0;     // bytes of one row, a multiple of 4
  size_t tableSize = 0;   // bytes of the colour table
  size_t pixelOffset = 0;
  size_t pixelSize = 0;   // rowSize * height
  size_t fileSize = 0;
};
// False when a side is 0 or above the cap, or the bit depth is not 1, 4, 8, 16, 24 or 32.
bool ComputeBmpLayout(uint32_t width, uint32_t height, uint32_t bits, BmpLayout& layout);
// Writes both headers into the first 54 bytes of `file` (which holds layout.fileSize bytes).
void WriteBmpHeaders(const BmpLayout& layout, uint8_t* file);

// Window records ("GetWindows"): handle, style, class, title; no count.
constexpr size_t kMaxWindowText = 260;  // characters kept of a class name or title
struct WindowInfo {
  uint32_t handle = 0, style = 0;
  std::u16string className, title;
};
void AppendWindowRecord(std::vector<uint8_t>& out, const WindowInfo& window);
// Reads records back (for tests and the desktop side); false when a record is cut short.
bool ParseWindowRecords(const uint8_t* data, size_t size, std::vector<WindowInfo>& windows);

}  // namespace handrel::invoke
