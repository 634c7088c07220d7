#include "devicebrowser/modules/files/tests/reliab_check.h"

#include <algorithm>
#include <set>

namespace reliab {

namespace {

const Entry* Find(const Snapshot& snapshot, const std::string& key) {
  auto it = snapshot.find(key);
  return it == snapshot.end() ? nullptr : &it->second;
}

bool Same(const Entry* a, const Entry* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a->folder == b->folder && (a->folder || a->content == b->content);
}

bool IsFileWith(const Entry* e, const std::string& content) { return e != nullptr && !e->folder && e->content == content; }

// content is `head` followed by a part of `source` shorter than the whole.
bool IsCutShort(const Entry* e, const std::string& head, const std::string& source) {
  if (e == nullptr || e->folder || e->content.size() < head.size()) return false;
  if (e->content.compare(0, head.size(), head) != 0) return false;
  size_t part = e->content.size() - head.size();
  return part < source.size() && e->content.compare(head.size(), part, source, 0, part) == 0;
}

std::string Describe(const Entry* e) {
  if (e == nullptr) return "missing";
  if (e->folder) return "a folder";
  return std::to_string(e->content.size()) + " bytes";
}

}  // namespace

std::vector<std::string> Check(const Snapshot& before, const Snapshot& after, const Operation& op) {
  std::vector<std::string> problems;
  std::set<std::string> selected(op.selected.begin(), op.selected.end());
  std::set<std::string> finished(op.finished.begin(), op.finished.end());
  // The selected entries (relative to the source folder) as they were before the operation.
  std::map<std::string, const Entry*> sources;
  for (const auto& [key, entry] : before) {
    if (key.compare(0, op.sourceFolder.size(), op.sourceFolder) != 0) continue;
    std::string relative = key.substr(op.sourceFolder.size());
    if (selected.count(relative.substr(0, relative.find('\\'))) != 0) sources[relative] = &entry;
  }
  std::set<std::string> judged;

  for (const auto& [relative, source] : sources) {
    std::string sourceKey = op.sourceFolder + relative;
    std::string targetKey = op.targetFolder + relative;
    judged.insert(sourceKey);
    judged.insert(targetKey);
    const Entry* sourceNow = Find(after, sourceKey);
    const Entry* targetThen = Find(before, targetKey);
    const Entry* targetNow = Find(after, targetKey);

    if (source->folder) {
      if (sourceNow == nullptr || !sourceNow->folder) problems.push_back("source folder gone: " + sourceKey);
      if (targetThen != nullptr && !Same(targetThen, targetNow)) problems.push_back("target folder changed: " + targetKey);
      if (targetThen == nullptr && targetNow != nullptr && !targetNow->folder)
        problems.push_back("target of a folder is a file: " + targetKey);
      if (op.result == 1 && (targetNow == nullptr || !targetNow->folder))
        problems.push_back("done, but folder not made: " + targetKey);
      continue;
    }

    bool appended = targetThen != nullptr && !targetThen->folder && IsFileWith(targetNow, targetThen->content + source->content);
    bool copied = IsFileWith(targetNow, source->content);
    bool untouched = Same(targetThen, targetNow);

    if (sourceNow == nullptr) {
      if (!op.move) problems.push_back("a copy removed its source: " + sourceKey);
      else if (!copied && !appended)
        problems.push_back("moved source gone, target " + Describe(targetNow) + " is not its " +
                           std::to_string(source->content.size()) + " bytes: " + targetKey);
    } else if (!Same(source, sourceNow)) {
      problems.push_back("source changed (" + Describe(source) + " -> " + Describe(sourceNow) + "): " + sourceKey);
    }

    // Whether the run finished or stopped, a target is whole or as it was: never the start of its
    // source (after its old content, for an append), never removed.
    if (!copied && !appended && !untouched) {
      std::string sizes = " (" + Describe(targetThen) + " -> " + Describe(targetNow) + ", source " +
                          std::to_string(source->content.size()) + " bytes): ";
      if (targetNow == nullptr) {
        problems.push_back("an overwritten target removed" + sizes + targetKey);
      } else if (IsCutShort(targetNow, "", source->content)) {
        problems.push_back(std::string(targetThen == nullptr ? "a created" : "an overwritten") + " target left short" +
                           sizes + targetKey);
      } else if (targetThen != nullptr && !targetThen->folder && IsCutShort(targetNow, targetThen->content, source->content)) {
        problems.push_back("an appended target left short" + sizes + targetKey);
      } else {
        problems.push_back("target holds data that is not its source's" + sizes + targetKey);
      }
    } else if (op.result == 1 && !op.userSkipped && !copied && !appended) {
      problems.push_back("done without a skip, but the target is not a copy: " + targetKey);
    } else if (!op.userSkipped && !copied && !appended && finished.count(relative.substr(0, relative.find('\\'))) != 0) {
      problems.push_back("reported finished without a skip, but the target is not a copy: " + targetKey);
    }
  }

  // Everything else, on both sides, is as it was; only folders inside the targets of selected
  // folders may have appeared.
  std::set<std::string> keys;
  for (const auto& kv : before) keys.insert(kv.first);
  for (const auto& kv : after) keys.insert(kv.first);
  for (const std::string& key : keys) {
    if (judged.count(key) != 0) continue;
    const Entry* then = Find(before, key);
    const Entry* now = Find(after, key);
    if (Same(then, now)) continue;
    problems.push_back("changed outside the selection (" + Describe(then) + " -> " + Describe(now) + "): " + key);
  }
  return problems;
}

}  // namespace reliab
