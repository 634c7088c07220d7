#include "devicebrowser/common/console/core/format.h"

#include <cstdio>

namespace handrel::con {

std::string FormatNumber(int64_t value) {
  // The magnitude as unsigned, so that the smallest int64 has one too; digits from the right.
  uint64_t magnitude = value < 0 ? 0u - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  bool group = magnitude >= 1000;
  char buf[32];
  size_t pos = sizeof buf;
  int digits = 0;
  do {
    if (group && digits > 0 && digits % 3 == 0) buf[--pos] = ',';
    buf[--pos] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
    ++digits;
  } while (magnitude);
  if (value < 0) buf[--pos] = '-';
  return std::string(buf + pos, sizeof buf - pos);
}

std::string FormatTime(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  int64_t hours = seconds / 3600;
  if (hours > 99) return "99:59:59";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02i:%02i:%02i", static_cast<int>(hours), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return buf;
}

std::string SpeedText(uint64_t bytesPerSecond) {
  std::string text = FormatNumber(static_cast<int64_t>(bytesPerSecond > INT64_MAX ? INT64_MAX : bytesPerSecond));
  text.resize(text.size() < 5 ? text.size() : 5);
  if (bytesPerSecond < 1000)
    text += " b/s";
  else if (bytesPerSecond < 1000000)
    text += " kb/s";
  else if (bytesPerSecond < 1000000000)
    text += " Mb/s";
  if (text.size() < 10) text.append(10 - text.size(), ' ');
  return text;
}

namespace {

// 64-bit value times a small factor as a 128-bit pair (high, low).
struct Wide {
  uint64_t hi, lo;
};
Wide Times(uint64_t a, uint64_t k) {
  uint64_t lowPart = (a & 0xFFFFFFFFu) * k;
  uint64_t highPart = (a >> 32) * k + (lowPart >> 32);
  return Wide{highPart >> 32, (highPart << 32) | (lowPart & 0xFFFFFFFFu)};
}
bool NotAbove(Wide a, Wide b) { return a.hi < b.hi || (a.hi == b.hi && a.lo <= b.lo); }

// floor(scale x done / size), at most scale, exact for every 64-bit done and size.
int Scaled(uint64_t done, uint64_t size, int scale) {
  if (size == 0) return 0;
  if (done >= size) return scale;
  uint64_t s = static_cast<uint64_t>(scale);
  if (done <= UINT64_MAX / s) return static_cast<int>(done * s / size);
  // The largest r with r x size <= done x scale.
  Wide target = Times(done, s);
  int r = 0;
  while (r + 1 < scale && NotAbove(Times(size, static_cast<uint64_t>(r + 1)), target)) ++r;
  return r;
}

}  // namespace

int Percent(uint64_t done, uint64_t size) { return Scaled(done, size, 100); }

int BarCells(uint64_t done, uint64_t size) { return Scaled(done, size, kBarCells); }

std::string BarLine(uint64_t done, uint64_t size) {
  int cells = BarCells(done, size);
  std::string line(static_cast<size_t>(cells), '\xDB');
  line.append(static_cast<size_t>(kBarCells - cells), '\xB0');
  char pct[16];
  std::snprintf(pct, sizeof pct, " %3i%%", Percent(done, size));
  return line + pct;
}

TimeFigures ComputeTime(uint32_t elapsedMs, uint64_t done, uint64_t total) {
  TimeFigures t;
  t.elapsedSeconds = elapsedMs / 1000;
  if (t.elapsedSeconds > 0) t.speed = done / static_cast<uint64_t>(t.elapsedSeconds);
  // More done than announced (a file grew while it was copied) leaves nothing remaining.
  if (t.speed > 0 && total > done) {
    uint64_t rest = (total - done) / t.speed;
    t.remainingSeconds = rest > INT64_MAX ? INT64_MAX : static_cast<int64_t>(rest);
  }
  return t;
}

std::string TimeLine(const TimeFigures& t) {
  return "Time: " + FormatTime(t.elapsedSeconds) + "  Remaining: " + FormatTime(t.remainingSeconds) + " " +
         SpeedText(t.speed);
}

}  // namespace handrel::con
