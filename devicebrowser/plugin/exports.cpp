// The plugin's sixteen exports. Each one switches the file functions to the ANSI code page for its
// run and back to OEM, and catches whatever its body throws: the user sees "Unhandled exception in
// <export>" and the host gets the failure result.
#include <algorithm>
#include <cstring>

#include "devicebrowser/plugin/core/navigation.h"
#include "devicebrowser/plugin/handrel.h"

using namespace handrel;

namespace {

void ReportException(const char* where, const char* what) {
  std::string text = std::string("Unhandled exception in ") + where;
  if (what && *what) text += std::string("\n") + what;
  Warn(Msg(2), text);
}

bool SwitchFileApis(bool ansi) {
  try {
    if (ansi)
      SetFileApisToANSI();
    else
      SetFileApisToOEM();
    return true;
  } catch (...) {
    ReportException("SetFileApisToXXX", nullptr);
    return false;
  }
}

template <class Body>
auto Guarded(const char* name, decltype(std::declval<Body>()()) failure, Body body) -> decltype(body()) {
  if (!SwitchFileApis(true)) return failure;
  auto result = failure;
  try {
    result = body();
  } catch (const std::exception& e) {
    ReportException(name, e.what());
    result = failure;
  } catch (const char* text) {
    ReportException(name, text);
    result = failure;
  } catch (...) {
    ReportException(name, nullptr);
    result = failure;
  }
  SwitchFileApis(false);
  return result;
}

DevicePanel& PanelOf(HANDLE h) {
  if (!IsLivePanel(h)) throw Failure("unknown panel handle");
  return *static_cast<DevicePanel*>(h);
}

// Re-reads the information lines after a change of the device's contents (free memory).
void RefreshLines(DevicePanel& panel) {
  ClearInfoLines(panel);
  panel.Active().RefreshDeviceInformation();
}

}  // namespace

extern "C" {

void KEL_API SetStartupInfo(const HostStartupInfoA* info) {
  Guarded("SetStartupInfo", 0, [&] {
    memset(&g_host, 0, sizeof(g_host));
    int size = info ? info->StructSize : 0;
    if (size > 0) memcpy(&g_host, info, static_cast<size_t>(std::min<int>(size, sizeof(g_host))));
    if (size < 333)
      g_hostVersion = 0x0134;
    else if (size <= 339)
      g_hostVersion = 0x013C;
    else if (size >= 372 && g_host.HostAdvControl)
      g_hostVersion = static_cast<uint32_t>(g_host.HostAdvControl(g_host.ModuleNumber, ACTL_GETKELVERSION, nullptr));
    LinkSetHost(g_host, g_hostVersion);
    LoadSettings(g_host.RootKey);
    return 0;
  });
}

void KEL_API GetPluginInfo(PluginInfoA* info) {
  Guarded("GetPluginInfo", 0, [&] {
    // Fresh copies each call: the host may keep the pointers until the next call.
    static char diskText[128], pluginText[128], configText[128], prefix[settings::kCommandPrefixChars + 1];
    static const char* diskStrings[1];
    static const char* pluginStrings[1];
    static const char* configStrings[1];
    static int diskNumbers[1];
    strncpy(diskText, Msg(2), sizeof(diskText) - 1);
    strncpy(pluginText, Msg(6), sizeof(pluginText) - 1);
    strncpy(configText, Msg(6), sizeof(configText) - 1);
    size_t prefixLength = strnlen(Settings().CommandPrefix, sizeof(prefix) - 1);
    memcpy(prefix, Settings().CommandPrefix, prefixLength);
    prefix[prefixLength] = 0;
    diskStrings[0] = diskText;
    pluginStrings[0] = pluginText;
    configStrings[0] = configText;
    char hot = Settings().DriveLetter[0];
    diskNumbers[0] = hot >= '0' && hot <= '9' ? hot - '0' : 0;
    memset(info, 0, sizeof(*info));
    info->StructSize = sizeof(*info);
    info->Flags = (Settings().ShowInEditor ? 4u : 0u) | (Settings().ShowInViewer ? 8u : 0u) |
                  (Settings().ShowInDialog ? 32u : 0u);
    if (Settings().UseDriveLetter) {
      info->DiskMenuStrings = diskStrings;
      info->DiskMenuNumbers = diskNumbers;
      info->DiskMenuStringsNumber = 1;
    }
    info->PluginMenuStrings = pluginStrings;
    info->PluginMenuStringsNumber = 1;
    info->PluginConfigStrings = configStrings;
    info->PluginConfigStringsNumber = 1;
    info->CommandPrefix = prefix;
    return 0;
  });
}

HANDLE KEL_API OpenPlugin(int openFrom, intptr_t item) {
  HANDLE none = INVALID_HANDLE_VALUE;
  return Guarded("OpenPlugin", none, [&]() -> HANDLE {
    DevicePanel* panel = OpenDevicePanel(openFrom, item);
    return panel ? static_cast<HANDLE>(panel) : INVALID_HANDLE_VALUE;
  });
}

void KEL_API ClosePlugin(HANDLE h) {
  Guarded("ClosePlugin", 0, [&] {
    CloseDevicePanel(&PanelOf(h));
    return 0;
  });
}

void KEL_API GetOpenPluginInfo(HANDLE h, OpenPluginInfoA* info) {
  Guarded("GetOpenPluginInfo", 0, [&] {
    DevicePanel& panel = PanelOf(h);
    memset(info, 0, sizeof(*info));
    info->StructSize = sizeof(*info);
    info->Flags = OPIF_USEFILTER | OPIF_USESORTGROUPS | OPIF_USEHIGHLIGHTING | OPIF_ADDDOTS | OPIF_COMPAREFATTIME;
    info->CurDir = panel.CurrentDirectory.c_str();
    info->Format = Settings().CommandPrefix;
    info->PanelTitle = panel.PanelTitle.c_str();
    if (panel.InfoLineCount > 0) {
      info->InfoLines = panel.InfoLines;
      info->InfoLinesNumber = panel.InfoLineCount;
    }
    info->StartPanelMode = panel.StartPanelMode;
    info->StartSortMode = panel.StartSortMode;
    panel.Active().AdjustOpenPanelInfo(info);
    return 0;
  });
}

int KEL_API GetFindData(HANDLE h, PluginPanelItemA** items, int* count, int opMode) {
  return Guarded("GetFindData", 0, [&] {
    *items = nullptr;
    *count = 0;
    return PanelOf(h).Active().GetFindData(items, count, opMode);
  });
}

void KEL_API FreeFindData(HANDLE h, PluginPanelItemA* items, int count) {
  Guarded("FreeFindData", 0, [&] {
    PanelOf(h).Active().FreeFindData(items, count);
    return 0;
  });
}

int KEL_API SetDirectory(HANDLE h, const char* dir, int opMode) {
  return Guarded("SetDirectory", 0, [&] { return Navigate(PanelOf(h), dir ? dir : "", opMode); });
}

int KEL_API GetFiles(HANDLE h, PluginPanelItemA* items, int count, int move, char* destPath, int opMode) {
  return Guarded("GetFiles", 0,
                 [&] { return PanelOf(h).Active().GetFiles(items, count, move, destPath, opMode); });
}

int KEL_API PutFiles(HANDLE h, PluginPanelItemA* items, int count, int move, int opMode) {
  return Guarded("PutFiles", 0, [&] {
    DevicePanel& panel = PanelOf(h);
    int r = panel.Active().PutFiles(items, count, move, opMode);
    RefreshLines(panel);
    return r;
  });
}

int KEL_API DeleteFiles(HANDLE h, PluginPanelItemA* items, int count, int opMode) {
  return Guarded("DeleteFiles", 0, [&] {
    DevicePanel& panel = PanelOf(h);
    if (count < 1 || !items || strcmp(items[0].FileName, "..") == 0) return 0;
    int r = panel.Active().DeleteFiles(items, count, opMode);
    RefreshLines(panel);
    return r;
  });
}

int KEL_API MakeDirectory(HANDLE h, char* name, int opMode) {
  return Guarded("MakeDirectory", 0, [&] { return PanelOf(h).Active().MakeDirectory(name, opMode); });
}

int KEL_API ProcessKey(HANDLE h, int key, unsigned int controlState) {
  return Guarded("ProcessKey", 0, [&] {
    DevicePanel& panel = PanelOf(h);
    if (key == 0x52 && controlState == 1) {
      if (!LinkReloadDeviceInfo(panel, false)) return 1;
    } else if (key == 0xDC && controlState == 5) {
      return JumpToTop(panel, Settings().CtrlShiftSlash.ask, Settings().CtrlShiftSlash.toRoot);
    } else if (key == 0xDC && controlState == 1) {
      return JumpToTop(panel, Settings().CtrlSlash.ask, Settings().CtrlSlash.toRoot);
    }
    return panel.Active().ProcessKey(key, controlState);
  });
}

int KEL_API ProcessEditorInput(const INPUT_RECORD* record) {
  return Guarded("ProcessEditorInput", 0, [&] {
    if (!g_editorReceiver) return 0;
    for (DevicePanel* p : g_panels)
      for (auto& m : p->Modules)
        if (m.get() == g_editorReceiver) {
          m->ProcessEditorInput(record);
          return 0;
        }
    g_editorReceiver = nullptr;
    return 0;
  });
}

int KEL_API ProcessEditorEvent(int event, void*) {
  return Guarded("ProcessEditorEvent", 0, [&] {
    if (!g_editorReceiver || event != 0 || !g_host.HostEditorControl) return 0;
    // A file read into the editor while a module receives its input is shown in the ANSI table.
    EditorInfoW editorInfo{};
    if (!g_host.HostEditorControl(ECTL_GETINFO, &editorInfo)) return 0;
    EditorSetParameterW param{};
    param.Type = ESPT_CODEPAGE;
    param.Param.iParam = 2;
    g_host.HostEditorControl(ECTL_SETPARAM, &param);
    return 0;
  });
}

int KEL_API Configure(int) {
  return Guarded("Configure", 1, [&] {
    ConfigurePlugin();
    return 1;
  });
}

}  // extern "C"
