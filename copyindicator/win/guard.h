// Every procedure that Windows calls runs its body through Guarded: an exception ends the
// handling of that one message, is reported, and the procedure gives its failure result, so the
// window and its dialogs live on.
#pragma once

#include <windows.h>

#include <exception>

namespace veloma {

// Reports "Veloma: unhandled exception in <where>" to the debugger (the window has no message
// box for it: the user sees the failed action, not a dialog).
void ReportException(const wchar_t* where);

// onFailure runs after the report (e.g. to end a dialog); an exception of its own is dropped.
template <typename R, typename Body, typename OnFailure>
R Guarded(const wchar_t* where, R failure, Body&& body, OnFailure&& onFailure) noexcept {
  try {
    return body();
  } catch (...) {
    ReportException(where);
    try {
      onFailure();
    } catch (...) {
    }
    return failure;
  }
}

template <typename R, typename Body>
R Guarded(const wchar_t* where, R failure, Body&& body) noexcept {
  return Guarded(where, failure, body, [] {});
}

#ifdef VELOMA_TEST_BUILD
// Test build only: throws once when the environment variable VELOMA_FAULT names this place.
void FaultPoint(const char* where);
#else
inline void FaultPoint(const char*) {}
#endif

}  // namespace veloma
