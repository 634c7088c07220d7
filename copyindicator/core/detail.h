// The text of the hovered job's tooltip: what it does, where, how far, how fast, when it ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "copyindicator/core/protocol.h"

namespace veloma {

class SpeedMeter;

constexpr size_t kDetailTextMax = 1500;  // characters
constexpr int kPlaceWidth = 470;         // pixels for each of the two paths of a copy or move
constexpr int kSinglePlaceWidth = 495;   // pixels for the one path of the other operations

using MeasureFn = std::function<int(const std::u16string&)>;

struct ScaledAmount {
  double value;
  int precision;       // 0 for bytes, 1 for every larger unit
  const char16_t* unit;
};
// Divides by 1024 while the value is at least 10000, at most five times.
ScaledAmount ScaleBytes(double bytes);

// "файл" + ending for a total count: "а" after 1 (not 11), "ов" otherwise.
const char16_t* CountEnding(uint64_t total);
// "файл" + ending for files per second: "" after 1 (not 11), "а" after 2..4, "ов" otherwise.
const char16_t* SpeedEnding(uint64_t speed);

// Cuts a path with "..." until measure() says it fits in width pixels; the name is kept longest.
std::u16string ShortenPath(const std::u16string& path, int width, const MeasureFn& measure);

// Updates the meter with the job's amount done and composes the text (at most kDetailTextMax).
// nowLocal is the current local time as a FILETIME, which the expected end is added to.
std::u16string ComposeDetailText(const JobDetails& details, SpeedMeter& meter, uint32_t elapsedMs,
                                 uint64_t nowLocal, const MeasureFn& measure);

}  // namespace veloma
