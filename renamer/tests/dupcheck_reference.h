// The duplicate check as first written: every pair compared in list order. The product runs the
// sorted check (DuplicateCheckBucketed); this one stays in the tests as the reference it must
// agree with: the same marks, the same result, the same progress total, cancel and pause tested
// before every comparison.
#pragma once

#include "renamer/core/engine.h"

namespace quillet {

inline int DuplicateCheckQuadratic(RenameList* list, ComputeHooks* hooksIn) {
  ComputeHooks quiet;
  ComputeHooks& hooks = hooksIn ? *hooksIn : quiet;
  WorkerControl& control = list->control;
  auto stop = [&] {
    for (;;) {
      if (control.cancel.load()) return true;
      if (!control.pause.load()) return false;
      hooks.Sleep(100);
    }
  };
  std::vector<NewNameEntry>& entries = list->entries;
  const size_t n = entries.size();
  hooks.PhaseStarted(Phase::kHashing);
  control.progressTotal = n;
  control.progressDone = 0;
  for (NewNameEntry& e : entries) {
    e.hash = e.name ? NameHash(*e.name) : 0;
    ++control.progressDone;
    hooks.Progress();
  }
  hooks.PhaseStarted(Phase::kComparing);
  control.progressTotal = uint64_t(n) * (n == 0 ? 0 : n - 1) / 2;
  control.progressDone = 0;
  auto comparable = [](const NewNameEntry& e) { return e.name.has_value() && e.status == kStatusOk; };
  for (size_t i = 0; i < n; ++i) {
    NewNameEntry& a = entries[i];
    if (!comparable(a)) {
      control.progressDone += n - 1 - i;
      hooks.Progress();
      continue;
    }
    bool matched = false;
    for (size_t j = i + 1; j < n; ++j) {
      if (stop()) return kCancelled;
      NewNameEntry& b = entries[j];
      if (comparable(b) && a.hash == b.hash && EqualIgnoreCase(*a.name, *b.name)) {
        b.status = kStatusConflict;
        ++list->duplicateCount;
        matched = true;
      }
      ++control.progressDone;
      hooks.Progress();
    }
    if (matched) {
      a.status = kStatusConflict;
      ++list->duplicateCount;
    }
  }
  return list->duplicateCount > 0 ? kDuplicatesFound : kNoDuplicates;
}

}  // namespace quillet
