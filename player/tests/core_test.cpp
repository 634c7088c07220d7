// Tunlo's portable core: what the dialog shows for given library answers and player state.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "player/core/player_core.h"
#include "player/core/settings.h"

namespace {

using namespace tunlo;

TEST(FormatName, TableThenBitsThenUnknown) {
  EXPECT_STREQ(FormatName(0x10005), "MP3");
  EXPECT_STREQ(FormatName(0x10006), "Audio IFF");
  EXPECT_STREQ(FormatName(0x20004), "Impulse Tracker");
  EXPECT_STREQ(FormatName(0x50003), "WAVE");
  EXPECT_STREQ(FormatName(0x10A00), "MPC");
  EXPECT_STREQ(FormatName(0x40007), "WAVE");  // a WAVE code the table does not list
  EXPECT_STREQ(FormatName(0x20103), "MO3");
  EXPECT_STREQ(FormatName(0x10001), "N/A");
}

TEST(InfoLine, FourSecondMp3Of64000BytesIs128Kbps) {
  EXPECT_EQ(BitRateKbps(64000, 4.0), 128);
  EXPECT_EQ(InfoLine("MP3", 44100, 2, 64000, 4.0), "MP3, 44100 Hz, 2 ch, 128 kbps, 0:04.000");
}

TEST(InfoLine, MinutesSecondsAndRoundedMilliseconds) {
  EXPECT_EQ(InfoLine("WAVE", 48000, 1, 0, 125.4567), "WAVE, 48000 Hz, 1 ch, 0 kbps, 2:05.457");
  // A fraction that rounds up to a whole second is carried, not printed as ".1000".
  EXPECT_EQ(InfoLine("WAVE", 8000, 1, 0, 59.9996), "WAVE, 8000 Hz, 1 ch, 0 kbps, 1:00.000");
}

TEST(InfoLine, ZeroOrBrokenDurationsDivideByNothing) {
  for (double d : {0.0, -3.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(BitRateKbps(1000000, d), 0) << d;
    EXPECT_EQ(InfoLine("MP3", 44100, 2, 1000000, d), "MP3, 44100 Hz, 2 ch, 0 kbps, 0:00.000") << d;
  }
  // A tiny duration gives an enormous rate, held to what an int shows.
  EXPECT_EQ(BitRateKbps(UINT64_MAX, 1e-300), 2147483647);
  EXPECT_LE(InfoLine(std::string(300, 'x').c_str(), 0xFFFFFFFF, 0xFFFFFFFF, UINT64_MAX, 1e300).size(), kInfoLineMax);
}

TEST(Fade, FiveSecondsExactlyHasNoneJustOverHas200) {
  EXPECT_EQ(FadeTimeMs(5.0), 0);
  EXPECT_EQ(FadeTimeMs(5.001), 200);
  EXPECT_EQ(FadeTimeMs(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(TimeText, PlainRemainingAndWithoutMilliseconds) {
  EXPECT_EQ(TimeText(0, false, true), "   0:00.000");
  EXPECT_EQ(TimeText(65.25, false, true), "   1:05.250");
  // 65 seconds left: the minus sign stands directly before the minutes digit 1.
  EXPECT_EQ(TimeText(65.0, true, true), "  -1:05.000");
  EXPECT_EQ(TimeText(65.0, false, false), "   1:05    ");
  EXPECT_EQ(TimeText(-2.0, true, true), "  -0:00.000");
  EXPECT_EQ(TimeText(6000.0, true, true), "-100:00.000");
  EXPECT_EQ(TimeText(60000.0, true, true), "1000:00.000");  // no space left for the sign
  EXPECT_EQ(TimeText(65.0, true, true).size(), 11u);
}

TEST(PositionSlider, StartMiddleEnd) {
  const std::u16string c = u"[=|-]";
  const int w = 55;  // dialog width 70
  std::u16string s = PositionSlider(1, w, c);
  ASSERT_EQ(s.size(), 54u);
  EXPECT_EQ(s[0], u'[');
  EXPECT_EQ(s[1], u'|');
  EXPECT_EQ(s.substr(2, 51), std::u16string(51, u'-'));
  EXPECT_EQ(s[53], u']');
  s = PositionSlider(PositionPlace(50, 100, w), w, c);  // place 27
  EXPECT_EQ(s.substr(1, 26), std::u16string(26, u'='));
  EXPECT_EQ(s[27], u'|');
  EXPECT_EQ(s.substr(28, 25), std::u16string(25, u'-'));
  s = PositionSlider(PositionPlace(100, 100, w), w, c);
  EXPECT_EQ(s[52], u'|');
  EXPECT_EQ(s.substr(1, 51), std::u16string(51, u'='));
  EXPECT_EQ(s[53], u']');
  // Out of range places are held to the track; a short characters text gives spaces.
  EXPECT_EQ(PositionSlider(-5, w, c), PositionSlider(1, w, c));
  EXPECT_EQ(PositionSlider(1000, w, c), PositionSlider(52, w, c));
  EXPECT_EQ(PositionSlider(1, w, u"[=")[1], u' ');
}

TEST(PositionSlider, SeekPercentOfAPlace) {
  EXPECT_DOUBLE_EQ(PlacePercent(1, 55), 0);
  EXPECT_DOUBLE_EQ(PlacePercent(53, 55), 100);
  EXPECT_DOUBLE_EQ(PlacePercent(52, 55), 51.0 / 52 * 100);
  EXPECT_DOUBLE_EQ(PlacePercent(27, 55), 50);
  EXPECT_EQ(PercentToBytes(1000, 50), 500u);
  EXPECT_EQ(PercentToBytes(1000, 150), 1000u);
  EXPECT_EQ(PositionPlace(5, 0, 55), 1);  // a zero length stays at the start
}

TEST(BalanceSlider, CentreAndOneStepEitherSide) {
  const std::u16string c = u"L=<C>R";
  EXPECT_EQ(BalanceSlider(6, kBalanceWidth, c), u"L=====C=====R");
  EXPECT_EQ(BalanceSlider(5, kBalanceWidth, c), u"L====<======R");
  EXPECT_EQ(BalanceSlider(7, kBalanceWidth, c), u"L======>====R");
  EXPECT_FLOAT_EQ(BalanceOfPlace(6, kBalanceWidth), 0.0f);
  EXPECT_NEAR(BalanceOfPlace(5, kBalanceWidth), -0.2f, 1e-6);
  EXPECT_NEAR(BalanceOfPlace(7, kBalanceWidth), 0.2f, 1e-6);
  EXPECT_FLOAT_EQ(BalanceOfPlace(1, kBalanceWidth), -1.0f);
  EXPECT_FLOAT_EQ(BalanceOfPlace(11, kBalanceWidth), 1.0f);
  EXPECT_FLOAT_EQ(BalanceOfPlace(99, kBalanceWidth), 1.0f);
}

TEST(VolumeSlider, ZeroHalfAndFull) {
  const std::u16string c = u".:|_";
  EXPECT_EQ(VolumeSlider(0, kVolumeWidth, c), u".______________");
  EXPECT_EQ(VolumeSlider(8, kVolumeWidth, c), u".....::::______");
  EXPECT_EQ(VolumeSlider(14, kVolumeWidth, c), u".....:::::|||||");
  EXPECT_FLOAT_EQ(VolumeOfPlace(0, kVolumeWidth), 0.0f);
  EXPECT_FLOAT_EQ(VolumeOfPlace(7, kVolumeWidth), 0.5f);
  EXPECT_FLOAT_EQ(VolumeOfPlace(14, kVolumeWidth), 1.0f);
}

TEST(LevelMeter, BothSidesAndOneLouder) {
  EXPECT_EQ(LevelMeter(0, 0, kMeterWidth), std::u16string(13, u' '));
  EXPECT_EQ(LevelMeter(32768, 32768, kMeterWidth), std::u16string(13, u'\u2588'));
  // Left 3 cells, right 6: full to 3, upper halves 3..6, spaces after.
  std::u16string m = LevelMeter(3 * 32768 / 13 + 1, 6 * 32768 / 13 + 1, kMeterWidth);
  EXPECT_EQ(m, std::u16string(3, u'\u2588') + std::u16string(4, u'\u2580') + std::u16string(6, u' '));
  m = LevelMeter(6 * 32768 / 13 + 1, 3 * 32768 / 13 + 1, kMeterWidth);
  EXPECT_EQ(m, std::u16string(3, u'\u2588') + std::u16string(4, u'\u2584') + std::u16string(6, u' '));
  EXPECT_EQ(LevelMeter(0xFFFFFFFF, 0xFFFFFFFF, kMeterWidth), std::u16string(13, u'\u2588'));
}

TEST(TitleScroll, ExactWidthDoesNotScroll) {
  TitleScroll s;
  s.Reset(66, 66);
  EXPECT_FALSE(s.Scrolls());
  for (int i = 0; i < 200; ++i) s.Tick();
  EXPECT_EQ(s.Offset(), 0u);
}

TEST(TitleScroll, WaitsAtTheEndsAndMovesEveryFourthTick) {
  TitleScroll s;
  s.Reset(70, 66);  // four characters too long
  std::u16string title(70, u'a');
  title[69] = u'z';
  for (int i = 0; i < 45; ++i) s.Tick();
  EXPECT_EQ(s.Offset(), 0u);
  s.Tick();  // the 46th tick at the start: reverse and move
  EXPECT_EQ(s.Offset(), 1u);
  for (int i = 0; i < 3; ++i) s.Tick();
  EXPECT_EQ(s.Offset(), 1u);
  s.Tick();
  EXPECT_EQ(s.Offset(), 2u);
  for (int i = 0; i < 8; ++i) s.Tick();
  EXPECT_EQ(s.Offset(), 4u);
  EXPECT_EQ(s.View(title).back(), u'z');
  for (int i = 0; i < 45; ++i) s.Tick();
  EXPECT_EQ(s.Offset(), 4u);
  s.Tick();
  EXPECT_EQ(s.Offset(), 3u);
  s.SetEnabled(false);
  s.Tick();
  EXPECT_EQ(s.Offset(), 0u);
}

TEST(Blink, PhasesOf23Ticks) {
  Blink b;
  int ticks = 0;
  while (b.Visible()) {
    b.Tick();
    ++ticks;
  }
  EXPECT_EQ(ticks, 22);  // the first phase starts at the counter's 0
  for (int phase = 0; phase < 4; ++phase) {
    bool was = b.Visible();
    int n = 0;
    while (b.Visible() == was) {
      b.Tick();
      ++n;
    }
    EXPECT_EQ(n, 23) << phase;
  }
}

TEST(IntroScan, MarksAndJumpsForLongAndShortTracks) {
  const uint64_t rate = 1000;  // bytes per second
  const uint64_t f = 20 * rate, half = rate / 2;
  // Three minutes from 0: fragments at 20 s, 80 s and 140 s; jumps to just before the thirds.
  auto m = IntroMarks(180 * rate, 0, f);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0], 20 * rate);
  EXPECT_EQ(m[1], 80 * rate);
  EXPECT_EQ(m[2], 140 * rate);
  EXPECT_EQ(IntroJump(0, 180 * rate, half, m[0]), 60 * rate - half);
  EXPECT_EQ(IntroJump(2, 180 * rate, half, m[2]), 180 * rate - half);
  // With a start offset the marks move with it.
  m = IntroMarks(180 * rate, 30 * rate, f);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0], 50 * rate);
  // 59 s: a third of it is shorter than a fragment: no notification at all.
  EXPECT_TRUE(IntroMarks(59 * rate, 0, f).empty());
  EXPECT_TRUE(IntroMarks(100 * rate, 100 * rate, f).empty());
  // A minute from the offset 60 s into a three-minute track: marks at 80, 120 and 160 s, but
  // only the last jump (to 179.5 s) lies ahead of its mark: one fragment instead of three.
  m = IntroMarks(180 * rate, 60 * rate, f);
  ASSERT_EQ(m.size(), 3u);
  int jumps = 0;
  for (int i = 0; i < 3; ++i) jumps += IntroJump(i, 180 * rate, half, m[static_cast<size_t>(i)]).has_value();
  EXPECT_EQ(jumps, 1);
  EXPECT_EQ(IntroJump(2, 180 * rate, half, m[2]), 180 * rate - half);
  // From the start, a track whose third is just over a fragment gets all three.
  m = IntroMarks(62 * rate, 0, f);
  jumps = 0;
  for (int i = 0; i < 3; ++i) jumps += IntroJump(i, 62 * rate, half, m[static_cast<size_t>(i)]).has_value();
  EXPECT_EQ(jumps, 3);
}

TEST(IntroScan, StartOffsetsCycle) {
  int i = 0;
  int seen[7];
  for (int k = 0; k < 7; ++k) {
    seen[k] = kStartOffsets[i];
    i = NextStartOffsetIndex(i);
  }
  EXPECT_EQ(seen[5], 60);
  EXPECT_EQ(seen[6], 0);
  EXPECT_EQ(NextStartOffsetIndex(99), 0);
}

TEST(Names, UnquoteJoinFillCompare) {
  EXPECT_EQ(Unquote(u"  \"C:\\Music\\a b.wav\" "), u"C:\\Music\\a b.wav");
  EXPECT_EQ(NameOfPath(u"C:\\Music\\a.wav"), u"a.wav");
  EXPECT_EQ(NameOfPath(u"a.wav"), u"a.wav");
  EXPECT_EQ(JoinPanelPath(u"C:\\Music", u"a.wav"), u"C:\\Music\\a.wav");
  EXPECT_EQ(JoinPanelPath(u"C:\\", u"a.wav"), u"C:\\a.wav");
  EXPECT_EQ(JoinPanelPath(u"C:\\Music", u"D:\\x\\a.wav"), u"D:\\x\\a.wav");
  EXPECT_EQ(FillTemplate(u"/add \"%s\" 100%%", u"C:\\a.wav"), u"/add \"C:\\a.wav\" 100%");
  EXPECT_TRUE(IsAbsolutePath(u"c:\\x"));
  EXPECT_TRUE(IsAbsolutePath(u"\\\\server\\share\\x"));
  EXPECT_FALSE(IsAbsolutePath(u"x.wav"));
  EXPECT_TRUE(SameName(u"Song.WAV", u"song.wav"));
  EXPECT_TRUE(SameName(u"\u041F\u0435\u0441\u043D\u044F", u"\u043F\u0415\u0421\u043D\u044F"));
  EXPECT_FALSE(SameName(u"a.wav", u"a.wa"));
}

TEST(Names, Utf8TitlesAndBrokenBytes) {
  EXPECT_EQ(FromUtf8("Abc \xD0\x9F\xE2\x96\xBA \xF0\x9F\x8E\xB5"), u"Abc \u041F\u25BA \U0001F3B5");
  EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");      // overlong
  EXPECT_EQ(FromUtf8("a\xE2\x96"), u"a\uFFFD\uFFFD");     // cut short
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // a surrogate
}

// ---- Settings --------------------------------------------------------------------------------

TEST(Settings, MissingValuesGiveTheDefaults) {
  MemoryStore store;
  Settings s = LoadSettings(store);
  EXPECT_EQ(s.volume, 8);
  EXPECT_EQ(s.dlgsize, 0x000A0046u);
  EXPECT_EQ(s.dlgpos, 0xFFFFFFFFu);
  EXPECT_EQ(s.extPlayerDefAction, -1);
  EXPECT_EQ(s.buttonsChars, u"<\u25BA>\u25A0\u2551");
  EXPECT_EQ(s.colors[2], 0x6E);
  EXPECT_EQ(s.Width(), 70);
}

TEST(Settings, LimitsOnReading) {
  MemoryStore store;
  store.values["Volume"] = DwordValue(20);
  store.values["Dlgsize"] = DwordValue(0x000C0050);
  store.values["PosSliderChars"] = WideValue(u"<#>.|!");  // 6 characters: 14 bytes, over 12
  store.values["PanSliderChars"] = WideValue(u"l-(o)r");  // exactly 14 bytes: taken
  store.values["Colors"] = RawValue{ValueType::Binary, {1, 2, 3}};  // not 14 bytes
  store.values["Dlgpos"] = DwordValue(0x00050003);
  store.values["Showms"] = WideValue(u"1");  // of the wrong type
  Settings s = LoadSettings(store);
  EXPECT_EQ(s.volume, 14);
  EXPECT_EQ(s.dlgsize, 0x000A0050u);
  EXPECT_EQ(s.Width(), 80);
  EXPECT_EQ(s.posSliderChars, u"[=|-]");
  EXPECT_EQ(s.panSliderChars, u"l-(o)r");
  EXPECT_EQ(s.colors[0], 0x8F);
  EXPECT_EQ(s.normalPos, 0x00050003u);
  EXPECT_EQ(s.showms, 1u);
  store.values["Volume"] = DwordValue(static_cast<uint32_t>(-3));
  store.values["TagsTemplate"] = EightBitValue(std::string(200, 'x'));  // 201 bytes with its end
  EXPECT_EQ(LoadSettings(store).volume, 0);
  EXPECT_EQ(LoadSettings(store).tagsTemplate, Settings().tagsTemplate);
  store.values["Dlgsize"] = DwordValue(0x000A0005);  // a width the items do not fit in
  EXPECT_EQ(LoadSettings(store).Width(), kMinDialogWidth);
}

TEST(Settings, SaveThenLoadKeepsEverythingAndEmptyTemplatesKeepTheStoredOnes) {
  MemoryStore store;
  store.values["ExtPlayerPlay"] = WideValue(u"/play \"%s\"", ValueType::ExpandString);
  Settings s;
  s.demoMode = 1;
  s.volume = 3;
  s.dlgsize = 0x00140050;
  s.dlgpos = 0x00020004;
  s.extPlayerPath = u"%ProgramFiles%\\player.exe";
  s.extPlayerPlay = u"";  // emptied in the menu
  s.extPlayerDefAction = 1;
  s.tagsTemplate = "%TITL";
  s.colors[13] = 0x11;
  s.visibleLinesMask = 0x7F;
  SaveSettings(store, s);
  EXPECT_EQ(store.values["ExtPlayerPlay"].bytes, WideValue(u"/play \"%s\"").bytes);
  EXPECT_EQ(store.values["ExtPlayerPath"].type, ValueType::ExpandString);
  EXPECT_EQ(store.values.count("ExtPlayerAddToPlaylist"), 0u);
  Settings back = LoadSettings(store);
  EXPECT_EQ(back.demoMode, 1u);
  EXPECT_EQ(back.volume, 3);
  EXPECT_EQ(back.dlgsize, 0x000A0050u);  // height forced to 10 on saving
  EXPECT_EQ(back.dlgpos, 0x00020004u);
  EXPECT_EQ(back.extPlayerPath, s.extPlayerPath);
  EXPECT_EQ(back.extPlayerPlay, u"/play \"%s\"");
  EXPECT_EQ(back.extPlayerDefAction, 1);
  EXPECT_EQ(back.tagsTemplate, "%TITL");
  EXPECT_EQ(back.colors[13], 0x11);
  EXPECT_EQ(back.visibleLinesMask, 0x7Fu);
  // Every row of the table was written except the two empty templates.
  EXPECT_EQ(store.writes.size(), SettingNames().size() - 2);
}

}  // namespace
