// The editor mode's list of names: the temporary file's text (one name a line, each ended by a
// line feed) and the rules for reading the edited list back into the new names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "renamer/core/engine.h"

namespace quillet {

// Longest line read back; a longer one cannot be a name and counts as invalid.
inline constexpr size_t kEditorLineMax = 4096;

// The current names in list order, each followed by a line feed.
std::u16string WriteNameList(const RenameList& list);

enum class ReadBackOutcome {
  kAbandon,       // the first line begins with "*": rename nothing
  kFewerLines,    // fewer lines than items
  kMoreLines,     // a line after the last item that is neither blank nor begins with "/"
  kInvalidNames,  // some lines hold an invalid name character (their items have status 5)
  kReady,         // every item has its new name or keeps its old one
};

struct ReadBack {
  ReadBackOutcome outcome = ReadBackOutcome::kReady;
  uint32_t linesRead = 0;
  uint32_t kept = 0;     // status 2
  uint32_t invalid = 0;  // status 5
};

// Reads the edited text (a leading byte order mark, and a carriage return before each line
// feed, are ignored) into list->entries, which it resets first. A line beginning with "/" or
// holding only blanks keeps its item; a line with an invalid character gives status 5; any
// other line without its trailing spaces is the new name.
ReadBack ReadNameList(std::u16string_view text, RenameList* list);

// The first and one-past-last item of a list of at most `height` old names around `current`,
// for the editor's list of names.
std::pair<uint32_t, uint32_t> NamesAround(uint32_t current, uint32_t count, uint32_t height);

}  // namespace quillet
