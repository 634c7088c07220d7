#include "devicebrowser/device/policy/core/policy.h"

#include "devicebrowser/device/invoke/core/bytes.h"

namespace handrel::policy {

uint32_t RunPolicyUpdater(PolicyDevice& device) {
  const std::u16string unavailable = u"\r\nSome plugin features may be unavailable\r\nErrCode=";
  if (uint32_t err = device.OpenKey()) {
    device.ShowError(u"Can't open registry key" + unavailable + Hex8(err, true));
    return kExitNoKey;
  }
  uint32_t type = kTypeDword, value = 0xFFFFFFFF;
  uint32_t err = device.QueryValue(type, value);
  if (err) {
    device.ShowError(u"Can't query policy value" + unavailable + Hex8(err, true));
    type = kTypeDword;  // a value that could not be read is written as a 32-bit value
  } else if (value == 1) {
    device.CloseKey();
    return kExitDone;
  }
  uint32_t exitCode = kExitDeclined;
  if (device.AskYesNo(u"Handrel requires updating policy value\r\n"
                      u"[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\r\n"
                      u"\"00001001\"=dword:00000001\r\nContinue?")) {
    if (uint32_t setErr = device.SetValue(type, 1)) {
      device.ShowError(u"Can't update policy value" + unavailable + Hex8(setErr, true));
      exitCode = kExitNotWritten;
    } else {
      exitCode = kExitDone;
    }
  }
  device.CloseKey();
  return exitCode;
}

}  // namespace handrel::policy
