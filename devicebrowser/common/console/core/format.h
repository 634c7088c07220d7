// Number, time and progress texts of the console helpers: pure functions over their counters.
#pragma once

#include <cstdint>
#include <string>

namespace handrel::con {

// Below 1000 the plain decimal; otherwise digits grouped by three with "," ("1,234,567").
// Negative values keep their sign in front of the grouped digits.
std::string FormatNumber(int64_t value);

// "hh:mm:ss"; negative counts as 0; 100 hours and more read "99:59:59".
std::string FormatTime(int64_t seconds);

// The speed as the progress window shows it: FormatNumber cut to its first five characters, then
// the unit chosen by the whole value (" b/s" below 1,000, " kb/s" below 1,000,000, " Mb/s" below
// 1,000,000,000, none above), padded with spaces to at least 10 characters. 12,345 B/s reads
// "12,34 kb/s": the comma stands as the decimal point of the unit.
std::string SpeedText(uint64_t bytesPerSecond);

// Part done in percent, 0 to 100 (0 when size is 0).
int Percent(uint64_t done, uint64_t size);

// Cells of the progress bar: 41; the done part is 41 x done / size, at most 41.
constexpr int kBarCells = 41;
int BarCells(uint64_t done, uint64_t size);

// The bar line: kBarCells cells of 0xDB (done) and 0xB0 (rest), then " %3i%%".
std::string BarLine(uint64_t done, uint64_t size);

// The time line's parts at `elapsedMs` after the start with `done` of `total` bytes moved.
struct TimeFigures {
  int64_t elapsedSeconds = 0;
  uint64_t speed = 0;            // bytes per second; 0 while no second has passed
  int64_t remainingSeconds = 0;  // 0 while the speed is 0 or everything is done
};
TimeFigures ComputeTime(uint32_t elapsedMs, uint64_t done, uint64_t total);

// "Time: hh:mm:ss  Remaining: hh:mm:ss " followed by SpeedText.
std::string TimeLine(const TimeFigures& t);

}  // namespace handrel::con
