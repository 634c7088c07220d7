// The device policy updater: makes sure the device's value "00001001" under
// HKEY_LOCAL_MACHINE\Security\Policies\Policies is 1, asking the device user first.
#pragma once

#include <cstdint>
#include <string>

namespace handrel::policy {

constexpr uint32_t kExitDone = 0;        // the value is 1 (already, or set now)
constexpr uint32_t kExitNoKey = 100;     // the key cannot be opened
constexpr uint32_t kExitNotWritten = 102;
constexpr uint32_t kExitDeclined = 103;  // the user answered No

constexpr uint32_t kTypeDword = 4;
constexpr char16_t kCaption[] = u"Handrel policy";

// The registry key and message boxes as the updater needs them; error results are the device's
// error codes, 0 on success.
class PolicyDevice {
 public:
  virtual ~PolicyDevice() = default;
  virtual uint32_t OpenKey() = 0;
  // `type` and `value` come preset (4 and 0xFFFFFFFF) and are changed only by a successful read.
  virtual uint32_t QueryValue(uint32_t& type, uint32_t& value) = 0;
  virtual uint32_t SetValue(uint32_t type, uint32_t value) = 0;
  virtual void CloseKey() = 0;
  // A stop-icon box with one OK button.
  virtual void ShowError(const std::u16string& text) = 0;
  // A question-icon box with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::u16string& text) = 0;
};

// Runs the updater's steps and gives its exit code.
uint32_t RunPolicyUpdater(PolicyDevice& device);

}  // namespace handrel::policy
