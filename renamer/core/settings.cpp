#include "renamer/core/settings.h"

#include <algorithm>
#include <initializer_list>
#include <new>

namespace quillet {

namespace {

std::u16string Key() { return std::u16string(kSettingsKey); }
std::u16string Subkey(std::u16string_view name) { return Key() + u"\\" + std::u16string(name); }

std::u16string DecimalText(uint32_t value) {
  std::u16string text;
  FormatSequence(&text, value, 0, false, false);
  return text;
}

}  // namespace

// ---- The table ---------------------------------------------------------------------------------

namespace {

using S = Settings;

SettingRow Stored(const char16_t* name, RowKind kind, uint32_t S::*field) {
  SettingRow row;
  row.name = name;
  row.kind = kind;
  row.number = field;
  return row;
}
SettingRow Flag(const char16_t* name, uint32_t S::*field) { return Stored(name, RowKind::kFlag, field); }
SettingRow Number(const char16_t* name, uint32_t S::*field) { return Stored(name, RowKind::kNumber, field); }
SettingRow Shortcut(const char16_t* name, uint32_t S::*field) {
  SettingRow row = Stored(name, RowKind::kNumber, field);
  row.shortcuts = true;
  return row;
}

// Rows with their place in the configuration dialog.
SettingRow Check(SettingRow row, int message, int x, int y) {
  row.control = Control::kCheck;
  row.message = message;
  row.x1 = x;
  row.y1 = y;
  return row;
}
SettingRow Edit(SettingRow row, int label, int labelX, int x1, int x2, int y) {
  row.control = Control::kEdit;
  row.message = label;
  row.x1 = labelX;
  row.editX1 = x1;
  row.x2 = x2;
  row.y1 = y;
  return row;
}
SettingRow Radios(const char16_t* name, uint32_t S::*field, int label, int labelX, int y,
                  std::initializer_list<RadioChoice> choices) {
  SettingRow row = Stored(name, RowKind::kChoice, field);
  row.control = Control::kRadios;
  row.message = label;
  row.x1 = labelX;
  row.y1 = y;
  for (const RadioChoice& c : choices) row.choices[row.choiceCount++] = c;
  return row;
}
SettingRow Decoration(Control control, int message, int x1, int y1, int x2 = 0, int y2 = 0) {
  SettingRow row;
  row.control = control;
  row.message = message;
  row.x1 = x1;
  row.y1 = y1;
  row.x2 = x2;
  row.y2 = y2;
  return row;
}
SettingRow Label(int message, int x, int y) { return Decoration(Control::kLabel, message, x, y); }
SettingRow Separator(int y, int message = -1) { return Decoration(Control::kSeparator, message, -1, y); }

}  // namespace

const std::vector<SettingRow>& SettingRows() {
  static const std::vector<SettingRow> rows = [] {
    SettingRow delimiters;
    delimiters.name = u"WordDelimitChars";
    delimiters.kind = RowKind::kText;
    delimiters.text = &S::wordDelimitChars;
    SettingRow resolveMax = Number(u"AutoResolveMax", &S::autoResolveMax);
    resolveMax.zeroStoredAs = 0xFFFFFFFEu;
    SettingRow historyMax = Number(u"TemplateHistoryMax", &S::templateHistoryMax);
    historyMax.zeroStoredAs = 1;
    SettingRow clear = Check(SettingRow{}, 124, 7, 23);
    clear.kind = RowKind::kClearHistoryBox;
    return std::vector<SettingRow>{
        // The configuration dialog (84 x 35), two columns in its upper part.
        Decoration(Control::kFrame, 86, 3, 1, 80, 33),
        Label(87, 5, 2),
        Check(Flag(u"ConfirmDialogCancel", &S::confirmDialogCancel), 88, 5, 3),
        Check(Flag(u"ConfirmSwitch", &S::confirmSwitch), 89, 5, 4),
        Check(Flag(u"ConfirmRename", &S::confirmRename), 90, 5, 5),
        Check(Flag(u"ConfirmRenameProb", &S::confirmRenameProb), 91, 5, 6),
        Check(Flag(u"ConfirmRenameCancel", &S::confirmRenameCancel), 92, 5, 7),
        Check(Flag(u"ConfirmPreviewCancel", &S::confirmPreviewCancel), 93, 5, 8),
        Check(Flag(u"WarnOnExtRemove", &S::warnOnExtRemove), 94, 5, 9),
        Label(95, 44, 2),
        Check(Flag(u"RenameFolders", &S::renameFolders), 96, 44, 3),
        Check(Flag(u"ConvertExtensionCase", &S::convertExtensionCase), 97, 44, 4),
        Check(Flag(u"AutoRollbackCancel", &S::autoRollbackCancel), 98, 44, 5),
        Check(Flag(u"MultipleEntries", &S::multipleEntries), 99, 44, 6),
        Check(Flag(u"SaveLastDialogType", &S::saveLastDialogType), 100, 44, 7),
        Label(101, 44, 8),
        Radios(u"DefaultDialogType", &S::defaultDialogType, -1, 44, 9, {{102, 46}, {103, 62}}),
        Separator(10),
        Check(Flag(u"UseDialogShortcuts", &S::useDialogShortcuts), 104, 5, 11),
        Edit(delimiters, 105, 44, 62, 78, 11),
        Check(Flag(u"PreviewDupCheck", &S::previewDupCheck), 106, 5, 12),
        Edit(Number(u"PreviewDupMax", &S::previewDupMax), 107, 44, 62, 72, 12),
        Check(Flag(u"RenameDupCheck", &S::renameDupCheck), 108, 5, 13),
        Edit(Number(u"RenameDupMax", &S::renameDupMax), 109, 44, 62, 72, 13),
        Separator(14, 133),
        Check(Flag(u"ShowRenameSummary", &S::showRenameSummary), 110, 5, 15),
        Check(Flag(u"SummaryOnErrorOnly", &S::summaryOnErrorOnly), 111, 44, 15),
        Check(Flag(u"EditorEntry", &S::editorEntry), 112, 5, 16),
        Check(Flag(u"AutoIgnoreOther", &S::autoIgnoreOther), 113, 5, 17),
        Check(Flag(u"AutoResolve", &S::autoResolve), 114, 5, 18),
        Radios(u"AutoResolveType", &S::autoResolveType, -1, 44, 18, {{115, 44}, {116, 60}}),
        Radios(u"AutoResolveSuffix", &S::autoResolveSuffix, 117, 7, 19, {{118, 24}, {119, 42}, {120, 60}}),
        Edit(resolveMax, 121, 7, 44, 54, 20),
        Separator(21),
        Check(Flag(u"SaveTemplateHistory", &S::saveTemplateHistory), 122, 5, 22),
        Edit(historyMax, 123, 44, 62, 72, 22),
        clear,
        Check(Flag(u"SaveLastSeqStart", &S::saveLastSeqStart), 125, 5, 24),
        Check(Flag(u"SequenceHexUppercase", &S::sequenceHexUppercase), 126, 5, 25),
        Label(127, 5, 26),
        Radios(u"SequenceProcessOrder", &S::sequenceProcessOrder, -1, 5, 27, {{128, 7}, {129, 30}, {130, 53}}),
        Separator(31),
        Decoration(Control::kDefaultButton, 131, 0, 32),
        Decoration(Control::kButton, 132, 0, 32),
        // Values the dialog does not show.
        Number(u"LastDialogType", &S::lastDialogType),
        Flag(u"ConfirmEditResetCurr", &S::confirmEditResetCurr),
        Flag(u"ConfirmEditResetAll", &S::confirmEditResetAll),
        Number(u"TemplateHistoryCnt", &S::templateHistoryCnt),
        Number(u"LastSeqStart", &S::lastSeqStart),
        Shortcut(u"KeyPreview", &S::keyPreview),
        Shortcut(u"KeySwitch", &S::keySwitch),
        Shortcut(u"KeyCase", &S::keyCase),
        Shortcut(u"KeyCaseTitle", &S::keyCaseTitle),
        Shortcut(u"KeyCaseLower", &S::keyCaseLower),
        Shortcut(u"KeyCaseUpper", &S::keyCaseUpper),
        Shortcut(u"KeyManReplace", &S::keyManReplace),
        Shortcut(u"KeyManPrefix", &S::keyManPrefix),
        Shortcut(u"KeyManSuffix", &S::keyManSuffix),
        Shortcut(u"KeyManRemove", &S::keyManRemove),
        Shortcut(u"KeyManExt", &S::keyManExt),
        Shortcut(u"KeyManExtAdd", &S::keyManExtAdd),
        Shortcut(u"KeyConstTemplate", &S::keyConstTemplate),
        Shortcut(u"KeyConstSequence", &S::keyConstSequence),
        Shortcut(u"KeyConstHex", &S::keyConstHex),
        Shortcut(u"KeyConstExt", &S::keyConstExt),
        Shortcut(u"KeyConstClear", &S::keyConstClear),
        Shortcut(u"PosCase", &S::posCase),
        Shortcut(u"PosManReplace", &S::posManReplace),
        Shortcut(u"PosManPrefix", &S::posManPrefix),
        Shortcut(u"PosManSuffix", &S::posManSuffix),
        Shortcut(u"PosManRemove", &S::posManRemove),
        Shortcut(u"PosManExt", &S::posManExt),
    };
  }();
  return rows;
}

const SettingRow* FindRow(std::u16string_view name) {
  for (const SettingRow& row : SettingRows()) {
    if (row.name && name == row.name) return &row;
  }
  return nullptr;
}

ComputeRules Settings::Rules(bool forRename) const {
  ComputeRules rules;
  rules.wordDelimiters = wordDelimitChars;
  rules.convertExtensionCase = convertExtensionCase != 0;
  rules.hexUppercase = sequenceHexUppercase != 0;
  rules.dupCheckEnabled = (forRename ? renameDupCheck : previewDupCheck) != 0;
  rules.dupCheckMax = forRename ? renameDupMax : previewDupMax;
  return rules;
}

// ---- Load and save -----------------------------------------------------------------------------

bool LoadSettings(SettingsStore& store, Settings* settings) {
  *settings = Settings{};
  try {
    const std::u16string key = Key();
    const std::u16string shortcuts = Subkey(kShortcutsSubkey);
    if (!store.OpenKey(key) || !store.OpenKey(shortcuts)) {
      *settings = Settings{};
      return false;
    }
    for (const SettingRow& row : SettingRows()) {
      if (!row.name) continue;
      if (row.kind == RowKind::kText) {
        if (auto text = store.ReadString(key, row.name, kDelimitersMaxBytes)) {
          // The stored byte count / 2 - 1 characters: the last one is the terminator.
          settings->*row.text = text->empty() ? std::u16string() : text->substr(0, text->size() - 1);
        }
      } else if (auto v = store.ReadDword(row.shortcuts ? shortcuts : key, row.name)) {
        settings->*row.number = row.kind == RowKind::kFlag ? (*v != 0 ? 1u : 0u) : *v;
      }
    }
    if (settings->saveTemplateHistory && settings->templateHistoryCnt > 0) {
      const uint32_t count = std::min(settings->templateHistoryCnt, kHistoryReadLimit);
      const std::u16string history = Subkey(kHistorySubkey);
      settings->history.reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        auto text = store.ReadString(history, DecimalText(i), kHistoryEntryMaxBytes);
        if (!text) {
          settings->history.push_back(u"*");
        } else {
          std::u16string entry = *text;
          while (!entry.empty() && entry.back() == u'\0') entry.pop_back();
          settings->history.push_back(std::move(entry));
        }
      }
      settings->templateHistoryCnt = count;
    } else {
      settings->history.clear();
      settings->templateHistoryCnt = 0;
    }
    return true;
  } catch (const std::bad_alloc&) {
    *settings = Settings{};
    return false;
  }
}

bool SaveSettings(SettingsStore& store, const Settings& settings) {
  if (settings.history.size() != settings.templateHistoryCnt) return false;
  const std::u16string key = Key();
  const std::u16string shortcuts = Subkey(kShortcutsSubkey);
  const std::u16string history = Subkey(kHistorySubkey);
  // Delete and write again, so that nothing of an older layout or a longer history remains.
  if (store.OpenKey(key)) {
    if (store.OpenKey(history)) store.DeleteKey(history);
    if (store.OpenKey(shortcuts)) store.DeleteKey(shortcuts);
    store.DeleteKey(key);
  }
  if (!store.CreateKey(key) || !store.CreateKey(shortcuts)) return false;
  const bool historyOn = settings.saveTemplateHistory != 0;
  bool ok = true;
  for (const SettingRow& row : SettingRows()) {
    if (!row.name) continue;
    if (row.kind == RowKind::kText) {
      // An empty text is written as the default (the delimiters are the only text).
      const std::u16string& text = settings.*row.text;
      ok = store.WriteString(key, row.name, text.empty() ? (Settings{}.*row.text) : text) && ok;
      continue;
    }
    uint32_t value = settings.*row.number;
    if (row.number == &Settings::templateHistoryCnt && !historyOn) value = 0;
    ok = store.WriteDword(row.shortcuts ? shortcuts : key, row.name, value) && ok;
  }
  if (historyOn) {
    if (!store.CreateKey(history)) return false;
    for (uint32_t i = 0; i < settings.history.size(); ++i) {
      ok = store.WriteString(history, DecimalText(i), settings.history[i]) && ok;
    }
  }
  return ok;
}

bool CreateDefaultsIfMissing(SettingsStore& store) {
  if (store.OpenKey(Key())) return false;
  return SaveSettings(store, Settings{});
}

void AddTemplateToHistory(Settings* settings, const std::u16string& text) {
  if (IsOnlyBlanks(text)) return;
  std::vector<std::u16string>& h = settings->history;
  auto same = std::find(h.begin(), h.end(), text);
  if (same != h.end()) {
    std::rotate(h.begin(), same, same + 1);
  } else {
    if (h.size() >= settings->templateHistoryMax && !h.empty()) h.pop_back();
    h.insert(h.begin(), text);
  }
  settings->templateHistoryCnt = uint32_t(h.size());
}

void ClearHistory(Settings* settings) {
  settings->history.clear();
  settings->templateHistoryCnt = 0;
}

// ---- The configuration dialog ------------------------------------------------------------------

std::vector<DialogValue> DialogValuesOf(const Settings& s) {
  const std::vector<SettingRow>& rows = SettingRows();
  std::vector<DialogValue> values(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const SettingRow& row = rows[i];
    DialogValue& v = values[i];
    switch (row.kind) {
      case RowKind::kFlag: v.checked = s.*row.number != 0; break;
      case RowKind::kNumber: v.text = DecimalText(s.*row.number); break;
      case RowKind::kChoice: v.choice = s.*row.number < row.choiceCount ? s.*row.number : 0; break;
      case RowKind::kText: v.text = s.*row.text; break;
      case RowKind::kClearHistoryBox:
      case RowKind::kDecoration: break;
    }
  }
  return values;
}

bool TakeDialogValues(const std::vector<DialogValue>& values, Settings* s) {
  const std::vector<SettingRow>& rows = SettingRows();
  bool clear = false;
  for (size_t i = 0; i < rows.size() && i < values.size(); ++i) {
    const SettingRow& row = rows[i];
    const DialogValue& v = values[i];
    if (row.control == Control::kNone) continue;  // not in the dialog: stays as it is
    switch (row.kind) {
      case RowKind::kFlag: s->*row.number = v.checked ? 1 : 0; break;
      case RowKind::kNumber: {
        const uint32_t n = ParseNumberField(v.text);
        s->*row.number = n == 0 && row.zeroStoredAs != 0 ? row.zeroStoredAs : n;
        break;
      }
      case RowKind::kChoice: s->*row.number = v.choice < row.choiceCount ? v.choice : 0; break;
      case RowKind::kText: s->*row.text = v.text.empty() ? Settings{}.*row.text : v.text; break;
      case RowKind::kClearHistoryBox: clear = v.checked; break;
      case RowKind::kDecoration: break;
    }
  }
  return clear;
}

}  // namespace quillet
