// tags.dll stand-in: reads a channel's raw tag blocks through BASS_ChannelGetTags (from whichever
// bass.dll is loaded) and fills the caller's template with their fields.
#include <windows.h>

#include <cstring>
#include <string>

#include "player/bass/tags.h"
#include "standins/bass/core/tagtext.h"

namespace {

constexpr size_t kMaxBlock = 1u << 20;

// The size of a raw block of a BASS_TAG_* type, from its own framing.
bass::RawTag Fetch(DWORD handle, uint32_t type) {
  const char *p = BASS_ChannelGetTags(handle, type);
  if (!p) return {};
  size_t n = 0;
  if (type == BASS_TAG_ID3) {
    n = 128;
  } else if (type == BASS_TAG_ID3V2) {
    const auto *h = reinterpret_cast<const uint8_t *>(p);
    n = 10 + (((h[6] & 0x7Fu) << 21) | ((h[7] & 0x7Fu) << 14) | ((h[8] & 0x7Fu) << 7) | (h[9] & 0x7Fu));
  } else if (type == BASS_TAG_MUSIC_NAME) {
    n = strnlen(p, 256);
  } else {
    n = bass::ListBlockSize(p, kMaxBlock);
  }
  return bass::RawTag{p, n};
}

}  // namespace

extern "C" {

const char *WINAPI TAGS_Read(DWORD handle, const char *fmt) {
  thread_local std::string result;
  try {
    result.clear();
    if (!fmt) return "";
    bass::TagFields fields = bass::CollectTags([handle](uint32_t type) { return Fetch(handle, type); });
    result = bass::RenderTemplate(fmt, fields);
    return result.c_str();
  } catch (...) {
    return "";
  }
}

DWORD WINAPI TAGS_GetVersion(void) { return TAGS_VERSION; }

}  // extern "C"
