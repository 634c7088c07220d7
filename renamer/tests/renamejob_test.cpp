// The rename job as a user meets it: swaps and cycles, case-only changes, targets that exist,
// the problem prompt and its automatic answers, resolution with a numbered suffix, rollback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "renamer/tests/memory_fs.h"

namespace quillet::testing {
namespace {

struct Fixture {
  MemoryFileSystem fs{u"C:\\Work"};
  RenameList list;

  // Objects on disk (the selected ones first) and the new names of the selected ones.
  void Setup(std::vector<std::pair<std::u16string, std::u16string>> renames,
             std::vector<std::u16string> others = {}) {
    list.currentDirectory = u"C:\\Work";
    for (auto& [from, to] : renames) {
      const bool folder = from.back() == u'\\';
      std::u16string name = folder ? from.substr(0, from.size() - 1) : from;
      fs.Add(name, folder, "content of " + std::string(name.begin(), name.end()));
      list.items.push_back(MakeSourceItem(uint32_t(list.items.size()), folder ? kAttributeDirectory : 0, name));
      NewNameEntry e;
      e.folder = folder;
      e.name = to;
      e.length = uint32_t(to.size());
      e.dotIndex = DotIndexOf(to, folder);
      list.entries.push_back(e);
    }
    for (auto& o : others) fs.Add(o, false, "outside");
  }
  std::vector<std::u16string> Names() {
    std::vector<std::u16string> out;
    for (auto& o : fs.objects) out.push_back(o.name);
    std::sort(out.begin(), out.end());
    return out;
  }
};

// The dialog: answers every prompt through a function, records notifications.
class Dialog : public RenameJobHooks {
 public:
  explicit Dialog(RenameList* list) : list_(list) {}
  std::function<int(uint32_t)> onProblem;  // returns the answer, or -1 for Esc
  std::vector<std::pair<int, uint32_t>> notes;
  void Notify(int code, uint32_t param) override {
    if (code != kNotifyStep) notes.emplace_back(code, param);
    if (code != kNotifyProblem) return;
    int a = onProblem ? onProblem(param) : -1;
    if (a < 0) {
      list_->control.cancel = true;
    } else {
      list_->control.answer = a;
    }
  }
  void Sleep(uint32_t) override {}
  int Count(int code) const {
    int n = 0;
    for (auto& [c, p] : notes) n += c == code;
    return n;
  }

 private:
  RenameList* list_;
};

TEST(RenameJob, PathsUseTheLongFormAndFoldersEndInABackslash) {
  EXPECT_EQ(BuildItemPath(u"C:\\Photos", u"a.jpg", false), u"\\\\?\\C:\\Photos\\a.jpg");
  EXPECT_EQ(BuildItemPath(u"C:\\", u"dir", true), u"\\\\?\\C:\\dir\\");
  EXPECT_EQ(BuildItemPath(u"\\\\server\\share\\x", u"a", false), u"\\\\?\\UNC\\server\\share\\x\\a");
  EXPECT_EQ(BuildItemPath(u"\\\\?\\C:\\Long", u"a", false), u"\\\\?\\C:\\Long\\a");
}

TEST(RenameJob, MoveErrorsMapToStatuses) {
  for (uint32_t e : {5u, 19u, 21u}) EXPECT_EQ(StatusForMoveError(e), kStatusAccess);
  for (uint32_t e : {2u, 3u, 15u}) EXPECT_EQ(StatusForMoveError(e), kStatusNotFound);
  for (uint32_t e : {80u, 183u}) EXPECT_EQ(StatusForMoveError(e), kStatusConflict);
  for (uint32_t e : {32u, 123u, 1u}) EXPECT_EQ(StatusForMoveError(e), kStatusOtherError);
}

TEST(RenameJob, SwapWithAutomaticResolutionGoesThroughANumberedName) {
  Fixture f;
  f.Setup({{u"a.txt", u"b.txt"}, {u"b.txt", u"a.txt"}});
  Dialog d(&f.list);
  ProblemPrompter prompter({true, 0, false});
  d.onProblem = [&](uint32_t i) {
    ProblemPrompter::Question q;
    return prompter.Decide(f.list.entries[i].status, i, &q);
  };
  RenameJob job(&f.list, &f.fs, {}, &d);
  EXPECT_EQ(job.Rename(), kNoDuplicates);
  EXPECT_EQ(*f.list.entries[0].name, u"b (0).txt");
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"a.txt", u"b (0).txt"}));
  EXPECT_EQ(f.fs.Find(u"a.txt")->content, "content of b.txt");
  EXPECT_EQ(d.Count(kNotifyProblem), 1);  // only the first item; the second found a.txt free
  EXPECT_EQ(d.Count(kNotifyRetried), 1);

  EXPECT_EQ(job.Rollback(), kNoDuplicates);
  EXPECT_EQ(f.fs.Find(u"a.txt")->content, "content of a.txt");
  EXPECT_EQ(f.fs.Find(u"b.txt")->content, "content of b.txt");
}

TEST(RenameJob, WithoutAutomaticAnswersTheUserIsAskedAndSkipKeepsTheOldName) {
  Fixture f;
  f.Setup({{u"a.txt", u"b.txt"}, {u"b.txt", u"a.txt"}});
  Dialog d(&f.list);
  std::vector<uint32_t> asked;
  d.onProblem = [&](uint32_t i) {
    asked.push_back(i);
    return i == 0 ? int(kAnswerGiveUp) : int(kAnswerResolve);
  };
  RenameJob job(&f.list, &f.fs, {}, &d);
  EXPECT_EQ(job.Rename(), kDuplicatesFound);
  EXPECT_EQ(asked, (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(job.problems, (std::vector<uint32_t>{0}));
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"a (0).txt", u"a.txt"}));
  EXPECT_EQ(f.fs.Find(u"a.txt")->content, "content of a.txt");
  EXPECT_EQ(f.list.entries[0].renamed, 0);
  EXPECT_EQ(f.list.entries[1].renamed, 1);
}

TEST(RenameJob, CaseOnlyChangeIsNotAConflict) {
  Fixture f;
  f.Setup({{u"readme.txt", u"README.txt"}});
  Dialog d(&f.list);
  RenameJob job(&f.list, &f.fs, {}, &d);
  EXPECT_EQ(job.Rename(), kNoDuplicates);
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"README.txt"}));
  EXPECT_EQ(f.list.entries[0].renamed, 1);
  EXPECT_EQ(job.Rollback(), kNoDuplicates);
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"readme.txt"}));
}

TEST(RenameJob, ResolutionTriesTheSuffixFormatsUpToTheMaximum) {
  for (uint32_t format : {0u, 1u, 2u}) {
    Fixture f;
    const std::u16string taken0 = u"x" + ResolveSuffix(format, 0) + u".txt";
    f.Setup({{u"a.txt", u"x.txt"}}, {u"x.txt", taken0});
    Dialog d(&f.list);
    int prompts = 0;
    d.onProblem = [&](uint32_t) { return ++prompts == 1 ? int(kAnswerResolve) : int(kAnswerGiveUp); };
    RenameJob job(&f.list, &f.fs, {format, 0xFFFFFFFFu}, &d);
    EXPECT_EQ(job.Rename(), kNoDuplicates);
    EXPECT_EQ(*f.list.entries[0].name, u"x" + ResolveSuffix(format, 1) + u".txt");
    EXPECT_EQ(f.list.entries[0].dotIndex, int32_t(f.list.entries[0].name->size() - 4));
  }
  EXPECT_EQ(ResolveSuffix(0, 7), u" (7)");
  EXPECT_EQ(ResolveSuffix(1, 7), u" 7");
  EXPECT_EQ(ResolveSuffix(2, 7), u"_7");

  // "AutoResolveMax" 1: only " (0)" is tried; it is taken, so the item is asked about again.
  Fixture f;
  f.Setup({{u"a.txt", u"x.txt"}}, {u"x.txt", u"x (0).txt"});
  Dialog d(&f.list);
  int prompts = 0;
  d.onProblem = [&](uint32_t) { return ++prompts == 1 ? int(kAnswerResolve) : int(kAnswerGiveUp); };
  RenameJob job(&f.list, &f.fs, {0, 1}, &d);
  EXPECT_EQ(job.Rename(), kDuplicatesFound);
  EXPECT_EQ(prompts, 2);
  EXPECT_EQ(*f.list.entries[0].name, u"x.txt");
}

TEST(RenameJob, ATypedNameIsCheckedAndReplacesTheNewName) {
  NewNameEntry e;
  e.status = kStatusNoManipulated;
  EXPECT_FALSE(ApplyTypedName(&e, u"a:b"));
  EXPECT_FALSE(ApplyTypedName(&e, u"   "));
  EXPECT_TRUE(ApplyTypedName(&e, u"new.name.txt  "));
  EXPECT_EQ(*e.name, u"new.name.txt");
  EXPECT_EQ(e.dotIndex, 8);
  EXPECT_EQ(e.status, kStatusOk);
  EXPECT_TRUE(ApplyTypedName(&e, u".profile"));
  EXPECT_EQ(e.dotIndex, -1);

  // Typed in the prompt for a taken target: the item goes to the typed name.
  Fixture f;
  f.Setup({{u"a.txt", u"b.txt"}}, {u"b.txt"});
  Dialog d(&f.list);
  d.onProblem = [&](uint32_t i) {
    return ApplyTypedName(&f.list.entries[i], u"c.txt") ? int(kAnswerNewName) : int(kAnswerAskAgain);
  };
  RenameJob job(&f.list, &f.fs, {}, &d);
  EXPECT_EQ(job.Rename(), kNoDuplicates);
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"b.txt", u"c.txt"}));
}

TEST(RenameJob, OtherErrorsAreRetriedOrSkippedAndItemsWithoutNameAreGivenUp) {
  Fixture f;
  f.Setup({{u"locked.txt", u"free.txt"}, {u"n1", u"x"}, {u"n2", u"y"}, {u"k", u"z"}});
  f.list.entries[1].status = kStatusNoName;
  f.list.entries[1].name.reset();
  f.list.entries[2].status = kStatusInvalidTyped;
  f.list.entries[3].status = kStatusKeep;
  f.fs.Find(u"locked.txt")->lockError = kErrAccessDenied;
  Dialog d(&f.list);
  int prompts = 0;
  d.onProblem = [&](uint32_t i) {
    EXPECT_EQ(i, 0u);
    EXPECT_EQ(f.list.entries[i].status, kStatusAccess);
    if (++prompts == 2) f.fs.Find(u"locked.txt")->lockError = 0;  // the user closed the other program
    return int(kAnswerRetry);
  };
  RenameJob job(&f.list, &f.fs, {}, &d);
  EXPECT_EQ(job.Rename(), kDuplicatesFound);
  EXPECT_EQ(prompts, 2);
  EXPECT_EQ(job.problems, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(f.list.entries[0].renamed, 1);
  EXPECT_EQ(f.list.entries[3].renamed, 0);
  EXPECT_EQ(job.errors.load(), 2u);
}

TEST(RenameJob, CancelStopsAtTheNextItemAndRollbackRestoresInReverse) {
  Fixture f;
  f.Setup({{u"1", u"a"}, {u"2", u"b"}, {u"3", u"c"}});
  // Esc while the second item is shown: it is still renamed, the third is not.
  struct Hook : RenameJobHooks {
    RenameList* list = nullptr;
    std::vector<uint32_t> restored;
    void Notify(int code, uint32_t param) override {
      if (code == kNotifyRenaming && param == 1) list->control.cancel = true;
      if (code == kNotifyRestoring) restored.push_back(param);
    }
    void Sleep(uint32_t) override {}
  } hook;
  hook.list = &f.list;
  RenameJob job(&f.list, &f.fs, {}, &hook);
  EXPECT_EQ(job.Rename(), kCancelled);
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"3", u"a", u"b"}));
  f.list.control.cancel = false;
  EXPECT_EQ(job.Rollback(), kNoDuplicates);
  EXPECT_EQ(hook.restored, (std::vector<uint32_t>{2, 1, 0}));
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"1", u"2", u"3"}));
}

TEST(RenameJob, RollbackOfAChainNeedsMoreThanOneExtraRound) {
  // x1 -> x2, x2 -> x3, x3 -> x4 moved from the end of the chain backwards. Undoing from the
  // last item finds x3 and x2 held until x1 is back, and x3 still held after one more round.
  Fixture f;
  f.Setup({{u"x1", u"x2"}, {u"x2", u"x3"}, {u"x3", u"x4"}});
  f.fs.Find(u"x3")->name = u"x4";
  f.fs.Find(u"x2")->name = u"x3";
  f.fs.Find(u"x1")->name = u"x2";
  for (auto& e : f.list.entries) e.renamed = 1;
  Dialog d(&f.list);
  RenameJob job(&f.list, &f.fs, {}, &d);
  EXPECT_EQ(job.Rollback(), kNoDuplicates);
  EXPECT_EQ(f.fs.Find(u"x1")->content, "content of x1");
  EXPECT_EQ(f.fs.Find(u"x2")->content, "content of x2");
  EXPECT_EQ(f.fs.Find(u"x3")->content, "content of x3");
  EXPECT_EQ(f.fs.Find(u"x4"), nullptr);
}

TEST(RenameJob, RollbackLeavesAnItemWhoseOldNameWasTakenMeanwhileOnTheProblemList) {
  Fixture f;
  f.Setup({{u"a", u"b"}});
  Dialog d(&f.list);
  RenameJob job(&f.list, &f.fs, {}, &d);
  EXPECT_EQ(job.Rename(), kNoDuplicates);
  f.fs.Add(u"A", false, "made meanwhile");
  EXPECT_EQ(job.Rollback(), kDuplicatesFound);
  EXPECT_EQ(job.problems, (std::vector<uint32_t>{0}));
  EXPECT_EQ(f.fs.Find(u"b")->content, "content of a");
  EXPECT_EQ(f.list.entries[0].renamed, 1);
}

TEST(RenameJob, OnAWorkerThreadItWaitsForTheAnswerAndHonoursPause) {
  // The dialog answers later, from its own thread, as the real one does after its message box.
  Fixture f;
  f.Setup({{u"a.txt", u"b.txt"}, {u"c.txt", u"d.txt"}}, {u"b.txt"});
  struct AsyncDialog : RenameJobHooks {
    std::atomic<int> asked{-1};
    std::atomic<int> steps{0};
    void Notify(int code, uint32_t param) override {
      if (code == kNotifyProblem) asked = int(param);
      if (code == kNotifyStep) ++steps;
    }
    void Sleep(uint32_t) override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
  } dialog;
  WorkerControl& c = f.list.control;
  c.pause = true;  // paused before it starts: nothing moves
  RenameJob job(&f.list, &f.fs, {}, &dialog);
  std::atomic<int> result{0};
  std::thread worker([&] { result = job.Rename(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(dialog.steps.load(), 0);
  c.pause = false;
  while (dialog.asked.load() < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(dialog.asked.load(), 0);
  EXPECT_TRUE(c.pause.load()) << "the worker pauses while it asks";
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(result.load(), 0) << "still waiting for the answer";
  ASSERT_TRUE(ApplyTypedName(&f.list.entries[0], u"e.txt"));
  c.answer = int(kAnswerNewName);
  worker.join();
  EXPECT_EQ(result.load(), kNoDuplicates);
  EXPECT_FALSE(c.pause.load());
  EXPECT_EQ(f.Names(), (std::vector<std::u16string>{u"b.txt", u"d.txt", u"e.txt"}));

  // Cancel while it waits for an answer ends the job.
  Fixture g;
  g.Setup({{u"a.txt", u"b.txt"}}, {u"b.txt"});
  AsyncDialog second;
  RenameJob job2(&g.list, &g.fs, {}, &second);
  std::thread worker2([&] { result = job2.Rename(); });
  while (second.asked.load() < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  g.list.control.cancel = true;
  worker2.join();
  EXPECT_EQ(result.load(), kCancelled);
  EXPECT_EQ(g.Names(), (std::vector<std::u16string>{u"a.txt", u"b.txt"}));
}

TEST(ProblemPrompter, AutomaticAnswersAndChoicesForAll) {
  using Q = ProblemPrompter::Question;
  Q q;
  {
    ProblemPrompter p({true, 0, false});
    EXPECT_EQ(p.Decide(kStatusConflict, 3, &q), kAnswerResolve);
    EXPECT_EQ(p.Decide(kStatusConflict, 3, &q), kAnswerGiveUp);  // asked last: no endless resolving
    EXPECT_EQ(p.Decide(kStatusAccess, 4, &q), kAnswerNone);
    EXPECT_EQ(q, Q::kOther);
    EXPECT_EQ(p.OtherButton(2), kAnswerGiveUp);
    EXPECT_EQ(p.Decide(kStatusOtherError, 5, &q), kAnswerGiveUp);  // ignore all made
  }
  {
    ProblemPrompter p({true, 1, false});
    EXPECT_EQ(p.Decide(kStatusConflict, 0, &q), kAnswerGiveUp);
  }
  {
    ProblemPrompter p({false, 0, true});
    EXPECT_EQ(p.Decide(kStatusConflict, 0, &q), kAnswerNone);
    EXPECT_EQ(q, Q::kConflict);
    EXPECT_EQ(p.ConflictButton(2), kAnswerResolve);
    EXPECT_EQ(p.Decide(kStatusConflict, 1, &q), kAnswerResolve);
    EXPECT_EQ(p.Decide(kStatusConflict, 1, &q), kAnswerNone);  // the same item again: ask
    EXPECT_EQ(p.ConflictButton(4), kAnswerGiveUp);
    EXPECT_EQ(p.Decide(kStatusNoManipulated, 2, &q), kAnswerGiveUp);
    EXPECT_EQ(p.Decide(kStatusAccess, 2, &q), kAnswerGiveUp);  // "AutoIgnoreOther"
    EXPECT_EQ(p.ConflictButton(-1), -1);
  }
}

TEST(ProgressTexts, NamesBarsAndPercent) {
  std::u16string longName(60, u'x');
  longName[59] = u'y';
  const std::u16string fitted = FitName(&longName, 55);
  EXPECT_EQ(fitted.size(), 55u);
  EXPECT_EQ(fitted.substr(0, 3), u"...");
  EXPECT_EQ(fitted.back(), u'y');
  EXPECT_EQ(FitName(nullptr, 55), u"..." + std::u16string(52, u' '));
  std::u16string shortName = u"a.txt";
  EXPECT_EQ(FitName(&shortName, 8), u"a.txt   ");
  EXPECT_EQ(ProgressBar(1, 3, 37), std::u16string(12, u'\u2588') + std::u16string(25, u'\u2592'));
  EXPECT_EQ(ProgressBar(0, 0, 50), std::u16string(50, u'\u2592'));
  EXPECT_EQ(Percent(2, 3), 66u);
  EXPECT_EQ(Percent(5, 0), 0u);
}

}  // namespace
}  // namespace quillet::testing
