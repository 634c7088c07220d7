// Tunlo's persistent settings: one table drives loading (with the defaults and the limits),
// saving and the clamping that follows a load. The store behind it is a seam: the registry in
// the plugin, a map in the tests.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tunlo {

// Value types as the store keeps them (the registry's numbering).
enum class ValueType : uint32_t { String = 1, ExpandString = 2, Binary = 3, Dword = 4 };

struct RawValue {
  ValueType type = ValueType::Binary;
  std::vector<uint8_t> bytes;  // strings: UTF-16LE (8-bit for the template), with the terminator
};

// The settings store: one key's values by name. Failures are quiet: a value that cannot be read
// is missing, a value that cannot be written stays as it was.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // `eightBit`: read a string value as 8-bit text (the tag template).
  virtual std::optional<RawValue> Read(const char* name, bool eightBit) = 0;
  virtual void Write(const char* name, const RawValue& value, bool eightBit) = 0;
};

constexpr int kVolumeWidth = 16;   // volume slider buffer (15 cells, places 0..14)
constexpr int kBalanceWidth = 14;  // balance slider buffer (13 cells, places 1..11)
constexpr int kMeterWidth = 14;    // level meter buffer
constexpr int kDialogHeight = 10;
constexpr int kMinDialogWidth = 70;   // the items' places need the default width
constexpr int kMaxDialogWidth = 1000;

struct Settings {
  uint32_t demoMode = 0;
  uint32_t autonext = 0;
  uint32_t remainTime = 0;
  uint32_t dlgpos = 0xFFFFFFFF;      // x low 16 bits, y high; all ones: centred
  uint32_t normalPos = 0xFFFFFFFF;   // remembered for leaving the maximised size
  uint32_t dlgsize = 0x000A0046;     // width low 16 bits, height high
  int32_t volume = kVolumeWidth / 2;
  uint32_t maximized = 0;
  uint32_t volumeBars = 1;
  uint32_t redrawPanels = 1;
  std::u16string posSliderChars = u"[=|-]";
  std::u16string volSliderChars = u".:|_";
  std::u16string buttonsChars = u"<\u25BA>\u25A0\u2551";
  std::u16string panSliderChars = u"L=<C>R";
  std::u16string extPlayerPath;
  std::u16string extPlayerPlay;
  std::u16string extPlayerAddToPlaylist;
  int32_t extPlayerDefAction = -1;  // -1 none (menu), 0 play, 1 add to the playlist
  std::string tagsTemplate = "%UTF8(%IFV1(%ARTI,%ARTI)%IFV1(%TITL, - %TITL)%IFV1(%ALBM, - %ALBM))";
  std::array<uint8_t, 14> colors = {0x8F, 0x06, 0x6E, 0x8F, 0x3B, 0x02, 0x8B,
                                    0x87, 0x8A, 0x8E, 0x87, 0x8F, 0x8F, 0x8F};
  uint32_t visibleLinesMask = 255;
  uint32_t showms = 1;

  // The normal width, within kMinDialogWidth..kMaxDialogWidth.
  int Width() const;
};

// Reads every value (missing, unreadable, of the wrong type or longer than its limit: the
// default), then forces the height to 10 and holds the volume to 0..14.
Settings LoadSettings(SettingsStore& store);

// Writes every value; the external player's program and templates only when not empty (an
// empty one leaves the stored value). The height is forced to 10 first.
void SaveSettings(SettingsStore& store, Settings settings);

// The table's names in order, for tests and tools.
std::vector<std::string> SettingNames();

// A store in memory (tests, tools).
class MemoryStore : public SettingsStore {
 public:
  std::optional<RawValue> Read(const char* name, bool eightBit) override;
  void Write(const char* name, const RawValue& value, bool eightBit) override;
  std::map<std::string, RawValue> values;
  std::vector<std::string> writes;  // names in the order written
};

// Encoders for tests and the store: a DWORD, UTF-16LE text with its terminator, 8-bit text.
RawValue DwordValue(uint32_t v);
RawValue WideValue(const std::u16string& text, ValueType type = ValueType::String);
RawValue EightBitValue(const std::string& text);

}  // namespace tunlo
