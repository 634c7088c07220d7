// The randomized reliability check of the rename job on the real disk, through the plugin's
// Win32 file system (CreateFileW to test targets, MoveFileW to move). Locked objects are files
// and folders held open without delete sharing, so moving them fails as it would when another
// program has them open. QUILLET_BATCHES and QUILLET_SEED choose a longer or another run.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "renamer/tests/reliability.h"
#include "renamer/win/fs_win32.h"

namespace quillet::testing {
namespace {

std::wstring Wd(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
std::u16string U(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

class RealDisk : public Disk {
 public:
  RealDisk() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    dir_ = std::wstring(temp) + L"quillet_rel_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir_.c_str(), nullptr);
  }
  ~RealDisk() override {
    Clear();
    RemoveDirectoryW(dir_.c_str());
  }
  FileSystem& Fs() override { return fs_; }
  std::u16string Directory() override { return U(dir_); }
  void Clear() override {
    UnlockAll();
    for (const auto& [name, content] : List()) {
      const std::wstring path = dir_ + L"\\" + Wd(name);
      if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteFileW((path + L"\\id").c_str());
        RemoveDirectoryW(path.c_str());
      } else {
        DeleteFileW(path.c_str());
      }
    }
  }
  void Create(const std::u16string& name, bool folder, const std::string& content) override {
    std::wstring path = dir_ + L"\\" + Wd(name);
    if (folder) {
      ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
      path += L"\\id";
    }
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(h);
  }
  std::map<std::u16string, std::string> List() override {
    std::map<std::u16string, std::string> out;
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((dir_ + L"\\*").c_str(), &fd);
    if (f == INVALID_HANDLE_VALUE) return out;
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = dir_ + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) path += L"\\id";
      out[U(name)] = Read(path);
    } while (FindNextFileW(f, &fd));
    FindClose(f);
    return out;
  }
  void Lock(const std::u16string& name, uint32_t) override {
    HANDLE h = CreateFileW((dir_ + L"\\" + Wd(name)).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) locks_.emplace_back(name, h);
  }
  void Unlock(const std::u16string& name) override {
    for (auto it = locks_.begin(); it != locks_.end();) {
      if (EqualIgnoreCase(it->first, name)) {
        CloseHandle(it->second);
        it = locks_.erase(it);
      } else {
        ++it;
      }
    }
  }
  void UnlockAll() override {
    for (auto& l : locks_) CloseHandle(l.second);
    locks_.clear();
  }

 private:
  static std::string Read(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<unreadable>";
    char buffer[256];
    DWORD got = 0;
    ReadFile(h, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(h);
    return std::string(buffer, got);
  }

  std::wstring dir_;
  Win32FileSystem fs_;
  std::vector<std::pair<std::u16string, HANDLE>> locks_;
};

TEST(RenameReliabilityOnDisk, MoveFileWNeverReplacesButAllowsACaseChange) {
  RealDisk disk;
  disk.Create(u"a.txt", false, "A");
  disk.Create(u"b.txt", false, "B");
  disk.Create(u"dir", true, "D");
  Win32FileSystem fs;
  const std::u16string d = disk.Directory();
  EXPECT_EQ(fs.Probe(BuildItemPath(d, u"A.TXT", false)), 0u);
  EXPECT_EQ(fs.Probe(BuildItemPath(d, u"dir", true)), 0u);
  const uint32_t missing = fs.Probe(BuildItemPath(d, u"c.txt", false));
  EXPECT_TRUE(missing == kErrFileNotFound || missing == kErrPathNotFound) << missing;
  EXPECT_EQ(StatusForMoveError(fs.Move(BuildItemPath(d, u"a.txt", false), BuildItemPath(d, u"b.txt", false))),
            kStatusConflict);
  EXPECT_EQ(fs.Move(BuildItemPath(d, u"a.txt", false), BuildItemPath(d, u"A.txt", false)), 0u);
  EXPECT_EQ(fs.Move(BuildItemPath(d, u"dir", true), BuildItemPath(d, u"Folder", true)), 0u);
  auto list = disk.List();
  EXPECT_EQ(list[u"A.txt"], "A");
  EXPECT_EQ(list[u"b.txt"], "B");
  EXPECT_EQ(list[u"Folder"], "D");
  disk.Lock(u"b.txt", 0);
  EXPECT_NE(fs.Move(BuildItemPath(d, u"b.txt", false), BuildItemPath(d, u"c.txt", false)), 0u);
  disk.UnlockAll();
}

TEST(RenameReliabilityOnDisk, RandomBatchesLoseNothingAndRollBackExactly) {
  const uint64_t batches = EnvNumber("QUILLET_BATCHES", 600);
  const uint32_t seed = uint32_t(EnvNumber("QUILLET_SEED", 77001));
  RealDisk disk;
  BatchStats stats = RunRandomBatches(&disk, batches, seed);
  EXPECT_GT(stats.renamed, stats.batches / 2);
  EXPECT_GT(stats.givenUp, 0u);
}

}  // namespace
}  // namespace quillet::testing
