// Declarations of the tag library (tags.dll) that reads tag texts of a channel of the BASS audio
// library through a template.
#pragma once

#include "player/bass/bass.h"

// Version of the tag library the header describes (TAGS_GetVersion).
#define TAGS_VERSION 18

#ifdef __cplusplus
extern "C" {
#endif

// Fills fmt from the channel's tags: %ARTI, %TITL, %ALBM and others stand for tag fields,
// %IFV1(x,a) gives a when x is not empty, %UTF8(...) gives the text in UTF-8.
// The result is owned by the library and valid until the next call on the same thread; it is
// never null ("" when nothing was found or the handle is not valid).
const char *WINAPI TAGS_Read(DWORD handle, const char *fmt);
DWORD WINAPI TAGS_GetVersion(void);

#ifdef __cplusplus
}
#endif
