// Device panels: opening and closing, navigation through the root and the modules, the jump to
// top, the panel strings, the information lines and the services modules call back into.
#include <algorithm>
#include <cstring>

#include "devicebrowser/plugin/core/navigation.h"
#include "devicebrowser/plugin/handrel.h"

namespace handrel {

HostStartupInfoA g_host;
uint32_t g_hostVersion = 0x0134;
std::vector<DevicePanel*> g_panels;
ModuleObject* g_editorReceiver = nullptr;

namespace {

const char* BuiltInMsg(int id) {
  switch (id) {
    case 0: return "English";
    case 2: return "Handrel";
    case 6: return "Handrel";
    case 14: return "Go to the root";
    case 17: return "Go to the module's top";
    default: return "";
  }
}

DevicePanel* Owner(ModuleOwner owner) {
  if (!IsLivePanel(owner)) throw Failure("unknown panel handle");
  return static_cast<DevicePanel*>(owner);
}

bool HostPanelVisibleAndFocused(DevicePanel& panel, bool needFocus) {
  PanelInfoA info{};
  if (!PanelControl(&panel, FCTL_GETPANELINFO, &info)) return false;
  return info.Visible && (!needFocus || info.Focus);
}

// Moves the cursor of the panel onto the item named `name` after an update (plain redraw when
// there is no such item).
void UpdateAndPlaceCursor(DevicePanel& panel, const std::string& name) {
  PanelControl(&panel, FCTL_UPDATEPANEL, nullptr);
  PanelInfoA info{};
  if (!name.empty() && PanelControl(&panel, FCTL_GETPANELINFO, &info)) {
    for (int i = 0; i < info.ItemsNumber; ++i)
      if (EqualsNoCase(info.PanelItems[i].FileName, name)) {
        PanelRedrawInfoA redraw{i, 0};
        PanelControl(&panel, FCTL_REDRAWPANEL, &redraw);
        return;
      }
  }
  PanelControl(&panel, FCTL_REDRAWPANEL, nullptr);
}

int MODULE_API SvcCheckInvokeLibrary(ModuleOwner owner) { return LinkCheckInvokeLibrary(*Owner(owner)); }
const wchar_t* MODULE_API SvcGetDeviceName(ModuleOwner owner) { return LinkDeviceNameW(*Owner(owner)); }
int MODULE_API SvcAddInfoLine(ModuleOwner owner, const char* text, const char* data) {
  return AddInfoLine(*Owner(owner), text, data);
}
int MODULE_API SvcReconnect(ModuleOwner owner) { return LinkReconnect(*Owner(owner)); }
ModuleInstance MODULE_API SvcGetOtherPanelModule(ModuleOwner owner) {
  DevicePanel* self = Owner(owner);
  for (DevicePanel* p : g_panels) {
    if (p == self || !HostPanelVisibleAndFocused(*p, false)) continue;
    return p->Active().IsLoadedModule() ? p->Active().Instance() : 0;
  }
  return 0;
}
int MODULE_API SvcReadSetting(ModuleOwner owner, const wchar_t* name, uint32_t byteSize, wchar_t* buffer) {
  return ReadSettingValue(Owner(owner)->SettingsKey.c_str(), name, buffer, byteSize);
}
int MODULE_API SvcWriteSetting(ModuleOwner owner, const wchar_t* name, const wchar_t* value) {
  return WriteSettingValue(Owner(owner)->SettingsKey.c_str(), name, value);
}
int MODULE_API SvcSetEditorModule(ModuleOwner owner, ModuleInstance instance) {
  DevicePanel* panel = Owner(owner);
  g_editorReceiver = nullptr;
  if (!instance) return 1;
  for (auto& m : panel->Modules)
    if (m->Instance() == instance) {
      g_editorReceiver = m.get();
      return 0;
    }
  return 1;
}

// The registry value that remembers where a device's panel was: "LastPath-" and the device name.
// The registry's 8-bit functions read names in the ANSI code page, so the name is that page's
// form of the device name (its OEM form would be stored as other characters).
std::string LastPathName(DevicePanel& panel) {
  const wchar_t* name = LinkDeviceNameW(panel);
  char ansi[2 * kModuleDeviceNameChars + 2] = {};
  WideCharToMultiByte(CP_ACP, 0, name, -1, ansi, sizeof(ansi) - 1, nullptr, nullptr);
  return std::string("LastPath-") + ansi;
}

// Leaves the active module for the root; returns the remembered item name.
std::string LeaveModule(DevicePanel& panel) {
  std::string remembered;
  if (panel.ActiveModule != 0) {
    remembered = panel.Active().ShortName() + ":";
    panel.Active().Deactivate();
  }
  ActivateRoot(panel);
  return remembered;
}

}  // namespace

const char* Msg(int id) {
  const char* s = g_host.HostGetMsg ? g_host.HostGetMsg(g_host.ModuleNumber, id) : nullptr;
  return s && *s ? s : BuiltInMsg(id);
}

void Warn(const std::string& title, const std::string& text) { LinkShowWarning(title.c_str(), text.c_str()); }

std::wstring OemToWide(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_OEMCP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_OEMCP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string WideToOem(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_OEMCP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_OEMCP, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

int PanelControl(HANDLE panel, int command, void* param) {
  return g_host.HostPanelControl ? g_host.HostPanelControl(panel, command, param) : 0;
}

bool IsLivePanel(const void* panel) {
  return std::find(g_panels.begin(), g_panels.end(), panel) != g_panels.end();
}

void SetLanguageName(DevicePanel& panel) {
  std::wstring name = OemToWide(Msg(0)).substr(0, kModuleLanguageNameChars - 1);
  memset(panel.LanguageName, 0, sizeof(panel.LanguageName));
  wcsncpy(panel.LanguageName, name.c_str(), kModuleLanguageNameChars - 1);
}

void ActivateRoot(DevicePanel& panel) {
  panel.ActiveModule = 0;
  panel.Modules[0]->Activate();
}

void ClearInfoLines(DevicePanel& panel) {
  memset(panel.InfoLines, 0, sizeof(panel.InfoLines));
  panel.InfoLineCount = 0;
}

int AddInfoLine(DevicePanel& panel, const char* text, const char* data) {
  if (panel.InfoLineCount >= kMaxInfoLines) return 0;
  InfoPanelLineA& line = panel.InfoLines[panel.InfoLineCount++];
  memset(&line, 0, sizeof(line));
  if (!text || !data) {
    line.Separator = 1;
    if (text) strncpy(line.Text, text, sizeof(line.Text) - 1);
    return 0;
  }
  strncpy(line.Text, text, sizeof(line.Text) - 1);
  strncpy(line.Data, data, sizeof(line.Data) - 1);
  return 0;
}

void RebuildPanelStrings(DevicePanel& panel) {
  ModuleObject& m = panel.Active();
  PanelStrings s = BuildPanelStrings(m.ShortName(), m.Title(), WideToOem(m.GetDirectory()));
  panel.PanelTitle = s.title;
  panel.CurrentDirectory = s.currentDirectory;
}

int Navigate(DevicePanel& panel, const std::string& pathIn, int opMode) {
  std::string path = pathIn;
  int result = 0;
  bool apply = true;
  if (path.find(':') != std::string::npos) {
    if (panel.ActiveModule != 0) panel.Active().Deactivate();
    ActivateRoot(panel);
  }
  if (panel.ActiveModule == 0) {
    apply = false;
    if (path == "\\" || path == "..") {
      result = 1;
    } else {
      std::string prefix, rest;
      bool colon = SplitModulePrefix(path, prefix, rest);
      if (!colon) prefix = path;
      for (size_t i = 1; i < panel.Modules.size(); ++i) {
        if (!EqualsNoCase(prefix, panel.Modules[i]->ShortName())) continue;
        panel.Modules[0]->Deactivate();
        if (panel.Modules[i]->Activate()) {
          panel.ActiveModule = i;
          result = 1;
        } else {
          ActivateRoot(panel);
        }
        break;
      }
      if (colon && panel.ActiveModule != 0) {
        path = InnerModulePath(rest);
        apply = !path.empty();
      }
    }
  }
  if (apply && panel.ActiveModule != 0) {
    ModuleObject& m = panel.Active();
    ModulePathResult target = ApplyModulePath(m.GetDirectory(), OemToWide(path));
    if (target.leave) {
      std::string remembered = LeaveModule(panel);
      RebuildPanelStrings(panel);
      UpdateAndPlaceCursor(panel, remembered);
      return 0;
    }
    std::wstring dir =
        ProbeExistingDirectory(target.dir, [&](const std::wstring& d) { return m.ExistsDirectory(d, opMode) != 0; });
    result = m.SetDirectory(dir, opMode);
  }
  RebuildPanelStrings(panel);
  return result;
}

int JumpToTop(DevicePanel& panel, bool ask, bool toRoot) {
  if (panel.ActiveModule == 0) return 0;
  if (ask) {
    KelMenuItemA items[2]{};
    strncpy(items[0].Text, Msg(14), sizeof(items[0].Text) - 1);
    strncpy(items[1].Text, Msg(17), sizeof(items[1].Text) - 1);
    items[toRoot ? 0 : 1].Selected = 1;
    int choice = g_host.HostMenu ? g_host.HostMenu(g_host.ModuleNumber, -1, -1, 0, 0, Msg(2), nullptr, nullptr,
                                                   nullptr, nullptr, items, 2)
                                 : -1;
    if (choice < 0) return 1;
    toRoot = choice == 0;
  }
  std::string remembered;
  ModuleObject& m = panel.Active();
  std::wstring cur = m.GetDirectory();
  if (!toRoot && !cur.empty()) {
    m.SetDirectory(std::wstring(), 0);
  } else {
    remembered = LeaveModule(panel);
  }
  RebuildPanelStrings(panel);
  UpdateAndPlaceCursor(panel, remembered);
  return 1;
}

DevicePanel* OpenDevicePanel(int openFrom, intptr_t item) {
  static const int kFrom[] = {0, 1, 4, 5, 6, 8, -1};
  if (std::find(std::begin(kFrom), std::end(kFrom), openFrom) == std::end(kFrom)) return nullptr;
  std::string command = openFrom == 4 && item ? reinterpret_cast<const char*>(item) : "";
  if (openFrom == 4) {
    for (DevicePanel* p : g_panels)
      if (HostPanelVisibleAndFocused(*p, true)) {
        Navigate(*p, command, 0);
        PanelControl(p, FCTL_UPDATEPANEL, nullptr);
        PanelRedrawInfoA redraw{0, 0};
        PanelControl(p, FCTL_REDRAWPANEL, &redraw);
        return nullptr;
      }
  }
  if (g_panels.size() == g_panels.capacity())
    g_panels.reserve(g_panels.capacity() + std::clamp<size_t>(g_panels.capacity(), 10, 4096));
  auto* panel = new DevicePanel();
  g_panels.push_back(panel);
  try {
    PanelInfoA active{};
    if (PanelControl(PANEL_ACTIVE, FCTL_GETPANELINFO, &active)) {
      panel->PanelState = active;
      if (active.PanelType == PTYPE_FILEPANEL) {
        panel->StartPanelMode = '0' + std::clamp(active.ViewMode, 0, 9);
        panel->StartSortMode = 0;
      }
    }
    // The record the modules see holds the start mode in place of the view mode.
    panel->PanelState.ViewMode = panel->StartPanelMode;
    std::string root = g_host.RootKey && *g_host.RootKey ? g_host.RootKey : "\\";
    if (root.back() != '\\') root += '\\';
    panel->SettingsKey = root + "Handrel";
    wchar_t self[MAX_PATH] = {};
    HMODULE me = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OpenDevicePanel), &me);
    GetModuleFileNameW(me, self, MAX_PATH);
    panel->PluginPath = self;
    WIN32_FILE_ATTRIBUTE_DATA fa;
    if (GetFileAttributesExW(self, GetFileExInfoStandard, &fa)) {
      SYSTEMTIME st;
      FileTimeToSystemTime(&fa.ftLastWriteTime, &st);
      st.wSecond = 0;
      st.wMilliseconds = 0;
      SystemTimeToFileTime(&st, &panel->PluginFileTime);
    }
    wcscpy(panel->LanguageName, L"English");
    panel->OpenFrom = openFrom;
    panel->StartCommand = command;
    panel->Link = CreatePanelLink(*panel);
    ModuleStartupRecord& r = panel->StartupRecord;
    r.Size = kModuleStartupRecordSize;
    r.HostStartupSize = kModuleHostStartupSize;
    r.HostStartup = &g_host;
    r.PanelState = &panel->PanelState;
    r.ScreenMetrics = LinkScreenMetrics(*panel);
    r.HostVersion = g_hostVersion;
    r.LanguageName = panel->LanguageName;
    r.Settings = &Settings();
    r.CheckInvokeLibrary = SvcCheckInvokeLibrary;
    r.GetDeviceName = SvcGetDeviceName;
    r.AddInfoLine = SvcAddInfoLine;
    r.Reconnect = SvcReconnect;
    r.GetOtherPanelModule = SvcGetOtherPanelModule;
    r.ReadSetting = SvcReadSetting;
    r.WriteSetting = SvcWriteSetting;
    r.SetEditorModule = SvcSetEditorModule;
    r.ReplaceChar = reinterpret_cast<const wchar_t*>(&Settings().ReplaceChar);
    panel->Modules.push_back(MakeRootModule(*panel));
    ActivateRoot(*panel);
    Navigate(*panel, "\\", 0);
    if (!LinkStart(*panel, openFrom == -1)) {
      CloseDevicePanel(panel);
      return nullptr;
    }
  } catch (...) {
    if (IsLivePanel(panel)) CloseDevicePanel(panel);
    throw;
  }
  return panel;
}

bool ApplyStartDirectory(DevicePanel& panel, int openFrom, const std::string& command) {
  // The status window closes before a navigation that may show dialogs of a module.
  if (openFrom == 5 || openFrom == 6 || openFrom == 8) {
    LinkCloseStatus(panel);
    return Navigate(panel, "control:", 0) != 0;
  }
  if (openFrom == 4) {
    LinkCloseStatus(panel);
    return Navigate(panel, command, 0) != 0;
  }
  std::string start;
  bool found = false;
  for (DevicePanel* p : g_panels)
    if (p != &panel && HostPanelVisibleAndFocused(*p, false)) {
      start = p->CurrentDirectory;
      found = true;
      break;
    }
  if (!found) {
    char value[1001] = {};
    std::string name = LastPathName(panel);
    if (ReadSettingValue(panel.SettingsKey.c_str(), name.c_str(), value, sizeof(value) - 1) == 0)
      start.assign(value, strnlen(value, sizeof(value)));
  }
  if (!start.empty()) Navigate(panel, start, 0);
  return true;
}

void CloseDevicePanel(DevicePanel* panel) {
  if (!IsLivePanel(panel)) return;
  if (panel->ActiveModule != 0) panel->Active().Deactivate();
  if (panel->Link && *LinkDeviceName(*panel)) {
    std::string name = LastPathName(*panel);
    WriteSettingCreating(panel->SettingsKey.c_str(), name.c_str(), LastPathValue(panel->CurrentDirectory).c_str());
  }
  if (panel->Link) LinkReleaseConnection(*panel);
  panel->Modules.clear();
  g_panels.erase(std::find(g_panels.begin(), g_panels.end(), panel));
  if (panel->Link) {
    LinkFreeLibrary(*panel);
    DestroyPanelLink(panel->Link);
  }
  delete panel;
}

}  // namespace handrel
