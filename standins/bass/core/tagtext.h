// The tag library's core: fields out of the raw tag blocks of a channel (ID3v2, ID3v1, RIFF
// INFO, Vorbis comments, module name) and the template language over them (%ARTI, %TITL,
// %ALBM, %GNRE, %YEAR, %TRCK, %CMNT, %IFV1, %IFV2, %IUPC, %ILWC, %UTF8, and %%, %(, %), %,).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace bass {

// All texts UTF-8.
struct TagFields {
  std::string artist, title, album, genre, year, track, comment;
};

// Raw block of a BASS_TAG_* type and its size (the list types end at a double NUL, the
// module name at a NUL); null when the channel has none.
struct RawTag {
  const char* data = nullptr;
  size_t size = 0;
};
using TagFetch = std::function<RawTag(uint32_t type)>;

// Fields from the blocks in order of trust: ID3v2, RIFF INFO, Vorbis comments, ID3v1, module
// name; a field missing from one block is taken from the next.
TagFields CollectTags(const TagFetch& fetch);

// Fields of single blocks (exposed for tests and fuzzing).
void ParseId3v2(const uint8_t* data, size_t size, TagFields& out);
void ParseId3v1(const uint8_t* data, size_t size, TagFields& out);
void ParseKeyValues(const char* data, size_t size, bool riff, TagFields& out);

// Fills a template. Field texts come out in UTF-8 inside %UTF8(...), else in Latin-1 with "?"
// for characters it lacks. A malformed template yields what was filled before the fault.
std::string RenderTemplate(const std::string& fmt, const TagFields& tags);

// Size of a NUL-terminated list block ("a\0b\0\0") within max bytes, counting the final NUL.
size_t ListBlockSize(const char* data, size_t max);

}  // namespace bass
