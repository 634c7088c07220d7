// Lofter: the host's entries and the Win32 side of the launcher. The host calls OpenPluginW with
// the text typed after the command prefix; everything else is lofter::HandleCommand.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "host/kel_firewall.h"
#include "host/kel_plugin.h"
#include "host/kel_plugin_support.h"
#include "launcher/core/launch.h"

namespace {

using lofter::Text;

kel::HostCopy gHost;
std::unique_ptr<lofter::Settings> gSettings;

const wchar_t* W(const Text& t) { return reinterpret_cast<const wchar_t*>(t.c_str()); }
Text T(const wchar_t* s) { return s ? Text(reinterpret_cast<const char16_t*>(s)) : Text(); }

class FileReader : public lofter::ByteReader {
 public:
  explicit FileReader(const Text& path)
      : file_(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~FileReader() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    if (file_ == INVALID_HANDLE_VALUE) return 0;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return 0;
    DWORD got = 0;
    if (!ReadFile(file_, buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
    return got;
  }

 private:
  HANDLE file_;
};

class RegistrySettings : public lofter::SettingsStore {
 public:
  explicit RegistrySettings(const std::wstring& path) {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~RegistrySettings() override {
    if (key_) RegCloseKey(key_);
  }
  std::optional<uint32_t> ReadDword(const char16_t* name) override {
    DWORD value = 0, type = 0, size = sizeof value;
    if (!key_ || RegQueryValueExW(key_, reinterpret_cast<const wchar_t*>(name), nullptr, &type,
                                  reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
      return std::nullopt;
    return value;
  }
  std::optional<Text> ReadString(const char16_t* name, size_t maxChars) override {
    std::vector<wchar_t> buffer(maxChars + 2, 0);
    DWORD type = 0, size = static_cast<DWORD>((maxChars + 1) * sizeof(wchar_t));
    if (!key_ || RegQueryValueExW(key_, reinterpret_cast<const wchar_t*>(name), nullptr, &type,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
      return std::nullopt;
    // A stored value need not carry its terminator: the text ends at the first zero or the data.
    size_t chars = size / sizeof(wchar_t);
    size_t n = 0;
    while (n < chars && buffer[n]) ++n;
    if (n > maxChars) return std::nullopt;
    return Text(reinterpret_cast<const char16_t*>(buffer.data()), n);
  }

 private:
  HKEY key_ = nullptr;
};

class Win32Launch : public lofter::LaunchSystem {
 public:
  Text Message(int id) override { return T(gHost.Msg(id)); }

  Text ExpandEnvironment(const Text& text) override {
    DWORD need = ExpandEnvironmentStringsW(W(text), nullptr, 0);
    if (need == 0) return text;
    std::vector<wchar_t> out(need + 1);
    DWORD got = ExpandEnvironmentStringsW(W(text), out.data(), need + 1);
    if (got == 0 || got > need + 1) return text;
    return T(out.data());
  }

  std::optional<Text> Environment(const Text& name) override {
    DWORD need = GetEnvironmentVariableW(W(name), nullptr, 0);
    if (need == 0) return std::nullopt;
    std::vector<wchar_t> out(need + 1);
    DWORD got = GetEnvironmentVariableW(W(name), out.data(), need + 1);
    if (got == 0 || got > need) return std::nullopt;
    return Text(reinterpret_cast<const char16_t*>(out.data()), got);
  }

  Text PanelFolder() override { return T(gHost.PanelDirectory().c_str()); }

  std::optional<Text> SearchPath(const Text* pathList, const Text& file, const Text& extension) override {
    const wchar_t* list = pathList ? W(*pathList) : nullptr;
    DWORD need = SearchPathW(list, W(file), W(extension), 0, nullptr, nullptr);
    if (need == 0) return std::nullopt;
    std::vector<wchar_t> out(need + 1);
    DWORD got = SearchPathW(list, W(file), W(extension), need + 1, out.data(), nullptr);
    if (got == 0 || got > need) return std::nullopt;
    return T(out.data());
  }

  std::optional<Text> RegisteredPath(bool machine, const Text& subkey) override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, W(subkey), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
      return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<Text> result;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size <= 65536) {
      std::vector<wchar_t> value(size / sizeof(wchar_t) + 1, 0);
      if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) == ERROR_SUCCESS) {
        value[std::min<size_t>(size / sizeof(wchar_t), value.size() - 1)] = 0;
        Text text = T(value.data());
        result = type == REG_EXPAND_SZ ? ExpandEnvironment(text) : text;
      }
    }
    RegCloseKey(key);
    return result;
  }

  int ExecutableKindOf(const Text& path) override {
    FileReader file(path);
    return lofter::ExecutableKind(file);
  }

  void ShowUserScreen() override {
    if (gHost.info.HostPanelControl) gHost.info.HostPanelControl(PANEL_ACTIVE, FCTL_SETUSERSCREEN, 0, nullptr);
  }
  void RestorePanels() override {
    if (gHost.info.HostPanelControl) gHost.info.HostPanelControl(PANEL_ACTIVE, FCTL_GETUSERSCREEN, 0, nullptr);
  }
  void RedrawAll() override {
    if (gHost.info.HostAdvControl) gHost.info.HostAdvControl(gHost.info.ModuleNumber, ACTL_REDRAWALL, 0, nullptr);
  }

  std::optional<uint32_t> SetConsoleInputMode(uint32_t mode) override {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD old = 0;
    if (!GetConsoleMode(in, &old)) return std::nullopt;
    SetConsoleMode(in, mode);
    return old;
  }
  void RestoreConsoleInputMode(uint32_t mode) override { SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), mode); }

  bool RunAndWait(const Text& commandLine, const Text& folder) override {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                        folder.empty() ? nullptr : W(folder), &si, &pi))
      return false;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
  }

  void SaveScreen() override {
    if (gHost.info.HostSaveScreen) screen_ = gHost.info.HostSaveScreen(-1, -1, -1, -1);
  }
  void RestoreScreen() override {
    if (gHost.info.HostRestoreScreen && screen_) gHost.info.HostRestoreScreen(screen_);
    screen_ = nullptr;
  }

  intptr_t ShellExecute(const Text& file, const Text& parameters, const Text& folder, int showMode) override {
    HINSTANCE h = ShellExecuteW(nullptr, nullptr, W(file), parameters.empty() ? nullptr : W(parameters),
                                folder.empty() ? nullptr : W(folder), showMode);
    return reinterpret_cast<intptr_t>(h);
  }

  void Box(uint32_t flags, const Text& helpTopic, const std::vector<Text>& lines) override {
    if (!gHost.info.HostMessage) return;
    std::vector<const wchar_t*> items;
    for (const Text& l : lines) items.push_back(W(l));
    gHost.info.HostMessage(gHost.info.ModuleNumber, flags, helpTopic.empty() ? nullptr : W(helpTopic), items.data(),
                           static_cast<int>(items.size()), 0);
  }

 private:
  HANDLE screen_ = nullptr;
};

}  // namespace

extern "C" {

int KEL_API GetMinKelVersionW() { return static_cast<int>(KelMakeVersion(2, 0, 1160)); }

void KEL_API SetStartupInfoW(const HostStartupInfo* info) {
  kel::FirewallVoid(
      "SetStartupInfoW",
      [&] {
        if (!info) return;
        gHost.Take(info);
        RegistrySettings store(gHost.SettingsKey(gHost.Msg(lofter::kMsgName)));
        gSettings = std::make_unique<lofter::Settings>(lofter::LoadSettings(store));
      },
      kel::MessageReport{&gHost, L"Lofter"});
}

void KEL_API GetPluginInfoW(PluginInfoW* info) {
  kel::FirewallVoid(
      "GetPluginInfoW",
      [&] {
        if (!info) return;
        *info = PluginInfoW{};
        info->StructSize = sizeof(PluginInfoW);
        info->Flags = PF_DISABLEPANELS;
        info->CommandPrefix = gSettings ? W(gSettings->prefix) : L"lf";
      },
      kel::MessageReport{&gHost, L"Lofter"});
}

HANDLE KEL_API OpenPluginW(int openFrom, intptr_t item) {
  return kel::Firewall(
      "OpenPluginW", INVALID_HANDLE_VALUE,
      [&]() -> HANDLE {
        if (openFrom != OPEN_COMMANDLINE || !gHost.Ready()) return INVALID_HANDLE_VALUE;
        const wchar_t* text = reinterpret_cast<const wchar_t*>(item);
        Win32Launch sys;
        lofter::HandleCommand(sys, gSettings ? *gSettings : lofter::Settings{}, T(text));
        return INVALID_HANDLE_VALUE;
      },
      kel::MessageReport{&gHost, L"Lofter"});
}

void KEL_API ExitKELW() {
  kel::FirewallVoid("ExitKELW", [&] { gSettings.reset(); }, kel::QuietReport{});
}

}  // extern "C"
