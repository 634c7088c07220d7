#include "renamer/core/editormode.h"

#include <vector>

#include "renamer/core/renamejob.h"

namespace quillet {

std::u16string WriteNameList(const RenameList& list) {
  std::u16string text;
  for (const SourceItem& item : list.items) {
    text += item.name;
    text += u'\n';
  }
  return text;
}

namespace {

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
  if (!text.empty() && text.front() == u'\uFEFF') text.remove_prefix(1);
  std::vector<std::u16string_view> lines;
  while (!text.empty()) {
    size_t end = text.find(u'\n');
    std::u16string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::u16string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool Ignorable(std::u16string_view line) { return (!line.empty() && line.front() == u'/') || IsOnlyBlanks(line); }

}  // namespace

ReadBack ReadNameList(std::u16string_view text, RenameList* list) {
  ReadBack result;
  const std::vector<std::u16string_view> lines = SplitLines(text);
  const size_t n = list->items.size();
  list->entries.assign(n, NewNameEntry());
  result.linesRead = uint32_t(lines.size());
  if (!lines.empty() && !lines[0].empty() && lines[0].front() == u'*') {
    result.outcome = ReadBackOutcome::kAbandon;
    return result;
  }
  for (size_t i = 0; i < n && i < lines.size(); ++i) {
    std::u16string_view line = lines[i];
    NewNameEntry& e = list->entries[i];
    e.folder = list->items[i].folder;
    if (Ignorable(line)) {
      e.status = kStatusKeep;
      ++result.kept;
      continue;
    }
    while (!line.empty() && line.back() == u' ') line.remove_suffix(1);
    if (line.size() > kEditorLineMax || FirstInvalidNameChar(line) != 0) {
      e.status = kStatusInvalidTyped;
      ++result.invalid;
      continue;
    }
    e.name = std::u16string(line);
    e.length = uint32_t(line.size());
    e.dotIndex = DotIndexOf(line, e.folder != 0);
    e.status = kStatusOk;
  }
  if (lines.size() < n) {
    result.outcome = ReadBackOutcome::kFewerLines;
    return result;
  }
  for (size_t i = n; i < lines.size(); ++i) {
    if (!Ignorable(lines[i])) {
      result.outcome = ReadBackOutcome::kMoreLines;
      return result;
    }
  }
  result.outcome = result.invalid > 0 ? ReadBackOutcome::kInvalidNames : ReadBackOutcome::kReady;
  return result;
}

std::pair<uint32_t, uint32_t> NamesAround(uint32_t current, uint32_t count, uint32_t height) {
  if (count == 0 || height == 0) return {0, 0};
  if (current >= count) current = count - 1;
  if (height >= count) return {0, count};
  uint32_t first = current >= height / 2 ? current - height / 2 : 0;
  if (first + height > count) first = count - height;
  return {first, first + height};
}

}  // namespace quillet
