// What a device panel needs of the device connection, the settings and the console helpers, served
// by connection_link.cpp through their libraries: the panel code sees only these calls.
#pragma once

#include <windows.h>

#include <cstdint>

#include "devicebrowser/plugin/settings/core/settings_core.h"
#include "host/kel_plugin.h"

namespace handrel {

struct DevicePanel;
struct PanelLink;  // the panel's connection, owned by the panel

settings::PluginSettings& Settings();  // the process-wide settings record
void LoadSettings(const char* hostRootKey);
int ConfigurePlugin();  // the Configure export's work; returns 1
// String values of a settings key under HKEY_CURRENT_USER: read 0 (also with the buffer untouched
// when the key is missing) or 1; write 0 (also when the key is missing) or 1; WriteSettingCreating
// creates the key first.
int ReadSettingValue(const char* key, const char* name, char* buffer, DWORD bufferBytes);
int ReadSettingValue(const char* key, const wchar_t* name, wchar_t* buffer, DWORD bufferBytes);
int WriteSettingValue(const char* key, const wchar_t* name, const wchar_t* value);
bool WriteSettingCreating(const char* key, const char* name, const char* value);

// Hands the host record to the console helpers (at SetStartupInfo).
void LinkSetHost(const HostStartupInfoA& host, uint32_t hostVersion);
// A warning message with one "OK" button, the text split at line breaks.
void LinkShowWarning(const char* title, const char* text);

PanelLink* CreatePanelLink(DevicePanel& panel);
void DestroyPanelLink(PanelLink* link);
// The start of a panel (library, modules, connection, invoke library, information, start
// directory); nonzero on success.
int LinkStart(DevicePanel& panel, bool loadOnly);
int LinkReconnect(DevicePanel& panel);
int LinkCheckInvokeLibrary(DevicePanel& panel);
bool LinkReloadDeviceInfo(DevicePanel& panel, bool firstTime);
void LinkRefreshDeviceInfo(DevicePanel& panel);  // the information lines, after they were emptied
void LinkCloseStatus(DevicePanel& panel);
void LinkReleaseConnection(DevicePanel& panel);
void LinkFreeLibrary(DevicePanel& panel);
bool LinkHoldsConnection(DevicePanel& panel);
const wchar_t* LinkDeviceNameW(DevicePanel& panel);  // "Unknown" until read
const char* LinkDeviceName(DevicePanel& panel);
const int32_t* LinkScreenMetrics(DevicePanel& panel);

}  // namespace handrel
