// Tunlo's entries: start-up of the audio library and its add-ons, the menu entry and the command
// prefix, the dialog runs, the settings in the registry, messages and the external player.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/kel_firewall.h"
#include "player/win/tunlo.h"

namespace tunlo {

Player g_player;

void ReportException(const char* where, const char* what) {
  kel::MessageReport{&g_player.host, L"Tunlo"}(where, what);
}

void Player::ErrorMessage(int msgId, long long code) {
  if (!host.info.HostMessage) return;
  std::wstring number = std::to_wstring(code);
  const wchar_t* items[] = {Text(MTitle), L"", Text(msgId), number.c_str(), L"", L"\x01", Text(MOk)};
  host.info.HostMessage(host.info.ModuleNumber, FMSG_WARNING | FMSG_LEFTALIGN, L"Contents", items, 7, 1);
}

void Player::RunExternal(int action) {
  const std::u16string& templ = action == 0 ? settings.extPlayerPlay : settings.extPlayerAddToPlaylist;
  if (settings.extPlayerPath.empty() || templ.empty() || track.path.empty()) return;
  std::wstring args = W(FillTemplate(templ, U(track.path)));
  std::wstring program = W(settings.extPlayerPath);
  auto expand = [](const std::wstring& text) {
    std::vector<wchar_t> out(32768);
    DWORD n = ExpandEnvironmentStringsW(text.c_str(), out.data(), static_cast<DWORD>(out.size()));
    return n > 0 && n <= out.size() ? std::wstring(out.data()) : text;
  };
  HINSTANCE r = ShellExecuteW(nullptr, L"open", expand(program).c_str(), expand(args).c_str(), L".", SW_SHOWNOACTIVATE);
  intptr_t code = reinterpret_cast<intptr_t>(r);
  if (code <= 32) ErrorMessage(MExternalFailed, code);
}

// ---- Settings in the registry -------------------------------------------------------------------

namespace {

class RegistryStore : public SettingsStore {
 public:
  explicit RegistryStore(const std::wstring& key) : key_(key) {}
  ~RegistryStore() override {
    if (read_) RegCloseKey(read_);
    if (write_) RegCloseKey(write_);
  }
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  std::optional<RawValue> Read(const char* name, bool eightBit) override {
    if (!read_ && RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &read_) != ERROR_SUCCESS) read_ = nullptr;
    if (!read_) return std::nullopt;
    DWORD type = 0, size = 0;
    LONG r = eightBit ? RegQueryValueExA(read_, name, nullptr, &type, nullptr, &size)
                      : RegQueryValueExW(read_, WideName(name).c_str(), nullptr, &type, nullptr, &size);
    if (r != ERROR_SUCCESS || size > (1u << 20)) return std::nullopt;
    RawValue v;
    v.bytes.resize(size);
    r = eightBit ? RegQueryValueExA(read_, name, nullptr, &type, v.bytes.data(), &size)
                 : RegQueryValueExW(read_, WideName(name).c_str(), nullptr, &type, v.bytes.data(), &size);
    if (r != ERROR_SUCCESS) return std::nullopt;
    v.bytes.resize(size);
    v.type = static_cast<ValueType>(type);
    return v;
  }

  void Write(const char* name, const RawValue& value, bool eightBit) override {
    if (!write_ && RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &write_,
                                   nullptr) != ERROR_SUCCESS)
      write_ = nullptr;
    if (!write_) return;
    DWORD size = static_cast<DWORD>(value.bytes.size());
    if (eightBit) RegSetValueExA(write_, name, 0, static_cast<DWORD>(value.type), value.bytes.data(), size);
    else RegSetValueExW(write_, WideName(name).c_str(), 0, static_cast<DWORD>(value.type), value.bytes.data(), size);
  }

 private:
  static std::wstring WideName(const char* name) { return std::wstring(name, name + strlen(name)); }
  std::wstring key_;
  HKEY read_ = nullptr, write_ = nullptr;
};

}  // namespace

void Player::LoadSettingsFromRegistry() {
  RegistryStore store(settingsKey);
  settings = LoadSettings(store);
}

void Player::SaveSettingsToRegistry() {
  RegistryStore store(settingsKey);
  SaveSettings(store, settings);
}

// ---- Start-up ------------------------------------------------------------------------------------

namespace {

void StartLibrary(Player& p) {
  if (HIWORD(BASS_GetVersion()) != BASSVERSION) {
    p.ErrorMessage(MStartFailed, BASS_ERROR_VERSION);
    return;
  }
  BASS_INFO info{};
  BASS_GetInfo(&info);
  if (!BASS_Init(-1, 48000, 0, nullptr, nullptr)) {
    int code = BASS_ErrorGetCode();
    if (code != BASS_ERROR_ALREADY) {
      p.ErrorMessage(MStartFailed, code);
      return;
    }
  }
  p.libraryStarted = true;
  // Add-ons: every "*.dll" of the "bassplugs" folder beside the plugin.
  std::wstring module = p.host.info.ModuleName ? p.host.info.ModuleName : L"";
  size_t slash = module.find_last_of(L'\\');
  std::wstring folder = (slash == std::wstring::npos ? std::wstring(L".") : module.substr(0, slash)) + L"\\bassplugs";
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((folder + L"\\*.dll").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      std::wstring path = folder + L"\\" + fd.cFileName;
      HPLUGIN h = BASS_PluginLoad(reinterpret_cast<const char*>(path.c_str()), BASS_UNICODE);
      if (h) p.addons[p.addonCount++] = h;
    } while (p.addonCount < kMaxAddons && FindNextFileW(find, &fd));
    FindClose(find);
  }
  p.ClearTable();
}

}  // namespace

}  // namespace tunlo

using tunlo::g_player;
using tunlo::ReportException;

extern "C" {

int KEL_API GetMinKelVersionW() { return static_cast<int>(KelMakeVersion(2, 0, 1579)); }

void KEL_API SetStartupInfoW(const HostStartupInfo* info) {
  kel::FirewallVoid("SetStartupInfoW", [&] {
    g_player.host.Take(info);
    std::wstring key = g_player.host.SettingsKey(L"Tunlo");
    if (key.size() > 260) key.resize(260);
    g_player.settingsKey = key;
    g_player.actionLabels[0] = g_player.Text(tunlo::MActionPlay);
    g_player.actionLabels[1] = g_player.Text(tunlo::MActionAdd);
    tunlo::StartLibrary(g_player);
  }, ReportException);
}

void KEL_API GetPluginInfoW(PluginInfoW* info) {
  kel::FirewallVoid("GetPluginInfoW", [&] {
    static const wchar_t* menu[1];
    menu[0] = g_player.Text(tunlo::MTitle);
    info->StructSize = sizeof(PluginInfoW);
    info->Flags = 0;
    info->PluginMenuStrings = menu;
    info->PluginMenuStringsNumber = 1;
    info->PluginConfigStringsNumber = 0;
    info->CommandPrefix = L"tunlo";
  }, ReportException);
}

HANDLE KEL_API OpenPluginW(int openFrom, intptr_t item) {
  return kel::Firewall("OpenPluginW", INVALID_HANDLE_VALUE, [&] {
    g_player.reentry = false;
    g_player.pendingPath.clear();
    if (openFrom == OPEN_COMMANDLINE && item) g_player.pendingPath = reinterpret_cast<const wchar_t*>(item);
    g_player.RunDialog(0);
    return INVALID_HANDLE_VALUE;
  }, ReportException);
}

HANDLE KEL_API OpenFilePluginW(const wchar_t* name, const unsigned char*, int) {
  return kel::Firewall("OpenFilePluginW", INVALID_HANDLE_VALUE, [&] {
    if (!g_player.reentry) return INVALID_HANDLE_VALUE;
    g_player.reentry = false;
    g_player.pendingPath = name ? name : L"";
    g_player.RunDialog(1);
    return INVALID_HANDLE_VALUE;
  }, ReportException);
}

int KEL_API ConfigureW(int) { return 0; }

void KEL_API ExitKELW() {
  kel::FirewallVoid("ExitKELW", [&] {
    for (int i = 0; i < g_player.addonCount; ++i) BASS_PluginFree(g_player.addons[i]);
    g_player.addonCount = 0;
    if (g_player.libraryStarted) BASS_Free();
    g_player.libraryStarted = false;
  }, ReportException);
}

}  // extern "C"
