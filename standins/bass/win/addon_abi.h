// The interface between the stand-in bass.dll and its add-ons in "bassplugs": an add-on exports
// BassAddonProbe, which is shown the first bytes of a file and fills in the stream's format when
// it can play the file.
#pragma once

#include <cstdint>

struct BassAddonInfo {
  uint32_t size;     // set by the library: sizeof(BassAddonInfo)
  uint32_t freq;     // samples per second
  uint32_t chans;
  uint32_t ctype;    // channel type code
  uint32_t origres;  // bits per sample in the file
  uint32_t framesLo, framesHi;  // length in sample frames
  char comments[4096];          // "KEY=value\0...\0" in UTF-8, may be empty
};

// 1: the add-on plays the file and filled *out; 0: not its format.
typedef int(__stdcall *BassAddonProbeFn)(const uint8_t *head, uint32_t headSize, uint32_t sizeLo, uint32_t sizeHi,
                                         BassAddonInfo *out);
