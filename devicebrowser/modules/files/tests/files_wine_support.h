// What the Wine tests of files.module share: the paths the test program is given, and a plugin
// folder laid out as users install it (Handrel.dll, its language file, Modules\files.module),
// removed again when the test ends.
#pragma once

#include <windows.h>

#include <string>

#include "standins/rapi/testing/emulated_device.h"

namespace filestest {

// A command-line path as a full Windows path with backslashes.
inline std::wstring ArgumentPath(const char* arg) {
  wchar_t buf[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, arg, -1, buf, MAX_PATH);
  wchar_t full[MAX_PATH];
  GetFullPathNameW(buf, MAX_PATH, full, nullptr);
  for (wchar_t* c = full; *c; ++c)
    if (*c == L'/') *c = L'\\';
  return full;
}

struct PluginFolder {
  std::wstring path;
  PluginFolder(const std::wstring& plugin, const std::wstring& module, const std::wstring& prefix) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int n = 0;
    path = std::wstring(temp) + prefix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++n);
    rapiemu::EmulatedDevice::RemoveTree(path);
    CreateDirectoryW(path.c_str(), nullptr);
    CreateDirectoryW((path + L"\\Modules").c_str(), nullptr);
    std::wstring pluginFolder = plugin.substr(0, plugin.rfind(L'\\'));
    CopyFileW(plugin.c_str(), (path + L"\\Handrel.dll").c_str(), FALSE);
    CopyFileW((pluginFolder + L"\\HandrelEng.lng").c_str(), (path + L"\\HandrelEng.lng").c_str(), FALSE);
    CopyFileW(module.c_str(), (path + L"\\Modules\\files.module").c_str(), FALSE);
  }
  ~PluginFolder() { rapiemu::EmulatedDevice::RemoveTree(path); }
  PluginFolder(const PluginFolder&) = delete;
  PluginFolder& operator=(const PluginFolder&) = delete;
};

}  // namespace filestest
