// The editor mode of the renamer (the names edited in the host's editor).
#pragma once

#include "renamer/win/ui.h"

namespace quillet::ui {

// Writes the names to a temporary file, lets the user edit them in the modal editor, reads them
// back and renames; asks again on a line-count mismatch or invalid names. The temporary file is
// deleted on every way out.
void RunEditorMode(Context& ctx);
// True while the editor holds the list (the plugin then offers its editor menu only).
bool EditorModeActive();
// The editor menu commands 0 to 3 (OpenPluginW from the editor).
void EditorMenuCommand(int command);
// At ExitKELW: deletes a temporary file that is still there.
void EditorModeExit();

}  // namespace quillet::ui
