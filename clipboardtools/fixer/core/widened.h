// Repair of clipboard text whose Unicode form was made by widening each byte of the 8-bit text
// instead of converting it through the system's ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace mendlet {

// True when, at the first place both texts still run (neither has reached its terminating zero
// or the end of its buffer) where the byte is 0x80 or above, the Unicode character has the
// byte's own value: the widening fault. Text below 0x80 throughout is never judged widened.
bool LooksWidened(const uint8_t* ansi, size_t ansiSize, const uint16_t* wide, size_t wideCount);

// Converts `count` bytes of the ANSI code page (terminator included) into UTF-16; false on failure.
using AnsiConverter = std::function<bool(const uint8_t* bytes, size_t count, std::vector<uint16_t>* out)>;

// The repaired Unicode text (terminated) when the clipboard's Unicode text looks widened and the
// conversion works; nullopt to leave the clipboard alone. The result never needs more than
// (ANSI length + 1) characters.
std::optional<std::vector<uint16_t>> RepairWidened(const uint8_t* ansi, size_t ansiSize, const uint16_t* wide,
                                                   size_t wideCount, const AnsiConverter& convert);

}  // namespace mendlet
