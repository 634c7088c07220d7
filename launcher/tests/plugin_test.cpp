// Lofter in the host stand-in under Wine: commands typed after the prefix start real programs
// (a probe that records how it was started), in the host's console or through the shell.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "editortools/remarks/tests/plugin_support.h"
#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

const wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

std::wstring TempDir(const std::wstring& name) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring dir = std::wstring(tmp) + name;
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

std::wstring CopyProbe(const std::wstring& folder, const std::wstring& name) {
  std::wstring to = folder + L"\\" + name;
  EXPECT_TRUE(CopyFileW(BesideTest(PROBE_FILE).c_str(), to.c_str(), FALSE)) << Utf8(to);
  return to;
}

// The probe's lines, waiting up to `ms` for at least `count` of them (shell runs do not wait).
std::vector<std::string> ProbeLines(const std::wstring& log, size_t count = 1, int ms = 10000) {
  std::vector<std::string> lines;
  for (int waited = 0;; waited += 50) {
    lines.clear();
    std::string all = ReadBytes(log);
    for (size_t s = 0, e; (e = all.find('\n', s)) != std::string::npos; s = e + 1) lines.push_back(all.substr(s, e - s));
    if (lines.size() >= count || waited >= ms) return lines;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string Field(const std::string& line, const std::string& name) {
  size_t at = line.find(name + "=");
  if (at == std::string::npos) return "<none>";
  at += name.size() + 1;
  return line.substr(at, line.find('\t', at) - at);
}

class Lofter : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& f) { ADD_FAILURE() << Utf8(f); };
    work = TempDir(L"lofter_work");
    bin = TempDir(L"lofter_bin");
    log = work + L"\\probe.log";
    DeleteFileW(log.c_str());
    SetEnvironmentVariableW(L"LOFTER_PROBE_LOG", log.c_str());
    wchar_t path[8192];
    DWORD n = GetEnvironmentVariableW(L"PATH", path, 8192);
    oldPath.assign(path, n < 8192 ? n : 0);
    SetEnvironmentVariableW(L"PATH", (bin + L";" + oldPath).c_str());
    host.ActivePanel().SetFolder(work);
  }
  void TearDown() override { SetEnvironmentVariableW(L"PATH", oldPath.c_str()); }

  Plugin* Load() {
    Plugin* p = host.Load(BesideTest(PLUGIN_FILE));
    EXPECT_NE(p, nullptr);
    return p;
  }
  void Command(Plugin* p, const std::wstring& text) {
    HANDLE h = host.OpenPlugin(p, OPEN_COMMANDLINE, reinterpret_cast<intptr_t>(text.c_str()));
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  }
  size_t Seen(const std::wstring& line) const {
    size_t n = 0;
    for (const auto& t : host.transcript) n += t == line;
    return n;
  }

  Host host;
  std::wstring work, bin, log, oldPath;
};

}  // namespace

TEST_F(Lofter, ExportsVersionAndPrefix) {
  // A stored prefix replaces "lf"; the notice switch is read from the same key.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Lofter").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"PluginPrefix", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"go"), 6);
  RegCloseKey(key);
  Plugin* p = Load();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(ExportNames(p->module), (std::set<std::string>{"GetMinKelVersionW", "SetStartupInfoW", "GetPluginInfoW",
                                                            "OpenPluginW", "ExitKELW"}));
  auto minVersion = reinterpret_cast<int(KEL_API*)()>(p->Entry("GetMinKelVersionW"));
  EXPECT_EQ(static_cast<uint32_t>(minVersion()), 0x04880200u);
  PluginInfoW info{};
  ASSERT_TRUE(host.GetPluginInfo(p, &info));
  EXPECT_EQ(info.StructSize, 44);
  EXPECT_EQ(info.Flags, 2u);
  EXPECT_STREQ(info.CommandPrefix, L"go");
  EXPECT_EQ(info.PluginMenuStringsNumber, 0);
  // Only the command line opens it.
  EXPECT_EQ(host.OpenPlugin(p, OPEN_PLUGINSMENU, 0), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(Lofter, EmptyCommandShowsTheAboutBox) {
  Plugin* p = Load();
  host.AnswerMessage(0);
  Command(p, L"   ");
  ASSERT_EQ(host.messages.size(), 1u);
  const MessageCall& box = host.messages[0];
  EXPECT_EQ(box.helpTopic, L"Contents");
  ASSERT_EQ(box.lines.size(), 6u);
  EXPECT_EQ(box.lines[1], L"\u00ABLofter 0.7.25\u00BB");
  EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
}

TEST_F(Lofter, ConsoleProgramOnPathRunsInTheHostConsoleAndThePanelsComeBack) {
  CopyProbe(bin, L"lofprobe.exe");
  Plugin* p = Load();
  DWORD modeBefore = 0;
  GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &modeBefore);
  int redraws = host.redrawAll;
  Command(p, L"lofprobe one \"two three\"");
  // The run waited for the program: its line is there at once.
  std::vector<std::string> lines = ProbeLines(log, 1, 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Field(lines[0], "exe"), Utf8(bin + L"\\lofprobe.exe"));
  EXPECT_EQ(Field(lines[0], "cmd"), Utf8(bin + L"\\lofprobe.exe one \"two three\""));
  EXPECT_EQ(Field(lines[0], "cwd"), Utf8(work));
  EXPECT_EQ(Field(lines[0], "console"), "yes");
  EXPECT_EQ(Field(lines[0], "mode"), "7");  // processed, line and echo input while it ran
  EXPECT_EQ(Seen(L"[screen] user screen shown"), 1u);
  EXPECT_EQ(Seen(L"[screen] panels restored"), 1u);
  EXPECT_EQ(host.redrawAll, redraws + 1);
  DWORD modeAfter = 0;
  GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &modeAfter);
  EXPECT_EQ(modeAfter, modeBefore);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(Lofter, QuotedProgramWithBlanksInThePanelFolder) {
  std::wstring spaced = TempDir(L"lofter_work\\with space");
  CopyProbe(spaced, L"my probe.exe");
  Plugin* p = Load();
  Command(p, L"\"with space\\my probe\"  arg1 ");
  std::vector<std::string> lines = ProbeLines(log, 1, 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Field(lines[0], "cmd"), Utf8(L"\"" + spaced + L"\\my probe.exe\" arg1"));
}

TEST_F(Lofter, ShowOptionStartsEvenAConsoleProgramThroughTheShellMinimised) {
  CopyProbe(bin, L"lofprobe.exe");
  Plugin* p = Load();
  Command(p, L"/m lofprobe.exe x");
  std::vector<std::string> lines = ProbeLines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Field(lines[0], "show"), "6");
  EXPECT_EQ(Field(lines[0], "cwd"), Utf8(work));
  // The launch notice stood while the shell started it; the console frame was not used.
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"Lofter", L"Starting the program..."}));
  EXPECT_EQ(Seen(L"[screen] user screen shown"), 0u);
}

TEST_F(Lofter, UnknownProgramShowsTheNotFoundBoxWithTheCutName) {
  Plugin* p = Load();
  host.AnswerMessage(0);
  std::wstring name = L"no_such_program_anywhere_with_a_rather_long_name_0123456789abcdefghij";
  Command(p, name + L" arg");
  ASSERT_EQ(host.messages.size(), 2u);  // the notice, then the box
  const MessageCall& box = host.messages[1];
  EXPECT_EQ(box.helpTopic, L"Error2");
  EXPECT_TRUE(box.flags & FMSG_WARNING);
  ASSERT_GE(box.lines.size(), 3u);
  EXPECT_EQ(box.lines[0], L"Lofter");
  EXPECT_EQ(box.lines[1], L"The program or document was not found:");
  EXPECT_EQ(box.lines[2], name.substr(0, 24) + L"{...}" + name.substr(name.size() - 37));
}

TEST_F(Lofter, DocumentWithoutAHandlerGoesToTheOpenWithDialog) {
  // The shell's rundll32 is stood in for by the probe beside the test program (the shell looks
  // there first), so the dialog it would open is seen as the arguments it was given.
  std::wstring beside = BesideTest(L"rundll32.exe");
  ASSERT_TRUE(CopyFileW(BesideTest(PROBE_FILE).c_str(), beside.c_str(), FALSE));
  std::ofstream((work + L"\\notes.zzq").c_str()) << "text";
  Plugin* p = Load();
  Command(p, L"/3 notes.zzq");
  std::vector<std::string> lines = ProbeLines(log);
  DeleteFileW(beside.c_str());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(Field(lines[0], "cmd").find("shell32,OpenAs_RunDLL notes.zzq"), std::string::npos) << lines[0];
  EXPECT_EQ(Field(lines[0], "show"), "3");
  EXPECT_EQ(host.messages.size(), 1u);  // the notice only: no error box
}

TEST_F(Lofter, RegisteredApplicationPathsTheMachinesWinning) {
  std::wstring userDir = TempDir(L"lofter_user"), machineDir = TempDir(L"lofter_machine");
  std::wstring userExe = CopyProbe(userDir, L"u.exe"), machineExe = CopyProbe(machineDir, L"m.exe");
  std::wstring sub = std::wstring(kAppPaths) + L"lofterapp.exe";
  auto put = [&](HKEY root, const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  };
  put(HKEY_CURRENT_USER, userExe);
  Plugin* p = Load();
  Command(p, L"lofterapp first");
  put(HKEY_LOCAL_MACHINE, L"\"" + machineExe + L"\"");
  Command(p, L"lofterapp second");
  RegDeleteKeyW(HKEY_CURRENT_USER, sub.c_str());
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, sub.c_str());
  std::vector<std::string> lines = ProbeLines(log, 2, 0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(Field(lines[0], "exe"), Utf8(userExe));
  EXPECT_EQ(Field(lines[0], "cmd"), Utf8(userExe + L" first"));
  EXPECT_EQ(Field(lines[1], "exe"), Utf8(machineExe));
}
