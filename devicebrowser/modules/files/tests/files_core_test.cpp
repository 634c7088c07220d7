// The file panel's decisions against scripted device answers: what a listing shows, when it
// reconnects, when its status window opens and what Esc leaves on the panel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devicebrowser/modules/files/core/listing.h"

using namespace handrel::files;

namespace {

struct Entry {
  std::u16string name;
  uint32_t attributes;
  bool damaged = false;  // the name fills its whole field, no terminator
};

// A device folder as the remote access layer would answer it; First fails on the transport while
// transportFailures lasts.
class ScriptedSearch : public FolderSearch {
 public:
  std::vector<Entry> entries;
  int transportFailures = 0;
  bool reconnectWorks = true;
  int firstCalls = 0, reconnects = 0;
  std::u16string lastPattern;
  bool First(const std::u16string& pattern) override {
    ++firstCalls;
    lastPattern = pattern;
    if (transportFailures > 0) {
      --transportFailures;
      transport_ = true;
      return false;
    }
    transport_ = false;
    index_ = 0;
    return Load();
  }
  bool Next() override {
    ++index_;
    return Load();
  }
  void Close() override {}
  const char16_t* NameField() override { return field_; }
  uint32_t Attributes() override { return entries[index_].attributes; }
  bool TransportFailed() override { return transport_; }
  bool Reconnect() override {
    ++reconnects;
    return reconnectWorks;
  }

 private:
  bool Load() {
    if (index_ >= entries.size()) return false;
    const Entry& e = entries[index_];
    for (size_t i = 0; i < kDeviceNameField; ++i) field_[i] = e.damaged ? u'x' : 0;
    if (!e.damaged) e.name.copy(field_, kDeviceNameField - 1);
    return true;
  }
  char16_t field_[kDeviceNameField];
  size_t index_ = 0;
  bool transport_ = false;
};

// A user who watches the clock advance by `stepMs` per entry and presses Esc at entry `escAt`.
class ClockUi : public ListingUi {
 public:
  uint32_t stepMs = 0, now = 0;
  int escAt = -1, escapes = 0, opened = 0, incomplete = 0;
  uint32_t ElapsedMs() override { return now += stepMs; }
  void OpenStatus() override { ++opened; }
  bool Escape() override { return ++escapes == escAt; }
  void ShowIncomplete() override { ++incomplete; }
};

std::vector<std::u16string> List(ScriptedSearch& s, const std::u16string& folder, bool rom, ListingUi* ui,
                                 ListingResult* out = nullptr) {
  std::vector<std::u16string> names;
  ListingResult r = ListFolder(s, folder, rom, ui, [&](const std::u16string& n) { names.push_back(n); });
  if (out) *out = r;
  return names;
}

TEST(Listing, RomEntriesFollowTheSettingAndDotsNeverShow) {
  ScriptedSearch s;
  s.entries = {{u".", kAttrFolder}, {u"..", kAttrFolder}, {u"boot.rom", kAttrInRom | kAttrReadOnly},
               {u"notes.txt", kAttrArchive}, {u"Windows", kAttrFolder | kAttrInRom}};
  EXPECT_EQ(List(s, u"", false, nullptr), (std::vector<std::u16string>{u"notes.txt"}));
  EXPECT_EQ(s.lastPattern, u"\\*.*");
  EXPECT_EQ(List(s, u"Docs\\", true, nullptr), (std::vector<std::u16string>{u"boot.rom", u"notes.txt", u"Windows"}));
  EXPECT_EQ(s.lastPattern, u"\\Docs\\*.*");
}

TEST(Listing, ANameWithoutTerminatorIsSkippedAndTheRestListed) {
  ScriptedSearch s;
  s.entries = {{u"a", 0}, {u"", 0, true}, {u"b", 0}};
  ListingResult r;
  EXPECT_EQ(List(s, u"", false, nullptr, &r), (std::vector<std::u16string>{u"a", u"b"}));
  EXPECT_EQ(r.skippedDamaged, 1);
  // A name of exactly 259 characters still has its terminator in the field.
  s.entries = {{std::u16string(259, u'n'), 0}};
  EXPECT_EQ(List(s, u"", false, nullptr).at(0).size(), 259u);
}

TEST(Listing, ATransportFailureReconnectsAndSearchesOnceMore) {
  ScriptedSearch s;
  s.entries = {{u"a", 0}};
  s.transportFailures = 1;
  ListingResult r;
  EXPECT_EQ(List(s, u"", false, nullptr, &r).size(), 1u);
  EXPECT_TRUE(r.reconnected);
  EXPECT_EQ(s.firstCalls, 2);
  // Failing again after the reconnect: an empty panel, no third try.
  s.transportFailures = 2;
  s.firstCalls = s.reconnects = 0;
  EXPECT_TRUE(List(s, u"", false, nullptr).empty());
  EXPECT_EQ(s.firstCalls, 2);
  EXPECT_EQ(s.reconnects, 1);
  // A reconnect that does not bring the connection back is not followed by a search.
  s.transportFailures = 1;
  s.reconnectWorks = false;
  s.firstCalls = 0;
  EXPECT_TRUE(List(s, u"", false, nullptr).empty());
  EXPECT_EQ(s.firstCalls, 1);
}

TEST(Listing, AFolderTheDeviceRefusesIsEmptyWithoutReconnecting) {
  ScriptedSearch s;  // no entries at all: First fails, but not on the transport
  EXPECT_TRUE(List(s, u"Gone\\", false, nullptr).empty());
  EXPECT_EQ(s.reconnects, 0);
}

TEST(Listing, TheStatusWindowOpensAfterASecondAndEscKeepsWhatWasGathered) {
  ScriptedSearch s;
  for (int i = 0; i < 10; ++i) s.entries.push_back({u"f" + std::u16string(1, char16_t(u'0' + i)), 0});
  ClockUi quick;  // a fast listing never opens the window nor polls Esc
  quick.stepMs = 10;
  EXPECT_EQ(List(s, u"", false, &quick).size(), 10u);
  EXPECT_EQ(quick.opened, 0);
  EXPECT_EQ(quick.escapes, 0);

  ClockUi slow;  // 300 ms per entry: opens at the fourth, Esc confirmed at the second poll
  slow.stepMs = 300;
  slow.escAt = 2;
  ListingResult r;
  auto names = List(s, u"", false, &slow, &r);
  EXPECT_EQ(slow.opened, 1);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(slow.incomplete, 1);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"f0", u"f1", u"f2", u"f3", u"f4"}));
}

}  // namespace
