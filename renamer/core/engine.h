// The renamer's computing core: the list of selected items, the name template language, the
// Construct and Manipulate computations, letter case, and the duplicate check.
//
// Nothing here touches the disk or shows anything. Texts are UTF-16 (char16_t); the shell
// converts from and to the host's wchar_t.
//
// Threads: the computations run on the rename worker; the dialog thread writes only the worker
// control fields (atomics) while a computation runs and reads the records after it ended. The
// one-line preview runs on the dialog thread while no computation runs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Characters that may not appear in a name, in this order.
inline constexpr char16_t kInvalidNameChars[9] = {u'\\', u'/', u':', u'*', u'?', u'"', u'<', u'>', u'|'};

// Names are built in one buffer of this many characters per list; the last place is kept for the
// terminator the shell hands on to the system, so a name holds at most kWorkBufferChars - 1.
inline constexpr size_t kWorkBufferChars = 16384;

// The duplicate check is not run above this many items.
inline constexpr size_t kDupCheckItemLimit = 90000;

// Default word delimiters for title case (15 characters).
inline constexpr std::u16string_view kDefaultWordDelimiters = u" _.()[]{};,'-=+";

inline constexpr uint32_t kAttributeDirectory = 0x10;

enum NameStatus : int32_t {
  kStatusOk = -1,
  kStatusConflict = 0,      // another new name is equal, or the target exists
  kStatusNoManipulated = 1, // the Manipulate operations left no name
  kStatusKeep = 2,          // editor mode: keep unchanged
  kStatusAccess = 3,
  kStatusNotFound = 4,
  kStatusInvalidTyped = 5,
  kStatusNoName = 6,        // the template gave an empty name, or it did not fit / memory ran out
  kStatusOtherError = 7,
};

enum class CaseMode : int { kNone = -1, kTitle = 0, kLower = 1, kUpper = 2 };

struct SourceItem {
  uint32_t panelIndex = 0;  // among the panel's selected items
  uint8_t folder = 0;
  int32_t dotIndex = -1;    // the extension dot, or -1
  uint32_t attributes = 0;
  std::u16string name;
  uint32_t baseLength = 0;
  uint32_t extensionLength = 0;

  std::u16string_view Base() const { return std::u16string_view(name).substr(0, baseLength); }
  std::u16string_view Extension() const {
    return dotIndex < 0 ? std::u16string_view() : std::u16string_view(name).substr(size_t(dotIndex) + 1);
  }
};

struct NewNameEntry {
  uint8_t renamed = 0;
  int32_t status = kStatusOk;
  uint8_t folder = 0;
  int32_t dotIndex = -1;
  std::optional<std::u16string> name;  // absent when no name could be made
  uint32_t length = 0;
  uint64_t hash = 0;
};

// Makes a SourceItem from a panel item: folders never have an extension; a file has one when its
// last dot is not the first character.
SourceItem MakeSourceItem(uint32_t panelIndex, uint32_t attributes, std::u16string name);

// Worker control, shared between the dialog thread and the worker. Every field is atomic.
enum class JobKind : int { kNone = 0, kConstruct = 1, kManipulate = 2, kRename = 3, kRollback = 4 };
struct WorkerControl {
  std::atomic<bool> running{false};
  std::atomic<int> kind{0};          // JobKind
  std::atomic<bool> forRename{false};
  std::atomic<bool> skipCheck{false};
  std::atomic<bool> pause{false};
  std::atomic<bool> cancel{false};
  std::atomic<int> answer{-1};
  std::atomic<int> result{0};
  std::atomic<uint64_t> progressTotal{0};
  std::atomic<uint64_t> progressDone{0};
};

// The processing order setting: 0 list order, 1 files first, 2 folders first.
enum class ProcessOrder : uint32_t { kList = 0, kFilesFirst = 1, kFoldersFirst = 2 };

struct RenameList {
  std::vector<SourceItem> items;
  uint32_t fileCount = 0;
  uint32_t folderCount = 0;
  std::u16string currentDirectory;
  std::vector<NewNameEntry> entries;  // made on the first computation, reset before each later one
  std::vector<uint32_t> order;        // processing order, built once
  bool orderBuilt = false;
  uint32_t problemCount = 0;
  uint32_t duplicateCount = 0;
  // True only after a computation whose duplicate check ran to its end; cleared when the next
  // computation starts, so a cancelled check is never mistaken for a finished one.
  bool checkCompleted = false;
  WorkerControl control;

  // The work buffer; allocated on first use, kept for the life of the list.
  char16_t* WorkBuffer();

 private:
  std::unique_ptr<char16_t[]> workBuffer_;
};

// What the list is built from: the active panel in the shell, a table in tests.
class PanelSource {
 public:
  virtual ~PanelSource() = default;
  // Number of selected items; false when the panel cannot be asked.
  virtual bool SelectedCount(uint32_t* count) = 0;
  // The selected item at `index` (among the selected ones); false when it cannot be read.
  virtual bool SelectedItem(uint32_t index, std::u16string* name, uint32_t* attributes) = 0;
  virtual std::u16string CurrentDirectory() = 0;
};

// Fills the list from the panel's selection: files always, folders only with renameFolders.
// Returns false when the panel could not be read or memory ran out (the list is then empty).
bool BuildList(PanelSource& panel, bool renameFolders, RenameList* list);

// Builds list->order once (later calls keep it). Any order other than list order needs
// renameFolders; without it the list order is used.
void BuildProcessOrder(RenameList* list, ProcessOrder order, bool renameFolders);

// ---- Text helpers ------------------------------------------------------------------------------

// Letter case in the fixed "C" mapping: only A-Z and a-z change.
inline char16_t UpperC(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }
inline char16_t LowerC(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }
bool EqualIgnoreCase(std::u16string_view a, std::u16string_view b);
// Position of the first match of `what` in `text` at or after `start`, ignoring case; -1 if none
// (and for an empty `what`).
int64_t FindIgnoreCase(std::u16string_view text, std::u16string_view what, size_t start);

void ToUpperC(char16_t* text, size_t length);
void ToLowerC(char16_t* text, size_t length);
// Title case: the first character upper, each later one upper after a delimiter, else lower.
void ToTitleC(char16_t* text, size_t length, std::u16string_view delimiters);

bool IsInvalidNameChar(char16_t c);
// The first invalid name character of `text`, or 0.
char16_t FirstInvalidNameChar(std::u16string_view text);
bool IsBlank(char16_t c);  // space, tab, line feed
bool IsOnlyBlanks(std::u16string_view text);

// The 64-bit positional key of the duplicate check: sum of p * upper(c) for p = 1..length.
uint64_t NameHash(std::u16string_view name);

// ---- Templates ---------------------------------------------------------------------------------

enum class TokenKind : int { kBase = 1, kExtension = 2, kNumber = 3, kLiteral = 4 };
struct TemplateToken {
  TokenKind kind = TokenKind::kLiteral;
  uint32_t value1 = 0;  // number: width; literal: start in the template
  uint32_t value2 = 0;  // literal: length
};

// 0 valid, 1 empty or only blanks, 2 invalid character (in *bad), 3 no token while several items
// are renamed.
enum TemplateCheck : int { kTemplateOk = 0, kTemplateEmpty = 1, kTemplateBadChar = 2, kTemplateNoToken = 3 };
TemplateCheck CheckTemplate(std::u16string_view text, bool singleItem, char16_t* bad);

// One token per "*", "/", "?" run and literal run, in order. Call on a checked template.
std::vector<TemplateToken> ParseTemplate(std::u16string_view text);

// True when the template already guarantees distinct names: it holds a "?" run, or both "*" and "/".
bool TemplateGivesDistinctNames(std::u16string_view text);

// Number fields: blanks, digits, blanks; with allowEmpty no digit is needed.
bool CheckNumberField(std::u16string_view text, bool allowEmpty);
// The value of a checked number field: decimal, only the low 32 bits kept; empty gives 0.
uint32_t ParseNumberField(std::u16string_view text);

// Appends `number` zero-padded to `width` digits (a wider number is written whole); decimal, or
// hexadecimal in upper- or lower-case digits.
void FormatSequence(std::u16string* out, uint32_t number, uint32_t width, bool hex, bool hexUpper);

// ---- Computations ------------------------------------------------------------------------------

// The settings a computation reads.
struct ComputeRules {
  std::u16string wordDelimiters{kDefaultWordDelimiters};
  bool convertExtensionCase = false;
  bool hexUppercase = true;
  bool dupCheckEnabled = true;  // "PreviewDupCheck" or "RenameDupCheck", by the kind of job
  uint32_t dupCheckMax = 1000;  // 0: no limit
};

struct ConstructOptions {
  std::u16string templateText;
  std::vector<TemplateToken> tokens;
  uint32_t counter = 0;          // the start value
  bool hex = false;
  bool keepExtension = true;     // the "template includes the extension" box is NOT checked
  CaseMode caseMode = CaseMode::kNone;
};

struct ManipulateOptions {
  std::optional<std::u16string> find;  // absent: replace off
  std::u16string replacement;
  std::u16string prefix;
  std::u16string suffix;
  bool cut = false;
  uint32_t cutStart = 0;
  uint32_t cutEnd = 0;
  std::optional<std::u16string> newExtension;  // absent: extension option off
  bool addExtension = false;
  CaseMode caseMode = CaseMode::kNone;
};

// The Construct dialog's fields as the user left them, before they become ConstructOptions.
struct ConstructInputs {
  std::u16string templateText;
  std::u16string start;         // decimal; an empty field counts 0
  bool hex = false;
  bool withExtension = false;   // "the template includes the extension"
  bool caseOn = false;
  CaseMode caseMode = CaseMode::kNone;
};

// Checks the template, then the start, for `itemCount` items and, when both are good, fills
// *options. Messages: 65 empty template, 66 invalid character (in badChar), 67 no token for
// several items (the focus goes to the template for these three), 68 the start is not a number
// (the focus goes to the start field); -1 when the inputs are good.
struct ConstructCheck {
  int message = -1;
  char16_t badChar = 0;
};
ConstructCheck CheckConstructInputs(const ConstructInputs& in, size_t itemCount, ConstructOptions* options);

// The Manipulate dialog's fields as the user left them, before they become ManipulateOptions.
struct ManipulateInputs {
  bool replace = false;
  std::u16string find, replacement;
  bool prefixOn = false;
  std::u16string prefix;
  bool suffixOn = false;
  std::u16string suffix;
  bool cut = false;
  std::u16string cutStart, cutEnd;  // decimal; an empty field counts 0
  bool extension = false;
  std::u16string newExtension;
  bool addExtension = false;
  bool caseOn = false;
  CaseMode caseMode = CaseMode::kNone;
};

// Where the dialog puts the focus after a failed check.
enum class ManipulateField { kNone, kFind, kReplacement, kPrefix, kSuffix, kCutStart, kCutEnd, kExtension, kReplaceBox };

struct ManipulateCheck {
  int message = -1;  // language message to show; -1 when the inputs are good
  ManipulateField field = ManipulateField::kNone;
};

// Checks the inputs in the dialog's order (replace, prefix, suffix, cut, extension) and, when
// they are good, fills *options. Messages: 45 find text empty, 46/47/48/49 invalid character in
// the find text/replacement/prefix/suffix, 50/51 a cut count that is not a number, 52 both cut
// counts empty, 53 invalid character in the new extension, 54 a new extension of blanks only,
// 55 no option changes anything.
ManipulateCheck CheckManipulateInputs(const ManipulateInputs& in, ManipulateOptions* options);

// Phases announced to the dialog.
enum class Phase : int { kComputing = 0, kComparing = 1, kHashing = 2 };

// What the worker reports to, and how it waits. The shell sends dialog messages from here.
class ComputeHooks {
 public:
  virtual ~ComputeHooks() = default;
  virtual void Progress() {}              // one step done
  virtual void PhaseStarted(Phase) {}
  virtual void Sleep(uint32_t milliseconds);
};

// Results of the computations.
enum ComputeResult : int { kNoDuplicates = 1, kDuplicatesFound = 2, kCancelled = 3, kOutOfMemory = -2 };

// Fill every entry of the list with its new name, then run the duplicate check when it applies
// (skipCheck false, rules.dupCheckEnabled, the maximum, the item limit, and for Construct a
// template that does not guarantee distinct names). Tests cancel and pause before every item
// and every comparison. Needs the processing order for Construct (built if missing).
int ComputeConstruct(RenameList* list, const ConstructOptions& options, const ComputeRules& rules,
                     bool skipCheck, ComputeHooks* hooks);
int ComputeManipulate(RenameList* list, const ManipulateOptions& options, const ComputeRules& rules,
                      bool skipCheck, ComputeHooks* hooks);

// The duplicate check alone (hash and compare phases): sorts by hash and compares within equal
// hashes, marking exactly what comparing every pair in list order would mark (the tests keep
// that pairwise check as the reference). Result 1, 2, or 3 when cancelled; the progress total of
// the compare phase is n(n-1)/2.
int DuplicateCheckBucketed(RenameList* list, ComputeHooks* hooks);

// Applies the case conversion to a built name whose extension starts at dotIndex (-1: none).
void ConvertCase(char16_t* name, size_t length, int32_t dotIndex, CaseMode mode, const ComputeRules& rules);

// The preview line of the Construct dialog for the first item in processing order. Returns the
// line, or the number of the language message to show instead (63 invalid character, 64 start
// not a number, 0 empty template).
struct PreviewLine {
  std::u16string text;
  int message = -1;  // -1: show text
};
PreviewLine ComputePreviewLine(RenameList* list, std::u16string_view templateText, std::u16string_view startText,
                               bool hex, bool keepExtension, CaseMode caseMode, const ComputeRules& rules);

}  // namespace quillet
