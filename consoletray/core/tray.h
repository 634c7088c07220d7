// Perchlet's logic: finding the host's console window by a temporary title, the tray thread's
// decisions (hide a minimised console, show the icon, refresh its tip, bring the window back on
// a click), the icon file rule and the one setting. Everything it does to the system goes
// through the seams below; the plugin implements them over Win32, the tests over fakes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace perchlet {

inline constexpr const char* kName = "Perchlet";          // menu title, settings key, config item
inline constexpr const char* kWindowClass = "MySpecWin";  // the tray thread's hidden window
inline constexpr const char* kIconResource = "ICON_0";
inline constexpr uint32_t kTimerPeriodMs = 100;
inline constexpr uint32_t kTipRefreshMs = 1000;           // the tip follows the title this often
inline constexpr size_t kTipMaxChars = 63;                // the first tray record's 64-byte tip
inline constexpr size_t kTitleMaxChars = 1024;
inline constexpr int kSearchRounds = 10;                  // enumerations of the title search
inline constexpr uint32_t kSearchWaitMs = 100;
inline constexpr uint32_t kCallbackMessage = 0x400;       // the first user message
inline constexpr uint32_t kLeftButtonUp = 0x202;
inline constexpr uint32_t kIconId = 1;
inline constexpr uint32_t kExitWaitMs = 200;

// The tip: the title up to its first zero, cut to 63 characters.
std::string CutTip(const std::string& title);

// The icon file tried when the host's executable has no icon: the executable's path with its last
// three characters replaced by "ico". Nothing for a path shorter than three characters.
std::optional<std::string> IconFileFor(const std::string& executable);

// ---- Finding the console window -------------------------------------------------------------

// What the title search needs. Window handles are opaque numbers, 0 for none.
class ConsoleFinder {
 public:
  virtual ~ConsoleFinder() = default;
  virtual std::string ReadTitle(size_t maxChars) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual uintptr_t FindTopLevelWindow(const std::string& exactText) = 0;  // the first whose text is this
  virtual void Wait(uint32_t ms) = 0;
  virtual uint32_t ProcessId() = 0;
  virtual uint32_t TickCount() = 0;
};

// The temporary title: process id and tick count as "%d-%d" (both as signed 32-bit numbers).
std::string SearchTitle(uint32_t processId, uint32_t tickCount);

// Sets a title of its own, takes the first top-level window showing it (at most ten enumerations,
// the title set again and 100 ms between them), restores the title. Returns the window or 0.
uintptr_t FindConsoleWindow(ConsoleFinder& system);

// ---- The tray thread ------------------------------------------------------------------------

// The words the host's thread and the tray thread share. Each is written by one side and read by
// the other; no other locking.
struct Shared {
  std::atomic<uintptr_t> console{0};
  std::atomic<uint32_t> iconShown{0};
  std::atomic<uint32_t> elapsedMs{0};
  std::atomic<uint32_t> disable{0};
  std::atomic<uint32_t> exit{0};
};

// What the tray thread does to the console window and the notification area.
class TraySystem {
 public:
  virtual ~TraySystem() = default;
  virtual bool ConsoleVisible(uintptr_t window) = 0;
  virtual bool ConsoleMinimised(uintptr_t window) = 0;
  virtual void HideConsole(uintptr_t window) = 0;     // no move, no resize, no z-order change, no activation
  virtual void RestoreConsole(uintptr_t window) = 0;  // shown, restored, shown normally, in front
  virtual void ShowConsole(uintptr_t window) = 0;     // shown as it is, without activation
  virtual std::string ConsoleTitle() = 0;
  virtual void AddIcon(const std::string& tip) = 0;
  virtual void ModifyIcon(const std::string& tip) = 0;
  virtual void RemoveIcon() = 0;
  // An exception that reached one of the tray thread's entries (what: its text, maybe empty).
  virtual void Report(const char* entry, const char* what) = 0;
};

// The tray thread's decisions. Every entry is guarded: an exception from the system is reported
// and the entry returns as if the step did nothing.
class Tray {
 public:
  Tray(Shared& shared, TraySystem& system) : shared_(shared), system_(system) {}

  // After each message of the loop. False: leave the loop (the exit flag is set).
  bool AfterMessage() noexcept;
  // The 100 ms timer.
  void OnTick() noexcept;
  // The icon's callback message with its mouse notification.
  void OnIconMessage(uint32_t notification) noexcept;
  // The notification area was re-created ("TaskbarCreated"): a shown icon is added again.
  void OnTaskbarCreated() noexcept;
  // Leaving the loop: a console still hidden by us is shown again, then the icon is removed.
  void OnLeave() noexcept;

 private:
  Shared& shared_;
  TraySystem& system_;
};

// ---- Settings and the configuration menu ----------------------------------------------------

struct Settings {
  uint32_t disable = 0;  // nonzero: a minimised console stays on the taskbar
};

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::optional<uint32_t> ReadDword(const char* name) = 0;  // nothing when missing or not a DWORD
  virtual bool WriteDword(const char* name, uint32_t value) = 0;
};

// One row per setting drives loading (defaults for anything missing) and saving.
struct SettingRow {
  const char* name;
  uint32_t Settings::*field;
  uint32_t defaultValue;
};
inline constexpr SettingRow kSettingRows[] = {{"Disable", &Settings::disable, 0}};

Settings LoadSettings(SettingsStore& store);
bool SaveSettings(SettingsStore& store, const Settings& settings);  // false when a value was not written

// The configuration menu: "&Enable" and "&Disable", the one matching `disable` checked.
struct MenuItem {
  const char* text;
  bool checked;
};
std::vector<MenuItem> ConfigureMenu(uint32_t disable);
// The setting after the menu answered `choice` (-1: Esc, nothing changes).
uint32_t ApplyMenuChoice(uint32_t disable, int choice);

}  // namespace perchlet
