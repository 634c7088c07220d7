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

// A find record's name field as the device fills it: the name and zeros, or (damaged) the whole
// field taken by characters.
void FillField(char16_t (&field)[kDeviceNameField], const Entry& e) {
  for (auto& c : field) c = e.damaged ? u'x' : 0;
  if (!e.damaged) e.name.copy(field, kDeviceNameField - 1);
}

// The entries of one search, handed out one at a time through a name field.
template <class Seam>
class ScriptedEntries : public Seam {
 public:
  bool Next() override {
    ++index_;
    return Load();
  }
  void Close() override {}
  const char16_t* NameField() override { return field_; }
  uint32_t Attributes() override { return shown_[index_].attributes; }

 protected:
  bool Start(std::vector<Entry> entries) {
    shown_ = std::move(entries);
    index_ = 0;
    return Load();
  }

 private:
  bool Load() {
    if (index_ >= shown_.size()) return false;
    FillField(field_, shown_[index_]);
    return true;
  }
  std::vector<Entry> shown_;
  size_t index_ = 0;
  char16_t field_[kDeviceNameField];
};

// A device folder as the remote access layer would answer it; First fails on the transport while
// transportFailures lasts.
class ScriptedSearch : public ScriptedEntries<FolderSearch> {
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
    return Start(entries);
  }
  bool TransportFailed() override { return transport_; }
  bool Reconnect() override {
    ++reconnects;
    return reconnectWorks;
  }

 private:
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

// ---- Delete ---------------------------------------------------------------------------------

#include <map>

#include "devicebrowser/modules/files/core/remove.h"

namespace {

// A device tree in memory: paths to attributes ("\a\b"), folders with kAttrFolder. Protected
// paths refuse attribute changes with access denied; the library deletes only those it knows.
class MemoryDevice : public ScriptedEntries<DeleteSeam> {
 public:
  std::map<std::u16string, uint32_t> entries;
  std::map<std::u16string, bool> protectedPaths;  // value: the library can delete it
  std::vector<std::u16string> libraryDeletes;
  std::u16string damagedIn;  // a folder whose listing holds a name without terminator
  uint32_t LastError() override { return error_; }
  bool SetAttributes(const std::u16string& path, uint32_t attributes) override {
    if (!entries.count(path)) return Err(kErrorNotFound);
    if (protectedPaths.count(path)) return Err(kErrorAccessDenied);
    entries[path] = (entries[path] & kAttrFolder) | attributes;
    return true;
  }
  bool DeleteThroughLibrary(const std::u16string& path) override {
    libraryDeletes.push_back(path);
    auto it = protectedPaths.find(path);
    if (it == protectedPaths.end() || !it->second) return Err(kErrorAccessDenied);
    entries.erase(path);
    return true;
  }
  bool DeleteFile(const std::u16string& path) override {
    auto it = entries.find(path);
    if (it == entries.end()) return Err(kErrorNotFound);
    if (it->second & (kAttrReadOnly | kAttrFolder)) return Err(kErrorAccessDenied);
    entries.erase(it);
    return true;
  }
  bool RemoveFolder(const std::u16string& path) override {
    for (auto& [p, a] : entries)
      if (p.size() > path.size() && p.compare(0, path.size() + 1, path + u"\\") == 0) return Err(145);
    return entries.erase(path) ? true : Err(kErrorNotFound);
  }
  bool First(const std::u16string& pattern) override {
    std::vector<Entry> listing;
    std::u16string folder = pattern.substr(0, pattern.size() - 4);  // without "\*.*"
    if (!entries.count(folder)) return Err(3);
    for (auto& [p, a] : entries)
      if (p.size() > folder.size() + 1 && p.compare(0, folder.size() + 1, folder + u"\\") == 0 &&
          p.find(u'\\', folder.size() + 1) == std::u16string::npos)
        listing.push_back({p.substr(folder.size() + 1), a});
    if (folder == damagedIn) listing.push_back({u"", 0, true});
    return Start(std::move(listing));
  }
  bool TransportFailed() override { return false; }
  bool Reconnect() override { return false; }

 private:
  bool Err(uint32_t e) {
    error_ = e;
    return false;
  }
  uint32_t error_ = 0;
};

class CountingUi : public DeleteUi {
 public:
  std::vector<std::u16string> shown;
  int escAt = -1, polls = 0;
  void Status(const std::u16string& path) override { shown.push_back(path); }
  bool Escape() override { return ++polls == escAt; }
};

TEST(Delete, ReadOnlyProtectedAndVanishedFiles) {
  MemoryDevice d;
  d.entries = {{u"\\ro.txt", kAttrReadOnly}, {u"\\locked.txt", kAttrArchive}, {u"\\stuck.txt", kAttrArchive}};
  d.protectedPaths = {{u"\\locked.txt", true}, {u"\\stuck.txt", false}};
  DeleteReport r;
  // Read-only: its attributes go to normal, then it is deleted; the library is not needed.
  EXPECT_TRUE(DeleteDeviceFile(d, u"\\ro.txt", r));
  EXPECT_FALSE(d.entries.count(u"\\ro.txt"));
  EXPECT_TRUE(d.libraryDeletes.empty());
  // Refused with access denied: the library deletes it, and the plain delete finding it gone is fine.
  EXPECT_TRUE(DeleteDeviceFile(d, u"\\locked.txt", r));
  EXPECT_EQ(d.libraryDeletes, std::vector<std::u16string>{u"\\locked.txt"});
  // Gone before we came: not an error.
  EXPECT_TRUE(DeleteDeviceFile(d, u"\\never-there.txt", r));
  // The library refuses too: a failure with the path and the error kept for the message.
  EXPECT_FALSE(DeleteDeviceFile(d, u"\\stuck.txt", r));
  EXPECT_EQ(r.outcome, DeleteOutcome::kFailed);
  EXPECT_EQ(r.path, u"\\stuck.txt");
  EXPECT_EQ(r.error, kErrorAccessDenied);
  EXPECT_TRUE(d.entries.count(u"\\stuck.txt"));
}

TEST(Delete, FoldersGoWithEverythingInsideAndStopAtTheFirstFailure) {
  MemoryDevice d;
  d.entries = {{u"\\T", kAttrFolder},          {u"\\T\\a", kAttrArchive},          {u"\\T\\S", kAttrFolder},
               {u"\\T\\S\\ro", kAttrReadOnly}, {u"\\T\\S\\E", kAttrFolder},         {u"\\Keep", kAttrArchive}};
  CountingUi ui;
  DeleteReport r = DeleteDeviceFolder(d, u"\\T", &ui);
  EXPECT_EQ(r.outcome, DeleteOutcome::kDone);
  EXPECT_EQ(d.entries.size(), 1u);
  EXPECT_TRUE(d.entries.count(u"\\Keep"));
  EXPECT_EQ(ui.shown.size(), 4u);  // every entry's path shown in turn
  EXPECT_EQ(ui.polls, 4);          // Esc after each

  // A file inside that cannot go: the folder and what follows stay.
  d.entries = {{u"\\T", kAttrFolder}, {u"\\T\\a", kAttrArchive}, {u"\\T\\b", kAttrArchive}, {u"\\T\\c", kAttrArchive}};
  d.protectedPaths = {{u"\\T\\b", false}};
  r = DeleteDeviceFolder(d, u"\\T", nullptr);
  EXPECT_EQ(r.outcome, DeleteOutcome::kFailed);
  EXPECT_EQ(r.path, u"\\T\\b");
  EXPECT_FALSE(d.entries.count(u"\\T\\a"));
  EXPECT_TRUE(d.entries.count(u"\\T\\c"));
  EXPECT_TRUE(d.entries.count(u"\\T"));
}

TEST(Delete, EscStopsInsideAFolderAndADamagedNameKeepsTheFolder) {
  MemoryDevice d;
  d.entries = {{u"\\T", kAttrFolder}, {u"\\T\\a", 0}, {u"\\T\\b", 0}, {u"\\T\\c", 0}};
  CountingUi ui;
  ui.escAt = 2;
  DeleteReport r = DeleteDeviceFolder(d, u"\\T", &ui);
  EXPECT_EQ(r.outcome, DeleteOutcome::kCancelled);
  EXPECT_FALSE(d.entries.count(u"\\T\\b"));
  EXPECT_TRUE(d.entries.count(u"\\T\\c"));
  EXPECT_TRUE(d.entries.count(u"\\T"));

  // A listing with a name that fills its field: nothing is deleted on a guess, the folder stays.
  d.entries = {{u"\\D", kAttrFolder}, {u"\\D\\a", 0}};
  d.damagedIn = u"\\D";
  r = DeleteDeviceFolder(d, u"\\D", nullptr);
  EXPECT_EQ(r.outcome, DeleteOutcome::kFailed);
  EXPECT_EQ(r.error, kErrorInvalidData);
  EXPECT_TRUE(d.entries.count(u"\\D\\a"));
}

}  // namespace

// ---- Texts built from names ---------------------------------------------------------------------

#include "devicebrowser/modules/files/core/texts.h"

namespace {

TEST(Texts, TheDeleteQuestionCutsALongNameOnlyPastItsLimit) {
  const std::string n67(67, 'c'), n68(68, 'd');
  EXPECT_EQ(DeleteQuestion(false, n67, 1), "Do you want to delete file\n" + n67);
  EXPECT_EQ(DeleteQuestion(true, n68, 1), "Do you want to delete folder\n" + std::string(65, 'd') + "...");
  EXPECT_EQ(DeleteQuestion(true, n68, 12), "Do you want to delete\n12 items");
}

}  // namespace
