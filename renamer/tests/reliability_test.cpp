// The randomized reliability check of the rename job on a folder in memory that follows the
// rules of MoveFileW. QUILLET_BATCHES and QUILLET_SEED choose a longer or another run.
#include <gtest/gtest.h>

#include <cstdlib>

#include "renamer/tests/memory_fs.h"
#include "renamer/tests/reliability.h"

namespace quillet::testing {
namespace {

class MemoryDisk : public Disk {
 public:
  MemoryDisk() : fs_(u"C:\\Work\\batch") {}
  FileSystem& Fs() override { return fs_; }
  std::u16string Directory() override { return fs_.Directory(); }
  void Clear() override { fs_.objects.clear(); }
  void Create(const std::u16string& name, bool folder, const std::string& content) override {
    fs_.Add(name, folder, content);
  }
  std::map<std::u16string, std::string> List() override {
    std::map<std::u16string, std::string> out;
    for (const auto& o : fs_.objects) out[o.name] = o.content;
    return out;
  }
  void Lock(const std::u16string& name, uint32_t choice) override {
    static const uint32_t errors[] = {kErrAccessDenied, kErrWriteProtect, kErrNotReady, 32};
    if (auto* o = fs_.Find(name)) o->lockError = errors[choice % 4];
  }
  void Unlock(const std::u16string& name) override {
    if (auto* o = fs_.Find(name)) o->lockError = 0;
  }
  void UnlockAll() override {
    for (auto& o : fs_.objects) o.lockError = 0;
  }

 private:
  MemoryFileSystem fs_;
};

TEST(RenameReliability, RandomBatchesInMemoryLoseNothingAndRollBackExactly) {
  const uint64_t batches = EnvNumber("QUILLET_BATCHES", 4000);
  const uint32_t seed = uint32_t(EnvNumber("QUILLET_SEED", 20261208));
  MemoryDisk disk;
  BatchStats stats = RunRandomBatches(&disk, batches, seed);
  // The draw must actually exercise the interesting paths.
  EXPECT_GT(stats.renamed, stats.batches / 2);
  EXPECT_GT(stats.givenUp, 0u);
  EXPECT_GT(stats.prompts, 0u);
  EXPECT_GT(stats.cancelled, 0u);
}

}  // namespace
}  // namespace quillet::testing
