// The randomized reliability check of the rename job, shared by the in-memory run and the run on
// the real disk under Wine.
//
// One batch: a folder of objects with unique contents, a selection, new names drawn to collide
// (cycles and swaps, other items' old names, case-only changes, names of objects outside the
// batch, duplicates, items without a name), locked objects, random settings for automatic
// answers and random replies to every prompt (new name, resolve, resolve all, skip, skip all,
// retry, Esc), sometimes a cancel in the middle. Afterwards: no content lost or changed, every
// object whose name changed is reported renamed under exactly that name, every item given up
// still has its old name, objects outside the batch are untouched, and a rollback restores
// every original name exactly.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "renamer/core/renamejob.h"

namespace quillet::testing {

// The folder a batch runs in.
class Disk {
 public:
  virtual ~Disk() = default;
  virtual FileSystem& Fs() = 0;
  virtual std::u16string Directory() = 0;  // as the panel gives it
  virtual void Clear() = 0;                // empty the folder (unlocks everything)
  virtual void Create(const std::u16string& name, bool folder, const std::string& content) = 0;
  // Every object: name -> content (a folder's content is its identity).
  virtual std::map<std::u16string, std::string> List() = 0;
  // Makes moving the object fail until unlocked.
  virtual void Lock(const std::u16string& name, uint32_t choice) = 0;
  virtual void Unlock(const std::u16string& name) = 0;
  virtual void UnlockAll() = 0;
};

struct BatchStats {
  uint64_t batches = 0, items = 0, renamed = 0, givenUp = 0, prompts = 0, cancelled = 0, rollbacks = 0;
};

inline std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }
inline std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 128 ? char(c) : '?');
  return out;
}

class BatchRunner {
 public:
  BatchRunner(Disk* disk, uint32_t seed) : disk_(disk), rng_(seed), seed_(seed) {}

  void Run(BatchStats* stats) {
    SCOPED_TRACE("batch seed " + std::to_string(seed_));
    Generate();
    if (list_.items.empty()) return;
    ++stats->batches;
    stats->items += list_.items.size();
    const std::map<std::u16string, std::string> before = disk_->List();

    RenameJobSettings settings;
    settings.autoResolveSuffix = Pick(3);
    const uint32_t maxChoices[] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0, 1, 2, 5};
    settings.autoResolveMax = maxChoices[Pick(6)];
    ProblemPrompter::Options options;
    options.autoResolve = Pick(10) < 3;
    options.autoResolveType = Pick(2);
    options.autoIgnoreOther = Pick(10) < 2;
    Dialog dialog(this, options);
    RenameJob job(&list_, &disk_->Fs(), settings, &dialog);
    const int result = job.Rename();
    stats->prompts += uint64_t(dialog.prompts);

    const std::map<std::u16string, std::string> after = disk_->List();
    CheckContents(before, after);
    std::map<std::string, std::u16string> nameOf;  // content -> current name
    for (const auto& [name, content] : after) nameOf[content] = name;

    std::set<uint32_t> problems(job.problems.begin(), job.problems.end());
    EXPECT_EQ(problems.size(), job.problems.size()) << "an item given up twice";
    uint32_t renamedFlags = 0;
    for (uint32_t i = 0; i < list_.items.size(); ++i) {
      const std::u16string& now = nameOf[contentOf_[i]];
      const NewNameEntry& e = list_.entries[i];
      renamedFlags += e.renamed;
      if (e.renamed) {
        ASSERT_TRUE(e.name.has_value());
        EXPECT_EQ(Narrow(now), Narrow(*e.name)) << "item " << i << " reported renamed under another name";
        EXPECT_EQ(problems.count(i), 0u) << "item " << i << " renamed and given up";
      } else {
        EXPECT_EQ(Narrow(now), Narrow(list_.items[i].name)) << "item " << i << " changed name unreported";
      }
      if (result != kCancelled && !e.renamed && !problems.count(i)) {
        // Neither moved nor given up: only an item kept or already carrying its new name.
        const bool unchanged = e.status == kStatusKeep || (e.name && *e.name == list_.items[i].name);
        EXPECT_TRUE(unchanged) << "item " << i << " neither renamed nor on the problem list";
      }
    }
    EXPECT_EQ(renamedFlags, job.renamedCount.load());
    for (const auto& [content, outsideName] : outside_) {
      EXPECT_EQ(Narrow(nameOf[content]), Narrow(outsideName)) << "an object outside the batch moved";
    }
    if (result == kCancelled) ++stats->cancelled;
    stats->renamed += renamedFlags;
    stats->givenUp += job.problems.size();

    // The rollback brings back every original name exactly.
    disk_->UnlockAll();
    list_.control.cancel = false;
    list_.control.pause = false;
    const int back = job.Rollback();
    ++stats->rollbacks;
    EXPECT_EQ(back, kNoDuplicates);
    EXPECT_TRUE(job.problems.empty());
    const std::map<std::u16string, std::string> restored = disk_->List();
    EXPECT_EQ(Dump(restored), Dump(before)) << "rollback did not restore every name";
    for (const NewNameEntry& e : list_.entries) EXPECT_EQ(e.renamed, 0);
  }

 private:
  // The dialog side of the prompt, answering at random the way a user might.
  class Dialog : public RenameJobHooks {
   public:
    Dialog(BatchRunner* r, const ProblemPrompter::Options& o) : r_(r), prompter_(o) {}
    void Notify(int code, uint32_t param) override {
      WorkerControl& c = r_->list_.control;
      if (code == kNotifyRenaming && r_->Pick(300) == 0) c.cancel = true;  // Esc in the middle
      if (code != kNotifyProblem) return;
      ++prompts;
      NewNameEntry& entry = r_->list_.entries[param];
      if (prompts > 40) {  // a user who keeps retrying gives up in the end
        c.cancel = true;
        return;
      }
      ProblemPrompter::Question q;
      int answer = prompter_.Decide(entry.status, param, &q);
      if (q == ProblemPrompter::Question::kConflict) {
        const uint32_t roll = r_->Pick(100);
        if (roll < 3) {
          answer = -1;
        } else if (roll < 25) {
          answer = ApplyTypedName(&entry, r_->TypedName()) ? kAnswerNewName : kAnswerAskAgain;
        } else {
          answer = prompter_.ConflictButton(1 + int(r_->Pick(4)));
        }
      } else if (q == ProblemPrompter::Question::kOther) {
        const uint32_t roll = r_->Pick(100);
        if (roll < 3) {
          answer = -1;
        } else {
          answer = prompter_.OtherButton(int(r_->Pick(3)));
          if (answer == kAnswerRetry && r_->Pick(2) == 0) r_->disk_->Unlock(r_->list_.items[param].name);
        }
      }
      if (answer < 0) {
        c.cancel = true;
      } else {
        c.answer = answer;
      }
    }
    void Sleep(uint32_t) override {}
    int prompts = 0;

   private:
    BatchRunner* r_;
    ProblemPrompter prompter_;
  };

  uint32_t Pick(uint32_t n) { return uint32_t(rng_() % n); }

  std::u16string RandomCase(std::u16string s) {
    for (char16_t& c : s) {
      if (Pick(3) == 0) c = (c >= u'a' && c <= u'z') ? UpperC(c) : LowerC(c);
    }
    return s;
  }

  std::u16string PoolName(bool folder) {
    static const char* bases[] = {"a", "b", "c", "d", "a (0)", "b_1", "c 2", "x"};
    static const char* exts[] = {".txt", ".TXT", "", ".dat", ".tar.gz"};
    std::u16string name = Ascii(bases[Pick(8)]);
    if (!folder || Pick(4) == 0) name += Ascii(exts[Pick(5)]);
    return RandomCase(name);
  }

  std::u16string TypedName() {
    switch (Pick(5)) {
      case 0:
        return u"bad:name";
      case 1:
        return u"   ";
      case 2:
        return list_.items[Pick(uint32_t(list_.items.size()))].name;
      default:
        return PoolName(false) + u"  ";
    }
  }

  void Generate() {
    disk_->Clear();
    const bool renameFolders = Pick(3) == 0;
    const uint32_t count = 2 + Pick(9);
    std::vector<std::u16string> names;
    std::vector<bool> folders;
    for (uint32_t k = 0; k < count; ++k) {
      const bool folder = Pick(5) == 0;
      std::u16string name = PoolName(folder);
      bool taken = false;
      for (const auto& n : names) taken = taken || EqualIgnoreCase(n, name);
      if (taken) continue;
      const std::string content = "object " + std::to_string(k) + " of batch " + std::to_string(seed_);
      disk_->Create(name, folder, content);
      names.push_back(name);
      folders.push_back(folder);
      const bool selected = Pick(4) != 0 && (!folder || renameFolders);
      if (selected) {
        list_.items.push_back(MakeSourceItem(uint32_t(list_.items.size()), folder ? kAttributeDirectory : 0x20u, name));
        contentOf_.push_back(content);
        if (folder) ++list_.folderCount; else ++list_.fileCount;
      } else {
        outside_[content] = name;
      }
    }
    list_.currentDirectory = disk_->Directory();
    const uint32_t n = uint32_t(list_.items.size());
    if (n == 0) return;
    list_.entries.assign(n, NewNameEntry());
    std::vector<std::optional<std::u16string>> wanted(n);
    std::vector<int32_t> status(n, kStatusOk);
    // A cycle (a swap when two) over part of the batch.
    if (Pick(3) == 0 && n >= 2) {
      std::vector<uint32_t> part;
      for (uint32_t i = 0; i < n; ++i) {
        if (Pick(3) != 0) part.push_back(i);
      }
      for (size_t k = 0; k < part.size(); ++k) {
        wanted[part[k]] = list_.items[part[(k + 1) % part.size()]].name;
      }
    }
    std::vector<std::u16string> outsideNames;
    for (const auto& [content, name] : outside_) outsideNames.push_back(name);
    for (uint32_t i = 0; i < n; ++i) {
      if (wanted[i]) continue;
      const uint32_t roll = Pick(100);
      const std::u16string& old = list_.items[i].name;
      if (roll < 15) {
        wanted[i] = list_.items[Pick(n)].name;
      } else if (roll < 27) {
        wanted[i] = RandomCase(old);
      } else if (roll < 37 && !outsideNames.empty()) {
        wanted[i] = RandomCase(outsideNames[Pick(uint32_t(outsideNames.size()))]);
      } else if (roll < 45) {
        wanted[i] = old;
      } else if (roll < 50) {
        status[i] = kStatusKeep;
      } else if (roll < 53) {
        status[i] = kStatusNoName;
      } else if (roll < 56) {
        status[i] = kStatusNoManipulated;
      } else if (roll < 59) {
        status[i] = kStatusInvalidTyped;
      } else {
        wanted[i] = PoolName(list_.items[i].folder != 0);
      }
    }
    for (uint32_t i = 0; i < n; ++i) {
      NewNameEntry& e = list_.entries[i];
      e.folder = list_.items[i].folder;
      e.status = status[i];
      if (wanted[i]) {
        e.name = *wanted[i];
        e.length = uint32_t(wanted[i]->size());
        e.dotIndex = DotIndexOf(*wanted[i], e.folder != 0);
      }
    }
    if (Pick(2) == 0) DuplicateCheckBucketed(&list_, nullptr);
    for (uint32_t i = 0; i < n; ++i) {
      if (Pick(10) == 0) disk_->Lock(list_.items[i].name, Pick(4));
    }
  }

  void CheckContents(const std::map<std::u16string, std::string>& before,
                     const std::map<std::u16string, std::string>& after) {
    std::multiset<std::string> a, b;
    for (const auto& kv : before) a.insert(kv.second);
    for (const auto& kv : after) b.insert(kv.second);
    EXPECT_TRUE(a == b) << "contents changed: before " << Dump(before) << " after " << Dump(after);
  }

  static std::string Dump(const std::map<std::u16string, std::string>& m) {
    std::string s;
    for (const auto& [name, content] : m) {
      s.push_back('[');
      s.append(Narrow(name));
      s.push_back('=');
      s.append(content);
      s.push_back(']');
    }
    return s;
  }

  Disk* disk_;
  std::mt19937 rng_;
  uint32_t seed_;
  RenameList list_;
  std::vector<std::string> contentOf_;
  std::map<std::string, std::u16string> outside_;  // content -> name
};

// A count from the environment (to run far more batches by hand), or the fallback.
inline uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::strtoull(v, nullptr, 10) : fallback;
}

// Runs `batches` random batches (seeds seed, seed + 1, ...) on `disk`, stopping at the first
// failure, and prints what they exercised.
inline BatchStats RunRandomBatches(Disk* disk, uint64_t batches, uint32_t seed) {
  BatchStats stats;
  for (uint64_t b = 0; b < batches && !::testing::Test::HasFailure(); ++b) {
    BatchRunner(disk, seed + uint32_t(b)).Run(&stats);
  }
  std::printf("batches %llu, items %llu, renamed %llu, given up %llu, prompts %llu, cancelled %llu, rollbacks %llu\n",
              (unsigned long long)stats.batches, (unsigned long long)stats.items, (unsigned long long)stats.renamed,
              (unsigned long long)stats.givenUp, (unsigned long long)stats.prompts, (unsigned long long)stats.cancelled,
              (unsigned long long)stats.rollbacks);
  return stats;
}

}  // namespace quillet::testing
