// Quillet: renames the items selected on the active panel in one batch. This file holds the
// plugin's entries: its menu entries, the list of selected items, and the configuration.
//
// Choosing an entry builds the list and opens a rename dialog or the editor mode (ui.h,
// editor_mode.h); the rename job, its summary and rollback follow from there.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/kel_firewall.h"
#include "host/kel_plugin.h"
#include "host/kel_plugin_support.h"
#include "renamer/core/engine.h"
#include "renamer/core/messages.h"
#include "renamer/core/settings.h"
#include "renamer/win/config_dialog.h"
#include "renamer/win/registry_store.h"
#include "renamer/win/editor_mode.h"
#include "renamer/win/ui.h"

namespace {

using namespace quillet;

// Plugin-wide state, all on the host's thread.
kel::HostCopy gCopy;  // the host's records, copied once
HostStartupInfo& gHost = gCopy.info;
std::unique_ptr<RegistryStore> gStore;
Settings gSettings;
std::unique_ptr<RenameList> gList;

const wchar_t* Msg(int id) { return gCopy.Msg(id); }

// A warning message box with the plugin's title; returns the button chosen, -1 for Esc.
int Message(uint32_t flags, const wchar_t* help, std::initializer_list<const wchar_t*> lines) {
  if (!gHost.HostMessage) return -1;
  std::vector<const wchar_t*> items{Msg(kMsgTitle)};
  items.insert(items.end(), lines.begin(), lines.end());
  return gHost.HostMessage(gHost.ModuleNumber, flags, help, items.data(), int(items.size()), 0);
}

void ReportException(const char* exportName, const char* what) { ui::ReportUnhandled(gHost, exportName, what); }

// Reads the settings; false when the key cannot be read (then the caller does nothing).
bool ReadSettings() { return gStore && LoadSettings(*gStore, &gSettings); }

// The active panel's selection, through the host's panel service.
class HostPanel : public PanelSource {
 public:
  bool SelectedCount(uint32_t* count) override {
    PanelInfoW info{};
    if (!gHost.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELINFO, 0, &info)) return false;
    *count = info.SelectedItemsNumber > 0 ? uint32_t(info.SelectedItemsNumber) : 0u;
    return true;
  }
  bool SelectedItem(uint32_t index, std::u16string* name, uint32_t* attributes) override {
    const int size = gHost.HostPanelControl(PANEL_ACTIVE, FCTL_GETSELECTEDPANELITEM, int(index), nullptr);
    if (size < int(sizeof(PluginPanelItemW))) return false;
    // The host fills a block: the record, then its texts.
    std::vector<uint64_t> block((size_t(size) + 7) / 8);
    auto* item = reinterpret_cast<PluginPanelItemW*>(block.data());
    if (!gHost.HostPanelControl(PANEL_ACTIVE, FCTL_GETSELECTEDPANELITEM, int(index), item) || !item->FileName) return false;
    *name = U16(item->FileName);
    *attributes = item->FileAttributes;
    return true;
  }
  std::u16string CurrentDirectory() override {
    const int size = gHost.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELDIR, 0, nullptr);
    if (size <= 0) return {};
    std::wstring dir(size_t(size), L'\0');
    gHost.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELDIR, size, dir.data());
    dir.resize(wcsnlen(dir.c_str(), dir.size()));
    return U16(dir);
  }
};

// What a plugins-menu entry opens.
enum class Action { kManipulate, kConstruct, kEditor, kNone };

Action MenuAction(intptr_t item) {
  if (gSettings.multipleEntries) {
    if (item == 0) return Action::kManipulate;
    if (item == 1) return Action::kConstruct;
    if (item == 2 && gSettings.editorEntry) return Action::kEditor;
    return Action::kNone;
  }
  if (item == 0) {
    const uint32_t type = gSettings.saveLastDialogType ? gSettings.lastDialogType : gSettings.defaultDialogType;
    return type == 1 ? Action::kConstruct : Action::kManipulate;
  }
  if (item == 1 && gSettings.editorEntry) return Action::kEditor;
  return Action::kNone;
}

void OpenFromPluginsMenu(intptr_t item) {
  if (!ReadSettings()) return;
  const Action action = MenuAction(item);
  if (action == Action::kNone) return;
  gList = std::make_unique<RenameList>();
  HostPanel panel;
  uint32_t selected = 0;
  if (!panel.SelectedCount(&selected) || !BuildList(panel, gSettings.renameFolders != 0, gList.get()) ||
      gList->items.empty()) {
    gList.reset();
    Message(FMSG_WARNING | FMSG_MB_OK, nullptr, {Msg(kMsgNothingSelected)});
    return;
  }
  ui::Context ctx;
  ctx.host = &gHost;
  ctx.settings = &gSettings;
  ctx.store = gStore.get();
  ctx.list = gList.get();
  ctx.selectedCount = selected;
  if (action == Action::kEditor) {
    ui::RunEditorMode(ctx);
  } else {
    ui::RunDialogs(ctx, action == Action::kConstruct ? 1 : 0);
  }
  gList.reset();
}

}  // namespace

extern "C" {

// The plugin uses dialog identifiers and the Unicode services of hosts from 2.0 build 1658 on.
int KEL_API GetMinKelVersionW() { return int(KelMakeVersion(2, 0, 1658)); }

void KEL_API SetStartupInfoW(const HostStartupInfo* info) {
  kel::FirewallVoid("SetStartupInfoW", [&] {
    if (!info) return;
    gCopy.Take(info);
    gStore = std::make_unique<RegistryStore>(gHost.RootKey ? gHost.RootKey : L"");
    CreateDefaultsIfMissing(*gStore);
    ReadSettings();
  }, kel::QuietReport{});
}

void KEL_API GetPluginInfoW(PluginInfoW* info) {
  kel::FirewallVoid("GetPluginInfoW", [&] {
    if (!info) return;
    static const wchar_t* menu[4];
    static const wchar_t* config[1];
    *info = PluginInfoW{};
    info->StructSize = sizeof(PluginInfoW);
    if (ui::EditorModeActive()) {
      // While the editor holds the list of names: the editor menu only.
      info->Flags = PF_DISABLEPANELS | PF_EDITOR;
      for (int i = 0; i < 4; ++i) menu[i] = Msg(kMsgEditorMenuFirst + i);
      info->PluginMenuStrings = menu;
      info->PluginMenuStringsNumber = 4;
      return;
    }
    if (!ReadSettings()) return;  // no settings: no entries
    int count = 0;
    if (gSettings.multipleEntries) {
      menu[count++] = Msg(kMsgMenuManipulate);
      menu[count++] = Msg(kMsgMenuConstruct);
    } else {
      menu[count++] = Msg(kMsgTitle);
    }
    if (gSettings.editorEntry) menu[count++] = Msg(kMsgMenuEditor);
    config[0] = Msg(kMsgTitle);
    info->PluginMenuStrings = menu;
    info->PluginMenuStringsNumber = count;
    info->PluginConfigStrings = config;
    info->PluginConfigStringsNumber = 1;
  }, ReportException);
}

HANDLE KEL_API OpenPluginW(int openFrom, intptr_t item) {
  kel::FirewallVoid("OpenPluginW", [&] {
    if (openFrom == OPEN_EDITOR) {
      if (ui::EditorModeActive() && item >= 0 && item <= 3) ui::EditorMenuCommand(int(item));
    } else if (openFrom == OPEN_PLUGINSMENU && !ui::EditorModeActive()) {
      OpenFromPluginsMenu(item);
    }
  }, ReportException);
  return INVALID_HANDLE_VALUE;  // no panel is opened
}

int KEL_API ConfigureW(int) {
  return kel::Firewall("ConfigureW", 0, [&] {
    if (!ReadSettings()) return 0;
    if (!RunConfigDialog(gHost, &gSettings)) return 0;
    if (!SaveSettings(*gStore, gSettings)) Message(FMSG_WARNING | FMSG_MB_OK, nullptr, {Msg(kMsgSaveFailed)});
    return 1;
  }, ReportException);
}

void KEL_API ExitKELW() {
  kel::FirewallVoid("ExitKELW", [&] {
    ui::EditorModeExit();
    gList.reset();
    gStore.reset();
    gSettings = Settings{};
  }, kel::QuietReport{});
}

}  // extern "C"
