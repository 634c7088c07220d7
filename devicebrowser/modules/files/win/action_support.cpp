#include "devicebrowser/modules/files/win/action_support.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/rapi_api.h"
#include "devicebrowser/modules/files/core/shortcut.h"

namespace handrel::actions {

bool GetPanel(HANDLE panel, PanelInfoA* info) {
  std::memset(info, 0, sizeof *info);
  const HostStartupInfoA& host = ModuleHost();
  return host.HostPanelControl && host.HostPanelControl(panel, FCTL_GETPANELINFO, info) != 0;
}

void RefreshPanel(HANDLE panel) {
  const HostStartupInfoA& host = ModuleHost();
  if (!host.HostPanelControl) return;
  host.HostPanelControl(panel, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
  host.HostPanelControl(panel, FCTL_REDRAWPANEL, nullptr);
}

bool IsDots(const PluginPanelItemA& item) { return std::strcmp(item.FileName, "..") == 0; }

std::string AnsiToOem(const std::string& text) { return ToCodePage(CP_OEMCP, FromCodePage(CP_ACP, text)); }
std::string OemToAnsi(const std::string& text) { return ToCodePage(CP_ACP, FromCodePage(CP_OEMCP, text)); }

int Say(MModuleBase& module, int opMode, const char* title, const std::string& text, const char* buttons,
        bool warning) {
  if (opMode & kOpSilent) return -1;
  return ShowMessage(title ? title : module.getShortName(), text.c_str(), buttons, warning ? 1 : 0);
}

bool ItemDevicePath(MModuleBase& module, const PluginPanelItemA& item, int opMode, std::wstring* path) {
  wchar_t buffer[MAX_PATH + 1] = {L'\\'};
  if (!module.deviceItemPath(item, buffer + 1, MAX_PATH, opMode, nullptr)) return false;
  *path = buffer;
  return true;
}

MModuleBase* OtherFilesPanel(MModuleBase& module) {
  if (!module.startup.GetOtherPanelModule) return nullptr;
  auto* other = reinterpret_cast<MModuleBase*>(module.startup.GetOtherPanelModule(module.owner));
  return other && other != &module && module.sameModuleAs(other) ? other : nullptr;
}

bool ReadShortcut(const std::wstring& path, std::string* command, std::string* error) {
  HANDLE file = CeCreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    char text[64];
    std::snprintf(text, sizeof text, "Can't open lnk file.\r\nLastError=0x%08x",
                  static_cast<unsigned>(CeGetLastError()));
    *error = text;
    return false;
  }
  std::vector<char> data(files::kShortcutReadMax);
  DWORD high = 0;
  DWORD low = CeGetFileSize(file, &high);
  DWORD got = 0;
  BOOL read = CeReadFile(file, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
  CeCloseHandle(file);
  if (!read || got > data.size()) {
    *error = "Can't read lnk file.";
    return false;
  }
  // A size the device cannot tell still lets the reader see whether the bytes filled its buffer.
  size_t fileSize = low == 0xFFFFFFFF || high ? static_cast<size_t>(-1) : low;
  if (fileSize < got) fileSize = got;
  return files::ParseShortcutFile(data.data(), got, fileSize, command, error);
}

bool WriteShortcut(const std::wstring& path, const std::string& command, const char* openError, std::string* error) {
  // The text goes to a new file beside the shortcut first and is copied over it only when written
  // whole: a device that fails halfway (a full store, a lost connection) leaves the old shortcut.
  std::wstring temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int n = 0; n < 10 && file == INVALID_HANDLE_VALUE; ++n) {
    temp = path + L".~" + std::to_wstring(n);
    file = CeCreateFile(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (file == INVALID_HANDLE_VALUE && CeGetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) {
    *error = openError;
    return false;
  }
  std::string text = files::ShortcutFileText(command);
  DWORD written = 0;
  BOOL ok = CeWriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ok = CeCloseHandle(file) && ok && written == text.size();
  if (ok && !CeCopyFile(temp.c_str(), path.c_str(), FALSE)) {
    CeDeleteFile(temp.c_str());
    *error = openError;
    return false;
  }
  CeDeleteFile(temp.c_str());
  if (!ok) *error = "Can't write to lnk file!";
  return ok;
}

bool DeviceFileExists(const std::string& ansiPath) {
  DWORD a = CeGetFileAttributes(FromCodePage(CP_ACP, ansiPath).c_str());
  return a != 0xFFFFFFFF && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace handrel::actions
