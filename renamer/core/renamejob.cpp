#include "renamer/core/renamejob.h"

#include <chrono>
#include <thread>

namespace quillet {

namespace {

bool IsFree(uint32_t probe) { return probe == kErrFileNotFound || probe == kErrPathNotFound; }

// The answer field is polled at this interval while a prompt is open; pause at 100 ms steps.
constexpr uint32_t kAnswerPollMs = 10;
constexpr uint32_t kPauseSleepMs = 100;

}  // namespace

void RenameJobHooks::Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int32_t StatusForMoveError(uint32_t error) {
  switch (error) {
    case kErrAccessDenied:
    case kErrWriteProtect:
    case kErrNotReady:
      return kStatusAccess;
    case kErrFileNotFound:
    case kErrPathNotFound:
    case kErrInvalidDrive:
      return kStatusNotFound;
    case kErrFileExists:
    case kErrAlreadyExists:
      return kStatusConflict;
    default:
      return kStatusOtherError;
  }
}

std::u16string BuildItemPath(std::u16string_view directory, std::u16string_view name, bool folder) {
  std::u16string path;
  path.reserve(directory.size() + name.size() + 10);
  if (directory.substr(0, 4) == u"\\\\?\\") {
    path.assign(directory);
  } else if (directory.substr(0, 2) == u"\\\\") {
    path = u"\\\\?\\UNC\\";
    path.append(directory.substr(2));
  } else {
    path = u"\\\\?\\";
    path.append(directory);
  }
  if (path.back() != u'\\') path.push_back(u'\\');
  path.append(name);
  if (folder) path.push_back(u'\\');
  return path;
}

std::u16string ResolveSuffix(uint32_t format, uint32_t n) {
  std::u16string digits;
  FormatSequence(&digits, n, 0, false, false);
  switch (format) {
    case 1:
      return u" " + digits;
    case 2:
      return u"_" + digits;
    default:
      return u" (" + digits + u")";
  }
}

int32_t DotIndexOf(std::u16string_view name, bool folder) {
  if (folder) return -1;
  size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0) return -1;
  return int32_t(dot);
}

bool ApplyTypedName(NewNameEntry* entry, std::u16string_view typed) {
  if (FirstInvalidNameChar(typed) != 0) return false;
  while (!typed.empty() && typed.back() == u' ') typed.remove_suffix(1);
  if (typed.empty() || typed.size() >= kWorkBufferChars) return false;
  entry->name = std::u16string(typed);
  entry->length = uint32_t(typed.size());
  entry->dotIndex = DotIndexOf(typed, entry->folder != 0);
  entry->status = kStatusOk;
  return true;
}

// ---- The job -------------------------------------------------------------------------------------

RenameJob::RenameJob(RenameList* list, FileSystem* fs, const RenameJobSettings& settings, RenameJobHooks* hooks)
    : list_(list), fs_(fs), settings_(settings), hooks_(hooks) {}

std::u16string RenameJob::OldPath(uint32_t index) const {
  const SourceItem& item = list_->items[index];
  return BuildItemPath(list_->currentDirectory, item.name, item.folder != 0);
}

std::u16string RenameJob::NewPath(uint32_t index) const {
  const SourceItem& item = list_->items[index];
  const NewNameEntry& entry = list_->entries[index];
  return BuildItemPath(list_->currentDirectory, entry.name ? *entry.name : std::u16string(), item.folder != 0);
}

bool RenameJob::Stopped() {
  WorkerControl& c = list_->control;
  while (c.pause.load() && !c.cancel.load()) hooks_->Sleep(kPauseSleepMs);
  return c.cancel.load();
}

void RenameJob::Step(int delta) {
  if (delta > 0) {
    list_->control.progressDone.fetch_add(uint64_t(delta));
  } else if (list_->control.progressDone.load() > 0) {
    list_->control.progressDone.fetch_sub(uint64_t(-delta));
  }
  hooks_->Notify(kNotifyStep, 0);
}

void RenameJob::GiveUp(uint32_t index) {
  problems.push_back(index);
  givenUp.fetch_add(1);
}

RenameJob::Try RenameJob::TryItem(uint32_t index) {
  const SourceItem& item = list_->items[index];
  NewNameEntry& entry = list_->entries[index];
  if (entry.status == kStatusKeep) return Try::kDone;
  if (entry.status == kStatusNoManipulated || entry.status == kStatusInvalidTyped || entry.status == kStatusNoName ||
      !entry.name) {
    return Try::kFailed;
  }
  // The same name: nothing to move (and nothing to undo later).
  if (*entry.name == item.name) {
    entry.status = kStatusOk;
    return Try::kDone;
  }
  const bool caseOnly = EqualIgnoreCase(*entry.name, item.name);
  const std::u16string target = NewPath(index);
  if (!caseOnly && !IsFree(fs_->Probe(target))) {
    entry.status = kStatusConflict;
    return Try::kFailed;
  }
  const uint32_t error = fs_->Move(OldPath(index), target);
  if (error != 0) {
    entry.status = StatusForMoveError(error);
    return Try::kFailed;
  }
  entry.status = kStatusOk;
  entry.renamed = 1;
  renamedCount.fetch_add(1);
  return Try::kDone;
}

int RenameJob::AskAndWait(uint32_t index) {
  WorkerControl& c = list_->control;
  c.answer.store(kAnswerNone);
  c.pause.store(true);
  hooks_->Notify(kNotifyProblem, index);
  int answer = c.answer.load();
  while (answer == kAnswerNone && !c.cancel.load()) {
    hooks_->Sleep(kAnswerPollMs);
    answer = c.answer.load();
  }
  if (answer == kAnswerNone) return -1;
  // The reply ends the prompt's pause; a pause the user asks for later is set again by the dialog.
  c.pause.store(false);
  return answer;
}

bool RenameJob::Resolve(uint32_t index) {
  NewNameEntry& entry = list_->entries[index];
  const SourceItem& item = list_->items[index];
  if (!entry.name || entry.name->empty()) return false;
  const std::u16string& name = *entry.name;
  const size_t split = entry.dotIndex >= 0 && size_t(entry.dotIndex) <= name.size() ? size_t(entry.dotIndex) : name.size();
  const std::u16string base = name.substr(0, split);
  const std::u16string extension = name.substr(split);
  for (uint32_t n = 0; n < settings_.autoResolveMax; ++n) {
    if ((n & 0xFF) == 0xFF && list_->control.cancel.load()) return false;
    const std::u16string suffix = ResolveSuffix(settings_.autoResolveSuffix, n);
    std::u16string candidate = base + suffix + extension;
    if (candidate.size() >= kWorkBufferChars) return false;
    bool take = EqualIgnoreCase(candidate, item.name);
    if (!take) {
      const uint32_t probe = fs_->Probe(BuildItemPath(list_->currentDirectory, candidate, item.folder != 0));
      if (probe == 0) continue;  // taken: the next number
      // Anything but "not found" is a fault that no other number would cure.
      if (!IsFree(probe)) return false;
      take = true;
    }
    entry.length = uint32_t(candidate.size());
    entry.name = std::move(candidate);
    if (entry.dotIndex >= 0) entry.dotIndex += int32_t(suffix.size());
    return true;
  }
  return false;
}

int RenameJob::Rename() {
  WorkerControl& c = list_->control;
  const uint32_t count = uint32_t(list_->items.size());
  problems.clear();
  givenUp.store(0);
  errors.store(0);
  c.progressTotal.store(count);
  c.progressDone.store(0);
  if (list_->entries.size() != count) list_->entries.resize(count);

  std::vector<uint32_t> deferred;
  int result = 0;
  for (uint32_t i = 0; i < count && result == 0; ++i) {
    if (Stopped()) {
      result = kCancelled;
      break;
    }
    hooks_->Notify(kNotifyRenaming, i);
    if (TryItem(i) == Try::kDone) {
      Step(1);
    } else {
      deferred.push_back(i);
    }
  }

  for (size_t k = 0; k < deferred.size() && result == 0; ++k) {
    const uint32_t i = deferred[k];
    if (Stopped()) {
      result = kCancelled;
      break;
    }
    hooks_->Notify(kNotifyRenaming, i);
    const int32_t status = list_->entries[i].status;
    if (status == kStatusInvalidTyped || status == kStatusNoName) {
      GiveUp(i);
      continue;
    }
    bool asked = false;
    bool tryAgain = true;
    for (;;) {
      if (tryAgain) {
        if (TryItem(i) == Try::kDone) {
          if (asked) {
            hooks_->Notify(kNotifyRetried, i);
            c.pause.store(false);
          }
          Step(1);
          break;
        }
        errors.fetch_add(1);
      }
      const int answer = AskAndWait(i);
      asked = true;
      if (answer < 0) {
        result = kCancelled;
        break;
      }
      if (answer == kAnswerGiveUp) {
        GiveUp(i);
        break;
      }
      if (answer == kAnswerResolve) Resolve(i);
      tryAgain = answer != kAnswerAskAgain;
    }
  }
  if (result == 0) result = problems.empty() ? kNoDuplicates : kDuplicatesFound;
  hooks_->Notify(kNotifyEnd, 0);
  return result;
}

int RenameJob::Rollback() {
  WorkerControl& c = list_->control;
  const uint32_t count = uint32_t(list_->items.size());
  problems.clear();
  givenUp.store(0);
  errors.store(0);
  uint64_t moved = 0;
  for (const NewNameEntry& e : list_->entries) moved += e.renamed;
  c.progressTotal.store(moved);
  c.progressDone.store(moved);

  auto restore = [&](uint32_t i) {
    const SourceItem& item = list_->items[i];
    NewNameEntry& entry = list_->entries[i];
    const std::u16string oldPath = OldPath(i);
    const bool caseOnly = entry.name && EqualIgnoreCase(*entry.name, item.name);
    if (!caseOnly && !IsFree(fs_->Probe(oldPath))) return false;
    if (fs_->Move(NewPath(i), oldPath) != 0) return false;
    entry.renamed = 0;
    renamedCount.fetch_sub(1);
    Step(-1);
    return true;
  };

  int result = 0;
  std::vector<uint32_t> deferred;
  for (uint32_t k = count; k-- > 0;) {
    if (Stopped()) {
      result = kCancelled;
      break;
    }
    hooks_->Notify(kNotifyRestoring, k);
    if (!list_->entries[k].renamed) continue;
    if (!restore(k)) deferred.push_back(k);
  }
  // An item whose old name is held by another renamed item goes back once that one has; every
  // such chain ends, so further rounds are worth it while any round restores something.
  bool progress = true;
  while (result == 0 && !deferred.empty() && progress) {
    progress = false;
    std::vector<uint32_t> still;
    for (uint32_t i : deferred) {
      if (result == 0 && Stopped()) result = kCancelled;
      if (result != 0) break;
      hooks_->Notify(kNotifyRestoring, i);
      if (restore(i)) {
        progress = true;
      } else {
        errors.fetch_add(1);
        still.push_back(i);
      }
    }
    deferred.swap(still);
  }
  if (result == 0) {
    for (uint32_t i : deferred) GiveUp(i);
    result = problems.empty() ? kNoDuplicates : kDuplicatesFound;
  }
  hooks_->Notify(kNotifyEnd, 1);
  return result;
}

// ---- The prompt's decisions ----------------------------------------------------------------------

int ProblemPrompter::Decide(int32_t status, uint32_t index, Question* question) {
  const bool sameAsLast = lastAsked_ == int64_t(index);
  lastAsked_ = int64_t(index);
  *question = Question::kNone;
  if (status == kStatusConflict || status == kStatusNoManipulated) {
    if (skipAll_) return kAnswerGiveUp;
    if (!resolveAll_ && options_.autoResolve) {
      return options_.autoResolveType == 0 && !sameAsLast ? kAnswerResolve : kAnswerGiveUp;
    }
    if (resolveAll_) {
      if (!sameAsLast) return kAnswerResolve;
      resolveAll_ = false;
    }
    *question = Question::kConflict;
    return kAnswerNone;
  }
  if (status == kStatusInvalidTyped || status == kStatusNoName || ignoreAll_ || options_.autoIgnoreOther) {
    return kAnswerGiveUp;
  }
  *question = Question::kOther;
  return kAnswerNone;
}

int ProblemPrompter::ConflictButton(int button) {
  switch (button) {
    case 1:
      return kAnswerResolve;
    case 2:
      resolveAll_ = true;
      return kAnswerResolve;
    case 3:
      return kAnswerGiveUp;
    case 4:
      skipAll_ = true;
      return kAnswerGiveUp;
    default:
      return -1;
  }
}

int ProblemPrompter::OtherButton(int button) {
  switch (button) {
    case 0:
      return kAnswerRetry;
    case 1:
      return kAnswerGiveUp;
    case 2:
      ignoreAll_ = true;
      return kAnswerGiveUp;
    default:
      return -1;
  }
}

// ---- Texts ---------------------------------------------------------------------------------------

std::u16string FitName(const std::u16string* name, size_t width) {
  std::u16string out;
  if (!name) {
    out = u"...";
  } else if (name->size() > width) {
    out = u"..." + name->substr(name->size() - (width > 3 ? width - 3 : 0));
  } else {
    out = *name;
  }
  out.resize(width, u' ');
  return out;
}

std::u16string ProgressBar(uint64_t done, uint64_t total, uint32_t cells) {
  uint64_t full = total == 0 ? 0 : (done >= total ? cells : done * cells / total);
  std::u16string bar(cells, u'\u2592');
  for (uint64_t i = 0; i < full; ++i) bar[size_t(i)] = u'\u2588';
  return bar;
}

uint32_t Percent(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  if (done >= total) return 100;
  return uint32_t(done * 100 / total);
}

}  // namespace quillet
