// Number, time and progress texts as the user reads them in the progress window.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "devicebrowser/common/console/core/format.h"
#include "devicebrowser/common/console/core/layout.h"

using namespace handrel::con;

TEST(FormatNumber, GroupsByThreeFromAThousand) {
  struct { int64_t value; const char* text; } table[] = {
      {0, "0"},           {7, "7"},           {999, "999"},           {1000, "1,000"},
      {12345, "12,345"},  {100000, "100,000"}, {1234567, "1,234,567"}, {999999999, "999,999,999"},
      {1000000000, "1,000,000,000"},
      {INT64_MAX, "9,223,372,036,854,775,807"},
      {-1234, "-1,234"},  {-5, "-5"},
      {INT64_MIN, "-9,223,372,036,854,775,808"},
  };
  for (auto& row : table) EXPECT_EQ(FormatNumber(row.value), row.text) << row.value;
}

TEST(FormatTime, HoursMinutesSecondsUpToNinetyNineHours) {
  struct { int64_t seconds; const char* text; } table[] = {
      {0, "00:00:00"},       {-1, "00:00:00"},      {INT64_MIN, "00:00:00"}, {59, "00:00:59"},
      {61, "00:01:01"},      {3600, "01:00:00"},    {86399, "23:59:59"},     {359999, "99:59:59"},
      {360000, "99:59:59"},  {360001, "99:59:59"},  {INT64_MAX, "99:59:59"}, {100 * 3600 - 60, "99:59:00"},
  };
  for (auto& row : table) EXPECT_EQ(FormatTime(row.seconds), row.text) << row.seconds;
}

TEST(SpeedText, FiveCharactersAndTheUnitOfTheWholeValuePaddedToTen) {
  struct { uint64_t speed; const char* text; } table[] = {
      {0, "0 b/s     "},         {999, "999 b/s   "},       {1000, "1,000 kb/s"},
      {12345, "12,34 kb/s"},     {999999, "999,9 kb/s"},    {1000000, "1,000 Mb/s"},
      {1234567, "1,234 Mb/s"},   {999999999, "999,9 Mb/s"}, {1000000000, "1,000     "},
      {UINT64_MAX, "9,223     "},
  };
  for (auto& row : table) EXPECT_EQ(SpeedText(row.speed), row.text) << row.speed;
}

TEST(ProgressBar, FortyOneCellsAndThePercent) {
  EXPECT_EQ(BarLine(0, 0), std::string(41, '\xB0') + "   0%");
  EXPECT_EQ(BarLine(5, 0), std::string(41, '\xB0') + "   0%");
  EXPECT_EQ(BarLine(0, 100), std::string(41, '\xB0') + "   0%");
  EXPECT_EQ(BarLine(50, 100), std::string(20, '\xDB') + std::string(21, '\xB0') + "  50%");
  EXPECT_EQ(BarLine(100, 100), std::string(41, '\xDB') + " 100%");
  // More done than the size (a file that grew) stays full, never past 41 cells or 100 %.
  EXPECT_EQ(BarLine(300, 100), std::string(41, '\xDB') + " 100%");
  EXPECT_EQ(BarLine(99, 100), std::string(40, '\xDB') + std::string(1, '\xB0') + "  99%");
  // Sizes where done x 100 no longer fits 64 bits.
  EXPECT_EQ(Percent(UINT64_MAX / 2, UINT64_MAX), 49);
  EXPECT_EQ(BarCells(UINT64_MAX - 1, UINT64_MAX), 40);
}

TEST(TimeLine, SpeedAndRemainingFromTheElapsedSeconds) {
  TimeFigures t = ComputeTime(999, 5000, 10000);  // no second yet: no speed, nothing remaining
  EXPECT_EQ(t.elapsedSeconds, 0);
  EXPECT_EQ(t.speed, 0u);
  EXPECT_EQ(TimeLine(t), "Time: 00:00:00  Remaining: 00:00:00 0 b/s     ");
  t = ComputeTime(10500, 12345 * 10, 12345 * 100);
  EXPECT_EQ(t.speed, 12345u);
  EXPECT_EQ(t.remainingSeconds, 90);
  EXPECT_EQ(TimeLine(t), "Time: 00:00:10  Remaining: 00:01:30 12,34 kb/s");
  EXPECT_EQ(TimeLine(t).size(), static_cast<size_t>(kProgressWidth));
  // Done past the announced total leaves nothing remaining (no wrap to a huge count).
  t = ComputeTime(2000, 5000, 1000);
  EXPECT_EQ(t.remainingSeconds, 0);
  // The slowest speed with a huge rest reads 99:59:59.
  t = ComputeTime(1000, 1, UINT64_MAX);
  EXPECT_EQ(FormatTime(t.remainingSeconds), "99:59:59");
}
