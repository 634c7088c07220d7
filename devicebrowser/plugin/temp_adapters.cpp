// TEMPORARY ADAPTER: serves panel_link.h when the build has no connection and settings libraries
// (they need the console helpers). It does the least that opens a connected panel: the settings
// with their defaults, rapi.dll and its entries, the connection and its count (no status window,
// no Esc question, no invoke library or policy step), the device name and a name line, and the
// module configuration menu without the dialog. connection_link.cpp replaces it when they build.
#include <algorithm>
#include <cstring>
#include <string>

#include "devicebrowser/common/rapi_api.h"
#include "devicebrowser/plugin/handrel.h"

namespace handrel {

namespace {

settings::PluginSettings g_settings;
int g_count = 0;

}  // namespace

struct PanelLink {
  HMODULE library = nullptr;
  CeRapiInitExFn init = nullptr;
  CeRapiUninitFn uninit = nullptr;
  CeRegOpenKeyExFn open = nullptr;
  CeRegQueryValueExFn query = nullptr;
  CeRegCloseKeyFn close = nullptr;
  bool holds = false;
  wchar_t nameW[261] = L"Unknown";
  char name[521] = "Unknown";
  int32_t metrics[3] = {0, 0, 0};
};

settings::PluginSettings& Settings() { return g_settings; }

int ReadSettingValue(const char* key, const char* name, char* buffer, DWORD bufferBytes) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return 0;
  DWORD type = 0, size = bufferBytes;
  LONG err = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(k);
  if (err != ERROR_SUCCESS || type != REG_SZ || !bufferBytes) return 1;
  buffer[std::min<DWORD>(size, bufferBytes - 1)] = 0;
  return 0;
}

int ReadSettingValue(const char* key, const wchar_t* name, wchar_t* buffer, DWORD bufferBytes) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return 0;
  DWORD type = 0, size = bufferBytes;
  LONG err = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(k);
  DWORD chars = bufferBytes / sizeof(wchar_t);
  if (err != ERROR_SUCCESS || type != REG_SZ || !chars) return 1;
  buffer[std::min<DWORD>(size / sizeof(wchar_t), chars - 1)] = 0;
  return 0;
}

int WriteSettingValue(const char* key, const wchar_t* name, const wchar_t* value) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_WRITE, &k) != ERROR_SUCCESS) return 0;
  LONG err = RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
  return err == ERROR_SUCCESS ? 0 : 1;
}

bool WriteSettingCreating(const char* key, const char* name, const char* value) {
  HKEY k;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS)
    return false;
  LONG err = RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(strlen(value) + 1));
  RegCloseKey(k);
  return err == ERROR_SUCCESS;
}

void LoadSettings(const char* hostRootKey) {
  std::string key = hostRootKey && *hostRootKey ? hostRootKey : "\\Software\\Kel\\Plugins\\";
  if (key.back() != '\\') key += '\\';
  key += "Handrel";
  strncpy(g_settings.SettingsKey, key.c_str(), sizeof(g_settings.SettingsKey) - 1);
  char v[1001];
  auto flag = [&](const char* name, bool& on) {
    if (ReadSettingValue(g_settings.SettingsKey, name, v, sizeof(v) - 1) == 0 && *v) on = v[0] == 'Y';
  };
  auto pair = [&](const char* name, settings::FlagPair& p) {
    if (ReadSettingValue(g_settings.SettingsKey, name, v, sizeof(v) - 1) == 0 && *v) {
      p.ask = v[0] == 'Y';
      p.toRoot = v[1] == 'Y';
    }
  };
  flag("UseDriveLetter", g_settings.UseDriveLetter);
  flag("ShowInEditor", g_settings.ShowInEditor);
  flag("ShowInViewer", g_settings.ShowInViewer);
  flag("ShowInDialog", g_settings.ShowInDialog);
  pair("CtrlSlash", g_settings.CtrlSlash);
  pair("CtrlShiftSlash", g_settings.CtrlShiftSlash);
  v[0] = 0;
  if (ReadSettingValue(g_settings.SettingsKey, "CommandPrefix", v, sizeof(v) - 1) == 0 && *v) {
    size_t n = std::min(strlen(v), settings::kCommandPrefixChars);
    memcpy(g_settings.CommandPrefix, v, n);
    g_settings.CommandPrefix[n] = 0;
  }
}

int ConfigurePlugin() {
  g_settings.SettingsChanged = 0;
  DevicePanel* panel = g_panels.empty() ? nullptr : g_panels.front();
  DevicePanel* loadOnly = nullptr;
  if (!panel) panel = loadOnly = OpenDevicePanel(-1, 0);
  if (panel && g_host.HostMenu) {
    std::vector<KelMenuItemA> items;
    for (size_t i = 1; i < panel->Modules.size(); ++i) {
      KelMenuItemA it{};
      strncpy(it.Text, panel->Modules[i]->Title().c_str(), sizeof(it.Text) - 1);
      it.Selected = i == panel->ActiveModule;
      items.push_back(it);
    }
    for (int choice; !items.empty() &&
                     (choice = g_host.HostMenu(g_host.ModuleNumber, -1, -1, 0, 0, Msg(7), nullptr, nullptr, nullptr,
                                               nullptr, items.data(), static_cast<int>(items.size()))) >= 0;)
      panel->Modules[static_cast<size_t>(choice) + 1]->Configure();
  }
  if (loadOnly) CloseDevicePanel(loadOnly);
  if (g_settings.SettingsChanged)
    for (DevicePanel* p : g_panels)
      for (auto& m : p->Modules) m->ReloadSettings();
  return 1;
}

PanelLink* CreatePanelLink(DevicePanel&) { return new PanelLink(); }
void DestroyPanelLink(PanelLink* link) { delete link; }

namespace {

template <class Fn>
bool Get(HMODULE lib, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(lib, name)));
  return fn != nullptr;
}

bool Connect(PanelLink& l) {
  g_count = 0;
  RAPIINIT init{sizeof(RAPIINIT), CreateEventW(nullptr, TRUE, FALSE, nullptr), kRapiInitPending};
  bool ok = SUCCEEDED(l.init(&init));
  while (ok && WaitForSingleObject(init.heRapiInit, 250) != WAIT_OBJECT_0) {
  }
  CloseHandle(init.heRapiInit);
  return ok && init.hrRapiInit >= 0;
}

}  // namespace

int LinkStart(DevicePanel& panel, bool loadOnly) {
  PanelLink& l = *panel.Link;
  int seen = g_count;
  if (l.library) {
    if (loadOnly) return 1;
    l.uninit();
    if (!Connect(l)) return 0;
  } else {
    l.library = LoadLibraryW(L"rapi.dll");
    static const char* const kNames[] = {"CeRapiUninit", "CeRegCloseKey", "CeRegQueryValueEx", "CeRegSetValueEx",
                                         "CeRegOpenKeyEx", "CeRapiInitEx", "CeCloseHandle", "CeWriteFile",
                                         "CeGetLastError", "CeRapiGetError", "CeCreateFile", "CeFindClose",
                                         "CeFindFirstFile", "CeCreateDirectory", "CeGetFileAttributes",
                                         "CeRapiInvoke", "CeGetFileTime", "CeSetFileTime", "CeCreateProcess"};
    bool all = l.library != nullptr;
    for (const char* n : kNames) all = all && GetProcAddress(l.library, n) != nullptr;
    all = all && Get(l.library, "CeRapiInitEx", l.init) && Get(l.library, "CeRapiUninit", l.uninit) &&
          Get(l.library, "CeRegOpenKeyEx", l.open) && Get(l.library, "CeRegQueryValueEx", l.query) &&
          Get(l.library, "CeRegCloseKey", l.close);
    if (!all) {
      LinkFreeLibrary(panel);
      Warn("Handrel", "Can't load library: rapi.dll\nPlease install ActiveSync or\nWindows Mobile Center.");
      return 0;
    }
    if (!DiscoverModules(panel)) {
      LinkFreeLibrary(panel);
      return 0;
    }
    if (loadOnly) return 1;
    if (seen <= 0 && !Connect(l)) return 0;
  }
  LinkReloadDeviceInfo(panel, true);
  int result = ApplyStartDirectory(panel, panel.OpenFrom, panel.StartCommand) ? 1 : 0;
  g_count = seen + 1;
  l.holds = true;
  return result;
}

int LinkReconnect(DevicePanel& panel) { return LinkStart(panel, false); }
int LinkCheckInvokeLibrary(DevicePanel&) { return 1; }

bool LinkReloadDeviceInfo(DevicePanel& panel, bool) {
  PanelLink& l = *panel.Link;
  wcscpy(l.nameW, L"Unknown");
  bool named = false;
  HKEY key;
  if (l.open && l.open(HKEY_LOCAL_MACHINE, L"Ident", 0, 0, &key) == 0) {
    BYTE buffer[522] = {};
    DWORD type = 0, size = 520;
    if (l.query(key, L"Name", nullptr, &type, buffer, &size) == 0) {
      memcpy(l.nameW, buffer, sizeof(l.nameW) - sizeof(wchar_t));
      named = true;
    }
    l.close(key);
  }
  strncpy(l.name, WideToOem(l.nameW).c_str(), sizeof(l.name) - 1);
  ClearInfoLines(panel);
  if (named) panel.Active().RefreshDeviceInformation();
  return named;
}

void LinkRefreshDeviceInfo(DevicePanel& panel) {
  AddInfoLine(panel, "Handrel", nullptr);
  AddInfoLine(panel, "PPC Name", panel.Link->name);
}

void LinkCloseStatus(DevicePanel&) {}

void LinkReleaseConnection(DevicePanel& panel) {
  PanelLink& l = *panel.Link;
  if (l.holds && g_count > 0) --g_count;
  if (g_count == 0 && l.library) l.uninit();
  l.holds = false;
}

void LinkFreeLibrary(DevicePanel& panel) {
  if (panel.Link->library) FreeLibrary(panel.Link->library);
  panel.Link->library = nullptr;
}

bool LinkHoldsConnection(DevicePanel& panel) { return panel.Link->holds; }
const wchar_t* LinkDeviceNameW(DevicePanel& panel) { return panel.Link->nameW; }
const char* LinkDeviceName(DevicePanel& panel) { return panel.Link->name; }
const int32_t* LinkScreenMetrics(DevicePanel& panel) { return panel.Link->metrics; }

}  // namespace handrel
