// Opening the emulated handheld exactly as the device browser does: start the connection and
// wait for its event, check the policy and start the updater when it is wrong, place the invoke
// library in the device's Windows folder (unless the same one is there), then read the device's
// record, capture its screen and type on it.
#include <string>

#include "devicebrowser/device/invoke/tests/capture_checks.h"
#include "devicebrowser/device/tests/device_session.h"

using namespace devicetest;

namespace {

class Opening : public DeviceSession {
 protected:
  // The policy step of an opening: a value other than 1 starts the updater on the device.
  bool CheckPolicy(bool& ranUpdater) {
    ranUpdater = false;
    HKEY key;
    LONG err = CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Security\\Policies\\Policies", 0, 0, &key);
    if (err == ERROR_FILE_NOT_FOUND) return true;
    if (err) return false;
    DWORD type = 4, value = 0xFFFFFFFF, size = 4;
    err = CeRegQueryValueEx(key, L"00001001", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    CeRegCloseKey(key);
    if (err == 0 && value == 1) return true;
    ranUpdater = true;
    if (!Place(L"HandrelPolicy.exe", L"\\HandrelPolicy.exe")) return false;
    PROCESS_INFORMATION pi{};
    if (!CeCreateProcess(L"\\HandrelPolicy.exe", L"", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi))
      return false;
    CeCloseHandle(pi.hProcess);  // the plugin does not wait on the process ...
    CeCloseHandle(pi.hThread);
    // ... its user confirms on the device and then in the desktop's dialog; here the scripted
    // user answers at once, so the value is read again once the box was answered.
    for (int i = 0; i < 100 && ReadState(u"messagebox.log").empty(); ++i) Sleep(100);
    Sleep(1000);
    err = CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Security\\Policies\\Policies", 0, 0, &key);
    if (err) return false;
    size = 4;
    err = CeRegQueryValueEx(key, L"00001001", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    CeRegCloseKey(key);
    return err == 0 && value == 1;
  }

  // The invoke library step: write it unless the device holds one of the same size and time.
  bool CheckInvokeLibrary(FILETIME& stamp, bool& wrote) {
    std::string image;
    if (!rapiemu::ReadWholeFile(BinaryFolder() + L"\\HandrelInvoke.dll", image)) return false;
    CE_FIND_DATA found;
    HANDLE f = CeFindFirstFile(L"\\Windows\\HandrelInvoke.dll", &found);
    if (f != INVALID_HANDLE_VALUE) {
      CeFindClose(f);
      if (CompareFileTime(&found.ftLastWriteTime, &stamp) == 0 && found.nFileSizeLow == image.size()) {
        wrote = false;
        return true;
      }
    }
    HANDLE h = CeCreateFile(L"\\Windows\\HandrelInvoke.dll", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = CeWriteFile(h, image.data(), static_cast<DWORD>(image.size()), &written, nullptr) &&
              written == image.size();
    CeSetFileTime(h, nullptr, nullptr, &stamp);
    FILETIME device;
    if (CeGetFileTime(h, nullptr, nullptr, &device)) stamp = device;  // the device's own precision
    CeCloseHandle(h);
    wrote = true;
    return ok;
  }
};

}  // namespace

TEST_F(Opening, DeviceOpensAsThePluginOpensIt) {
  WriteState(u"registry",
             "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket Test\"\n"
             "[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n\"00001001\"=dword:00000000\n");
  WriteState(u"messagebox.script", "yes\n");
  WriteState(u"script", "connect delay 300\n");

  // Start the connection and wait for the event in 250 ms slices.
  RAPIINIT& init = StartRecord();
  ResetEvent(init.heRapiInit);
  init.hrRapiInit = kRapiInitPending;
  ASSERT_EQ(CeRapiInitEx(&init), S_OK);
  int slices = 0;
  while (WaitForSingleObject(init.heRapiInit, 250) != WAIT_OBJECT_0) ASSERT_LT(++slices, 40);
  EXPECT_GE(slices, 1);  // the device took its scripted 300 ms
  ASSERT_EQ(init.hrRapiInit, S_OK);

  bool ranUpdater = false;
  ASSERT_TRUE(CheckPolicy(ranUpdater));
  EXPECT_TRUE(ranUpdater);

  // The plugin's stamp: its file time cut to the minute.
  SYSTEMTIME st{2026, 3, 0, 14, 9, 26, 0, 0};
  FILETIME stamp;
  SystemTimeToFileTime(&st, &stamp);
  bool wrote = false;
  ASSERT_TRUE(CheckInvokeLibrary(stamp, wrote));
  EXPECT_TRUE(wrote);
  ASSERT_TRUE(CheckInvokeLibrary(stamp, wrote));
  EXPECT_FALSE(wrote);  // the second start finds the same library

  // The device's name and its record.
  HKEY key;
  ASSERT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Ident", 0, 0, &key), 0);
  wchar_t name[261] = {};
  DWORD type = 0, size = 520;
  ASSERT_EQ(CeRegQueryValueEx(key, L"Name", nullptr, &type, reinterpret_cast<BYTE*>(name), &size), 0);
  CeRegCloseKey(key);
  EXPECT_STREQ(name, L"Pocket Test");
  InvokeResult info = Invoke(Wide(u"GetBrowserInfo"));
  ASSERT_EQ(info.hr, S_OK);
  ASSERT_EQ(info.answer.size(), 952u);
  EXPECT_EQ(U32(info.answer, 332), 240u);
  EXPECT_EQ(U32(info.answer, 336), 320u);
  EXPECT_EQ(U32(info.answer, 340), 16u);
  EXPECT_EQ(Text(info.answer, 344), u"\\");

  // The desktop module's capture request: a full-size 16-bit picture.
  InvokeResult shot = Invoke(Wide(u"GetSnapshoot;"));
  ASSERT_EQ(shot.hr, S_OK);
  handrel::invoke::testing::ExpectCaptureHeaders(shot.answer, 240, 320, 16);

  // The control module's text request.
  std::u16string typed = u"Hello, device";
  std::vector<uint8_t> request = Wide(u"InputEvent;", false);
  Put32(request, 4);
  Put32(request, static_cast<uint32_t>(typed.size()));
  auto chars = Wide(typed);
  Append(request, chars);
  request.resize(2 * typed.size() + 48, 0);
  InvokeResult typedResult = Invoke(request);
  EXPECT_EQ(typedResult.hr, S_OK);
  EXPECT_EQ(ReadState(u"input.log"), "text flags=0x00000000 count=13 \"Hello, device\"\n");

  EXPECT_EQ(CeRapiUninit(), S_OK);
}
