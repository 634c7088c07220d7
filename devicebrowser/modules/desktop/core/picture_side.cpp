#include "devicebrowser/modules/desktop/core/picture_side.h"

#include <cstring>

namespace handrel::desktop {

namespace {
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorInvalidHandle = 6;
}  // namespace

Picture* PictureSide::At(Handle file) {
  if (file <= 0 || static_cast<size_t>(file) > pictures_.size()) return nullptr;
  return &pictures_[static_cast<size_t>(file - 1)];
}

bool PictureSide::Find(const std::u16string& path, transfer::FileInfo& info) {
  Picture* picture = FindPicture(pictures_, path);
  if (picture == nullptr) return Fail(kErrorFileNotFound);
  info.attributes = transfer::kAttrNormal;
  info.writeTime = seam_.LocalTime();
  info.size = picture->Size();
  return true;
}

bool PictureSide::List(const std::u16string&, std::vector<transfer::FolderEntry>& entries) {
  entries.clear();
  for (const Picture& p : pictures_) {
    transfer::FolderEntry entry;
    entry.name = p.name;
    entry.info.attributes = transfer::kAttrNormal;
    entry.info.writeTime = seam_.LocalTime();
    entry.info.size = p.Size();
    entries.push_back(std::move(entry));
  }
  return true;
}

bool PictureSide::CreateFolder(const std::u16string&) { return Fail(transfer::kErrorWriteProtect); }

transfer::FileSide::Handle PictureSide::Open(const std::u16string& path, transfer::OpenMode mode) {
  if (mode != transfer::OpenMode::kRead) {
    Fail(transfer::kErrorWriteProtect);
    return kInvalid;
  }
  Picture* picture = FindPicture(pictures_, path);
  if (picture == nullptr) {
    Fail(kErrorFileNotFound);
    return kInvalid;
  }
  // Each opening is a new screenshot: what an earlier copy took is the screen as it was then.
  picture->bytes.clear();
  picture->bytes.shrink_to_fit();
  picture->taken = false;
  picture->position = 0;
  return static_cast<Handle>(picture - pictures_.data()) + 1;
}

bool PictureSide::Take(Picture& picture) {
  ++screenshots_;
  std::vector<uint8_t> answer;
  uint32_t error = 0;
  if (!TakeSnapshot(seam_, picture.zoom, answer, error)) return Fail(error);
  // The answer is the device's: only a whole bitmap goes on, to the file or to the encoder.
  BitmapFacts facts;
  if (CheckBitmap(answer.data(), answer.size(), facts) != BitmapFault::kNone) {
    return Fail(transfer::kErrorInvalidData);
  }
  if (picture.format == PictureFormat::kBmp) {
    picture.bytes = std::move(answer);
  } else {
    std::vector<uint8_t> encoded;
    if (!seam_.Encode(picture.format, answer, encoded, error)) return Fail(error != 0 ? error : kUnspecifiedFailure);
    picture.bytes = std::move(encoded);
  }
  picture.taken = true;
  picture.position = 0;
  return true;
}

bool PictureSide::Read(Handle file, uint8_t* buffer, uint32_t size, uint32_t& got) {
  got = 0;
  Picture* picture = At(file);
  if (picture == nullptr) return Fail(kErrorInvalidHandle);
  if (!picture->taken && !Take(*picture)) return false;
  size_t available = picture->bytes.size() - picture->position;
  size_t n = size < available ? size : available;
  if (n != 0) std::memcpy(buffer, picture->bytes.data() + picture->position, n);
  picture->position += n;
  got = static_cast<uint32_t>(n);
  return true;
}

bool PictureSide::Write(Handle, const uint8_t*, uint32_t, uint32_t& written) {
  written = 0;
  return Fail(transfer::kErrorWriteProtect);
}

bool PictureSide::SeekEnd(Handle) { return Fail(transfer::kErrorWriteProtect); }

bool PictureSide::GetSize(Handle file, uint64_t& size) {
  Picture* picture = At(file);
  if (picture == nullptr) return Fail(kErrorInvalidHandle);
  size = picture->Size();
  return true;
}

bool PictureSide::GetWriteTime(Handle file, uint64_t& time) {
  if (At(file) == nullptr) return Fail(kErrorInvalidHandle);
  time = seam_.SystemTime();
  return true;
}

bool PictureSide::SetWriteTime(Handle, uint64_t) { return Fail(transfer::kErrorWriteProtect); }

bool PictureSide::Close(Handle) { return true; }

uint32_t PictureSide::GetAttributes(const std::u16string& path) {
  if (FindPicture(pictures_, path) == nullptr) {
    Fail(kErrorFileNotFound);
    return transfer::kNoAttributes;
  }
  return transfer::kAttrNormal;
}

bool PictureSide::SetAttributes(const std::u16string&, uint32_t) { return Fail(transfer::kErrorWriteProtect); }

// A moved picture stays: the screen cannot be taken away.
bool PictureSide::Delete(const std::u16string&) { return true; }

bool PictureSide::CopyWithin(const std::u16string&, const std::u16string&) {
  return Fail(transfer::kErrorWriteProtect);
}

bool PictureSide::Rename(const std::u16string&, const std::u16string&) { return Fail(transfer::kErrorWriteProtect); }

bool PictureSide::Replace(const std::u16string&, const std::u16string&) { return Fail(transfer::kErrorWriteProtect); }

}  // namespace handrel::desktop
