// The pictures as the source side of the transfer engine: opening a picture forgets what was
// taken before, its first read takes the screenshot (and encodes it for JPG and PNG), later reads
// hand out its bytes. Nothing can be written: every write-type request fails with error 19.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devicebrowser/common/transfer/core/transfer.h"
#include "devicebrowser/modules/desktop/core/pictures.h"

namespace handrel::desktop {

// What the side needs besides the device's answer: the encoder and the clocks.
class PictureSeam : public SnapshotSeam {
 public:
  // Encodes a checked bitmap file as JPG or PNG; false with a system error code.
  virtual bool Encode(PictureFormat format, const std::vector<uint8_t>& bitmap, std::vector<uint8_t>& out,
                      uint32_t& error) = 0;
  virtual uint64_t SystemTime() = 0;  // FILETIME ticks, UTC
  virtual uint64_t LocalTime() = 0;   // FILETIME ticks, local
};

class PictureSide : public transfer::FileSide {
 public:
  PictureSide(std::vector<Picture>& pictures, PictureSeam& seam) : pictures_(pictures), seam_(seam) {}

  int Screenshots() const { return screenshots_; }

  uint32_t LastError() const override { return error_; }
  bool Find(const std::u16string& path, transfer::FileInfo& info) override;
  bool List(const std::u16string& folder, std::vector<transfer::FolderEntry>& entries) override;
  bool CreateFolder(const std::u16string& path) override;
  Handle Open(const std::u16string& path, transfer::OpenMode mode) override;
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
  bool CanReplace() const override { return false; }
  bool Replace(const std::u16string& from, const std::u16string& to) override;
  bool SizeSettlesOnRead() const override { return true; }

 private:
  Picture* At(Handle file);
  bool Take(Picture& picture);
  bool Fail(uint32_t error) {
    error_ = error;
    return false;
  }

  std::vector<Picture>& pictures_;
  PictureSeam& seam_;
  uint32_t error_ = 0;
  int screenshots_ = 0;
};

}  // namespace handrel::desktop
