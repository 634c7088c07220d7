// The transfer engine's Win32 shell: the local disk through the wide Windows file functions, the
// device through rapi.dll, and the user's side through the console helpers (messages, the
// overwrite and open-error questions, the progress window, Esc, the list-building status window).
// Threads: the host's only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devicebrowser/common/transfer/core/transfer.h"

namespace handrel::transfer {

// The local disk.
class LocalFileSide : public FileSide {
 public:
  uint32_t LastError() const override { return error_; }
  bool Find(const std::u16string& path, FileInfo& info) override;
  bool List(const std::u16string& folder, std::vector<FolderEntry>& entries) override;
  bool CreateFolder(const std::u16string& path) override;
  Handle Open(const std::u16string& path, OpenMode mode) override;
  bool Read(Handle file, uint8_t* buffer, uint32_t size, uint32_t& got) override;
  bool Write(Handle file, const uint8_t* data, uint32_t size, uint32_t& written) override;
  bool SeekEnd(Handle file) override;
  bool GetSize(Handle file, uint64_t& size) override;
  bool GetWriteTime(Handle file, uint64_t& time) override;
  bool SetWriteTime(Handle file, uint64_t time) override;
  bool Close(Handle file) override;
  uint32_t GetAttributes(const std::u16string& path) override;
  bool SetAttributes(const std::u16string& path, uint32_t attributes) override;
  bool Delete(const std::u16string& path) override;
  bool CopyWithin(const std::u16string& from, const std::u16string& to) override;
  bool Rename(const std::u16string& from, const std::u16string& to) override;
  bool CanReplace() const override { return true; }
  // MoveFileEx with MOVEFILE_REPLACE_EXISTING.
  bool Replace(const std::u16string& from, const std::u16string& to) override;

 private:
  bool Failed();
  uint32_t error_ = 0;
};

// The device's files through the remote access functions. Its find answers are untrusted: a name
// without its terminator in the record's 260 characters makes the listing fail (error 13).
class DeviceFileSide : public FileSide {
 public:
  uint32_t LastError() const override { return error_; }
  bool Find(const std::u16string& path, FileInfo& info) override;
  bool List(const std::u16string& folder, std::vector<FolderEntry>& entries) override;
  bool CreateFolder(const std::u16string& path) override;
  Handle Open(const std::u16string& path, OpenMode mode) override;
  bool Read(Handle file, uint8_t* buffer, uint32_t size, uint32_t& got) override;
  bool Write(Handle file, const uint8_t* data, uint32_t size, uint32_t& written) override;
  bool SeekEnd(Handle file) override;
  bool GetSize(Handle file, uint64_t& size) override;
  bool GetWriteTime(Handle file, uint64_t& time) override;
  bool SetWriteTime(Handle file, uint64_t time) override;
  bool Close(Handle file) override;
  uint32_t GetAttributes(const std::u16string& path) override;
  bool SetAttributes(const std::u16string& path, uint32_t attributes) override;
  bool Delete(const std::u16string& path) override;
  bool CopyWithin(const std::u16string& from, const std::u16string& to) override;  // CeCopyFile, on the device
  bool Rename(const std::u16string& from, const std::u16string& to) override;      // CeMoveFile
  // The device's move never replaces a file: the engine renames the old one aside first.
  bool CanReplace() const override { return false; }
  bool Replace(const std::u16string& from, const std::u16string& to) override;

 private:
  bool Failed();
  uint32_t error_ = 0;
};

// The console user: messages titled with the module's title (or "Error"), the questions, the
// progress window, Esc. Nothing is shown before the host record reached the console helpers.
class ConsoleTransferUi : public TransferUi {
 public:
  explicit ConsoleTransferUi(std::string titleOem);
  ~ConsoleTransferUi() override;
  void Show(Message message, const std::u16string& path) override;
  int AskOverwrite(bool readOnly, const std::u16string& target, const FileInfo& source,
                   const FileInfo& existing) override;
  int AskOpenError(bool target, const std::u16string& path, uint32_t error) override;
  bool Escape() override;
  bool ListTick() override;
  void ProgressStart(int entries, uint64_t bytes) override;
  void ProgressFile(const std::u16string& source, const std::u16string& target, uint64_t size) override;
  void ProgressAdd(uint64_t bytes) override;

 private:
  static constexpr DWORD kRedrawMs = 200;
  static constexpr DWORD kEscapeMs = 50;
  void FlushProgress();
  struct State;
  std::string title_;
  std::unique_ptr<State> state_;
};

// Wide UTF-16 text to the console's OEM code page (unmappable characters as "?").
std::string ToOem(const std::u16string& text);

// One GetFiles or PutFiles call: the engine between the local disk and the device, with the
// console user. Create, set the target, build the list, run; destroyed at the call's end.
class MFilesOperation {
 public:
  // title: the operation's name ("Copy" or "Move") in the OEM code page.
  MFilesOperation(const std::string& title, bool sourceIsDevice, bool targetIsDevice, bool move, uint32_t mode);
  // A local target as the host hands it (OEM, at most 260 characters: else "Target path too long").
  bool SetLocalTarget(const std::string& pathOem);
  // A device target: the device's current folder without its leading "\" (at most 259 characters).
  bool SetDeviceTarget(const std::u16string& folder);
  bool BuildList(const std::vector<SourceItem>& items) { return engine_.BuildList(items); }
  // The plugin's reconnect service (true when the connection is back), for the clean-up a failed
  // copy to the device could not finish over a lost connection.
  void SetReconnect(std::function<bool()> reconnect) { reconnect_ = std::move(reconnect); }
  // Runs the engine; a partial or temporary file a failure left on the device (or an old file left
  // beside its name) is tidied once the connection is made again.
  int Run();
  MOperationBase& engine() { return engine_; }

 private:
  bool silent_;
  bool targetIsDevice_;
  std::function<bool()> reconnect_;
  LocalFileSide local_;
  DeviceFileSide device_;
  ConsoleTransferUi ui_;
  MOperationBase engine_;
};

}  // namespace handrel::transfer
