// TEMPORARY ADAPTER: stands in for the connection library (connection/connection.h) and the
// settings library (settings/settings.h) until they land in this tree; every name here carries
// "Temp" so that the switch-over is a search. It does what the plugin needs to open a connected
// panel: the settings record with its defaults read from the registry, the connection start with
// its count (no status window, no Esc question), the device name, two information lines.
#pragma once

#include <cstdint>
#include <string>

namespace handrel {

struct DevicePanel;

// The settings record; modules see it through the start-up record (first word SettingsChanged).
struct TempSettings {
  uint32_t SettingsChanged = 0;
  char SettingsKey[1024] = {};
  char CommandPrefix[32] = "ppc";
  bool UseDriveLetter = true;
  char DriveLetter[2] = "5";
  bool ShowInEditor = true;
  bool ShowInViewer = false;
  bool ShowInDialog = false;
  bool CtrlSlashAsk = true, CtrlSlashToRoot = true;
  bool CtrlShiftSlashAsk = false, CtrlShiftSlashToRoot = false;
  wchar_t ReplaceChar = L'-';
};
extern TempSettings g_settings;

void TempLoadSettings(const char* rootKey);
// The start of a panel: the remote library, the module scan, the connection and its count, the
// device name and lines, the start directory. Nonzero on success.
int TempStartPanelConnection(DevicePanel& panel, bool loadOnly, const std::string& command, int openFrom);
void TempReleaseConnection(DevicePanel& panel);
int TempReconnect(DevicePanel& panel);
int TempCheckInvokeLibrary(DevicePanel& panel);
int TempReloadDeviceInfo(DevicePanel& panel, bool firstTime);
void TempRefreshDeviceInfo(DevicePanel& panel);
// Configure: module configuration through a menu of the first panel's modules.
void TempConfigure();

}  // namespace handrel
