#include "devicebrowser/plugin/connection/core/device_record.h"

#include <algorithm>

namespace handrel::connection {
namespace {

// The bytes that arrived, read only where a field lies wholly inside them.
class Answer {
 public:
  Answer(const uint8_t* data, size_t size) : data_(data), size_(data ? std::min(size, record::kSize) : 0) {}
  bool Has(size_t offset, size_t bytes) const { return offset <= size_ && bytes <= size_ - offset; }
  uint8_t U8(size_t offset) const { return data_[offset]; }
  uint32_t U32(size_t offset) const {
    return static_cast<uint32_t>(data_[offset]) | static_cast<uint32_t>(data_[offset + 1]) << 8 |
           static_cast<uint32_t>(data_[offset + 2]) << 16 | static_cast<uint32_t>(data_[offset + 3]) << 24;
  }
  uint64_t U64(size_t offset) const { return U32(offset) | static_cast<uint64_t>(U32(offset + 4)) << 32; }
  // UTF-16 text of a field of `bytes` bytes: up to its terminator, the field's end or the end of
  // what arrived, whichever comes first.
  std::u16string Text(size_t offset, size_t bytes) const {
    std::u16string text;
    for (size_t at = offset; at + 2 <= offset + bytes && Has(at, 2); at += 2) {
      char16_t ch = static_cast<char16_t>(data_[at] | data_[at + 1] << 8);
      if (ch == 0) break;
      text.push_back(ch);
    }
    return text;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace

DeviceRecord ParseDeviceRecord(const uint8_t* data, size_t size) {
  using namespace record;
  Answer in(data, size);
  DeviceRecord out;
  if (in.Has(kVersionBuild, 4)) {  // major, minor and build together
    out.hasVersion = true;
    out.major = in.U32(kVersionMajor);
    out.minor = in.U32(kVersionMinor);
    out.build = in.U32(kVersionBuild);
  }
  out.servicePack = in.Text(kServicePack, kServicePackBytes);
  if (in.Has(kAvailPhys, 4)) {
    out.hasPhysical = true;
    out.totalPhys = in.U32(kTotalPhys);
    out.availPhys = in.U32(kAvailPhys);
  }
  if (in.Has(kAvailVirtual, 4)) {
    out.hasVirtual = true;
    out.totalVirtual = in.U32(kTotalVirtual);
    out.availVirtual = in.U32(kAvailVirtual);
  }
  if (in.Has(kAcLine, 1)) {
    out.hasAcLine = true;
    out.acLine = in.U8(kAcLine);
  }
  if (in.Has(kBatteryPercent, 1)) {
    out.hasBattery = true;
    out.batteryPercent = in.U8(kBatteryPercent);
  }
  if (in.Has(kBackupPercent, 1)) {
    out.hasBackup = true;
    out.backupPercent = in.U8(kBackupPercent);
  }
  if (in.Has(kBitsPerPixel, 4)) {
    out.hasScreen = true;
    out.screenWidth = in.U32(kScreenWidth);
    out.screenHeight = in.U32(kScreenHeight);
    out.bitsPerPixel = in.U32(kBitsPerPixel);
  }
  // Entries in order until the first with an empty name; one cut short by the answer's end is
  // not shown (its sizes did not arrive).
  for (size_t i = 0; i < kStoreCount; ++i) {
    size_t entry = kStores + i * kStoreSize;
    if (!in.Has(entry, kStoreSize)) break;
    DeviceStore store;
    store.name = in.Text(entry, kStoreNameBytes);
    if (store.name.empty()) break;
    store.totalBytes = in.U64(entry + kStoreTotal);
    store.totalFreeBytes = in.U64(entry + kStoreTotalFree);
    out.stores.push_back(std::move(store));
  }
  return out;
}

}  // namespace handrel::connection
