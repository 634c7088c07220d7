// Perchlet's logic over recording fakes: the title search, the tray thread's decisions step by
// step as the loop, the timer and the window procedure would call them, the icon file rule and
// the setting.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "consoletray/core/tray.h"

using namespace perchlet;

namespace {

// A console whose window shows the title only after `lagRounds` enumerations.
struct FakeFinder : ConsoleFinder {
  std::string title = "Kel - C:\\work";
  int lagRounds = 0;       // enumerations that miss the window before it shows the title
  bool never = false;      // no window ever shows it
  int enumerations = 0;
  uint32_t waited = 0;
  std::vector<std::string> titlesSet;
  std::string ReadTitle(size_t maxChars) override { return title.substr(0, maxChars); }
  void SetTitle(const std::string& t) override {
    title = t;
    titlesSet.push_back(t);
  }
  uintptr_t FindTopLevelWindow(const std::string& text) override {
    ++enumerations;
    if (never || enumerations <= lagRounds) return 0;
    return text == title ? 0x1234 : 0;
  }
  void Wait(uint32_t ms) override { waited += ms; }
  uint32_t ProcessId() override { return 4242; }
  uint32_t TickCount() override { return 0x80000001u; }  // shown as a negative "%d"
};

TEST(TitleSearch, FindsTheWindowShowingATitleOfItsOwnAndRestoresTheTitle) {
  FakeFinder f;
  EXPECT_EQ(FindConsoleWindow(f), 0x1234u);
  EXPECT_EQ(f.enumerations, 1);
  EXPECT_EQ(f.waited, 0u);
  ASSERT_EQ(f.titlesSet.size(), 2u);
  EXPECT_EQ(f.titlesSet[0], "4242--2147483647");
  EXPECT_EQ(f.title, "Kel - C:\\work");
}

TEST(TitleSearch, RetriesWithTheTitleSetAgainAndGivesUpAfterTenEnumerations) {
  FakeFinder slow;
  slow.lagRounds = 9;  // found on the tenth, the last one allowed
  EXPECT_EQ(FindConsoleWindow(slow), 0x1234u);
  EXPECT_EQ(slow.enumerations, 10);
  EXPECT_EQ(slow.waited, 900u);
  EXPECT_EQ(slow.titlesSet.size(), 11u);  // once, nine times again, then the old title
  EXPECT_EQ(slow.title, "Kel - C:\\work");

  FakeFinder never;
  never.never = true;
  EXPECT_EQ(FindConsoleWindow(never), 0u);
  EXPECT_EQ(never.enumerations, 10);
  EXPECT_EQ(never.waited, 900u);
  EXPECT_EQ(never.title, "Kel - C:\\work");
}

TEST(TitleSearch, ALongTitleIsReadUpToItsLimit) {
  FakeFinder f;
  f.title = std::string(2000, 'x');
  FindConsoleWindow(f);
  EXPECT_EQ(f.title.size(), kTitleMaxChars);
}

TEST(Tip, CutToSixtyThreeCharactersAndAtAZero) {
  EXPECT_EQ(CutTip(""), "");
  EXPECT_EQ(CutTip(std::string(63, 'a')), std::string(63, 'a'));
  EXPECT_EQ(CutTip(std::string(64, 'a')), std::string(63, 'a'));
  EXPECT_EQ(CutTip(std::string("Kel\0hidden", 10)), "Kel");
}

TEST(IconFile, LastThreeCharactersBecomeIco) {
  EXPECT_EQ(IconFileFor("C:\\Kel\\Kel.exe"), "C:\\Kel\\Kel.ico");
  EXPECT_EQ(IconFileFor("C:\\Kel\\KEL.EXE"), "C:\\Kel\\KEL.ico");
  EXPECT_EQ(IconFileFor("C:\\Kel\\kel"), "C:\\Kel\\ico");  // the rule, not the extension
  EXPECT_EQ(IconFileFor("abc"), "ico");
  EXPECT_EQ(IconFileFor("ab"), std::nullopt);
}

// The console window and the notification area as the tray thread sees them.
struct FakeTray : TraySystem {
  bool visible = true, minimised = false;
  std::string title = "Kel";
  std::vector<std::string> calls;
  std::string throwIn;  // a call that throws
  void Maybe(const std::string& call) {
    calls.push_back(call);
    if (call.rfind(throwIn, 0) == 0 && !throwIn.empty()) throw std::runtime_error("broken " + throwIn);
  }
  bool ConsoleVisible(uintptr_t) override { return visible; }
  bool ConsoleMinimised(uintptr_t) override { return minimised; }
  void HideConsole(uintptr_t) override {
    Maybe("hide");
    visible = false;
  }
  void RestoreConsole(uintptr_t) override {
    Maybe("restore");
    visible = true;
    minimised = false;
  }
  void ShowConsole(uintptr_t) override {
    Maybe("show");
    visible = true;
  }
  std::string ConsoleTitle() override { return title; }
  void AddIcon(const std::string& tip) override { Maybe("add " + tip); }
  void ModifyIcon(const std::string& tip) override { Maybe("modify " + tip); }
  void RemoveIcon() override { Maybe("remove"); }
  void Report(const char* entry, const char* what) override { calls.push_back(std::string("report ") + entry + ": " + what); }
};

struct TrayFixture : ::testing::Test {
  TrayFixture() { shared.console.store(0x1234); }
  Shared shared;
  FakeTray sys;
  Tray tray{shared, sys};
  std::vector<std::string> Calls() {
    auto c = sys.calls;
    sys.calls.clear();
    return c;
  }
};

using V = std::vector<std::string>;

TEST_F(TrayFixture, AMinimisedConsoleIsHiddenAndTheIconShownThenAClickBringsItBack) {
  EXPECT_TRUE(tray.AfterMessage());
  EXPECT_EQ(Calls(), V{});
  sys.minimised = true;
  sys.title = "Kel - C:\\work";
  EXPECT_TRUE(tray.AfterMessage());
  EXPECT_EQ(Calls(), (V{"hide", "add Kel - C:\\work"}));
  EXPECT_EQ(shared.iconShown.load(), 1u);
  EXPECT_TRUE(tray.AfterMessage());  // nothing twice
  EXPECT_EQ(Calls(), V{});
  tray.OnIconMessage(0x200);  // moving over it does nothing
  tray.OnIconMessage(0x201);
  EXPECT_EQ(Calls(), V{});
  tray.OnIconMessage(kLeftButtonUp);
  EXPECT_EQ(Calls(), (V{"remove", "restore"}));
  EXPECT_EQ(shared.iconShown.load(), 0u);
  EXPECT_TRUE(tray.AfterMessage());
  EXPECT_EQ(Calls(), V{});
}

TEST_F(TrayFixture, DisabledAMinimisedConsoleStaysButAHiddenOneStillGetsTheIcon) {
  shared.disable.store(1);
  sys.minimised = true;
  tray.AfterMessage();
  EXPECT_EQ(Calls(), V{});
  // Hidden by someone else: the icon is the only way back, so it is shown all the same.
  sys.visible = false;
  tray.AfterMessage();
  EXPECT_EQ(Calls(), V{"add Kel"});
}

TEST_F(TrayFixture, WithoutAConsoleWindowNothingIsWatched) {
  shared.console.store(0);
  sys.visible = false;
  EXPECT_TRUE(tray.AfterMessage());
  tray.OnIconMessage(kLeftButtonUp);
  EXPECT_EQ(Calls(), V{"remove"});
  EXPECT_EQ(shared.iconShown.load(), 0u);
}

TEST_F(TrayFixture, TheExitFlagEndsTheLoopAndLeavingShowsAHiddenConsoleBeforeRemovingTheIcon) {
  sys.minimised = true;
  tray.AfterMessage();
  Calls();
  shared.exit.store(1);
  EXPECT_FALSE(tray.AfterMessage());
  EXPECT_EQ(Calls(), V{});
  tray.OnLeave();
  EXPECT_EQ(Calls(), (V{"show", "remove"}));
  EXPECT_EQ(shared.iconShown.load(), 0u);
  // With the console on screen, leaving only removes the icon.
  tray.OnLeave();
  EXPECT_EQ(Calls(), V{"remove"});
}

TEST_F(TrayFixture, TheTipFollowsTheTitleEverySecondWhileTheIconIsShown) {
  for (int i = 0; i < 10; ++i) tray.OnTick();
  EXPECT_EQ(shared.elapsedMs.load(), 1000u);
  EXPECT_EQ(Calls(), V{});  // no icon, no refresh
  sys.minimised = true;
  tray.AfterMessage();
  Calls();
  sys.title = std::string(70, 'T');
  for (int i = 0; i < 9; ++i) tray.OnTick();
  EXPECT_EQ(Calls(), V{});
  tray.OnTick();
  EXPECT_EQ(Calls(), V{"modify " + std::string(63, 'T')});
  EXPECT_EQ(shared.elapsedMs.load(), 2000u);
}

TEST_F(TrayFixture, TheCounterWrapsOnTheSecond) {
  shared.iconShown.store(1);
  shared.elapsedMs.store(4294966900u);
  tray.OnTick();
  EXPECT_EQ(shared.elapsedMs.load(), 0u);
  EXPECT_EQ(Calls(), V{"modify Kel"});
  for (int i = 0; i < 10; ++i) tray.OnTick();
  EXPECT_EQ(Calls(), V{"modify Kel"});
}

TEST_F(TrayFixture, ANewNotificationAreaGetsAShownIconAgain) {
  tray.OnTaskbarCreated();
  EXPECT_EQ(Calls(), V{});
  sys.minimised = true;
  tray.AfterMessage();
  Calls();
  sys.title = "now";
  tray.OnTaskbarCreated();
  EXPECT_EQ(Calls(), V{"add now"});
}

TEST_F(TrayFixture, AnExceptionIsReportedAndTheThreadCarriesOn) {
  sys.minimised = true;
  sys.throwIn = "add";
  EXPECT_TRUE(tray.AfterMessage());
  EXPECT_EQ(Calls(), (V{"hide", "add Kel", "report the tray loop: broken add"}));
  EXPECT_EQ(shared.iconShown.load(), 1u);  // as a refused add: TaskbarCreated tries again
  sys.throwIn = "modify";
  for (int i = 0; i < 10; ++i) tray.OnTick();
  EXPECT_EQ(Calls(), (V{"modify Kel", "report the tray timer: broken modify"}));
  sys.throwIn = "remove";
  tray.OnIconMessage(kLeftButtonUp);
  EXPECT_EQ(Calls(), (V{"remove", "report the tray window: broken remove"}));
  sys.throwIn = "show";
  tray.OnLeave();  // the icon is still marked shown: the console is shown, the throw reported, the icon removed
  EXPECT_EQ(Calls(), (V{"show", "report the tray loop: broken show", "remove"}));
  EXPECT_EQ(shared.iconShown.load(), 0u);
}

struct MapStore : SettingsStore {
  std::map<std::string, uint32_t> values;
  bool failWrites = false;
  std::optional<uint32_t> ReadDword(const char* name) override {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  bool WriteDword(const char* name, uint32_t value) override {
    if (failWrites) return false;
    values[name] = value;
    return true;
  }
};

TEST(Settings, DisableDefaultsToZeroAndRoundTrips) {
  MapStore store;
  EXPECT_EQ(LoadSettings(store).disable, 0u);
  Settings s;
  s.disable = 7;
  EXPECT_TRUE(SaveSettings(store, s));
  EXPECT_EQ(store.values, (std::map<std::string, uint32_t>{{"Disable", 7}}));
  EXPECT_EQ(LoadSettings(store).disable, 7u);
  store.failWrites = true;
  EXPECT_FALSE(SaveSettings(store, s));
}

TEST(Settings, TheMenuChecksTheCurrentChoiceAndEscChangesNothing) {
  auto on = ConfigureMenu(0);
  ASSERT_EQ(on.size(), 2u);
  EXPECT_STREQ(on[0].text, "&Enable");
  EXPECT_STREQ(on[1].text, "&Disable");
  EXPECT_TRUE(on[0].checked);
  EXPECT_FALSE(on[1].checked);
  auto off = ConfigureMenu(5);
  EXPECT_FALSE(off[0].checked);
  EXPECT_TRUE(off[1].checked);
  EXPECT_EQ(ApplyMenuChoice(0, 1), 1u);
  EXPECT_EQ(ApplyMenuChoice(5, 0), 0u);
  EXPECT_EQ(ApplyMenuChoice(5, -1), 5u);
  EXPECT_EQ(ApplyMenuChoice(0, -1), 0u);
}

}  // namespace
