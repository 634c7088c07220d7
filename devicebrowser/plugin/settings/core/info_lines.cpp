#include "devicebrowser/plugin/settings/core/info_lines.h"

#include <cstdarg>
#include <cstdio>

#include "devicebrowser/common/console/core/format.h"

namespace handrel::settings {
namespace {

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char buffer[128];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return n < 0 ? std::string() : std::string(buffer);
}

std::string Mebibytes(uint64_t bytes) { return con::FormatNumber(static_cast<int64_t>(bytes >> 20)); }

// "%sM / %sM" of a total and an available byte count.
std::string SizePair(uint64_t total, uint64_t available) {
  return Mebibytes(total) + "M / " + Mebibytes(available) + "M";
}

class Lines {
 public:
  void Add(std::string text, std::string data) {
    lines_.push_back({Cut(std::move(text)), Cut(std::move(data)), false});
  }
  void Separator(std::string title) { lines_.push_back({Cut(std::move(title)), {}, true}); }
  std::vector<InfoLine> Take() { return std::move(lines_); }

 private:
  static std::string Cut(std::string text) {
    if (text.size() > kInfoTextChars) text.resize(kInfoTextChars);
    return text;
  }
  std::vector<InfoLine> lines_;
};

}  // namespace

std::vector<InfoLine> BuildInfoLines(const std::string& deviceName, const connection::DeviceRecord* record,
                                     uint32_t result, const OemConverter& oem) {
  Lines lines;
  lines.Separator("Handrel");
  lines.Add("PPC Name", deviceName);
  if (!record) {
    lines.Add("Can't get info", Printf("Return = 0x%X", result));
    return lines.Take();
  }
  const connection::DeviceRecord& r = *record;
  if (r.hasVersion) lines.Add("OS version", Printf("%u.%u.%u", r.major, r.minor, r.build));
  if (!r.servicePack.empty()) lines.Add("OS addition", oem.ToOem(r.servicePack));
  if (r.hasPhysical) lines.Add("Physical memory", SizePair(r.totalPhys, r.availPhys));
  if (r.hasVirtual) lines.Add("Virtual memory", SizePair(r.totalVirtual, r.availVirtual));
  if (r.hasScreen) lines.Add("Screen dimension", Printf("%ux%ux%u", r.screenWidth, r.screenHeight, r.bitsPerPixel));
  if (r.hasAcLine) {
    std::string level = r.acLine == connection::kAcLineOnline ? "(AC Online)" : "";
    level += r.hasBattery && r.batteryPercent <= 100 ? Printf("%u%%", r.batteryPercent) : "Unknown";
    lines.Add("Main battery level", level);
  }
  if (r.hasBackup && r.backupPercent <= 100) lines.Add("Backup battery level", Printf("%u%%", r.backupPercent));
  for (const connection::DeviceStore& store : r.stores) {
    std::string label = oem.ToOem(store.name);
    if (store.name == u"\\") label += "My Device";
    lines.Add(label, SizePair(store.totalBytes, store.totalFreeBytes));
  }
  return lines.Take();
}

}  // namespace handrel::settings
