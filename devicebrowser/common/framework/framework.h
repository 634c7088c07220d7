// The module framework: every device module library (files, control, desktop, windows) is built on
// it. The library's exports (win/exports.cpp, listed by module.def) forward to one module object per
// panel; MModuleBase gives every operation its default, the folder remembered per device, the debug
// settings file, the invoke helper and the building of host panel items from device names.
//
// A library defines its subclass and one factory:
//   MModuleBase* CreateModuleObject();   // a new, unconstructed object; the exports call Construct
// It should be cheap: GetModuleInfo asks a short-lived object for the short name and title.
// Item arrays, descriptions and user data are allocated with malloc/calloc and freed with free.
// Threads: the host's thread only, one call at a time; no locks.
// Failures inside are raised as text (ModuleError) and stopped at the export.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "devicebrowser/common/module_api.h"
#include "host/kel_plugin.h"

namespace handrel {

class ModuleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr int kOpSilent = 1;               // the silent bit of an operation mode
constexpr uint32_t kItemHasUserData = 0x20000000;  // item flag: UserData holds an ItemUserData
constexpr int kItemGrowth = 255;           // item arrays grow by this many entries
constexpr int kFolderChars = 260;          // current folder, relative, without terminator
constexpr int kLogFileChars = 261;

// Hung on every panel item a module builds. size: 18 when the 8-bit name is exact, else 18 +
// 2 x name length (the exact wide name follows, terminated).
#pragma pack(push, 2)
struct ItemUserData {
  uint32_t size;
  ModuleOwner owner;
  class MModuleBase* module;
  uint32_t reserved;  // zero; the desktop module keeps its picture record here
  wchar_t name[1];    // zero-terminated; empty when the item's 8-bit name is exact
};
#pragma pack(pop)
constexpr uint32_t kItemUserDataMin = 18;
constexpr uint32_t kItemUserDataMax = 2000;
static_assert(offsetof(ItemUserData, name) == 16, "item user data: the name after 16 bytes");

// The host record copied from the plugin at construction (module-wide, written once).
const HostStartupInfoA& ModuleHost();
uint32_t ModuleHostVersion();

// Converts a wide device name into the OEM code page: at most size - 1 characters (all of a name
// shorter than size and 260), terminated. True only when converted whole and converting back gives
// the same name. A size outside 0..1000 or an unreadable source is reported ("Exception") and
// raised as ModuleError.
bool WideNameToOem(const wchar_t* name, char* buffer, int size);

class MModuleBase {
 public:
  MModuleBase();
  virtual ~MModuleBase();
  MModuleBase(const MModuleBase&) = delete;
  MModuleBase& operator=(const MModuleBase&) = delete;

  // Construction inside InitModule: the module path and its ".ini", the start-up and host records,
  // then ReloadModuleSettings. False after reporting ("GetModuleFileName fails", "Invalid module
  // file name"). modulePath: null = the library's own path (tests give another).
  bool Construct(ModuleOwner owner, const ModuleStartupRecord* record, const wchar_t* modulePath = nullptr);

  // ---- The operations, in the order of their slots ------------------------------------------------
  virtual void GetOpenModuleInfo(void* info);
  virtual int GetFindData(PluginPanelItemA** items, int* count, int opMode) = 0;
  // Frees each item's description and valid ItemUserData, then the array.
  virtual void FreeFindData(PluginPanelItemA* items, int count);
  virtual int GetFiles(PluginPanelItemA* items, int count, int move, char* destPath, int opMode);  // 0
  virtual int MakeDirectory(char* name, int opMode);                                               // -1
  virtual int PutFiles(PluginPanelItemA* items, int count, int move, int opMode);                  // 0
  virtual int DeleteFiles(PluginPanelItemA* items, int count, int opMode);                         // 0
  // Ctrl+R calls onRereadKey; answers 0 (not handled).
  virtual int processKey(int key, unsigned int controlState);
  virtual int ProcessEditorInput(const void* record);  // 0
  // More than 260 characters: "Can't change directory\r\nPath too large", 0; else the folder, 1.
  virtual int SetDirectory(const wchar_t* path, int opMode);
  virtual int ExistsDirectory(const wchar_t* path, int opMode);  // 1
  virtual const wchar_t* GetDirectory();                         // the current folder
  // Reads the log file name and the remembered folder (kept only when it exists), enters it; 1.
  virtual int Activate();
  virtual void DeActivate();  // remembers the current folder for this device
  virtual int Configure();    // "No configuration, yet."
  virtual const char* getShortName() = 0;  // OEM, e.g. "Files"
  virtual const char* getTitle() = 0;      // OEM, e.g. "PPC File System"
  virtual void onRereadKey();
  virtual void ReloadModuleSettings();
  // Makes every missing level of a device path ("\A\B\C" or with a trailing backslash). 1 when all
  // exist or were made, 0 when a level is a file or cannot be made.
  virtual int makeDeviceDirectory(const wchar_t* path);

  // ---- Helpers for the subclasses ---------------------------------------------------------------
  // One request to the device-side invoke library ("FnBlockMode" of "\Windows\HandrelInvoke.dll").
  // The status code; 0x8000FFFF when a zero status came without answer, 0x8007000E when the request
  // cannot be built. answer null: the answer is released at once; else the caller LocalFree's it.
  HRESULT invokeDevice(const wchar_t* command, const void* payload, DWORD payloadSize, BYTE** answer,
                       DWORD* answerSize);
  // Zero-fills buffer, invokes, copies at most bufferSize bytes of the answer, releases it.
  HRESULT invokeDeviceInto(const wchar_t* command, const void* payload, DWORD payloadSize, void* buffer,
                           DWORD bufferSize);

  // Item lists (GetFindData): starts an empty list, appends one item built from a device name and
  // the first nine fields of its find record (attributes, times, size), and hands the list over.
  // addPanelItem reports a failed allocation ("Exception") and raises ModuleError.
  void beginPanelItems();
  void addPanelItem(const wchar_t* name, const void* deviceFindData);
  void takePanelItems(PluginPanelItemA** items, int* count);
  int panelItemCapacity() const { return capacity_; }

  // The item's ItemUserData when valid for this module (writable 18 bytes, size 18..2000, module
  // field this object), else null.
  ItemUserData* validUserData(const PluginPanelItemA& item) const;
  // The item's exact name: the ItemUserData wide name when present, else the OEM name converted.
  std::wstring itemName(const PluginPanelItemA& item) const;

  // Current folder + exact item name into out (bufferChars characters). False after reporting
  // "Slash in file name not supported" or "Path too large" (not when silent). namePos: where the
  // name starts. Callers put the leading backslash in front.
  bool deviceItemPath(const PluginPanelItemA& item, wchar_t* out, int bufferChars, int opMode, int* namePos);
  // The local twin: a name with a backslash is a full path; else folder + the short name expanded
  // through the long-path lookup when that works; else folder + the 8-bit name.
  bool localItemPath(const wchar_t* folder, const PluginPanelItemA& item, wchar_t* out, int bufferChars, int opMode,
                     int* namePos);
  // Local twin of makeDeviceDirectory.
  int makeLocalDirectory(const wchar_t* path);
  // The other module has non-empty, equal title.
  bool sameModuleAs(MModuleBase* other);

  // A message titled with the module's title and the warning flag; nothing when opMode is silent.
  void message(int opMode, const char* text);
  // The plugin's "Reconnect" service: 1 when the connection is back.
  int reconnect();
  // The key of the remembered folder: "LastPath_" + short name + "-" + device name.
  std::wstring lastPathKey();

  // ---- Fields --------------------------------------------------------------------------------
  ModuleOwner owner = nullptr;
  wchar_t currentFolder[kFolderChars + 1] = {};  // empty at the root, else ends in a backslash
  ModuleStartupRecord startup = {};
  OSVERSIONINFOW osVersion = {};  // dwPlatformId 1: local files through the 8-bit functions
  std::wstring modulePath;
  std::wstring debugSettingsPath;  // the module path with ".ini" for its extension
  wchar_t logFileName[kLogFileChars + 1] = {};

 private:
  PluginPanelItemA* items_ = nullptr;
  int count_ = 0, capacity_ = 0;
  struct AltNamesState;
  AltNamesState* altNames_ = nullptr;
};

}  // namespace handrel

// The library's factory: a new object of its subclass (Construct not yet called).
handrel::MModuleBase* CreateModuleObject();
