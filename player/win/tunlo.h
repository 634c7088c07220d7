// Tunlo's Win32 shell: the plugin's module-wide state and the pieces its source files share.
//
// Threads: the host's thread runs every entry and every dialog event; the RefreshThread only
// sends the dialog its tick through HostSendDlgMessage; the audio library's thread runs the sync
// callbacks, which touch nothing but atomics (the current channel, its length, the end flag) and
// the library itself. Everything else is guarded by Player::lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "host/kel_plugin.h"
#include "host/kel_plugin_support.h"
#include "player/bass/bass.h"
#include "player/bass/tags.h"
#include "player/core/player_core.h"
#include "player/core/settings.h"

namespace tunlo {

// Message numbers of the language file.
enum Msg : int {
  MTitle = 0,
  MStartFailed = 2,
  MExternalFailed = 3,
  MExternalButton = 4,
  MPlayArgsTitle = 5,
  MAddArgsTitle = 6,
  MArgsPrompt = 7,
  MProgramPrompt = 8,
  MProgramTitle = 9,
  MMenuTitle = 10,
  MEditAddArgs = 11,
  MEditPlayArgs = 12,
  MEditProgram = 13,
  MActionPlay = 14,
  MActionAdd = 15,
  MIntroButton = 16,
  MAutonextButton = 17,
  MOk = 18,
  MCannotPlay = 19,
};

// Dialog items.
enum Item : int {
  IFrame = 0, ITime, IPosition, IPrev, IPlay, INext, IStop, IIntro, IAutonext, IVolume, IBalance,
  IInfo, ITitle, IEmpty, IMarker, IMeter, ISize, IExternal, kItemCount
};

constexpr int kChannelSlots = 50;
constexpr int kMaxAddons = 50;
constexpr int kTickMs = 33;
constexpr int kOffsetDisplayTicks = 60;

struct ChannelSlot {
  DWORD handle = 0;
  int kind = 0;  // 1 file stream, 3 module music
};

struct TrackInfo {
  uint64_t lengthBytes = 0;
  double duration = 0;
  std::wstring infoLine;
  std::wstring title;
  std::wstring path;
  uint32_t frequency = 0, channels = 0, ctype = 0;
};

struct PanelEntry {
  std::wstring name;
  uint32_t attributes = 0;
  uint64_t size = 0;
  bool selected = false;
  bool IsDirectory() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

class Player {
 public:
  // ---- Module-wide state (plugin.cpp) ----
  kel::HostCopy host;
  std::wstring settingsKey;
  HPLUGIN addons[kMaxAddons] = {};
  int addonCount = 0;
  bool libraryStarted = false;
  std::wstring pendingPath;
  bool reentry = false;
  Settings settings;
  std::wstring actionLabels[2];

  const wchar_t* Text(int id) const { return host.Msg(id); }
  void ErrorMessage(int msgId, long long code);
  void RunExternal(int action);
  void LoadSettingsFromRegistry();
  void SaveSettingsToRegistry();
  int RunDialog(int param);  // the PlayerDialog; returns when it closed

  // ---- Engine (engine.cpp) ----
  std::recursive_mutex lock;
  ChannelSlot table[kChannelSlots];
  std::atomic<DWORD> channel{0};
  int channelKind = 0;
  std::atomic<uint64_t> lengthBytes{0};
  std::atomic<bool> ended{false};
  HSYNC endSync = 0;
  HSYNC introSyncs[3] = {};
  TrackInfo track;
  bool playing = false, stopped = true, restart = true;
  int trackFade = 0, fadeInForce = 0;
  int noFadeMoves = 0;  // moves without fade under way
  float volume = 0.5f, balance = 0;
  int startIndex = 0;  // into kStartOffsets

  void ClearTable();
  bool Register(DWORD handle, int kind);
  void FreeChannel(DWORD handle, int kind);
  // Opens a file into a new channel (not yet current). Returns 0 when not playable.
  DWORD OpenFile(const std::wstring& path, uint64_t fileSize, int* kind, TrackInfo* info);
  void SwapIn(DWORD handle, int kind, TrackInfo info);
  void CloseChannel();
  void SetIntroSyncs();
  void RemoveIntroSyncs();
  void InstallEndSync();
  void RemoveEndSync();
  // -1 end of the panel, 0 not opened (directory or unplayable), 1 opened.
  int TryPanelItem(int step, bool* found);
  int Move(int step, bool keepFade, bool autoplay);
  int OpenFirst(int param, bool* itemFound);
  void TogglePlay();
  bool FadeOutAndPause(int t);
  void Stop();
  void SeekPercent(double percent);
  bool SeekSeconds(double seconds);
  bool SetVolumePlace(int place);
  bool SetBalancePlace(int place);
  void EndOfTrack();

  // Panel access through the host.
  bool PanelInfo(PanelInfoW* info);
  std::optional<PanelEntry> PanelItem(int index);
  std::wstring PanelDir();
  void PanelCursor(int index, int top);
  int FindPanelItem(const std::wstring& name);

  // ---- Dialog (dialog.cpp) ----
  KelDialogHandle dlg = nullptr;
  bool dialogOpen = false, closing = false;
  int left = 0, top = 0;      // the dialog's top-left corner on the console
  int normalLeft = 0;         // its column at the normal size
  int width = 70, height = 10;
  bool maximized = false, collapsed = false;
  int maxWidth = 70;
  int posWidth = 55;  // position slider buffer length
  double posPlace = 1;
  int volPlace = 8, balPlace = 6;
  uint32_t levelLeft = 0, levelRight = 0;
  bool blinkVisible = true;
  Blink blink;
  TitleScroll scroll;
  int offsetTicks = 0;
  int rows[kItemCount] = {};  // each item's row as laid out now
  int cols[kItemCount] = {};
  std::wstring texts[kItemCount];
  HANDLE refreshEvent = nullptr, refreshThread = nullptr;
  bool closeAfterMove = false;

  void SetText(int item, const std::wstring& text);
  void Redraw();
  void ShowPlayGlyph(bool pause);
  void UpdateLabels();
  void UpdateTitle();
  void UpdateSliders();
  void Layout();
  void ApplyVisibleLines(bool collapse);
  void Tick();
  bool Key(uint32_t key);
  bool MouseClick(int item, const MOUSE_EVENT_RECORD* mouse);
  bool ButtonClick(int item);
  void ExternalMenu();
  void ExternalAction();
  void SelectCurrent();
  void ToggleDemo();
  void StartOffsetDisplay();
  void ToggleMaximized();
  void MovePosition(double cells);
  void StartRefresh();
  void StopRefresh();
  uint16_t Attr(int index) const { return settings.colors[static_cast<size_t>(index)]; }
  intptr_t ItemColor(int item, intptr_t given);
};

extern Player g_player;

// Texts between the core's UTF-16 and the Win32 wide strings.
inline std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string U(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
inline std::wstring Ascii(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// The report of an exception that reached an entry, a callback or the refresh thread.
void ReportException(const char* where, const char* what);

}  // namespace tunlo
