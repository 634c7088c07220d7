// The duplicate check: when it runs, what it marks, and how a worker stops or pauses it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "renamer/core/engine.h"
#include "renamer/tests/dupcheck_reference.h"

namespace quillet {
namespace {

void Fill(RenameList* list, const std::vector<std::u16string>& names) {
  list->items.clear();
  for (uint32_t i = 0; i < names.size(); ++i) list->items.push_back(MakeSourceItem(i, 0x20, names[i]));
  list->entries.clear();
  list->orderBuilt = false;
}

ConstructOptions Construct(std::u16string tmpl) {
  ConstructOptions o;
  o.templateText = std::move(tmpl);
  o.tokens = ParseTemplate(o.templateText);
  return o;
}

std::vector<int32_t> Statuses(const RenameList& list) {
  std::vector<int32_t> s;
  for (const NewNameEntry& e : list.entries) s.push_back(e.status);
  return s;
}

// Counts notifications; can cancel or pause the job at a chosen step.
class RecordingHooks : public ComputeHooks {
 public:
  explicit RecordingHooks(RenameList* list) : list_(list) {}
  void Progress() override {
    ++progress;
    if (cancelAtComparingStep > 0 && comparing && ++comparingSteps == cancelAtComparingStep) list_->control.cancel = true;
    if (pauseAtStep > 0 && progress == pauseAtStep) list_->control.pause = true;
  }
  void PhaseStarted(Phase p) override {
    phases.push_back(p);
    comparing = p == Phase::kComparing;
  }
  void Sleep(uint32_t ms) override {
    sleeps.push_back(ms);
    if (sleeps.size() == 3) list_->control.pause = false;  // the user answers after a while
  }
  int progress = 0;
  int comparingSteps = 0;
  int cancelAtComparingStep = 0;
  int pauseAtStep = 0;
  bool comparing = false;
  std::vector<Phase> phases;
  std::vector<uint32_t> sleeps;

 private:
  RenameList* list_;
};

TEST(DuplicateCheck, NamesDifferingOnlyInLatinCaseAreBothMarked) {
  RenameList list;
  Fill(&list, {u"A.txt", u"b.txt", u"a.TXT"});
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), ComputeRules{}, false, nullptr), kDuplicatesFound);
  EXPECT_EQ(Statuses(list), (std::vector<int32_t>{kStatusConflict, kStatusOk, kStatusConflict}));
  EXPECT_EQ(list.duplicateCount, 2u);
  EXPECT_TRUE(list.checkCompleted);
}

TEST(DuplicateCheck, CyrillicCaseIsNotFolded) {
  RenameList list;
  Fill(&list, {u"\u0436.txt", u"\u0416.txt"});
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), ComputeRules{}, false, nullptr), kNoDuplicates);
  EXPECT_EQ(list.duplicateCount, 0u);
}

TEST(DuplicateCheck, ManipulateResultsAreCheckedToo) {
  RenameList list;
  Fill(&list, {u"x1.txt", u"x2.txt", u"y1.txt"});
  ManipulateOptions o;
  o.cut = true;
  o.cutEnd = 1;  // x1 and x2 both become x
  EXPECT_EQ(ComputeManipulate(&list, o, ComputeRules{}, false, nullptr), kDuplicatesFound);
  EXPECT_EQ(Statuses(list), (std::vector<int32_t>{kStatusConflict, kStatusConflict, kStatusOk}));
}

TEST(DuplicateCheck, ItemsWithoutANameAreNotCompared) {
  RenameList list;
  Fill(&list, {u"abc.t", u"abd.t", u"x.t"});
  ManipulateOptions o;
  o.cut = true;
  o.cutStart = 5;  // every base vanishes: no names, nothing to compare
  EXPECT_EQ(ComputeManipulate(&list, o, ComputeRules{}, false, nullptr), kNoDuplicates);
  EXPECT_EQ(list.problemCount, 3u);
}

TEST(DuplicateCheck, RunsOnlyWhenEveryConditionHolds) {
  std::vector<std::u16string> same(1001, u"same.txt");
  RenameList list;
  Fill(&list, same);
  ComputeRules rules;  // maximum 1000 by default
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), rules, false, nullptr), kNoDuplicates);
  EXPECT_FALSE(list.checkCompleted);
  rules.dupCheckMax = 0;  // no limit
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), rules, false, nullptr), kDuplicatesFound);
  rules.dupCheckMax = 1001;
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), rules, false, nullptr), kDuplicatesFound);
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), rules, true, nullptr), kNoDuplicates);  // Shift held
  rules.dupCheckEnabled = false;
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), rules, false, nullptr), kNoDuplicates);

  // Templates that already make names distinct skip the check, even when names do collide.
  rules = ComputeRules{};
  RenameList two;
  Fill(&two, {u"a.b", u"a.b"});
  EXPECT_EQ(ComputeConstruct(&two, Construct(u"*?"), rules, false, nullptr), kNoDuplicates);
  EXPECT_EQ(ComputeConstruct(&two, Construct(u"*/"), rules, false, nullptr), kNoDuplicates);
  EXPECT_EQ(ComputeConstruct(&two, Construct(u"*x"), rules, false, nullptr), kDuplicatesFound);
}

TEST(DuplicateCheck, AboveNinetyThousandItemsItNeverRuns) {
  RenameList list;
  Fill(&list, std::vector<std::u16string>(kDupCheckItemLimit + 1, u"n"));
  ComputeRules rules;
  rules.dupCheckMax = 0;
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), rules, false, nullptr), kNoDuplicates);
  list.items.pop_back();
  list.entries.clear();
  list.orderBuilt = false;
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), rules, false, nullptr), kDuplicatesFound);
  EXPECT_EQ(list.duplicateCount, kDupCheckItemLimit);
}

TEST(DuplicateCheck, PhasesAndProgressTotals) {
  RenameList list;
  Fill(&list, {u"a", u"b", u"c", u"d"});
  RecordingHooks hooks(&list);
  ComputeConstruct(&list, Construct(u"*"), ComputeRules{}, false, &hooks);
  EXPECT_EQ(hooks.phases, (std::vector<Phase>{Phase::kComputing, Phase::kHashing, Phase::kComparing}));
  EXPECT_EQ(list.control.progressTotal.load(), 6u);  // n(n-1)/2
  EXPECT_EQ(list.control.progressDone.load(), 6u);

  RenameList q;
  Fill(&q, {u"a", u"b", u"c", u"d"});
  ComputeConstruct(&q, Construct(u"*"), ComputeRules{}, true, nullptr);
  RecordingHooks qh(&q);
  DuplicateCheckQuadratic(&q, &qh);
  EXPECT_EQ(q.control.progressTotal.load(), 6u);
  EXPECT_EQ(q.control.progressDone.load(), 6u);
  EXPECT_EQ(qh.progress, 4 + 6);  // one per hash, one per comparison
}

// A cancelled check returns 3 and leaves nothing a later run would trust: the completion mark
// stays off, and the next computation starts from fresh records.
TEST(DuplicateCheck, CancelMidCheckReturns3AndALaterRunStartsClean) {
  for (bool quadratic : {false, true}) {
    RenameList list;
    Fill(&list, {u"a", u"A", u"b", u"B", u"c"});
    ComputeConstruct(&list, Construct(u"*"), ComputeRules{}, true, nullptr);
    RecordingHooks hooks(&list);
    hooks.cancelAtComparingStep = 1;
    const int result = quadratic ? DuplicateCheckQuadratic(&list, &hooks) : DuplicateCheckBucketed(&list, &hooks);
    EXPECT_EQ(result, kCancelled);
    EXPECT_FALSE(list.checkCompleted);
    EXPECT_LT(list.control.progressDone.load(), list.control.progressTotal.load());

    // Through the computation: cancelled in the compare phase.
    RecordingHooks again(&list);
    again.cancelAtComparingStep = 2;
    list.control.cancel = false;
    EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), ComputeRules{}, false, &again), kCancelled);
    EXPECT_FALSE(list.checkCompleted);

    // A rename with the check skipped: every record fresh, and no claim that a check ran.
    list.control.cancel = false;
    EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), ComputeRules{}, true, nullptr), kNoDuplicates);
    for (const NewNameEntry& e : list.entries) EXPECT_EQ(e.status, kStatusOk);
    EXPECT_FALSE(list.checkCompleted);
    // A full run marks exactly the colliding pairs.
    EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), ComputeRules{}, false, nullptr), kDuplicatesFound);
    EXPECT_EQ(Statuses(list), (std::vector<int32_t>{0, 0, 0, 0, kStatusOk}));
    EXPECT_EQ(list.duplicateCount, 4u);
    EXPECT_TRUE(list.checkCompleted);
  }
}

TEST(DuplicateCheck, CancelBeforeTheFirstItemStopsTheComputation) {
  RenameList list;
  Fill(&list, {u"a", u"b"});
  list.control.cancel = true;
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), ComputeRules{}, false, nullptr), kCancelled);
  EXPECT_FALSE(list.entries[0].name.has_value());
  EXPECT_EQ(ComputeManipulate(&list, ManipulateOptions{}, ComputeRules{}, false, nullptr), kCancelled);
}

TEST(DuplicateCheck, PauseSleepsInSteps100AndGoesOn) {
  RenameList list;
  Fill(&list, {u"a", u"b", u"a"});
  RecordingHooks hooks(&list);
  hooks.pauseAtStep = 1;  // paused after the first item
  EXPECT_EQ(ComputeConstruct(&list, Construct(u"*"), ComputeRules{}, false, &hooks), kDuplicatesFound);
  EXPECT_EQ(hooks.sleeps, (std::vector<uint32_t>{100, 100, 100}));
}

// The sorted check must mark exactly what the pairwise one marks.
TEST(DuplicateCheck, BucketedAndQuadraticAgreeOnRandomNames) {
  std::mt19937 rng(20261208);
  const std::u16string alphabet = u"aAbB.\u0436\u0416 ";
  for (int round = 0; round < 200; ++round) {
    const size_t n = rng() % 40;
    std::vector<std::u16string> names;
    for (size_t i = 0; i < n; ++i) {
      std::u16string name;
      const size_t len = 1 + rng() % 3;
      for (size_t k = 0; k < len; ++k) name.push_back(alphabet[rng() % alphabet.size()]);
      names.push_back(name);
    }
    RenameList a, b;
    Fill(&a, names);
    Fill(&b, names);
    ConstructOptions o = Construct(u"x*");
    ComputeConstruct(&a, o, ComputeRules{}, true, nullptr);
    ComputeConstruct(&b, o, ComputeRules{}, true, nullptr);
    // Some records already carry another status: both checks must leave them alone.
    for (size_t i = 0; i < n; i += 7) a.entries[i].status = b.entries[i].status = kStatusKeep;
    const int ra = DuplicateCheckBucketed(&a, nullptr);
    const int rb = DuplicateCheckQuadratic(&b, nullptr);
    ASSERT_EQ(ra, rb) << "round " << round;
    ASSERT_EQ(Statuses(a), Statuses(b)) << "round " << round;
    ASSERT_EQ(a.duplicateCount, b.duplicateCount);
    ASSERT_EQ(a.control.progressTotal.load(), b.control.progressTotal.load());
  }
}

}  // namespace
}  // namespace quillet
