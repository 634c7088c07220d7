#include "archiveformats/dirlisting/core/listing.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace listor {

namespace {

// Marker texts; the Russian ones in code page 866.
constexpr std::string_view kStartEn = " Volume in drive ";
constexpr std::string_view kStartRu = " \x92\xAE\xAC \xA2 \xE3\xE1\xE2\xE0\xAE\xA9\xE1\xE2\xA2\xA5 ";  // " Том в устройстве "
constexpr std::string_view kLabelEn = " Volume in";
constexpr std::string_view kLabelRu = " \x92\xAE\xAC";  // " Том"
constexpr std::string_view kSerialEn = " Volume Serial";
constexpr std::string_view kSerialRu = " \x91\xA5\xE0\xA8\xA9\xAD\xEB\xA9";  // " Серийный"
constexpr std::string_view kHeaderEn = " Directory of";
constexpr std::string_view kHeaderRu = " \x91\xAE\xA4\xA5\xE0\xA6\xA8\xAC\xAE\xA5 \xAF\xA0\xAF\xAA\xA8";  // " Содержимое папки"
constexpr std::string_view kTotalEn = "     Total Files";
constexpr std::string_view kTotalRu = "     \x82\xE1\xA5\xA3\xAE \xE4\xA0\xA9\xAB\xAE\xA2:";  // "     Всего файлов:"

constexpr char kCyrillicI = '\xA8';  // "и" of "имеет" before a Russian label

// Item line columns.
constexpr size_t kColDay = 0, kColMonth = 3, kColYear = 6, kColHour = 12, kColMinute = 15;
constexpr size_t kColSizeFirst = 19, kColSizeLast = 34;
constexpr size_t kColTag = 21;
constexpr size_t kColFolderTagEnd = 25;  // "<DIR>"
constexpr size_t kColFolderLinkEnd = 30;  // "<JUNCTION>", "<SYMLINKD>"
constexpr size_t kColFileLinkEnd = 29;    // "<SYMLINK>"
constexpr size_t kColName = 36;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

char At(std::string_view s, size_t i) { return i < s.size() ? s[i] : '\0'; }

std::string_view From(std::string_view s, size_t i) { return i < s.size() ? s.substr(i) : std::string_view(); }

// The decimal number formed by the digits among `count` bytes from `p`; other bytes are ignored.
// Without branches on the bytes: sizes mix digits and separators in no fixed pattern.
uint64_t Digits(const char* p, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i) {
    uint64_t d = static_cast<uint64_t>(static_cast<unsigned char>(p[i])) - '0';
    value = d < 10 ? value * 10 + d : value;
  }
  return value;
}

// Digits of columns first .. first + count - 1 that lie within the line.
uint64_t DigitsAt(std::string_view s, size_t first, size_t count) {
  if (first >= s.size()) return 0;
  return Digits(s.data() + first, std::min(count, s.size() - first));
}

// Eight bytes as a little-endian word (one load where the machine allows it).
uint64_t Load64(const char* p) {
  uint64_t v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, sizeof v);
  } else {
    for (size_t i = 0; i < 8; ++i) v |= uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  }
  return v;
}

constexpr uint64_t kBytes01 = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// The high bit of every byte of `v` that is a decimal digit.
uint64_t DigitMask(uint64_t v) {
  uint64_t x = v ^ (kBytes01 * '0');                       // digits become 0..9
  uint64_t big = x | ((x & ~kHighBits) + kBytes01 * 0x76);  // high bit set: 10 or more
  return ~big & kHighBits;
}

// The high bit of every byte of `v` that is not a blank.
uint64_t NonBlankMask(uint64_t v) {
  uint64_t x = v ^ (kBytes01 * ' ');
  return (((x & ~kHighBits) + ~kHighBits) | x) & kHighBits;
}

// Byte i of a word, less '0'.
uint64_t DigitOf(uint64_t v, unsigned i) { return ((v >> (8 * i)) & 0xFF) - '0'; }

// Day, month, year, hour and minute of a full-width line whose date and time columns hold
// digits only (the usual case); false leaves them to the column-by-column reading.
bool FixedDateTime(const char* p, ListingItem& item) {
  uint64_t a = Load64(p), b = Load64(p + 8);  // "DD.MM.YY", "YY  HH:M"
  constexpr uint64_t kDigitsA = 0x8080008080008080ull;  // columns 0 1 3 4 6 7
  constexpr uint64_t kDigitsB = 0x8000808000008080ull;  // columns 8 9 12 13 15
  unsigned last = static_cast<unsigned char>(p[16]) - unsigned{'0'};
  if ((DigitMask(a) & kDigitsA) != kDigitsA || (DigitMask(b) & kDigitsB) != kDigitsB || last > 9) {
    return false;
  }
  item.day = static_cast<int>(DigitOf(a, 0) * 10 + DigitOf(a, 1));
  item.month = static_cast<int>(DigitOf(a, 3) * 10 + DigitOf(a, 4));
  item.year = static_cast<int>(DigitOf(a, 6) * 1000 + DigitOf(a, 7) * 100 + DigitOf(b, 0) * 10 + DigitOf(b, 1));
  item.hour = static_cast<int>(DigitOf(b, 4) * 10 + DigitOf(b, 5));
  item.minute = static_cast<int>(DigitOf(b, 7) * 10 + last);
  return true;
}

// The four-digit numbers of the two 4-byte halves of `x`, whose bytes are digit values 0 to 9
// (the first byte the most significant): pairs first, then pairs of pairs.
uint64_t HalvesAsNumbers(uint64_t x) {
  x = ((x * 10) + (x >> 8)) & 0x00FF00FF00FF00FFull;
  x = ((x * 100) + (x >> 16)) & 0x0000FFFF0000FFFFull;
  return x;
}

// The size columns of a full-width line. Usually a number grouped by threes that ends at the
// last column: then its 16 bytes are read as four groups at once. Anything else is read digit by
// digit after the leading blanks.
uint64_t SizeDigits(const char* p) {
  constexpr size_t kWidth = kColSizeLast - kColSizeFirst + 1;  // 16
  // Where the digits of "1 234 567 890 123" fall: every byte but the 5th, 9th and 13th.
  constexpr uint64_t kGroupsLow = 0x8080800080808080ull, kGroupsHigh = 0x8080800080808000ull;
  uint64_t low = Load64(p), high = Load64(p + 8);
  uint64_t dLow = DigitMask(low), dHigh = DigitMask(high);
  if ((dLow & ~kGroupsLow) == 0 && (dHigh & ~kGroupsHigh) == 0) {
    // From the first digit on, every group place must hold one.
    uint64_t missLow = kGroupsLow & ~dLow, missHigh = kGroupsHigh & ~dHigh;
    bool grouped = dLow ? (missLow & ~((dLow & (0 - dLow)) - 1)) == 0 && missHigh == 0
                        : (missHigh & ~((dHigh & (0 - dHigh)) - 1)) == 0;
    if (grouped) {
      uint64_t low4 = HalvesAsNumbers((low ^ (kBytes01 * '0')) & ((dLow >> 7) * 0xFF));
      uint64_t high4 = HalvesAsNumbers((high ^ (kBytes01 * '0')) & ((dHigh >> 7) * 0xFF));
      return (low4 & 0xFFFF) * 1000000000ull + (low4 >> 32) * 1000000ull + (high4 & 0xFFFF) * 1000ull + (high4 >> 32);
    }
  }
  uint64_t lead = NonBlankMask(low);
  size_t skip = lead ? static_cast<size_t>(std::countr_zero(lead)) / 8 : 8;
  if (skip == 8) {
    lead = NonBlankMask(high);
    skip = lead ? 8 + static_cast<size_t>(std::countr_zero(lead)) / 8 : kWidth;
  }
  return Digits(p + skip, kWidth - skip);
}

// Copies a few hundred bytes at most in 16-, 8- and 4-byte moves, the last one overlapping the
// one before: a plain copy of a length the compiler knows to be small becomes a string
// instruction that costs more than the names it copies.
void CopyShort(char* out, const char* in, size_t n) {
  if (n >= 16) {
    for (size_t i = 0; i + 16 < n; i += 16) std::memcpy(out + i, in + i, 16);
    std::memcpy(out + n - 16, in + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(out, in, 8);
    std::memcpy(out + n - 8, in + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(out, in, 4);
    std::memcpy(out + n - 4, in + n - 4, 4);
  } else {
    for (size_t i = 0; i < n; ++i) out[i] = in[i];
  }
}

// A link's name is the text before the bracketed target. With a drive letter the target starts
// " [X:"; any other target ("[folder]", "[\??\C:\x]") starts at the last " [".
std::string_view LinkName(std::string_view text) {
  size_t colon = text.find(':');
  if (colon != std::string_view::npos && colon >= 3 && text.substr(colon - 3, 2) == " [") {
    return text.substr(0, colon - 3);
  }
  size_t bracket = text.rfind(" [");
  return bracket == std::string_view::npos ? text : text.substr(0, bracket);
}

}  // namespace

bool IsListing(const uint8_t* bytes, size_t count) {
  std::string_view head(reinterpret_cast<const char*>(bytes), count);
  for (std::string_view marker : {kStartEn, kStartRu}) {
    size_t n = std::min(marker.size(), count);
    if (n > 0 && head.substr(0, n) == marker.substr(0, n)) return true;
  }
  return false;
}

bool ListingParser::ReadLine(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  // memchr for the line feed, then the (short) line for a carriage return: much faster than
  // looking for either byte one by one.
  // Both searches stay within one line's buffer, so text without line feeds costs no more than
  // a bounded scan per line.
  const char* begin = text_.data() + pos_;
  size_t window = std::min(text_.size() - pos_, kMaxLineBytes + 1);
  const void* lf = std::memchr(begin, '\n', window);
  size_t length = lf ? static_cast<size_t>(static_cast<const char*>(lf) - begin) : window;
  const void* cr = std::memchr(begin, '\r', length);
  if (cr) length = static_cast<size_t>(static_cast<const char*>(cr) - begin);
  size_t end = pos_ + length;
  if (!lf && !cr && end < text_.size()) {
    end = text_.find_first_of("\r\n", end);  // an overlong line: its rest is skipped
    if (end == std::string_view::npos) end = text_.size();
  }
  line = text_.substr(pos_, std::min(end - pos_, kMaxLineBytes));
  pos_ = end;
  if (cr && lf && static_cast<const char*>(cr) + 1 == lf) pos_ += 2;  // the usual CR LF in one step
  while (pos_ < text_.size() && (text_[pos_] == '\r' || text_[pos_] == '\n')) ++pos_;
  // Padding blanks at the end of a line are not part of any name or marker.
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  return true;
}

bool ListingParser::Next(ListingItem& item) {
  std::string_view line;
  bool russian = false;
  bool labelSeen = false;
  while (ReadLine(line)) {
    // Every marker starts with a blank; an item line never does.
    if (line.empty() || line[0] != ' ') {
      if ((line.size() == 37 && line[36] == '.') || (line.size() == 38 && line[37] == '.')) continue;
      if (line.size() > 1 && line[1] != ' ' && ParseItem(line, item)) return true;
      continue;
    }
    if (StartsWith(line, kLabelRu) || StartsWith(line, kLabelEn)) {
      russian = StartsWith(line, kLabelRu);
      labelSeen = true;
      volumeText_ = "  Label:";
      if (!russian && At(line, 19) == 'i') volumeText_ += From(line, 21);
      if (russian && At(line, 20) == kCyrillicI) volumeText_ += From(line, 31);
      continue;
    }
    if (StartsWith(line, kSerialEn) || StartsWith(line, kSerialRu)) {
      bool english = labelSeen && !russian;  // the language of the label line read just before
      volumeText_ = std::string(From(line, english ? 24 : 21)) + volumeText_;
      volumeText_.resize(std::min(volumeText_.size(), kMaxLineBytes));
      continue;
    }
    if (StartsWith(line, kHeaderEn) || StartsWith(line, kHeaderRu)) {
      if (headerColumn_ == 0) {
        headerColumn_ = line.size();  // the listing's root folder: its items get no path
      } else {
        std::string_view rest = From(line, headerColumn_);
        if (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
        folder_ = rest;
      }
      continue;
    }
    if ((line.size() == 37 && line[36] == '.') || (line.size() == 38 && line[37] == '.')) continue;
    if (StartsWith(line, kTotalEn) || StartsWith(line, kTotalRu)) {
      headerColumn_ = 0;
      folder_.clear();
      continue;
    }
    if (line.size() > 1 && line[0] != ' ' && line[1] != ' ' && ParseItem(line, item)) return true;
  }
  return false;
}

bool ListingParser::ParseItem(std::string_view line, ListingItem& item) const {
  // Fields one by one: the caller's name buffer is reused from item to item.
  item.folder = false;
  item.size = 0;
  std::string_view name = From(line, kColName);
  bool sized = true;
  if (At(line, kColTag) == '<') {
    if (At(line, kColFolderTagEnd) == '>') {
      item.folder = true;
      sized = false;
    } else if (At(line, kColFolderLinkEnd) == '>') {
      item.folder = true;
      sized = false;
      name = LinkName(name);
    } else if (At(line, kColFileLinkEnd) == '>') {
      sized = false;
      name = LinkName(name);
    }
  }
  if (sized) {
    item.size = line.size() > kColSizeLast ? SizeDigits(line.data() + kColSizeFirst)
                                           : DigitsAt(line, kColSizeFirst, kColSizeLast - kColSizeFirst + 1);
  }
  // The name: folder, "\\" and name, cut to what the record holds.
  size_t prefix = folder_.empty() ? 0 : folder_.size() + 1;
  size_t total = std::min(prefix + name.size(), kMaxNameBytes);
  item.name.resize(total);
  char* out = item.name.data();
  CopyShort(out, folder_.data(), std::min(folder_.size(), total));
  if (prefix > 0 && prefix <= total) out[prefix - 1] = '\\';
  if (total > prefix) CopyShort(out + prefix, name.data(), total - prefix);
  if (line.size() <= kColMinute + 1 || !FixedDateTime(line.data(), item)) {
    item.day = static_cast<int>(DigitsAt(line, kColDay, 2));
    item.month = static_cast<int>(DigitsAt(line, kColMonth, 2));
    item.year = static_cast<int>(DigitsAt(line, kColYear, 4));
    item.hour = static_cast<int>(DigitsAt(line, kColHour, 2));
    item.minute = static_cast<int>(DigitsAt(line, kColMinute, 2));
  }
  return true;
}

}  // namespace listor
