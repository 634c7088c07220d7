// Oculo.fmt as the archive plugin loads it: the three times of an item's record, each a local
// time of the directory entry converted to UTC (the test runs with TZ=UTC, so they read as
// stored). The access time pairs the entry's access date with its write time.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "archiveformats/diskimage/tests/test_image.h"
#include "archiveformats/format_module.h"

namespace {

template <class Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Year, month, day, hour, minute and second of a UTC time.
std::vector<int> Parts(const FILETIME& ft) {
  SYSTEMTIME st{};
  if (!FileTimeToSystemTime(&ft, &st)) return {};
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

// The module's exports, looked up once per test.
struct Module {
  HMODULE handle = LoadLibraryA(OCULO_FMT);
  IsArchiveFn isArchive = Export<IsArchiveFn>(handle, "IsArchive");
  OpenArchiveFn openArchive = Export<OpenArchiveFn>(handle, "OpenArchive");
  GetArcItemFn getArcItem = Export<GetArcItemFn>(handle, "GetArcItem");
  CloseArchiveFn closeArchive = Export<CloseArchiveFn>(handle, "CloseArchive");
  GetSFXPosFn getSfxPos = Export<GetSFXPosFn>(handle, "GetSFXPos");
  ~Module() {
    if (handle) FreeLibrary(handle);
  }
};

// A disk of 4.5 GiB (the gap stays a hole in the host's file): its first partition lies beyond 4 GiB, so the offset of
// the first volume cannot be told in the 32 bits of GetSFXPos.
TEST(OculoModule, FirstVolumeBeyond4GiBGivesTheMarkedSfxPosition) {
  constexpr uint64_t kFarSector = 0x900000;
  char dir[MAX_PATH], path[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, dir), 0u);
  ASSERT_NE(GetTempFileNameA(dir, "ocu", 0, path), 0u);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  TestDisk table(1);
  table.Partition(0, 0, 0x0E, static_cast<uint32_t>(kFarSector));
  table.Partition(0, 1, 0x06, 63);
  TestVolume nearVolume;
  nearVolume.Entry(TestVolume::Root(0), "NEAR    TXT", 0x20, 0, 1);
  TestVolume farVolume;
  farVolume.Entry(TestVolume::Root(0), "FAR     TXT", 0x20, 0, 2);
  auto put = [&](uint64_t at, const std::vector<uint8_t>& bytes) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(at);
    DWORD wrote = 0;
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) &&
           WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) && wrote == bytes.size();
  };
  ASSERT_TRUE(put(0, table.bytes));
  ASSERT_TRUE(put(63 * 512, nearVolume.bytes));
  ASSERT_TRUE(put(kFarSector * 512, farVolume.bytes));
  CloseHandle(file);

  Module m;
  ASSERT_TRUE(m.handle && m.isArchive && m.openArchive && m.getArcItem && m.closeArchive && m.getSfxPos);
  unsigned char head[16] = {};
  ASSERT_TRUE(m.isArchive(path, head, sizeof(head)));
  int type = -1;
  ASSERT_TRUE(m.openArchive(path, &type));
  EXPECT_EQ(m.getSfxPos(), 0xFFFFFFFEu);
  PluginPanelItemA item{};
  ArcItemInfo info{};
  ASSERT_EQ(m.getArcItem(&item, &info), 1);
  EXPECT_STREQ(item.FileName, "C:\\FAR.TXT");
  EXPECT_EQ(item.FileSizeLow, 2u);
  m.closeArchive(nullptr);
  EXPECT_EQ(m.getSfxPos(), 0xFFFFFFFFu);
  DeleteFileA(path);
}

TEST(OculoModule, RecordCarriesCreationAccessAndWriteTimes) {
  TestVolume v;
  v.Entry(TestVolume::Root(0), "REPORT  TXT", 0x20, 0, 1234);
  char dir[MAX_PATH], path[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, dir), 0u);
  ASSERT_NE(GetTempFileNameA(dir, "ocu", 0, path), 0u);
  FILE* f = std::fopen(path, "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(v.bytes.data(), 1, v.bytes.size(), f);
  std::fclose(f);

  HMODULE module = LoadLibraryA(OCULO_FMT);
  ASSERT_NE(module, nullptr);
  auto isArchive = Export<IsArchiveFn>(module, "IsArchive");
  auto openArchive = Export<OpenArchiveFn>(module, "OpenArchive");
  auto getArcItem = Export<GetArcItemFn>(module, "GetArcItem");
  auto closeArchive = Export<CloseArchiveFn>(module, "CloseArchive");
  ASSERT_TRUE(isArchive && openArchive && getArcItem && closeArchive);

  unsigned char head[16] = {};
  ASSERT_TRUE(isArchive(path, head, sizeof(head)));
  int type = -1;
  ASSERT_TRUE(openArchive(path, &type));
  PluginPanelItemA item{};
  ArcItemInfo info{};
  ASSERT_EQ(getArcItem(&item, &info), 1);
  EXPECT_STREQ(item.FileName, "REPORT.TXT");
  EXPECT_EQ(Parts(item.CreationTime), (std::vector<int>{2008, 12, 31, 11, 16, 32}));
  EXPECT_EQ(Parts(item.LastAccessTime), (std::vector<int>{2009, 2, 2, 13, 45, 10}));
  EXPECT_EQ(Parts(item.LastWriteTime), (std::vector<int>{2009, 2, 1, 13, 45, 10}));
  EXPECT_EQ(item.FileSizeLow, 1234u);
  EXPECT_EQ(getArcItem(&item, &info), 0);
  closeArchive(nullptr);
  FreeLibrary(module);
  DeleteFileA(path);
}

}  // namespace
