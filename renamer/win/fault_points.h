// Fault points of the plugin's test build. The product is built without QUILLET_TEST_HOOKS, so
// every point compiles to nothing there; the test build (QuilletFaults.dll, never installed)
// throws at the point the tests name (renamer/tests/fault_points.cpp), so that the guards around
// the entries the host and the threads call can be shown to hold.
#pragma once

#ifdef QUILLET_TEST_HOOKS
namespace quillet::faults {
// Throws std::runtime_error("injected fault at <name>") when the tests armed this point.
void Point(const char* name);
}  // namespace quillet::faults
#define QUILLET_FAULT_POINT(name) ::quillet::faults::Point(name)
#else
#define QUILLET_FAULT_POINT(name) static_cast<void>(0)
#endif
