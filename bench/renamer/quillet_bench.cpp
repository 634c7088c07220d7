// Times the renamer's Construct computation with its duplicate check over 90,000 items, and
// `LC_ALL=C sort -f | uniq -di` over the same new names, and prints the ratio of the two.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "renamer/core/engine.h"
#include "renamer/tests/dupcheck_reference.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Counts the worker's notifications, as the dialog would receive them.
class CountingHooks : public quillet::ComputeHooks {
 public:
  void Progress() override { ++steps; }
  void PhaseStarted(quillet::Phase) override { ++phases; }
  uint64_t steps = 0;
  int phases = 0;
};

std::string Utf8(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else {
      out.push_back(char(0xE0 | (c >> 12)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// 90,000 photo names; the last 1,000 repeat earlier ones in another letter case, so 2,000 new
// names collide.
void FillList(quillet::RenameList* list, size_t count) {
  list->items.clear();
  for (size_t i = 0; i < count; ++i) {
    const bool repeat = i + 1000 >= count;
    const size_t n = repeat ? i - (count - 1000) : i;
    std::string base = repeat ? "HOLIDAY " : "Holiday ";
    base += std::to_string(2000 + n % 25) + "-" + std::to_string(n);
    std::u16string name(base.begin(), base.end());
    name += repeat ? u".JPG" : u".jpg";
    list->items.push_back(quillet::MakeSourceItem(uint32_t(i), 0x20, name));
  }
  list->entries.clear();
  list->orderBuilt = false;
}

quillet::ConstructOptions Template() {
  quillet::ConstructOptions o;
  o.templateText = u"* (trip)";  // no "?": the duplicate check runs
  o.tokens = quillet::ParseTemplate(o.templateText);
  o.counter = 1;
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? size_t(std::strtoul(argv[1], nullptr, 10)) : 90000;
  const int rounds = 5;
  quillet::ComputeRules rules;
  rules.dupCheckMax = 0;  // "RenameDupMax" 0: no limit

  quillet::RenameList list;
  FillList(&list, count);
  double best = 1e300;
  int result = 0;
  CountingHooks hooks;
  for (int r = 0; r < rounds; ++r) {
    hooks = CountingHooks{};
    const auto start = Clock::now();
    result = quillet::ComputeConstruct(&list, Template(), rules, false, &hooks);
    best = std::min(best, Ms(Clock::now() - start));
  }
  std::printf("renamer: Construct names + duplicate check (sorted by hash), %zu items: %.1f ms (best of %d)\n", count,
              best, rounds);
  std::printf("         result %d, %u duplicates marked, %llu progress notifications, %d phases\n", result,
              list.duplicateCount, static_cast<unsigned long long>(hooks.steps), hooks.phases);

  // The baseline over the same new names.
  const std::string file = "/tmp/quillet_bench_names.txt";
  {
    std::ofstream out(file, std::ios::binary);
    for (const quillet::NewNameEntry& e : list.entries)
      if (e.name) out << Utf8(*e.name) << '\n';
  }
  const std::string baseline = "LC_ALL=C sort -f " + file + " | uniq -di > /dev/null";
  double baseBest = 1e300;
  for (int r = 0; r < rounds; ++r) {
    const auto start = Clock::now();
    if (std::system(baseline.c_str()) != 0) {
      std::fprintf(stderr, "baseline failed\n");
      return 1;
    }
    baseBest = std::min(baseBest, Ms(Clock::now() - start));
  }
  std::printf("baseline: LC_ALL=C sort -f | uniq -di, same names: %.1f ms (best of %d)\n", baseBest, rounds);
  // Cross-check: uniq -Di prints every member of a duplicate group, as many as the renamer marks.
  const std::string countCmd = "LC_ALL=C sort -f " + file + " | uniq -Di | wc -l";
  if (FILE* p = popen(countCmd.c_str(), "r")) {
    unsigned long lines = 0;
    if (std::fscanf(p, "%lu", &lines) == 1)
      std::printf("          uniq -Di finds %lu duplicate names (%s)\n", lines,
                  lines == list.duplicateCount ? "agrees" : "DISAGREES");
    pclose(p);
  }
  std::printf("ratio renamer/baseline: %.3f (goal <= 1)\n", best / baseBest);

  // For reference: the pairwise check on a smaller list, with the same marks.
  const size_t small = std::min<size_t>(count, 10000);
  quillet::RenameList pairwise;
  FillList(&pairwise, small);
  quillet::ComputeConstruct(&pairwise, Template(), rules, true, nullptr);
  const auto start = Clock::now();
  quillet::DuplicateCheckQuadratic(&pairwise, nullptr);
  const double quadMs = Ms(Clock::now() - start);
  const double scale = double(count) * double(count - 1) / (double(small) * double(small - 1));
  std::printf("reference: pairwise check alone, %zu items: %.1f ms (about %.0f ms at %zu items)\n", small, quadMs,
              quadMs * scale, count);
  std::remove(file.c_str());
  return 0;
}
