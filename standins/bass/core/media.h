// Parsers of the files the stand-in opens itself: WAV and AIFF headers (PCM layout and the raw
// tag blocks), tracker modules (MOD, S3M, XM, IT: name and playing time) and FLAC headers (for
// the add-on). Every size and offset is checked against the file; what cannot be read is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standins/bass/core/source.h"

namespace bass {

// NotMine: not this format. Bad: this format but damaged beyond reading. Ok: parsed.
enum class Parse { NotMine, Bad, Ok };

// Limits on what a file may make the parsers do.
constexpr uint32_t kMaxChunks = 4096;           // RIFF/IFF chunks walked
constexpr uint32_t kMaxTagBlock = 1u << 20;     // bytes of one raw tag block kept
constexpr uint32_t kMaxRate = 1000000;          // samples per second
constexpr uint16_t kMaxChannels = 8;
constexpr size_t kMaxModuleFile = 64u << 20;    // bytes of a module read into memory
constexpr uint32_t kMaxWalkRows = 1u << 20;     // rows played by the length walk

// Raw tag blocks found in a file, in the forms BASS_ChannelGetTags returns them.
struct TagBlocks {
  std::vector<uint8_t> id3v1;      // 128 bytes or empty
  std::vector<uint8_t> id3v2;      // from "ID3" on, or empty
  std::string riffInfo;            // "IART=..\0INAM=..\0\0" or empty
  std::string ogg;                 // "ARTIST=..\0\0" or empty
  std::string musicName;           // module name or empty
};

// Layout of PCM sample data in a file.
struct PcmFormat {
  uint32_t ctype = 0;      // 0x50001 WAV PCM, 0x50003 WAV float, 0x10006 AIFF
  uint32_t freq = 0;
  uint16_t chans = 0;
  uint16_t bits = 0;       // bits per stored sample: 8, 16, 24, 32
  bool isFloat = false;
  bool bigEndian = false;
  bool signed8 = false;    // 8-bit samples are signed (AIFF) rather than unsigned (WAV)
  uint32_t blockAlign = 0; // bytes per frame
  uint64_t dataOffset = 0;
  uint64_t frames = 0;     // whole frames present in the file
};

Parse ParseWave(Source& src, PcmFormat& fmt, TagBlocks& tags);
Parse ParseAiff(Source& src, PcmFormat& fmt, TagBlocks& tags);

// Peak magnitudes (0..32768) of the first two channels over `count` frames from frame `first`
// (mono: both the same). False when the frames cannot be read.
bool PeakLevels(Source& src, const PcmFormat& fmt, uint64_t first, uint32_t count, uint32_t& left,
                uint32_t& right);

// An ID3v1 block at the end of a file and an ID3v2 tag at its start, when present.
void FindId3(Source& src, TagBlocks& tags);

struct ModuleInfo {
  uint32_t ctype = 0;  // 0x20000 MOD, 0x20002 S3M, 0x20003 XM, 0x20004 IT
  std::string name;
  double seconds = 0;  // playing time from order 0 to the end, a loop or a stop
  // Start time in seconds of every row played, for levels; notes[i]: channels that start a note.
  std::vector<float> rowStart;
  std::vector<uint8_t> rowNotes;
  uint16_t channels = 0;
};

// stopBack: a jump backwards ends the song (otherwise only a revisited row does).
Parse ParseModule(const uint8_t* data, size_t size, bool stopBack, ModuleInfo& info);

struct FlacInfo {
  uint32_t freq = 0;
  uint16_t chans = 0;
  uint16_t bits = 0;
  uint64_t samples = 0;  // per channel
  std::string comments;  // "KEY=value\0...\0" from the Vorbis comment block
};
// head: the first bytes of the file (metadata past them is not seen).
Parse ParseFlac(const uint8_t* head, size_t size, FlacInfo& info);

}  // namespace bass
