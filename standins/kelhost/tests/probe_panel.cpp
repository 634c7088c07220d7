// A small plugin of either generation (PROBE_ANSI selects the 8-bit one) that opens a panel with
// a folder "sub" at its root and one file in each folder: the host stand-in's tests drive it.
#include <windows.h>

#include <cstring>
#include <string>

#include "host/kel_plugin.h"

namespace {
std::wstring g_dir;  // "" at the root, "sub" inside
int g_closed = 0;
}

extern "C" {

#ifdef PROBE_ANSI
void KEL_API SetStartupInfo(const HostStartupInfoA*) {}
HANDLE KEL_API OpenPlugin(int, int) {
  g_dir.clear();
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x5151));
}
void KEL_API ClosePlugin(HANDLE) { ++g_closed; }
void KEL_API GetOpenPluginInfo(HANDLE, OpenPluginInfoA* info) {
  static InfoPanelLineA line = {};
  static std::string dir;
  dir.assign(g_dir.begin(), g_dir.end());
  std::memcpy(line.Text, "Device", 7);
  std::memset(line.Data, 'x', sizeof(line.Data));  // no terminator: the host must stay inside
  info->Flags = OPIF_ADDDOTS;
  info->CurDir = dir.c_str();
  info->PanelTitle = "Probe";
  info->InfoLines = &line;
  info->InfoLinesNumber = 1;
}
int KEL_API GetFindData(HANDLE, PluginPanelItemA** items, int* count, int) {
  auto* list = static_cast<PluginPanelItemA*>(calloc(2, sizeof(PluginPanelItemA)));
  int n = 0;
  if (g_dir.empty()) {
    std::strcpy(list[n].FileName, "sub");
    list[n++].FileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    std::strcpy(list[n].FileName, "root.txt");
    list[n++].FileSizeLow = 12;
  } else {
    std::strcpy(list[n].FileName, "inner.txt");
    list[n++].FileSizeLow = 34;
  }
  *items = list;
  *count = n;
  return 1;
}
void KEL_API FreeFindData(HANDLE, PluginPanelItemA* items, int) { free(items); }
int KEL_API SetDirectory(HANDLE, const char* dir, int) {
  std::string d = dir;
  if (d == "sub") g_dir = L"sub";
  else if (d == ".." || d == "\\") g_dir.clear();
  else return 0;
  return 1;
}
int KEL_API ProcessKey(HANDLE, int key, unsigned int state) { return key == 'R' && state == 1; }
#else
void KEL_API SetStartupInfoW(const HostStartupInfo*) {}
HANDLE KEL_API OpenPluginW(int, intptr_t) {
  g_dir.clear();
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x5151));
}
void KEL_API ClosePluginW(HANDLE) { ++g_closed; }
void KEL_API GetOpenPluginInfoW(HANDLE, OpenPluginInfoW* info) {
  info->Flags = OPIF_ADDDOTS;
  info->CurDir = g_dir.c_str();
  info->PanelTitle = L"Probe";
}
int KEL_API GetFindDataW(HANDLE, PluginPanelItemW** items, int* count, int) {
  auto* list = static_cast<PluginPanelItemW*>(calloc(2, sizeof(PluginPanelItemW)));
  int n = 0;
  if (g_dir.empty()) {
    list[n].FileName = L"sub";
    list[n++].FileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    list[n].FileName = L"root.txt";
    list[n++].FileSize = 12;
  } else {
    list[n].FileName = L"inner.txt";
    list[n++].FileSize = 34;
  }
  *items = list;
  *count = n;
  return 1;
}
void KEL_API FreeFindDataW(HANDLE, PluginPanelItemW* items, int) { free(items); }
int KEL_API SetDirectoryW(HANDLE, const wchar_t* dir, int) {
  std::wstring d = dir;
  if (d == L"sub") g_dir = L"sub";
  else if (d == L".." || d == L"\\") g_dir.clear();
  else return 0;
  return 1;
}
int KEL_API ProcessKeyW(HANDLE, int key, unsigned int state) { return key == 'R' && state == 1; }
#endif

int KEL_API ProbeClosedCount() { return g_closed; }

}  // extern "C"
