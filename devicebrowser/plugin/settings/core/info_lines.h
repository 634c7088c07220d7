// The device information lines of a device panel, built from the device name and the device
// record of the "GetBrowserInfo" answer. Each line has a label and a data text, each cut to 79
// characters; a separator line has a title and no data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devicebrowser/plugin/connection/core/device_record.h"

namespace handrel::settings {

constexpr size_t kInfoTextChars = 79;

struct InfoLine {
  std::string text;
  std::string data;
  bool separator = false;
};

// Device texts into the console's OEM code page.
class OemConverter {
 public:
  virtual std::string ToOem(const std::u16string& text) const = 0;

 protected:
  ~OemConverter() = default;
};

// The lines in their order: the "Handrel" separator, "PPC Name", then either "Can't get info" /
// "Return = 0x%X" (`record` null: no answer came back, `result` is the call's result) or the
// version, memory, screen, battery and storage lines of what the record holds. A field the
// record does not reach gives no line (a percent it does not reach reads "Unknown").
std::vector<InfoLine> BuildInfoLines(const std::string& deviceName, const connection::DeviceRecord* record,
                                     uint32_t result, const OemConverter& oem);

}  // namespace handrel::settings
