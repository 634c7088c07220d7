#include "renamer/core/settings.h"

#include <algorithm>
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

// ---- MemoryStore -------------------------------------------------------------------------------

bool MemoryStore::OpenKey(const std::u16string& key) {
  if (std::find(unopenable.begin(), unopenable.end(), key) != unopenable.end()) return false;
  return keys.count(key) != 0;
}

bool MemoryStore::CreateKey(const std::u16string& key) {
  if (failCreate) return false;
  // Parents come into being with their child, as in the registry.
  for (size_t at = key.find(u'\\'); at != std::u16string::npos; at = key.find(u'\\', at + 1)) {
    keys[key.substr(0, at)];
  }
  keys[key];
  return true;
}

bool MemoryStore::DeleteKey(const std::u16string& key) {
  const std::u16string prefix = key + u"\\";
  for (const auto& [name, values] : keys) {
    if (name.compare(0, prefix.size(), prefix) == 0) return false;  // has subkeys
  }
  ++deletes;
  return keys.erase(key) != 0;
}

std::optional<uint32_t> MemoryStore::ReadDword(const std::u16string& key, const std::u16string& name) {
  auto k = keys.find(key);
  if (k == keys.end()) return std::nullopt;
  auto v = k->second.find(name);
  if (v == k->second.end() || v->second.isString) return std::nullopt;
  return v->second.number;
}

std::optional<std::u16string> MemoryStore::ReadString(const std::u16string& key, const std::u16string& name,
                                                      uint32_t maxBytes) {
  auto k = keys.find(key);
  if (k == keys.end()) return std::nullopt;
  auto v = k->second.find(name);
  if (v == k->second.end() || !v->second.isString) return std::nullopt;
  if (v->second.text.size() * 2 > maxBytes) return std::nullopt;
  return v->second.text;
}

bool MemoryStore::WriteDword(const std::u16string& key, const std::u16string& name, uint32_t value) {
  auto k = keys.find(key);
  if (failWrite || k == keys.end()) return false;
  ++writes;
  k->second[name] = Value{false, value, {}};
  return true;
}

bool MemoryStore::WriteString(const std::u16string& key, const std::u16string& name, const std::u16string& text) {
  auto k = keys.find(key);
  if (failWrite || k == keys.end()) return false;
  ++writes;
  k->second[name] = Value{true, 0, text + u'\0'};
  return true;
}

std::vector<std::u16string> MemoryStore::EnumValues(const std::u16string& key) {
  std::vector<std::u16string> names;
  auto k = keys.find(key);
  if (k == keys.end()) return names;
  for (const auto& [name, value] : k->second) names.push_back(name);
  return names;
}

// ---- The table ---------------------------------------------------------------------------------

const std::vector<SettingRow>& SettingRows() {
  using S = Settings;
  constexpr RowKind F = RowKind::kFlag;
  constexpr RowKind N = RowKind::kNumber;
  static const std::vector<SettingRow> rows = {
      {u"MultipleEntries", false, F, &S::multipleEntries},
      {u"EditorEntry", false, F, &S::editorEntry},
      {u"DefaultDialogType", false, N, &S::defaultDialogType},
      {u"SaveLastDialogType", false, F, &S::saveLastDialogType},
      {u"LastDialogType", false, N, &S::lastDialogType},
      {u"UseDialogShortcuts", false, F, &S::useDialogShortcuts},
      {u"RenameFolders", false, F, &S::renameFolders},
      {u"ConfirmDialogCancel", false, F, &S::confirmDialogCancel},
      {u"ConfirmPreviewCancel", false, F, &S::confirmPreviewCancel},
      {u"ConfirmRenameCancel", false, F, &S::confirmRenameCancel},
      {u"ConfirmRename", false, F, &S::confirmRename},
      {u"ConfirmRenameProb", false, F, &S::confirmRenameProb},
      {u"ConfirmSwitch", false, F, &S::confirmSwitch},
      {u"WarnOnExtRemove", false, F, &S::warnOnExtRemove},
      {u"ConfirmEditResetCurr", false, F, &S::confirmEditResetCurr},
      {u"ConfirmEditResetAll", false, F, &S::confirmEditResetAll},
      {u"RenameDupCheck", false, F, &S::renameDupCheck},
      {u"RenameDupMax", false, N, &S::renameDupMax},
      {u"PreviewDupCheck", false, F, &S::previewDupCheck},
      {u"PreviewDupMax", false, N, &S::previewDupMax},
      {u"ConvertExtensionCase", false, F, &S::convertExtensionCase},
      {u"AutoResolve", false, F, &S::autoResolve},
      {u"AutoResolveType", false, N, &S::autoResolveType},
      {u"AutoIgnoreOther", false, F, &S::autoIgnoreOther},
      {u"AutoResolveSuffix", false, N, &S::autoResolveSuffix},
      {u"AutoResolveMax", false, N, &S::autoResolveMax},
      {u"ShowRenameSummary", false, F, &S::showRenameSummary},
      {u"SummaryOnErrorOnly", false, F, &S::summaryOnErrorOnly},
      {u"AutoRollbackCancel", false, F, &S::autoRollbackCancel},
      {u"SaveTemplateHistory", false, F, &S::saveTemplateHistory},
      {u"TemplateHistoryMax", false, N, &S::templateHistoryMax},
      {u"TemplateHistoryCnt", false, N, &S::templateHistoryCnt},
      {u"SequenceProcessOrder", false, N, &S::sequenceProcessOrder},
      {u"SequenceHexUppercase", false, F, &S::sequenceHexUppercase},
      {u"SaveLastSeqStart", false, F, &S::saveLastSeqStart},
      {u"LastSeqStart", false, N, &S::lastSeqStart},
      {u"KeyPreview", true, N, &S::keyPreview},
      {u"KeySwitch", true, N, &S::keySwitch},
      {u"KeyCase", true, N, &S::keyCase},
      {u"KeyCaseTitle", true, N, &S::keyCaseTitle},
      {u"KeyCaseLower", true, N, &S::keyCaseLower},
      {u"KeyCaseUpper", true, N, &S::keyCaseUpper},
      {u"KeyManReplace", true, N, &S::keyManReplace},
      {u"KeyManPrefix", true, N, &S::keyManPrefix},
      {u"KeyManSuffix", true, N, &S::keyManSuffix},
      {u"KeyManRemove", true, N, &S::keyManRemove},
      {u"KeyManExt", true, N, &S::keyManExt},
      {u"KeyManExtAdd", true, N, &S::keyManExtAdd},
      {u"KeyConstTemplate", true, N, &S::keyConstTemplate},
      {u"KeyConstSequence", true, N, &S::keyConstSequence},
      {u"KeyConstHex", true, N, &S::keyConstHex},
      {u"KeyConstExt", true, N, &S::keyConstExt},
      {u"KeyConstClear", true, N, &S::keyConstClear},
      {u"PosCase", true, N, &S::posCase},
      {u"PosManReplace", true, N, &S::posManReplace},
      {u"PosManPrefix", true, N, &S::posManPrefix},
      {u"PosManSuffix", true, N, &S::posManSuffix},
      {u"PosManRemove", true, N, &S::posManRemove},
      {u"PosManExt", true, N, &S::posManExt},
  };
  return rows;
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
      if (auto v = store.ReadDword(row.shortcuts ? shortcuts : key, row.name)) {
        settings->*row.field = row.kind == RowKind::kFlag ? (*v != 0 ? 1u : 0u) : *v;
      }
    }
    if (auto text = store.ReadString(key, u"WordDelimitChars", kDelimitersMaxBytes)) {
      // The stored byte count / 2 - 1 characters: the last one is the terminator.
      settings->wordDelimitChars = text->empty() ? std::u16string() : text->substr(0, text->size() - 1);
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
    uint32_t value = settings.*row.field;
    if (row.field == &Settings::templateHistoryCnt && !historyOn) value = 0;
    ok = store.WriteDword(row.shortcuts ? shortcuts : key, row.name, value) && ok;
  }
  const std::u16string& delimiters =
      settings.wordDelimitChars.empty() ? std::u16string(kDefaultWordDelimiters) : settings.wordDelimitChars;
  ok = store.WriteString(key, u"WordDelimitChars", delimiters) && ok;
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

ConfigValues ConfigFromSettings(const Settings& s) {
  ConfigValues v{};
  v.confirmDialogCancel = s.confirmDialogCancel;
  v.confirmSwitch = s.confirmSwitch;
  v.confirmRename = s.confirmRename;
  v.confirmRenameProb = s.confirmRenameProb;
  v.confirmRenameCancel = s.confirmRenameCancel;
  v.confirmPreviewCancel = s.confirmPreviewCancel;
  v.warnOnExtRemove = s.warnOnExtRemove;
  v.renameFolders = s.renameFolders;
  v.convertExtensionCase = s.convertExtensionCase;
  v.autoRollbackCancel = s.autoRollbackCancel;
  v.multipleEntries = s.multipleEntries;
  v.saveLastDialogType = s.saveLastDialogType;
  v.defaultDialogType = s.defaultDialogType == 1 ? 1 : 0;
  v.useDialogShortcuts = s.useDialogShortcuts;
  v.wordDelimiters = s.wordDelimitChars;
  v.previewDupCheck = s.previewDupCheck;
  v.previewDupMax = DecimalText(s.previewDupMax);
  v.renameDupCheck = s.renameDupCheck;
  v.renameDupMax = DecimalText(s.renameDupMax);
  v.showRenameSummary = s.showRenameSummary;
  v.summaryOnErrorOnly = s.summaryOnErrorOnly;
  v.editorEntry = s.editorEntry;
  v.autoIgnoreOther = s.autoIgnoreOther;
  v.autoResolve = s.autoResolve;
  v.autoResolveType = s.autoResolveType == 1 ? 1 : 0;
  v.autoResolveSuffix = s.autoResolveSuffix <= 2 ? s.autoResolveSuffix : 0;
  v.autoResolveMax = DecimalText(s.autoResolveMax);
  v.saveTemplateHistory = s.saveTemplateHistory;
  v.templateHistoryMax = DecimalText(s.templateHistoryMax);
  v.clearHistory = false;
  v.saveLastSeqStart = s.saveLastSeqStart;
  v.sequenceHexUppercase = s.sequenceHexUppercase;
  v.sequenceProcessOrder = s.sequenceProcessOrder <= 2 ? s.sequenceProcessOrder : 0;
  return v;
}

void ApplyConfigValues(const ConfigValues& v, Settings* s) {
  s->confirmDialogCancel = v.confirmDialogCancel;
  s->confirmSwitch = v.confirmSwitch;
  s->confirmRename = v.confirmRename;
  s->confirmRenameProb = v.confirmRenameProb;
  s->confirmRenameCancel = v.confirmRenameCancel;
  s->confirmPreviewCancel = v.confirmPreviewCancel;
  s->warnOnExtRemove = v.warnOnExtRemove;
  s->renameFolders = v.renameFolders;
  s->convertExtensionCase = v.convertExtensionCase;
  s->autoRollbackCancel = v.autoRollbackCancel;
  s->multipleEntries = v.multipleEntries;
  s->saveLastDialogType = v.saveLastDialogType;
  s->defaultDialogType = v.defaultDialogType;
  s->useDialogShortcuts = v.useDialogShortcuts;
  s->wordDelimitChars = v.wordDelimiters.empty() ? std::u16string(kDefaultWordDelimiters) : v.wordDelimiters;
  s->previewDupCheck = v.previewDupCheck;
  s->previewDupMax = ParseNumberField(v.previewDupMax);
  s->renameDupCheck = v.renameDupCheck;
  s->renameDupMax = ParseNumberField(v.renameDupMax);
  s->showRenameSummary = v.showRenameSummary;
  s->summaryOnErrorOnly = v.summaryOnErrorOnly;
  s->editorEntry = v.editorEntry;
  s->autoIgnoreOther = v.autoIgnoreOther;
  s->autoResolve = v.autoResolve;
  s->autoResolveType = v.autoResolveType;
  s->autoResolveSuffix = v.autoResolveSuffix;
  const uint32_t resolveMax = ParseNumberField(v.autoResolveMax);
  s->autoResolveMax = resolveMax == 0 ? 0xFFFFFFFEu : resolveMax;
  s->saveTemplateHistory = v.saveTemplateHistory;
  const uint32_t historyMax = ParseNumberField(v.templateHistoryMax);
  s->templateHistoryMax = historyMax == 0 ? 1 : historyMax;
  s->saveLastSeqStart = v.saveLastSeqStart;
  s->sequenceHexUppercase = v.sequenceHexUppercase;
  s->sequenceProcessOrder = v.sequenceProcessOrder;
}

}  // namespace quillet
