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

// The line's date and time as one number (distinct dates and times give distinct keys).
inline uint64_t TimeKey(const ListingItem& item) {
  auto field = [](int v) { return static_cast<uint64_t>(static_cast<unsigned>(v)); };
  return (((field(item.year) * 100 + field(item.month)) * 100 + field(item.day)) * 100 + field(item.hour)) * 100 +
         field(item.minute);
}

// Remembers the converted form of the dates and times met lately: the items of a listing share
// few distinct minutes, and converting local time is costly where the platform does it.
template <class Value>
class TimeCache {
 public:
  // `convert(item)` gives the value of a date and time not remembered yet.
  template <class Convert>
  Value Get(const ListingItem& item, Convert&& convert) {
    uint64_t key = TimeKey(item);
    Slot& slot = slots_[(key * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
    if (!slot.used || slot.key != key) slot = Slot{true, key, convert(item)};
    return slot.value;
  }

 private:
  static constexpr unsigned kSlotBits = 6;
  struct Slot {
    bool used = false;
    uint64_t key = 0;
    Value value{};
  };
  Slot slots_[size_t{1} << kSlotBits];
};

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
