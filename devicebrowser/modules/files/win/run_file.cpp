// Enter on a device file: programs start on the device, shortcuts start what they name, cabinet
// files are offered to the device's installer; other files are left alone with a message.
#include <cstdio>
#include <cwctype>

#include "devicebrowser/common/rapi_api.h"
#include "devicebrowser/modules/files/core/shortcut.h"
#include "devicebrowser/modules/files/win/action_support.h"
#include "devicebrowser/modules/files/win/actions.h"

namespace handrel {

using namespace actions;

namespace {

constexpr const wchar_t* kInstaller = L"\\Windows\\wceload.exe";

// Starts a device program; both handles it gives back are closed at once.
void StartOnDevice(MModuleBase& module, int opMode, const std::wstring& program, const std::wstring& arguments) {
  PROCESS_INFORMATION pi = {};
  if (CeCreateProcess(program.c_str(), arguments.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                      &pi)) {
    CeCloseHandle(pi.hThread);
    CeCloseHandle(pi.hProcess);
    return;
  }
  char text[80];
  std::snprintf(text, sizeof text, "CreateProcess failed\r\nwith Errorcode = 0x%08x!",
                static_cast<unsigned>(CeGetLastError()));
  Say(module, opMode, nullptr, text);
}

void RunShortcut(MModuleBase& module, int opMode, const std::wstring& path) {
  std::string command, error;
  files::ShortcutParts parts;
  if (!ReadShortcut(path, &command, &error) ||
      !files::SplitShortcutCommand(command, DeviceFileExists, &parts, &error)) {
    Say(module, opMode, nullptr, "Invalid *.lnk file\r\n" + AnsiToOem(error));
    return;
  }
  if (parts.kind == files::ShortcutParts::kNotFound) {
    Say(module, opMode, nullptr, "Not found: " + AnsiToOem(command.substr(0, command.find('?'))));
    return;
  }
  StartOnDevice(module, opMode, FromCodePage(CP_ACP, parts.program), FromCodePage(CP_ACP, parts.arguments));
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

}  // namespace

int RunCurrentFile(MModuleBase& module, int opMode) {
  // Text on the host's command line: Enter runs that, not the file.
  const HostStartupInfoA& host = ModuleHost();
  char line[1024] = {};
  if (host.HostPanelControl && host.HostPanelControl(PANEL_ACTIVE, FCTL_GETCMDLINE, line) && line[0]) return 0;
  PanelInfoA info;
  if (!GetPanel(PANEL_ACTIVE, &info) || !info.Visible || !info.PanelItems || info.CurrentItem < 0 ||
      info.CurrentItem >= info.ItemsNumber)
    return 0;
  const PluginPanelItemA& item = info.PanelItems[info.CurrentItem];
  if (IsDots(item) || (item.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  std::wstring name = module.itemName(item);
  size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos) return 0;
  std::wstring extension = Lower(name.substr(dot));

  std::wstring path;
  if (!ItemDevicePath(module, item, opMode, &path)) return 1;
  if (extension == L".exe") {
    StartOnDevice(module, opMode, path, L"");
  } else if (extension == L".lnk") {
    RunShortcut(module, opMode, path);
  } else if (extension == L".cab") {
    std::string question = std::string(item.FileName) + "\r\n \r\nDo You want to install this cab?\r\n ";
    if (Say(module, opMode, nullptr, question, "&Yes\n&Cancel", false) == 0)
      StartOnDevice(module, opMode, kInstaller, L"\"" + path + L"\"");
  } else {
    Say(module, opMode, nullptr, "Associations not supported.\nYet. Sorry...", "&OK", false);
  }
  return 1;
}

}  // namespace handrel
