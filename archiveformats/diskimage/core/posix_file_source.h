// An image read from a POSIX file with pread (native tools, tests and the benchmark).
#pragma once

#include <string>

#include "archiveformats/diskimage/core/byte_source.h"

namespace oculo {

class PosixFileSource final : public ByteSource {
 public:
  explicit PosixFileSource(const std::string& path);
  ~PosixFileSource() override;
  PosixFileSource(const PosixFileSource&) = delete;
  PosixFileSource& operator=(const PosixFileSource&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, uint8_t* out, size_t count) override;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

}  // namespace oculo
