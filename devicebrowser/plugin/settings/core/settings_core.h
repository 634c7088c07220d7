// The plugin's settings record and the one table that drives loading, saving and the
// configuration dialog. Every value is a string value of the plugin's settings key: switches are
// "Y" / "N" (on exactly when the first character is 'Y'), flag pairs two such characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace handrel::settings {

constexpr size_t kSettingsKeyBytes = 1024;
constexpr size_t kCommandPrefixChars = 20;  // the dialog's limit; longer stored values are cut
constexpr size_t kMaxValueBytes = 1000;     // a stored value longer than this is not read

struct FlagPair {
  bool ask = false;     // first character: ask before the jump
  bool toRoot = false;  // second character: to the root rather than the module's top
};

// One per process. Modules see it through their start-up record and touch only its first word.
struct PluginSettings {
  int32_t SettingsChanged = 0;  // set to 1 by a module whose configuration changed
  char SettingsKey[kSettingsKeyBytes] = {};
  char CommandPrefix[kCommandPrefixChars + 1] = "ppc";
  bool DebugInvoke = false;  // stored and written back unchanged
  bool UseDriveLetter = true;
  char DriveLetter[2] = "5";  // one character
  bool ShowInEditor = true;
  bool ShowInViewer = false;
  bool ShowInDialog = false;
  FlagPair CtrlSlash{true, true};
  FlagPair CtrlShiftSlash{false, false};
  char16_t ReplaceChar = u'-';
};
static_assert(offsetof(PluginSettings, SettingsChanged) == 0, "modules write the first word");

enum class SettingKind { Text, Switch, FlagPair, Character };

// A row of the table: the registry value and the record field it fills.
struct SettingField {
  const char* valueName;
  SettingKind kind;
  size_t offset;    // of the field in PluginSettings
  size_t capacity;  // bytes of a Text field, terminator included
};
extern const SettingField kSettingFields[];
extern const size_t kSettingFieldCount;  // 10, in the record's order

// Where values are read and written (the registry under HKEY_CURRENT_USER in the plugin).
class SettingsStore {
 public:
  // True with the value's text when the key and the value exist and the value is at most
  // kMaxValueBytes long; false leaves the default standing.
  virtual bool Read(const std::string& key, const char* name, std::string& value) = 0;
  // Creates the key when needed; false when it cannot (the value is then not written).
  virtual bool Write(const std::string& key, const char* name, const std::string& value) = 0;

 protected:
  ~SettingsStore() = default;
};

// The ANSI code page of the system, for the one-character ReplaceChar.
class AnsiCodec {
 public:
  virtual char16_t FromAnsi(char byte) const = 0;
  virtual char ToAnsi(char16_t ch) const = 0;  // a character without an ANSI form gives '?'

 protected:
  ~AnsiCodec() = default;
};

// The settings key: the host's root key, or "\Software\Kel\Plugins\" when it gives none (null or
// empty), then "Handrel" (with a backslash between when the root does not end in one). Cut to
// fit kSettingsKeyBytes.
std::string BuildSettingsKey(const char* hostRootKey);

// The text a field is stored as, and the field read back from a stored text.
std::string EncodeSetting(const PluginSettings& settings, const SettingField& field, const AnsiCodec& codec);
void DecodeSetting(PluginSettings& settings, const SettingField& field, std::string_view text,
                   const AnsiCodec& codec);

// Builds the settings key and reads every value, the current field being the default for a
// missing one (SettingsChanged is left alone).
void LoadSettings(PluginSettings& settings, const char* hostRootKey, SettingsStore& store, const AnsiCodec& codec);
// Writes every value of the table under the settings key; false when any write failed.
bool SaveSettings(const PluginSettings& settings, SettingsStore& store, const AnsiCodec& codec);

// A character a host file name can hold in place of one it cannot: anything but
// * ? : < > " | / and backslash, and not a control character (nor none at all).
bool IsValidReplaceChar(char16_t ch);
// The command prefix with spaces and tabs cut from both ends.
std::string TrimBlanks(std::string_view text);

}  // namespace handrel::settings
