// Writers of small audio files for tests: WAV (8/16/24-bit PCM and float), AIFF, and tracker
// modules (MOD, S3M, XM, IT) whose playing time follows from their rows, speed and tempo.
// Everything is written with literal offsets of the published layouts, independent of any parser.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testaudio {

using Bytes = std::vector<uint8_t>;

// Tag texts in UTF-8; empty fields are not written.
struct Tags {
  std::string artist;
  std::string title;
  std::string album;
};

enum class Encoding { Pcm8, Pcm16, Pcm24, Float32 };
enum class TagStyle {
  None,
  RiffInfo,   // WAV: LIST/INFO chunk with IART, INAM, IPRD
  Id3v1,      // 128-byte "TAG" block appended after the file
  Id3v2Chunk, // WAV "id3 " or AIFF "ID3 " chunk holding an ID3v2.4 tag (UTF-8 frames)
  Id3v2Utf16, // as Id3v2Chunk, but an ID3v2.3 tag with UTF-16 frames
};

// A square wave: every sample of the left channel has magnitude `left` of full scale, the right
// one `right` (0..1), so the level at any position is known exactly.
struct WaveShape {
  uint32_t rate = 44100;
  uint16_t channels = 2;
  Encoding encoding = Encoding::Pcm16;
  uint64_t frames = 44100;
  double left = 0.5;
  double right = 0.5;
  uint32_t period = 100; // frames per square-wave period (at least 2)
  Tags tags;
  TagStyle tagStyle = TagStyle::None;
};

Bytes Wave(const WaveShape& shape);
Bytes Aiff(const WaveShape& shape); // AIFF supports the integer encodings only (Pcm8/16/24)

// A raw ID3 tag by itself.
Bytes Id3v1(const Tags& tags);
Bytes Id3v2(const Tags& tags, bool utf16v23);

// A tracker module: every pattern has `rows` rows (MOD always 64) and 4 channels. A note is
// played at row 0 of each pattern on channel 0 so the module is audible. Effects are given in a
// format-neutral form and written in each format's own coding.
enum class Tracker { Mod, S3m, Xm, It };
enum class Effect { Speed, Tempo, PatternBreak, PositionJump };
struct Command {
  uint8_t pattern;
  uint8_t row;
  uint8_t channel;
  Effect effect;
  uint8_t value; // speed (1..31), tempo (32..255), row to break to, order to jump to
};
struct ModuleShape {
  Tracker tracker = Tracker::Mod;
  std::string title = "test module";
  std::vector<uint8_t> orders{0};
  uint8_t patterns = 1;
  uint16_t rows = 64;
  uint8_t speed = 6;   // initial ticks per row (MOD starts at 6 always)
  uint8_t tempo = 125; // initial beats per minute (MOD starts at 125 always)
  std::vector<Command> commands;
};
Bytes Module(const ModuleShape& shape);

// Writes bytes to a file (UTF-8 path); false on failure.
bool WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace testaudio
