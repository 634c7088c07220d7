// The file panel's own dialogs on the console helpers' builder (the transfer dialog is the
// engine's, win/transfer_dialog.h).
#pragma once

#include <string>

namespace handrel::files {

// "Make folder": the typed name (OEM). True on "Ok".
bool RunMakeFolderDialog(std::string& name);

// The settings dialog titled `title`; showRom in/out. True on "&OK".
bool RunSettingsDialog(const char* title, bool& showRom);

}  // namespace handrel::files
