// The launcher's decisions against a recorded system: what is run where, which box the user sees.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "launcher/core/launch.h"

using namespace lofter;

namespace {

std::string N(const Text& t) { return std::string(t.begin(), t.end()); }  // ASCII only in these tests
Text U(const std::string& s) { return Text(s.begin(), s.end()); }

class MemoryFile : public ByteReader {
 public:
  explicit MemoryFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    if (offset >= bytes_.size()) return 0;
    size_t n = std::min(size, bytes_.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, bytes_.data() + offset, n);
    return n;
  }

 private:
  std::vector<uint8_t> bytes_;
};

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, static_cast<uint16_t>(v));
  Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

// An MZ header pointing at a PE header with the given optional-header magic and subsystem.
std::vector<uint8_t> Pe(uint16_t magic, uint16_t subsystem, size_t newHeader = 0x80, size_t total = 0x200) {
  std::vector<uint8_t> b(total, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, static_cast<uint32_t>(newHeader));
  std::memcpy(b.data() + newHeader, "PE\0\0", 4);
  Put16(b, newHeader + 24, magic);
  Put16(b, newHeader + 24 + 68, subsystem);
  b.resize(total);
  return b;
}

std::vector<uint8_t> Ne(uint8_t target) {
  std::vector<uint8_t> b(0x100, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  b[0x40] = 'N';
  b[0x41] = 'E';
  b[0x40 + 0x36] = target;
  return b;
}

int Kind(std::vector<uint8_t> bytes) {
  MemoryFile f(std::move(bytes));
  return ExecutableKind(f);
}

// A system where files, folders and registry values are declared by the test, and every action
// is recorded in order.
class FakeSystem : public LaunchSystem {
 public:
  std::map<std::string, std::string> env;
  std::string panelFolder = "C:\\work";
  std::map<std::string, std::string> files;             // full path -> name searched for
  std::map<std::string, int> kinds;                     // full path -> executable kind
  std::map<std::string, std::string> userPaths, machinePaths;  // App Paths subkey -> value
  bool canCreate = true;
  std::vector<intptr_t> shellResults;                   // consumed in order; default 42
  std::vector<std::string> log;
  std::vector<std::vector<std::string>> boxes;
  std::vector<uint32_t> boxFlags;
  std::vector<std::string> boxTopics;
  std::vector<std::string> searchedLists;

  Text Message(int id) override { return U("T" + std::to_string(id)); }
  Text ExpandEnvironment(const Text& text) override {
    std::string s = N(text), out;
    for (size_t i = 0; i < s.size();) {
      size_t close = s[i] == '%' ? s.find('%', i + 1) : std::string::npos;
      if (close != std::string::npos && env.count(s.substr(i + 1, close - i - 1))) {
        out += env[s.substr(i + 1, close - i - 1)];
        i = close + 1;
      } else {
        out += s[i++];
      }
    }
    return U(out);
  }
  std::optional<Text> Environment(const Text& name) override {
    auto it = env.find(N(name));
    if (it == env.end()) return std::nullopt;
    return U(it->second);
  }
  Text PanelFolder() override { return U(panelFolder); }
  std::optional<Text> SearchPath(const Text* list, const Text& file, const Text& ext) override {
    std::string name = N(file);
    if (name.find('.') == std::string::npos) name += N(ext);
    searchedLists.push_back(list ? N(*list) : "<default>");
    std::vector<std::string> dirs;
    if (list) {
      std::string l = N(*list);
      for (size_t s = 0, e; s <= l.size(); s = e + 1) {
        e = l.find(';', s);
        if (e == std::string::npos) e = l.size();
        if (e > s) dirs.push_back(l.substr(s, e - s));
      }
    } else {
      dirs.push_back("C:\\windows\\system32");
    }
    for (const auto& d : dirs)
      if (files.count(d + "\\" + name)) return U(d + "\\" + name);
    return std::nullopt;
  }
  std::optional<Text> RegisteredPath(bool machine, const Text& key) override {
    auto& m = machine ? machinePaths : userPaths;
    auto it = m.find(N(key));
    if (it == m.end()) return std::nullopt;
    return U(it->second);
  }
  int ExecutableKindOf(const Text& path) override {
    auto it = kinds.find(N(path));
    return it == kinds.end() ? kKindUnreadable : it->second;
  }
  void ShowUserScreen() override { log.push_back("user screen"); }
  void RestorePanels() override { log.push_back("panels"); }
  void RedrawAll() override { log.push_back("redraw"); }
  std::optional<uint32_t> SetConsoleInputMode(uint32_t mode) override {
    log.push_back("mode " + std::to_string(mode));
    return 0x1F7u;
  }
  void RestoreConsoleInputMode(uint32_t mode) override { log.push_back("mode back " + std::to_string(mode)); }
  bool RunAndWait(const Text& line, const Text& folder) override {
    log.push_back("run [" + N(line) + "] in " + N(folder));
    return canCreate;
  }
  void SaveScreen() override { log.push_back("save"); }
  void RestoreScreen() override { log.push_back("restore"); }
  intptr_t ShellExecute(const Text& file, const Text& params, const Text& folder, int show) override {
    log.push_back("shell [" + N(file) + "] [" + N(params) + "] in " + N(folder) + " show " + std::to_string(show));
    if (shellResults.empty()) return 42;
    intptr_t r = shellResults.front();
    shellResults.erase(shellResults.begin());
    return r;
  }
  void Box(uint32_t flags, const Text& topic, const std::vector<Text>& lines) override {
    std::vector<std::string> l;
    for (const auto& t : lines) l.push_back(N(t));
    boxes.push_back(l);
    boxFlags.push_back(flags);
    boxTopics.push_back(N(topic));
    log.push_back("box " + N(topic));
  }
};

}  // namespace

TEST(ExecutableKind, ReadsSubsystemOfBothPeFormsAndWindowsNe) {
  EXPECT_EQ(Kind(Pe(0x10B, 3)), 3);   // console
  EXPECT_EQ(Kind(Pe(0x10B, 2)), 2);   // windowed
  EXPECT_EQ(Kind(Pe(0x20B, 3)), 3);   // the 64-bit form keeps the subsystem at the same place
  EXPECT_EQ(Kind(Ne(2)), kKindWindowed);
  EXPECT_EQ(Kind(Ne(4)), kKindWindowed);
  EXPECT_EQ(Kind(Ne(1)), kKindUnreadable);  // an OS/2 program
}

TEST(ExecutableKind, ShortOrMalformedHeadersAreUnreadable) {
  EXPECT_EQ(Kind({}), kKindUnreadable);
  EXPECT_EQ(Kind({'M', 'Z'}), kKindUnreadable);                  // shorter than the DOS header
  std::vector<uint8_t> dos(64, 0);
  dos[0] = 'M';
  dos[1] = 'Z';
  EXPECT_EQ(Kind(dos), kKindUnreadable);                          // a DOS program: nothing at 0
  EXPECT_EQ(Kind(Pe(0x107, 3)), kKindUnreadable);                 // unknown optional header
  std::vector<uint8_t> notMz = Pe(0x10B, 3);
  notMz[0] = 'X';
  EXPECT_EQ(Kind(notMz), kKindUnreadable);
  // The file ends inside the PE header, before the subsystem field.
  EXPECT_EQ(Kind(Pe(0x10B, 3, 0x80, 0x80 + 90)), kKindUnreadable);
  // Just long enough: the subsystem is the last field read.
  EXPECT_EQ(Kind(Pe(0x10B, 3, 0x80, 0x80 + 94)), 3);
  // The new-header offset points past the end, or near the top of the 32-bit range.
  std::vector<uint8_t> far = Pe(0x10B, 3);
  Put32(far, 0x3C, 0x10000);
  EXPECT_EQ(Kind(far), kKindUnreadable);
  Put32(far, 0x3C, 0xFFFFFFF0u);
  EXPECT_EQ(Kind(far), kKindUnreadable);
  // An NE header cut before its target-system byte.
  std::vector<uint8_t> ne = Ne(2);
  ne.resize(0x40 + 0x36);
  EXPECT_EQ(Kind(ne), kKindUnreadable);
}

TEST(Command, ShowOptionsQuotesAndSplitting) {
  int mode = -1;
  Text t = u"/m  notepad x.txt";
  EXPECT_TRUE(TakeShowOption(&t, &mode));
  EXPECT_EQ(mode, 6);
  EXPECT_EQ(N(t), "notepad x.txt");
  const std::pair<char, int> table[] = {{'0', 0}, {'h', 0}, {'1', 1}, {'2', 2}, {'3', 3}, {'M', 3}, {'4', 4},
                                        {'5', 5}, {'n', 5}, {'6', 6}, {'m', 6}, {'7', 7}, {'8', 8}, {'9', 9}};
  for (auto [ch, want] : table) {
    Text s = u"/";
    s += static_cast<char16_t>(ch);
    s += u" prog";
    ASSERT_TRUE(TakeShowOption(&s, &mode)) << ch;
    EXPECT_EQ(mode, want) << ch;
  }
  // Any other character leaves the text as part of the command.
  Command c = ParseCommand(u"/x prog arg");
  EXPECT_FALSE(c.showGiven);
  EXPECT_EQ(c.showMode, kDefaultShowMode);
  EXPECT_EQ(N(c.program), "/x");
  EXPECT_EQ(N(c.parameters), "prog arg");

  c = ParseCommand(u"  \"C:\\My Tools\\run me.exe\"   -a  -b  ");
  EXPECT_EQ(N(c.program), "C:\\My Tools\\run me.exe");
  EXPECT_EQ(N(c.parameters), "-a  -b");
  c = ParseCommand(u"\"unclosed quote here");  // no closing quote: split at the first space
  EXPECT_EQ(N(c.program), "\"unclosed");
  EXPECT_EQ(N(c.parameters), "quote here");
  c = ParseCommand(u"/3 \"a b\"");
  EXPECT_TRUE(c.showGiven);
  EXPECT_EQ(c.showMode, 3);
  EXPECT_EQ(N(c.program), "a b");
  EXPECT_EQ(N(c.parameters), "");
}

TEST(CutText, KeepsTheStartAndTheEndAroundTheMark) {
  EXPECT_EQ(N(CutText(u"abcd", 2, 1)), "abcd");  // 4 characters or fewer stay
  EXPECT_EQ(N(CutText(u"short", 66, 24)), "short");
  std::string longName(100, 'x');
  for (size_t i = 0; i < longName.size(); ++i) longName[i] = static_cast<char>('a' + i % 26);
  std::string cut = N(CutText(U(longName), 66, 24));
  EXPECT_EQ(cut.size(), 66u);
  EXPECT_EQ(cut.substr(0, 24), longName.substr(0, 24));
  EXPECT_EQ(cut.substr(24, 5), "{...}");
  EXPECT_EQ(cut.substr(29), longName.substr(100 - 37));
  // A start longer than the room left falls back to half the width.
  cut = N(CutText(U(longName), 20, 18));
  EXPECT_EQ(cut.size(), 20u);
  EXPECT_EQ(cut.substr(0, 10), longName.substr(0, 10));
  EXPECT_EQ(cut.substr(10, 5), "{...}");
}

TEST(Command, FormatNumberFillsOnePlaceAndNothingElse) {
  EXPECT_EQ(N(FormatNumber(u"error %d here", 26)), "error 26 here");
  EXPECT_EQ(N(FormatNumber(u"no place %s %n", 26)), "no place %s %n");
}

TEST(Resolve, PanelFolderKelhomeAndPathBeforeTheSystemAndTheRegistry) {
  FakeSystem sys;
  sys.env = {{"KELHOME", "C:\\kel"}, {"PATH", "C:\\bin;C:\\tools"}};
  sys.files = {{"C:\\tools\\probe.exe", ""}, {"C:\\kel\\probe.exe", ""}};
  EXPECT_EQ(N(ResolveProgram(sys, u"probe", u"C:\\work").value()), "C:\\kel\\probe.exe");
  EXPECT_EQ(sys.searchedLists.front(), "C:\\work;C:\\kel;C:\\bin;C:\\tools");
  sys.files[("C:\\work\\probe.exe")] = "";
  EXPECT_EQ(N(ResolveProgram(sys, u"\"probe\"", u"C:\\work").value()), "C:\\work\\probe.exe");
  // Not on any path: the system's default order, then App Paths where the machine's value wins.
  sys.files = {{"C:\\windows\\system32\\calc.exe", ""}};
  EXPECT_EQ(N(ResolveProgram(sys, u"calc", u"C:\\work").value()), "C:\\windows\\system32\\calc.exe");
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  sys.userPaths[key + "editor.exe"] = "C:\\user\\editor.exe";
  EXPECT_EQ(N(ResolveProgram(sys, u"editor", u"").value()), "C:\\user\\editor.exe");
  sys.machinePaths[key + "editor.exe"] = "\"C:\\Program Files\\Editor\\editor.exe\"";
  EXPECT_EQ(N(ResolveProgram(sys, u"editor.EXE", u"").value_or(u"?")), "?");  // the key keeps the typed case
  EXPECT_EQ(N(ResolveProgram(sys, u"editor", u"").value()), "C:\\Program Files\\Editor\\editor.exe");
  EXPECT_FALSE(ResolveProgram(sys, u"nowhere", u"").has_value());
}

TEST(Handle, EmptyCommandShowsTheAboutBox) {
  FakeSystem sys;
  sys.env["EMPTY"] = "   ";
  HandleCommand(sys, Settings{}, u" %EMPTY% ");
  ASSERT_EQ(sys.boxes.size(), 1u);
  EXPECT_EQ(sys.boxTopics[0], "Contents");
  ASSERT_EQ(sys.boxes[0].size(), 6u);
  EXPECT_EQ(sys.boxes[0][3], "Programs and documents from the command line");
  Text title = u"\u00ABT0 0.7.25\u00BB";
  EXPECT_EQ(sys.boxes[0][1], N(title));
  EXPECT_EQ(sys.boxes[0][0], "T7");
  EXPECT_EQ(sys.boxes[0][4], "T6");
  EXPECT_EQ(sys.boxes[0][5], "T5");
  EXPECT_EQ(sys.boxFlags[0] & kBoxWarning, 0u);
  EXPECT_TRUE(sys.log.size() == 1);  // nothing is run
}

TEST(Handle, ConsoleProgramRunsInTheConsoleAndThePanelsComeBack) {
  FakeSystem sys;
  sys.env = {{"PATH", "C:\\bin"}};
  sys.files = {{"C:\\bin\\probe.exe", ""}};
  sys.kinds = {{"C:\\bin\\probe.exe", 3}};
  HandleCommand(sys, Settings{}, u"probe  one \"two three\"");
  EXPECT_EQ(sys.log, (std::vector<std::string>{"user screen", "mode 7", "run [C:\\bin\\probe.exe one \"two three\"] in C:\\work",
                                                "panels", "redraw", "mode back 503"}));
  EXPECT_TRUE(sys.boxes.empty());

  // A resolved path with a blank is quoted on the command line.
  sys.log.clear();
  sys.files = {{"C:\\work\\my probe.exe", ""}};
  sys.kinds = {{"C:\\work\\my probe.exe", 3}};
  HandleCommand(sys, Settings{}, u"\"my probe\" x");
  EXPECT_EQ(sys.log[2], "run [\"C:\\work\\my probe.exe\" x] in C:\\work");

  // It cannot be created: the frame is still restored, then the box with the cut name.
  sys.log.clear();
  sys.canCreate = false;
  HandleCommand(sys, Settings{}, u"\"my probe\"");
  EXPECT_EQ(sys.log.back(), "box ErrorCannotExecute");
  EXPECT_EQ(sys.boxes.back(), (std::vector<std::string>{"T0", "T4", "my probe", "T6", "T5"}));
  EXPECT_EQ(sys.boxFlags.back(), kBoxWarning | kBoxOk);
}

TEST(Handle, WindowedUnreadableShowOptionAndDocumentsGoToTheShell) {
  FakeSystem sys;
  sys.files = {{"C:\\work\\gui.exe", ""}, {"C:\\work\\con.exe", ""}, {"C:\\work\\dos.exe", ""}};
  sys.kinds = {{"C:\\work\\gui.exe", 2}, {"C:\\work\\con.exe", 3}};
  HandleCommand(sys, Settings{}, u"gui");
  EXPECT_EQ(sys.log, (std::vector<std::string>{"save", "box ", "shell [gui] [] in C:\\work show 5", "restore"}));
  EXPECT_EQ(sys.boxes[0], (std::vector<std::string>{"T0", "T1"}));
  sys.log.clear();
  HandleCommand(sys, Settings{}, u"dos");  // an MZ file of no known kind
  EXPECT_EQ(sys.log[2], "shell [dos] [] in C:\\work show 5");
  // "/m" sends even a console program to the shell, minimised; no notice when it is switched off.
  sys.log.clear();
  Settings quiet;
  quiet.displayLaunchMsg = false;
  HandleCommand(sys, quiet, u"/m con arg");
  EXPECT_EQ(sys.log, (std::vector<std::string>{"shell [con] [arg] in C:\\work show 6"}));
}

TEST(Handle, ShellFailuresExplainThemselves) {
  FakeSystem sys;
  Settings quiet;
  quiet.displayLaunchMsg = false;
  std::string longName = "C:\\a\\very\\long\\folder\\name\\that\\goes\\on\\and\\on\\until\\it\\is\\cut\\missing.exe";
  sys.shellResults = {2};
  HandleCommand(sys, quiet, U(longName));
  ASSERT_EQ(sys.boxes.size(), 1u);
  EXPECT_EQ(sys.boxTopics[0], "Error2");
  EXPECT_EQ(sys.boxes[0][1], "T3");
  EXPECT_EQ(sys.boxes[0][2], N(CutText(U(longName), 66, 24)));
  EXPECT_EQ(sys.boxes[0][2].size(), 66u);
  EXPECT_EQ(sys.boxFlags[0], kBoxWarning | kBoxOk);

  // No handler for the document: the shell's "open with" dialog, same folder and show mode.
  sys.log.clear();
  sys.shellResults = {31};
  HandleCommand(sys, quiet, u"/3 notes.zzq");
  EXPECT_EQ(sys.log, (std::vector<std::string>{"shell [notes.zzq] [] in C:\\work show 3",
                                                "shell [rundll32] [shell32,OpenAs_RunDLL notes.zzq] in C:\\work show 3"}));
  EXPECT_EQ(sys.boxes.size(), 1u);

  // Any other failure: the system's text for the last error and the numbered format.
  sys.shellResults = {26};
  HandleCommand(sys, quiet, u"busy.doc");
  ASSERT_EQ(sys.boxes.size(), 2u);
  EXPECT_EQ(sys.boxTopics[1], "Error26");
  EXPECT_EQ(sys.boxes[1], (std::vector<std::string>{"T0", "T2", "T6", "T5"}));
  EXPECT_EQ(sys.boxFlags[1], kBoxWarning | kBoxErrorType | kBoxOk);
}

TEST(Settings, DefaultsAndTheStoredValues) {
  struct Store : SettingsStore {
    std::map<std::string, uint32_t> dwords;
    std::map<std::string, std::string> strings;
    std::optional<uint32_t> ReadDword(const char16_t* name) override {
      auto it = dwords.find(N(name));
      return it == dwords.end() ? std::nullopt : std::optional<uint32_t>(it->second);
    }
    std::optional<Text> ReadString(const char16_t* name, size_t maxChars) override {
      auto it = strings.find(N(name));
      if (it == strings.end() || it->second.size() > maxChars) return std::nullopt;
      return U(it->second);
    }
  } store;
  Settings s = LoadSettings(store);
  EXPECT_TRUE(s.displayLaunchMsg);
  EXPECT_EQ(N(s.prefix), "lf");
  store.dwords["DisplayLaunchMsg"] = 0;
  store.strings["PluginPrefix"] = "run";
  s = LoadSettings(store);
  EXPECT_FALSE(s.displayLaunchMsg);
  EXPECT_EQ(N(s.prefix), "run");
  store.strings["PluginPrefix"] = "twelve-chars";  // too long for the prefix: the default stays
  EXPECT_EQ(N(LoadSettings(store).prefix), "lf");
}
