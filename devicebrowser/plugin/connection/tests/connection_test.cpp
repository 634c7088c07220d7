// A device panel's connection on the emulated handheld (standins/rapi), with the host stand-in
// answering the messages: what the user sees and what lands on the device.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/plugin/connection/connection.h"
#include "devicebrowser/plugin/connection/core/invoke_stamp.h"
#include "devicebrowser/plugin/settings/settings.h"
#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"

namespace {

using handrel::ConnectionCount;
using handrel::DeviceConnection;

// 2024-01-01 00:00 UTC: the plugin file's time cut to the minute.
constexpr uint64_t kStamp = 133485408000000000ull;
constexpr uint64_t kTicksPerSecond = 10000000ull;

const char kRegistry[] =
    "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket7\"\n"
    "[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n\"00001001\"=dword:00000001\n";

std::string ConsoleTitle() {
  char title[256] = {};
  GetConsoleTitleA(title, sizeof title);
  return title;
}

// The panel's side of a connection, recording what the connection asked of it.
class Panel : public handrel::ConnectionOwner, public handrel::InfoLineSink {
 public:
  explicit Panel(uint64_t stamp = kStamp, HMODULE resources = GetModuleHandleW(nullptr))
      : conn(*this, resources, stamp) {}
  ~Panel() { Close(); }

  bool LoadModules() override {
    ++moduleLoads;
    titles.push_back(ConsoleTitle());
    return modulesLoad;
  }
  int ApplyStartDirectory() override {
    ++startDirectories;
    titles.push_back(ConsoleTitle());
    return 1;
  }
  void ClearInfoLines() override { lines.clear(); }
  void RefreshActiveModuleInfo() override { handrel::RefreshDeviceInfo(conn, *this); }
  const char* MessageTitle() override { return "Handrel"; }
  void AddInfoLine(const char* text, const char* data) override {
    lines.push_back(data ? std::string(text) + " = " + data : "-- " + std::string(text ? text : "") + " --");
  }
  bool HasLine(const std::string& line) const {
    for (const std::string& l : lines)
      if (l == line) return true;
    return false;
  }
  void Close() {
    conn.ReleaseConnection();
    conn.FreeLibrary();
  }

  DeviceConnection conn;
  bool modulesLoad = true;
  int moduleLoads = 0, startDirectories = 0;
  std::vector<std::string> titles, lines;
};

class Connection : public ::testing::Test {
 protected:
  void SetUp() override {
    kelhost::FillStartupRecordA(startup_, L"HandrelTest.dll", 0, "Software\\KelTest");
    handrel::ConsoleSetHost(&startup_, 0x0146);
    device.MakeFolder(L"\\Windows");
    device.WriteState(u"registry", kRegistry);
    device.WriteState(u"script", "record\n");
    FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
  }
  void TearDown() override { EXPECT_EQ(0, ConnectionCount()) << "a test left the connection counted"; }

  // The messages shown so far, each as its text lines after the title, joined with "\n".
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const kelhost::MessageCall& m : host.messages) {
      std::string text;
      for (size_t i = 1; i < m.lines.size(); ++i) {
        if (i > 1) text += '\n';
        text += kelhost::ToOem(m.lines[i]);
      }
      out.push_back(text);
    }
    return out;
  }
  std::string Log() const { return device.ReadState(u"calls.log"); }
  static int Count(const std::string& log, const std::string& what) {
    int n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  }
  static int Writes(const std::string& log) { return Count(log, "CeCreateFile \\Windows\\HandrelInvoke.dll"); }
  std::string InvokeImage() const {
    HRSRC r = FindResourceW(nullptr, MAKEINTRESOURCEW(102), L"RCINVOKE");
    return std::string(static_cast<const char*>(LockResource(LoadResource(nullptr, r))), SizeofResource(nullptr, r));
  }
  uint64_t DeviceWriteTime(const wchar_t* path) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(device.Host(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
  }
  static void PressEsc() {
    INPUT_RECORD key{};
    key.EventType = KEY_EVENT;
    key.Event.KeyEvent.bKeyDown = TRUE;
    key.Event.KeyEvent.wRepeatCount = 1;
    key.Event.KeyEvent.wVirtualKeyCode = VK_ESCAPE;
    key.Event.KeyEvent.uChar.AsciiChar = 27;
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputW(GetStdHandle(STD_INPUT_HANDLE), &key, 1, &written));
  }
  static DWORD PendingInput() {
    DWORD n = 0;
    GetNumberOfConsoleInputEvents(GetStdHandle(STD_INPUT_HANDLE), &n);
    return n;
  }

  kelhost::Host host;
  rapiemu::EmulatedDevice device{L"handrel-conn"};

 private:
  HostStartupInfoA startup_{};
};

TEST_F(Connection, ADeviceThatAnswersLateIsWaitedForAndItsInformationShown) {
  device.WriteState(u"script", "record\nconnect delay 700\n");
  Panel panel;
  DWORD start = GetTickCount();
  ASSERT_EQ(1, panel.conn.StartPanelConnection(false));
  EXPECT_GE(GetTickCount() - start, 600u);
  EXPECT_TRUE(panel.conn.HoldsConnection());
  EXPECT_EQ(1, ConnectionCount());
  EXPECT_TRUE(Messages().empty());
  // The status window named each step while it ran, and is gone afterwards.
  EXPECT_EQ((std::vector<std::string>{"Handrel (Loading modules...)", "Handrel (Loading information...)"}),
            panel.titles);
  EXPECT_EQ(std::string::npos, ConsoleTitle().find("Handrel ("));
  EXPECT_EQ(1, panel.startDirectories);
  // The device's name, and the lines from its record (the emulated device's screen).
  EXPECT_STREQ(L"Pocket7", panel.conn.DeviceNameW());
  EXPECT_STREQ("Pocket7", panel.conn.DeviceName());
  EXPECT_EQ("-- Handrel --", panel.lines.at(0));
  EXPECT_TRUE(panel.HasLine("PPC Name = Pocket7"));
  EXPECT_TRUE(panel.HasLine("Screen dimension = 240x320x16")) << panel.lines.size();
  EXPECT_TRUE(panel.HasLine("Main battery level = (AC Online)100%"));
  const int32_t* screen = panel.conn.ScreenMetrics();
  EXPECT_EQ(240, screen[0]);
  EXPECT_EQ(320, screen[1]);
  EXPECT_EQ(16, screen[2]);
  // The invoke library is on the device, stamped with the plugin's time.
  std::string onDevice;
  ASSERT_TRUE(device.ReadFile(L"\\Windows\\HandrelInvoke.dll", onDevice));
  EXPECT_EQ(InvokeImage(), onDevice);
  EXPECT_EQ(kStamp, DeviceWriteTime(L"\\Windows\\HandrelInvoke.dll"));
  panel.Close();
  EXPECT_EQ(0, ConnectionCount());
  EXPECT_NE(std::string::npos, Log().find("CeRapiUninit -> ok"));
}

TEST_F(Connection, EscAnsweredNoGoesOnWaiting) {
  device.WriteState(u"script", "record\nconnect delay 1200\n");
  host.AnswerMessage(1);  // "Cancel operation?" No
  PressEsc();
  Panel panel;
  ASSERT_EQ(1, panel.conn.StartPanelConnection(false));
  EXPECT_EQ((std::vector<std::string>{"Cancel operation?"}), Messages());
  EXPECT_EQ(0u, PendingInput());
  EXPECT_EQ(1, ConnectionCount());
  EXPECT_STREQ(L"Pocket7", panel.conn.DeviceNameW());
}

TEST_F(Connection, EscAnsweredYesAbandonsTheOpen) {
  device.WriteState(u"script", "record\nconnect never\n");
  host.AnswerMessage(0);  // Yes
  PressEsc();
  Panel panel;
  EXPECT_EQ(0, panel.conn.StartPanelConnection(false));
  EXPECT_EQ((std::vector<std::string>{"Cancel operation?"}), Messages());
  EXPECT_FALSE(panel.conn.HoldsConnection());
  EXPECT_EQ(0, ConnectionCount());
  EXPECT_EQ(0, panel.startDirectories);
  std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("CeRapiUninit -> ok", log.find("CeRapiInitEx"))) << log;
}

TEST_F(Connection, AFailedStartOpensNothingAndSaysNothing) {
  device.WriteState(u"script", "record\nconnect fail\n");
  Panel panel;
  EXPECT_EQ(0, panel.conn.StartPanelConnection(false));
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(0, ConnectionCount());
  EXPECT_EQ(0, Writes(Log()));
}

TEST_F(Connection, AStartRefusedAtOnceIsNotWaitedForForever) {
  // Someone else in the process holds a connection the panels do not count: the start is refused
  // at once and never signalled.
  ASSERT_EQ(S_OK, device.Connect());
  Panel panel;
  DWORD start = GetTickCount();
  EXPECT_EQ(0, panel.conn.StartPanelConnection(false));
  EXPECT_LT(GetTickCount() - start, 2000u);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(0, ConnectionCount());
}

TEST_F(Connection, AMissingLibraryOrEntryRefusesTheOpen) {
  for (const wchar_t* library : {L"rapi_partial.dll", L"no_such_rapi.dll"}) {
    SCOPED_TRACE(kelhost::ToOem(library));
    host.messages.clear();
    host.AnswerMessage(0);
    Panel panel;
    panel.conn.SetLibraryName(library);
    EXPECT_EQ(0, panel.conn.StartPanelConnection(false));
    EXPECT_FALSE(panel.conn.LibraryLoaded());
    EXPECT_EQ(0, panel.moduleLoads);
    EXPECT_EQ((std::vector<std::string>{"Can't load library: rapi.dll\nPlease install ActiveSync or\nWindows Mobile "
                                        "Center."}),
              Messages());
  }
}

TEST_F(Connection, ALoadOnlyPanelLoadsModulesAndConnectsNot) {
  Panel panel;
  EXPECT_EQ(1, panel.conn.StartPanelConnection(true));
  EXPECT_EQ(1, panel.moduleLoads);
  EXPECT_TRUE(panel.conn.LibraryLoaded());
  EXPECT_EQ(1, panel.conn.StartPanelConnection(true));  // loaded already: at once
  EXPECT_EQ(1, panel.moduleLoads);
  EXPECT_EQ(0, ConnectionCount());
  EXPECT_EQ(0, Count(Log(), "CeRapiInitEx"));
}

TEST_F(Connection, TheInvokeLibraryIsWrittenOnceAndAgainOnlyAfterAChange) {
  {
    Panel first;
    ASSERT_EQ(1, first.conn.StartPanelConnection(false));
  }
  EXPECT_EQ(1, Writes(Log()));
  device.WriteState(u"calls.log", "");
  {
    Panel again;  // same size and time on the device: nothing written
    ASSERT_EQ(1, again.conn.StartPanelConnection(false));
    std::string log = Log();
    EXPECT_EQ(1, Count(log, "CeFindFirstFile \\Windows\\HandrelInvoke.dll")) << log;
    EXPECT_EQ(0, Writes(log)) << log;
  }
  // Another size on the device (a damaged copy): rewritten whole.
  std::string image = InvokeImage();
  ASSERT_TRUE(device.MakeFile(L"\\Windows\\HandrelInvoke.dll", image + "tail"));
  device.WriteState(u"calls.log", "");
  {
    Panel damaged;
    ASSERT_EQ(1, damaged.conn.StartPanelConnection(false));
    EXPECT_EQ(1, Writes(Log()));
    std::string onDevice;
    ASSERT_TRUE(device.ReadFile(L"\\Windows\\HandrelInvoke.dll", onDevice));
    EXPECT_EQ(image, onDevice);
    EXPECT_EQ(kStamp, DeviceWriteTime(L"\\Windows\\HandrelInvoke.dll"));
  }
  // A newer plugin (another stamp): rewritten and stamped with the new time.
  device.WriteState(u"calls.log", "");
  {
    Panel newer(kStamp + 60 * kTicksPerSecond);
    ASSERT_EQ(1, newer.conn.StartPanelConnection(false));
    EXPECT_EQ(1, Writes(Log()));
    EXPECT_EQ(kStamp + 60 * kTicksPerSecond, DeviceWriteTime(L"\\Windows\\HandrelInvoke.dll"));
  }
}

TEST_F(Connection, TheDevicesOwnTimeBecomesTheStamp) {
  // The device keeps two-second times: a stamp with an odd second comes back cut, and the check
  // that follows compares with what the device holds.
  const uint64_t odd = kStamp + 7 * kTicksPerSecond + 12345;
  Panel panel(odd);
  ASSERT_EQ(1, panel.conn.StartPanelConnection(false));
  EXPECT_EQ(kStamp + 6 * kTicksPerSecond, panel.conn.PluginFileTime());
  device.WriteState(u"calls.log", "");
  EXPECT_EQ(1, panel.conn.CheckInvokeLibrary());
  EXPECT_EQ(0, Writes(Log()));
}

TEST_F(Connection, InvokeDeploymentFailures) {
  struct Case {
    const char* script;
    HMODULE resources;
    std::vector<std::string> messages;
  } cases[] = {
      {"record\nfail CeCreateFile 1 error 5\n", GetModuleHandleW(nullptr),
       {"Can't create invoke file!\nRapi=0x00000000, CE=0x00000005"}},
      {"record\nfail CeWriteFile 1 error 112\n", GetModuleHandleW(nullptr), {}},  // a failed write says nothing
      {"record\n", GetModuleHandleW(L"kernel32.dll"), {"Can't load invoke dll!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    host.messages.clear();
    for (size_t i = 0; i < c.messages.size(); ++i) host.AnswerMessage(0);
    device.WriteState(u"script", c.script);
    Panel panel(kStamp, c.resources);
    EXPECT_EQ(0, panel.conn.StartPanelConnection(false));
    EXPECT_EQ(c.messages, Messages());
    EXPECT_FALSE(panel.conn.HoldsConnection());
    EXPECT_EQ(0, ConnectionCount());
    EXPECT_NE(std::string::npos, Log().find("CeRapiUninit -> ok"));
  }
}

TEST_F(Connection, APolicyKeyThatCannotBeOpenedIsReportedAndTheOpenGoesOn) {
  device.WriteState(u"script", "record\nfail CeRegOpenKeyEx 1 error 5\n");
  host.AnswerMessage(0);
  Panel panel;
  EXPECT_EQ(1, panel.conn.StartPanelConnection(false));
  EXPECT_EQ((std::vector<std::string>{"Can't open registry key. ErrCode=0x00000005"}), Messages());
}

TEST_F(Connection, ADeviceWithoutThePolicyKeySkipsThePolicySilently) {
  device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket7\"\n");
  Panel panel;
  EXPECT_EQ(1, panel.conn.StartPanelConnection(false));
  EXPECT_TRUE(Messages().empty());
  std::string ignored;
  EXPECT_FALSE(device.ReadFile(L"\\HandrelPolicy.exe", ignored));
}

// The policy updater runs on the device while the user reads the plugin's message: the message
// is answered once the device program has asked its own user (and had time to write).
class PolicyUpdater : public Connection {
 protected:
  void AnswerWhenTheDeviceAsked() {
    host.AnswerMessage(0);
    host.onTranscript = [this](const std::wstring& line) {
      if (line.find(L"Policy updater") == std::wstring::npos) return;
      for (int i = 0; i < 100 && device.ReadState(u"messagebox.log").find("Continue?") == std::string::npos; ++i)
        Sleep(50);
    };
  }
};

TEST_F(PolicyUpdater, AWrongValueConfirmedOnTheDeviceIsSet) {
  device.WriteState(u"registry",
                    "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket7\"\n"
                    "[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n\"00001001\"=dword:00000002\n");
  device.WriteState(u"messagebox.script", "yes\n");
  AnswerWhenTheDeviceAsked();
  Panel panel;
  EXPECT_EQ(1, panel.conn.StartPanelConnection(false));
  EXPECT_EQ((std::vector<std::string>{"Policy updater (HandrelPolicy.exe)\nwas started on Your PPC\nPlease, confirm "
                                      "(on PPC) registry changes\nand close this dialog"}),
            Messages());
  ASSERT_EQ(1u, host.messages.size());
  EXPECT_EQ(0u, host.messages[0].flags & FMSG_WARNING);
  EXPECT_NE(std::string::npos, device.ReadState(u"registry").find("\"00001001\"=dword:00000001"));
  std::string program;
  EXPECT_TRUE(device.ReadFile(L"\\HandrelPolicy.exe", program));
  EXPECT_FALSE(program.empty());
}

TEST_F(PolicyUpdater, AMissingValueDeclinedOnTheDeviceIsReportedAndTheOpenGoesOn) {
  device.WriteState(u"registry",
                    "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket7\"\n"
                    "[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n");
  device.WriteState(u"messagebox.script", "ok\nno\n");  // the device's own query error, then No
  host.AnswerMessage(0);  // "Can't query policy value"
  AnswerWhenTheDeviceAsked();
  host.AnswerMessage(0);  // "Wrong policy value"
  Panel panel;
  EXPECT_EQ(1, panel.conn.StartPanelConnection(false));
  EXPECT_EQ((std::vector<std::string>{"Can't query policy value. ErrCode=0x00000002",
                                      "Policy updater (HandrelPolicy.exe)\nwas started on Your PPC\nPlease, confirm "
                                      "(on PPC) registry changes\nand close this dialog",
                                      "Wrong policy value \"00001001\""}),
            Messages());
  EXPECT_EQ(std::string::npos, device.ReadState(u"registry").find("\"00001001\""));
}

TEST_F(Connection, AnUpdaterThatCannotBePlacedOrStartedIsReportedAndTheOpenGoesOn) {
  const char kWrongValue[] =
      "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket7\"\n"
      "[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n\"00001001\"=dword:00000000\n";
  struct Case {
    const char* script;
    const char* message;
  } cases[] = {
      {"record\nfail CeCreateFile 1 error 5\n", "Can't create policy updater file!\nRapi=0x00000000, CE=0x00000005"},
      {"record\nfail CeWriteFile 1 error 112\n", "Can't write policy updater file!\nRapi=0x00000000, CE=0x00000070"},
      {"record\nfail CeCreateProcess 1 error 193\n", "Can't start policy updater!\nRapi=0x00000000, CE=0x000000c1"},
  };
  device.WriteState(u"registry", kWrongValue);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    host.messages.clear();
    host.AnswerMessage(0);
    device.WriteState(u"script", c.script);
    Panel panel;
    EXPECT_EQ(1, panel.conn.StartPanelConnection(false));  // the invoke library is placed all the same
    EXPECT_EQ((std::vector<std::string>{c.message}), Messages());
    EXPECT_NE(std::string::npos, device.ReadState(u"registry").find("\"00001001\"=dword:00000000"));
  }
}

TEST_F(Connection, TwoPanelsShareOneConnection) {
  Panel first, second;
  ASSERT_EQ(1, first.conn.StartPanelConnection(false));
  ASSERT_EQ(1, second.conn.StartPanelConnection(false));
  EXPECT_EQ(2, ConnectionCount());
  std::string log = Log();
  EXPECT_EQ(1, Count(log, "CeRapiInitEx")) << log;
  // The second panel still checked the invoke library and read the device's name.
  EXPECT_EQ(2, Count(log, "CeFindFirstFile \\Windows\\HandrelInvoke.dll")) << log;
  EXPECT_STREQ(L"Pocket7", second.conn.DeviceNameW());
  EXPECT_TRUE(second.HasLine("PPC Name = Pocket7"));

  // A third panel whose modules fail to load takes nothing from the two.
  {
    Panel failing;
    failing.modulesLoad = false;
    EXPECT_EQ(0, failing.conn.StartPanelConnection(false));
  }
  EXPECT_EQ(2, ConnectionCount());

  first.Close();  // the connection stays for the second
  EXPECT_EQ(1, ConnectionCount());
  std::vector<uint8_t> answer;
  HRESULT result = E_FAIL;
  EXPECT_TRUE(second.conn.RequestBrowserInfo(answer, result));
  EXPECT_EQ(952u, answer.size());
  EXPECT_EQ(0, Count(Log(), "CeRapiUninit"));
  second.Close();  // the last one ends it
  EXPECT_EQ(0, ConnectionCount());
  EXPECT_EQ(1, Count(Log(), "CeRapiUninit -> ok"));
}

TEST_F(Connection, ALostDeviceIsReconnectedWhenItsNameIsReadAgain) {
  // Calls 1 and 2 of CeRegOpenKeyEx are the start's (policy, name); the third, Ctrl+R's, loses
  // the connection.
  device.WriteState(u"script", "record\nfail CeRegOpenKeyEx 3 lost\n");
  Panel panel;
  ASSERT_EQ(1, panel.conn.StartPanelConnection(false));
  panel.lines.clear();
  EXPECT_TRUE(panel.conn.ReloadDeviceInfo(false));
  EXPECT_STREQ(L"Pocket7", panel.conn.DeviceNameW());
  EXPECT_TRUE(panel.HasLine("PPC Name = Pocket7"));
  EXPECT_EQ(2, panel.startDirectories);  // the reconnection returned to the start directory
  EXPECT_EQ(1, ConnectionCount());
  EXPECT_EQ(2, Count(Log(), "CeRapiInitEx"));
  // Reconnect as a module calls it.
  EXPECT_EQ(1, panel.conn.Reconnect());
  EXPECT_EQ(1, ConnectionCount());
}

TEST_F(Connection, ANameThatCannotBeReadLeavesUnknownAndNoLines) {
  device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Other\"=\"x\"\n");
  Panel panel;
  ASSERT_EQ(1, panel.conn.StartPanelConnection(false));
  EXPECT_STREQ(L"Unknown", panel.conn.DeviceNameW());
  EXPECT_TRUE(panel.lines.empty());
  // A name that fills the 520-byte limit is read terminated.
  std::string longName(300, 'N');
  device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"" + longName + "\"\n");
  EXPECT_FALSE(panel.conn.ReloadDeviceInfo(true));  // too long for the buffer: not read
  EXPECT_STREQ(L"Unknown", panel.conn.DeviceNameW());
  device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=hex(1):" + std::string() + "41,00,42,00\n");
  EXPECT_TRUE(panel.conn.ReloadDeviceInfo(true));  // stored without its terminator
  EXPECT_STREQ(L"AB", panel.conn.DeviceNameW());
}

}  // namespace
