// The rename job and its rollback: moving the items of a RenameList on disk to their new names,
// two passes, the problem prompt protocol through the worker control's answer field, automatic
// resolution with a numbered suffix, and the undo of every move.
//
// The disk is reached only through FileSystem, which the shell implements over Win32 (CreateFileW
// to test a target, MoveFileW to move) and tests implement in memory with the same rules: a move
// never replaces an existing object, except that a change of letter case of the same object is
// allowed; names are compared ignoring the case of A-Z.
//
// Threads: Rename() and Rollback() run on the rename worker. The dialog thread reads the atomic
// counters while the job runs, and writes only the worker control fields (pause, cancel, answer)
// and, while the worker waits for an answer, the new name of the item being asked about.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "renamer/core/engine.h"

namespace quillet {

// System error codes the job tells apart.
inline constexpr uint32_t kErrFileNotFound = 2;
inline constexpr uint32_t kErrPathNotFound = 3;
inline constexpr uint32_t kErrAccessDenied = 5;
inline constexpr uint32_t kErrInvalidDrive = 15;
inline constexpr uint32_t kErrWriteProtect = 19;
inline constexpr uint32_t kErrNotReady = 21;
inline constexpr uint32_t kErrFileExists = 80;
inline constexpr uint32_t kErrAlreadyExists = 183;

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens the object at `path` for no access (share all, existing only, folders too) and closes
  // it again: 0 when it exists, else the system error code.
  virtual uint32_t Probe(const std::u16string& path) = 0;
  // Moves `from` to `to` without ever replacing an object: 0 or the system error code.
  virtual uint32_t Move(const std::u16string& from, const std::u16string& to) = 0;
};

// The status a failed move leaves: 5, 19, 21 access; 2, 3, 15 not found; 80, 183 conflict;
// anything else "other".
int32_t StatusForMoveError(uint32_t error);

// The full path of a name in `directory`: "\\?\" + directory, or "\\?\UNC\" + the directory
// without its two leading backslashes for a network path; then a backslash and the name; a
// folder's path ends in a backslash too. A directory already in "\\?\" form is kept as it is.
std::u16string BuildItemPath(std::u16string_view directory, std::u16string_view name, bool folder);

// The suffix of automatic resolution for number n: format 0 " (n)", 1 " n", 2 "_n".
std::u16string ResolveSuffix(uint32_t format, uint32_t n);

// A name typed in the problem prompt's input box: accepted when it holds no invalid name
// character and is not empty once its trailing spaces are gone; then it replaces the entry's
// name (a file's dot index is its last dot that is not the first character).
bool ApplyTypedName(NewNameEntry* entry, std::u16string_view typed);

// The dot index of a new name: for a file its last dot when that is not the first character,
// else -1; folders have none.
int32_t DotIndexOf(std::u16string_view name, bool folder);

struct RenameJobSettings {
  uint32_t autoResolveSuffix = 0;       // "AutoResolveSuffix"
  uint32_t autoResolveMax = 0xFFFFFFFFu; // "AutoResolveMax", compared unsigned
};

// Notification codes the job sends to the dialog that started it.
enum JobNotify : int {
  kNotifyStep = 0,        // one step done
  kNotifyRenaming = 1,    // param: item index now renamed
  kNotifyRestoring = 2,   // param: item index now restored (rollback)
  kNotifyProblem = 3,     // param: item index; put the reply into the answer field
  kNotifyRetried = 4,     // param: item index renamed after a retry
  kNotifyEnd = 5,         // param: 1 for rollback
};

// Replies to a problem prompt (the answer field).
enum ProblemAnswer : int {
  kAnswerNone = -1,
  kAnswerGiveUp = 0,
  kAnswerNewName = 1,
  kAnswerResolve = 2,
  kAnswerRetry = 3,
  kAnswerAskAgain = 4,
};

class RenameJobHooks {
 public:
  virtual ~RenameJobHooks() = default;
  virtual void Notify(int code, uint32_t param) = 0;
  virtual void Sleep(uint32_t milliseconds);
};

class RenameJob {
 public:
  RenameJob(RenameList* list, FileSystem* fs, const RenameJobSettings& settings, RenameJobHooks* hooks);

  // The two passes. Result: 1 done, 2 done with items given up, 3 cancelled.
  int Rename();
  // Moves every renamed item back, from the last to the first; items that cannot go back yet
  // are tried again while any other one could. Result as for Rename; the problem list then holds
  // the items that could not be restored.
  int Rollback();

  // Automatic resolution of one item's new name (answer 2): the first free candidate
  // base + suffix(n) + extension, n from 0 while below "AutoResolveMax". False when none was
  // found (the name stays).
  bool Resolve(uint32_t index);

  std::u16string OldPath(uint32_t index) const;
  std::u16string NewPath(uint32_t index) const;

  // Indexes of the items given up, in order (read after the job ended).
  std::vector<uint32_t> problems;
  // For the progress dialog, while the job runs.
  std::atomic<uint32_t> givenUp{0};
  std::atomic<uint32_t> errors{0};
  std::atomic<uint32_t> renamedCount{0};

 private:
  enum class Try { kDone, kFailed };
  Try TryItem(uint32_t index);
  bool Stopped();  // waits while paused; true when cancelled
  int AskAndWait(uint32_t index);  // -1 when cancelled
  void GiveUp(uint32_t index);
  void Step(int delta);

  RenameList* list_;
  FileSystem* fs_;
  RenameJobSettings settings_;
  RenameJobHooks* hooks_;
};

// The dialog side of the problem prompt: which reply is automatic and which question to ask, and
// what the buttons mean. One per rename job (the choices made for "all" last for the job).
class ProblemPrompter {
 public:
  struct Options {
    bool autoResolve = false;       // "AutoResolve"
    uint32_t autoResolveType = 0;   // "AutoResolveType": 0 resolve, 1 skip
    bool autoIgnoreOther = false;   // "AutoIgnoreOther"
  };
  enum class Question { kNone, kConflict, kOther };
  explicit ProblemPrompter(const Options& options) : options_(options) {}

  // The automatic answer for an item with this status, or kAnswerNone with the question to ask.
  int Decide(int32_t status, uint32_t index, Question* question);
  // Conflict question buttons: 1 resolve, 2 resolve all, 3 skip, 4 skip all (button 0, a new
  // name, is the caller's input box: kAnswerNewName or kAnswerAskAgain). -1 (Esc) gives -1.
  int ConflictButton(int button);
  // Other-error question buttons: 0 retry, 1 skip, 2 skip all; -1 (Esc) gives -1.
  int OtherButton(int button);

 private:
  Options options_;
  bool skipAll_ = false;
  bool resolveAll_ = false;
  bool ignoreAll_ = false;
  int64_t lastAsked_ = -1;
};

// ---- Texts of the progress dialogs ------------------------------------------------------------

// A name in a fixed field of `width` columns: a longer one as "..." and its last width-3
// characters, a missing one as "..." and blanks; always exactly `width` characters.
std::u16string FitName(const std::u16string* name, size_t width);
// A bar of `cells` cells: the first done/total*cells (fraction dropped) are U+2588, the rest U+2592.
std::u16string ProgressBar(uint64_t done, uint64_t total, uint32_t cells);
// done/total*100 with the fraction dropped (0 when total is 0, never above 100).
uint32_t Percent(uint64_t done, uint64_t total);

}  // namespace quillet
