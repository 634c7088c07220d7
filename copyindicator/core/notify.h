// Playing a notification slot: a sound file, a speaker pattern or nothing.
#pragma once

#include <string>

#include "copyindicator/core/settings.h"

namespace veloma {

// Where sounds go; the shell plays them, tests record them.
class SoundSink {
 public:
  virtual ~SoundSink() = default;
  virtual void PlayFile(const std::u16string& path) = 0;  // asynchronous; cuts a sound playing
  virtual void Beep(int frequency, int durationMs) = 0;   // waits for the tone
  virtual void Pause(int durationMs) = 0;
};

// Mode 1 plays the slot's file when one is set; mode 2 its beep pattern 1..17; else nothing.
void PlaySlot(const Settings& settings, int slot, SoundSink& sink);
// Plays a beep text as the custom pattern would (the beep editor's "Тест").
void PlayBeepText(const std::u16string& text, SoundSink& sink);

}  // namespace veloma
