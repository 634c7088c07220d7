// HandrelPolicy: asks the device user to allow the desktop's remote calls and sets the device
// policy value. No window of its own, no command line; the result is the exit code.
#include <windows.h>

#include "devicebrowser/device/policy/core/policy.h"
#include "devicebrowser/device/seam/device_seam.h"

namespace {

std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

class SeamPolicyDevice : public handrel::policy::PolicyDevice {
 public:
  uint32_t OpenKey() override { return static_cast<uint32_t>(device_seam::RegOpenKey(L"Security\\Policies\\Policies", &key_)); }
  uint32_t QueryValue(uint32_t& type, uint32_t& value) override {
    DWORD t = type, v = value, size = sizeof v;
    LONG err = device_seam::RegQueryValue(key_, L"00001001", &t, reinterpret_cast<BYTE*>(&v), &size);
    if (err == ERROR_SUCCESS && size != sizeof v) err = ERROR_INVALID_DATA;  // not a 32-bit value
    if (err == ERROR_SUCCESS) {
      type = t;
      value = v;
    }
    return static_cast<uint32_t>(err);
  }
  uint32_t SetValue(uint32_t type, uint32_t value) override {
    DWORD v = value;
    return static_cast<uint32_t>(
        device_seam::RegSetValue(key_, L"00001001", type, reinterpret_cast<const BYTE*>(&v), sizeof v));
  }
  void CloseKey() override { device_seam::RegCloseKey(key_); }
  void ShowError(const std::u16string& text) override {
    device_seam::ShowMessageBox(W(text), W(handrel::policy::kCaption), MB_OK | MB_ICONSTOP);
  }
  bool AskYesNo(const std::u16string& text) override {
    return device_seam::ShowMessageBox(W(text), W(handrel::policy::kCaption), MB_YESNO | MB_ICONQUESTION) == IDYES;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

#ifdef UNDER_CE
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {  // the device's programs start here, with a wide line
#else
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
#endif
  try {
    SeamPolicyDevice device;
    return static_cast<int>(handrel::policy::RunPolicyUpdater(device));
  } catch (...) {
    return 1;  // nothing was changed that the user did not confirm
  }
}
