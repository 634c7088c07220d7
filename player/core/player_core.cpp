#include "player/core/player_core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tunlo {

namespace {

struct FormatRow {
  uint32_t code;
  const char* name;
};

// The library's channel type codes.
constexpr FormatRow kFormats[] = {
    {0x10002, "Ogg Vorbis"},   {0x10003, "MP1"},          {0x10004, "MP2"},
    {0x10005, "MP3"},          {0x10006, "Audio IFF"},    {0x10007, "CoreAudio"},
    {0x10300, "WMA"},          {0x10301, "WMA MP3"},      {0x10700, "APE"},
    {0x10900, "FLAC"},         {0x10901, "Ogg FLAC"},     {0x10A00, "MPC"},
    {0x10B00, "AAC"},          {0x10B01, "MP4"},          {0x10D00, "MIDI"},
    {0x11000, "AC3"},          {0x20000, "Generic MOD"},  {0x20001, "MultiTracker"},
    {0x20002, "ScreamTracker 3"}, {0x20003, "FastTracker 2"}, {0x20004, "Impulse Tracker"},
    {0x50001, "WAVE"},         {0x50003, "WAVE"},
};

bool Usable(double seconds) { return std::isfinite(seconds) && seconds > 0; }

// Whole seconds of a duration, held to what an int shows.
int WholeSeconds(double seconds) {
  if (!Usable(seconds)) return 0;
  return seconds >= 2147483647.0 ? 2147483647 : static_cast<int>(seconds);
}

char16_t CharAt(const std::u16string& chars, size_t i) { return i < chars.size() ? chars[i] : u' '; }

}  // namespace

const char* FormatName(uint32_t ctype) {
  for (const auto& row : kFormats)
    if (row.code == ctype) return row.name;
  if (ctype & 0x40000) return "WAVE";
  if (ctype & 0x100) return "MO3";
  return "N/A";
}

int BitRateKbps(uint64_t fileSize, double durationSeconds) {
  if (!Usable(durationSeconds)) return 0;
  double kbps = static_cast<double>(fileSize) * 8.0 / durationSeconds / 1000.0 + 0.5;
  if (!(kbps < 2147483647.0)) return 2147483647;
  return static_cast<int>(kbps);
}

std::string InfoLine(const char* format, uint32_t frequency, uint32_t channels, uint64_t fileSize,
                     double durationSeconds) {
  int whole = WholeSeconds(durationSeconds);
  int ms = 0;
  if (Usable(durationSeconds) && whole < 2147483647) {
    ms = static_cast<int>((durationSeconds - whole) * 1000.0 + 0.5);
    // 1.9996 s rounds to 1000 ms: carry it into the seconds instead of printing ".1000".
    if (ms >= 1000) {
      ms = 0;
      ++whole;
    }
  }
  char line[160];
  std::snprintf(line, sizeof line, "%s, %d Hz, %d ch, %d kbps, %d:%02d.%03d", format ? format : "N/A",
                static_cast<int>(std::min<uint32_t>(frequency, 2147483647u)),
                static_cast<int>(std::min<uint32_t>(channels, 2147483647u)), BitRateKbps(fileSize, durationSeconds),
                whole / 60, whole % 60, ms);
  std::string out = line;
  if (out.size() > kInfoLineMax) out.resize(kInfoLineMax);
  return out;
}

int FadeTimeMs(double durationSeconds) { return std::isfinite(durationSeconds) && durationSeconds > 5.0 ? 200 : 0; }

std::string TimeText(double seconds, bool remain, bool showMs) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  int whole = WholeSeconds(seconds);
  unsigned ms = whole < 2147483647 ? static_cast<unsigned>((seconds - whole) * 1000.0) : 0u;
  if (ms > 999) ms = 999;
  char text[40];
  std::snprintf(text, sizeof text, "%4d:%02u", whole / 60, static_cast<unsigned>(whole % 60));
  std::string out = text;
  if (showMs) {
    std::snprintf(text, sizeof text, ".%03u", ms);
    out += text;
  } else {
    out += "    ";
  }
  if (remain) {
    size_t digit = out.find_first_of("0123456789");
    if (digit != std::string::npos && digit > 0 && out[digit - 1] == ' ') out[digit - 1] = '-';
  }
  if (out.size() > kTimeTextMax) out.resize(kTimeTextMax);
  return out;
}

std::u16string PositionSlider(double place, int width, const std::u16string& chars) {
  if (width < 4) return std::u16string();
  int last = width - 3;
  int p = std::isfinite(place) ? static_cast<int>(std::clamp(place, 1.0, static_cast<double>(last))) : 1;
  std::u16string cells(static_cast<size_t>(width - 1), u' ');
  cells[0] = CharAt(chars, 0);
  for (int i = 1; i < p; ++i) cells[static_cast<size_t>(i)] = CharAt(chars, 1);
  cells[static_cast<size_t>(p)] = CharAt(chars, 2);
  for (int i = p + 1; i <= last; ++i) cells[static_cast<size_t>(i)] = CharAt(chars, 3);
  cells[static_cast<size_t>(width - 2)] = CharAt(chars, 4);
  return cells;
}

std::u16string VolumeSlider(int place, int width, const std::u16string& chars) {
  if (width < 2) return std::u16string();
  int cellsCount = width - 1;
  int v = std::clamp(place, 0, width - 2);
  std::u16string cells(static_cast<size_t>(cellsCount), u' ');
  size_t levels = chars.size() > 1 ? chars.size() - 1 : 1;
  char16_t empty = chars.size() > 1 ? chars.back() : u' ';
  int from = 0;
  for (size_t j = 0; j < levels; ++j) {
    int end = static_cast<int>(static_cast<double>(cellsCount) / static_cast<double>(levels) *
                                   static_cast<double>(j + 1) + 0.01);
    end = std::min(end, cellsCount);
    for (int i = from; i < end; ++i) cells[static_cast<size_t>(i)] = CharAt(chars, j);
    from = std::max(from, end);
  }
  for (int i = v + 1; i <= width - 2; ++i) cells[static_cast<size_t>(i)] = empty;
  return cells;
}

std::u16string BalanceSlider(int place, int width, const std::u16string& chars) {
  if (width < 4) return std::u16string();
  int b = std::clamp(place, 1, width - 3);
  std::u16string cells(static_cast<size_t>(width - 1), CharAt(chars, 1));
  cells[0] = CharAt(chars, 0);
  cells[static_cast<size_t>(width - 2)] = CharAt(chars, 5);
  double centre = width / 2.0 - 1;
  cells[static_cast<size_t>(b)] = b < centre ? CharAt(chars, 2) : b > centre ? CharAt(chars, 4) : CharAt(chars, 3);
  return cells;
}

std::u16string LevelMeter(uint32_t left, uint32_t right, int width) {
  if (width < 2) return std::u16string();
  int cellsCount = width - 1;
  auto cellsOf = [&](uint32_t level) {
    uint64_t l = std::min<uint32_t>(level, 32768u);
    return static_cast<int>(l * static_cast<uint64_t>(width - 1) / 32768u);
  };
  int l = cellsOf(left), r = cellsOf(right);
  int lo = std::min(l, r), hi = std::max(l, r);
  std::u16string cells(static_cast<size_t>(cellsCount), u' ');
  for (int i = 0; i < lo && i < cellsCount; ++i) cells[static_cast<size_t>(i)] = u'\u2588';
  char16_t part = l < r ? u'\u2580' : r < l ? u'\u2584' : u' ';
  for (int i = lo; i <= width - 2; ++i) cells[static_cast<size_t>(i)] = part;
  for (int i = hi + 1; i <= width - 2; ++i) cells[static_cast<size_t>(i)] = u' ';
  return cells;
}

double PositionPlace(uint64_t position, uint64_t length, int width) {
  if (length == 0 || width < 4) return 1;
  double fraction = std::min(1.0, static_cast<double>(position) / static_cast<double>(length));
  return fraction * (width - 3) + 1;
}

double PlacePercent(double place, int width) {
  if (width < 4 || !std::isfinite(place)) return 0;
  double span = width - 3;
  double p = (place - 1) / span * 100.0;
  return std::clamp(p, 0.0, 100.0);
}

uint64_t PercentToBytes(uint64_t length, double percent) {
  if (!std::isfinite(percent) || percent <= 0) return 0;
  if (percent >= 100) return length;
  return static_cast<uint64_t>(static_cast<double>(length) / 100.0 * percent);
}

float VolumeOfPlace(int place, int width) {
  if (width < 3) return 0;
  return static_cast<float>(std::clamp(place, 0, width - 2)) / static_cast<float>(width - 2);
}

float BalanceOfPlace(int place, int width) {
  if (width < 5) return 0;
  int b = std::clamp(place, 1, width - 3);
  double steps = std::round(static_cast<double>(b - 1) / (width - 4) * 10.0) / 10.0;
  return static_cast<float>(steps * 2.0 - 1.0);
}

// ---- Title scrolling and blinking -------------------------------------------------------------

void TitleScroll::Reset(size_t length, size_t visible) {
  length_ = length;
  visible_ = visible;
  offset_ = 0;
  direction_ = -1;
  ticks_ = 0;
}

void TitleScroll::SetEnabled(bool on) {
  enabled_ = on;
  offset_ = 0;
  direction_ = -1;
  ticks_ = 0;
}

void TitleScroll::Tick() {
  if (!enabled_ || !Scrolls()) return;
  size_t end = length_ - visible_;
  ++ticks_;
  if (offset_ > 0 && offset_ < end) {
    if (ticks_ >= kMoveEvery) {
      ticks_ = 0;
      offset_ = direction_ > 0 ? offset_ + 1 : offset_ - 1;
    }
    return;
  }
  if (ticks_ < kEndWait) return;
  ticks_ = 0;
  direction_ = offset_ == 0 ? 1 : -1;
  offset_ = direction_ > 0 ? offset_ + 1 : offset_ - 1;
}

std::u16string TitleScroll::View(const std::u16string& title) const {
  size_t from = std::min(offset_, title.size());
  return title.substr(from, visible_);
}

void Blink::Tick() {
  counter_ += step_;
  if (counter_ > 21 || counter_ < 0) {
    step_ = -step_;
    visible_ = !visible_;
  }
}

// ---- Intro scan ---------------------------------------------------------------------------------

int NextStartOffsetIndex(int index) { return index >= 0 && index < 5 ? index + 1 : 0; }

std::vector<uint64_t> IntroMarks(uint64_t length, uint64_t start, uint64_t fragment) {
  std::vector<uint64_t> marks;
  if (start >= length) return marks;
  uint64_t step = (length - start) / 3;
  for (uint64_t i = 0; i < 3; ++i) {
    if (step < fragment) break;
    marks.push_back(fragment + i * step + start);
  }
  return marks;
}

std::optional<uint64_t> IntroJump(int index, uint64_t length, uint64_t halfSecond, uint64_t position) {
  if (index < 0 || index > 2) return std::nullopt;
  uint64_t third = length / 3 * static_cast<uint64_t>(index + 1);
  if (third <= halfSecond) return std::nullopt;
  uint64_t target = third - halfSecond;
  if (target <= position) return std::nullopt;
  return target;
}

// ---- Names --------------------------------------------------------------------------------------

std::u16string Unquote(const std::u16string& path) {
  size_t b = path.find_first_not_of(u" \t");
  if (b == std::u16string::npos) return std::u16string();
  size_t e = path.find_last_not_of(u" \t");
  std::u16string s = path.substr(b, e - b + 1);
  if (!s.empty() && s.front() == u'"') s.erase(0, 1);
  if (!s.empty() && s.back() == u'"') s.pop_back();
  return s;
}

std::u16string NameOfPath(const std::u16string& path) {
  size_t slash = path.find_last_of(u'\\');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string JoinPanelPath(const std::u16string& folder, const std::u16string& name) {
  if (name.find(u'\\') != std::u16string::npos) return name;
  std::u16string out = folder;
  if (!out.empty() && out.back() != u'\\') out += u'\\';
  return out + name;
}

std::u16string FillTemplate(const std::u16string& templ, const std::u16string& path) {
  std::u16string out;
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] == u'%' && i + 1 < templ.size()) {
      if (templ[i + 1] == u's') {
        out += path;
        ++i;
        continue;
      }
      if (templ[i + 1] == u'%') {
        out += u'%';
        ++i;
        continue;
      }
    }
    out += templ[i];
  }
  return out;
}

bool IsAbsolutePath(const std::u16string& path) {
  if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') return true;
  if (path.size() >= 2 && path[1] == u':') {
    char16_t c = path[0];
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
  }
  return false;
}

static char16_t Fold(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  return c;
}

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  size_t i = 0, n = text.size();
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < n) {
    unsigned c = byte(i);
    unsigned cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c <= 0xF4) {
      size_t need = c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
      unsigned v = c & (0x3Fu >> need);
      bool ok = need < n - i;
      for (size_t k = 1; ok && k <= need; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) ok = false;
        else v = (v << 6) | (byte(i + k) & 0x3F);
      }
      bool overlong = (need == 2 && v < 0x800) || (need == 3 && v < 0x10000);
      bool surrogate = v >= 0xD800 && v <= 0xDFFF;
      if (ok && !overlong && !surrogate && v <= 0x10FFFF) {
        cp = v;
        len = need + 1;
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

}  // namespace tunlo
