// The fault points of the plugin's test build: the environment variable QUILLET_FAULT names the
// point that throws, as "name" (every time it is reached) or "name:n" (only the n-th time,
// counted from when that value was first seen). The test process sets it around one scenario.
#include "renamer/win/fault_points.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>

namespace quillet::faults {

void Point(const char* name) {
  char armed[128];
  const DWORD n = GetEnvironmentVariableA("QUILLET_FAULT", armed, sizeof armed);
  if (n == 0 || n >= sizeof armed) return;
  std::string value(armed, n);
  std::string point = value;
  long nth = 0;
  if (const size_t colon = value.find(':'); colon != std::string::npos) {
    point = value.substr(0, colon);
    nth = std::strtol(value.c_str() + colon + 1, nullptr, 10);
  }
  if (point != name) return;
  if (nth > 0) {
    static std::mutex lock;
    static std::string seen;
    static long hits = 0;
    std::lock_guard<std::mutex> guard(lock);
    if (seen != value) {
      seen = value;
      hits = 0;
    }
    if (++hits != nth) return;
  }
  throw std::runtime_error("injected fault at " + point);
}

}  // namespace quillet::faults
