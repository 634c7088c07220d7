// What the Wine tests of the device browser and its modules share: the library paths the test
// program is given, fresh temporary folders, a plugin folder laid out as users install it, and the
// plugin's settings key.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "standins/rapi/testing/emulated_device.h"

namespace handrel_test {

// A command-line path as a full Windows path with backslashes, as the host stand-in and the
// loader want it.
inline std::wstring ArgumentPath(const char* argument) {
  wchar_t given[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, argument, -1, given, MAX_PATH);
  wchar_t full[MAX_PATH];
  GetFullPathNameW(given, MAX_PATH, full, nullptr);
  for (wchar_t* c = full; *c; ++c)
    if (*c == L'/') *c = L'\\';
  return full;
}

// Takes the test framework's options out of the command line, then one path per `paths` entry
// from the arguments left. False, after printing "usage: <program> <usage>", when some are missing.
inline bool ReadArgumentPaths(int& argc, char** argv, const char* program, const char* usage,
                              std::initializer_list<std::wstring*> paths) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < static_cast<int>(paths.size()) + 1) {
    std::fprintf(stderr, "usage: %s %s\n", program, usage);
    return false;
  }
  int i = 1;
  for (std::wstring* path : paths) *path = ArgumentPath(argv[i++]);
  return true;
}

inline std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// An empty folder of its own under the temporary folder: <temp><prefix><process>-<n>.
inline std::wstring FreshTempFolder(const std::wstring& prefix) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static int n = 0;
  std::wstring path = std::wstring(temp) + prefix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++n);
  rapiemu::EmulatedDevice::RemoveTree(path);
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

// A copy of the plugin in a fresh folder with its language file and a Modules folder holding
// `module` as `moduleFile` (an empty Modules folder when module is empty); removed again when the
// test ends.
struct PluginFolder {
  std::wstring path;
  PluginFolder(const std::wstring& plugin, const std::wstring& prefix, const std::wstring& module = std::wstring(),
               const std::wstring& moduleFile = std::wstring()) {
    path = FreshTempFolder(prefix);
    CreateDirectoryW((path + L"\\Modules").c_str(), nullptr);
    CopyFileW(plugin.c_str(), (path + L"\\Handrel.dll").c_str(), FALSE);
    CopyFileW((FolderOf(plugin) + L"\\HandrelEng.lng").c_str(), (path + L"\\HandrelEng.lng").c_str(), FALSE);
    if (!module.empty()) CopyFileW(module.c_str(), (path + L"\\Modules\\" + moduleFile).c_str(), FALSE);
  }
  ~PluginFolder() { rapiemu::EmulatedDevice::RemoveTree(path); }
  PluginFolder(const PluginFolder&) = delete;
  PluginFolder& operator=(const PluginFolder&) = delete;
};

// The plugin's settings key under the host's root key, as the plugin's configuration leaves it
// once saved (its services write only into an existing key). False when it cannot be created.
inline bool CreateSettingsKey(const std::wstring& rootKey) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, (rootKey + L"\\Handrel").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

}  // namespace handrel_test
