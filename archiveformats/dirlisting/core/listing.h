// Reading the saved output of the command interpreter's "dir" command (English or Russian, the
// Russian texts in code page 866) as a list of items: fixed columns, day-month-year dates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace listor {

// One listed file or folder.
struct ListingItem {
  std::string name;  // relative folder path, "\" and the name; 8-bit text as in the file
  bool folder = false;
  uint64_t size = 0;  // 0 for folders and file links
  // The line's date and time (local time, seconds 0); digits as found, not validated.
  int day = 0, month = 0, year = 0, hour = 0, minute = 0;
};

constexpr size_t kMaxLineBytes = 4096;  // longer lines are cut here
constexpr size_t kMaxNameBytes = 259;   // what the item record holds besides its terminating zero

// Whether a file beginning with `bytes` is a listing: they begin with one of the two volume
// lines; only min(marker length, count) bytes are compared, so a short file can match.
bool IsListing(const uint8_t* bytes, size_t count);

class ListingParser {
 public:
  // The text must outlive the parser.
  explicit ListingParser(std::string_view text) : text_(text) {}

  // The next item: true with `item` filled, false at the end of the text.
  bool Next(ListingItem& item);

  // The volume text ("  Label:" with the label, the serial before it) as of the last item.
  const std::string& VolumeText() const { return volumeText_; }

 private:
  bool ReadLine(std::string_view& line);
  bool ParseItem(std::string_view line, ListingItem& item) const;

  std::string_view text_;
  size_t pos_ = 0;
  std::string volumeText_;
  size_t headerColumn_ = 0;  // where relative folder paths start in a header; 0: not known yet
  std::string folder_;       // the current relative folder path
};

}  // namespace listor
