// The entries and records of an archive format module as the archive plugin Coffer loads them.
// All texts are 8-bit; results are 1 for success or "yes", 0 for failure, end or "no".
// Coffer calls a module from one thread only, one archive at a time.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "host/kel_plugin.h"

// Per-item information the module may give beside the panel item.
struct ArcItemInfo {
  char HostOS[32];
  char* Description;  // a text shown for the item (the listing's volume text), or null
  int Solid;
  int Comment;
  int Encrypted;
  int DictSize;
  int UnpVer;
  int Chapter;
};

// Archive-wide information handed to CloseArchive.
struct ArcInfo {
  int SfxSize;
  int Volume;
  int Comment;
  int Recovery;
  int Lock;
  uint32_t Flags;
  uint32_t Reserved;
  int Chapters;
};

#if !defined(_WIN64)
static_assert(offsetof(ArcItemInfo, Description) == 32, "the description text pointer sits at offset 32");
static_assert(sizeof(ArcItemInfo) == 60, "item information record is 60 bytes");
#endif

// The exports, as Coffer finds them with GetProcAddress.
using IsArchiveFn = BOOL(WINAPI*)(const char* name, const unsigned char* data, int dataSize);
using OpenArchiveFn = BOOL(WINAPI*)(const char* name, int* type);
using GetArcItemFn = int(WINAPI*)(PluginPanelItemA* item, ArcItemInfo* info);  // 1 item, 0 end
using CloseArchiveFn = BOOL(WINAPI*)(ArcInfo* info);
using GetFormatNameFn = BOOL(WINAPI*)(int type, char* formatName, char* defaultExt);
using GetDefaultCommandsFn = BOOL(WINAPI*)(int type, int command, char* dest);
using GetSFXPosFn = DWORD(WINAPI*)();  // 0xFFFFFFFF: none

// Buffer sizes Coffer hands out for the texts above.
constexpr int kArcFormatNameSize = 64;
constexpr int kArcDefaultExtSize = 64;
constexpr int kArcCommandSize = 512;
