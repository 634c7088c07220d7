// The device record of the "GetBrowserInfo" answer (952 bytes when whole), read from the bytes
// that actually arrived: every field is looked at only when the answer reaches its end, every
// string is bounded by its field, and what a short answer lacks is reported as not known.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace handrel::connection {

// Offsets of the record, little-endian.
namespace record {
constexpr size_t kVersion = 0;            // OSVERSIONINFO, 276 bytes
constexpr size_t kVersionMajor = 4;
constexpr size_t kVersionMinor = 8;
constexpr size_t kVersionBuild = 12;
constexpr size_t kServicePack = 20;       // 128 UTF-16 characters
constexpr size_t kServicePackBytes = 256;
constexpr size_t kMemory = 276;           // MEMORYSTATUS, 32 bytes
constexpr size_t kTotalPhys = kMemory + 8;
constexpr size_t kAvailPhys = kMemory + 12;
constexpr size_t kTotalVirtual = kMemory + 24;
constexpr size_t kAvailVirtual = kMemory + 28;
constexpr size_t kPower = 308;            // SYSTEM_POWER_STATUS_EX, 24 bytes
constexpr size_t kAcLine = kPower + 0;
constexpr size_t kBatteryPercent = kPower + 2;
constexpr size_t kBackupPercent = kPower + 14;
constexpr size_t kScreenWidth = 332;
constexpr size_t kScreenHeight = 336;
constexpr size_t kBitsPerPixel = 340;
constexpr size_t kStores = 344;           // at most four entries of 152 bytes
constexpr size_t kStoreSize = 152;
constexpr size_t kStoreCount = 4;
constexpr size_t kStoreNameBytes = 128;   // UTF-16, terminated when it fits
constexpr size_t kStoreTotal = 136;       // u64, within the entry
constexpr size_t kStoreTotalFree = 144;   // u64, within the entry
constexpr size_t kSize = 952;
static_assert(kStores + kStoreCount * kStoreSize == kSize, "the storage entries end the record");
}  // namespace record

constexpr uint8_t kAcLineOnline = 1;  // ACLineStatus of the power record

struct DeviceStore {
  std::u16string name;  // "\" for the main store, "\" + folder for a card; at most 64 characters
  uint64_t totalBytes = 0, totalFreeBytes = 0;
};

// What the record told; each `has...` is false when the answer ended before that field.
struct DeviceRecord {
  bool hasVersion = false;  // major, minor, build
  uint32_t major = 0, minor = 0, build = 0;
  std::u16string servicePack;  // only the characters that arrived, up to the field's end
  bool hasPhysical = false;
  uint32_t totalPhys = 0, availPhys = 0;
  bool hasVirtual = false;
  uint32_t totalVirtual = 0, availVirtual = 0;
  bool hasAcLine = false;
  uint8_t acLine = 0;
  bool hasBattery = false;
  uint8_t batteryPercent = 255;
  bool hasBackup = false;
  uint8_t backupPercent = 255;
  bool hasScreen = false;  // width, height and depth
  uint32_t screenWidth = 0, screenHeight = 0, bitsPerPixel = 0;
  std::vector<DeviceStore> stores;  // in record order, up to the first empty or incomplete entry
};

// Reads `size` bytes of an answer (null with size 0 is an empty answer). Never reads past `size`
// nor past 952 bytes; bytes beyond 952 are ignored.
DeviceRecord ParseDeviceRecord(const uint8_t* data, size_t size);

}  // namespace handrel::connection
