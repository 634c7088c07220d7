#include "standins/bass/core/source.h"

#include <cstring>

namespace bass {

bool MemorySource::ReadAt(uint64_t off, void* buf, size_t n) {
  if (off > size_ || n > size_ - off) return false;
  if (n) std::memcpy(buf, data_ + off, n);
  return true;
}

StdFileSource::~StdFileSource() {
  if (file_) std::fclose(file_);
}

bool StdFileSource::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) return false;
  if (std::fseek(file_, 0, SEEK_END) != 0) return false;
  long end = std::ftell(file_);
  if (end < 0) return false;
  size_ = static_cast<uint64_t>(end);
  return true;
}

bool StdFileSource::ReadAt(uint64_t off, void* buf, size_t n) {
  if (!file_ || off > size_ || n > size_ - off) return false;
  if (std::fseek(file_, static_cast<long>(off), SEEK_SET) != 0) return false;
  return std::fread(buf, 1, n, file_) == n;
}

SliceSource::SliceSource(Source& inner, uint64_t offset, uint64_t length) : inner_(inner), offset_(offset) {
  uint64_t total = inner.Size();
  uint64_t avail = offset <= total ? total - offset : 0;
  size_ = length == 0 || length > avail ? avail : length;
}

bool SliceSource::ReadAt(uint64_t off, void* buf, size_t n) {
  if (off > size_ || n > size_ - off) return false;
  return inner_.ReadAt(offset_ + off, buf, n);
}

std::vector<uint8_t> ReadHead(Source& src, size_t max) {
  uint64_t size = src.Size();
  size_t n = size < max ? static_cast<size_t>(size) : max;
  std::vector<uint8_t> out(n);
  if (n && !src.ReadAt(0, out.data(), n)) out.clear();
  return out;
}

}  // namespace bass
