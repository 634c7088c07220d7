// MFilesModule: the device's file system in a host panel of the device browser plugin. Listing,
// delete, make folder, rename, copy between two device panels, and GetFiles / PutFiles through the
// transfer engine; the shortcut, attribute and run actions live in their own sources (actions.h).
// Threads: the host's only; the module starts none.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "devicebrowser/common/framework/framework.h"
#include "devicebrowser/common/transfer/core/transfer.h"

namespace handrel::files {

class MFilesModule : public MModuleBase {
 public:
  const char* getShortName() override { return "Files"; }
  const char* getTitle() override { return "PPC File System"; }

  int GetFindData(PluginPanelItemA** items, int* count, int opMode) override;
  int GetFiles(PluginPanelItemA* items, int count, int move, char* destPath, int opMode) override;
  int PutFiles(PluginPanelItemA* items, int count, int move, int opMode) override;
  int MakeDirectory(char* name, int opMode) override;
  int DeleteFiles(PluginPanelItemA* items, int count, int opMode) override;
  int processKey(int key, unsigned int controlState) override;
  int Configure() override;
  void ReloadModuleSettings() override;

  // "\" + current folder (ending in a backslash, just "\" at the root).
  std::wstring deviceFolder() const;
  // A warning titled with the short name; nothing when silent.
  void warn(int opMode, const std::string& text);
  // Updates and redraws the other panel when it is a device file panel showing this folder.
  void refreshTwin();

  bool showRomFiles = false;

 private:
  // What a failed copy to the device could not tidy before it ended (the connection kept
  // dropping): tried again at every listing and copy until it is done.
  void tidyLeftovers();
  std::vector<transfer::Cleanup> leftovers_;
  int renameCurrent();
  int copyToOtherPanel();
  int deleteItem(const PluginPanelItemA& item, int opMode, class ConsoleDeleteUi* ui);
};

}  // namespace handrel::files
