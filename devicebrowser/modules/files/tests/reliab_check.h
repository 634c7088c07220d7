// The "nothing lost" judgement of one copy or move: two snapshots of every file the test can see
// (the device's and the computer's, before and after the operation) and what was asked for give
// the list of what went wrong. Portable: the snapshots are plain maps, filled by the caller.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace reliab {

struct Entry {
  bool folder = false;
  std::string content;  // files only
};

// Keys: a side letter ("D" the device, "L" the computer) and the path below that side's root, with
// backslashes, e.g. "D\W\src\a.txt". Folders are listed too.
using Snapshot = std::map<std::string, Entry>;

struct Operation {
  std::string sourceFolder;           // key prefix ending in a backslash: "D\W\src\"
  std::string targetFolder;           // "L\W\dst\"
  std::vector<std::string> selected;  // top-level names inside sourceFolder
  bool move = false;
  int result = 0;              // what the panel operation answered: 1 done, 0 failed, -1 cancelled
  bool userSkipped = false;    // the user answered Skip or Skip all (or skipped an unopenable file)
  std::vector<std::string> finished;  // selected names reported finished (empty: not known)
};

// Every rule the operation broke, one line each, naming the path; empty when nothing was lost:
//  - anything outside the selection and its targets is as it was;
//  - a source is never changed, source folders stay, and a copy keeps its sources;
//  - a source of a move that is gone has a target equal to it (or the old target with it appended);
//  - a target is as it was, equal to its source, or its old content followed by the source;
//  - a target is whole or as it was, even when the run stopped: never the start of its source
//    (after its old content, for an append), never an overwritten target removed;
//  - after a run answered done without a skip, every target holds its whole source, and so does
//    every target of an item reported finished.
std::vector<std::string> Check(const Snapshot& before, const Snapshot& after, const Operation& op);

}  // namespace reliab
