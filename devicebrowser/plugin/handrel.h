// The device browser plugin's shell: the per-panel object, the module objects that serve a panel,
// and the process-wide state the exports share. Everything runs on the host's thread.
#pragma once

#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "devicebrowser/common/module_api.h"
#include "devicebrowser/plugin/panel_link.h"
#include "host/kel_plugin.h"

namespace handrel {

// Failures inside the plugin are raised as text and reported by the export that caught them.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct DevicePanel;

// A module serving a panel: the root listing or a module library. The virtual operations follow
// the order of the module object's table.
class ModuleObject {
 public:
  virtual ~ModuleObject() = default;
  virtual void AdjustOpenPanelInfo(OpenPluginInfoA*) {}
  virtual int GetFindData(PluginPanelItemA** items, int* count, int opMode) = 0;
  virtual void FreeFindData(PluginPanelItemA* items, int count) = 0;
  virtual int GetFiles(PluginPanelItemA* items, int count, int move, char* destPath, int opMode) = 0;
  virtual int MakeDirectory(char* name, int opMode) = 0;
  virtual int PutFiles(PluginPanelItemA* items, int count, int move, int opMode) = 0;
  virtual int DeleteFiles(PluginPanelItemA* items, int count, int opMode) = 0;
  virtual int ProcessKey(int key, unsigned state) = 0;
  virtual int ProcessEditorInput(const INPUT_RECORD* record) = 0;
  virtual int SetDirectory(const std::wstring& dir, int opMode) = 0;
  virtual int ExistsDirectory(const std::wstring& dir, int opMode) = 0;
  virtual std::wstring GetDirectory() = 0;
  virtual void ReloadSettings() = 0;
  virtual int Activate() = 0;
  virtual void Deactivate() = 0;
  virtual void Configure() = 0;
  virtual std::string ShortName() const = 0;
  virtual std::string Title() const = 0;
  virtual void RefreshDeviceInformation() = 0;
  virtual bool IsLoadedModule() const = 0;
  virtual ModuleInstance Instance() const = 0;
};

constexpr int kMaxInfoLines = 40;

struct DevicePanel {
  std::string PanelTitle;
  std::string CurrentDirectory;
  std::string SettingsKey;
  std::wstring PluginPath;
  FILETIME PluginFileTime{};
  size_t ActiveModule = 0;
  std::vector<std::unique_ptr<ModuleObject>> Modules;
  InfoPanelLineA InfoLines[kMaxInfoLines]{};
  int InfoLineCount = 0;
  ModuleStartupRecord StartupRecord{};
  int32_t ScreenMetrics[3]{};
  wchar_t LanguageName[kModuleLanguageNameChars]{};
  PanelInfoA PanelState{};
  int StartPanelMode = 0;
  int StartSortMode = 2;
  int OpenFrom = 0;          // how the panel was opened, for its start directory
  std::string StartCommand;  // the command-line text when opened from the command line
  PanelLink* Link = nullptr;  // the device connection (with the remote access state)

  ModuleObject& Active() { return *Modules[ActiveModule]; }
};

// Process-wide state.
extern HostStartupInfoA g_host;  // 372 bytes, zero beyond what the host gave
extern uint32_t g_hostVersion;
extern std::vector<DevicePanel*> g_panels;
extern int g_connectionCount;
extern ModuleObject* g_editorReceiver;

// Host helpers (8-bit, OEM).
const char* Msg(int id);  // host language text, with the built-in English when the host has none
void Warn(const std::string& title, const std::string& text);
std::wstring OemToWide(const std::string& s);
std::string WideToOem(const std::wstring& s);
int PanelControl(HANDLE panel, int command, void* param);

// Modules (modules.cpp).
std::unique_ptr<ModuleObject> MakeRootModule(DevicePanel& panel);
// Loads one module library into the panel; null after its message when it cannot.
std::unique_ptr<ModuleObject> LoadLibraryModule(DevicePanel& panel, const std::wstring& path);
// The folder scan: true when the panel holds more than the root afterwards.
bool DiscoverModules(DevicePanel& panel);

// Panels (panel.cpp).
DevicePanel* OpenDevicePanel(int openFrom, intptr_t item);
void CloseDevicePanel(DevicePanel* panel);
bool IsLivePanel(const void* panel);
int Navigate(DevicePanel& panel, const std::string& path, int opMode);
int JumpToTop(DevicePanel& panel, bool ask, bool toRoot);
void RebuildPanelStrings(DevicePanel& panel);
void ActivateRoot(DevicePanel& panel);
// The start directory at opening (connected panels only); false when a command-line or control
// start failed.
bool ApplyStartDirectory(DevicePanel& panel, int openFrom, const std::string& command);
void ClearInfoLines(DevicePanel& panel);
int AddInfoLine(DevicePanel& panel, const char* text, const char* data);
void SetLanguageName(DevicePanel& panel);

}  // namespace handrel
