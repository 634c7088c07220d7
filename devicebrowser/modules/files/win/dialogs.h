// The file panel's own dialogs on the console helpers' builder.
#pragma once

#include <string>

#include "devicebrowser/modules/files/core/texts.h"

namespace handrel::files {

// The transfer dialog: the prompt for `name` (or `count` items), the destination to edit (OEM,
// in/out). True when the user accepted with the first button.
bool RunTransferDialog(TransferKind kind, const std::string& name, int count, std::string& destination);

// "Make folder": the typed name (OEM). True on "Ok".
bool RunMakeFolderDialog(std::string& name);

// The settings dialog titled `title`; showRom in/out. True on "&OK".
bool RunSettingsDialog(const char* title, bool& showRom);

}  // namespace handrel::files
