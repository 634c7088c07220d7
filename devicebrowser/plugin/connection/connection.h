// The device connection of one device panel: loading the remote access library (rapi.dll) by
// name, starting and sharing the connection among panels, placing the current invoke library on
// the device (and the policy updater when the device's policy blocks it), reading the device's
// name and information record, reconnecting, and releasing at close. Everything runs on the
// host's thread; the only other thread is the remote access library's, which signals the start.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "devicebrowser/common/rapi_api.h"

namespace handrel {

// The entries of rapi.dll the plugin needs, resolved by name in this order (CeRegSetValueEx is
// required though the plugin itself does not call it).
struct RapiApi {
  CeRapiUninitFn CeRapiUninit;
  CeRegCloseKeyFn CeRegCloseKey;
  CeRegQueryValueExFn CeRegQueryValueEx;
  CeRegSetValueExFn CeRegSetValueEx;
  CeRegOpenKeyExFn CeRegOpenKeyEx;
  CeRapiInitExFn CeRapiInitEx;
  CeCloseHandleFn CeCloseHandle;
  CeWriteFileFn CeWriteFile;
  CeGetLastErrorFn CeGetLastError;
  CeRapiGetErrorFn CeRapiGetError;
  CeCreateFileFn CeCreateFile;
  CeFindCloseFn CeFindClose;
  CeFindFirstFileFn CeFindFirstFile;
  CeCreateDirectoryFn CeCreateDirectory;
  CeGetFileAttributesFn CeGetFileAttributes;
  CeRapiInvokeFn CeRapiInvoke;
  CeGetFileTimeFn CeGetFileTime;
  CeSetFileTimeFn CeSetFileTime;
  CeCreateProcessFn CeCreateProcess;
};
constexpr int kRapiEntryCount = 19;
extern const char* const kRapiEntryNames[kRapiEntryCount];  // "CeRapiUninit", ... in struct order

// Resolves every entry from a loaded library into `api`. All or nothing: false (and `api`
// zeroed) when any entry is missing.
bool ResolveRapiApi(HMODULE library, RapiApi& api);

// Device-side names.
extern const wchar_t kInvokeLibraryPath[];   // "\Windows\HandrelInvoke.dll"
extern const wchar_t kInvokeFunction[];      // "FnBlockMode"
extern const wchar_t kPolicyUpdaterPath[];   // "\HandrelPolicy.exe"
extern const wchar_t kPolicyKey[];           // "Security\Policies\Policies" (HKEY_LOCAL_MACHINE)
extern const wchar_t kPolicyValue[];         // "00001001", required value 1
// Resources of the plugin library (type "RCINVOKE").
constexpr int kInvokeResource = 102;         // HandrelInvoke.dll
constexpr int kPolicyResource = 103;         // HandrelPolicy.exe

// What a connection needs from its panel (the DevicePanel implements it).
class ConnectionOwner {
 public:
  // "Loading modules...": the module discovery; false when no module loaded (the discovery has
  // shown its own message).
  virtual bool LoadModules() = 0;
  // The start directory of the panel as at opening (the panel remembers how it was opened);
  // returns 1 unless a command-line or control start failed. The panel calls
  // DeviceConnection::CloseStatus() itself before a navigation that may show a dialog.
  virtual int ApplyStartDirectory() = 0;
  // Empties the panel's information lines.
  virtual void ClearInfoLines() = 0;
  // Asks the active module object to rebuild the device information lines.
  virtual void RefreshActiveModuleInfo() = 0;
  // OEM title for the connection's messages: the active module's title ("Handrel" at the root).
  virtual const char* MessageTitle() = 0;

 protected:
  ~ConnectionOwner() = default;
};

// The number of panels that hold the process-wide connection.
int ConnectionCount();

class DeviceConnection {
 public:
  // `resourceModule`: the plugin library, which carries the device pieces as resources.
  // `pluginFileTime`: the plugin file's last-write time cut to the minute (0 when unknown): the
  // stamp of the invoke library on the device.
  DeviceConnection(ConnectionOwner& owner, HMODULE resourceModule, uint64_t pluginFileTime);
  // Frees the library when the panel did not (no connection is closed here).
  ~DeviceConnection();
  DeviceConnection(const DeviceConnection&) = delete;
  DeviceConnection& operator=(const DeviceConnection&) = delete;

  // Tests point the connection at another library file (default "rapi.dll", loaded by name).
  void SetLibraryName(const std::wstring& name) { libraryName_ = name; }

  // The start of a panel, with a status window titled "Handrel" showing each step: loads the
  // library and the modules, then (unless `loadOnly`) connects or shares the live connection,
  // checks the invoke library, reads the device information and applies the start directory.
  // Nonzero on success. With the library already loaded: `loadOnly` returns 1 at once; otherwise
  // it reconnects.
  int StartPanelConnection(bool loadOnly);
  // Closes and restarts the connection (the module service): 1 when it is back.
  int Reconnect();
  // The policy check and, unless the device holds a current copy, writing the invoke library.
  // Nonzero when the device holds the current invoke library.
  int CheckInvokeLibrary();
  // Reads the device name (retrying once through Reconnect when `firstTime` is clear and the
  // key cannot be opened) and rebuilds the information lines; true when the name was read.
  bool ReloadDeviceInfo(bool firstTime);
  // The "GetBrowserInfo" request. True with the answer's bytes (whatever size arrived; the
  // screen metrics are taken from it when it carries them); false with the call's result when
  // no answer came back.
  bool RequestBrowserInfo(std::vector<uint8_t>& answer, HRESULT& result);
  // One invoke call: `request` is the UTF-16 command text (terminating zero added) followed by
  // `binary`. The answer block is copied out and freed. False when no answer came back.
  bool Invoke(const std::wstring& command, const std::vector<uint8_t>& binary, std::vector<uint8_t>& answer,
              HRESULT& result);

  // Closes the status window of a start now (before a navigation that may show dialogs).
  void CloseStatus();
  // Panel close, first half: drops this panel's hold on the connection and closes the connection
  // when no panel holds it any more. Then the panel destroys its modules and calls FreeLibrary.
  void ReleaseConnection();
  void FreeLibrary();

  bool LibraryLoaded() const { return library_ != nullptr; }
  bool HoldsConnection() const { return holdsConnection_; }
  const RapiApi& api() const { return api_; }
  const wchar_t* DeviceNameW() const { return deviceNameW_; }  // "Unknown" until read
  const char* DeviceName() const { return deviceName_; }       // its OEM form
  const int32_t* ScreenMetrics() const { return screenMetrics_; }  // width, height, bits per pixel
  uint64_t PluginFileTime() const { return pluginFileTime_; }

 private:
  struct Status;  // the status window of a start
  int Connect(Status& status, int countAtEntry, bool reconnecting);
  int Finish(Status& status, int countAtEntry, bool reconnecting);
  bool WaitForStart();
  bool CheckPolicy();
  int RunPolicyUpdater();
  bool LocateResource(int id, const void*& data, DWORD& size) const;
  void Warn(const char* text);
  void DropConnection();

  ConnectionOwner& owner_;
  HMODULE resourceModule_;
  std::wstring libraryName_ = L"rapi.dll";
  HMODULE library_ = nullptr;
  RapiApi api_{};
  RAPIINIT init_{};
  const void* invokeImage_ = nullptr;
  DWORD invokeImageSize_ = 0;
  uint64_t pluginFileTime_;
  wchar_t deviceNameW_[261];
  char deviceName_[521];  // OEM, one or two bytes a character
  int32_t screenMetrics_[3] = {0, 0, 0};
  bool holdsConnection_ = false;
  Status* status_ = nullptr;  // while a start runs
};

}  // namespace handrel
