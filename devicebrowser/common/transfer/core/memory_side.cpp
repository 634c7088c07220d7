#include "devicebrowser/common/transfer/core/memory_side.h"

#include <algorithm>
#include <cstring>

namespace handrel::transfer {

namespace {
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorAlreadyExists = 183;
}  // namespace

MemorySide::MemorySide() {}

std::u16string MemorySide::Parent(const std::u16string& path) {
  size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

void MemorySide::AddFolder(const std::u16string& path, uint32_t attributes) {
  Node node;
  node.folder = true;
  node.attributes = attributes | kAttrDirectory;
  nodes_[path] = node;
}

void MemorySide::AddFile(const std::u16string& path, const std::string& data, uint64_t writeTime,
                         uint32_t attributes) {
  Node node;
  node.data = data;
  node.writeTime = writeTime;
  node.attributes = attributes;
  nodes_[path] = node;
}

bool MemorySide::Fails(Fault& fault, int& count) {
  if (fault.after >= 0 && count >= fault.after && fault.times != 0) {
    if (fault.times > 0) --fault.times;
    error_ = fault.error;
    return true;
  }
  ++count;
  return false;
}

FileInfo MemorySide::InfoOf(const Node& node) {
  FileInfo info;
  info.attributes = node.attributes;
  info.writeTime = node.writeTime;
  info.size = node.reportedSize != kUnknownSize ? node.reportedSize : node.data.size();
  return info;
}

bool MemorySide::Find(const std::u16string& path, FileInfo& info) {
  if (Fails(findFault, finds_)) return false;
  auto it = nodes_.find(path);
  if (it == nodes_.end()) return Fail(kErrorFileNotFound);
  info = InfoOf(it->second);
  return true;
}

bool MemorySide::List(const std::u16string& folder, std::vector<FolderEntry>& entries) {
  std::u16string base = folder;
  if (!base.empty() && base.back() == u'\\') base.pop_back();
  auto self = nodes_.find(base);
  if (!base.empty() && (self == nodes_.end() || !self->second.folder)) return Fail(kErrorPathNotFound);
  entries.clear();
  for (auto& [path, node] : nodes_) {
    if (path.size() <= base.size() + 1 || path.compare(0, base.size(), base) != 0 || path[base.size()] != u'\\') {
      continue;
    }
    std::u16string name = path.substr(base.size() + 1);
    if (name.find(u'\\') != std::u16string::npos) continue;
    FolderEntry entry;
    entry.name = name;
    entry.info = InfoOf(node);
    entries.push_back(entry);
  }
  return true;
}

bool MemorySide::CreateFolder(const std::u16string& path) {
  if (nodes_.count(path) != 0) return Fail(kErrorAlreadyExists);
  std::u16string parent = Parent(path);
  if (!parent.empty() && (nodes_.count(parent) == 0 || !nodes_[parent].folder)) return Fail(kErrorPathNotFound);
  AddFolder(path);
  return true;
}

FileSide::Handle MemorySide::Open(const std::u16string& path, OpenMode mode) {
  if (Fails(openFault, opens_)) return kInvalid;
  bool write = mode != OpenMode::kRead;
  auto it = nodes_.find(path);
  if (it != nodes_.end() && it->second.folder) return Fail(kErrorAccessDenied), kInvalid;
  if (it == nodes_.end()) {
    if (mode != OpenMode::kCreateAlways && mode != OpenMode::kCreateNew) return Fail(kErrorFileNotFound), kInvalid;
    std::u16string parent = Parent(path);
    if (!parent.empty() && nodes_.count(parent) == 0) return Fail(kErrorPathNotFound), kInvalid;
    AddFile(path, "");
  } else {
    if (mode == OpenMode::kCreateNew) return Fail(kErrorFileExists), kInvalid;
    if (write && (it->second.attributes & kAttrReadOnly) != 0) return Fail(kErrorAccessDenied), kInvalid;
    if (mode == OpenMode::kCreateAlways) {
      it->second.data.clear();
      it->second.reportedSize = kUnknownSize;
    }
  }
  Handle handle = nextHandle_++;
  handles_[handle] = OpenFile{path, 0, write};
  return handle;
}

bool MemorySide::Read(Handle file, uint8_t* buffer, uint32_t size, uint32_t& got) {
  got = 0;
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(kErrorInvalidHandle);
  if (Fails(readFault, reads_)) return false;
  const std::string& data = nodes_[it->second.path].data;
  size_t count = std::min<size_t>(size, data.size() - std::min(data.size(), it->second.position));
  if (count != 0) std::memcpy(buffer, data.data() + it->second.position, count);
  it->second.position += count;
  got = static_cast<uint32_t>(count) + readOverclaim;
  return true;
}

bool MemorySide::Write(Handle file, const uint8_t* data, uint32_t size, uint32_t& written) {
  written = 0;
  auto it = handles_.find(file);
  if (it == handles_.end() || !it->second.write) return Fail(kErrorInvalidHandle);
  if (Fails(writeFault, writes_)) return false;
  std::string& content = nodes_[it->second.path].data;
  if (content.size() < it->second.position + size) content.resize(it->second.position + size);
  std::memcpy(&content[it->second.position], data, size);
  it->second.position += size;
  written = size;
  return true;
}

bool MemorySide::SeekEnd(Handle file) {
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(kErrorInvalidHandle);
  it->second.position = nodes_[it->second.path].data.size();
  return true;
}

bool MemorySide::GetSize(Handle file, uint64_t& size) {
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(kErrorInvalidHandle);
  size = InfoOf(nodes_[it->second.path]).size;
  return true;
}

bool MemorySide::GetWriteTime(Handle file, uint64_t& time) {
  auto it = handles_.find(file);
  if (it == handles_.end()) return Fail(kErrorInvalidHandle);
  time = nodes_[it->second.path].writeTime;
  return true;
}

bool MemorySide::SetWriteTime(Handle file, uint64_t time) {
  auto it = handles_.find(file);
  if (it == handles_.end() || !it->second.write) return Fail(kErrorInvalidHandle);
  nodes_[it->second.path].writeTime = time;
  return true;
}

bool MemorySide::Close(Handle file) {
  if (handles_.count(file) == 0) return Fail(kErrorInvalidHandle);
  if (Fails(closeFault, closes_)) return false;  // the file stays open, as on the device
  handles_.erase(file);
  return true;
}

bool MemorySide::IsOpen(const std::u16string& path) const {
  for (const auto& [handle, file] : handles_) {
    if (file.path == path) return true;
  }
  return false;
}

uint32_t MemorySide::GetAttributes(const std::u16string& path) {
  auto it = nodes_.find(path);
  if (it == nodes_.end()) return Fail(kErrorFileNotFound), kNoAttributes;
  return it->second.attributes;
}

bool MemorySide::SetAttributes(const std::u16string& path, uint32_t attributes) {
  auto it = nodes_.find(path);
  if (it == nodes_.end()) return Fail(kErrorFileNotFound);
  if (Fails(setAttributesFault, sets_)) return false;
  it->second.attributes = (attributes & kAttrCarried) | (it->second.folder ? kAttrDirectory : 0);
  return true;
}

bool MemorySide::Delete(const std::u16string& path) {
  auto it = nodes_.find(path);
  if (it == nodes_.end()) return Fail(kErrorFileNotFound);
  if (Fails(deleteFault, deletes_)) return false;
  if (it->second.folder || (it->second.attributes & kAttrReadOnly) != 0) return Fail(kErrorAccessDenied);
  if (IsOpen(path)) return Fail(kErrorSharingViolation);
  nodes_.erase(it);
  return true;
}

bool MemorySide::CopyWithin(const std::u16string& from, const std::u16string& to) {
  auto it = nodes_.find(from);
  if (it == nodes_.end() || it->second.folder) return Fail(kErrorFileNotFound);
  if (Fails(copyFault, copies_)) return false;
  if (nodes_.count(to) != 0) return Fail(kErrorFileExists);
  nodes_[to] = it->second;
  return true;
}

bool MemorySide::Rename(const std::u16string& from, const std::u16string& to) {
  auto it = nodes_.find(from);
  if (it == nodes_.end() || it->second.folder) return Fail(kErrorFileNotFound);
  if (Fails(renameFault, renames_)) return false;
  if (nodes_.count(to) != 0) return Fail(kErrorAlreadyExists);
  if (IsOpen(from)) return Fail(kErrorSharingViolation);
  Node node = it->second;
  nodes_.erase(it);
  nodes_[to] = node;
  return true;
}

bool MemorySide::Replace(const std::u16string& from, const std::u16string& to) {
  auto it = nodes_.find(from);
  auto old = nodes_.find(to);
  if (it == nodes_.end() || it->second.folder || old == nodes_.end()) return Fail(kErrorFileNotFound);
  if (Fails(replaceFault, replaces_)) return false;
  if (old->second.folder || (old->second.attributes & kAttrReadOnly) != 0) return Fail(kErrorAccessDenied);
  if (IsOpen(from) || IsOpen(to)) return Fail(kErrorSharingViolation);
  old->second = it->second;
  nodes_.erase(it);
  return true;
}

}  // namespace handrel::transfer
