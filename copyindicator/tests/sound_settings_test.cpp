// Notification sounds, settings in the store, and the window's arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "copyindicator/core/beeps.h"
#include "copyindicator/core/notify.h"
#include "copyindicator/core/settings.h"
#include "copyindicator/core/window_logic.h"

namespace veloma {
namespace {

TEST(BeepTest, EveryPatternStartsAsWrittenAndHasItsLength) {
  struct Case {
    int k;
    size_t length;
    std::vector<Tone> first;
  } cases[] = {
      {1, 60, {{50, 11, false}, {100, 11, false}, {150, 11, false}, {100, 11, false}}},
      {2, 49, {{1000, 11, false}, {980, 11, false}}},
      {3, 33, {{800, 11, false}, {900, 11, false}}},
      {4, 25, {{148, 5, false}, {142, 5, false}, {128, 5, false}}},  // 150^2, 140^2, 130^2
      {5, 100, {{2042, 11, false}, {2045, 11, false}, {2007, 11, false}}},
      {6, 25, {{500, 5, false}, {400, 5, false}, {300, 5, false}, {200, 5, false}, {100, 5, false}, {1000, 5, false}, {800, 5, false}}},
      {7, 16, {{1800, 11, false}, {1500, 11, false}, {1200, 11, false}, {900, 11, false}, {2400, 11, false}, {2000, 11, false}}},
      {8, 45, {{625, 11, false}, {627, 11, false}}},
      {9, 42, {{885, 44, false}, {974, 22, false}}},
      {10, 21, {{1235, 22, false}}},
      {11, 20, {{1195, 22, false}, {2571, 22, false}, {1195, 22, false}}},
      {12, 20, {{201, 5, false}, {0, 5, false}, {376, 5, false}}},
      {13, 20, {{20856, 5, false}, {0, 5, false}, {14761, 5, false}}},
      {14, 130, {{3600, 5, false}, {3200, 5, false}, {2800, 5, false}, {2400, 5, false}, {2000, 5, false}, {3510, 5, false}}},
      {15, 20, {{1145, 16, false}, {1245, 16, false}, {1095, 16, false}}},
      {16, 30, {{1295, 22, false}, {1095, 22, false}, {1285, 22, false}, {1105, 22, false}}},
  };
  for (const Case& c : cases) {
    std::vector<Tone> tones = BeepPattern(c.k, u"");
    EXPECT_EQ(tones.size(), c.length) << "pattern " << c.k;
    ASSERT_GE(tones.size(), c.first.size());
    for (size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(tones[i], c.first[i]) << "pattern " << c.k << " tone " << i;
  }
  EXPECT_TRUE(BeepPattern(0, u"1000 100").empty());
  EXPECT_TRUE(BeepPattern(18, u"1000 100").empty());
}

TEST(BeepTest, CustomTextPlaysTonesAndSilences) {
  EXPECT_EQ(BeepPattern(17, u"1000 200;0 300;2000 100"),
            (std::vector<Tone>{{1000, 200, false}, {0, 300, true}, {2000, 100, false}}));
  // A duration past 5000 becomes a zero-length call; a frequency under 37 a pause.
  EXPECT_EQ(ParseCustomBeeps(u"1500 6000;36 50;37 50;32768 10"),
            (std::vector<Tone>{{1500, 0, false}, {36, 50, true}, {37, 50, false}, {32768, 10, true}}));
  // A piece that cannot be read repeats the one before; anything but digits separates.
  EXPECT_EQ(ParseCustomBeeps(u"440 Гц, 100 мс;;x"),
            (std::vector<Tone>{{440, 100, false}, {440, 100, false}, {440, 100, false}}));
  EXPECT_EQ(ParseCustomBeeps(u"junk"), (std::vector<Tone>{{0, 0, true}}));
}

class MapStore : public SettingsStore {
 public:
  std::map<std::string, uint32_t> dwords;
  std::map<std::string, std::vector<uint8_t>> binaries;
  std::map<std::string, std::u16string> strings;
  bool GetDword(const char* n, uint32_t& v) override {
    auto it = dwords.find(n);
    return it != dwords.end() && (v = it->second, true);
  }
  bool GetBinary(const char* n, uint8_t* d, size_t size) override {
    auto it = binaries.find(n);
    if (it == binaries.end() || it->second.size() != size) return false;
    std::memcpy(d, it->second.data(), size);
    return true;
  }
  bool GetString(const char* n, std::u16string& v) override {
    auto it = strings.find(n);
    return it != strings.end() && (v = it->second, true);
  }
  void SetDword(const char* n, uint32_t v) override { dwords[n] = v; }
  void SetBinary(const char* n, const uint8_t* d, size_t size) override { binaries[n].assign(d, d + size); }
  void SetString(const char* n, const std::u16string& v) override { strings[n] = v; }
};

TEST(SettingsTest, MissingValuesGiveDefaultsAndEverythingRoundTrips) {
  MapStore empty;
  Settings d = LoadSettings(empty);
  EXPECT_EQ(d.alphaHover, 229u);
  EXPECT_EQ(d.alphaNoHover, 76u);
  EXPECT_EQ(d.holdTime, 3000u);
  EXPECT_EQ(d.lineWidth, 250u);
  EXPECT_EQ(d.colors[0], 0xFFD7FFD7u);
  EXPECT_EQ(d.colors[11], 0xFFD2F5FFu);
  EXPECT_FALSE(d.waveFile[0].has_value());

  Settings s;
  s.alphaHover = 1, s.alphaNoHover = 2, s.fadeTime = 3, s.windowPos = PackPosition(-5, 700), s.holdTime = 5;
  s.lineHeight = 6, s.lineWidth = 7, s.noNotifyTime = 8, s.notifyIncludeWaits = 1, s.notifyUserAbort = 1;
  s.clickThrough = 1, s.hideInFullscreenApps = 1, s.colors[5] = 0x12345678;
  s.notifyFlags = {MakeSlotFlags(kPlayFile, 0), MakeSlotFlags(kSpeakerBeeps, 17), 3};
  s.waveFile[1] = u"C:\\Звуки\\done.wav";
  s.customBeeps[2] = u"1000 100";
  MapStore store;
  SaveSettings(s, store);
  EXPECT_EQ(store.dwords.at("Wndpos"), 0x02BCFFFBu);
  EXPECT_EQ(store.dwords.at("NotifyFlags1"), 0x00110002u);
  EXPECT_EQ(store.binaries.at("Colors").size(), 48u);
  EXPECT_EQ(store.binaries.at("Colors")[20], 0x78) << "colour 5, little-endian";
  EXPECT_EQ(store.strings.count("NotifyWaveFile0"), 0u) << "an unset text is not written";
  Settings back = LoadSettings(store);
  EXPECT_EQ(back.alphaHover, 1u);
  EXPECT_EQ(back.hideInFullscreenApps, 1u);
  EXPECT_EQ(PositionX(back.windowPos), -5);
  EXPECT_EQ(PositionY(back.windowPos), 700);
  EXPECT_EQ(back.colors, s.colors);
  EXPECT_EQ(back.notifyFlags, s.notifyFlags);
  EXPECT_EQ(back.waveFile[1], s.waveFile[1]);
  EXPECT_EQ(back.customBeeps[2], s.customBeeps[2]);

  store.binaries["Colors"].resize(40);  // a broken value gives the default colours
  EXPECT_EQ(LoadSettings(store).colors[5], 0xFFA2BABFu);
}

TEST(SettingsTest, TransparencyAndOpacity) {
  EXPECT_EQ(TransparencyToOpacity(0), 255u);
  EXPECT_EQ(TransparencyToOpacity(90), 26u);  // 25.5 rounds up
  EXPECT_EQ(OpacityToTransparency(255), 0);
  EXPECT_EQ(OpacityToTransparency(229), 10);
  EXPECT_EQ(OpacityToTransparency(76), 70);
  for (int t = 0; t <= 90; ++t) EXPECT_EQ(OpacityToTransparency(TransparencyToOpacity(t)), t);
}

TEST(WindowLogicTest, SizeRowsAndHover) {
  Size s = WindowSize(3, 250, 10);
  EXPECT_EQ(s.width, 258);
  EXPECT_EQ(s.height, 48);
  EXPECT_EQ(WindowSize(0, 250, 10).height, 18);
  EXPECT_EQ(RowRect(2, 250, 10), (Rect{4, 24, 254, 34}));
  EXPECT_EQ(RowAt(4, 3, 10), 0);
  EXPECT_EQ(RowAt(33, 3, 10), 2);
  EXPECT_EQ(RowAt(34, 3, 10), -1);
  EXPECT_EQ(RowAt(2, 3, 10), -1) << "the border above the first row";
}

TEST(WindowLogicTest, DockingSnapsToTheWorkAreaEdges) {
  Rect area{0, 0, 1280, 994};
  DockResult a = Dock(-300, 500, 258, 48, area, 1280);
  EXPECT_EQ(a.left, 0);
  EXPECT_EQ(a.top, 500);
  EXPECT_EQ(a.flags, kDocked | kDockLeft);
  DockResult b = Dock(1030, 990, 258, 48, area, 1280);  // right edge 1288, bottom 1038
  EXPECT_EQ(b.left, 1022);
  EXPECT_EQ(b.top, 946);
  EXPECT_EQ(b.flags, kDocked | kDockRight | kDockBottom);
  DockResult c = Dock(10, 11, 258, 48, area, 1280);
  EXPECT_EQ(c.left, 0);
  EXPECT_EQ(c.top, 11);
  DockResult free = Dock(400, 400, 258, 48, area, 1280);
  EXPECT_EQ(free.flags, 0u);
  EXPECT_EQ(free.left, 400);
}

TEST(WindowLogicTest, SizingKeepsItsLimits) {
  Rect now{100, 100, 358, 148};
  EXPECT_EQ(Sizing(now, {100, 100, 500, 200}, 0, 250, 10).rect, now) << "no jobs: no resizing";
  SizingResult r = Sizing(now, {100, 100, 408, 178}, 3, 250, 10);
  EXPECT_EQ(r.lineWidth, 300u);
  EXPECT_EQ(r.lineHeight, 20u);
  SizingResult narrow = Sizing(now, {100, 100, 149, 126}, 3, 250, 10);
  EXPECT_EQ(narrow.rect.Width(), 258) << "under 50 pixels the width stays";
  EXPECT_EQ(narrow.rect.Height(), 48) << "under 3 pixels a row the height stays";
  EXPECT_EQ(Sizing(now, {100, 100, 150, 127}, 3, 250, 10).rect.Height(), 27);
}

TEST(WindowLogicTest, FadeGoesOpaqueHoldsAndFadesBack) {
  Fade f;
  f.from = 229, f.to = 76, f.fadeTime = 500, f.current = 76;
  f.Attention(100);
  EXPECT_EQ(f.direction, -1);
  EXPECT_TRUE(f.Step(250));
  EXPECT_EQ(f.current, 152);  // (76 - 229) * -1 * 250 / 500 = 76.5, truncated
  f.Step(250);
  EXPECT_EQ(f.current, 228);
  f.Step(33);  // past 229: clamp, then hold
  EXPECT_EQ(f.current, 229);
  EXPECT_FALSE(f.fading);
  EXPECT_TRUE(f.holding);
  EXPECT_FALSE(f.Step(99));
  EXPECT_FALSE(f.Step(1));
  EXPECT_FALSE(f.holding);
  EXPECT_EQ(f.direction, 1);
  f.Step(1000);
  EXPECT_EQ(f.current, 76);
  EXPECT_FALSE(f.holding) << "no hold left at the transparent end";
}

TEST(WindowLogicTest, ColourMixingAndHitTest) {
  EXPECT_EQ(MixColor(0x50FFFFFF, 0xFFB7E2F0), 0xFFCDEBF4u);
  EXPECT_EQ(MixColor(0x50000000, 0xFFB7E2F0), 0xFF7D9BA4u);
  EXPECT_EQ(HitTest(0, 0, 258, 48), HitArea::kTopLeft);
  EXPECT_EQ(HitTest(257, 20, 258, 48), HitArea::kRight);
  EXPECT_EQ(HitTest(100, 44, 258, 48), HitArea::kBottom);
  EXPECT_EQ(HitTest(4, 4, 258, 48), HitArea::kClient);
}

}  // namespace
}  // namespace veloma

namespace veloma {
namespace {

class RecordingSink : public SoundSink {
 public:
  std::vector<std::string> played;
  void PlayFile(const std::u16string& path) override { played.push_back("file " + std::to_string(path.size())); }
  void Beep(int f, int d) override { played.push_back("beep " + std::to_string(f) + " " + std::to_string(d)); }
  void Pause(int d) override { played.push_back("pause " + std::to_string(d)); }
};

TEST(NotifyTest, EachModePlaysItsSound) {
  Settings s;
  RecordingSink sink;
  s.notifyFlags[0] = MakeSlotFlags(kPlayFile, 3);
  PlaySlot(s, 0, sink);
  EXPECT_TRUE(sink.played.empty()) << "a file slot without a file is silent";
  s.waveFile[0] = u"ding.wav";
  PlaySlot(s, 0, sink);
  EXPECT_EQ(sink.played, (std::vector<std::string>{"file 8"}));
  sink.played.clear();
  s.notifyFlags[2] = MakeSlotFlags(kSpeakerBeeps, 17);
  s.customBeeps[2] = u"1000 200;0 300;2000 100";
  PlaySlot(s, 2, sink);
  EXPECT_EQ(sink.played, (std::vector<std::string>{"beep 1000 200", "pause 300", "beep 2000 100"}));
  sink.played.clear();
  s.notifyFlags[1] = MakeSlotFlags(kSpeakerBeeps, 11);
  PlaySlot(s, 1, sink);
  EXPECT_EQ(sink.played.size(), 20u);
  EXPECT_EQ(sink.played[1], "beep 2571 22");
  sink.played.clear();
  s.notifyFlags[1] = MakeSlotFlags(kSilent, 11);
  PlaySlot(s, 1, sink);
  PlaySlot(s, 3, sink);
  EXPECT_TRUE(sink.played.empty());
}

}  // namespace
}  // namespace veloma
