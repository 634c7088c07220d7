// Fuzz harness: any answer, of any size, is read without touching a byte beyond it, and what it
// gives stays inside the record's bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "devicebrowser/plugin/connection/core/device_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that a read past the answer is caught.
  std::vector<uint8_t> answer(data, data + size);
  handrel::connection::DeviceRecord d =
      handrel::connection::ParseDeviceRecord(answer.empty() ? nullptr : answer.data(), answer.size());
  if (d.stores.size() > 4 || d.servicePack.size() > 128) std::abort();
  for (const auto& store : d.stores)
    if (store.name.empty() || store.name.size() > 64) std::abort();
  return 0;
}
