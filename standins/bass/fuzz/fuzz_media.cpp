// Fuzz harness: one input goes through every parser of the stand-in (WAV, AIFF with levels,
// modules, FLAC headers, tag blocks and the template language).
#include <cstddef>
#include <cstdint>
#include <string>

#include "standins/bass/core/library.h"
#include "standins/bass/core/media.h"
#include "standins/bass/core/tagtext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bass::MemorySource src(data, size);
  bass::PcmFormat f;
  bass::TagBlocks tags;
  if (bass::ParseWave(src, f, tags) == bass::Parse::Ok || (tags = {}, f = {}, bass::ParseAiff(src, f, tags) == bass::Parse::Ok)) {
    uint32_t l, r;
    bass::PeakLevels(src, f, f.frames / 2, 4096, l, r);
  }
  bass::ModuleInfo m;
  bass::ParseModule(data, size, (size & 1) != 0, m);
  bass::FlacInfo fl;
  bass::ParseFlac(data, size, fl);
  bass::TagFields t;
  bass::ParseId3v2(data, size, t);
  bass::ParseId3v1(data, size, t);
  bass::ParseKeyValues(reinterpret_cast<const char*>(data), size, true, t);
  std::string fmt(reinterpret_cast<const char*>(data), size < 512 ? size : 512);
  bass::RenderTemplate(fmt, t);
  // The same bytes opened and played by the library: stream, then module music.
  bass::Library lib;
  lib.Init(-1, 48000, 0);
  uint32_t h = lib.CreateStream(std::make_unique<bass::MemorySource>(data, size), 0, "");
  if (!h) h = lib.LoadMusic(std::make_unique<bass::MemorySource>(data, size), 0x804A0400, 0, "");
  if (h) {
    lib.Play(h, false);
    lib.Tick(250);
    lib.Level(h);
    lib.SetPosition(h, lib.Length(h, 0) / 2, 0);
    lib.Tick(500);
    lib.Level(h);
    bass::CollectTags([&](uint32_t type) {
      size_t n = 0;
      const char* p = lib.Tags(h, type, &n);
      return bass::RawTag{p, n};
    });
  }
  return 0;
}
