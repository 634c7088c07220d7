// The stand-in library's engine on a clock the test moves: positions, syncs, slides, levels,
// errors, modules and add-ons, as the player sees them through the exports.
#include <gtest/gtest.h>

#include <cstring>
#include <list>

#include "standins/bass/core/library.h"
#include "standins/bass/core/tagtext.h"
#include "standins/bass/testaudio/testaudio.h"

namespace {

using testaudio::Bytes;

struct Fired {
  std::vector<std::pair<uint32_t, uintptr_t>> calls;
};

void Record(uint32_t sync, uint32_t, uint32_t, void* user) {
  auto* f = static_cast<Fired*>(user);
  f->calls.push_back({sync, 0});
}

class Engine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(lib.Init(-1, 48000, 0)); }

  uint32_t Stream(const Bytes& b, uint32_t flags = 0x80000000) {
    files.push_back(b);
    const Bytes& kept = files.back();
    return lib.CreateStream(std::make_unique<bass::MemorySource>(kept.data(), kept.size()), flags, "name");
  }
  uint32_t Music(const Bytes& b, uint32_t flags = 0x804A0400) {
    files.push_back(b);
    const Bytes& kept = files.back();
    return lib.LoadMusic(std::make_unique<bass::MemorySource>(kept.data(), kept.size()), flags, 0, "name");
  }
  // Runs the clock to t ms in 5-ms steps, firing due syncs as the shell does.
  void RunTo(double t) {
    while (now < t) {
      now = std::min(t, now + 5);
      for (const bass::DueSync& d : lib.Tick(now))
        if (lib.Claim(d.channel, d.sync)) d.proc(d.sync, d.channel, d.data, d.user);
    }
  }

  bass::Library lib;
  std::list<Bytes> files;
  double now = 0;
};

// One second of 8000 Hz mono 16-bit: 16000 bytes.
Bytes OneSecond() {
  testaudio::WaveShape s;
  s.rate = 8000;
  s.channels = 1;
  s.frames = 8000;
  s.left = 0.5;
  return testaudio::Wave(s);
}

TEST_F(Engine, PlayingMovesThePositionAtTheByteRateAndEndsWithTheEndSync) {
  uint32_t h = Stream(OneSecond());
  ASSERT_NE(h, 0u);
  EXPECT_EQ(lib.Length(h, 0), 16000u);
  EXPECT_EQ(lib.FilePosition(h, 1), ~0ull) << "a plain file";
  EXPECT_DOUBLE_EQ(lib.BytesToSeconds(h, 16000), 1.0);
  EXPECT_EQ(lib.SecondsToBytes(h, 0.25), 4000u);
  EXPECT_EQ(lib.SecondsToBytes(h, -3), 0u);
  Fired pos, end;
  uint32_t ps = lib.SetSync(h, 0, 12000, Record, &pos);
  uint32_t es = lib.SetSync(h, 2, 0, Record, &end);
  ASSERT_NE(ps, 0u);
  ASSERT_NE(es, 0u);
  ASSERT_TRUE(lib.Play(h, false));
  RunTo(500);
  EXPECT_EQ(lib.Position(h, 0), 8000u);
  EXPECT_EQ(lib.IsActive(h), 1u);
  EXPECT_TRUE(pos.calls.empty());
  RunTo(760);
  ASSERT_EQ(pos.calls.size(), 1u);
  EXPECT_EQ(pos.calls[0].first, ps);
  EXPECT_TRUE(end.calls.empty());
  RunTo(1100);
  EXPECT_EQ(end.calls.size(), 1u);
  EXPECT_EQ(pos.calls.size(), 1u) << "a position sync fires once per pass";
  EXPECT_EQ(lib.IsActive(h), 0u);
  EXPECT_EQ(lib.Position(h, 0), 16000u);
  // Played again from the start (restart flag), the position sync fires again.
  ASSERT_TRUE(lib.Play(h, true));
  RunTo(1900);
  EXPECT_EQ(pos.calls.size(), 2u);
}

TEST_F(Engine, PauseHoldsThePositionAndLevelsComeFromTheSamplesWhilePlaying) {
  testaudio::WaveShape s;
  s.rate = 8000;
  s.frames = 8000;
  s.left = 0.5;
  s.right = 0.25;
  uint32_t h = Stream(testaudio::Wave(s));
  EXPECT_EQ(lib.Level(h), 0xFFFFFFFFu);
  EXPECT_EQ(bass::LastError(), bass::kErrNoPlay);
  EXPECT_FALSE(lib.Pause(h));
  EXPECT_EQ(bass::LastError(), bass::kErrNoPlay);
  lib.Play(h, false);
  RunTo(200);
  uint32_t level = lib.Level(h);
  EXPECT_NEAR(level & 0xFFFF, 16384u, 2u);
  EXPECT_NEAR(level >> 16, 8192u, 2u);
  ASSERT_TRUE(lib.Pause(h));
  EXPECT_EQ(lib.IsActive(h), 3u);
  uint64_t at = lib.Position(h, 0);
  RunTo(600);
  EXPECT_EQ(lib.Position(h, 0), at);
  EXPECT_FALSE(lib.Pause(h));
  EXPECT_EQ(bass::LastError(), bass::kErrAlready);
  ASSERT_TRUE(lib.Play(h, false));
  RunTo(700);
  EXPECT_EQ(lib.Position(h, 0), at + 3200) << "resumed where it was paused";
  ASSERT_TRUE(lib.Stop(h));
  EXPECT_EQ(lib.IsActive(h), 0u);
}

TEST_F(Engine, SlidesMoveTheVolumeOverTime) {
  uint32_t h = Stream(OneSecond());
  ASSERT_TRUE(lib.SetAttribute(h, 2, 0));
  ASSERT_TRUE(lib.SlideAttribute(h, 2, 1, 200));
  EXPECT_TRUE(lib.IsSliding(h, 2));
  RunTo(100);
  float v = -1;
  ASSERT_TRUE(lib.GetAttribute(h, 2, v));
  EXPECT_NEAR(v, 0.5, 0.01);
  EXPECT_TRUE(lib.IsSliding(h, 2));
  EXPECT_FALSE(lib.IsSliding(h, 3));
  RunTo(205);
  ASSERT_TRUE(lib.GetAttribute(h, 2, v));
  EXPECT_FLOAT_EQ(v, 1.0f);
  EXPECT_FALSE(lib.IsSliding(h, 2));
  // Setting the attribute ends a slide at once.
  lib.SlideAttribute(h, 2, 0, 1000);
  lib.SetAttribute(h, 2, 0.3f);
  EXPECT_FALSE(lib.IsSliding(h, 2));
  ASSERT_TRUE(lib.SetAttribute(h, 3, -2));
  ASSERT_TRUE(lib.GetAttribute(h, 3, v));
  EXPECT_FLOAT_EQ(v, -1.0f) << "balance is kept within -1..1";
  EXPECT_FALSE(lib.SetAttribute(h, 99, 1));
  EXPECT_EQ(bass::LastError(), bass::kErrIllType);
}

TEST_F(Engine, SyncsRemovedBeforeFiringAndOneTimeSyncs) {
  uint32_t h = Stream(OneSecond());
  Fired f;
  uint32_t once = lib.SetSync(h, 0x80000000u, 800, Record, &f);
  uint32_t gone = lib.SetSync(h, 0, 1600, Record, &f);
  lib.Play(h, false);
  // Due by 110 ms, but removed between the clock's tick and the firing: never fired.
  now = 110;
  auto due = lib.Tick(now);
  ASSERT_EQ(due.size(), 2u);
  ASSERT_TRUE(lib.RemoveSync(h, gone));
  for (const auto& d : due)
    if (lib.Claim(d.channel, d.sync)) d.proc(d.sync, d.channel, d.data, d.user);
  ASSERT_EQ(f.calls.size(), 1u);
  EXPECT_EQ(f.calls[0].first, once);
  EXPECT_FALSE(lib.RemoveSync(h, once)) << "a one-time sync is gone after firing";
  EXPECT_EQ(lib.SetSync(h, 7, 0, Record, &f), 0u) << "only position and end syncs";
}

TEST_F(Engine, HandlesOfTheWrongKindOrFreedAreRefused) {
  uint32_t h = Stream(OneSecond());
  testaudio::ModuleShape m;
  uint32_t mh = Music(testaudio::Module(m));
  ASSERT_NE(mh, 0u);
  EXPECT_FALSE(lib.FreeStream(mh));
  EXPECT_EQ(bass::LastError(), bass::kErrHandle);
  EXPECT_FALSE(lib.FreeMusic(h));
  EXPECT_TRUE(lib.FreeStream(h));
  EXPECT_FALSE(lib.Play(h, false));
  EXPECT_EQ(bass::LastError(), bass::kErrHandle);
  EXPECT_EQ(lib.Length(h, 0), ~0ull);
  EXPECT_FALSE(lib.SetPosition(mh, lib.Length(mh, 0), 0));
  EXPECT_EQ(bass::LastError(), bass::kErrPosition);
  EXPECT_FALSE(lib.Init(-1, 44100, 0));
  EXPECT_EQ(bass::LastError(), bass::kErrAlready);
  EXPECT_EQ(Stream(Bytes(100, 0x55)), 0u);
  EXPECT_EQ(bass::LastError(), bass::kErrFileForm);
  EXPECT_EQ(Stream(testaudio::Module(m)), 0u) << "modules are loaded as music, not streams";
  EXPECT_EQ(Music(OneSecond()), 0u);
  EXPECT_EQ(bass::LastError(), bass::kErrFileForm);
  ASSERT_TRUE(lib.Free());
  EXPECT_EQ(Stream(OneSecond()), 0u);
  EXPECT_EQ(bass::LastError(), bass::kErrInit);
}

TEST_F(Engine, ModulesPlayAtTheOutputRateWithTheirScannedLength) {
  testaudio::ModuleShape m;
  m.tracker = testaudio::Tracker::S3m;
  m.title = "Song name";
  uint32_t h = Music(testaudio::Module(m));
  ASSERT_NE(h, 0u);
  bass::Library::Info info;
  ASSERT_TRUE(lib.GetInfo(h, info));
  EXPECT_EQ(info.freq, 48000u);
  EXPECT_EQ(info.chans, 2u);
  EXPECT_EQ(info.ctype, 0x20002u);
  EXPECT_EQ(lib.Length(h, 0), 7680u * 48 * 4) << "64 rows of 0.12 s at 48000 Hz, 16-bit stereo";
  size_t n = 0;
  const char* name = lib.Tags(h, 0x10000, &n);
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, "Song name");
  lib.Play(h, false);
  RunTo(10);
  EXPECT_EQ(lib.Level(h) & 0xFFFF, 32768u) << "the note of row 0 sounds";
  uint32_t plain = Music(testaudio::Module(m), 0);
  EXPECT_EQ(lib.Length(plain, 0), ~0ull) << "no length without the prescan flag";
  EXPECT_EQ(bass::LastError(), bass::kErrNotAvail);
}

TEST_F(Engine, AddOnsOpenWhatTheLibraryDoesNotAndGoWithTheirStreams) {
  uint32_t calls = 0;
  uint32_t plugin = lib.AddAddon([&](const uint8_t* head, size_t size, uint64_t, bass::AddonFormat& f) {
    ++calls;
    if (size < 4 || std::memcmp(head, "fLaC", 4) != 0) return false;
    f.freq = 44100;
    f.chans = 2;
    f.ctype = 0x10900;
    f.origres = 16;
    f.frames = 44100;
    f.comments = std::string("TITLE=From the add-on\0\0", 23);
    return true;
  });
  Bytes flac = {'f', 'L', 'a', 'C', 0, 0, 0, 0};
  uint32_t h = Stream(flac);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(calls, 1u);
  EXPECT_NE(Stream(OneSecond()), 0u) << "the library's own formats are not offered to add-ons";
  EXPECT_EQ(calls, 1u);
  bass::Library::Info info;
  ASSERT_TRUE(lib.GetInfo(h, info));
  EXPECT_EQ(info.plugin, plugin);
  EXPECT_EQ(info.ctype, 0x10900u);
  EXPECT_EQ(lib.Length(h, 0), 44100u * 4);
  size_t n = 0;
  const char* tags = lib.Tags(h, 2, &n);
  ASSERT_NE(tags, nullptr);
  bass::TagFields t = bass::CollectTags([&](uint32_t type) {
    size_t size = 0;
    const char* p = lib.Tags(h, type, &size);
    return bass::RawTag{p, size};
  });
  EXPECT_EQ(t.title, "From the add-on");
  ASSERT_TRUE(lib.RemoveAddon(plugin));
  EXPECT_FALSE(lib.Valid(h)) << "its streams are freed with it";
  EXPECT_EQ(Stream(flac), 0u);
}

}  // namespace
