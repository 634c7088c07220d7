// The transfer engine's decisions: the work list, one step per entry, the sticky answers to the
// overwrite and open-error questions, append, carrying time and attributes, and moves that delete
// a source only after its copy finished. Both ends of a transfer are a `FileSide` (the local disk
// or the device); the questions, messages, progress and Esc go through `TransferUi`. The shell
// supplies the Win32 and remote-access sides and the console questions; tests supply memory ones.
//
// Paths are UTF-16 with "\" separators, full ("C:\dir\file" or "\dir\file"); folders in the work
// list end in a backslash. Threads: one (the host's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace handrel::transfer {

// Attribute bits as both sides report them.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrCarried = 0xA7;  // read-only, hidden, system, archive, normal
constexpr uint32_t kNoAttributes = 0xFFFFFFFF;

// Operation mode bits (the host's).
constexpr uint32_t kModeSilent = 1;
constexpr uint32_t kModeView = 4;
constexpr uint32_t kModeEdit = 8;
constexpr uint32_t kModeQuickView = 64;

// Error codes the engine itself reports or reads.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNoMoreFiles = 18;  // a search that found nothing
constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorWriteProtect = 19;

constexpr uint32_t kBlockSize = 65536;        // one copy block
constexpr size_t kMaxTargetRoot = 260;        // characters of the target root, its backslash included
constexpr size_t kMaxListPath = 257;          // characters of a source path found in a folder walk
constexpr size_t kDeviceNameField = 260;      // UTF-16 characters of a device find record's name
constexpr uint64_t kUnknownSize = ~uint64_t{0};

// The name in a fixed name field of `capacity` characters: up to its terminator. A field without a
// terminator inside it is not a name (false): the device's answer is damaged.
bool NameFromField(const char16_t* field, size_t capacity, std::u16string& name);

struct FileInfo {
  uint32_t attributes = kNoAttributes;
  uint64_t writeTime = 0;  // FILETIME ticks (100 ns since 1601, UTC)
  uint64_t size = 0;
};

struct FolderEntry {
  std::u16string name;  // no separators; never "." or ".."
  FileInfo info;
};

// kCreateNew fails when the file exists.
enum class OpenMode { kRead, kReadWrite, kCreateAlways, kOpenExisting, kCreateNew };

// One end of a transfer. Every call that fails leaves its error in LastError().
class FileSide {
 public:
  using Handle = intptr_t;
  static constexpr Handle kInvalid = -1;
  virtual ~FileSide() = default;
  virtual uint32_t LastError() const = 0;
  // Attributes, write time and size of a path without opening it; false when missing.
  virtual bool Find(const std::u16string& path, FileInfo& info) = 0;
  // The entries of a folder ("." and ".." left out); false when it cannot be searched.
  virtual bool List(const std::u16string& folder, std::vector<FolderEntry>& entries) = 0;
  virtual bool CreateFolder(const std::u16string& path) = 0;  // one level
  virtual Handle Open(const std::u16string& path, OpenMode mode) = 0;
  // got: bytes placed in buffer; a side that claims more than `size` is refused by the engine.
  virtual bool Read(Handle file, uint8_t* buffer, uint32_t size, uint32_t& got) = 0;
  virtual bool Write(Handle file, const uint8_t* data, uint32_t size, uint32_t& written) = 0;
  virtual bool SeekEnd(Handle file) = 0;
  virtual bool GetSize(Handle file, uint64_t& size) = 0;
  virtual bool GetWriteTime(Handle file, uint64_t& time) = 0;
  virtual bool SetWriteTime(Handle file, uint64_t time) = 0;
  // false: the file may not hold what was written to it (the engine fails a target's copy).
  virtual bool Close(Handle file) = 0;
  virtual uint32_t GetAttributes(const std::u16string& path) = 0;  // kNoAttributes when missing
  virtual bool SetAttributes(const std::u16string& path, uint32_t attributes) = 0;
  virtual bool Delete(const std::u16string& path) = 0;
  // Copies a file to a new name in its folder, attributes included; false when `to` exists.
  virtual bool CopyWithin(const std::u16string& from, const std::u16string& to) = 0;
  // Renames a file within its folder; false (nothing changed) when `to` exists.
  virtual bool Rename(const std::u16string& from, const std::u16string& to) = 0;
  // True for a side that moves a file onto an existing one in one step (Replace); the engine
  // replaces the old file on other sides by renaming it aside first.
  virtual bool CanReplace() const = 0;
  // Moves `from` onto the existing file `to` in one step (only called when CanReplace()); false:
  // both are as they were.
  virtual bool Replace(const std::u16string& from, const std::u16string& to) = 0;
  // True for a side whose files know their final size only once read (a picture made on its first
  // read): the engine then asks GetSize again after the last block.
  virtual bool SizeSettlesOnRead() const { return false; }
};

// Whether a path certainly does not exist (Find fails with "not found"), as opposed to existing or
// being unknown (the side cannot be asked).
bool Missing(FileSide& side, const std::u16string& path);
// Whether a failed Find's error says "not there" (rather than "cannot tell").
inline bool NotFound(uint32_t error) {
  return error == kErrorFileNotFound || error == kErrorPathNotFound || error == kErrorNoMoreFiles;
}

// What a failed copy leaves to tidy on its target side: the old target of an overwrite put back
// from beside its name, its attributes put back, a partial or temporary file removed. Each step is
// taken only while the side shows it is still needed, so that a record can be tried again after a
// reconnection (by the engine, or later by the module that keeps what it could not finish).
struct Cleanup {
  std::u16string target;
  std::u16string aside;                 // the old target renamed aside, to be put back; or empty
  uint32_t attributes = kNoAttributes;  // the old target's attributes to put back on it
  std::u16string remove;                // a partial or temporary file the copy made; or empty
  bool keep = false;                    // `remove` stays for now: the replace may be tried again
};

// Takes the steps of a clean-up still needed on `side`; true when none is left.
bool Tidy(FileSide& side, Cleanup& cleanup);

// Creates a folder with every missing level ("C:\a\b", "\a\b"); false when a level cannot be
// made or is a file.
bool MakeFolderTree(FileSide& side, const std::u16string& path);

// Button indexes of the questions.
enum OverwriteButton { kOverwrite = 0, kOverwriteAll, kSkip, kSkipAll, kAppend, kCancel };
enum OpenErrorButton { kRetry = 0, kSkipFile, kSkipAllFiles, kAbort };

enum class Message {
  kFileTooLarge,      // "File too large:\r\n" + path, titled "Error"
  kTooLongPath,       // "Too long path"
  kInvalidFolder,     // "Invalid folder\r\n" + path
  kTargetTooLong,     // "Target path too long"
  kCantCreateFolder,  // "Can't create folder\n" + path, titled "Error"
  kCantCreateTarget,  // "Can't create target file\n" + path
  kCantRead,          // "Can't read source file\n" + path
  kCantWrite,         // "Can't write target file\n" + path
  kCantAppend,        // "Can't append target file\n" + path
  kInvalidIndex,      // "Invalid index"
};

// The user's side of an operation: never called for a silent one except Escape and the list tick.
class TransferUi {
 public:
  virtual ~TransferUi() = default;
  virtual void Show(Message message, const std::u16string& path) = 0;
  // The overwrite question (readOnly: the read-only header). Returns an OverwriteButton, -1: Esc.
  virtual int AskOverwrite(bool readOnly, const std::u16string& target, const FileInfo& source,
                           const FileInfo& existing) = 0;
  // The open-error prompt for a source or a target. Returns an OpenErrorButton, -1: Esc.
  virtual int AskOpenError(bool target, const std::u16string& path, uint32_t error) = 0;
  // 1 when the user confirmed cancelling with Esc.
  virtual bool Escape() = 0;
  // Called for every entry while the list is built; true: the user cancelled.
  virtual bool ListTick() = 0;
  virtual void ProgressStart(int entries, uint64_t bytes) = 0;
  virtual void ProgressFile(const std::u16string& source, const std::u16string& target, uint64_t size) = 0;
  virtual void ProgressAdd(uint64_t bytes) = 0;
};

enum class EntryKind { kFolderStart = 0, kFile = 1, kFolderEnd = 2 };

struct TransferEntry {
  EntryKind kind = EntryKind::kFile;
  uint32_t attributes = 0;
  std::u16string path;
  std::u16string shortName;  // the panel item's 8.3 name, or empty
  int item = -1;             // the caller's top-level item index, or -1
  bool hasItemInfo = false;  // size and time below come from the panel item
  uint64_t size = 0;
  uint64_t writeTime = 0;
};

// A top-level item the caller hands to the list: a panel item of the device or local panel.
struct SourceItem {
  std::u16string path;  // full path, no trailing backslash
  uint32_t attributes = 0;
  uint64_t size = 0;
  uint64_t writeTime = 0;
  bool hasInfo = true;       // size and time are known (device panel items)
  std::u16string shortName;  // 8.3 alternate name, or empty
};

struct Options {
  bool sourceIsDevice = false;
  bool targetIsDevice = false;
  bool move = false;
  uint32_t mode = 0;
};

// What an operation did, for callers and tests.
struct Totals {
  int filesCopied = 0;   // finished files (appended ones included)
  int filesSkipped = 0;
  int deleteFailures = 0;  // moved files whose source could not be deleted (the copy stands)
};

class MOperationBase {
 public:
  MOperationBase(const Options& options, FileSide& source, FileSide& target, TransferUi& ui);
  MOperationBase(const MOperationBase&) = delete;
  MOperationBase& operator=(const MOperationBase&) = delete;

  // The target root (a folder, with or without its trailing backslash): created with every
  // missing level; false with "Target path too long" past 260 characters or when it cannot be made.
  bool SetTarget(const std::u16string& folder);
  // Adds the items to the work list, walking folders. false: stopped (message shown unless
  // silent; Cancelled() when the user pressed Esc). A device file of 4 GiB or more stops the
  // building with "File too large" before anything is copied.
  bool BuildList(const std::vector<SourceItem>& items);

  // Processes one entry. Returns false on failure; done is set after the last entry.
  bool Step(bool& done);
  // Steps until done (1) or a failure: -1 when cancelled, else 0.
  int Run();

  bool Cancelled() const { return cancelled_; }
  const std::vector<TransferEntry>& Entries() const { return entries_; }
  uint64_t TotalBytes() const { return totalBytes_; }
  // Items finished in this run (the host deselects them).
  const std::vector<int>& FinishedItems() const { return finishedItems_; }
  const Totals& totals() const { return totals_; }
  const std::u16string& TargetRoot() const { return targetRoot_; }
  // A failed copy whose clean-up could not be finished (the connection was lost, a file stayed
  // open): a partial or temporary file still to remove, an old file still beside its own name.
  bool CleanupPending() const { return !pending_.empty(); }
  // Tries the pending clean-ups again (after the caller reconnected); true when none remain.
  bool FinishCleanups();
  // Hands the pending clean-ups over to a caller that outlives the operation.
  std::vector<Cleanup> TakeCleanups() {
    std::vector<Cleanup> taken;
    taken.swap(pending_);
    return taken;
  }
  // The target of an entry (the short-name rule for viewer fetches applied).
  std::u16string TargetPath(const TransferEntry& entry) const;

 private:
  enum class Open { kOpened, kSkipped, kFailed };
  // Where a file's copy is written. An existing target that is overwritten or appended to stays as
  // it is until its copy is complete: the copy goes to a temporary name beside it (for an append,
  // a copy of the old file) and replaces it then.
  struct TargetFile {
    FileSide::Handle handle = FileSide::kInvalid;
    std::u16string path;   // the target, or the temporary name
    bool made = false;      // path is a file this copy made: removed when the copy fails
    bool replaces = false;  // path is temporary and replaces the old target once complete
    uint32_t oldAttributes = kNoAttributes;
  };
  enum class Replaced { kDone, kRefused, kBroken };
  bool AddPath(const std::u16string& path, const SourceItem* item, int itemIndex, bool isFolder);
  bool WalkFolder(const std::u16string& folder);
  bool Silent() const { return (options_.mode & kModeSilent) != 0; }
  void Say(Message message, const std::u16string& path);
  Open OpenSource(const std::u16string& path, FileSide::Handle& handle);
  Open OpenTarget(const std::u16string& path, const FileInfo& source, TargetFile& out);
  // A name "~hrN.tmp" in the target's folder that does not exist yet; false when none is free.
  bool FreeNameBeside(const std::u16string& target, std::u16string& name);
  // kRefused: the old target and the temporary file are as they were (error: why); kBroken: they
  // could not be put back yet, and a clean-up is pending.
  Replaced ReplaceTarget(const TargetFile& file, const std::u16string& target, uint32_t& error);
  void TidyOrKeep(Cleanup cleanup);
  void Drop(const std::u16string& target, const std::u16string& made);  // removes a file this copy made
  int Decide(bool readOnly, const std::u16string& path, const FileInfo& source, const FileInfo& existing);
  bool AskAfterOpenError(bool target, const std::u16string& path, uint32_t error, Open& outcome);
  bool CopyFile(const TransferEntry& entry, const std::u16string& target);
  bool DeleteSource(const std::u16string& path);

  Options options_;
  FileSide& source_;
  FileSide& target_;
  TransferUi& ui_;
  std::u16string targetRoot_;
  size_t sourcePrefix_ = 0;
  bool prefixSet_ = false;
  std::vector<TransferEntry> entries_;
  size_t index_ = 0;
  uint64_t totalBytes_ = 0;
  bool progressShown_ = false;
  bool cancelled_ = false;
  // Sticky answers: -1 none, else the button chosen "for all" (kOverwriteAll or kSkipAll).
  int overwriteSticky_ = -1;
  int readOnlySticky_ = -1;
  bool skipAllOpenErrors_ = false;
  std::vector<int> finishedItems_;
  std::vector<Cleanup> pending_;
  Totals totals_;
  std::vector<uint8_t> buffer_;
};

}  // namespace handrel::transfer
