#include "clipboardtools/fixer/core/widened.h"

namespace mendlet {

bool LooksWidened(const uint8_t* ansi, size_t ansiSize, const uint16_t* wide, size_t wideCount) {
  for (size_t i = 0; i < ansiSize && i < wideCount && ansi[i] != 0 && wide[i] != 0; ++i) {
    if (ansi[i] >= 0x80 && wide[i] == ansi[i]) return true;
  }
  return false;
}

std::optional<std::vector<uint16_t>> RepairWidened(const uint8_t* ansi, size_t ansiSize, const uint16_t* wide,
                                                   size_t wideCount, const AnsiConverter& convert) {
  if (!LooksWidened(ansi, ansiSize, wide, wideCount)) return std::nullopt;
  size_t length = 0;
  while (length < ansiSize && ansi[length] != 0) ++length;
  // Convert the text with its terminator; an unterminated buffer gets one.
  std::vector<uint8_t> source(ansi, ansi + length);
  source.push_back(0);
  std::vector<uint16_t> out;
  if (!convert(source.data(), source.size(), &out) || out.empty() || out.size() > length + 1 || out.back() != 0)
    return std::nullopt;
  return out;
}

}  // namespace mendlet
