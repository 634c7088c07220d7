// The contract between the device browser plugin and its module libraries: the records that
// cross, the services the plugin offers through the start-up record, and the module's exports.
// Both sides are 32-bit libraries; every entry and service is stdcall; integers are 32-bit
// little-endian. Host texts are 8-bit OEM, device paths UTF-16 (wchar_t, 16 bits on Windows).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define MODULE_API __stdcall
#else
#define MODULE_API
#endif

// The opaque, non-zero value a module's InitModule returns for one panel; 0 means failure.
typedef intptr_t ModuleInstance;
// The plugin's per-panel handle (its DevicePanel), given to InitModule and to every service.
typedef void* ModuleOwner;

// Services of the start-up record. Each takes the owner handle first.
// CheckInvokeLibrary: nonzero when the device-side invoke library is present and current.
typedef int(MODULE_API* ModuleCheckInvokeLibraryFn)(ModuleOwner owner);
// GetDeviceName: the panel's UTF-16 device name (at most 260 characters, "Unknown" when none);
// the buffer stays valid until the panel closes.
typedef const wchar_t*(MODULE_API* ModuleGetDeviceNameFn)(ModuleOwner owner);
// AddInfoLine: appends one information line (each text cut to 79 characters; a null text or data
// makes a separator; nothing past the 40th line). Returns 0.
typedef int(MODULE_API* ModuleAddInfoLineFn)(ModuleOwner owner, const char* text, const char* data);
// Reconnect: drops and restarts the device connection, then returns the panel to its start
// directory. 1 when the connection is back, else 0.
typedef int(MODULE_API* ModuleReconnectFn)(ModuleOwner owner);
// GetOtherPanelModule: the instance active in another visible device panel, or 0 (none, or that
// panel is at its root).
typedef ModuleInstance(MODULE_API* ModuleGetOtherPanelModuleFn)(ModuleOwner owner);
// ReadSetting: reads a string value of the plugin's settings key into buffer (at most byteSize
// bytes). 0 when read, and 0 with the buffer untouched when the key is missing; 1 on failure.
typedef int(MODULE_API* ModuleReadSettingFn)(ModuleOwner owner, const wchar_t* name, uint32_t byteSize,
                                             wchar_t* buffer);
// WriteSetting: writes a string value into the plugin's settings key. 0 when written (or the key
// is missing), 1 on failure.
typedef int(MODULE_API* ModuleWriteSettingFn)(ModuleOwner owner, const wchar_t* name, const wchar_t* value);
// SetEditorModule: makes the module of this panel with that instance the receiver of the host's
// editor input (0 clears it). 0 when found, 1 when no module matches.
typedef int(MODULE_API* ModuleSetEditorModuleFn)(ModuleOwner owner, ModuleInstance instance);

// Built by the plugin inside each panel; valid at the same address until the panel closes. A
// module copies at most Size bytes of it.
struct ModuleStartupRecord {
  uint32_t Size;             // 68
  uint32_t HostStartupSize;  // 372
  const void* HostStartup;   // the plugin's 372-byte copy of the host's start-up record
  const void* PanelState;    // host panel information of the active panel at opening (read only);
                             // its view-mode field holds '0' + mode for a file panel, else 0
  const int32_t* ScreenMetrics;  // device width, height, bits per pixel; zero until known
  uint32_t HostVersion;      // major << 8 | minor, build in the upper 16 bits when known
  const wchar_t* LanguageName;   // 64 characters: "English" at first, then message 0 of the host
  void* Settings;            // the plugin settings record; first word SettingsChanged
  ModuleCheckInvokeLibraryFn CheckInvokeLibrary;
  ModuleGetDeviceNameFn GetDeviceName;
  ModuleAddInfoLineFn AddInfoLine;
  ModuleReconnectFn Reconnect;
  ModuleGetOtherPanelModuleFn GetOtherPanelModule;
  ModuleReadSettingFn ReadSetting;
  ModuleWriteSettingFn WriteSetting;
  ModuleSetEditorModuleFn SetEditorModule;
  const wchar_t* ReplaceChar;  // the replacement for characters a host name cannot hold
};

constexpr uint32_t kModuleStartupRecordSize = 68;
constexpr uint32_t kModuleHostStartupSize = 372;
constexpr int kModuleLanguageNameChars = 64;
constexpr int kModuleDirectoryChars = 260;  // directories across the interface, UTF-16
constexpr int kModuleDeviceNameChars = 260;

// Filled by GetModuleInfo; the plugin zeroes it, sets Size and Reserved[0] first.
struct ModuleInfo {
  uint32_t Size;        // 176
  char ShortName[64];   // OEM, NUL-terminated: path prefix (with ':') and the root folder name
  char Title[64];       // OEM, NUL-terminated: title at the module's root and in the module menu
  uint32_t Reserved[11];  // Reserved[0] = 44, the rest zero; read by neither side afterwards
};

constexpr uint32_t kModuleInfoSize = 176;
constexpr uint32_t kModuleInfoReservedSize = 44;

static_assert(sizeof(ModuleInfo) == 176, "module information is 176 bytes");
static_assert(offsetof(ModuleInfo, ShortName) == 4 && offsetof(ModuleInfo, Title) == 68 &&
                  offsetof(ModuleInfo, Reserved) == 132,
              "module information: size, short name, title, reserved");

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ModuleStartupRecord) == 68, "module start-up record is 68 bytes");
static_assert(offsetof(ModuleStartupRecord, HostStartupSize) == 4 && offsetof(ModuleStartupRecord, HostStartup) == 8 &&
                  offsetof(ModuleStartupRecord, PanelState) == 12 &&
                  offsetof(ModuleStartupRecord, ScreenMetrics) == 16 &&
                  offsetof(ModuleStartupRecord, HostVersion) == 20 &&
                  offsetof(ModuleStartupRecord, LanguageName) == 24 && offsetof(ModuleStartupRecord, Settings) == 28,
              "module start-up record: the data fields");
static_assert(offsetof(ModuleStartupRecord, CheckInvokeLibrary) == 32 &&
                  offsetof(ModuleStartupRecord, GetDeviceName) == 36 &&
                  offsetof(ModuleStartupRecord, AddInfoLine) == 40 && offsetof(ModuleStartupRecord, Reconnect) == 44 &&
                  offsetof(ModuleStartupRecord, GetOtherPanelModule) == 48 &&
                  offsetof(ModuleStartupRecord, ReadSetting) == 52 &&
                  offsetof(ModuleStartupRecord, WriteSetting) == 56 &&
                  offsetof(ModuleStartupRecord, SetEditorModule) == 60 &&
                  offsetof(ModuleStartupRecord, ReplaceChar) == 64,
              "module start-up record: the services");
#endif

// The module's exports (undecorated names). InitModule, GetFindData and GetModuleInfo are
// required; for the others the plugin's default when missing is given.
//  InitModule(owner, record, 0): the instance, 0 for failure.
typedef ModuleInstance(MODULE_API* ModuleInitFn)(ModuleOwner owner, const ModuleStartupRecord* record,
                                                 intptr_t reserved);
//  GetModuleInfo(info): fills ShortName and Title.
typedef void(MODULE_API* ModuleGetInfoFn)(ModuleInfo* info);
//  CloseModule(instance): frees the instance (missing: not called).
typedef void(MODULE_API* ModuleCloseFn)(ModuleInstance instance);
//  Activate(instance): nonzero to be entered (missing: accepted).
typedef int(MODULE_API* ModuleActivateFn)(ModuleInstance instance);
//  DeActivate(instance) (missing: not called).
typedef void(MODULE_API* ModuleDeActivateFn)(ModuleInstance instance);
//  GetOpenModuleInfo(instance, record): resolved, never called by the plugin.
typedef void(MODULE_API* ModuleGetOpenInfoFn)(ModuleInstance instance, void* record);
//  GetFindData(instance, &items, &count, opMode): nonzero on success; items are 8-bit host panel
//  items the module allocates and frees in FreeFindData.
typedef int(MODULE_API* ModuleGetFindDataFn)(ModuleInstance instance, void** items, int* count, int opMode);
//  FreeFindData(instance, items, count) (missing: not called).
typedef void(MODULE_API* ModuleFreeFindDataFn)(ModuleInstance instance, void* items, int count);
//  GetFiles(instance, items, count, move, destPath in/out OEM, opMode) (missing: 0).
typedef int(MODULE_API* ModuleGetFilesFn)(ModuleInstance instance, void* items, int count, int move, char* destPath,
                                          int opMode);
//  SetDirectory(instance, dir, opMode): nonzero when now there (missing: 0). dir is empty or ends
//  in a backslash.
typedef int(MODULE_API* ModuleSetDirectoryFn)(ModuleInstance instance, const wchar_t* dir, int opMode);
//  GetDirectory(instance): the current directory, or null (missing: the plugin's own copy).
typedef const wchar_t*(MODULE_API* ModuleGetDirectoryFn)(ModuleInstance instance);
//  ExistsDirectory(instance, dir without trailing backslash, opMode) (missing: 1).
typedef int(MODULE_API* ModuleExistsDirectoryFn)(ModuleInstance instance, const wchar_t* dir, int opMode);
//  MakeDirectory(instance, name in/out OEM, opMode) (missing: 0).
typedef int(MODULE_API* ModuleMakeDirectoryFn)(ModuleInstance instance, char* name, int opMode);
//  PutFiles(instance, items, count, move, opMode) (missing: 0).
typedef int(MODULE_API* ModulePutFilesFn)(ModuleInstance instance, void* items, int count, int move, int opMode);
//  DeleteFiles(instance, items, count, opMode) (missing: 0).
typedef int(MODULE_API* ModuleDeleteFilesFn)(ModuleInstance instance, void* items, int count, int opMode);
//  ProcessKey(instance, key, controlState): nonzero when consumed (missing: 0).
typedef int(MODULE_API* ModuleProcessKeyFn)(ModuleInstance instance, int key, unsigned int controlState);
//  ProcessEditorInput(instance, console input record) (missing: not called).
typedef int(MODULE_API* ModuleProcessEditorInputFn)(ModuleInstance instance, const void* record);
//  Configure(instance) (missing: not called).
typedef int(MODULE_API* ModuleConfigureFn)(ModuleInstance instance);
//  ReloadModuleSettings(instance) (missing: not called).
typedef void(MODULE_API* ModuleReloadSettingsFn)(ModuleInstance instance);

// Module operations answer 1 for done, 0 for failed and -1 for cancelled by the user.
constexpr int kModuleDone = 1;
constexpr int kModuleFailed = 0;
constexpr int kModuleCancelled = -1;
