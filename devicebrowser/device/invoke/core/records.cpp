#include "devicebrowser/device/invoke/core/records.h"

#include <algorithm>

#include "devicebrowser/device/invoke/core/bytes.h"

namespace handrel::invoke {

namespace {
// A text into a fixed UTF-16 field, always leaving room for the terminator.
void StoreText(uint8_t* field, size_t fieldBytes, const std::u16string& text) {
  size_t units = std::min(text.size(), fieldBytes / 2 - 1);
  for (size_t i = 0; i < units; ++i) Store16(field + 2 * i, text[i]);
}
}  // namespace

bool StoragePathFits(const std::u16string& path) { return path.size() < device_record::kStorePathBytes / 2; }

std::vector<uint8_t> BuildDeviceRecord(const DeviceFacts& f) {
  namespace r = device_record;
  std::vector<uint8_t> out(r::kSize, 0);
  uint8_t* v = out.data() + r::kVersion;
  Store32(v, r::kVersionSize);
  Store32(v + 4, f.version.major);
  Store32(v + 8, f.version.minor);
  Store32(v + 12, f.version.build);
  Store32(v + 16, f.version.platform);
  StoreText(v + 20, 256, f.version.servicePack);  // 128 characters

  uint8_t* m = out.data() + r::kMemory;
  const uint32_t memory[] = {r::kMemorySize, f.memory.load, f.memory.totalPhys, f.memory.availPhys,
                             f.memory.totalPageFile, f.memory.availPageFile, f.memory.totalVirtual,
                             f.memory.availVirtual};
  for (size_t i = 0; i < 8; ++i) Store32(m + 4 * i, memory[i]);

  uint8_t* p = out.data() + r::kPower;  // bytes, then 32-bit times, as the device lays them out
  p[0] = f.power.acLine;
  p[1] = f.power.batteryFlag;
  p[2] = f.power.batteryPercent;
  Store32(p + 4, f.power.batteryLifeTime);
  Store32(p + 8, f.power.batteryFullLifeTime);
  p[13] = f.power.backupFlag;
  p[14] = f.power.backupPercent;
  Store32(p + 16, f.power.backupLifeTime);
  Store32(p + 20, f.power.backupFullLifeTime);

  Store32(out.data() + r::kScreenWidth, f.screenWidth);
  Store32(out.data() + r::kScreenHeight, f.screenHeight);
  Store32(out.data() + r::kBitsPerPixel, f.bitsPerPixel);

  size_t n = std::min(f.stores.size(), r::kStoreCount);
  for (size_t i = 0; i < n; ++i) {
    uint8_t* s = out.data() + r::kStores + i * r::kStoreSize;
    StoreText(s, r::kStorePathBytes, f.stores[i].path);
    Store64(s + r::kStoreFreeToCaller, f.stores[i].freeToCaller);
    Store64(s + r::kStoreTotal, f.stores[i].total);
    Store64(s + r::kStoreTotalFree, f.stores[i].totalFree);
  }
  return out;
}

bool ComputeBmpLayout(uint32_t width, uint32_t height, uint32_t bits, BmpLayout& l) {
  if (width == 0 || height == 0 || width > bmp::kMaxSide || height > bmp::kMaxSide) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  l.width = width;
  l.height = height;
  l.bits = bits;
  // Rows are padded to whole 32-bit words; sizes stay far below 2^32 under the side cap.
  l.rowSize = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  l.tableSize = bits <= 8 ? 4 * (size_t{1} << bits) : 0;
  l.pixelOffset = bmp::kHeadersSize + l.tableSize;
  l.pixelSize = l.rowSize * height;
  l.fileSize = l.pixelOffset + l.pixelSize;
  return true;
}

void WriteBmpHeaders(const BmpLayout& l, uint8_t* f) {
  // File header: "BM", file size, two reserved words, pixel offset.
  f[0] = 'B';
  f[1] = 'M';
  Store32(f + 2, static_cast<uint32_t>(l.fileSize));
  Store32(f + 6, 0);
  Store32(f + 10, static_cast<uint32_t>(l.pixelOffset));
  // Bitmap header: positive height (bottom-up), one plane, no compression.
  uint8_t* h = f + bmp::kFileHeaderSize;
  Store32(h + 0, bmp::kInfoHeaderSize);
  Store32(h + 4, l.width);
  Store32(h + 8, l.height);
  Store16(h + 12, 1);
  Store16(h + 14, static_cast<uint16_t>(l.bits));
  Store32(h + 16, 0);
  Store32(h + 20, static_cast<uint32_t>(l.pixelSize));
  Store32(h + 24, static_cast<uint32_t>(bmp::kPixelsPerMetre));
  Store32(h + 28, static_cast<uint32_t>(bmp::kPixelsPerMetre));
  Store32(h + 32, l.tableSize ? static_cast<uint32_t>(l.tableSize / 4) : 0);
  Store32(h + 36, 0);
}

void AppendWindowRecord(std::vector<uint8_t>& out, const WindowInfo& w) {
  Append32(out, w.handle);
  Append32(out, w.style);
  AppendText(out, w.className.substr(0, kMaxWindowText));
  AppendText(out, w.title.substr(0, kMaxWindowText));
}

bool ParseWindowRecords(const uint8_t* data, size_t size, std::vector<WindowInfo>& windows) {
  size_t at = 0;
  while (at < size) {
    if (size - at < 8) return false;
    WindowInfo w;
    w.handle = Load32(data + at);
    w.style = Load32(data + at + 4);
    at += 8;
    BoundedText cls = ReadText(data + at, size - at);
    if (!cls.terminated) return false;
    at += cls.consumed;
    BoundedText title = ReadText(data + at, size - at);
    if (!title.terminated) return false;
    at += title.consumed;
    w.className = std::move(cls.text);
    w.title = std::move(title.text);
    windows.push_back(std::move(w));
  }
  return true;
}

}  // namespace handrel::invoke
