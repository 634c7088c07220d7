#include "player/core/settings.h"

#include <algorithm>

namespace tunlo {

namespace {

// Expand: an expandable string that an empty text does not overwrite.
enum class Kind { Dword, Int, Wide, Expand, EightBit, Colors };

// One row per stored value, in the order they are read and written.
struct Row {
  const char* name;
  Kind kind;
  uint32_t Settings::*dword = nullptr;
  int32_t Settings::*integer = nullptr;
  std::u16string Settings::*wide = nullptr;
  std::string Settings::*eightBit = nullptr;
  size_t limitBytes = 0;  // strings: the longest value taken, terminator included
};

Row D(const char* n, uint32_t Settings::*m) { return Row{n, Kind::Dword, m}; }
Row I(const char* n, int32_t Settings::*m) { return Row{n, Kind::Int, nullptr, m}; }
Row W(const char* n, std::u16string Settings::*m, size_t limit) {
  return Row{n, Kind::Wide, nullptr, nullptr, m, nullptr, limit};
}
Row X(const char* n, std::u16string Settings::*m, size_t limit) {
  return Row{n, Kind::Expand, nullptr, nullptr, m, nullptr, limit};
}

const std::vector<Row>& Table() {
  static const std::vector<Row> rows = {
      D("DemoMode", &Settings::demoMode),
      D("Autonext", &Settings::autonext),
      D("RemainTime", &Settings::remainTime),
      D("Dlgpos", &Settings::dlgpos),
      D("Dlgsize", &Settings::dlgsize),
      I("Volume", &Settings::volume),
      D("Maximized", &Settings::maximized),
      D("VolumeBars", &Settings::volumeBars),
      D("RedrawPanels", &Settings::redrawPanels),
      W("PosSliderChars", &Settings::posSliderChars, 12),
      W("VolSliderChars", &Settings::volSliderChars, 34),
      W("ButtonsChars", &Settings::buttonsChars, 12),
      W("PanSliderChars", &Settings::panSliderChars, 14),
      X("ExtPlayerPath", &Settings::extPlayerPath, 66058),
      X("ExtPlayerPlay", &Settings::extPlayerPlay, 256),
      X("ExtPlayerAddToPlaylist", &Settings::extPlayerAddToPlaylist, 256),
      I("ExtPlayerDefAction", &Settings::extPlayerDefAction),
      Row{"TagsTemplate", Kind::EightBit, nullptr, nullptr, nullptr, &Settings::tagsTemplate, 200},
      Row{"Colors", Kind::Colors},
      D("VisibleLinesMask", &Settings::visibleLinesMask),
      D("Showms", &Settings::showms),
  };
  return rows;
}

std::optional<uint32_t> AsDword(const RawValue& v) {
  if (v.type != ValueType::Dword || v.bytes.size() != 4) return std::nullopt;
  return static_cast<uint32_t>(v.bytes[0] | (v.bytes[1] << 8) | (v.bytes[2] << 16)) |
         (static_cast<uint32_t>(v.bytes[3]) << 24);
}

// A UTF-16LE text up to its first terminator; none when the value is not a string or too long.
std::optional<std::u16string> AsWide(const RawValue& v, size_t limit) {
  if (v.type != ValueType::String && v.type != ValueType::ExpandString) return std::nullopt;
  if (v.bytes.size() > limit) return std::nullopt;
  std::u16string out;
  for (size_t i = 0; i + 1 < v.bytes.size(); i += 2) {
    char16_t c = static_cast<char16_t>(v.bytes[i] | (v.bytes[i + 1] << 8));
    if (c == 0) break;
    out += c;
  }
  return out;
}

std::optional<std::string> AsEightBit(const RawValue& v, size_t limit) {
  if (v.type != ValueType::String && v.type != ValueType::ExpandString) return std::nullopt;
  if (v.bytes.size() > limit) return std::nullopt;
  std::string out;
  for (uint8_t b : v.bytes) {
    if (b == 0) break;
    out += static_cast<char>(b);
  }
  return out;
}

uint32_t ForceHeight(uint32_t dlgsize) {
  return (dlgsize & 0xFFFFu) | (static_cast<uint32_t>(kDialogHeight) << 16);
}

}  // namespace

int Settings::Width() const {
  return std::clamp(static_cast<int>(dlgsize & 0xFFFFu), kMinDialogWidth, kMaxDialogWidth);
}

RawValue DwordValue(uint32_t v) {
  return RawValue{ValueType::Dword,
                  {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                   static_cast<uint8_t>(v >> 24)}};
}

RawValue WideValue(const std::u16string& text, ValueType type) {
  RawValue v{type, {}};
  for (char16_t c : text) {
    v.bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    v.bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  v.bytes.push_back(0);
  v.bytes.push_back(0);
  return v;
}

RawValue EightBitValue(const std::string& text) {
  RawValue v{ValueType::String, std::vector<uint8_t>(text.begin(), text.end())};
  v.bytes.push_back(0);
  return v;
}

Settings LoadSettings(SettingsStore& store) {
  Settings s;
  for (const Row& row : Table()) {
    auto raw = store.Read(row.name, row.kind == Kind::EightBit);
    if (!raw) continue;
    switch (row.kind) {
      case Kind::Dword:
        if (auto d = AsDword(*raw)) s.*row.dword = *d;
        break;
      case Kind::Int:
        if (auto d = AsDword(*raw)) s.*row.integer = static_cast<int32_t>(*d);
        break;
      case Kind::Wide:
      case Kind::Expand:
        if (auto w = AsWide(*raw, row.limitBytes)) s.*row.wide = *w;
        break;
      case Kind::EightBit:
        if (auto a = AsEightBit(*raw, row.limitBytes)) s.*row.eightBit = *a;
        break;
      case Kind::Colors:
        if (raw->type == ValueType::Binary && raw->bytes.size() == s.colors.size())
          std::copy(raw->bytes.begin(), raw->bytes.end(), s.colors.begin());
        break;
    }
  }
  s.normalPos = s.dlgpos;
  s.dlgsize = ForceHeight(s.dlgsize);
  s.volume = std::clamp(s.volume, 0, kVolumeWidth - 2);
  return s;
}

void SaveSettings(SettingsStore& store, Settings s) {
  s.dlgsize = ForceHeight(s.dlgsize);
  for (const Row& row : Table()) {
    switch (row.kind) {
      case Kind::Dword:
        store.Write(row.name, DwordValue(s.*row.dword), false);
        break;
      case Kind::Int:
        store.Write(row.name, DwordValue(static_cast<uint32_t>(s.*row.integer)), false);
        break;
      case Kind::Wide:
        store.Write(row.name, WideValue(s.*row.wide), false);
        break;
      case Kind::Expand:
        if (!(s.*row.wide).empty()) store.Write(row.name, WideValue(s.*row.wide, ValueType::ExpandString), false);
        break;
      case Kind::EightBit:
        store.Write(row.name, EightBitValue(s.*row.eightBit), true);
        break;
      case Kind::Colors:
        store.Write(row.name, RawValue{ValueType::Binary, std::vector<uint8_t>(s.colors.begin(), s.colors.end())},
                    false);
        break;
    }
  }
}

std::vector<std::string> SettingNames() {
  std::vector<std::string> names;
  for (const Row& row : Table()) names.push_back(row.name);
  return names;
}

std::optional<RawValue> MemoryStore::Read(const char* name, bool) {
  auto it = values.find(name);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

void MemoryStore::Write(const char* name, const RawValue& value, bool) {
  values[name] = value;
  writes.push_back(name);
}

}  // namespace tunlo
