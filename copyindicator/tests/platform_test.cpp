// The shell's seams on the real platform: the pipe against the stand-in service, and the
// registry store under HKCU\Software\Veloma.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "copyindicator/core/protocol.h"
#include "copyindicator/core/settings.h"
#include "copyindicator/win/platform.h"

namespace veloma {
namespace {

std::wstring WinPath(const char* unixPath) {
  std::wstring w = L"Z:";
  for (const char* p = unixPath; *p; ++p) w.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
  return w;
}

std::string ReadAll(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(h);
  return text;
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int waited = 0; waited < 10000; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return false;
}

class FerryProcess {
 public:
  explicit FerryProcess(const std::string& scenario) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring base = std::wstring(temp) + L"veloma-pipe-" + std::to_wstring(GetCurrentProcessId());
    scenario_ = base + L".txt";
    log_ = base + L".log";
    std::ofstream(scenario_.c_str(), std::ios::binary) << scenario;
    std::wstring line = L"\"" + WinPath(FERRY_EXE) + L"\" \"" + scenario_ + L"\" \"" + log_ + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      CloseHandle(pi.hThread);
      process_ = pi.hProcess;
    }
    WaitFor([&] { return Log().find("ready") != std::string::npos; });
  }
  ~FerryProcess() {
    if (process_) {
      TerminateProcess(process_, 0);
      WaitForSingleObject(process_, 5000);
      CloseHandle(process_);
    }
    DeleteFileW(scenario_.c_str());
    DeleteFileW(log_.c_str());
  }
  FerryProcess(const FerryProcess&) = delete;
  FerryProcess& operator=(const FerryProcess&) = delete;
  std::string Log() const { return ReadAll(log_); }

 private:
  HANDLE process_ = nullptr;
  std::wstring scenario_, log_;
};

TEST(PipeTest, AbsentServiceFailsQuietly) {
  Win32PipeConnector connector;
  ServiceClient client(connector);
  std::vector<JobListing> jobs{JobListing{}};
  EXPECT_FALSE(client.ListJobs(jobs));
  EXPECT_TRUE(jobs.empty());
  JobDetails details;
  details.job.kind = 3;
  EXPECT_FALSE(client.GetJobDetails(1, details));
  EXPECT_EQ(details.job.kind, 0u) << "a failed exchange leaves an unusable record";
  client.SendCommand(JobCommand::kTogglePause, 1);  // lost silently
}

TEST(PipeTest, ExchangesEveryMessageWithTheService) {
  // 150 jobs make a list reply of over 300 KB, more than one pipe read may hand over.
  std::string scenario = "at 0 add 7 kind=move total=5000 done=1234 token=0102030405060708 question=4 "
                         "src=\"C:\\Папка\\файл.txt\" dst=E:\\\n";
  for (int id = 100; id < 249; ++id) {
    scenario.append("at 0 add ").append(std::to_string(id)).append(" kind=delete total=9\n");
  }
  FerryProcess ferry(scenario);
  Win32PipeConnector connector;
  ServiceClient client(connector);
  std::vector<JobListing> jobs;
  ASSERT_TRUE(client.ListJobs(jobs));
  ASSERT_EQ(jobs.size(), 150u);
  EXPECT_EQ(jobs[0].id, 7u);
  EXPECT_EQ(jobs[0].kind, 2u);
  EXPECT_EQ(jobs[0].source, u"C:\\Папка\\файл.txt");
  EXPECT_EQ(jobs[0].question, 4u);
  EXPECT_EQ(jobs[149].id, 248u);

  JobDetails d;
  ASSERT_TRUE(client.GetJobDetails(7, d));
  EXPECT_EQ(d.job.kind, 2u);
  EXPECT_EQ(d.total, 5000u);
  EXPECT_EQ(d.done, 1234u);
  EXPECT_EQ(d.fullDestination, u"E:\\");
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_EQ(d.start.year, now.wYear);

  client.SendCommand(JobCommand::kTogglePause, 7);
  client.SendAnswer(kAnswerLink | kApplyToAll, 7, d.token);
  client.SendCommand(JobCommand::kAbort, 248);
  EXPECT_TRUE(WaitFor([&] { return ferry.Log().find("AbortJob 248") != std::string::npos; }));
  std::string log = ferry.Log();
  EXPECT_NE(log.find("TogglePause 7 -> paused\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Answer 7 code=0x80000007 token=0102030405060708\n"), std::string::npos) << log;
  ASSERT_TRUE(client.ListJobs(jobs));
  EXPECT_EQ(jobs.size(), 149u);
  EXPECT_TRUE(jobs[0].paused);
  EXPECT_EQ(jobs[0].question, 0u) << "the answer reached the job";
}

// Each scripted failure of the service fails the exchange, and none holds it longer than the
// exchange's time.
TEST(PipeTest, ScriptedFailuresFailTheExchangeInTime) {
  struct Case {
    const char* fault;
    const char* logged;
  };
  const Case cases[] = {{"busy", "busy: every instance taken"},
                        {"short", "(short reply"},
                        {"huge", "(count 4294967295)"},
                        {"huge count=4000", "(count 4000)"},
                        {"silent", "(no answer)"}};
  for (const Case& c : cases) {
    FerryProcess ferry(std::string("at 0 add 1 total=10\nat 0 fault ") + c.fault + "\n");
    if (std::string(c.fault) == "busy") {
      ASSERT_TRUE(WaitFor([&] { return ferry.Log().find(c.logged) != std::string::npos; }));
    }
    Win32PipeConnector connector;
    ServiceClient client(connector);
    std::vector<JobListing> jobs;
    DWORD start = GetTickCount();
    EXPECT_FALSE(client.ListJobs(jobs)) << c.fault;
    DWORD took = GetTickCount() - start;
    EXPECT_LT(took, kExchangeTimeoutMs + 1500) << c.fault;
    EXPECT_TRUE(jobs.empty()) << c.fault;
    EXPECT_TRUE(WaitFor([&] { return ferry.Log().find(c.logged) != std::string::npos; })) << c.fault << "\n" << ferry.Log();
  }
}

TEST(RegistryStoreTest, RoundTripAndDefaults) {
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Veloma");
  {
    RegistryStore store;
    Settings defaults = LoadSettings(store);
    EXPECT_EQ(defaults.alphaHover, 229u);
    EXPECT_EQ(defaults.colors[8], 0xFFB7E2F0u);
    Settings s;
    s.lineWidth = 400;
    s.colors[3] = 0xFF123456;
    s.waveFile[0] = u"C:\\Звуки\\готово.wav";
    SaveSettings(s, store);
  }
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Veloma", 0, KEY_READ | KEY_WRITE, &key), ERROR_SUCCESS);
  // A value of the wrong type and a text stored without its terminator.
  RegSetValueExW(key, L"Holdtime", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"77"), 6);
  RegSetValueExW(key, L"NotifyCustomBeeps1", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"500 50"), 12);
  RegCloseKey(key);
  {
    RegistryStore store;
    Settings back = LoadSettings(store);
    EXPECT_EQ(back.lineWidth, 400u);
    EXPECT_EQ(back.colors[3], 0xFF123456u);
    EXPECT_EQ(back.waveFile[0], u"C:\\Звуки\\готово.wav");
    EXPECT_EQ(back.holdTime, 3000u) << "a string where a number belongs gives the default";
    EXPECT_EQ(back.customBeeps[1], u"500 50");
    EXPECT_FALSE(back.waveFile[2].has_value());
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Veloma");
}

TEST(RegistryStoreTest, SoundPathOfTheLongestLengthSurvivesARestart) {
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Veloma");
  // 259 characters, the most a path may have: 520 bytes with its terminator.
  std::u16string longest = u"C:\\" + std::u16string(kSlotTextMax - 7, u'з') + u".wav";
  ASSERT_EQ(longest.size(), kSlotTextMax);
  {
    RegistryStore store;
    Settings s;
    s.waveFile[1] = longest;
    s.customBeeps[2] = std::u16string(kSlotTextMax, u'1');
    SaveSettings(s, store);
  }
  RegistryStore store;
  Settings back = LoadSettings(store);
  EXPECT_EQ(back.waveFile[1].value_or(u"(missing)"), longest);
  EXPECT_EQ(back.customBeeps[2].value_or(u"(missing)").size(), kSlotTextMax);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Veloma");
}

}  // namespace
}  // namespace veloma
