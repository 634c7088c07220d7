// F4 on a device shortcut file ("Edit link") and Alt+F6, a new shortcut to the selected item in
// the other device panel's folder ("Create link").
#include <cstring>
#include <cwctype>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/modules/files/core/shortcut.h"
#include "devicebrowser/modules/files/win/action_support.h"
#include "devicebrowser/modules/files/win/actions.h"

namespace handrel {

using namespace actions;

namespace {

using Field = char[files::kShortcutFieldMax + 1];

void SetField(Field& field, const std::string& text) {
  std::string oem = AnsiToOem(text);
  std::memset(field, 0, sizeof field);
  std::memcpy(field, oem.data(), std::min(oem.size(), sizeof field - 1));
}

bool EndsWithLnk(const std::wstring& name) {
  if (name.size() < 4) return false;
  std::wstring tail = name.substr(name.size() - 4);
  for (wchar_t& c : tail) c = static_cast<wchar_t>(std::towlower(c));
  return tail == L".lnk";
}

bool SameFolder(const wchar_t* a, const wchar_t* b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

}  // namespace

int EditShortcut(MModuleBase& module, int opMode) {
  PanelInfoA info;
  if (!GetPanel(PANEL_ACTIVE, &info) || !info.PanelItems || info.CurrentItem < 0 ||
      info.CurrentItem >= info.ItemsNumber)
    return 0;
  const PluginPanelItemA& item = info.PanelItems[info.CurrentItem];
  if (IsDots(item) || (item.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !EndsWithLnk(module.itemName(item))) return 0;
  std::wstring path;
  if (!ItemDevicePath(module, item, opMode, &path)) return 1;

  std::string command, error;
  files::ShortcutParts parts;
  if (!ReadShortcut(path, &command, &error) ||
      !files::SplitShortcutCommand(command, DeviceFileExists, &parts, &error)) {
    Say(module, opMode, "Error", "Invalid *.lnk file\r\n" + AnsiToOem(error));
    return 1;
  }
  if (opMode & kOpSilent) return 1;
  Field target, arguments, icon;
  SetField(target, parts.program);
  SetField(arguments, parts.arguments);
  SetField(icon, parts.icon);
  for (;;) {
    DialogBuilder d(60, 8, "Edit link", "Lnk_Edit");
    d.AddText(1, 1, "&Path:");
    d.AddEdit(2, 1, 58, target, sizeof target);
    d.AddText(3, 1, "&Arguments:");
    d.AddEdit(4, 1, 58, arguments, sizeof arguments);
    d.AddText(5, 1, "&Icon and index:");
    d.AddEdit(6, 1, 58, icon, sizeof icon);
    d.AddSeparator(7);
    int modify = d.AddButton(8, "&Modify", true);
    int edit = d.AddButton(8, "&Edit");
    d.AddButton(8, "Cancel");
    d.CentreRow(8, 46, 1);
    int chosen = d.Run(modify);
    if (chosen == edit) return 0;  // the host opens the file in its editor
    if (chosen != modify) return 1;
    std::string newCommand = files::BuildShortcutCommand(OemToAnsi(target), OemToAnsi(arguments), OemToAnsi(icon));
    if (newCommand.empty()) {
      Say(module, opMode, nullptr, "Path is empty!");
      continue;
    }
    // What would not read back is not written: the user gets the reason and the fields again.
    files::ShortcutParts check;
    if (!files::SplitShortcutCommand(newCommand, nullptr, &check, &error)) {
      Say(module, opMode, "Error", "Invalid *.lnk file\r\n" + error);
      continue;
    }
    if (!WriteShortcut(path, newCommand, "Can't open lnk file.", &error)) {
      Say(module, opMode, nullptr, error);
      return 1;
    }
    RefreshPanel(PANEL_ACTIVE);
    return 1;
  }
}

int CreateShortcut(MModuleBase& module, const PluginPanelItemA* items, int count, int opMode) {
  PanelInfoA info;
  if (!items) {
    if (!GetPanel(PANEL_ACTIVE, &info)) return 0;
    items = info.SelectedItems;
    count = info.SelectedItemsNumber;
  }
  if (!items || count != 1 || IsDots(items[0])) return 0;
  MModuleBase* other = OtherFilesPanel(module);
  if (!other) return 0;
  const PluginPanelItemA& item = items[0];
  std::wstring source;
  if (!ItemDevicePath(module, item, opMode, &source)) return 1;
  if (opMode & kOpSilent) return 1;

  std::wstring name = module.itemName(item);
  size_t dot = name.rfind(L'.');
  std::wstring base = dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
  char link[MAX_PATH * 2] = {};
  std::string proposed = ToCodePage(CP_OEMCP, L"\\" + std::wstring(other->currentFolder) + base + L".lnk");
  std::memcpy(link, proposed.data(), std::min(proposed.size(), sizeof link - 1));

  DialogBuilder d(68, 4, "Create link");
  d.AddText(1, 1, "Create link:");
  d.AddEdit(2, 1, 66, link, sizeof link);
  d.AddSeparator(3);
  int accept = d.AddButton(4, "&Link", true);
  d.AddButton(4, "Ca&ncel");
  if (d.Run(accept) != accept || !link[0]) return 1;

  std::string error;
  std::wstring linkPath = FromCodePage(CP_OEMCP, link);
  std::string target = "\"";
  target += ToCodePage(CP_ACP, source);
  target += '"';
  if (!WriteShortcut(linkPath, target, "Can't create lnk file.", &error)) {
    Say(module, opMode, nullptr, error);
    return 1;
  }
  RefreshPanel(PANEL_PASSIVE);
  if (SameFolder(module.currentFolder, other->currentFolder)) RefreshPanel(PANEL_ACTIVE);
  return 1;
}

}  // namespace handrel
