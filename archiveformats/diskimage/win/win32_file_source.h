// The image file as a byte source: opened read-only for random access; other programs may keep
// reading and writing it meanwhile.
#pragma once

#include <windows.h>

#include "archiveformats/diskimage/core/byte_source.h"

namespace oculo {

class Win32FileSource final : public ByteSource {
 public:
  explicit Win32FileSource(const char* path);
  ~Win32FileSource() override;
  Win32FileSource(const Win32FileSource&) = delete;
  Win32FileSource& operator=(const Win32FileSource&) = delete;

  bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, uint8_t* out, size_t count) override;

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
};

}  // namespace oculo
