#include "archiveformats/diskimage/win/win32_file_source.h"

namespace oculo {

Win32FileSource::Win32FileSource(const char* path) {
  file_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_RANDOM_ACCESS, nullptr);
  LARGE_INTEGER size{};
  if (file_ != INVALID_HANDLE_VALUE && GetFileSizeEx(file_, &size)) size_ = static_cast<uint64_t>(size.QuadPart);
}

Win32FileSource::~Win32FileSource() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

size_t Win32FileSource::ReadAt(uint64_t offset, uint8_t* out, size_t count) {
  if (!IsOpen() || count == 0 || offset >= size_) return 0;
  size_t done = 0;
  while (done < count) {
    // The offset travels in the OVERLAPPED record: no shared file pointer to move.
    OVERLAPPED at{};
    uint64_t pos = offset + done;
    at.Offset = static_cast<DWORD>(pos);
    at.OffsetHigh = static_cast<DWORD>(pos >> 32);
    DWORD chunk = static_cast<DWORD>(count - done > (1u << 30) ? (1u << 30) : count - done);
    DWORD got = 0;
    if (!ReadFile(file_, out + done, chunk, &got, &at) || got == 0) break;
    done += got;
  }
  return done;
}

}  // namespace oculo
