// Fuzzes what the player computes from the audio library's answers: any channel information,
// length and duration (zero, negative, not a number, huge) must give a bounded information line,
// time text and slider places without a crash or undefined behaviour.
#include <cstdint>
#include <cstring>
#include <string>

#include "player/core/player_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  struct {
    uint32_t ctype, freq, chans;
    uint64_t fileSize, length, position;
    double duration, seconds;
    uint32_t left, right;
  } in{};
  std::memcpy(&in, data, size < sizeof in ? size : sizeof in);
  std::string line = tunlo::InfoLine(tunlo::FormatName(in.ctype), in.freq, in.chans, in.fileSize, in.duration);
  if (line.size() > tunlo::kInfoLineMax) __builtin_trap();
  std::string time = tunlo::TimeText(in.seconds, in.ctype & 1, in.ctype & 2);
  if (time.size() > tunlo::kTimeTextMax) __builtin_trap();
  double place = tunlo::PositionPlace(in.position, in.length, 55);
  if (tunlo::PositionSlider(place, 55, u"[=|-]").size() != 54) __builtin_trap();
  (void)tunlo::PercentToBytes(in.length, tunlo::PlacePercent(in.seconds, 55));
  (void)tunlo::LevelMeter(in.left, in.right, 14);
  (void)tunlo::IntroMarks(in.length, in.position, in.fileSize);
  (void)tunlo::IntroJump(static_cast<int>(in.chans % 4), in.length, in.fileSize, in.position);
  (void)tunlo::FadeTimeMs(in.duration);
  if (size > sizeof in)
    (void)tunlo::FromUtf8(std::string(reinterpret_cast<const char*>(data) + sizeof in, size - sizeof in));
  return 0;
}
