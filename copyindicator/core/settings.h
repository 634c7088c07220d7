// The program's settings: one record, loaded once at start from "Software\Veloma" and saved at
// exit, at session end and when the settings dialog is confirmed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace veloma {

constexpr int kSlotCount = 3;      // 0 a job finished, 1 all jobs finished, 2 a job needs attention
constexpr int kColorCount = 12;
constexpr size_t kSlotTextMax = 259;  // sound file and custom beep text, characters

enum NotifyMode : uint16_t { kSilent = 0, kPlayFile = 1, kSpeakerBeeps = 2 };

// Colour roles by index, as stored in "Colors".
enum ColorIndex : int {
  kRunningTop = 0, kRunningBottom = 1, kAttentionTop = 2, kAttentionBottom = 3,
  kPausedTop = 4, kPausedBottom = 5, kWaitingTop = 6, kWaitingBottom = 7,
  kBackground = 8, kHoverOutline = 9, kBarOutline = 10, kBarEmpty = 11,
};

struct Settings {
  uint32_t alphaHover = 229;
  uint32_t alphaNoHover = 76;
  uint32_t fadeTime = 500;
  uint32_t windowPos = 0;  // x low 16 bits, y high 16 bits
  uint32_t holdTime = 3000;
  uint32_t lineHeight = 10;
  uint32_t lineWidth = 250;
  std::array<uint32_t, kColorCount> colors{0xFFD7FFD7, 0xFF00CE00, 0xFFFFB9B9, 0xFFFF1515,
                                           0xFFEFF1F1, 0xFFA2BABF, 0xFFF0F0E1, 0xFF9D9D53,
                                           0xFFB7E2F0, 0xFF8888E3, 0xFFA3D1D1, 0xFFD2F5FF};
  std::array<uint32_t, kSlotCount> notifyFlags{};  // low 16 bits mode, high 16 bits pattern 1..17
  // UTF-16 texts; nullopt means "not set", which saving leaves as stored.
  std::array<std::optional<std::u16string>, kSlotCount> waveFile;
  std::array<std::optional<std::u16string>, kSlotCount> customBeeps;
  uint32_t noNotifyTime = 10000;
  uint32_t notifyIncludeWaits = 0;
  uint32_t notifyUserAbort = 0;
  uint32_t clickThrough = 0;
  uint32_t hideInFullscreenApps = 0;
};

inline uint16_t SlotMode(uint32_t flags) { return static_cast<uint16_t>(flags & 0xFFFF); }
inline uint16_t SlotPattern(uint32_t flags) { return static_cast<uint16_t>(flags >> 16); }
inline uint32_t MakeSlotFlags(uint16_t mode, uint16_t pattern) {
  return static_cast<uint32_t>(mode) | (static_cast<uint32_t>(pattern) << 16);
}

// Where settings live; the shell implements it over the registry key, tests over a map.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Each getter answers false when the value is missing, of another type or of another size.
  virtual bool GetDword(const char* name, uint32_t& value) = 0;
  virtual bool GetBinary(const char* name, uint8_t* data, size_t size) = 0;
  virtual bool GetString(const char* name, std::u16string& value) = 0;
  // Setters ignore failures: a setting that cannot be written keeps its stored value.
  virtual void SetDword(const char* name, uint32_t value) = 0;
  virtual void SetBinary(const char* name, const uint8_t* data, size_t size) = 0;
  virtual void SetString(const char* name, const std::u16string& value) = 0;
};

// Missing or unreadable values give the defaults; values are taken as stored, not range-checked.
Settings LoadSettings(SettingsStore& store);
// Writes every number and "Colors", and each slot text only when it is set.
void SaveSettings(const Settings& settings, SettingsStore& store);

// The dialog shows opacities 0..255 as transparency in percent.
int OpacityToTransparency(uint32_t opacity);      // 100 - round(opacity * 100 / 255)
uint32_t TransparencyToOpacity(int transparency);  // round((25500 - t * 255) / 100)

inline uint32_t PackPosition(int x, int y) {
  return (static_cast<uint32_t>(x) & 0xFFFF) | ((static_cast<uint32_t>(y) & 0xFFFF) << 16);
}
inline int PositionX(uint32_t packed) { return static_cast<int16_t>(packed & 0xFFFF); }
inline int PositionY(uint32_t packed) { return static_cast<int16_t>(packed >> 16); }

}  // namespace veloma
