// Inside the console helpers' shell: the library's copy of the host record and the console seam
// over it.
#pragma once

#include "devicebrowser/common/console/core/screen.h"
#include "host/kel_plugin.h"

namespace handrel::detail {

// The copy ConsoleSetHost made (all zero before).
const HostStartupInfoA& Host();
uint32_t HostVersion();
// The seam over the host services and the process's console.
con::Console& HostConsole();

}  // namespace handrel::detail
