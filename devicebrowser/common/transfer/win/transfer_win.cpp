#include "devicebrowser/common/transfer/win/transfer_win.h"

#include <cstdio>

#include "devicebrowser/common/code_pages.h"
#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/rapi_api.h"
#include "devicebrowser/common/transfer/core/texts.h"

namespace handrel::transfer {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 paths pass to the wide functions as they are");

const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

uint64_t Ticks(const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

FILETIME FileTime(uint64_t ticks) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(ticks);
  t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return t;
}

HANDLE H(FileSide::Handle file) { return reinterpret_cast<HANDLE>(file); }
FileSide::Handle FromHandle(HANDLE handle) { return reinterpret_cast<FileSide::Handle>(handle); }

// Access, share and disposition of each open mode: reading (share 3, open existing), reading and
// writing (0xC0000000) of an existing file, of a new or emptied one (2), of a file that must not
// exist yet (1), for appending (3).
void OpenArguments(OpenMode mode, DWORD& access, DWORD& disposition) {
  access = mode == OpenMode::kRead ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
  disposition = mode == OpenMode::kCreateAlways ? CREATE_ALWAYS : mode == OpenMode::kCreateNew ? CREATE_NEW : OPEN_EXISTING;
}

FileInfo InfoOf(DWORD attributes, const FILETIME& write, DWORD sizeHigh, DWORD sizeLow) {
  FileInfo info;
  info.attributes = attributes;
  info.writeTime = Ticks(write);
  info.size = (uint64_t{sizeHigh} << 32) | sizeLow;
  return info;
}

Stamp LocalStamp(uint64_t ticks) {
  Stamp s;
  FILETIME utc = FileTime(ticks), local;
  SYSTEMTIME t;
  if (ticks != 0 && FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &t)) {
    s = Stamp{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  }
  return s;
}

// The last component of a path (a folder's trailing backslash ignored).
std::u16string LastComponent(const std::u16string& path) {
  size_t end = !path.empty() && path.back() == u'\\' ? path.size() - 1 : path.size();
  size_t slash = end == 0 ? std::u16string::npos : path.rfind(u'\\', end - 1);
  return path.substr(slash == std::u16string::npos ? 0 : slash + 1, end - (slash == std::u16string::npos ? 0 : slash + 1));
}

std::string SystemText(uint32_t error) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result;
  if (length != 0 && text != nullptr) {
    std::u16string wide(reinterpret_cast<const char16_t*>(text), length);
    while (!wide.empty() && (wide.back() == u'\r' || wide.back() == u'\n' || wide.back() == u' ')) wide.pop_back();
    result = ToOem(wide);
  }
  if (text != nullptr) LocalFree(text);
  if (result.empty()) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "Unknown system error: 0x%x", static_cast<unsigned>(error));
    result = buffer;
  }
  return result;
}

}  // namespace

std::string ToOem(const std::u16string& text) { return handrel::ToOem(std::wstring(text.begin(), text.end())); }

// ---- Local disk -------------------------------------------------------------------------------

bool LocalFileSide::Failed() {
  error_ = GetLastError();
  return false;
}

bool LocalFileSide::Find(const std::u16string& path, FileInfo& info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data)) return Failed();
  info = InfoOf(data.dwFileAttributes, data.ftLastWriteTime, data.nFileSizeHigh, data.nFileSizeLow);
  return true;
}

bool LocalFileSide::List(const std::u16string& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  std::u16string pattern = folder + (folder.empty() || folder.back() != u'\\' ? u"\\*.*" : u"*.*");
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(W(pattern), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    return Failed();
  }
  do {
    FolderEntry entry;
    if (!NameFromField(reinterpret_cast<const char16_t*>(data.cFileName), MAX_PATH, entry.name)) continue;
    if (entry.name == u"." || entry.name == u"..") continue;
    entry.info = InfoOf(data.dwFileAttributes, data.ftLastWriteTime, data.nFileSizeHigh, data.nFileSizeLow);
    entries.push_back(std::move(entry));
  } while (FindNextFileW(find, &data));
  DWORD end = GetLastError();
  FindClose(find);
  if (end != ERROR_NO_MORE_FILES) {
    error_ = end;
    return false;
  }
  return true;
}

bool LocalFileSide::CreateFolder(const std::u16string& path) {
  return CreateDirectoryW(W(path), nullptr) ? true : Failed();
}

FileSide::Handle LocalFileSide::Open(const std::u16string& path, OpenMode mode) {
  DWORD access = 0, disposition = 0;
  OpenArguments(mode, access, disposition);
  HANDLE file = CreateFileW(W(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Failed();
    return kInvalid;
  }
  return FromHandle(file);
}

bool LocalFileSide::Read(Handle file, uint8_t* buffer, uint32_t size, uint32_t& got) {
  DWORD read = 0;
  if (!ReadFile(H(file), buffer, size, &read, nullptr)) return Failed();
  got = read;
  return true;
}

bool LocalFileSide::Write(Handle file, const uint8_t* data, uint32_t size, uint32_t& written) {
  DWORD done = 0;
  if (!WriteFile(H(file), data, size, &done, nullptr)) return Failed();
  written = done;
  return true;
}

bool LocalFileSide::SeekEnd(Handle file) {
  LARGE_INTEGER zero{};
  return SetFilePointerEx(H(file), zero, nullptr, FILE_END) ? true : Failed();
}

bool LocalFileSide::GetSize(Handle file, uint64_t& size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(H(file), &value)) return Failed();
  size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool LocalFileSide::GetWriteTime(Handle file, uint64_t& time) {
  FILETIME write;
  if (!GetFileTime(H(file), nullptr, nullptr, &write)) return Failed();
  time = Ticks(write);
  return true;
}

bool LocalFileSide::SetWriteTime(Handle file, uint64_t time) {
  // Basic information with only the write time filled in (zero fields stay as they are): one call
  // on the handle, cheaper than SetFileTime on some file systems.
  FILE_BASIC_INFO basic{};
  basic.LastWriteTime.QuadPart = static_cast<LONGLONG>(time);
  if (SetFileInformationByHandle(H(file), FileBasicInfo, &basic, sizeof basic)) return true;
  FILETIME write = FileTime(time);
  return SetFileTime(H(file), nullptr, nullptr, &write) ? true : Failed();
}

bool LocalFileSide::Close(Handle file) { return CloseHandle(H(file)) ? true : Failed(); }

uint32_t LocalFileSide::GetAttributes(const std::u16string& path) {
  DWORD attributes = GetFileAttributesW(W(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) Failed();
  return attributes;
}

bool LocalFileSide::SetAttributes(const std::u16string& path, uint32_t attributes) {
  // Rewriting the attributes a file already has costs a metadata write for nothing; reading them
  // is cheap. A fresh copy usually has its source's attributes already.
  if (GetFileAttributesW(W(path)) == attributes) return true;
  return SetFileAttributesW(W(path), attributes) ? true : Failed();
}

bool LocalFileSide::Delete(const std::u16string& path) { return DeleteFileW(W(path)) ? true : Failed(); }

bool LocalFileSide::CopyWithin(const std::u16string& from, const std::u16string& to) {
  return CopyFileW(W(from), W(to), TRUE) ? true : Failed();
}

bool LocalFileSide::Rename(const std::u16string& from, const std::u16string& to) {
  return MoveFileExW(W(from), W(to), 0) ? true : Failed();
}

bool LocalFileSide::Replace(const std::u16string& from, const std::u16string& to) {
  return MoveFileExW(W(from), W(to), MOVEFILE_REPLACE_EXISTING) ? true : Failed();
}

// ---- Device -----------------------------------------------------------------------------------

bool DeviceFileSide::Failed() {
  error_ = CeGetLastError();
  if (error_ == 0) error_ = CeRapiGetError() != 0 ? ERROR_NOT_CONNECTED : ERROR_GEN_FAILURE;
  return false;
}

bool DeviceFileSide::Find(const std::u16string& path, FileInfo& info) {
  if (path.find_first_of(u"*?") != std::u16string::npos) {
    error_ = ERROR_INVALID_NAME;
    return false;
  }
  CE_FIND_DATA data;
  HANDLE find = CeFindFirstFile(W(path), &data);
  if (find == INVALID_HANDLE_VALUE) return Failed();
  CeFindClose(find);
  std::u16string name;
  if (!NameFromField(reinterpret_cast<const char16_t*>(data.cFileName), kDeviceNameField, name)) {
    error_ = kErrorInvalidData;
    return false;
  }
  info = InfoOf(data.dwFileAttributes, data.ftLastWriteTime, data.nFileSizeHigh, data.nFileSizeLow);
  return true;
}

bool DeviceFileSide::List(const std::u16string& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  std::u16string pattern = folder + (folder.empty() || folder.back() != u'\\' ? u"\\*.*" : u"*.*");
  CE_FIND_DATA data;
  HANDLE find = CeFindFirstFile(W(pattern), &data);
  if (find == INVALID_HANDLE_VALUE) {
    Failed();
    return error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_NO_MORE_FILES;  // an empty folder
  }
  bool ok = true;
  do {
    FolderEntry entry;
    if (!NameFromField(reinterpret_cast<const char16_t*>(data.cFileName), kDeviceNameField, entry.name)) {
      error_ = kErrorInvalidData;  // a damaged answer: the folder cannot be trusted
      ok = false;
      break;
    }
    if (entry.name == u"." || entry.name == u"..") continue;
    entry.info = InfoOf(data.dwFileAttributes, data.ftLastWriteTime, data.nFileSizeHigh, data.nFileSizeLow);
    entries.push_back(std::move(entry));
  } while (CeFindNextFile(find, &data));
  if (ok) {
    Failed();
    ok = error_ == ERROR_NO_MORE_FILES;
  }
  CeFindClose(find);
  return ok;
}

bool DeviceFileSide::CreateFolder(const std::u16string& path) {
  return CeCreateDirectory(W(path), nullptr) ? true : Failed();
}

FileSide::Handle DeviceFileSide::Open(const std::u16string& path, OpenMode mode) {
  DWORD access = 0, disposition = 0;
  OpenArguments(mode, access, disposition);
  HANDLE file = CeCreateFile(W(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Failed();
    return kInvalid;
  }
  return FromHandle(file);
}

bool DeviceFileSide::Read(Handle file, uint8_t* buffer, uint32_t size, uint32_t& got) {
  DWORD read = 0;
  if (!CeReadFile(H(file), buffer, size, &read, nullptr)) return Failed();
  got = read;  // a count beyond `size` is refused by the engine
  return true;
}

bool DeviceFileSide::Write(Handle file, const uint8_t* data, uint32_t size, uint32_t& written) {
  DWORD done = 0;
  if (!CeWriteFile(H(file), data, size, &done, nullptr)) return Failed();
  written = done;
  return true;
}

bool DeviceFileSide::SeekEnd(Handle file) {
  LONG high = 0;
  DWORD low = CeSetFilePointer(H(file), 0, &high, FILE_END);
  if (low == INVALID_SET_FILE_POINTER && CeGetLastError() != 0) return Failed();
  return true;
}

bool DeviceFileSide::GetSize(Handle file, uint64_t& size) {
  DWORD high = 0;
  DWORD low = CeGetFileSize(H(file), &high);
  if (low == INVALID_FILE_SIZE && CeGetLastError() != 0) return Failed();
  size = (uint64_t{high} << 32) | low;
  return true;
}

bool DeviceFileSide::GetWriteTime(Handle file, uint64_t& time) {
  FILETIME write;
  if (!CeGetFileTime(H(file), nullptr, nullptr, &write)) return Failed();
  time = Ticks(write);
  return true;
}

bool DeviceFileSide::SetWriteTime(Handle file, uint64_t time) {
  FILETIME write = FileTime(time);
  return CeSetFileTime(H(file), nullptr, nullptr, &write) ? true : Failed();
}

bool DeviceFileSide::Close(Handle file) { return CeCloseHandle(H(file)) ? true : Failed(); }

uint32_t DeviceFileSide::GetAttributes(const std::u16string& path) {
  DWORD attributes = CeGetFileAttributes(W(path));
  if (attributes == 0xFFFFFFFF) Failed();
  return attributes;
}

bool DeviceFileSide::SetAttributes(const std::u16string& path, uint32_t attributes) {
  return CeSetFileAttributes(W(path), attributes) ? true : Failed();
}

bool DeviceFileSide::Delete(const std::u16string& path) { return CeDeleteFile(W(path)) ? true : Failed(); }

bool DeviceFileSide::CopyWithin(const std::u16string& from, const std::u16string& to) {
  return CeCopyFile(W(from), W(to), TRUE) ? true : Failed();
}

bool DeviceFileSide::Rename(const std::u16string& from, const std::u16string& to) {
  return CeMoveFile(W(from), W(to)) ? true : Failed();
}

bool DeviceFileSide::Replace(const std::u16string&, const std::u16string&) {
  error_ = ERROR_NOT_SUPPORTED;
  return false;
}

// ---- Console user -----------------------------------------------------------------------------

struct ConsoleTransferUi::State {
  std::unique_ptr<ProgressWindow> progress;
  std::unique_ptr<CPop> listing;
  DWORD listStart = 0;
  DWORD lastEscapeCheck = 0;
  bool listStarted = false;
  uint64_t pendingBytes = 0;  // added since the window was last drawn
  DWORD lastDraw = 0;
  bool escapePolled = false;
  DWORD lastEscapePoll = 0;
};

ConsoleTransferUi::ConsoleTransferUi(std::string titleOem) : title_(std::move(titleOem)), state_(new State) {}
ConsoleTransferUi::~ConsoleTransferUi() { FlushProgress(); }

void ConsoleTransferUi::Show(Message message, const std::u16string& path) {
  bool titledError = false;
  std::string text = MessageText(message, ToOem(path), titledError);
  ShowMessage(titledError ? "Error" : title_.c_str(), text.c_str(), nullptr, 1);
}

int ConsoleTransferUi::AskOverwrite(bool readOnly, const std::u16string& target, const FileInfo& source,
                                    const FileInfo& existing) {
  std::string text = OverwriteText(readOnly, ToOem(target), source.size, LocalStamp(source.writeTime),
                                   existing.size, LocalStamp(existing.writeTime));
  return ShowMessage("Warning", text.c_str(), "&Overwrite\n&All\n&Skip\nS&kip all\nA&ppend\n&Cancel", 1);
}

int ConsoleTransferUi::AskOpenError(bool target, const std::u16string& path, uint32_t error) {
  std::string text = OpenErrorText(target, ToOem(path), SystemText(error));
  return ShowMessage(title_.c_str(), text.c_str(), "&Retry\n&Skip\nSkip a&ll\n&Abort", 1);
}

bool ConsoleTransferUi::Escape() {
  // Polling the console is a round trip to the console's server: once per kEscapeMs is enough for
  // a key a person presses.
  DWORD now = GetTickCount();
  if (state_->escapePolled && now - state_->lastEscapePoll < kEscapeMs) return false;
  state_->escapePolled = true;
  state_->lastEscapePoll = now;
  return CheckEscape() == 1;
}

bool ConsoleTransferUi::ListTick() {
  DWORD now = GetTickCount();
  if (!state_->listStarted) {
    state_->listStarted = true;
    state_->listStart = now;
    return false;
  }
  // The status window comes after a second of building; from then on Esc is polled every 100 ms.
  if (!state_->listing) {
    if (now - state_->listStart < 1000) return false;
    state_->listing.reset(new CPop(title_.c_str(), "Creating list of files"));
    state_->lastEscapeCheck = now;
  }
  if (now - state_->lastEscapeCheck < 100) return false;
  state_->lastEscapeCheck = now;
  return CheckEscape() == 1;
}

void ConsoleTransferUi::ProgressStart(int entries, uint64_t bytes) {
  state_->listing.reset();
  state_->progress.reset(new ProgressWindow(title_.c_str(), entries, bytes));
}

void ConsoleTransferUi::ProgressFile(const std::u16string& source, const std::u16string& target, uint64_t size) {
  if (!state_->progress) return;
  // The blocks not yet drawn are counted first, then the new file; the window is drawn when it
  // is due, as for the blocks.
  con::AddBytes(state_->progress->Counters(), state_->pendingBytes);
  state_->pendingBytes = 0;
  state_->progress->StartFile(ToOem(LastComponent(source)).c_str(), ToOem(target).c_str(), size);
  if (GetTickCount() - state_->lastDraw >= kRedrawMs) {
    state_->progress->Redraw();
    state_->lastDraw = GetTickCount();
  }
}

void ConsoleTransferUi::ProgressAdd(uint64_t bytes) {
  if (!state_->progress) return;
  // Drawing the window costs more than moving a block through the console: the counts of the
  // blocks are gathered and drawn at most every kRedrawMs.
  state_->pendingBytes += bytes;
  if (GetTickCount() - state_->lastDraw >= kRedrawMs) FlushProgress();
}

void ConsoleTransferUi::FlushProgress() {
  if (state_->progress && state_->pendingBytes != 0) state_->progress->AddBytes(state_->pendingBytes);
  state_->pendingBytes = 0;
  state_->lastDraw = GetTickCount();
}

// ---- One operation ----------------------------------------------------------------------------

namespace {
Options MakeOptions(bool sourceIsDevice, bool targetIsDevice, bool move, uint32_t mode) {
  Options options;
  options.sourceIsDevice = sourceIsDevice;
  options.targetIsDevice = targetIsDevice;
  options.move = move;
  options.mode = mode;
  return options;
}
}  // namespace

MFilesOperation::MFilesOperation(const std::string& title, bool sourceIsDevice, bool targetIsDevice, bool move,
                                 uint32_t mode)
    : silent_((mode & kModeSilent) != 0),
      targetIsDevice_(targetIsDevice),
      ui_(title),
      engine_(MakeOptions(sourceIsDevice, targetIsDevice, move, mode), sourceIsDevice ? static_cast<FileSide&>(device_) : local_,
              targetIsDevice ? static_cast<FileSide&>(device_) : local_, ui_) {}

bool MFilesOperation::SetLocalTarget(const std::string& pathOem) {
  if (pathOem.size() > kMaxTargetRoot) {
    if (!silent_) ui_.Show(Message::kTargetTooLong, u"");
    return false;
  }
  const std::wstring wide = FromOem(pathOem);
  return engine_.SetTarget(std::u16string(wide.begin(), wide.end()));
}

int MFilesOperation::Run() {
  int result = engine_.Run();
  // A reconnection also ends the handles the device kept open after a failed close. A device that
  // fails again while it is tidied (or while it is reconnected) gets a few more tries; what is
  // left then stays pending for the module (engine().TakeCleanups()).
  constexpr int kReconnections = 3;
  bool tidy = !engine_.CleanupPending() || engine_.FinishCleanups();
  for (int i = 0; i < kReconnections && !tidy && targetIsDevice_ && reconnect_; ++i) {
    tidy = reconnect_() && engine_.FinishCleanups();
  }
  return result;
}

bool MFilesOperation::SetDeviceTarget(const std::u16string& folder) {
  if (folder.size() > kMaxTargetRoot - 1) {
    if (!silent_) ui_.Show(Message::kTargetTooLong, u"");
    return false;
  }
  return engine_.SetTarget(u"\\" + folder);
}

}  // namespace handrel::transfer
