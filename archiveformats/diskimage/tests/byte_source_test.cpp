// The byte sources the walker reads through, checked alike. Natively: memory and POSIX files;
// under Wine: the Win32 file source of Oculo.fmt.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "archiveformats/diskimage/tests/byte_source_conformance.h"

#ifdef _WIN32
#include "archiveformats/diskimage/win/win32_file_source.h"
#else
#include "archiveformats/diskimage/core/posix_file_source.h"
#endif

namespace {

const size_t kSize = 3 * 1024 * 1024 + 123;

std::filesystem::path WriteTemp(const std::vector<uint8_t>& bytes) {
  auto path = std::filesystem::temp_directory_path() /
              ("oculo-source-" + std::to_string(reinterpret_cast<uintptr_t>(&bytes)) + ".bin");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST(ByteSource, MemorySourceConforms) {
  auto bytes = ConformanceBytes(kSize);
  oculo::MemorySource source(bytes);
  CheckByteSource(source, bytes);
}

TEST(ByteSource, FileSourceConforms) {
  auto bytes = ConformanceBytes(kSize);
  auto path = WriteTemp(bytes);
  {
#ifdef _WIN32
    oculo::Win32FileSource source(path.string().c_str());
#else
    oculo::PosixFileSource source(path.string());
#endif
    ASSERT_TRUE(source.IsOpen());
    CheckByteSource(source, bytes);
  }
  std::filesystem::remove(path);
}

TEST(ByteSource, MissingFileIsEmpty) {
#ifdef _WIN32
  oculo::Win32FileSource source("Z:\\no\\such\\image.img");
#else
  oculo::PosixFileSource source("/no/such/image.img");
#endif
  EXPECT_FALSE(source.IsOpen());
  uint8_t b = 0;
  EXPECT_EQ(source.Size(), 0u);
  EXPECT_EQ(source.ReadAt(0, &b, 1), 0u);
}

}  // namespace
