#include "copyindicator/core/settings.h"

#include <cmath>
#include <string>

#include "copyindicator/core/bytes.h"

namespace veloma {
namespace {

// One row per DWORD setting drives both loading and saving.
struct DwordField {
  const char* name;
  uint32_t Settings::*field;
};
constexpr DwordField kDwordFields[] = {
    {"AlphaHover", &Settings::alphaHover},
    {"AlphaNoHover", &Settings::alphaNoHover},
    {"Fadetime", &Settings::fadeTime},
    {"Wndpos", &Settings::windowPos},
    {"Holdtime", &Settings::holdTime},
    {"Lineheight", &Settings::lineHeight},
    {"Linewidth", &Settings::lineWidth},
    {"NoNotifyTime", &Settings::noNotifyTime},
    {"NotifyIncludeWaits", &Settings::notifyIncludeWaits},
    {"NotifyUserAbort", &Settings::notifyUserAbort},
    {"ClickThrough", &Settings::clickThrough},
    {"HideInFullscreenApps", &Settings::hideInFullscreenApps},
};

std::string SlotName(const char* stem, int slot) { return stem + std::to_string(slot); }

std::u16string Capped(std::u16string text) {
  if (text.size() > kSlotTextMax) text.resize(kSlotTextMax);
  return text;
}

}  // namespace

Settings LoadSettings(SettingsStore& store) {
  Settings s;
  for (const DwordField& f : kDwordFields) {
    uint32_t value;
    if (store.GetDword(f.name, value)) s.*f.field = value;
  }
  uint8_t colors[kColorCount * 4];
  if (store.GetBinary("Colors", colors, sizeof colors))
    for (int i = 0; i < kColorCount; ++i) s.colors[static_cast<size_t>(i)] = Load32(colors + 4 * i);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    size_t at = static_cast<size_t>(slot);
    uint32_t flags;
    if (store.GetDword(SlotName("NotifyFlags", slot).c_str(), flags)) s.notifyFlags[at] = flags;
    std::u16string text;
    if (store.GetString(SlotName("NotifyWaveFile", slot).c_str(), text)) s.waveFile[at] = Capped(text);
    if (store.GetString(SlotName("NotifyCustomBeeps", slot).c_str(), text)) s.customBeeps[at] = Capped(text);
  }
  return s;
}

void SaveSettings(const Settings& s, SettingsStore& store) {
  for (const DwordField& f : kDwordFields) store.SetDword(f.name, s.*f.field);
  uint8_t colors[kColorCount * 4];
  for (int i = 0; i < kColorCount; ++i) Store32(colors + 4 * i, s.colors[static_cast<size_t>(i)]);
  store.SetBinary("Colors", colors, sizeof colors);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    size_t at = static_cast<size_t>(slot);
    store.SetDword(SlotName("NotifyFlags", slot).c_str(), s.notifyFlags[at]);
    if (s.waveFile[at]) store.SetString(SlotName("NotifyWaveFile", slot).c_str(), *s.waveFile[at]);
    if (s.customBeeps[at]) store.SetString(SlotName("NotifyCustomBeeps", slot).c_str(), *s.customBeeps[at]);
  }
}

int OpacityToTransparency(uint32_t opacity) {
  return 100 - static_cast<int>(std::lround(static_cast<double>(opacity) * 100.0 / 255.0));
}

uint32_t TransparencyToOpacity(int transparency) {
  return static_cast<uint32_t>(std::lround((25500.0 - transparency * 255.0) / 100.0));
}

}  // namespace veloma
