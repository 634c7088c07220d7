// A file side held in memory, for tests of the engine: folders and files by full path (compared
// exactly), handles with positions, read-only refusals as the device makes them (open for writing
// and delete answer 5), an open file that cannot be deleted (32), renames that never replace (as
// on the device; `oneStepReplace` makes it a side that can replace), and scripted faults.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "devicebrowser/common/transfer/core/transfer.h"

namespace handrel::transfer {

class MemorySide : public FileSide {
 public:
  struct Node {
    bool folder = false;
    uint32_t attributes = kAttrArchive;
    uint64_t writeTime = 0;
    std::string data;
    uint64_t reportedSize = kUnknownSize;  // a size Find and GetSize report instead of the data's
  };
  // Scripted faults: a call fails with `error` once `after` calls of its kind have succeeded, for
  // `times` calls (-1: every later one).
  struct Fault {
    int after = -1;  // -1: never
    uint32_t error = 0;
    int times = -1;
  };

  MemorySide();
  void AddFolder(const std::u16string& path, uint32_t attributes = kAttrDirectory);
  void AddFile(const std::u16string& path, const std::string& data, uint64_t writeTime = 0,
               uint32_t attributes = kAttrArchive);
  bool Exists(const std::u16string& path) const { return nodes_.count(path) != 0; }
  Node& At(const std::u16string& path) { return nodes_.at(path); }
  size_t OpenHandles() const { return handles_.size(); }

  Fault readFault, writeFault, deleteFault, openFault, closeFault, renameFault, replaceFault, setAttributesFault,
      copyFault, findFault;
  bool oneStepReplace = false;
  // The connection ended: every handle is closed (a file whose close failed is released).
  void DropHandles() { handles_.clear(); }
  uint32_t readOverclaim = 0;  // added to every read's count, as a damaged device answer would

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
  bool CanReplace() const override { return oneStepReplace; }
  bool Replace(const std::u16string& from, const std::u16string& to) override;

 private:
  struct OpenFile {
    std::u16string path;
    size_t position = 0;
    bool write = false;
  };
  bool Fails(Fault& fault, int& count);
  bool Fail(uint32_t error) {
    error_ = error;
    return false;
  }
  static std::u16string Parent(const std::u16string& path);

  std::map<std::u16string, Node> nodes_;
  std::map<Handle, OpenFile> handles_;
  Handle nextHandle_ = 1;
  uint32_t error_ = 0;
  bool IsOpen(const std::u16string& path) const;
  static FileInfo InfoOf(const Node& node);
  int reads_ = 0, writes_ = 0, deletes_ = 0, opens_ = 0, closes_ = 0, renames_ = 0, replaces_ = 0, sets_ = 0, copies_ = 0, finds_ = 0;
};

}  // namespace handrel::transfer
