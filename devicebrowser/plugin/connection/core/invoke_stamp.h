// The version stamp of the invoke library on the device: the plugin file's last-write time cut to
// the minute, and the check whether the device's copy is current.
#pragma once

#include <cstdint>

namespace handrel::connection {

// A FILETIME as one 64-bit count of 100 ns units since 1601-01-01 (UTC).
constexpr uint64_t kTicksPerMinute = 600000000ull;

// The time with its seconds and fractions of a second set to zero.
uint64_t TruncateToMinute(uint64_t fileTime);

// What a search for the device's copy found.
struct DeviceCopy {
  bool found = false;
  uint64_t writeTime = 0;
  uint32_t sizeLow = 0;
};

// True when the device's copy need not be written: found, with a last-write time equal to the
// stamp and a low size word equal to the image's size. A zero stamp never matches (the file is
// written and the device's own time becomes the stamp).
bool InvokeCopyIsCurrent(const DeviceCopy& copy, uint64_t stamp, uint32_t imageSize);

}  // namespace handrel::connection
