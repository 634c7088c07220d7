#include "devicebrowser/modules/files/win/dialogs.h"

#include <cstring>
#include <vector>

#include "devicebrowser/common/console/console.h"

namespace handrel::files {

namespace {

// An edit line with its history list.
int AddHistoryEdit(DialogBuilder& dialog, int row, int width, std::vector<char>& value, const char* history) {
  int edit = dialog.AddEdit(row, 1, width, value.data(), value.size());
  dialog.Item(edit).Flags |= DIF_HISTORY;
  dialog.Item(edit).Param.History = history;
  return edit;
}

std::vector<char> EditBuffer(const std::string& text) {
  std::vector<char> buffer(512, '\0');
  std::memcpy(buffer.data(), text.data(), text.size() < buffer.size() - 1 ? text.size() : buffer.size() - 1);
  return buffer;
}

}  // namespace

bool RunMakeFolderDialog(std::string& name) {
  std::vector<char> value = EditBuffer(name);
  DialogBuilder dialog(68, 4, "Make folder");
  dialog.AddText(1, 1, "Create the &folder");
  AddHistoryEdit(dialog, 2, 66, value, "NewFolder");
  dialog.AddSeparator(3);
  int accept = dialog.AddButton(4, "Ok", true);
  dialog.AddButton(4, "Cancel");
  if (dialog.Run(accept) != accept) return false;
  name = value.data();
  return true;
}

bool RunSettingsDialog(const char* title, bool& showRom) {
  int rom = showRom ? 1 : 0;
  DialogBuilder dialog(32, 3, title, "Files_Setup");
  dialog.AddCheckBox(1, 1, "Show files in ROM", &rom);
  dialog.AddSeparator(2);
  int accept = dialog.AddButton(3, "&OK", true);
  dialog.AddButton(3, "Cancel");
  if (dialog.Run(accept) != accept) return false;
  showRom = rom != 0;
  return true;
}

}  // namespace handrel::files
