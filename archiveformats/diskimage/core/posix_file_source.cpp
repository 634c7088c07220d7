#include "archiveformats/diskimage/core/posix_file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oculo {

PosixFileSource::PosixFileSource(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY);
  struct stat st {};
  if (fd_ >= 0 && ::fstat(fd_, &st) == 0) size_ = static_cast<uint64_t>(st.st_size);
}

PosixFileSource::~PosixFileSource() {
  if (fd_ >= 0) ::close(fd_);
}

size_t PosixFileSource::ReadAt(uint64_t offset, uint8_t* out, size_t count) {
  if (fd_ < 0 || offset >= size_) return 0;
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace oculo
