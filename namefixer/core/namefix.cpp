#include "namefixer/core/namefix.h"

namespace namefix {

namespace {

constexpr DialogId MakeId(uint32_t d1, uint16_t d2, uint16_t d3, std::array<uint8_t, 8> d4) {
  return DialogId{static_cast<uint8_t>(d1), static_cast<uint8_t>(d1 >> 8), static_cast<uint8_t>(d1 >> 16),
                  static_cast<uint8_t>(d1 >> 24), static_cast<uint8_t>(d2), static_cast<uint8_t>(d2 >> 8),
                  static_cast<uint8_t>(d3), static_cast<uint8_t>(d3 >> 8), d4[0], d4[1], d4[2], d4[3],
                  d4[4], d4[5], d4[6], d4[7]};
}

constexpr std::array<DialogId, kWatchedDialogs> kWatched = {
    MakeId(0xFCEF11C4, 0x5490, 0x451D, {0x8B, 0x4A, 0x62, 0xFA, 0x03, 0xF5, 0x27, 0x59}),
    MakeId(0x431A2F37, 0xAC01, 0x4ECD, {0xBB, 0x6F, 0x8C, 0xDE, 0x58, 0x4E, 0x5A, 0x03}),
    MakeId(0x5EB266F4, 0x980D, 0x46AF, {0xB3, 0xD2, 0x2C, 0x50, 0xE6, 0x4B, 0xCA, 0x81}),
    MakeId(0x97877FD0, 0x78E6, 0x4169, {0xB4, 0xFB, 0xD7, 0x67, 0x46, 0x24, 0x9F, 0x4D}),
    MakeId(0x9162F965, 0x78B8, 0x4476, {0x98, 0xAC, 0xD6, 0x99, 0xE5, 0xB6, 0xAF, 0xE7}),
    MakeId(0x1D07CEE2, 0x8F4F, 0x480A, {0xBE, 0x93, 0x06, 0x9B, 0x4F, 0xF5, 0x9A, 0x2B}),
    MakeId(0xFAD00DBE, 0x3FFF, 0x4095, {0x92, 0x32, 0xE1, 0xCC, 0x70, 0xC6, 0x77, 0x37}),
};

}  // namespace

const DialogId& WatchedDialog(int index) { return kWatched.at(static_cast<size_t>(index)); }

int FindWatchedDialog(const DialogId& id) {
  for (int i = kWatchedDialogs - 1; i >= 0; --i)
    if (kWatched[static_cast<size_t>(i)] == id) return i;
  return -1;
}

std::u16string TrimName(std::u16string_view text, bool keepParentDots) {
  size_t end = text.size();
  while (end > 0) {
    char16_t c = text[end - 1];
    if (c == u' ') {
      --end;
    } else if (c == u'.') {
      // A final ".." that names the parent folder: the whole text, or after a separator.
      if (keepParentDots && end >= 2 && text[end - 2] == u'.' &&
          (end == 2 || text[end - 3] == u'\\' || text[end - 3] == u'/'))
        break;
      --end;
    } else {
      break;
    }
  }
  return std::u16string(text.substr(0, end));
}

}  // namespace namefix
