#include "copyindicator/core/notify.h"

#include "copyindicator/core/beeps.h"

namespace veloma {
namespace {

void PlayTones(const std::vector<Tone>& tones, SoundSink& sink) {
  for (const Tone& t : tones) {
    if (t.silence) sink.Pause(t.duration);
    else sink.Beep(t.frequency, t.duration);
  }
}

}  // namespace

void PlaySlot(const Settings& settings, int slot, SoundSink& sink) {
  if (slot < 0 || slot >= kSlotCount) return;
  size_t at = static_cast<size_t>(slot);
  uint32_t flags = settings.notifyFlags[at];
  if (SlotMode(flags) == kPlayFile) {
    if (settings.waveFile[at] && !settings.waveFile[at]->empty()) sink.PlayFile(*settings.waveFile[at]);
  } else if (SlotMode(flags) == kSpeakerBeeps) {
    PlayTones(BeepPattern(SlotPattern(flags), settings.customBeeps[at].value_or(u"")), sink);
  }
}

void PlayBeepText(const std::u16string& text, SoundSink& sink) { PlayTones(ParseCustomBeeps(text), sink); }

}  // namespace veloma
