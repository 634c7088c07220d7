#include "devicebrowser/common/transfer/core/transfer.h"

namespace handrel::transfer {

namespace {

constexpr uint64_t kFourGiB = uint64_t{1} << 32;

bool EndsWithSeparator(const std::u16string& path) { return !path.empty() && path.back() == u'\\'; }

// The name part of a path (after its last backslash; a trailing one is ignored).
size_t NameStart(const std::u16string& path) {
  size_t end = EndsWithSeparator(path) ? path.size() - 1 : path.size();
  size_t slash = path.rfind(u'\\', end == 0 ? 0 : end - 1);
  return slash == std::u16string::npos ? 0 : slash + 1;
}

}  // namespace

bool NameFromField(const char16_t* field, size_t capacity, std::u16string& name) {
  for (size_t i = 0; i < capacity; ++i) {
    if (field[i] == 0) {
      name.assign(field, i);
      return true;
    }
  }
  name.clear();
  return false;
}

bool MakeFolderTree(FileSide& side, const std::u16string& path) {
  std::u16string folder = path;
  while (EndsWithSeparator(folder)) folder.pop_back();
  if (folder.empty()) return true;  // the device's root
  // Levels start after "C:" or the leading "\"; each is made when missing.
  size_t pos = folder.size() >= 2 && folder[1] == u':' ? 2 : 0;
  while (pos < folder.size()) {
    size_t next = folder.find(u'\\', pos + 1);
    if (next == std::u16string::npos) next = folder.size();
    std::u16string level = folder.substr(0, next);
    if (!level.empty() && level != u"\\" && !(level.size() == 2 && level[1] == u':')) {
      uint32_t attributes = side.GetAttributes(level);
      if (attributes == kNoAttributes) {
        if (!side.CreateFolder(level) && side.GetAttributes(level) == kNoAttributes) return false;
      } else if ((attributes & kAttrDirectory) == 0) {
        return false;
      }
    }
    pos = next;
  }
  uint32_t attributes = side.GetAttributes(folder);
  return attributes != kNoAttributes && (attributes & kAttrDirectory) != 0;
}

MOperationBase::MOperationBase(const Options& options, FileSide& source, FileSide& target, TransferUi& ui)
    : options_(options), source_(source), target_(target), ui_(ui), buffer_(kBlockSize) {
  // A device target of a silent or edit fetch is overwritten without asking.
  if (options_.targetIsDevice && (options_.mode & (kModeSilent | kModeEdit)) != 0) {
    overwriteSticky_ = kOverwriteAll;
    readOnlySticky_ = kOverwriteAll;
  } else if (Silent()) {
    // Nobody can be asked: an existing target of a silent fetch is replaced.
    overwriteSticky_ = kOverwriteAll;
    readOnlySticky_ = kOverwriteAll;
  }
}

void MOperationBase::Say(Message message, const std::u16string& path) {
  if (!Silent()) ui_.Show(message, path);
}

bool MOperationBase::SetTarget(const std::u16string& folder) {
  std::u16string root = folder;
  while (root.size() > 1 && EndsWithSeparator(root)) root.pop_back();
  if (root.size() + 1 > kMaxTargetRoot) {
    Say(Message::kTargetTooLong, root);
    return false;
  }
  if (!MakeFolderTree(target_, root)) {
    Say(Message::kCantCreateFolder, root);
    return false;
  }
  if (!EndsWithSeparator(root)) root += u'\\';
  targetRoot_ = root;
  return true;
}

bool MOperationBase::BuildList(const std::vector<SourceItem>& items) {
  for (size_t i = 0; i < items.size(); ++i) {
    const SourceItem& item = items[i];
    bool isFolder = (item.attributes & kAttrDirectory) != 0;
    if (!AddPath(item.path, &item, static_cast<int>(i), isFolder)) return false;
  }
  return true;
}

bool MOperationBase::AddPath(const std::u16string& path, const SourceItem* item, int itemIndex, bool isFolder) {
  if (ui_.ListTick()) {
    cancelled_ = true;
    return false;
  }
  if (!prefixSet_) {
    sourcePrefix_ = NameStart(path);
    prefixSet_ = true;
  }
  TransferEntry entry;
  entry.item = itemIndex;
  entry.attributes = item != nullptr ? item->attributes : 0;
  if (item != nullptr) entry.shortName = item->shortName;
  if (!isFolder) {
    if (item != nullptr && item->hasInfo) {
      entry.hasItemInfo = true;
      entry.size = item->size;
      entry.writeTime = item->writeTime;
    }
    // The device's file functions move at most 4 GiB - 1 bytes: refuse before anything is copied.
    if (options_.sourceIsDevice && entry.hasItemInfo && entry.size >= kFourGiB) {
      Say(Message::kFileTooLarge, path);
      return false;
    }
    entry.kind = EntryKind::kFile;
    entry.path = path;
    if (entry.hasItemInfo) totalBytes_ += entry.size;
    entries_.push_back(std::move(entry));
    return true;
  }
  entry.kind = EntryKind::kFolderStart;
  entry.path = EndsWithSeparator(path) ? path : path + u'\\';
  std::u16string folder = entry.path;
  entries_.push_back(entry);
  totalBytes_ += 1;
  if (!WalkFolder(folder)) return false;
  TransferEntry end;
  end.kind = EntryKind::kFolderEnd;
  end.path = folder;
  end.item = itemIndex;
  end.attributes = entry.attributes;
  entries_.push_back(std::move(end));
  return true;
}

bool MOperationBase::WalkFolder(const std::u16string& folder) {
  std::vector<FolderEntry> found;
  if (!source_.List(folder, found)) {
    Say(Message::kInvalidFolder, folder);
    return false;
  }
  for (const FolderEntry& child : found) {
    if (child.name.empty() || child.name == u"." || child.name == u".." ||
        child.name.find(u'\\') != std::u16string::npos) {
      continue;  // never a name that would leave the folder
    }
    std::u16string path = folder + child.name;
    if (path.size() > kMaxListPath) {
      Say(Message::kTooLongPath, path);
      return false;
    }
    bool isFolder = (child.info.attributes & kAttrDirectory) != 0;
    if (isFolder) {
      if (!AddPath(path, nullptr, -1, true)) return false;
      entries_[entries_.size() - 1].attributes = child.info.attributes;
      continue;
    }
    if (ui_.ListTick()) {
      cancelled_ = true;
      return false;
    }
    if (options_.sourceIsDevice && child.info.size >= kFourGiB) {
      Say(Message::kFileTooLarge, path);
      return false;
    }
    TransferEntry entry;
    entry.kind = EntryKind::kFile;
    entry.attributes = child.info.attributes;
    entry.path = std::move(path);
    totalBytes_ += child.info.size;
    entries_.push_back(std::move(entry));
  }
  return true;
}

std::u16string MOperationBase::TargetPath(const TransferEntry& entry) const {
  std::u16string relative = entry.path.size() > sourcePrefix_ ? entry.path.substr(sourcePrefix_) : u"";
  std::u16string path = targetRoot_ + relative;
  if (!options_.targetIsDevice && !entry.shortName.empty() &&
      (options_.mode & (kModeView | kModeEdit | kModeQuickView)) != 0 && entry.kind == EntryKind::kFile) {
    // The host opens the file it asked for under its 8.3 name.
    path = path.substr(0, NameStart(path)) + entry.shortName;
  }
  return path;
}

bool MOperationBase::Step(bool& done) {
  done = false;
  if (index_ >= entries_.size()) {
    Say(Message::kInvalidIndex, u"");
    return false;
  }
  if (!Silent() && !progressShown_) {
    ui_.ProgressStart(static_cast<int>(entries_.size()), totalBytes_);
    progressShown_ = true;
  }
  if (ui_.Escape()) {
    cancelled_ = true;
    return false;
  }
  const TransferEntry& entry = entries_[index_];
  std::u16string target = TargetPath(entry);
  // A file is shown once its size is known (CopyFile), so that the window counts it once.
  if (!Silent() && entry.kind != EntryKind::kFile) ui_.ProgressFile(entry.path, target, 0);
  switch (entry.kind) {
    case EntryKind::kFolderStart:
      if (!MakeFolderTree(target_, target)) {
        Say(Message::kCantCreateFolder, target);
        return false;
      }
      if (!Silent()) ui_.ProgressAdd(1);
      break;
    case EntryKind::kFolderEnd:
      if (entry.item >= 0) finishedItems_.push_back(entry.item);
      break;
    case EntryKind::kFile:
      if (!CopyFile(entry, target)) return false;
      if (entry.item >= 0) finishedItems_.push_back(entry.item);
      break;
  }
  ++index_;
  done = index_ >= entries_.size();
  return true;
}

int MOperationBase::Run() {
  bool done = entries_.empty();
  while (!done) {
    if (!Step(done)) return cancelled_ ? -1 : 0;
  }
  return 1;
}

bool MOperationBase::AskAfterOpenError(bool target, const std::u16string& path, uint32_t error, Open& outcome) {
  if (skipAllOpenErrors_) {
    outcome = Open::kSkipped;
    return false;
  }
  if (Silent()) {
    outcome = Open::kFailed;
    return false;
  }
  switch (ui_.AskOpenError(target, path, error)) {
    case kRetry:
      return true;
    case kSkipFile:
      outcome = Open::kSkipped;
      return false;
    case kSkipAllFiles:
      skipAllOpenErrors_ = true;
      outcome = Open::kSkipped;
      return false;
    default:
      outcome = Open::kFailed;
      return false;
  }
}

MOperationBase::Open MOperationBase::OpenSource(const std::u16string& path, FileSide::Handle& handle) {
  for (;;) {
    if (options_.sourceIsDevice) {
      handle = source_.Open(path, OpenMode::kRead);
    } else {
      // A local source is opened for writing too when it can be (so that nobody changes it
      // meanwhile), else for reading.
      handle = source_.Open(path, OpenMode::kReadWrite);
      if (handle == FileSide::kInvalid) handle = source_.Open(path, OpenMode::kRead);
    }
    if (handle != FileSide::kInvalid) return Open::kOpened;
    Open outcome = Open::kFailed;
    if (!AskAfterOpenError(false, path, source_.LastError(), outcome)) return outcome;
  }
}

int MOperationBase::Decide(bool readOnly, const std::u16string& path, const FileInfo& source,
                           const FileInfo& existing) {
  int& sticky = readOnly ? readOnlySticky_ : overwriteSticky_;
  if (sticky == kOverwriteAll) return kOverwrite;
  if (sticky == kSkipAll) return kSkip;
  int answer = ui_.AskOverwrite(readOnly, path, source, existing);
  if (answer == kOverwriteAll || answer == kSkipAll) sticky = answer;
  switch (answer) {
    case kOverwrite:
    case kOverwriteAll:
      return kOverwrite;
    case kSkip:
    case kSkipAll:
      return kSkip;
    case kAppend:
      return kAppend;
    default:
      return kCancel;
  }
}

MOperationBase::Open MOperationBase::OpenTarget(const std::u16string& path, const FileInfo& source,
                                                TargetFile& out) {
  for (;;) {
    out = TargetFile();
    FileInfo existing;
    int decision = kOverwrite;
    bool exists = target_.Find(path, existing);
    // A target the side cannot report on (refused, a damaged answer) may exist: it is neither
    // overwritten nor taken for new, and the user is asked as for one that cannot be opened.
    uint32_t error = exists ? 0 : target_.LastError();
    bool unknown = !exists && error != kErrorFileNotFound && error != kErrorPathNotFound;
    if (exists && (existing.attributes & kAttrDirectory) != 0) {
      Say(Message::kCantCreateTarget, path);
      return Open::kFailed;
    }
    if (exists) {
      decision = Decide(false, path, source, existing);
      if (decision != kSkip && decision != kCancel && (existing.attributes & kAttrReadOnly) != 0) {
        decision = Decide(true, path, source, existing);
      }
      if (decision == kSkip) return Open::kSkipped;
      if (decision == kCancel) {
        cancelled_ = true;
        return Open::kFailed;
      }
    }
    if (exists) {
      // The old file is left as it is (content and attributes) until the new copy is complete:
      // an overwrite is written to a new file beside it, an append to a copy of it made there.
      out.replaces = true;
      out.oldAttributes = existing.attributes;
      if (!FreeNameBeside(path, out.path)) {
        error = target_.LastError();
      } else if (decision != kAppend) {
        out.handle = target_.Open(out.path, OpenMode::kCreateNew);
        error = target_.LastError();
      } else if (!target_.CopyWithin(path, out.path)) {
        error = target_.LastError();
      } else {
        // The copy has the old file's attributes: the bits that keep it from being written go.
        constexpr uint32_t kGuarded = kAttrReadOnly | kAttrHidden | kAttrSystem;
        uint32_t cleared = existing.attributes & ~(kGuarded | kAttrDirectory);
        if ((existing.attributes & kGuarded) == 0 || target_.SetAttributes(out.path, cleared == 0 ? kAttrNormal : cleared)) {
          out.handle = target_.Open(out.path, OpenMode::kOpenExisting);
        }
        error = target_.LastError();
        if (out.handle != FileSide::kInvalid && !target_.SeekEnd(out.handle)) {
          target_.Close(out.handle);
          out.handle = FileSide::kInvalid;
          Say(Message::kCantAppend, path);
          Drop(path, out.path);
          return Open::kFailed;
        }
        if (out.handle == FileSide::kInvalid) Drop(path, out.path);
      }
    } else if (!unknown) {
      // A new target is written under its own name (made new: a file that appeared meanwhile is
      // never emptied); a failed copy removes it.
      out.path = path;
      out.handle = target_.Open(path, OpenMode::kCreateNew);
      error = target_.LastError();
    }
    if (out.handle != FileSide::kInvalid) {
      out.made = true;
      return Open::kOpened;
    }
    Open outcome = Open::kFailed;
    if (!AskAfterOpenError(true, path, error, outcome)) return outcome;
  }
}

bool MOperationBase::FreeNameBeside(const std::u16string& target, std::u16string& name) {
  // A short name, so that a target path near the limit still has room for it beside it.
  constexpr int kTries = 100;
  std::u16string folder = target.substr(0, NameStart(target));
  for (int n = 1; n <= kTries; ++n) {
    std::string digits = std::to_string(n);
    name = folder + u"~hr" + std::u16string(digits.begin(), digits.end()) + u".tmp";
    FileInfo info;
    if (target_.Find(name, info)) continue;
    if (NotFound(target_.LastError())) return true;
    // A side that cannot say whether the name is taken gives no name: it could be the very file
    // the copy is in, and a clean-up must never mistake one file for another.
    break;
  }
  name.clear();
  return false;
}

bool Missing(FileSide& side, const std::u16string& path) {
  FileInfo info;
  if (side.Find(path, info)) return false;
  return NotFound(side.LastError());
}

MOperationBase::Replaced MOperationBase::ReplaceTarget(const TargetFile& file, const std::u16string& target,
                                                      uint32_t& error) {
  // The old file's read-only, hidden and system bits would refuse the replace: they are cleared
  // for it and put back when it fails.
  constexpr uint32_t kGuarded = kAttrReadOnly | kAttrHidden | kAttrSystem;
  Cleanup undo;
  undo.target = target;
  undo.remove = file.path;
  auto refused = [&] {
    error = target_.LastError();
    undo.keep = true;
    if (Tidy(target_, undo)) return Replaced::kRefused;
    undo.keep = false;
    pending_.push_back(undo);
    return Replaced::kBroken;
  };
  if ((file.oldAttributes & kGuarded) != 0) {
    uint32_t cleared = file.oldAttributes & ~(kGuarded | kAttrDirectory);
    if (!target_.SetAttributes(target, cleared == 0 ? kAttrNormal : cleared)) return refused();
    uint32_t old = file.oldAttributes & kAttrCarried;
    undo.attributes = old == 0 ? kAttrNormal : old;
  }
  if (target_.CanReplace()) return target_.Replace(file.path, target) ? Replaced::kDone : refused();
  // Old aside, new in, old deleted: whichever step fails, the old file is put back. An old file
  // that cannot be deleted once the new one is in (the side refuses it) is put back too, so that
  // no file is left under a name the user never chose.
  std::u16string aside;
  if (!FreeNameBeside(target, aside)) return refused();
  undo.aside = aside;
  if (!target_.Rename(target, aside) || !target_.Rename(file.path, target) || !target_.Delete(aside)) return refused();
  return Replaced::kDone;
}

namespace {

// Removes a file a copy made; false while it is still there.
bool RemoveMade(FileSide& side, const std::u16string& path) {
  if (side.Delete(path) || Missing(side, path)) return true;
  // The copy of a read-only old file keeps that bit until it is cleared.
  return side.SetAttributes(path, kAttrNormal) && side.Delete(path);
}

}  // namespace

bool Tidy(FileSide& side, Cleanup& cleanup) {
  if (!cleanup.aside.empty()) {
    // Each step needs a sure answer: a side that cannot say whether a file is there (a failed
    // query) leaves the record as it is for a later try, so that the old file is never lost track of.
    FileInfo info;
    if (side.Find(cleanup.aside, info)) {
      // The old file is beside its name. A target there too, with the temporary file gone, is the
      // new copy that was moved in after all: it gives way to the old one.
      if (side.Find(cleanup.target, info)) {
        if (!cleanup.remove.empty() && !Missing(side, cleanup.remove)) return false;
        if (!RemoveMade(side, cleanup.target)) return false;
      } else if (!Missing(side, cleanup.target)) {
        return false;
      }
      if (!side.Rename(cleanup.aside, cleanup.target)) return false;
    } else if (!Missing(side, cleanup.aside)) {
      return false;
    } else if (!cleanup.remove.empty() && !side.Find(cleanup.remove, info)) {
      if (!NotFound(side.LastError())) return false;
      // Neither the old file nor the temporary one is there: the new copy was moved in and the
      // old one deleted after all (by a step that answered a failure). The copy stands as it is.
      cleanup.attributes = kNoAttributes;
    }
    cleanup.aside.clear();
  }
  if (cleanup.attributes != kNoAttributes) {
    if (!side.SetAttributes(cleanup.target, cleanup.attributes)) return false;
    cleanup.attributes = kNoAttributes;
  }
  if (!cleanup.remove.empty() && !cleanup.keep) {
    if (!RemoveMade(side, cleanup.remove)) return false;
    cleanup.remove.clear();
  }
  return true;
}

void MOperationBase::TidyOrKeep(Cleanup cleanup) {
  if (!Tidy(target_, cleanup)) pending_.push_back(std::move(cleanup));
}

void MOperationBase::Drop(const std::u16string& target, const std::u16string& made) {
  Cleanup cleanup;
  cleanup.target = target;
  cleanup.remove = made;
  TidyOrKeep(cleanup);
}

bool MOperationBase::FinishCleanups() {
  std::vector<Cleanup> left;
  for (Cleanup& cleanup : pending_) {
    if (!Tidy(target_, cleanup)) left.push_back(std::move(cleanup));
  }
  pending_ = std::move(left);
  return pending_.empty();
}

bool MOperationBase::CopyFile(const TransferEntry& entry, const std::u16string& target) {
  FileSide::Handle in = FileSide::kInvalid;
  Open opened = OpenSource(entry.path, in);
  if (opened == Open::kSkipped) {
    ++totals_.filesSkipped;
    return true;
  }
  if (opened == Open::kFailed) return false;

  FileInfo sourceInfo;
  sourceInfo.attributes = entry.attributes;
  if (entry.hasItemInfo) {
    sourceInfo.size = entry.size;
    sourceInfo.writeTime = entry.writeTime;
  } else {
    if (!source_.GetSize(in, sourceInfo.size)) sourceInfo.size = kUnknownSize;
    if (!source_.GetWriteTime(in, sourceInfo.writeTime)) sourceInfo.writeTime = 0;
  }
  if (options_.sourceIsDevice && sourceInfo.size != kUnknownSize && sourceInfo.size >= kFourGiB) {
    source_.Close(in);
    Say(Message::kFileTooLarge, entry.path);
    return false;
  }
  if (!Silent()) ui_.ProgressFile(entry.path, target, sourceInfo.size);

  TargetFile out;
  opened = OpenTarget(target, sourceInfo, out);
  if (opened != Open::kOpened) {
    source_.Close(in);
    if (opened == Open::kSkipped) {
      ++totals_.filesSkipped;
      return true;
    }
    return false;
  }

  // A failed copy closes both files and removes what it made (a new target, or the temporary file
  // of an overwrite or append, whose old target stays as it was), so that nothing half-written
  // passes for a copy.
  auto fail = [&](bool say, Message message, const std::u16string& path) {
    if (in != FileSide::kInvalid) source_.Close(in);
    if (out.handle != FileSide::kInvalid) target_.Close(out.handle);
    if (out.made) Drop(target, out.path);
    if (say) Say(message, path);
    return false;
  };

  uint64_t copied = 0;
  for (;;) {
    uint32_t got = 0;
    if (!source_.Read(in, buffer_.data(), kBlockSize, got) || got > kBlockSize) {
      return fail(true, Message::kCantRead, entry.path);
    }
    if (got == 0) break;
    // A device file cannot hold 4 GiB: a source that never ends is a damaged answer, not data.
    if (options_.sourceIsDevice && copied + got >= kFourGiB) return fail(true, Message::kCantRead, entry.path);
    uint32_t written = 0;
    if (!target_.Write(out.handle, buffer_.data(), got, written) || written != got) {
      return fail(true, Message::kCantWrite, target);
    }
    copied += got;
    if (!Silent()) ui_.ProgressAdd(got);
    if (ui_.Escape()) {
      cancelled_ = true;
      return fail(false, Message::kCantRead, u"");  // no message: the user cancelled
    }
  }
  // A source that learned its size while it was read: the settled size replaces the first one.
  uint64_t settled = 0;
  if (source_.SizeSettlesOnRead() && source_.GetSize(in, settled)) sourceInfo.size = settled;
  // The size the source announced is what the copy must hold: fewer bytes read means the source
  // ended early (or lied), and the copy is not complete.
  if (sourceInfo.size != kUnknownSize && copied < sourceInfo.size) {
    return fail(true, Message::kCantRead, entry.path);
  }

  // Finishing: the write time on the open handles, then the attributes once both are closed. A
  // target whose close fails may not hold its data: the copy failed. A failed source close is
  // harmless.
  if (sourceInfo.writeTime != 0) target_.SetWriteTime(out.handle, sourceInfo.writeTime);
  uint32_t sourceAttributes = source_.GetAttributes(entry.path);
  if (sourceAttributes == kNoAttributes) sourceAttributes = entry.attributes;
  uint32_t targetAttributes = target_.GetAttributes(out.path);
  source_.Close(in);
  in = FileSide::kInvalid;
  bool closed = target_.Close(out.handle);
  out.handle = FileSide::kInvalid;
  if (!closed) return fail(true, Message::kCantWrite, target);
  // Only a complete copy takes the old target's place. A refused replace (the old file is in use,
  // in ROM, ...) is asked about like a target that cannot be opened; it is tried again on Retry.
  while (out.replaces) {
    uint32_t error = 0;
    Replaced replaced = ReplaceTarget(out, target, error);
    if (replaced == Replaced::kDone) break;
    Open outcome = Open::kFailed;
    if (replaced == Replaced::kRefused && AskAfterOpenError(true, target, error, outcome)) continue;
    if (replaced == Replaced::kRefused) Drop(target, out.path);
    if (outcome == Open::kSkipped) {
      ++totals_.filesSkipped;
      return true;
    }
    if (replaced == Replaced::kBroken) Say(Message::kCantWrite, target);
    return false;
  }
  uint32_t carried = sourceAttributes & kAttrCarried;
  if (options_.targetIsDevice) {
    target_.SetAttributes(target, carried == 0 ? kAttrNormal : carried);
  } else {
    uint32_t present = targetAttributes == kNoAttributes ? 0 : targetAttributes;
    uint32_t combined = (carried | present) & ~kAttrDirectory;
    if ((combined & ~kAttrNormal) != 0) combined &= ~kAttrNormal;
    target_.SetAttributes(target, combined == 0 ? kAttrNormal : combined);
  }
  ++totals_.filesCopied;
  if (options_.move && !DeleteSource(entry.path)) ++totals_.deleteFailures;
  return true;
}

bool MOperationBase::DeleteSource(const std::u16string& path) {
  if (source_.Delete(path)) return true;
  if (source_.LastError() != kErrorAccessDenied) return false;
  // A read-only source: reset its attributes and try once more.
  source_.SetAttributes(path, kAttrNormal);
  return source_.Delete(path);
}

}  // namespace handrel::transfer
