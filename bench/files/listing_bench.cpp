// Lists two device folders of N files each through the device browser plugin and files.module in
// the host stand-in: one of plain names, one of names without an exact 8-bit form, all beginning
// with the same characters (every item gets a numbered alternate name, all colliding in their
// first six characters). Prints the best of three listings of each and their ratio (alternate /
// plain); the goal is at most 2.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"

namespace {

double Seconds(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring Beside(const std::wstring& name) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.rfind(L'\\') + 1) + name;
}

bool MakeEmpty(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  if (count <= 0) count = 10000;
  rapiemu::EmulatedDevice device(L"kel-files-bench");
  device.MakeFolder(L"\\Windows");  // where the plugin puts its device-side library
  device.MakeFolder(L"\\Plain");
  device.MakeFolder(L"\\Wide");
  for (int i = 0; i < count; ++i) {
    std::wstring n = std::to_wstring(i);
    if (!MakeEmpty(device.Host(L"\\Plain\\plain file " + n + L".txt")) ||
        !MakeEmpty(device.Host(L"\\Wide\\\u6587\u4EF6\u8A18\u9332\u8868 " + n + L".txt"))) {
      std::fprintf(stderr, "cannot make the device's files\n");
      return 2;
    }
  }

  // The plugin as a user installs it, with files.module in its Modules folder.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"kel-files-bench-plugin-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"\\Modules").c_str(), nullptr);
  CopyFileW(Beside(L"Handrel.dll").c_str(), (folder + L"\\Handrel.dll").c_str(), FALSE);
  CopyFileW(Beside(L"HandrelEng.lng").c_str(), (folder + L"\\HandrelEng.lng").c_str(), FALSE);
  CopyFileW(Beside(L"files.module").c_str(), (folder + L"\\Modules\\files.module").c_str(), FALSE);

  int status = 0;
  {
    kelhost::Host host;
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Handrel").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                    nullptr);
    RegCloseKey(key);
    kelhost::Plugin* plugin = host.Load(folder + L"\\Handrel.dll");
    if (plugin == nullptr || !host.OpenPanel(plugin, 1, 0)) {
      std::fprintf(stderr, "the device panel did not open\n");
      status = 3;
    }
    double best[2] = {1e9, 1e9};
    size_t listed[2] = {0, 0}, inexact[2] = {0, 0};
    const wchar_t* folders[2] = {L"Files:Plain", L"Files:Wide"};
    for (int round = 0; round < 3 && status == 0; ++round) {
      for (int which = 0; which < 2; ++which) {
        host.PanelSetDirectory(folders[which]);
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        host.RefreshPluginPanel(host.ActivePanel());
        double seconds = Seconds(start);
        if (seconds < best[which]) best[which] = seconds;
        listed[which] = inexact[which] = 0;
        for (const kelhost::PanelItem& item : host.ActivePanel().Items()) {
          listed[which] += item.name != L".." ? 1 : 0;
          // An item whose 8-bit name is not exact carries the device's name in its user data.
          inexact[which] += item.hasUserBlock && item.userBlock.size() > 18 ? 1 : 0;
        }
      }
    }
    if (status == 0) {
      std::printf("plain names:     %zu items (%zu without an exact 8-bit name) listed in %.3f s\n", listed[0],
                  inexact[0], best[0]);
      std::printf("alternate names: %zu items (%zu without an exact 8-bit name) listed in %.3f s\n", listed[1],
                  inexact[1], best[1]);
      std::printf("ratio (alternate / plain): %.2f (goal: at most 2)\n", best[1] / best[0]);
      if (listed[0] != static_cast<size_t>(count) || listed[1] != static_cast<size_t>(count) ||
          inexact[1] != static_cast<size_t>(count)) {
        std::fprintf(stderr, "not every file was listed with the name it should have\n");
        status = 4;
      }
    }
    host.ClosePanel();
  }
  rapiemu::EmulatedDevice::RemoveTree(folder);
  return status;
}
