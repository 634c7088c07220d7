#include "devicebrowser/plugin/settings/core/settings_core.h"

#include <cstring>

namespace handrel::settings {

namespace {
#define HANDREL_FIELD(name, kind, member) \
  { name, SettingKind::kind, offsetof(PluginSettings, member), sizeof(PluginSettings::member) }
}  // namespace

const SettingField kSettingFields[] = {
    HANDREL_FIELD("CommandPrefix", Text, CommandPrefix),
    HANDREL_FIELD("DebugInvoke", Switch, DebugInvoke),
    HANDREL_FIELD("UseDriveLetter", Switch, UseDriveLetter),
    HANDREL_FIELD("DriveLetter", Text, DriveLetter),
    HANDREL_FIELD("ShowInEditor", Switch, ShowInEditor),
    HANDREL_FIELD("ShowInViewer", Switch, ShowInViewer),
    HANDREL_FIELD("ShowInDialog", Switch, ShowInDialog),
    HANDREL_FIELD("CtrlSlash", FlagPair, CtrlSlash),
    HANDREL_FIELD("CtrlShiftSlash", FlagPair, CtrlShiftSlash),
    HANDREL_FIELD("ReplaceChar", Character, ReplaceChar),
};
#undef HANDREL_FIELD
const size_t kSettingFieldCount = sizeof(kSettingFields) / sizeof(kSettingFields[0]);

namespace {

template <typename T>
T& FieldOf(PluginSettings& settings, const SettingField& field) {
  return *reinterpret_cast<T*>(reinterpret_cast<char*>(&settings) + field.offset);
}
template <typename T>
const T& FieldOf(const PluginSettings& settings, const SettingField& field) {
  return *reinterpret_cast<const T*>(reinterpret_cast<const char*>(&settings) + field.offset);
}

char YesNo(bool on) { return on ? 'Y' : 'N'; }
bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

// One explicit truncating copy into a fixed field.
void CopyText(char* field, size_t capacity, std::string_view text) {
  size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  if (n) std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

}  // namespace

std::string BuildSettingsKey(const char* hostRootKey) {
  std::string key = hostRootKey && *hostRootKey ? hostRootKey : "\\Software\\Kel\\Plugins\\";
  if (key.back() != '\\') key += '\\';
  key += "Handrel";
  if (key.size() >= kSettingsKeyBytes) key.resize(kSettingsKeyBytes - 1);
  return key;
}

std::string EncodeSetting(const PluginSettings& settings, const SettingField& field, const AnsiCodec& codec) {
  switch (field.kind) {
    case SettingKind::Text: {
      const char* text = &FieldOf<char>(settings, field);
      return std::string(text, strnlen(text, field.capacity));
    }
    case SettingKind::Switch:
      return std::string(1, YesNo(FieldOf<bool>(settings, field)));
    case SettingKind::FlagPair: {
      const FlagPair& pair = FieldOf<FlagPair>(settings, field);
      return {YesNo(pair.ask), YesNo(pair.toRoot)};
    }
    case SettingKind::Character:
      return std::string(1, codec.ToAnsi(FieldOf<char16_t>(settings, field)));
  }
  return {};
}

void DecodeSetting(PluginSettings& settings, const SettingField& field, std::string_view text,
                   const AnsiCodec& codec) {
  switch (field.kind) {
    case SettingKind::Text:
      CopyText(&FieldOf<char>(settings, field), field.capacity, text);
      break;
    case SettingKind::Switch:
      FieldOf<bool>(settings, field) = !text.empty() && text[0] == 'Y';
      break;
    case SettingKind::FlagPair: {
      FlagPair& pair = FieldOf<FlagPair>(settings, field);
      pair.ask = text.size() > 0 && text[0] == 'Y';
      pair.toRoot = text.size() > 1 && text[1] == 'Y';
      break;
    }
    case SettingKind::Character:
      // An empty stored value holds no character: the current one stays.
      if (!text.empty()) FieldOf<char16_t>(settings, field) = codec.FromAnsi(text[0]);
      break;
  }
}

void LoadSettings(PluginSettings& settings, const char* hostRootKey, SettingsStore& store, const AnsiCodec& codec) {
  CopyText(settings.SettingsKey, sizeof settings.SettingsKey, BuildSettingsKey(hostRootKey));
  for (size_t i = 0; i < kSettingFieldCount; ++i) {
    const SettingField& field = kSettingFields[i];
    std::string value = EncodeSetting(settings, field, codec);  // the current field is the default
    if (store.Read(settings.SettingsKey, field.valueName, value) && value.size() <= kMaxValueBytes)
      DecodeSetting(settings, field, value, codec);
  }
}

bool SaveSettings(const PluginSettings& settings, SettingsStore& store, const AnsiCodec& codec) {
  bool all = true;
  for (size_t i = 0; i < kSettingFieldCount; ++i) {
    const SettingField& field = kSettingFields[i];
    all = store.Write(settings.SettingsKey, field.valueName, EncodeSetting(settings, field, codec)) && all;
  }
  return all;
}

bool IsValidReplaceChar(char16_t ch) {
  if (ch < 0x20) return false;  // an empty field or a control character is no name character
  for (char16_t bad : u"*?:<>\"|/\\")
    if (bad != 0 && ch == bad) return false;
  return true;
}

std::string TrimBlanks(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

}  // namespace handrel::settings
