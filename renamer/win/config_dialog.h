// The renamer's configuration dialog (84 columns by 35 rows, help topic "Config").
#pragma once

#include "host/kel_plugin.h"
#include "renamer/core/settings.h"

namespace quillet {

// Shows the dialog with `settings`; when the user confirms (any button but Cancel), takes the
// values back into `settings`, asks about clearing the history when its box is checked, and
// returns true. The caller saves.
bool RunConfigDialog(const HostStartupInfo& host, Settings* settings);

}  // namespace quillet
