// Nothing lost: seeded random copies and moves between the emulated device and a local folder,
// with the device failing at random calls (the connection lost, access denied, disk full, through
// its fault script) and the user giving random answers to every question (overwrite, all, skip,
// skip all, append, cancel; retry, skip, skip all, abort; Esc). After each operation every file the
// test can see on both sides is compared with what it was (reliab_check.h).
//
// Two drivers: the user's way, through the device browser plugin and files.module in the host
// stand-in (F5/F6 on a panel), and the transfer engine's own entry with a random user.
//
// KEL_RELIAB_SEED (default 33, printed) and KEL_RELIAB_OPS (operations per driver)
// come from the environment; a failure prints the seed and the operation to replay it.
#include <windows.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "devicebrowser/common/transfer/win/transfer_win.h"
#include "devicebrowser/common/framework/tests/module_wine_support.h"
#include "devicebrowser/modules/files/tests/reliab_check.h"
#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"
#include "standins/rapi/win/device_folder.h"

namespace {

std::wstring g_plugin, g_module;
// The operation under way, for a run that ends the process: printed with the seed to replay it.
char g_current[200] = "no operation yet";

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != 0 ? static_cast<int>(std::strtoul(text, nullptr, 0)) : fallback;
}

void Step(const char* what) {
  if (EnvInt("KEL_RELIAB_VERBOSE", 0) != 0) {
    std::printf("  -- %s\n", what);
    std::fflush(stdout);
  }
}

// Megabytes of the process's address space reserved or committed: a run of thousands of
// operations must not leak it (a 32-bit process has 2 GB).
unsigned AddressSpaceMb() {
  uint64_t used = 0;
  MEMORY_BASIC_INFORMATION info;
  for (uintptr_t at = 0x10000; at < 0x7FFF0000u && VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info) != 0;
       at = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize) {
    if (info.State != MEM_FREE) used += info.RegionSize;
    if (info.RegionSize == 0) break;
  }
  return static_cast<unsigned>(used >> 20);
}

class Random {
 public:
  explicit Random(uint32_t seed) : gen_(seed) {}
  int Below(int n) { return static_cast<int>(gen_() % static_cast<uint32_t>(n)); }
  bool Percent(int p) { return Below(100) < p; }
  // An index into weights, drawn in proportion to them.
  int Weighted(const std::vector<int>& weights) {
    int total = 0;
    for (int w : weights) total += w;
    int pick = Below(total);
    for (size_t i = 0; i < weights.size(); ++i) {
      if (pick < weights[i]) return static_cast<int>(i);
      pick -= weights[i];
    }
    return 0;
  }
  std::string Bytes(size_t size) {
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(gen_());
    return data;
  }
  uint32_t Next() { return gen_(); }

 private:
  std::mt19937 gen_;
};

std::string Utf8(const std::wstring& text) { return kelhost::Utf8(text); }

bool WriteWhole(const std::wstring& path, const std::string& data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = data.empty() || (WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
                             written == data.size());
  CloseHandle(file);
  return ok;
}

bool ReadWhole(const std::wstring& path, std::string& data) { return rapiemu::ReadWholeFile(path, data); }

// Every folder and file below a host folder, keyed by prefix + relative path.
void Walk(const std::wstring& folder, const std::string& prefix, reliab::Snapshot& out) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L".." || name == L".device") continue;
    std::string key = prefix + Utf8(name);
    reliab::Entry entry;
    entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (entry.folder) {
      Walk(folder + L"\\" + name, key + "\\", out);
    } else if (!ReadWhole(folder + L"\\" + name, entry.content)) {
      entry.content = "<unreadable>";
    }
    out[key] = entry;
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

// What the user answered, counted over a whole run.
struct Tally {
  std::map<std::string, int> counts;
  void Add(const std::string& what, int n = 1) { counts[what] += n; }
  std::string Text() const {
    std::string text;
    for (const auto& [what, n] : counts) text += "  " + what + ": " + std::to_string(n) + "\n";
    return text;
  }
};

// The user: random answers to the engine's questions. After many questions in one operation the
// user gives up (cancel, abort), so that a fault that repeats cannot keep the run going forever.
class User {
 public:
  User(Random& random, Tally& tally) : random_(random), tally_(tally) {}
  void Begin() {
    asked_ = 0;
    skipped_ = false;
  }
  bool Skipped() const { return skipped_; }
  // Buttons: Overwrite, All, Skip, Skip all, Append, Cancel; -1 Esc.
  int Overwrite() {
    static const char* names[] = {"overwrite", "all", "skip", "skip all", "append", "cancel", "Esc"};
    int pick = ++asked_ > 20 ? 5 : random_.Weighted({26, 14, 14, 8, 22, 8, 8});
    tally_.Add(std::string("answer ") + names[pick]);
    if (pick == 2 || pick == 3) skipped_ = true;
    return pick == 6 ? -1 : pick;
  }
  // Buttons: Retry, Skip, Skip all, Abort; -1 Esc.
  int OpenError() {
    static const char* names[] = {"retry", "skip", "skip all", "abort", "Esc"};
    int pick = ++asked_ > 20 ? 3 : random_.Weighted({30, 25, 17, 18, 10});
    tally_.Add(std::string("answer ") + names[pick]);
    if (pick == 1 || pick == 2) skipped_ = true;
    return pick == 4 ? -1 : pick;
  }

 private:
  Random& random_;
  Tally& tally_;
  int asked_ = 0;
  bool skipped_ = false;
};

// The device's fault script for one operation: none, one or two calls that fail on a given
// occurrence, or every call failing now and then (each with a seed of its own).
std::string FaultScript(Random& random, Tally& tally) {
  static const char* calls[] = {"CeReadFile",     "CeWriteFile",     "CeCreateFile",        "CeDeleteFile",
                                "CeCloseHandle",  "CeSetFileTime",   "CeSetFileAttributes", "CeGetFileAttributes",
                                "CeFindFirstFile", "CeFindNextFile", "CeGetFileSize",       "CeCreateDirectory",
                                "CeSetFilePointer", "CeGetFileTime",  "CeMoveFile",
                                "CeCopyFile"};
  static const char* outcomes[] = {"lost", "error 5", "error 112"};
  std::string script;
  int kind = random.Below(10);
  if (kind < 2) {
    tally.Add("faults none");
    return script;
  }
  int rules = kind < 8 ? 1 + random.Below(2) : 1;
  for (int i = 0; i < rules; ++i) {
    const char* outcome = outcomes[random.Below(3)];
    if (kind < 8) {
      const char* call = calls[random.Below(static_cast<int>(sizeof calls / sizeof *calls))];
      script += std::string("fail ") + call + " " + std::to_string(1 + random.Below(6)) + " " + outcome + "\n";
      tally.Add(std::string("fault ") + call + " " + outcome);
    } else {
      script += "fail * random " + std::to_string(2 + random.Below(6)) + "% seed " + std::to_string(random.Next()) +
                " " + outcome + "\n";
      tally.Add(std::string("fault * random ") + outcome);
    }
  }
  return script;
}

// One operation's files: a source folder with files and folders on one side, some of them
// selected, some targets already there on the other side (some read-only), and files nobody
// selected on both sides.
struct Plan {
  bool toDevice = false;
  bool move = false;
  std::vector<std::wstring> selected;  // top-level names in W\src
  std::string script;
};

class World {
 public:
  World() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    local_ = std::wstring(temp) + L"reliab-local-" + std::to_wstring(GetCurrentProcessId());
    rapiemu::EmulatedDevice::RemoveTree(local_);
    CreateDirectoryW(local_.c_str(), nullptr);
    device.MakeFolder(L"\\Windows");  // where the plugin puts its device-side library
    for (const std::wstring& root : {device.root(), local_}) {
      CreateDirectoryW((root + L"\\Keep").c_str(), nullptr);
      WriteWhole(root + L"\\Keep\\keep.txt", "kept on both sides");
    }
  }
  ~World() { rapiemu::EmulatedDevice::RemoveTree(local_); }
  const std::wstring& local() const { return local_; }
  std::wstring Root(bool onDevice) const { return onDevice ? device.root() : local_; }

  reliab::Snapshot Take() const {
    reliab::Snapshot snapshot;
    Walk(device.root(), "D\\", snapshot);
    Walk(local_, "L\\", snapshot);
    return snapshot;
  }

  Plan Populate(Random& random, bool toDevice) {
    Plan plan;
    plan.toDevice = toDevice;
    plan.move = random.Percent(50);
    std::wstring source = Root(!toDevice) + L"\\W\\src", target = Root(toDevice) + L"\\W\\dst";
    SetCurrentDirectoryW(local_.c_str());  // the host makes the computer's panel folder the current one
    for (const std::wstring& root : {device.root(), local_}) {
      rapiemu::EmulatedDevice::RemoveTree(root + L"\\W");
      if (root == device.root() && GetFileAttributesW((root + L"\\W").c_str()) != INVALID_FILE_ATTRIBUTES) {
        // A device handle whose close failed keeps its file open until the connection ends.
        CeRapiUninit();
        rapiemu::EmulatedDevice::RemoveTree(root + L"\\W");
        tally.Add("connection ended to release a file");
      }
      CreateDirectoryW((root + L"\\W").c_str(), nullptr);
    }
    ForgetAttributesOfW();
    CreateDirectoryW(source.c_str(), nullptr);
    CreateDirectoryW(target.c_str(), nullptr);
    if (random.Percent(30)) WriteWhole(target + L"\\other.txt", random.Bytes(40));
    // Names without a form in the host's 8-bit code page reach the panel under alternate names:
    // only the device has them (the computer's panel names go to the module in that code page).
    bool wideNames = !toDevice;
    int count = 2 + random.Below(4);
    for (int i = 0; i < count; ++i) {
      std::wstring name = Name(random, i, wideNames);
      bool folder = random.Percent(30);
      bool selected = random.Percent(70) || (i == count - 1 && plan.selected.empty());
      if (selected) plan.selected.push_back(name);
      if (!folder) {
        AddFile(random, source + L"\\" + name, target + L"\\" + name, selected);
        continue;
      }
      CreateDirectoryW((source + L"\\" + name).c_str(), nullptr);
      bool targetFolder = random.Percent(40);
      if (targetFolder) CreateDirectoryW((target + L"\\" + name).c_str(), nullptr);
      int files = random.Below(4);
      for (int j = 0; j < files; ++j) {
        std::wstring inner = L"\\" + name + L"\\" + Name(random, 10 + j, wideNames);
        AddFile(random, source + inner, target + inner, selected && targetFolder);
      }
      if (random.Percent(30)) {
        std::wstring sub = L"\\" + name + L"\\Deeper";
        CreateDirectoryW((source + sub).c_str(), nullptr);
        AddFile(random, source + sub + L"\\d.txt", target + sub + L"\\d.txt", false);
      }
    }
    plan.script = FaultScript(random, tally);
    return plan;
  }

  rapiemu::EmulatedDevice device{L"reliab-device"};
  Tally tally;

 private:
  static std::wstring Name(Random& random, int index, bool wide) {
    std::wstring n = std::to_wstring(index);
    switch (random.Below(wide ? 5 : 3)) {
      case 0: return L"f" + n + L".txt";
      case 1: return L"Data " + n + L".bin";
      case 2: return L"r\u00E9sum\u00E9" + n + L".doc";
      case 3: return L"\u4E2D\u6587" + n + L".txt";
      default: return L"\u0394\u03B5\u03BB\u03C4\u03B1 long name " + n + L".txt";
    }
  }
  // A source file of a random size (empty, small, around the 64 KiB block, a few blocks), and
  // maybe a different old file at its target (maybe read-only); maybe the source is read-only.
  void AddFile(Random& random, const std::wstring& source, const std::wstring& target, bool oldTarget) {
    static const int sizes[][2] = {{0, 1}, {1, 40}, {40, 5000}, {65535, 65538}, {100000, 200000}};
    const int* range = sizes[random.Weighted({8, 30, 35, 12, 15})];
    std::string data = random.Bytes(static_cast<size_t>(range[0] + random.Below(range[1] - range[0])));
    WriteWhole(source, data);
    if (random.Percent(10)) SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY);
    if (oldTarget && random.Percent(40)) {
      WriteWhole(target, random.Bytes(static_cast<size_t>(random.Below(3000))));
      if (random.Percent(25)) SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    }
  }
  // The device's attribute words of the files under \W go with them: a word left from an earlier
  // operation would answer for a new file of the same name.
  void ForgetAttributesOfW() {
    std::string kept, text = device.ReadState(u"attributes");
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      size_t space = line.find(' ');
      std::string path = space == std::string::npos ? "" : line.substr(space + 1);
      if (path != "\\W" && path.compare(0, 3, "\\W\\") != 0) kept += line + "\n";
      at = end + 1;
    }
    if (kept != text) device.WriteState(u"attributes", kept);
  }
  std::wstring local_;
};

// One run of operations through a driver; every operation is judged.
class Runner {
 public:
  using Driver = std::function<int(World&, const Plan&)>;
  Runner(const char* name, Driver driver) : name_(name), driver_(std::move(driver)) {}

  void Go(uint32_t seed, int operations) {
    Random random(seed);
    int done = 0;
    // KEL_RELIAB_FROM: make the plans of the earlier operations without running them, to replay one
    // operation quickly (its answers then differ from the whole run's).
    int from = EnvInt("KEL_RELIAB_FROM", 0);
    for (int i = 0; i < operations; ++i, ++done) {
      Plan plan = world.Populate(random, random.Percent(50));
      if (i < from) continue;
      world.tally.Add(plan.toDevice ? (plan.move ? "move to the device" : "copy to the device")
                                    : (plan.move ? "move from the device" : "copy from the device"));
      reliab::Snapshot before = world.Take();
      std::snprintf(g_current, sizeof g_current, "%s: operation %d of seed %u (KEL_RELIAB_SEED=%u KEL_RELIAB_OPS=%d)",
                    name_, i, seed, seed, i + 1);
      if (EnvInt("KEL_RELIAB_VERBOSE", 0) != 0) {
        std::printf("== operation %d (%u MB in use): %s %s the device, selected:", i, AddressSpaceMb(),
                    plan.move ? "move" : "copy", plan.toDevice ? "to" : "from");
        for (const std::wstring& name : plan.selected) std::printf(" \"%s\"", Utf8(name).c_str());
        std::printf("\n%s", plan.script.c_str());
        std::fflush(stdout);
        for (const auto& [key, entry] : before)
          if (key.compare(2, 2, "W\\") == 0)
            std::printf("  %s%s\n", key.c_str(), entry.folder ? "\\" : (" " + std::to_string(entry.content.size())).c_str());
      }
      user.Begin();
      finished.clear();
      int result = driver_(world, plan);
      world.tally.Add("result " + std::to_string(result));
      reliab::Operation op;
      op.sourceFolder = plan.toDevice ? "L\\W\\src\\" : "D\\W\\src\\";
      op.targetFolder = plan.toDevice ? "D\\W\\dst\\" : "L\\W\\dst\\";
      for (const std::wstring& name : plan.selected) op.selected.push_back(Utf8(name));
      op.move = plan.move;
      op.result = result;
      op.userSkipped = user.Skipped();
      for (const std::wstring& name : finished) op.finished.push_back(Utf8(name));
      reliab::Snapshot after = world.Take();
      std::vector<std::string> problems = reliab::Check(before, after, op);
      if (!problems.empty()) {
        std::string text;
        for (const std::string& p : problems) text += "  " + p + "\n";
        ADD_FAILURE() << name_ << ": operation " << i << " of seed " << seed << " (KEL_RELIAB_SEED=" << seed
                      << " KEL_RELIAB_OPS=" << i + 1 << ") " << (plan.move ? "move" : "copy")
                      << (plan.toDevice ? " to" : " from") << " the device answered " << result
                      << ", faults:\n" << plan.script << "lost or changed:\n" << text;
        if (++failures_ >= 5) {
          ++done;
          break;
        }
      }
    }
    std::printf("%s: %d operations, seed %u, address space in use %u MB\n%s", name_, done, seed, AddressSpaceMb(),
                world.tally.Text().c_str());
  }

  World world;
  std::vector<std::wstring> finished;  // selected names the driver knows were finished
  Random answers{1};
  User user{answers, world.tally};

 private:
  const char* name_;
  Driver driver_;
  int failures_ = 0;
};

// The suite runs one fixed seed, so that its result does not depend on the day; other seeds are
// for runs by hand.
uint32_t Seed() {
  uint32_t seed = static_cast<uint32_t>(EnvInt("KEL_RELIAB_SEED", 33));
  std::printf("KEL_RELIAB_SEED=%u\n", seed);
  return seed;
}

// ---- Through the transfer engine ----------------------------------------------------------------

using namespace handrel::transfer;

class RandomUi : public TransferUi {
 public:
  explicit RandomUi(User& user) : user_(user) {}
  void Show(Message, const std::u16string&) override {}
  int AskOverwrite(bool, const std::u16string&, const FileInfo&, const FileInfo&) override { return user_.Overwrite(); }
  int AskOpenError(bool, const std::u16string&, uint32_t) override { return user_.OpenError(); }
  bool Escape() override { return false; }
  bool ListTick() override { return false; }
  void ProgressStart(int, uint64_t) override {}
  void ProgressFile(const std::u16string&, const std::u16string&, uint64_t) override {}
  void ProgressAdd(uint64_t) override {}

 private:
  User& user_;
};

std::u16string U(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

TEST(NothingLost, TheEngineBetweenTheDeviceAndTheComputer) {
  uint32_t seed = Seed();
  Runner* self = nullptr;
  Runner run("engine", [&](World& world, const Plan& plan) {
    DeviceFileSide device;
    LocalFileSide local;
    RandomUi ui(self->user);
    Options options;
    options.sourceIsDevice = !plan.toDevice;
    options.targetIsDevice = plan.toDevice;
    options.move = plan.move;
    FileSide& source = plan.toDevice ? static_cast<FileSide&>(local) : device;
    FileSide& target = plan.toDevice ? static_cast<FileSide&>(device) : local;
    std::u16string sourceFolder = plan.toDevice ? U(world.local() + L"\\W\\src\\") : u"\\W\\src\\";
    std::u16string targetFolder = plan.toDevice ? u"\\W\\dst" : U(world.local() + L"\\W\\dst");
    // The panel's items as its listing found them (the device's with sizes and times).
    std::vector<SourceItem> items;
    for (const std::wstring& name : plan.selected) {
      SourceItem item;
      item.path = sourceFolder + U(name);
      FileInfo info;
      if (!source.Find(item.path, info)) return 0;
      item.attributes = info.attributes;
      item.size = info.size;
      item.writeTime = info.writeTime;
      item.hasInfo = !plan.toDevice;
      items.push_back(item);
    }
    world.device.WriteState(u"script", plan.script);
    MOperationBase op(options, source, target, ui);
    int result = op.SetTarget(targetFolder) && op.BuildList(items) ? op.Run() : 0;
    for (int index : op.FinishedItems()) self->finished.push_back(plan.selected[static_cast<size_t>(index)]);
    world.device.WriteState(u"script", "");
    // What a failure could not tidy (over a lost connection, or a file the device kept open) is
    // tidied once the connection is made again, as the module does it.
    bool pending = op.CleanupPending() && !op.FinishCleanups();
    CeRapiUninit();
    if (world.device.Connect() != S_OK) ADD_FAILURE() << "the emulated device did not come back";
    if (pending) {
      world.tally.Add("clean-up finished after reconnecting");
      if (!op.FinishCleanups()) world.tally.Add("clean-up not finished after reconnecting");
    }
    return result;
  });
  self = &run;
  run.answers = Random(seed ^ 0x5EEDu);
  ASSERT_EQ(run.world.device.Connect(), S_OK);
  run.Go(seed, EnvInt("KEL_RELIAB_OPS", 200));
}

// ---- Through the plugin and files.module in the host stand-in -----------------------------------

// The user's side in the host: every question the plugin asks gets a random answer of its kind;
// a message with only "OK" gets "OK"; the transfer dialog of F5/F6 is accepted as it opens.
class HostUser {
 public:
  HostUser(kelhost::Host& host, User& user) : host_(host), user_(user) {
    host_.onTranscript = [this](const std::wstring& line) { Heard(line); };
    host_.onFailure = [this](const std::wstring& what) { failures.push_back(Utf8(what)); };
  }
  void AcceptTransferDialog() {
    kelhost::DialogScript accept;
    accept.Check([](kelhost::DialogView& view) {
      for (int i = 0; i < view.ItemCount(); ++i) {
        const kelhost::DialogItemState& item = view.Item(i);
        if (item.type == DI_BUTTON && (item.text == L"&Copy" || item.text == L"&Move")) {
          view.Send(DM_CLOSE, i, nullptr);
          return;
        }
      }
      ADD_FAILURE() << "the transfer dialog has no Copy or Move button";
    });
    host_.AnswerDialog(accept);
  }
  std::vector<std::string> failures;

 private:
  void Heard(const std::wstring& line) {
    if (verbose_) {
      std::printf("    %s\n", Utf8(line).c_str());
      std::fflush(stdout);
    }
    if (line.compare(0, 8, L"[message") != 0 || line.find(L"  {") == std::wstring::npos) return;
    if (line.find(L"{&Overwrite}") != std::wstring::npos) host_.AnswerMessage(user_.Overwrite());
    else if (line.find(L"{&Retry}") != std::wstring::npos) host_.AnswerMessage(user_.OpenError());
    else host_.AnswerMessage(0);
  }
  kelhost::Host& host_;
  User& user_;
  bool verbose_ = EnvInt("KEL_RELIAB_VERBOSE", 0) != 0;  // the host's transcript as it happens
};

TEST(NothingLost, CopiesAndMovesOnThePanelsThroughTheModule) {
  if (g_module.empty()) GTEST_SKIP() << "files.module was not given";
  uint32_t seed = Seed();
  handrel_test::PluginFolder folder(g_plugin, L"reliab-plugin-", g_module, L"files.module");
  kelhost::Host host;
  HostUser* hostUser = nullptr;
  kelhost::Plugin* plugin = nullptr;
  // Into a folder of the device panel; a connection that ended is made again by the first listing.
  auto deviceFolder = [&](const std::wstring& dir) {
    std::wstring shown = L"Files:\\" + dir.substr(6);
    for (int attempt = 0; attempt < 2 && host.ActivePanel().pluginDir != shown; ++attempt) {
      host.RefreshPluginPanel(host.ActivePanel());
      host.PanelSetDirectory(dir);
      host.RefreshPluginPanel(host.ActivePanel());
    }
    EXPECT_EQ(Utf8(host.ActivePanel().pluginDir), Utf8(shown));
  };
  Runner run("module", [&](World& world, const Plan& plan) {
    kelhost::Panel& devicePanel = host.ActivePanel();
    Step("into the device folder");
    deviceFolder(plan.toDevice ? L"Files:W\\dst" : L"Files:W\\src");
    int result = 0;
    if (!plan.toDevice) {
      // F5/F6 on the device panel: its items by their device names (alternate names on the panel).
      for (kelhost::PanelItem& item : devicePanel.Items()) {
        std::wstring name = item.name;
        if (item.hasUserBlock && item.userBlock.size() > 18)
          name = reinterpret_cast<const wchar_t*>(item.userBlock.data() + 16);
        for (const std::wstring& wanted : plan.selected) item.selected = item.selected || wanted == name;
      }
      host.PassivePanel().SetFolder(world.local() + L"\\W\\dst");
      hostUser->AcceptTransferDialog();
      world.device.WriteState(u"script", plan.script);
      Step("GetFiles");
      result = host.PanelGetFiles(plan.move);
    } else {
      // F5/F6 on the computer's panel into the device panel.
      host.SwapPanels();
      host.ActivePanel().SetFolder(world.local() + L"\\W\\src");
      for (const std::wstring& name : plan.selected) host.ActivePanel().Select(name);
      world.device.WriteState(u"script", plan.script);
      Step("PutFiles");
      result = host.PanelPutFiles(plan.move);
      host.SwapPanels();
    }
    world.device.WriteState(u"script", "");
    // Into a folder nobody touches: a lost connection is made again by the listing (which may
    // start at the module's top when the folder could not be asked for).
    Step("back into Keep");
    host.PanelSetDirectory(L"Files:Keep");
    host.RefreshPluginPanel(host.ActivePanel());
    bool back = false;
    for (const kelhost::PanelItem& item : host.ActivePanel().Items())
      back = back || item.name == L"keep.txt" || item.name == L"Keep";
    if (!back) ADD_FAILURE() << "the device panel did not come back after the operation: " << Utf8(host.ActivePanel().pluginDir);
    for (const std::string& failure : hostUser->failures) ADD_FAILURE() << "host: " << failure;
    hostUser->failures.clear();
    host.transcript.clear();
    host.messages.clear();
    host.dialogs.clear();
    host.progressStates.clear();
    host.progressValues.clear();
    host.registryKeys.clear();
    return result;
  });
  run.answers = Random(seed ^ 0x5EEDu);
  HostUser user(host, run.user);
  hostUser = &user;
  // The plugin's settings key, as its configuration leaves it once saved.
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Handrel").c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  run.world.device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Reliable Pocket\"\n");
  plugin = host.Load(folder.path + L"\\Handrel.dll");
  ASSERT_NE(plugin, nullptr);
  bool opened = host.OpenPanel(plugin, 1, 0);
  if (!opened) {
    for (const std::wstring& line : host.transcript) std::printf("%s\n", Utf8(line).c_str());
    for (const std::string& failure : user.failures) std::printf("host: %s\n", failure.c_str());
  }
  ASSERT_TRUE(opened);
  deviceFolder(L"Files:Keep");
  run.Go(seed, EnvInt("KEL_RELIAB_OPS", 200));
  host.ClosePanel();
}

}  // namespace

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* e) {
  std::printf("exception 0x%08lx at %p during %s\n", e->ExceptionRecord->ExceptionCode,
              e->ExceptionRecord->ExceptionAddress, g_current);
  std::fflush(stdout);
  return EXCEPTION_CONTINUE_SEARCH;
}

// An abort() inside any library of the process (each links its own runtime) reaches this through
// the shared C runtime: it names the operation and the modules of the return addresses, which is
// enough to find the caller with addr2line (the image base plus the offset).
static void ReportAbort(int) {
  std::printf("abort during %s; return addresses:\n", g_current);
  void* frames[32];
  USHORT n = CaptureStackBackTrace(0, 32, frames, nullptr);
  for (USHORT i = 0; i < n; ++i) {
    HMODULE m = nullptr;
    char name[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(frames[i]), &m))
      GetModuleFileNameA(m, name, MAX_PATH);
    std::printf("  %s +0x%lx\n", name,
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(frames[i]) - reinterpret_cast<uintptr_t>(m)));
  }
  std::fflush(stdout);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::signal(SIGABRT, ReportAbort);
  // A fault that ends the process still names the operation and the seed that replays it.
  std::set_terminate([] {
    std::printf("terminated during %s\n", g_current);
    std::fflush(stdout);
    std::abort();
  });
  SetUnhandledExceptionFilter(ReportCrash);
  if (argc >= 3) {
    g_plugin = handrel_test::ArgumentPath(argv[1]);
    g_module = handrel_test::ArgumentPath(argv[2]);
  }
  return RUN_ALL_TESTS();
}
