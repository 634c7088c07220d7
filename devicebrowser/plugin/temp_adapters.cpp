// TEMPORARY ADAPTER (see temp_adapters.h): the least of the connection and settings pieces that
// the panel needs, until connection/ and settings/ replace it.
#include <algorithm>
#include <cstring>

#include "devicebrowser/plugin/handrel.h"

namespace handrel {

TempSettings g_settings;

namespace {

bool ReadValue(const char* name, char* out, size_t size) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, g_settings.SettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char buf[1001] = {};
  DWORD type = 0, bytes = sizeof(buf) - 1;
  LONG err = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &bytes);
  RegCloseKey(key);
  if (err != ERROR_SUCCESS || type != REG_SZ) return false;
  size_t n = std::min(strnlen(buf, sizeof(buf)), size - 1);
  memcpy(out, buf, n);
  out[n] = 0;
  return true;
}

void ReadSwitch(const char* name, bool& on) {
  char v[8] = {};
  if (ReadValue(name, v, sizeof(v))) on = v[0] == 'Y';
}

void ReadPair(const char* name, bool& ask, bool& toRoot) {
  char v[8] = {};
  if (ReadValue(name, v, sizeof(v))) {
    ask = v[0] == 'Y';
    toRoot = v[0] && v[1] == 'Y';
  }
}

// Waits for the connection-start event in 250 ms slices.
bool Connect(DevicePanel& panel) {
  g_connectionCount = 0;
  if (!panel.InitRecord.heRapiInit) panel.InitRecord.heRapiInit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ResetEvent(panel.InitRecord.heRapiInit);
  panel.InitRecord.cbSize = sizeof(RAPIINIT);
  panel.InitRecord.hrRapiInit = kRapiInitPending;
  panel.Remote.CeRapiInitEx(&panel.InitRecord);
  while (WaitForSingleObject(panel.InitRecord.heRapiInit, 250) != WAIT_OBJECT_0) {
  }
  return panel.InitRecord.hrRapiInit >= 0;
}

}  // namespace

void TempLoadSettings(const char* rootKey) {
  std::string key = rootKey && *rootKey ? rootKey : "\\Software\\Kel\\Plugins\\";
  if (key.back() != '\\') key += '\\';
  key += "Handrel";
  strncpy(g_settings.SettingsKey, key.c_str(), sizeof(g_settings.SettingsKey) - 1);
  ReadValue("CommandPrefix", g_settings.CommandPrefix, sizeof(g_settings.CommandPrefix));
  ReadSwitch("UseDriveLetter", g_settings.UseDriveLetter);
  ReadValue("DriveLetter", g_settings.DriveLetter, sizeof(g_settings.DriveLetter));
  ReadSwitch("ShowInEditor", g_settings.ShowInEditor);
  ReadSwitch("ShowInViewer", g_settings.ShowInViewer);
  ReadSwitch("ShowInDialog", g_settings.ShowInDialog);
  ReadPair("CtrlSlash", g_settings.CtrlSlashAsk, g_settings.CtrlSlashToRoot);
  ReadPair("CtrlShiftSlash", g_settings.CtrlShiftSlashAsk, g_settings.CtrlShiftSlashToRoot);
  char c[4] = {};
  if (ReadValue("ReplaceChar", c, sizeof(c)) && c[0]) {
    wchar_t w = 0;
    if (MultiByteToWideChar(CP_ACP, 0, c, 1, &w, 1) == 1) g_settings.ReplaceChar = w;
  }
}

int TempStartPanelConnection(DevicePanel& panel, bool loadOnly, const std::string& command, int openFrom) {
  if (panel.Remote.library) {
    if (loadOnly) return 1;
    panel.Remote.CeRapiUninit();
  } else {
    if (!LoadRemoteApi(panel.Remote)) {
      Warn("Handrel", "Can't load library: rapi.dll\nPlease install ActiveSync or\nWindows Mobile Center.");
      return 0;
    }
    if (!DiscoverModules(panel)) {
      ReleaseRemoteApi(panel.Remote);
      return 0;
    }
    if (loadOnly) return 1;
  }
  int seen = g_connectionCount;
  bool fresh = seen <= 0;
  if (fresh && !Connect(panel)) {
    panel.HoldsConnection = false;
    g_connectionCount = 0;
    return 0;
  }
  TempReloadDeviceInfo(panel, true);
  bool started = ApplyStartDirectory(panel, openFrom, command);
  g_connectionCount = fresh ? seen + 1 : seen + 1;
  if (g_connectionCount < 1) g_connectionCount = 1;
  panel.HoldsConnection = true;
  return started ? 1 : 0;
}

void TempReleaseConnection(DevicePanel& panel) {
  if (!panel.HoldsConnection) return;
  bool wasPositive = g_connectionCount > 0;
  if (wasPositive) --g_connectionCount;
  if ((g_connectionCount == 0 || !wasPositive) && panel.Remote.library) panel.Remote.CeRapiUninit();
  if (panel.InitRecord.heRapiInit) CloseHandle(panel.InitRecord.heRapiInit);
  panel.InitRecord.heRapiInit = nullptr;
}

int TempReconnect(DevicePanel& panel) {
  if (!panel.Remote.library) return 0;
  panel.Remote.CeRapiUninit();
  if (!Connect(panel)) return 0;
  g_connectionCount = std::max(g_connectionCount, 1);
  TempReloadDeviceInfo(panel, true);
  return 1;
}

int TempCheckInvokeLibrary(DevicePanel&) { return 1; }

int TempReloadDeviceInfo(DevicePanel& panel, bool) {
  wcscpy(panel.DeviceNameW, L"Unknown");
  bool read = false;
  HKEY key;
  if (panel.Remote.CeRegOpenKeyEx && panel.Remote.CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, L"Ident", 0, 0, &key) == 0) {
    wchar_t name[261] = {};
    DWORD type = 0, size = 520;
    if (panel.Remote.CeRegQueryValueEx(key, L"Name", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) == 0) {
      wcsncpy(panel.DeviceNameW, name, kModuleDeviceNameChars);
      read = true;
    }
    panel.Remote.CeRegCloseKey(key);
  }
  panel.DeviceName = WideToOem(panel.DeviceNameW);
  ClearInfoLines(panel);
  if (read) panel.Active().RefreshDeviceInformation();
  return read ? 1 : 0;
}

void TempRefreshDeviceInfo(DevicePanel& panel) {
  AddInfoLine(panel, "Handrel", nullptr);
  AddInfoLine(panel, "PPC Name", panel.DeviceName.c_str());
}

void TempConfigure() {
  g_settings.SettingsChanged = 0;
  DevicePanel* panel = g_panels.empty() ? nullptr : g_panels.front();
  DevicePanel* loadOnly = nullptr;
  if (!panel) panel = loadOnly = OpenDevicePanel(-1, 0);
  if (!panel) return;
  std::vector<KelMenuItemA> items;
  for (size_t i = 1; i < panel->Modules.size(); ++i) {
    KelMenuItemA it{};
    strncpy(it.Text, panel->Modules[i]->Title().c_str(), sizeof(it.Text) - 1);
    it.Selected = i == panel->ActiveModule;
    items.push_back(it);
  }
  for (;;) {
    int choice = items.empty() || !g_host.HostMenu
                     ? -1
                     : g_host.HostMenu(g_host.ModuleNumber, -1, -1, 0, 0, "Modules", nullptr, nullptr, nullptr,
                                       nullptr, items.data(), static_cast<int>(items.size()));
    if (choice < 0) break;
    panel->Modules[static_cast<size_t>(choice) + 1]->Configure();
  }
  if (loadOnly) CloseDevicePanel(loadOnly);
  if (g_settings.SettingsChanged)
    for (DevicePanel* p : g_panels)
      for (auto& m : p->Modules) m->ReloadSettings();
}

}  // namespace handrel
