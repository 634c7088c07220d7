// flachead.dll: a stand-in add-on for bass.dll that opens FLAC files from their headers
// (STREAMINFO for the format and length, Vorbis comments for the tags). It decodes no audio.
#include <windows.h>

#include <cstring>

#include "standins/bass/core/media.h"
#include "standins/bass/win/addon_abi.h"

extern "C" int __stdcall BassAddonProbe(const uint8_t *head, uint32_t headSize, uint32_t, uint32_t, BassAddonInfo *out) {
  try {
    if (!head || !out || out->size < sizeof(BassAddonInfo)) return 0;
    bass::FlacInfo info;
    if (bass::ParseFlac(head, headSize, info) != bass::Parse::Ok) return 0;
    out->freq = info.freq;
    out->chans = info.chans;
    out->ctype = 0x10900;
    out->origres = info.bits;
    out->framesLo = static_cast<uint32_t>(info.samples);
    out->framesHi = static_cast<uint32_t>(info.samples >> 32);
    // Comments that do not fit whole are left out; the list always ends with two NULs.
    std::memset(out->comments, 0, sizeof out->comments);
    size_t n = info.comments.size() < sizeof out->comments - 1 ? info.comments.size() : 0;
    std::memcpy(out->comments, info.comments.data(), n);
    return 1;
  } catch (...) {
    return 0;
  }
}
