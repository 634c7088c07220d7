// A small Unicode plugin standing for an archive plugin in the tests: its panel lists
// "a.wav", a folder "docs" and "b.wav" that exist nowhere on disk, so the player must have the
// host extract them (Ctrl+PgDn) and come back through OpenFilePluginW.
#include <windows.h>

#include "host/kel_plugin.h"

namespace {

PluginPanelItemW g_items[3];
int g_handle;

}  // namespace

extern "C" {

int KEL_API GetMinKelVersionW() { return static_cast<int>(KelMakeVersion(2, 0, 1000)); }
void KEL_API SetStartupInfoW(const HostStartupInfo*) {}
void KEL_API GetPluginInfoW(PluginInfoW* info) { info->StructSize = sizeof(PluginInfoW); }
HANDLE KEL_API OpenPluginW(int, intptr_t) { return &g_handle; }
void KEL_API ClosePluginW(HANDLE) {}
void KEL_API GetOpenPluginInfoW(HANDLE, OpenPluginInfoW* info) {
  info->Flags = 0;
  info->CurDir = L"music";
  info->PanelTitle = L"songs.arc";
  info->Format = L"arc";
}
int KEL_API GetFindDataW(HANDLE, PluginPanelItemW** items, int* count, int) {
  static const wchar_t* names[3] = {L"a.wav", L"docs", L"b.wav"};
  for (int i = 0; i < 3; ++i) {
    g_items[i] = PluginPanelItemW{};
    g_items[i].FileName = names[i];
    g_items[i].FileAttributes = i == 1 ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    g_items[i].FileSize = i == 1 ? 0 : 1000;
  }
  *items = g_items;
  *count = 3;
  return 1;
}
void KEL_API FreeFindDataW(HANDLE, PluginPanelItemW*, int) {}

}  // extern "C"
