#include "devicebrowser/plugin/connection/core/invoke_stamp.h"

namespace handrel::connection {

// The epoch (1601-01-01 00:00) is on a minute boundary and file times count no leap seconds, so
// cutting to the minute is plain arithmetic.
uint64_t TruncateToMinute(uint64_t fileTime) { return fileTime - fileTime % kTicksPerMinute; }

bool InvokeCopyIsCurrent(const DeviceCopy& copy, uint64_t stamp, uint32_t imageSize) {
  return stamp != 0 && copy.found && copy.writeTime == stamp && copy.sizeLow == imageSize;
}

}  // namespace handrel::connection
