// The dropped-files reader over arbitrary clipboard blocks.
#include <cstdint>
#include <string>

#include "clipboardtools/transfer/core/transfer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto list = sheafer::ReadDropFiles(data, size, [](const std::string& s) { return sheafer::Text(s.begin(), s.end()); });
  if (list) {
    size_t total = 0;
    for (const auto& n : *list) total += n.size();
    if (total > size) __builtin_trap();  // names come only from the block
  }
  return 0;
}
