// The file panel's actions on single files: Enter (run a program, follow a shortcut, install a
// cabinet), F4 on a shortcut, Alt+F6 (make a shortcut) and Ctrl+A (attributes). The module's key
// handler and GetFiles call them; each answers what the key handler answers to the host: 1 when
// the key was handled, 0 when the host should handle it, -1 never (GetFiles turns its own call
// into -1).
//
// Each acts on the active panel (the one the key went to), asking the host for its items
// through HostPanelControl; the other side is found through the plugin's GetOtherPanelModule.
// Threads: the host's thread only. Failures are reported to the user (never when opMode holds
// the silent bit) and raised only as ModuleError for the export's guard.
#pragma once

#include "devicebrowser/common/framework/framework.h"

namespace handrel {

// Enter: runs or opens the current file. 0 when the host's command line holds text, the panel is
// hidden, or the current item is "..", a folder or a name without extension; 1 otherwise, also
// after an error shown to the user.
int RunCurrentFile(MModuleBase& module, int opMode);

// F4: the "Edit link" dialog for the current file when its name ends in ".lnk" (any case). 0 for
// any other item, and when the user chose "&Edit" (the host opens its editor); else 1.
int EditShortcut(MModuleBase& module, int opMode);

// Alt+F6: makes a shortcut to the one selected item in the folder of the other device file
// panel. items/count: the items to link (GetFiles passes its own); null asks the host for the
// active panel's selection. 0 when there is not exactly one item or no device file panel on the
// other side; 1 otherwise (made, cancelled or failed after a message).
int CreateShortcut(MModuleBase& module, const PluginPanelItemA* items, int count, int opMode);

// Ctrl+A: the "Attributes" dialog for the current item, or the one selected item. 0 for "..", an
// empty panel and two or more selected items; else 1.
int EditAttributes(MModuleBase& module, int opMode);

}  // namespace handrel
