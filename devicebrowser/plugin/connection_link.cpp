// The panel's link to the connection and settings libraries: the panel as their connection owner,
// information-line sink and module-configuration host.
#include <cstring>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/plugin/connection/connection.h"
#include "devicebrowser/plugin/handrel.h"
#include "devicebrowser/plugin/settings/settings.h"

namespace handrel {

struct PanelLink final : ConnectionOwner, InfoLineSink {
  PanelLink(DevicePanel& p, HMODULE self, uint64_t stamp) : panel(p), connection(*this, self, stamp) {}
  bool LoadModules() override { return DiscoverModules(panel); }
  int ApplyStartDirectory() override {
    return handrel::ApplyStartDirectory(panel, panel.OpenFrom, panel.StartCommand) ? 1 : 0;
  }
  void ClearInfoLines() override { handrel::ClearInfoLines(panel); }
  void RefreshActiveModuleInfo() override { panel.Active().RefreshDeviceInformation(); }
  const char* MessageTitle() override {
    title = panel.Active().Title();
    return title.c_str();
  }
  void AddInfoLine(const char* text, const char* data) override { handrel::AddInfoLine(panel, text, data); }

  DevicePanel& panel;
  DeviceConnection connection;
  std::string title;
};

namespace {

// Module configuration over the panel registry.
class ConfigHost : public ModuleConfigHost {
 public:
  bool BeginModuleConfig() override {
    loadOnly_ = nullptr;
    panel_ = g_panels.empty() ? nullptr : g_panels.front();
    if (!panel_) panel_ = loadOnly_ = OpenDevicePanel(-1, 0);
    return panel_ != nullptr;
  }
  int ModuleCount() override { return panel_ ? static_cast<int>(panel_->Modules.size()) - 1 : 0; }
  const char* ModuleTitle(int index) override {
    title_ = panel_->Modules[static_cast<size_t>(index) + 1]->Title();
    return title_.c_str();
  }
  int ActiveModuleIndex() override { return panel_ ? static_cast<int>(panel_->ActiveModule) - 1 : -1; }
  void ConfigureModule(int index) override { panel_->Modules[static_cast<size_t>(index) + 1]->Configure(); }
  void EndModuleConfig() override {
    if (loadOnly_) CloseDevicePanel(loadOnly_);
    loadOnly_ = panel_ = nullptr;
  }
  void ReloadModuleSettingsEverywhere() override {
    for (DevicePanel* p : g_panels)
      for (auto& m : p->Modules) m->ReloadSettings();
  }

 private:
  DevicePanel* panel_ = nullptr;
  DevicePanel* loadOnly_ = nullptr;
  std::string title_;
};

uint64_t Ticks(const FILETIME& t) { return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

}  // namespace

int ConfigurePlugin() {
  ConfigHost host;
  return ConfigureDialog(g_host, host);
}

void LinkSetHost(const HostStartupInfoA& host, uint32_t hostVersion) { ConsoleSetHost(&host, hostVersion); }
void LinkShowWarning(const char* title, const char* text) { ShowMessage(title, text, nullptr, 1); }

PanelLink* CreatePanelLink(DevicePanel& panel) {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&CreatePanelLink), &self);
  return new PanelLink(panel, self, Ticks(panel.PluginFileTime));
}
void DestroyPanelLink(PanelLink* link) { delete link; }

int LinkStart(DevicePanel& panel, bool loadOnly) { return panel.Link->connection.StartPanelConnection(loadOnly); }
int LinkReconnect(DevicePanel& panel) { return panel.Link->connection.Reconnect(); }
int LinkCheckInvokeLibrary(DevicePanel& panel) { return panel.Link->connection.CheckInvokeLibrary(); }
bool LinkReloadDeviceInfo(DevicePanel& panel, bool firstTime) {
  return panel.Link->connection.ReloadDeviceInfo(firstTime);
}
void LinkRefreshDeviceInfo(DevicePanel& panel) { RefreshDeviceInfo(panel.Link->connection, *panel.Link); }
void LinkCloseStatus(DevicePanel& panel) { panel.Link->connection.CloseStatus(); }
void LinkReleaseConnection(DevicePanel& panel) { panel.Link->connection.ReleaseConnection(); }
void LinkFreeLibrary(DevicePanel& panel) { panel.Link->connection.FreeLibrary(); }
bool LinkHoldsConnection(DevicePanel& panel) { return panel.Link->connection.HoldsConnection(); }
const wchar_t* LinkDeviceNameW(DevicePanel& panel) { return panel.Link->connection.DeviceNameW(); }
const char* LinkDeviceName(DevicePanel& panel) { return panel.Link->connection.DeviceName(); }
const int32_t* LinkScreenMetrics(DevicePanel& panel) { return panel.Link->connection.ScreenMetrics(); }

}  // namespace handrel
