// Notification sounds for the PC speaker: 16 built-in patterns and the user's own text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veloma {

constexpr int kBeepPatternCount = 17;  // 1..16 built in, 17 the slot's custom text

struct Tone {
  int32_t frequency;  // Hz, passed to the speaker as it is (0 included)
  int32_t duration;   // ms
  bool silence;       // a pause of that duration instead of a speaker call
  bool operator==(const Tone&) const = default;
};

// The tones of pattern k (1..17); k outside that range plays nothing. Pattern 17 parses custom.
std::vector<Tone> BeepPattern(int k, const std::u16string& custom);

// "<frequency> <duration>;...": a piece that cannot be read repeats the previous values (0 at
// first); a duration outside 0..5000 becomes 0; a frequency outside 37..32767 is a silence.
std::vector<Tone> ParseCustomBeeps(const std::u16string& text);

}  // namespace veloma
