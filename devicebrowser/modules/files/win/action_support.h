// What the single-file actions (actions.h) share: the active panel's items as the host gives
// them, code page conversions, messages, the other device file panel, and reading and writing
// shortcut files on the device.
#pragma once

#include <windows.h>

#include <string>

#include "devicebrowser/common/code_pages.h"
#include "devicebrowser/common/framework/framework.h"

namespace handrel::actions {

// The host's record of the active (or passive) panel; false when the host refuses.
bool GetPanel(HANDLE panel, PanelInfoA* info);
// Updates (keeping the selection) and redraws a host panel.
void RefreshPanel(HANDLE panel);
bool IsDots(const PluginPanelItemA& item);

// ANSI text (shortcut contents) shown in the console's OEM code page, and back.
std::string AnsiToOem(const std::string& text);
std::string OemToAnsi(const std::string& text);

// A message titled `title` (the module's short name when null); nothing and -1 when silent.
// Returns the chosen button (0 = the first), -1 for Esc.
int Say(MModuleBase& module, int opMode, const char* title, const std::string& text, const char* buttons = nullptr,
        bool warning = true);

// "\" + the item's device path; false after the framework reported a name or length it refuses.
bool ItemDevicePath(MModuleBase& module, const PluginPanelItemA& item, int opMode, std::wstring* path);

// The module of the other visible device panel when it is a device file panel too, else null.
MModuleBase* OtherFilesPanel(MModuleBase& module);

// Reads a shortcut file's command (ANSI). False with *error the text shown after
// "Invalid *.lnk file\r\n": "Can't open lnk file.\r\nLastError=0x%08x", "Can't read lnk file." or the
// reason the file is refused.
bool ReadShortcut(const std::wstring& path, std::string* command, std::string* error);
// Writes a shortcut file holding command, made or replaced only once the whole text is written
// (an old shortcut survives a failed write). False with *error = openError (the file cannot be
// made or replaced) or "Can't write to lnk file!".
bool WriteShortcut(const std::wstring& path, const std::string& command, const char* openError, std::string* error);
// The device has a file (not a folder) at this ANSI path.
bool DeviceFileExists(const std::string& ansiPath);

}  // namespace handrel::actions
