// One guard for every export: no exception may cross into the host. The body runs inside a
// try block; anything thrown is reported (when a reporter is given) and the export returns the
// failure value its contract names.
#pragma once

#include <exception>
#include <utility>

namespace kel {

// Runs body(); on an exception calls report(exportName, what) and returns `failure`.
template <class R, class Body, class Report>
R Firewall(const char* exportName, R failure, Body&& body, Report&& report) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::exception& e) {
    try { report(exportName, e.what()); } catch (...) {}
  } catch (...) {
    try { report(exportName, ""); } catch (...) {}
  }
  return failure;
}

// The same for exports without a result.
template <class Body, class Report>
void FirewallVoid(const char* exportName, Body&& body, Report&& report) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (const std::exception& e) {
    try { report(exportName, e.what()); } catch (...) {}
  } catch (...) {
    try { report(exportName, ""); } catch (...) {}
  }
}

// A reporter that stays silent: for exports whose contract is to fail quietly.
struct QuietReport {
  void operator()(const char*, const char*) const noexcept {}
};

}  // namespace kel
