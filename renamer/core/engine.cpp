#include "renamer/core/engine.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <numeric>
#include <thread>

namespace quillet {

void ComputeHooks::Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {

ComputeHooks gQuietHooks;

ComputeHooks& HooksOr(ComputeHooks* hooks) { return hooks ? *hooks : gQuietHooks; }

// Tested before every item and every comparison: true means stop. While paused, sleeps in steps
// of 100 milliseconds and tests again.
bool ShouldStop(WorkerControl& control, ComputeHooks& hooks) {
  for (;;) {
    if (control.cancel.load()) return true;
    if (!control.pause.load()) return false;
    hooks.Sleep(100);
  }
}

// Appends into the list's work buffer and never past it; a name that does not fit sets
// `overflow` and stops growing.
class NameBuilder {
 public:
  explicit NameBuilder(char16_t* buffer) : buffer_(buffer) {}
  void Clear() { length_ = 0; overflow_ = false; }
  void Append(std::u16string_view text) {
    if (overflow_) return;
    if (text.size() > kCapacity - length_) { overflow_ = true; return; }
    std::copy(text.begin(), text.end(), buffer_ + length_);
    length_ += text.size();
  }
  void Append(char16_t c) { Append(std::u16string_view(&c, 1)); }
  void AppendNumber(uint32_t number, uint32_t width, bool hex, bool hexUpper) {
    if (overflow_) return;
    if (width > kCapacity - length_) { overflow_ = true; return; }
    digits_.clear();
    FormatSequence(&digits_, number, width, hex, hexUpper);
    Append(digits_);
  }
  void TrimTrailingSpaces() {
    while (length_ > 0 && buffer_[length_ - 1] == u' ') --length_;
  }
  void Truncate(size_t length) { length_ = std::min(length_, length); }
  int32_t LastDot() const {
    for (size_t i = length_; i > 0; --i) {
      if (buffer_[i - 1] == u'.') return int32_t(i - 1);
    }
    return -1;
  }
  char16_t* Data() { return buffer_; }
  size_t Length() const { return length_; }
  bool Overflow() const { return overflow_; }

 private:
  // One place stays free for the terminator.
  static constexpr size_t kCapacity = kWorkBufferChars - 1;
  char16_t* buffer_;
  size_t length_ = 0;
  bool overflow_ = false;
  std::u16string digits_;
};

void ResetEntries(RenameList* list) {
  const size_t n = list->items.size();
  if (list->entries.size() != n) {
    list->entries.assign(n, NewNameEntry{});
  } else {
    // The renamed flags describe the disk, not the computation: they stay.
    for (NewNameEntry& e : list->entries) {
      e.status = kStatusOk;
      e.folder = 0;
      e.dotIndex = -1;
      e.name.reset();
      e.length = 0;
      e.hash = 0;
    }
  }
  list->problemCount = 0;
  list->duplicateCount = 0;
  list->checkCompleted = false;
  list->control.progressTotal = n;
  list->control.progressDone = 0;
}

void StoreName(NewNameEntry* entry, NameBuilder& b, const SourceItem& item, int32_t dotIndex) {
  entry->name.emplace(b.Data(), b.Length());
  entry->length = uint32_t(b.Length());
  entry->folder = item.folder;
  entry->dotIndex = dotIndex;
  entry->status = kStatusOk;
}

bool ShouldRunCheck(const RenameList& list, const ComputeRules& rules, bool skipCheck) {
  const size_t n = list.items.size();
  if (skipCheck || !rules.dupCheckEnabled) return false;
  if (rules.dupCheckMax != 0 && rules.dupCheckMax < n) return false;
  return n <= kDupCheckItemLimit;
}

int FinishComputation(RenameList* list, const ComputeRules& rules, bool skipCheck, bool templateDistinct,
                      ComputeHooks& hooks) {
  if (templateDistinct || !ShouldRunCheck(*list, rules, skipCheck)) return kNoDuplicates;
  const int result = DuplicateCheckBucketed(list, &hooks);
  if (result != kCancelled) list->checkCompleted = true;
  return result;
}

void HashPhase(RenameList* list, ComputeHooks& hooks) {
  hooks.PhaseStarted(Phase::kHashing);
  list->control.progressTotal = list->entries.size();
  list->control.progressDone = 0;
  for (NewNameEntry& e : list->entries) {
    e.hash = e.name ? NameHash(*e.name) : 0;
    ++list->control.progressDone;
    hooks.Progress();
  }
}

bool Comparable(const NewNameEntry& e) { return e.name.has_value() && e.status == kStatusOk; }

// FNV-1a over the upper-cased characters: a second key for sorting, independent of positions' sums.
uint64_t FoldedHash(const std::u16string& name) {
  uint64_t h = 14695981039346656037ull;
  for (char16_t c : name) {
    h ^= UpperC(c);
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

char16_t* RenameList::WorkBuffer() {
  if (!workBuffer_) workBuffer_ = std::make_unique<char16_t[]>(kWorkBufferChars);
  return workBuffer_.get();
}

SourceItem MakeSourceItem(uint32_t panelIndex, uint32_t attributes, std::u16string name) {
  SourceItem item;
  item.panelIndex = panelIndex;
  item.attributes = attributes;
  item.folder = (attributes & kAttributeDirectory) ? 1 : 0;
  item.name = std::move(name);
  const size_t length = item.name.size();
  item.baseLength = uint32_t(length);
  if (!item.folder) {
    const size_t dot = item.name.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0) {
      item.dotIndex = int32_t(dot);
      item.baseLength = uint32_t(dot);
      item.extensionLength = uint32_t(length - dot - 1);
    }
  }
  return item;
}

bool BuildList(PanelSource& panel, bool renameFolders, RenameList* list) {
  list->items.clear();
  list->entries.clear();
  list->order.clear();
  list->orderBuilt = false;
  list->fileCount = 0;
  list->folderCount = 0;
  try {
    uint32_t count = 0;
    if (!panel.SelectedCount(&count)) return false;
    list->currentDirectory = panel.CurrentDirectory();
    for (uint32_t i = 0; i < count; ++i) {
      std::u16string name;
      uint32_t attributes = 0;
      if (!panel.SelectedItem(i, &name, &attributes)) {
        list->items.clear();
        return false;
      }
      const bool folder = (attributes & kAttributeDirectory) != 0;
      if (folder && !renameFolders) continue;
      list->items.push_back(MakeSourceItem(i, attributes, std::move(name)));
      ++(folder ? list->folderCount : list->fileCount);
    }
    return true;
  } catch (const std::bad_alloc&) {
    list->items.clear();
    list->fileCount = list->folderCount = 0;
    return false;
  }
}

void BuildProcessOrder(RenameList* list, ProcessOrder order, bool renameFolders) {
  if (list->orderBuilt && list->order.size() == list->items.size()) return;
  const uint32_t n = uint32_t(list->items.size());
  list->order.clear();
  list->order.reserve(n);
  if (!renameFolders || order == ProcessOrder::kList ||
      (order != ProcessOrder::kFilesFirst && order != ProcessOrder::kFoldersFirst)) {
    for (uint32_t i = 0; i < n; ++i) list->order.push_back(i);
  } else {
    const uint8_t firstGroup = order == ProcessOrder::kFilesFirst ? 0 : 1;
    for (uint8_t group : {firstGroup, uint8_t(1 - firstGroup)}) {
      for (uint32_t i = 0; i < n; ++i) {
        if (list->items[i].folder == group) list->order.push_back(i);
      }
    }
  }
  list->orderBuilt = true;
}

// ---- Text helpers ------------------------------------------------------------------------------

bool EqualIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperC(a[i]) != UpperC(b[i])) return false;
  }
  return true;
}

int64_t FindIgnoreCase(std::u16string_view text, std::u16string_view what, size_t start) {
  if (what.empty() || start > text.size() || what.size() > text.size() - start) return -1;
  for (size_t i = start; i + what.size() <= text.size(); ++i) {
    if (EqualIgnoreCase(text.substr(i, what.size()), what)) return int64_t(i);
  }
  return -1;
}

void ToUpperC(char16_t* text, size_t length) {
  for (size_t i = 0; i < length; ++i) text[i] = UpperC(text[i]);
}

void ToLowerC(char16_t* text, size_t length) {
  for (size_t i = 0; i < length; ++i) text[i] = LowerC(text[i]);
}

void ToTitleC(char16_t* text, size_t length, std::u16string_view delimiters) {
  for (size_t i = 0; i < length; ++i) {
    const bool wordStart = i == 0 || delimiters.find(text[i - 1]) != std::u16string_view::npos;
    text[i] = wordStart ? UpperC(text[i]) : LowerC(text[i]);
  }
}

bool IsInvalidNameChar(char16_t c) {
  return std::find(std::begin(kInvalidNameChars), std::end(kInvalidNameChars), c) != std::end(kInvalidNameChars);
}

char16_t FirstInvalidNameChar(std::u16string_view text) {
  for (char16_t c : text) {
    if (IsInvalidNameChar(c)) return c;
  }
  return 0;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }

bool IsOnlyBlanks(std::u16string_view text) { return std::all_of(text.begin(), text.end(), IsBlank); }

uint64_t NameHash(std::u16string_view name) {
  uint64_t hash = 0;
  for (size_t p = 0; p < name.size(); ++p) hash += uint64_t(p + 1) * UpperC(name[p]);
  return hash;
}

// ---- Templates ---------------------------------------------------------------------------------

TemplateCheck CheckTemplate(std::u16string_view text, bool singleItem, char16_t* bad) {
  if (IsOnlyBlanks(text)) return kTemplateEmpty;
  // "*", "/" and "?" are tokens; every other invalid name character is refused.
  static constexpr std::u16string_view kRefused = u"\\:\"<>|";
  for (char16_t c : text) {
    if (kRefused.find(c) != std::u16string_view::npos) {
      if (bad) *bad = c;
      return kTemplateBadChar;
    }
  }
  const bool hasToken = text.find_first_of(u"*/?") != std::u16string_view::npos;
  if (!hasToken && !singleItem) return kTemplateNoToken;
  return kTemplateOk;
}

std::vector<TemplateToken> ParseTemplate(std::u16string_view text) {
  std::vector<TemplateToken> tokens;
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c == u'*') {
      tokens.push_back({TokenKind::kBase, 0, 0});
      ++i;
    } else if (c == u'/') {
      tokens.push_back({TokenKind::kExtension, 0, 0});
      ++i;
    } else if (c == u'?') {
      size_t end = i;
      while (end < text.size() && text[end] == u'?') ++end;
      tokens.push_back({TokenKind::kNumber, uint32_t(end - i), 0});
      i = end;
    } else {
      size_t end = i;
      while (end < text.size() && text[end] != u'*' && text[end] != u'/' && text[end] != u'?') ++end;
      tokens.push_back({TokenKind::kLiteral, uint32_t(i), uint32_t(end - i)});
      i = end;
    }
  }
  return tokens;
}

bool TemplateGivesDistinctNames(std::u16string_view text) {
  if (text.find(u'?') != std::u16string_view::npos) return true;
  return text.find(u'*') != std::u16string_view::npos && text.find(u'/') != std::u16string_view::npos;
}

bool CheckNumberField(std::u16string_view text, bool allowEmpty) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  const size_t digitsStart = i;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') ++i;
  const bool hasDigits = i > digitsStart;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i == text.size() && (hasDigits || allowEmpty);
}

uint32_t ParseNumberField(std::u16string_view text) {
  uint32_t value = 0;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  // Unsigned arithmetic wraps: exactly the low 32 bits of a longer number remain.
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) value = value * 10u + uint32_t(text[i] - u'0');
  return value;
}

void FormatSequence(std::u16string* out, uint32_t number, uint32_t width, bool hex, bool hexUpper) {
  char16_t digits[16];
  size_t count = 0;
  const uint32_t base = hex ? 16 : 10;
  const char* alphabet = hexUpper ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    digits[count++] = char16_t(alphabet[number % base]);
    number /= base;
  } while (number != 0);
  if (width > count) out->append(width - count, u'0');
  while (count > 0) out->push_back(digits[--count]);
}

// ---- Computations ------------------------------------------------------------------------------

ConstructCheck CheckConstructInputs(const ConstructInputs& in, size_t itemCount, ConstructOptions* options) {
  ConstructCheck check;
  switch (CheckTemplate(in.templateText, itemCount == 1, &check.badChar)) {
    case kTemplateEmpty: check.message = 65; return check;
    case kTemplateBadChar: check.message = 66; return check;
    case kTemplateNoToken: check.message = 67; return check;
    case kTemplateOk: break;
  }
  if (!CheckNumberField(in.start, true)) {
    check.message = 68;
    return check;
  }
  ConstructOptions o;
  o.templateText = in.templateText;
  o.tokens = ParseTemplate(o.templateText);
  o.counter = ParseNumberField(in.start);
  o.hex = in.hex;
  o.keepExtension = !in.withExtension;
  o.caseMode = in.caseOn ? in.caseMode : CaseMode::kNone;
  *options = std::move(o);
  return check;
}

ManipulateCheck CheckManipulateInputs(const ManipulateInputs& in, ManipulateOptions* options) {
  auto fail = [](int message, ManipulateField field) { return ManipulateCheck{message, field}; };
  if (in.replace) {
    if (in.find.empty()) return fail(45, ManipulateField::kFind);
    if (FirstInvalidNameChar(in.find)) return fail(46, ManipulateField::kFind);
    if (FirstInvalidNameChar(in.replacement)) return fail(47, ManipulateField::kReplacement);
  }
  if (in.prefixOn && FirstInvalidNameChar(in.prefix)) return fail(48, ManipulateField::kPrefix);
  if (in.suffixOn && FirstInvalidNameChar(in.suffix)) return fail(49, ManipulateField::kSuffix);
  if (in.cut) {
    if (!CheckNumberField(in.cutStart, true)) return fail(50, ManipulateField::kCutStart);
    if (!CheckNumberField(in.cutEnd, true)) return fail(51, ManipulateField::kCutEnd);
    if (IsOnlyBlanks(in.cutStart) && IsOnlyBlanks(in.cutEnd)) return fail(52, ManipulateField::kCutStart);
  }
  if (in.extension) {
    if (FirstInvalidNameChar(in.newExtension)) return fail(53, ManipulateField::kExtension);
    if (!in.newExtension.empty() && IsOnlyBlanks(in.newExtension)) return fail(54, ManipulateField::kExtension);
  }
  const bool changes = in.replace || (in.prefixOn && !in.prefix.empty()) || (in.suffixOn && !in.suffix.empty()) ||
                       in.cut || (in.extension && !(in.addExtension && in.newExtension.empty())) ||
                       (in.caseOn && in.caseMode != CaseMode::kNone);
  if (!changes) return fail(55, ManipulateField::kReplaceBox);

  ManipulateOptions o;
  if (in.replace) {
    o.find = in.find;
    o.replacement = in.replacement;
  }
  if (in.prefixOn) o.prefix = in.prefix;
  if (in.suffixOn) o.suffix = in.suffix;
  if (in.cut) {
    o.cut = true;
    o.cutStart = ParseNumberField(in.cutStart);
    o.cutEnd = ParseNumberField(in.cutEnd);
  }
  if (in.extension) {
    o.newExtension = in.newExtension;
    o.addExtension = in.addExtension;
  }
  o.caseMode = in.caseOn ? in.caseMode : CaseMode::kNone;
  *options = std::move(o);
  return {};
}



void ConvertCase(char16_t* name, size_t length, int32_t dotIndex, CaseMode mode, const ComputeRules& rules) {
  if (mode == CaseMode::kNone) return;
  // Without extension conversion only the part before the dot changes; the extension keeps its case.
  size_t n = length;
  if (dotIndex >= 0 && !rules.convertExtensionCase) n = std::min(length, size_t(dotIndex));
  switch (mode) {
    case CaseMode::kTitle: ToTitleC(name, n, rules.wordDelimiters); break;
    case CaseMode::kLower: ToLowerC(name, n); break;
    case CaseMode::kUpper: ToUpperC(name, n); break;
    case CaseMode::kNone: break;
  }
}

int ComputeConstruct(RenameList* list, const ConstructOptions& options, const ComputeRules& rules, bool skipCheck,
                     ComputeHooks* hooksIn) {
  ComputeHooks& hooks = HooksOr(hooksIn);
  try {
    ResetEntries(list);
    if (!list->orderBuilt || list->order.size() != list->items.size()) {
      list->orderBuilt = false;
      BuildProcessOrder(list, ProcessOrder::kList, false);
    }
    NameBuilder b(list->WorkBuffer());
    uint32_t counter = options.counter;
    hooks.PhaseStarted(Phase::kComputing);
    for (uint32_t index : list->order) {
      if (ShouldStop(list->control, hooks)) return kCancelled;
      const SourceItem& item = list->items[index];
      NewNameEntry& entry = list->entries[index];
      b.Clear();
      for (const TemplateToken& t : options.tokens) {
        switch (t.kind) {
          case TokenKind::kBase: b.Append(item.Base()); break;
          case TokenKind::kExtension: b.Append(item.Extension()); break;
          case TokenKind::kNumber: b.AppendNumber(counter, t.value1, options.hex, rules.hexUppercase); break;
          case TokenKind::kLiteral:
            b.Append(std::u16string_view(options.templateText).substr(std::min<size_t>(t.value1, options.templateText.size()), t.value2));
            break;
        }
      }
      int32_t dot = -1;
      if (!item.folder) {
        if (options.keepExtension && item.dotIndex >= 0) {
          dot = int32_t(b.Length());
          b.Append(u'.');
          b.Append(item.Extension());
        } else {
          dot = b.LastDot();
        }
      }
      b.TrimTrailingSpaces();
      if (b.Overflow() || b.Length() == 0) {
        entry.status = kStatusNoName;
        ++list->problemCount;
      } else {
        StoreName(&entry, b, item, dot);
        ConvertCase(entry.name->data(), entry.length, dot, options.caseMode, rules);
        ++counter;
      }
      ++list->control.progressDone;
      hooks.Progress();
    }
    return FinishComputation(list, rules, skipCheck, TemplateGivesDistinctNames(options.templateText), hooks);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}

int ComputeManipulate(RenameList* list, const ManipulateOptions& options, const ComputeRules& rules, bool skipCheck,
                      ComputeHooks* hooksIn) {
  ComputeHooks& hooks = HooksOr(hooksIn);
  try {
    ResetEntries(list);
    NameBuilder b(list->WorkBuffer());
    hooks.PhaseStarted(Phase::kComputing);
    for (size_t index = 0; index < list->items.size(); ++index) {
      if (ShouldStop(list->control, hooks)) return kCancelled;
      const SourceItem& item = list->items[index];
      NewNameEntry& entry = list->entries[index];
      const bool hasExtension = !item.folder && item.dotIndex >= 0;
      const std::u16string_view base = item.Base();

      // The prefix goes first; the base is replaced and cut in place after it.
      b.Clear();
      b.Append(options.prefix);
      const size_t baseStart = b.Length();
      if (options.find && !options.find->empty()) {
        size_t from = 0;
        for (;;) {
          const int64_t at = FindIgnoreCase(base, *options.find, from);
          if (at < 0) break;
          b.Append(base.substr(from, size_t(at) - from));
          b.Append(options.replacement);
          from = size_t(at) + options.find->size();
        }
        b.Append(base.substr(from));
      } else {
        b.Append(base);
      }
      if (options.cut && !b.Overflow()) {
        const size_t baseLength = b.Length() - baseStart;
        const uint64_t total = uint64_t(options.cutStart) + options.cutEnd;
        if (total != 0) {
          if (total < baseLength) {
            const size_t kept = baseLength - size_t(total);  // total < baseLength: fits in size_t
            char16_t* data = b.Data() + baseStart;
            std::memmove(data, data + options.cutStart, kept * sizeof(char16_t));
            b.Truncate(baseStart + kept);
          } else {
            b.Truncate(baseStart);
          }
        }
      }
      if (!b.Overflow() && b.Length() + options.suffix.size() == 0) {
        entry.status = kStatusNoManipulated;
        ++list->problemCount;
        ++list->control.progressDone;
        hooks.Progress();
        continue;
      }
      b.Append(options.suffix);

      int32_t dot = -1;
      if (!item.folder) {
        if (!options.newExtension) {
          if (hasExtension) {
            dot = int32_t(b.Length());
            b.Append(u'.');
            b.Append(item.Extension());
          }
        } else {
          const std::u16string& text = *options.newExtension;
          if (options.addExtension && hasExtension) {
            if (text.empty()) dot = int32_t(b.Length());
            b.Append(u'.');
            b.Append(item.Extension());
          }
          if (text.empty() && !options.addExtension) {
            dot = b.LastDot();
          } else if (!text.empty()) {
            dot = int32_t(b.Length());
            b.Append(u'.');
            b.Append(text);
          }
        }
      }
      b.TrimTrailingSpaces();
      if (b.Overflow()) {
        entry.status = kStatusNoName;
        ++list->problemCount;
      } else if (b.Length() == 0) {
        // A prefix or suffix of spaces alone: nothing would be left to name the item.
        entry.status = kStatusNoManipulated;
        ++list->problemCount;
      } else {
        StoreName(&entry, b, item, dot);
        ConvertCase(entry.name->data(), entry.length, dot, options.caseMode, rules);
      }
      ++list->control.progressDone;
      hooks.Progress();
    }
    return FinishComputation(list, rules, skipCheck, false, hooks);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}

int DuplicateCheckBucketed(RenameList* list, ComputeHooks* hooksIn) {
  ComputeHooks& hooks = HooksOr(hooksIn);
  HashPhase(list, hooks);
  hooks.PhaseStarted(Phase::kComparing);
  std::vector<NewNameEntry>& entries = list->entries;
  const uint64_t n = entries.size();
  list->control.progressTotal = n * (n == 0 ? 0 : n - 1) / 2;
  list->control.progressDone = 0;
  if (ShouldStop(list->control, hooks)) return kCancelled;

  // Equal names ignoring case have equal keys, so after sorting by key every group of equal
  // names lies within one run of equal keys. A group of two or more is exactly what the pairwise
  // check marks: its first member in list order finds all the others. The positional hash
  // collides often for names that differ by a permutation, so the sort also uses a second hash of
  // the folded name; names are still compared in full before anything is marked.
  struct SortKey {
    uint64_t hash;
    uint64_t second;
    uint32_t index;
    uint32_t group;
  };
  std::vector<SortKey> keys;
  keys.reserve(entries.size());
  for (uint32_t i = 0; i < entries.size(); ++i) {
    if (Comparable(entries[i])) keys.push_back({entries[i].hash, FoldedHash(*entries[i].name), i, 0});
  }
  std::sort(keys.begin(), keys.end(), [](const SortKey& a, const SortKey& b) {
    if (a.hash != b.hash) return a.hash < b.hash;
    if (a.second != b.second) return a.second < b.second;
    return a.index < b.index;
  });
  std::vector<uint8_t> duplicate(entries.size(), 0);
  std::vector<std::pair<uint32_t, uint32_t>> groups;  // a member's index, the group's size
  for (size_t start = 0; start < keys.size();) {
    size_t end = start + 1;
    while (end < keys.size() && keys[end].hash == keys[start].hash && keys[end].second == keys[start].second) ++end;
    if (end - start > 1) {
      // Within the run, sort the members into groups of equal names: each is compared with one
      // member of every group found so far (almost always there is a single group).
      groups.clear();
      for (size_t k = start; k < end; ++k) {
        const std::u16string& name = *entries[keys[k].index].name;
        size_t g = 0;
        while (g < groups.size() && !EqualIgnoreCase(*entries[groups[g].first].name, name)) ++g;
        if (g == groups.size()) groups.push_back({keys[k].index, 0});
        ++groups[g].second;
        keys[k].group = uint32_t(g);
      }
      for (size_t k = start; k < end; ++k) {
        if (groups[keys[k].group].second > 1) duplicate[keys[k].index] = 1;
      }
    }
    start = end;
  }

  // Marks in list order, one step per record, each worth the comparisons it stands for.
  for (size_t i = 0; i < entries.size(); ++i) {
    if (ShouldStop(list->control, hooks)) return kCancelled;
    if (duplicate[i]) {
      entries[i].status = kStatusConflict;
      ++list->duplicateCount;
    }
    list->control.progressDone += n - 1 - i;
    hooks.Progress();
  }
  return list->duplicateCount > 0 ? kDuplicatesFound : kNoDuplicates;
}

PreviewLine ComputePreviewLine(RenameList* list, std::u16string_view templateText, std::u16string_view startText,
                               bool hex, bool keepExtension, CaseMode caseMode, const ComputeRules& rules) {
  PreviewLine line;
  char16_t bad = 0;
  const TemplateCheck check = CheckTemplate(templateText, true, &bad);
  if (check == kTemplateBadChar) { line.message = 63; return line; }
  if (!CheckNumberField(startText, true)) { line.message = 64; return line; }
  if (check == kTemplateEmpty) { line.message = 0; return line; }
  if (list->items.empty()) return line;
  if (!list->orderBuilt || list->order.size() != list->items.size()) {
    list->orderBuilt = false;
    BuildProcessOrder(list, ProcessOrder::kList, false);
  }
  const SourceItem& item = list->items[list->order.front()];
  NameBuilder b(list->WorkBuffer());
  const uint32_t number = ParseNumberField(startText);
  for (const TemplateToken& t : ParseTemplate(templateText)) {
    switch (t.kind) {
      case TokenKind::kBase: b.Append(item.Base()); break;
      case TokenKind::kExtension: b.Append(item.Extension()); break;
      case TokenKind::kNumber: b.AppendNumber(number, t.value1, hex, rules.hexUppercase); break;
      case TokenKind::kLiteral: b.Append(templateText.substr(t.value1, t.value2)); break;
    }
  }
  if (!item.folder && keepExtension && item.dotIndex >= 0) {
    b.Append(u'.');
    b.Append(item.Extension());
  }
  // The line's own last dot, unless it leads: the extension there keeps its case.
  int32_t dot = b.LastDot();
  if (dot <= 0) dot = -1;
  ConvertCase(b.Data(), b.Length(), dot, caseMode, rules);
  line.text.assign(b.Data(), b.Length());
  return line;
}

}  // namespace quillet
