// Screenshot answers as the device might send them: whatever the checks accept has its pixels
// inside the answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "devicebrowser/modules/desktop/core/pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  handrel::desktop::BitmapFacts facts;
  if (handrel::desktop::CheckBitmap(data, size, facts) != handrel::desktop::BitmapFault::kNone) return 0;
  if (facts.pixelOffset > size || facts.pixelBytes > size - facts.pixelOffset || facts.width == 0 ||
      facts.height == 0) {
    std::abort();
  }
  // Touch the last pixel byte: the sanitizers catch a read past the answer.
  volatile uint8_t last = facts.pixelBytes ? data[facts.pixelOffset + facts.pixelBytes - 1] : 0;
  (void)last;
  return 0;
}
