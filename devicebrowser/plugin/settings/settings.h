// The plugin's settings in the registry (HKEY_CURRENT_USER\<settings key>), the configuration
// dialog and its module configuration menu, and the device information lines of a panel.
// Host's thread only.
#pragma once

#include <windows.h>

#include "devicebrowser/plugin/settings/core/info_lines.h"
#include "devicebrowser/plugin/settings/core/settings_core.h"
#include "host/kel_plugin.h"

namespace handrel {

class DeviceConnection;

// The process-wide settings record (defaults until LoadSettings).
settings::PluginSettings& Settings();

// At SetStartupInfo: builds the settings key from the host's root key (null or empty: none) and
// reads every value, the current one being the default.
void LoadSettings(const char* hostRootKey);
// Writes every value; a key that cannot be created is not written, silently. False then.
bool SaveSettings();

// String values of a settings key under HKEY_CURRENT_USER (the module services ReadSetting and
// WriteSetting, and the panels' "LastPath-" values). A value read is always terminated inside the
// buffer, also when the stored text fills it exactly (it is then cut by one character).
//  Read: 0 when read; 0 with the buffer untouched when the key is missing; 1 when the key exists
//        but the value cannot be read (missing, not a string, or the buffer has no room at all).
//  Write: 0 when written; 0 without writing when the key is missing; 1 when the write fails.
//  WriteCreating: creates the key first; false when it cannot be created or written.
int ReadSettingValue(const char* key, const char* name, char* buffer, DWORD bufferBytes);
int ReadSettingValue(const char* key, const wchar_t* name, wchar_t* buffer, DWORD bufferBytes);
int WriteSettingValue(const char* key, const wchar_t* name, const wchar_t* value);
bool WriteSettingCreating(const char* key, const char* name, const char* value);

// What the configuration dialog needs of the plugin's panels (the plugin implements it over its
// panel registry).
class ModuleConfigHost {
 public:
  // Picks the panel whose modules are configured: the first live device panel, or a load-only
  // panel opened for the purpose. False when neither can be had (the menu is then empty).
  virtual bool BeginModuleConfig() = 0;
  virtual int ModuleCount() = 0;                 // loaded modules of that panel, the root excluded
  virtual const char* ModuleTitle(int index) = 0;  // OEM Title of module `index` (0-based)
  virtual int ActiveModuleIndex() = 0;           // 0-based, -1 when the root is active
  virtual void ConfigureModule(int index) = 0;   // the module's Configure
  // Closes and frees the load-only panel when BeginModuleConfig opened one.
  virtual void EndModuleConfig() = 0;
  // ReloadModuleSettings of every module of every live panel.
  virtual void ReloadModuleSettingsEverywhere() = 0;

 protected:
  ~ModuleConfigHost() = default;
};

// The Configure export's work over the process-wide settings: the dialog (texts by message
// number from the host's language file), the module menu behind its button, ReplaceChar checked,
// every value written on "&OK", the modules' settings reloaded when one of them changed. Returns 1.
int ConfigureDialog(const HostStartupInfoA& host, ModuleConfigHost& panels);

// Where a panel's information lines go (the panel's AddInfoLine: a null data makes a separator).
class InfoLineSink {
 public:
  virtual void AddInfoLine(const char* text, const char* data) = 0;

 protected:
  ~InfoLineSink() = default;
};

// Rebuilds the information lines after the panel emptied them: the device name, then what the
// "GetBrowserInfo" answer tells (or "Can't get info" with the call's result).
void RefreshDeviceInfo(DeviceConnection& connection, InfoLineSink& lines);

}  // namespace handrel
