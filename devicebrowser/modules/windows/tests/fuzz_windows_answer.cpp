// The "GetWindows" answer walk over any bytes: every record it gives lies inside the answer and
// the records lie back to back from its start; nothing is read past the answer (ASan).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "devicebrowser/modules/windows/core/windows_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
  if (size) std::memcpy(exact.get(), data, size);
  size_t next = 0;
  for (const auto& r : handrel::windows::ParseWindowsAnswer(exact.get(), size)) {
    if (r.offset != next || r.size < 12 || r.offset + r.size > size) std::abort();
    if (r.className.size() > 260 || r.title.size() > 260) std::abort();
    next = r.offset + r.size;
  }
  return 0;
}
