// The renamer's settings: every value with its default, driven by one table of rows; loading,
// saving, the template history, and the conversions of the configuration dialog.
//
// The settings reach the registry only through SettingsStore, which the shell implements over
// the Win32 registry (below HKEY_CURRENT_USER and the host's root key) and the tests in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "renamer/core/engine.h"

namespace quillet {

// A key/value store of registry shape. Keys are paths relative to the host's root settings key,
// parts separated by "\\" ("Quillet\\Shortcuts").
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual bool OpenKey(const std::u16string& key) = 0;    // true when the key exists and can be read
  virtual bool CreateKey(const std::u16string& key) = 0;  // creates it (and its parents) or opens it
  virtual bool DeleteKey(const std::u16string& key) = 0;  // a key without subkeys; false when it failed
  virtual std::optional<uint32_t> ReadDword(const std::u16string& key, const std::u16string& name) = 0;
  // The stored characters as they are, terminator included when the writer stored one; absent
  // when the value is missing, not a string, or longer than maxBytes.
  virtual std::optional<std::u16string> ReadString(const std::u16string& key, const std::u16string& name,
                                                   uint32_t maxBytes) = 0;
  virtual bool WriteDword(const std::u16string& key, const std::u16string& name, uint32_t value) = 0;
  virtual bool WriteString(const std::u16string& key, const std::u16string& name, const std::u16string& text) = 0;
  virtual std::vector<std::u16string> EnumValues(const std::u16string& key) = 0;
};

inline constexpr std::u16string_view kSettingsKey = u"Quillet";
inline constexpr std::u16string_view kShortcutsSubkey = u"Shortcuts";
inline constexpr std::u16string_view kHistorySubkey = u"TemplateHist";
// "WordDelimitChars" is read up to this many bytes.
inline constexpr uint32_t kDelimitersMaxBytes = 4096;
// A history entry is read up to this many bytes: a template of the longest the Construct
// dialog's field takes (4096 characters) and its terminator.
inline constexpr uint32_t kHistoryEntryMaxBytes = (4096 + 1) * 2;
// A stored history count above this is taken as this many: the count comes from the registry
// and would otherwise size the history.
inline constexpr uint32_t kHistoryReadLimit = 4096;

struct Settings {
  uint32_t multipleEntries = 0;
  uint32_t editorEntry = 1;
  uint32_t defaultDialogType = 0;
  uint32_t saveLastDialogType = 1;
  uint32_t lastDialogType = 0;
  uint32_t useDialogShortcuts = 1;
  uint32_t renameFolders = 0;
  uint32_t confirmDialogCancel = 1;
  uint32_t confirmPreviewCancel = 1;
  uint32_t confirmRenameCancel = 1;
  uint32_t confirmRename = 1;
  uint32_t confirmRenameProb = 1;
  uint32_t confirmSwitch = 1;
  uint32_t warnOnExtRemove = 1;
  uint32_t confirmEditResetCurr = 1;
  uint32_t confirmEditResetAll = 1;
  uint32_t renameDupCheck = 1;
  uint32_t renameDupMax = 1000;
  uint32_t previewDupCheck = 1;
  uint32_t previewDupMax = 1000;
  uint32_t convertExtensionCase = 0;
  std::u16string wordDelimitChars{kDefaultWordDelimiters};
  uint32_t autoResolve = 0;
  uint32_t autoResolveType = 0;
  uint32_t autoIgnoreOther = 0;
  uint32_t autoResolveSuffix = 0;
  uint32_t autoResolveMax = 0xFFFFFFFFu;
  uint32_t showRenameSummary = 1;
  uint32_t summaryOnErrorOnly = 1;
  uint32_t autoRollbackCancel = 0;
  uint32_t saveTemplateHistory = 1;
  uint32_t templateHistoryMax = 10;
  uint32_t templateHistoryCnt = 0;
  uint32_t sequenceProcessOrder = 0;
  uint32_t sequenceHexUppercase = 1;
  uint32_t saveLastSeqStart = 1;
  uint32_t lastSeqStart = 1;

  // "Shortcuts" subkey.
  uint32_t keyPreview = 0x10074;
  uint32_t keySwitch = 0x10075;
  uint32_t keyCase = 0x2000043;
  uint32_t keyCaseTitle = 0x2000054;
  uint32_t keyCaseLower = 0x200004C;
  uint32_t keyCaseUpper = 0x2000055;
  uint32_t keyManReplace = 0x2000052;
  uint32_t keyManPrefix = 0x2000050;
  uint32_t keyManSuffix = 0x2000053;
  uint32_t keyManRemove = 0x200004D;
  uint32_t keyManExt = 0x2000045;
  uint32_t keyManExtAdd = 0x2000041;
  uint32_t keyConstTemplate = 0x2000054;
  uint32_t keyConstSequence = 0x2000053;
  uint32_t keyConstHex = 0x2000048;
  uint32_t keyConstExt = 0x2000045;
  uint32_t keyConstClear = 0x2000058;
  uint32_t posCase = 0;
  uint32_t posManReplace = 0;
  uint32_t posManPrefix = 0;
  uint32_t posManSuffix = 0;
  uint32_t posManRemove = 2;
  uint32_t posManExt = 0;

  // "TemplateHist" subkey, most recent first; templateHistoryCnt entries.
  std::vector<std::u16string> history;

  // The rules a computation reads: the preview's or the rename's duplicate check.
  ComputeRules Rules(bool forRename) const;
};

// ---- The table ---------------------------------------------------------------------------------
//
// One row per registry value, and per control of the configuration dialog, in the order the
// dialog shows them; the values the dialog does not show follow. The rows drive loading, saving
// and the dialog (its controls, what they show, what is taken back); the defaults are those of
// Settings.

enum class RowKind {
  kFlag,              // 0 or 1: a check box
  kNumber,            // 32-bit: an edit field of up to kNumberFieldChars showing "%u"
  kChoice,            // 0 .. choice count - 1: a group of radio buttons
  kText,              // a string: an edit field
  kClearHistoryBox,   // the dialog's box for clearing the history: shown, never stored
  kDecoration,        // a frame, label, separator or button of the dialog: nothing stored
};

// How the configuration dialog shows a row (kNone: not at all). The shell maps these to the
// host's dialog items.
enum class Control { kNone, kFrame, kLabel, kSeparator, kCheck, kEdit, kRadios, kButton, kDefaultButton };

struct RadioChoice {
  int message = -1;  // its label
  int x = 0;
};

struct SettingRow {
  const char16_t* name = nullptr;  // registry value; null for what only the dialog has
  RowKind kind = RowKind::kDecoration;
  bool shortcuts = false;          // stored in the "Shortcuts" subkey
  uint32_t Settings::*number = nullptr;            // kFlag, kNumber, kChoice
  std::u16string Settings::*text = nullptr;        // kText
  uint32_t zeroStoredAs = 0;       // kNumber: a 0 typed in the dialog is stored as this (0: as 0)

  // The dialog: the control, its label (message, -1 for none) and place. An edit's label stands
  // at (x1, y1) and its field from editX1 to x2; radio buttons follow their label on row y1.
  Control control = Control::kNone;
  int message = -1;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int editX1 = 0;
  RadioChoice choices[3];
  uint32_t choiceCount = 0;        // kChoice: values 0 .. choiceCount - 1
};

inline constexpr size_t kNumberFieldChars = 10;

const std::vector<SettingRow>& SettingRows();
// The row of a registry value, or null.
const SettingRow* FindRow(std::u16string_view name);

// Load: defaults first, then every value that exists. False (the settings reset to defaults)
// when the "Quillet" key or its "Shortcuts" subkey cannot be opened, or memory ran out.
bool LoadSettings(SettingsStore& store, Settings* settings);
// Save: refuses (false, nothing written) unless the history holds exactly templateHistoryCnt
// entries; otherwise deletes the key and writes it again. False when a key cannot be made or a
// value not written.
bool SaveSettings(SettingsStore& store, const Settings& settings);
// At the plugin's start: when the "Quillet" key does not exist, save the defaults. True when
// the defaults were written.
bool CreateDefaultsIfMissing(SettingsStore& store);

// Adds a Construct template to the history (the caller checks "SaveTemplateHistory").
void AddTemplateToHistory(Settings* settings, const std::u16string& text);
// Empties the history (the count follows).
void ClearHistory(Settings* settings);

// ---- The configuration dialog ------------------------------------------------------------------

// What one row's control shows and, once confirmed, holds: a check box's state, the chosen
// radio button's value, an edit field's text.
struct DialogValue {
  bool checked = false;
  uint32_t choice = 0;
  std::u16string text;
};

// The values the dialog opens with, one per row of SettingRows(): numbers shown with "%u", a
// stored choice outside its buttons shown as the first.
std::vector<DialogValue> DialogValuesOf(const Settings& settings);

// What confirming the dialog does with its values (one per row). Numbers are read as decimal
// (low 32 bits) and a 0 becomes the row's zeroStoredAs (the resolution maximum 0xFFFFFFFE, the
// history maximum 1); an empty delimiter field restores the default set. Then: when the clear
// box is checked, the history is on and not empty, `askClear` is called and true empties the
// history; switching the history off empties it. The caller saves.
template <class AskClear>
void ApplyConfig(const std::vector<DialogValue>& values, Settings* settings, AskClear&& askClear);
// The first part alone; returns whether the clear box was checked.
bool TakeDialogValues(const std::vector<DialogValue>& values, Settings* settings);

template <class AskClear>
void ApplyConfig(const std::vector<DialogValue>& values, Settings* settings, AskClear&& askClear) {
  const bool clear = TakeDialogValues(values, settings);
  if (clear && settings->saveTemplateHistory && !settings->history.empty()) {
    if (askClear()) ClearHistory(settings);
  }
  if (!settings->saveTemplateHistory) ClearHistory(settings);
}

}  // namespace quillet
