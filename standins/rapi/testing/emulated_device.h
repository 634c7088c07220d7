// Test support: an emulated handheld for one test. It makes a fresh device root under the temp
// folder, points KEL_DEVICE_ROOT at it (and clears KEL_RAPI_SCRIPT), writes and reads the files
// of the root and of its state folder, and starts the connection the way the device browser
// does. The destructor ends the connection and removes the root. Windows only (under Wine).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "devicebrowser/common/rapi_api.h"

namespace rapiemu {

class EmulatedDevice {
 public:
  // `prefix` names the root's folder ("<temp>\<prefix>-<process>-<n>").
  explicit EmulatedDevice(std::wstring_view prefix = L"kel-device");
  ~EmulatedDevice();
  EmulatedDevice(const EmulatedDevice&) = delete;
  EmulatedDevice& operator=(const EmulatedDevice&) = delete;

  const std::wstring& root() const { return root_; }
  // The host path of a device path ("\Windows\x.dll" -> root + "\Windows\x.dll").
  std::wstring Host(std::wstring_view devicePath) const { return root_ + std::wstring(devicePath); }

  // The emulator keeps every device library it invoked loaded, and the host refuses to change or
  // remove a loaded library's file. A test that changes such a file or its folder behind the
  // emulator's back asks it to let go of the libraries at or below that device path first
  // (MakeFile, RemoveTree and the destructor do so themselves).
  void ReleaseLibraries(std::wstring_view devicePath) const { ReleaseHostLibraries(Host(devicePath)); }
  static void ReleaseHostLibraries(const std::wstring& hostPath);

  // Host-side set-up and inspection, bypassing the remote API; false on failure.
  bool MakeFolder(std::wstring_view devicePath) const;
  bool MakeFile(std::wstring_view devicePath, std::string_view content = "data") const;
  bool ReadFile(std::wstring_view devicePath, std::string& content) const;
  // Files of the state folder: u"attributes", u"registry", u"script", u"calls.log" ...
  bool WriteState(std::u16string_view file, std::string_view text) const;
  std::string ReadState(std::u16string_view file) const;

  // Starts the connection (CeRapiInitEx) and waits for its event in 250 ms slices, at most
  // `limitMs`: the record's result, or 0x800705B4 when the event never came.
  HRESULT Connect(DWORD limitMs = 5000);
  RAPIINIT& record() { return init_; }

  // Removes a host folder with everything in it (read-only files included, device libraries the
  // emulator holds there released first).
  static void RemoveTree(const std::wstring& path);

 private:
  std::wstring root_;
  RAPIINIT init_{};
};

}  // namespace rapiemu
