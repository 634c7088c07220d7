// The shell's object headers, for plugins that also include the host interface: the shell names
// a media-session state PS_PAUSED, as the host names a progress state, so the shell's is renamed.
#pragma once

#define PS_PAUSED ShellMediaSessionPaused
#include <ole2.h>
#include <shlobj.h>
#undef PS_PAUSED
