#include "consoletray/core/tray.h"

#include "host/kel_firewall.h"

namespace perchlet {

namespace {

// The elapsed counter wraps at a multiple of the refresh period, so that the tip keeps its
// one-second rhythm when the 32-bit counter runs over (after some 49 days).
constexpr uint32_t kElapsedWrap = 4294967000u;
static_assert(kElapsedWrap % kTipRefreshMs == 0, "the wrap keeps the refresh rhythm");

// A reporter that hands an exception to the system's Report (itself guarded by the firewall).
struct ReportTo {
  TraySystem& system;
  void operator()(const char* entry, const char* what) const { system.Report(entry, what); }
};

}  // namespace

std::string CutTip(const std::string& title) {
  size_t end = title.find('\0');
  if (end == std::string::npos) end = title.size();
  return title.substr(0, end < kTipMaxChars ? end : kTipMaxChars);
}

std::optional<std::string> IconFileFor(const std::string& executable) {
  if (executable.size() < 3) return std::nullopt;
  return executable.substr(0, executable.size() - 3) + "ico";
}

std::string SearchTitle(uint32_t processId, uint32_t tickCount) {
  return std::to_string(static_cast<int32_t>(processId)) + "-" + std::to_string(static_cast<int32_t>(tickCount));
}

uintptr_t FindConsoleWindow(ConsoleFinder& system) {
  std::string saved = system.ReadTitle(kTitleMaxChars);
  std::string title = SearchTitle(system.ProcessId(), system.TickCount());
  system.SetTitle(title);
  uintptr_t found = 0;
  for (int round = 0; round < kSearchRounds; ++round) {
    if (round > 0) {
      // The console may not have shown the new title yet: set it again and give it time.
      system.SetTitle(title);
      system.Wait(kSearchWaitMs);
    }
    found = system.FindTopLevelWindow(title);
    if (found) break;
  }
  system.SetTitle(saved);
  return found;
}

// ---- Tray -----------------------------------------------------------------------------------

bool Tray::AfterMessage() noexcept {
  if (shared_.exit.load()) return false;
  kel::FirewallVoid("the tray loop", [&] {
    uintptr_t window = shared_.console.load();
    if (!window) return;  // no console window was found: nothing to watch
    if (shared_.disable.load() == 0 && system_.ConsoleMinimised(window) && system_.ConsoleVisible(window))
      system_.HideConsole(window);
    if (!system_.ConsoleVisible(window) && !shared_.iconShown.load()) {
      // Marked shown even when the notification area refused it: "TaskbarCreated" adds it then.
      shared_.iconShown.store(1);
      system_.AddIcon(CutTip(system_.ConsoleTitle()));
    }
  }, ReportTo{system_});
  return true;
}

void Tray::OnTick() noexcept {
  kel::FirewallVoid("the tray timer", [&] {
    uint32_t elapsed = shared_.elapsedMs.load() + kTimerPeriodMs;
    if (elapsed >= kElapsedWrap) elapsed = 0;
    shared_.elapsedMs.store(elapsed);
    if (shared_.iconShown.load() && elapsed % kTipRefreshMs == 0) system_.ModifyIcon(CutTip(system_.ConsoleTitle()));
  }, ReportTo{system_});
}

void Tray::OnIconMessage(uint32_t notification) noexcept {
  if (notification != kLeftButtonUp) return;
  kel::FirewallVoid("the tray window", [&] {
    system_.RemoveIcon();
    if (uintptr_t window = shared_.console.load()) system_.RestoreConsole(window);
    shared_.iconShown.store(0);
  }, ReportTo{system_});
}

void Tray::OnTaskbarCreated() noexcept {
  kel::FirewallVoid("the tray window", [&] {
    if (shared_.iconShown.load()) system_.AddIcon(CutTip(system_.ConsoleTitle()));
  }, ReportTo{system_});
}

void Tray::OnLeave() noexcept {
  kel::FirewallVoid("the tray loop", [&] {
    uintptr_t window = shared_.console.load();
    // A console hidden by us must not stay hidden with nothing left to bring it back.
    if (window && shared_.iconShown.load() && !system_.ConsoleVisible(window)) system_.ShowConsole(window);
  }, ReportTo{system_});
  kel::FirewallVoid("the tray loop", [&] { system_.RemoveIcon(); }, ReportTo{system_});
  shared_.iconShown.store(0);
}

// ---- Settings -------------------------------------------------------------------------------

Settings LoadSettings(SettingsStore& store) {
  Settings settings;
  for (const SettingRow& row : kSettingRows) settings.*row.field = store.ReadDword(row.name).value_or(row.defaultValue);
  return settings;
}

bool SaveSettings(SettingsStore& store, const Settings& settings) {
  bool all = true;
  for (const SettingRow& row : kSettingRows) all = store.WriteDword(row.name, settings.*row.field) && all;
  return all;
}

std::vector<MenuItem> ConfigureMenu(uint32_t disable) {
  return {{"&Enable", disable == 0}, {"&Disable", disable != 0}};
}

uint32_t ApplyMenuChoice(uint32_t disable, int choice) {
  if (choice == 0) return 0;
  if (choice == 1) return 1;
  return disable;
}

}  // namespace perchlet
