// A small 8-bit plugin that carries the console helpers the way the device browser and its module
// libraries do (its own copy, its own host record) so that the host stand-in can fail the heap
// calls it makes. OpenPlugin runs one of the builders with more items than their first room:
//   item 1: a dialog of 45 texts, shown; item 2: a menu of 45 items, shown.
// Failures come back as the host's message "Unhandled exception in OpenPlugin".
#include <windows.h>

#include <cstdio>

#include "devicebrowser/common/console/console.h"
#include "host/kel_firewall.h"

namespace {

void Report(const char* name, const char* what) {
  char text[600];
  std::snprintf(text, sizeof text, "Unhandled exception in %s\n%s", name, what);
  handrel::ShowMessage("conprobe8", text, nullptr, 1);
}

}  // namespace

extern "C" {

void KEL_API SetStartupInfo(const HostStartupInfoA* info) {
  kel::FirewallVoid("SetStartupInfo", [&] { handrel::ConsoleSetHost(info, KelMakeVersion(1, 70, 0)); }, Report);
}

HANDLE KEL_API OpenPlugin(int, intptr_t item) {
  return kel::Firewall<HANDLE>(
      "OpenPlugin", INVALID_HANDLE_VALUE,
      [&]() -> HANDLE {
        char text[32];
        if (item == 1) {
          handrel::DialogBuilder d(20, 45, "Many");
          for (int i = 0; i < 45; ++i) {
            std::snprintf(text, sizeof text, "line %d", i);
            d.AddText(i + 1, 1, text);
          }
          d.Run(-2);
        } else if (item == 2) {
          handrel::MenuBuilder m;
          for (int i = 0; i < 45; ++i) {
            std::snprintf(text, sizeof text, "item %d", i);
            m.Add(text);
          }
          m.Run("Many");
        }
        return INVALID_HANDLE_VALUE;
      },
      Report);
}

void KEL_API ExitKEL() { handrel::ConsoleSetHost(nullptr, 0); }

}  // extern "C"
