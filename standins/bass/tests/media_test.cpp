// The stand-in's file parsers against files from the test-audio writer, hand-damaged copies of
// them, and the WAV files Debian's alsa-utils installs.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "standins/bass/core/media.h"
#include "standins/bass/testaudio/testaudio.h"

namespace {

using bass::Parse;
using testaudio::Bytes;
using testaudio::Encoding;

struct WaveCase {
  Encoding enc;
  uint16_t chans;
  uint32_t rate;
  uint16_t bits;
  uint32_t ctype;
};

Parse Wave(const Bytes& b, bass::PcmFormat& f) {
  bass::MemorySource src(b.data(), b.size());
  bass::TagBlocks tags;
  return bass::ParseWave(src, f, tags);
}

TEST(WaveFiles, EveryEncodingGivesItsLayoutAndTheLevelsOfItsSamples) {
  const WaveCase cases[] = {
      {Encoding::Pcm8, 1, 8000, 8, 0x50001},     {Encoding::Pcm16, 2, 44100, 16, 0x50001},
      {Encoding::Pcm24, 2, 96000, 24, 0x50001},  {Encoding::Float32, 1, 22050, 32, 0x50003},
      {Encoding::Pcm16, 1, 11025, 16, 0x50001},
  };
  for (const WaveCase& c : cases) {
    testaudio::WaveShape s;
    s.encoding = c.enc;
    s.channels = c.chans;
    s.rate = c.rate;
    s.frames = 1234;
    s.left = 0.5;
    s.right = 0.25;
    Bytes b = testaudio::Wave(s);
    bass::PcmFormat f;
    ASSERT_EQ(Wave(b, f), Parse::Ok) << c.bits;
    EXPECT_EQ(f.ctype, c.ctype);
    EXPECT_EQ(f.freq, c.rate);
    EXPECT_EQ(f.chans, c.chans);
    EXPECT_EQ(f.bits, c.bits);
    EXPECT_EQ(f.frames, 1234u);
    EXPECT_EQ(f.dataOffset + f.frames * f.blockAlign, b.size()) << "the data chunk ends the file";
    bass::MemorySource src(b.data(), b.size());
    uint32_t l = 0, r = 0;
    ASSERT_TRUE(bass::PeakLevels(src, f, 100, 400, l, r));
    EXPECT_NEAR(l, 16384u, 2u);
    EXPECT_NEAR(r, c.chans == 1 ? 16384u : 8192u, 2u);
  }
}

TEST(WaveFiles, TheExtensibleFormatTakesItsSubFormat) {
  // fmt chunk of 40 bytes: tag 0xFFFE, 2 channels, 44100 Hz, 32-bit, sub-format 3 (float).
  Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 40, 0, 0, 0,
             0xFE, 0xFF, 2, 0, 0x44, 0xAC, 0, 0, 0x20, 0x62, 0x05, 0, 8, 0, 32, 0, 22, 0, 32, 0, 3, 0, 0, 0,
             3, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71,
             'd', 'a', 't', 'a', 80, 0, 0, 0};
  b.resize(b.size() + 80, 0);
  bass::PcmFormat f;
  ASSERT_EQ(Wave(b, f), Parse::Ok);
  EXPECT_EQ(f.ctype, 0x50003u);
  EXPECT_TRUE(f.isFloat);
  EXPECT_EQ(f.frames, 10u);
  b[44] = 2;  // sub-format ADPCM
  EXPECT_EQ(Wave(b, f), Parse::Bad);
  b[44] = 1;
  b[16] = 18;  // extensible tag in an 18-byte chunk: no room for the sub-format
  EXPECT_EQ(Wave(b, f), Parse::Bad);
}

TEST(WaveFiles, ACutOffDataChunkIsReadUpToTheEndOfTheFile) {
  testaudio::WaveShape s;
  s.frames = 1000;
  Bytes b = testaudio::Wave(s);
  b.resize(b.size() - 401);  // 100 frames and one byte gone
  bass::PcmFormat f;
  ASSERT_EQ(Wave(b, f), Parse::Ok);
  EXPECT_EQ(f.frames, 899u);
}

TEST(WaveFiles, DamagedHeadersAreRefused) {
  testaudio::WaveShape s;
  s.frames = 100;
  const Bytes good = testaudio::Wave(s);
  bass::PcmFormat f;
  auto with = [&](size_t at, std::initializer_list<uint8_t> bytes) {
    Bytes b = good;
    size_t i = at;
    for (uint8_t v : bytes) b[i++] = v;
    return b;
  };
  // Offsets of the writer's layout: "fmt " at 12, its size 16, tag 20, channels 22, rate 24,
  // block align 32, bits 34; "data" at 36.
  EXPECT_EQ(Wave(with(16, {0xFF, 0xFF, 0, 0}), f), Parse::Bad) << "fmt chunk past the end";
  EXPECT_EQ(Wave(with(16, {8, 0, 0, 0}), f), Parse::Bad) << "fmt chunk too short";
  EXPECT_EQ(Wave(with(20, {2, 0}), f), Parse::Bad) << "compressed data";
  EXPECT_EQ(Wave(with(22, {0, 0}), f), Parse::Bad) << "no channels";
  EXPECT_EQ(Wave(with(24, {0, 0, 0, 0}), f), Parse::Bad) << "rate 0";
  EXPECT_EQ(Wave(with(32, {3, 0}), f), Parse::Bad) << "block align not channels x bytes";
  EXPECT_EQ(Wave(with(34, {12, 0}), f), Parse::Bad) << "12 bits";
  EXPECT_EQ(Wave(with(36, {'j', 'u', 'n', 'k'}), f), Parse::Bad) << "no data chunk";
  EXPECT_EQ(Wave(with(8, {'A', 'V', 'I', ' '}), f), Parse::NotMine);
  EXPECT_EQ(Wave(Bytes(good.begin(), good.begin() + 11), f), Parse::NotMine);
}

TEST(WaveFiles, ManyTinyChunksEndTheWalkAtItsCap) {
  Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (int i = 0; i < 100000; ++i) b.insert(b.end(), {'p', 'a', 'd', ' ', 0, 0, 0, 0});
  bass::PcmFormat f;
  EXPECT_EQ(Wave(b, f), Parse::Bad);
}

TEST(AiffFiles, IntegerEncodingsBigEndianWithTheirRate) {
  for (Encoding e : {Encoding::Pcm8, Encoding::Pcm16, Encoding::Pcm24}) {
    testaudio::WaveShape s;
    s.encoding = e;
    s.channels = 2;
    s.rate = 22050;
    s.frames = 500;
    s.left = 0.5;
    s.right = 0.125;
    Bytes b = testaudio::Aiff(s);
    bass::MemorySource src(b.data(), b.size());
    bass::PcmFormat f;
    bass::TagBlocks tags;
    ASSERT_EQ(bass::ParseAiff(src, f, tags), Parse::Ok);
    EXPECT_EQ(f.ctype, 0x10006u);
    EXPECT_EQ(f.freq, 22050u);
    EXPECT_EQ(f.frames, 500u);
    uint32_t l, r;
    ASSERT_TRUE(bass::PeakLevels(src, f, 0, 500, l, r));
    EXPECT_NEAR(l, 16384u, 2u);
    EXPECT_NEAR(r, 4096u, 2u);
    // COMM sample rate exponent (offset 28) made absurd: refused.
    b[28] = 0x7F;
    bass::MemorySource bad(b.data(), b.size());
    EXPECT_EQ(bass::ParseAiff(bad, f, tags), Parse::Bad);
  }
}

TEST(AlsaSounds, TheInstalledWavFilesOpen) {
  const std::filesystem::path dir = "/usr/share/sounds/alsa";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "alsa-utils is not installed";
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().extension() != ".wav") continue;
    bass::StdFileSource src;
    ASSERT_TRUE(src.Open(e.path().string()));
    bass::PcmFormat f;
    bass::TagBlocks tags;
    ASSERT_EQ(bass::ParseWave(src, f, tags), Parse::Ok) << e.path();
    EXPECT_EQ(f.ctype, 0x50001u);
    EXPECT_EQ(f.freq, 48000u);
    EXPECT_EQ(f.bits, 16);
    EXPECT_GT(f.frames, 48000u / 2) << "each is more than half a second";
    uint32_t l, r, most = 0;
    for (uint64_t at = 0; at < f.frames; at += 4800) {
      ASSERT_TRUE(bass::PeakLevels(src, f, at, 960, l, r));
      most = std::max(most, l);
    }
    EXPECT_GT(most, 1000u) << "the sound is audible somewhere";
    ++files;
  }
  EXPECT_GE(files, 5);
}

double Seconds(const testaudio::ModuleShape& s, bool stopBack = true, uint32_t* ctype = nullptr) {
  Bytes b = testaudio::Module(s);
  bass::ModuleInfo info;
  if (bass::ParseModule(b.data(), b.size(), stopBack, info) != Parse::Ok) return -1;
  if (ctype) *ctype = info.ctype;
  return info.seconds;
}

using testaudio::Effect;
using testaudio::Tracker;

TEST(Modules, LengthFollowsRowsSpeedAndTempoInEveryFormat) {
  const std::pair<Tracker, uint32_t> kinds[] = {
      {Tracker::Mod, 0x20000}, {Tracker::S3m, 0x20002}, {Tracker::Xm, 0x20003}, {Tracker::It, 0x20004}};
  for (auto [t, ctype] : kinds) {
    testaudio::ModuleShape s;
    s.tracker = t;
    s.patterns = 2;
    s.orders = {0, 1, 0};
    uint32_t got = 0;
    // 3 x 64 rows of 6 ticks at 125 bpm (0.12 s a row).
    EXPECT_NEAR(Seconds(s, false, &got), 23.04, 1e-9) << static_cast<int>(t);
    EXPECT_EQ(got, ctype);
    // Speed 3 from row 32 of pattern 0: its second half takes half as long.
    s.orders = {0};
    s.commands = {{0, 32, 1, Effect::Speed, 3}};
    EXPECT_NEAR(Seconds(s), 3.84 + 1.92, 1e-9) << static_cast<int>(t);
    // Tempo 250 from row 0: every row 0.06 s.
    s.commands = {{0, 0, 2, Effect::Tempo, 250}};
    EXPECT_NEAR(Seconds(s), 3.84, 1e-9) << static_cast<int>(t);
    // A pattern break at row 15 to row 10 of the next order.
    s.orders = {0, 1};
    s.commands = {{0, 15, 3, Effect::PatternBreak, 10}};
    EXPECT_NEAR(Seconds(s), (16 + 54) * 0.12, 1e-9) << static_cast<int>(t);
    // A jump from order 0 row 7 to order 2 passes over order 1.
    s.orders = {0, 1, 1};
    s.commands = {{0, 7, 0, Effect::PositionJump, 2}};
    EXPECT_NEAR(Seconds(s), (8 + 64) * 0.12, 1e-9) << static_cast<int>(t);
  }
}

TEST(Modules, ABackwardJumpEndsTheSongOnceItLoops) {
  for (Tracker t : {Tracker::Mod, Tracker::S3m, Tracker::Xm, Tracker::It}) {
    testaudio::ModuleShape s;
    s.tracker = t;
    s.patterns = 2;
    s.orders = {0, 1};
    s.commands = {{1, 63, 0, Effect::PositionJump, 0}};
    EXPECT_NEAR(Seconds(s, true), 128 * 0.12, 1e-9);
    EXPECT_NEAR(Seconds(s, false), 128 * 0.12, 1e-9) << "the revisited row ends the walk";
    // A jump back to a row already played ends the song there.
    s.commands = {{1, 0, 0, Effect::PositionJump, 0}, {1, 0, 1, Effect::PatternBreak, 32}};
    EXPECT_NEAR(Seconds(s, false), 65 * 0.12, 1e-9);
  }
}

TEST(Modules, XmAndItPatternsOfOtherLengths) {
  for (Tracker t : {Tracker::Xm, Tracker::It}) {
    testaudio::ModuleShape s;
    s.tracker = t;
    s.rows = 32;
    s.speed = 4;
    s.tempo = 100;  // 0.1 s a row
    s.orders = {0, 0, 0};
    s.commands = {};
    // Orders repeat pattern 0; each order is a new place, so nothing loops.
    EXPECT_NEAR(Seconds(s), 96 * 0.1, 1e-9);
  }
}

TEST(Modules, DamagedModulesAreRefused) {
  testaudio::ModuleShape s;
  s.patterns = 2;
  s.orders = {0, 1};
  Bytes mod = testaudio::Module(s);
  bass::ModuleInfo info;
  Bytes b = mod;
  b[950] = 0;  // song length 0
  EXPECT_EQ(bass::ParseModule(b.data(), b.size(), true, info), Parse::Bad);
  b = mod;
  b.resize(1084 + 1024 + 100);  // the second pattern cut off
  EXPECT_EQ(bass::ParseModule(b.data(), b.size(), true, info), Parse::Bad);
  b = mod;
  b[1080] = 'X';  // no signature: not a module
  EXPECT_EQ(bass::ParseModule(b.data(), b.size(), true, info), Parse::NotMine);

  s.tracker = Tracker::Xm;
  Bytes xm = testaudio::Module(s);
  b = xm;
  b[60] = 0xFF; b[61] = 0xFF; b[62] = 0xFF; b[63] = 0x7F;  // header size past the file
  EXPECT_EQ(bass::ParseModule(b.data(), b.size(), true, info), Parse::Bad);
  b = xm;
  b[336 + 5] = 0; b[336 + 6] = 0;  // first pattern of 0 rows (patterns start at 60 + 276)
  EXPECT_EQ(bass::ParseModule(b.data(), b.size(), true, info), Parse::Bad);

  s.tracker = Tracker::It;
  Bytes it = testaudio::Module(s);
  b = it;
  b[38] = 0xFF; b[39] = 0xFF;  // 65535 patterns
  EXPECT_EQ(bass::ParseModule(b.data(), b.size(), true, info), Parse::Bad);
  b = it;
  b.resize(200);
  EXPECT_EQ(bass::ParseModule(b.data(), b.size(), true, info), Parse::Bad);

  s.tracker = Tracker::S3m;
  Bytes s3m = testaudio::Module(s);
  b = s3m;
  b[37] = 1;  // 258 patterns: more than a module may have
  EXPECT_EQ(bass::ParseModule(b.data(), b.size(), true, info), Parse::Bad);
}

// A FLAC header written by hand: "fLaC", STREAMINFO, Vorbis comments.
Bytes Flac(uint32_t rate, uint8_t chans, uint64_t samples) {
  Bytes b = {'f', 'L', 'a', 'C', 0x00, 0, 0, 34};
  Bytes si(34, 0);
  si[10] = static_cast<uint8_t>(rate >> 12);
  si[11] = static_cast<uint8_t>(rate >> 4);
  si[12] = static_cast<uint8_t>(((rate & 15) << 4) | ((chans - 1) << 1) | 0);
  si[13] = static_cast<uint8_t>((15 << 4) | ((samples >> 32) & 15));  // 16 bits
  for (int i = 0; i < 4; ++i) si[14 + static_cast<size_t>(i)] = static_cast<uint8_t>(samples >> (24 - 8 * i));
  b.insert(b.end(), si.begin(), si.end());
  const std::string items[] = {"TITLE=Flac title", "ARTIST=Flac artist"};
  Bytes vc = {3, 0, 0, 0, 'k', 'e', 'l', 2, 0, 0, 0};
  for (const std::string& it : items) {
    vc.push_back(static_cast<uint8_t>(it.size()));
    vc.insert(vc.end(), {0, 0, 0});
    vc.insert(vc.end(), it.begin(), it.end());
  }
  b.insert(b.end(), {0x84, 0, 0, static_cast<uint8_t>(vc.size())});
  b.insert(b.end(), vc.begin(), vc.end());
  return b;
}

TEST(FlacHeaders, StreamInfoAndComments) {
  Bytes b = Flac(44100, 2, 441000);
  bass::FlacInfo info;
  ASSERT_EQ(bass::ParseFlac(b.data(), b.size(), info), Parse::Ok);
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(info.chans, 2);
  EXPECT_EQ(info.bits, 16);
  EXPECT_EQ(info.samples, 441000u);
  EXPECT_EQ(info.comments, std::string("TITLE=Flac title\0ARTIST=Flac artist\0\0", 37));
  Bytes zero = Flac(44100, 2, 0);
  EXPECT_EQ(bass::ParseFlac(zero.data(), zero.size(), info), Parse::Bad) << "an unknown length is not read";
  b[7] = 33;
  EXPECT_EQ(bass::ParseFlac(b.data(), b.size(), info), Parse::Bad) << "STREAMINFO of the wrong size";
  EXPECT_EQ(bass::ParseFlac(b.data(), 3, info), Parse::NotMine);
}

}  // namespace

namespace {

// Every source answers the same reads the same way: all bytes or none.
void Conforms(bass::Source& src, const testaudio::Bytes& bytes, const char* what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(src.Size(), bytes.size());
  uint8_t buf[16] = {};
  EXPECT_TRUE(src.ReadAt(0, buf, 16));
  EXPECT_EQ(0, std::memcmp(buf, bytes.data(), 16));
  EXPECT_TRUE(src.ReadAt(bytes.size() - 16, buf, 16)) << "the last bytes exactly";
  EXPECT_EQ(0, std::memcmp(buf, bytes.data() + bytes.size() - 16, 16));
  EXPECT_FALSE(src.ReadAt(bytes.size() - 15, buf, 16)) << "one byte past the end";
  EXPECT_TRUE(src.ReadAt(bytes.size(), buf, 0));
  EXPECT_FALSE(src.ReadAt(bytes.size() + 1, buf, 0));
  EXPECT_FALSE(src.ReadAt(~0ull - 4, buf, 8)) << "an offset that wraps";
}

TEST(Sources, MemoryFileAndSliceSourcesReadAlike) {
  testaudio::Bytes bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  bass::MemorySource mem(bytes.data(), bytes.size());
  Conforms(mem, bytes, "memory");
  std::string path = (std::filesystem::temp_directory_path() / "bass_source_test.bin").string();
  ASSERT_TRUE(testaudio::WriteFile(path, bytes));
  {
    bass::StdFileSource file;
    ASSERT_TRUE(file.Open(path));
    Conforms(file, bytes, "file");
  }
  testaudio::Bytes whole(bytes);
  whole.insert(whole.begin(), 24, 0xEE);
  whole.insert(whole.end(), 40, 0xDD);
  bass::MemorySource outer(whole.data(), whole.size());
  bass::SliceSource slice(outer, 24, 1000);
  Conforms(slice, bytes, "slice");
  bass::SliceSource rest(outer, 24 + 1000 + 40, 0);
  EXPECT_EQ(rest.Size(), 0u);
  bass::SliceSource past(outer, 5000, 10);
  EXPECT_EQ(past.Size(), 0u) << "a window past the end is empty";
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

}  // namespace
