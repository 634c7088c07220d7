// HandrelPolicy on the emulated handheld, started through CeCreateProcess as the plugin starts
// it, with the device user's answers scripted: exit codes, the boxes shown and the value left in
// the device's registry.
#include <string>

#include "devicebrowser/device/tests/device_session.h"

using namespace devicetest;

namespace {

class Policy : public DeviceSession {
 protected:
  // Writes the updater to the device, starts it and gives its exit code.
  DWORD Run() {
    EXPECT_TRUE(Place(L"HandrelPolicy.exe", L"\\HandrelPolicy.exe"));
    PROCESS_INFORMATION pi{};
    if (!CeCreateProcess(L"\\HandrelPolicy.exe", L"", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi)) {
      ADD_FAILURE() << "CeCreateProcess failed: " << CeGetLastError();
      return 0xDEAD;
    }
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 0xDEAD;
    GetExitCodeProcess(pi.hProcess, &code);
    CeCloseHandle(pi.hThread);
    CeCloseHandle(pi.hProcess);
    return code;
  }
  // The policy value as the desktop reads it: type and value, or the error.
  LONG ReadPolicy(DWORD& type, DWORD& value) {
    HKEY key;
    LONG err = CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Security\\Policies\\Policies", 0, 0, &key);
    if (err) return err;
    DWORD size = 4;
    value = 0xFFFFFFFF;
    err = CeRegQueryValueEx(key, L"00001001", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    CeRegCloseKey(key);
    return err;
  }
  void Seed(const char* policyLines) {
    WriteState(u"registry", std::string("[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket Test\"\n") + policyLines);
  }
  std::string Boxes() { return ReadState(u"messagebox.log"); }
};

const std::string kAsk =
    "\t0x00000024\tHandrel policy\tHandrel requires updating policy value\\r\\n"
    "[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\\r\\n\"00001001\"=dword:00000001\\r\\nContinue?\n";
const std::string kStop = "ok\t0x00000010\tHandrel policy\t";
const std::string kUnavailable = "\\r\\nSome plugin features may be unavailable\\r\\nErrCode=";

}  // namespace

TEST_F(Policy, ValueAlreadyOneExitsZeroWithoutABox) {
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(Boxes(), "");
}

TEST_F(Policy, YesWritesOneAndNoLeavesTheValue) {
  Seed("[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n\"00001001\"=dword:00000000\n");
  WriteState(u"messagebox.script", "no\nyes\n");
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(Run(), 103u);
  DWORD type = 0, value = 0;
  ASSERT_EQ(ReadPolicy(type, value), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(Run(), 0u);
  ASSERT_EQ(ReadPolicy(type, value), 0);
  EXPECT_EQ(type, 4u);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(Boxes(), "no" + kAsk + "yes" + kAsk);
}

TEST_F(Policy, MissingKeyExits100) {
  Seed("");
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(Run(), 100u);
  EXPECT_EQ(Boxes(), kStop + "Can't open registry key" + kUnavailable + "0x00000002\n");
}

TEST_F(Policy, MissingValueIsReportedThenCreated) {
  Seed("[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n\"Other\"=dword:00000005\n");
  WriteState(u"messagebox.script", "ok\nyes\n");
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(Boxes(), kStop + "Can't query policy value" + kUnavailable + "0x00000002\nyes" + kAsk);
  DWORD type = 0, value = 0;
  ASSERT_EQ(ReadPolicy(type, value), 0);
  EXPECT_EQ(type, 4u);
  EXPECT_EQ(value, 1u);
}

TEST_F(Policy, UnwritableRegistryExits102) {
  Seed("[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n\"00001001\"=dword:00000000\n");
  WriteState(u"messagebox.script", "yes\n");
  WriteState(u"script", "fail RegSetValueEx always error 5\n");  // the device refuses the write
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(Run(), 102u);
  std::string boxes = Boxes();
  EXPECT_EQ(boxes.substr(0, 3 + kAsk.size()), "yes" + kAsk);
  EXPECT_EQ(boxes.substr(3 + kAsk.size()), kStop + "Can't update policy value" + kUnavailable + "0x00000005\n");
  DWORD type = 0, value = 0;
  ASSERT_EQ(ReadPolicy(type, value), 0);
  EXPECT_EQ(value, 0u);
}
