// The playback engine: channels of the audio library, the open track, play, pause, stop, seek,
// volume, balance, intro scan and moving through the panel.
#include <algorithm>
#include <cmath>
#include <vector>

#include "host/kel_firewall.h"
#include "player/win/tunlo.h"

namespace tunlo {

namespace {

constexpr DWORD kMusicFlags = 0x804A0400;  // Unicode, reset on seek, stop on backward jump, prescan, ramping
constexpr uint64_t kAllOnes = ~static_cast<uint64_t>(0);

// Intro-scan notification i: jump to just before the next third of the track. Runs on the
// library's thread; reads only the atomics and the library.
void CALLBACK IntroSync(HSYNC, DWORD ch, DWORD, void* user) {
  kel::FirewallVoid("intro-scan notification", [&] {
    Player& p = g_player;
    if (ch != p.channel.load()) return;
    int index = static_cast<int>(reinterpret_cast<intptr_t>(user));
    uint64_t half = BASS_ChannelSeconds2Bytes(ch, 0.5);
    if (half == kAllOnes) half = 0;
    uint64_t pos = BASS_ChannelGetPosition(ch, BASS_POS_BYTE);
    if (pos == kAllOnes) return;
    if (auto target = IntroJump(index, p.lengthBytes.load(), half, pos))
      BASS_ChannelSetPosition(ch, *target, BASS_POS_BYTE);
  }, ReportException);
}

// The end of the track: the refresh tick, on the host's thread, does the rest.
void CALLBACK EndSync(HSYNC, DWORD ch, DWORD, void*) {
  kel::FirewallVoid("end-of-track notification", [&] {
    if (ch == g_player.channel.load()) g_player.ended.store(true);
  }, ReportException);
}

double Seconds(DWORD ch, uint64_t bytes) {
  double s = BASS_ChannelBytes2Seconds(ch, bytes);
  return std::isfinite(s) && s > 0 ? s : 0;
}

}  // namespace

// ---- Channel table ------------------------------------------------------------------------------

void Player::ClearTable() {
  for (auto& slot : table) slot = ChannelSlot{};
}

bool Player::Register(DWORD handle, int kind) {
  if (!handle || (kind != 1 && kind != 3)) return false;
  for (auto& slot : table)
    if (slot.handle == 0) {
      slot = ChannelSlot{handle, kind};
      return true;
    }
  return false;
}

void Player::FreeChannel(DWORD handle, int kind) {
  if (!handle) return;
  for (auto& slot : table)
    if (slot.handle == handle) {
      if (slot.kind == 3) BASS_MusicFree(handle);
      else BASS_StreamFree(handle);
      slot = ChannelSlot{};
      return;
    }
  // A stream of kind 2 (not a plain file) is kept out of the table; it is freed here all the same.
  if (kind == 2) BASS_StreamFree(handle);
}

// ---- Opening a file ----------------------------------------------------------------------------

DWORD Player::OpenFile(const std::wstring& path, uint64_t fileSize, int* kind, TrackInfo* info) {
  if (!libraryStarted) return 0;
  const void* name = path.c_str();
  DWORD h = BASS_StreamCreateFile(FALSE, name, 0, 0, BASS_UNICODE);
  if (h) {
    *kind = BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD) == kAllOnes ? 1 : 2;
    Register(h, *kind);
  } else {
    h = BASS_MusicLoad(FALSE, name, 0, 0, kMusicFlags, 0);
    if (!h) return 0;
    *kind = 3;
    Register(h, 3);
  }
  TrackInfo t;
  t.path = path;
  uint64_t length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
  t.lengthBytes = length == kAllOnes ? 0 : length;
  t.duration = Seconds(h, t.lengthBytes);
  BASS_CHANNELINFO ci{};
  if (BASS_ChannelGetInfo(h, &ci)) {
    t.frequency = ci.freq;
    t.channels = ci.chans;
    t.ctype = ci.ctype;
  }
  t.infoLine = Ascii(InfoLine(FormatName(t.ctype), t.frequency, t.channels, fileSize, t.duration));
  const char* tag = TAGS_Read(h, settings.tagsTemplate.c_str());
  t.title = tag ? W(FromUtf8(tag)) : std::wstring();
  if (t.title.empty()) t.title = W(NameOfPath(U(path)));
  *info = std::move(t);
  return h;
}

void Player::SwapIn(DWORD handle, int kind, TrackInfo info) {
  RemoveIntroSyncs();
  RemoveEndSync();
  lengthBytes.store(info.lengthBytes);
  DWORD old = channel.exchange(handle);
  int oldKind = channelKind;
  channelKind = kind;
  FreeChannel(old, oldKind);
  ended.store(false);
  track = std::move(info);
  trackFade = FadeTimeMs(track.duration);
  // A switch without fade keeps the fade off until it is over, the new track's start included.
  fadeInForce = noFadeMoves > 0 ? 0 : trackFade;
  playing = false;
  stopped = true;
  restart = true;
  if (settings.demoMode) SetIntroSyncs();
  if (dialogOpen) {
    UpdateTitle();
    UpdateSliders();
  }
}

void Player::CloseChannel() {
  RemoveIntroSyncs();
  RemoveEndSync();
  DWORD old = channel.exchange(0);
  FreeChannel(old, channelKind);
  channelKind = 0;
  lengthBytes.store(0);
}

// ---- Notifications ------------------------------------------------------------------------------

void Player::SetIntroSyncs() {
  RemoveIntroSyncs();
  DWORD ch = channel.load();
  if (!ch) return;
  uint64_t start = BASS_ChannelSeconds2Bytes(ch, kStartOffsets[startIndex]);
  uint64_t fragment = BASS_ChannelSeconds2Bytes(ch, kFragmentSeconds);
  if (start == kAllOnes || fragment == kAllOnes) return;
  auto marks = IntroMarks(track.lengthBytes, start, fragment);
  for (size_t i = 0; i < marks.size() && i < 3; ++i)
    introSyncs[i] = BASS_ChannelSetSync(ch, BASS_SYNC_POS, marks[i], IntroSync, reinterpret_cast<void*>(i));
}

void Player::RemoveIntroSyncs() {
  DWORD ch = channel.load();
  for (auto& s : introSyncs) {
    if (s && ch) BASS_ChannelRemoveSync(ch, s);
    s = 0;
  }
}

void Player::InstallEndSync() {
  RemoveEndSync();
  DWORD ch = channel.load();
  if (ch) endSync = BASS_ChannelSetSync(ch, BASS_SYNC_END, 0, EndSync, dlg);
}

void Player::RemoveEndSync() {
  DWORD ch = channel.load();
  if (endSync && ch) BASS_ChannelRemoveSync(ch, endSync);
  endSync = 0;
}

// ---- Playing ------------------------------------------------------------------------------------

void Player::TogglePlay() {
  DWORD ch = channel.load();
  if (!ch) return;
  playing = !playing;
  stopped = false;
  if (playing) {
    bool started = settings.demoMode && SeekSeconds(kStartOffsets[startIndex]);
    if (!started) {
      BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, fadeInForce > 0 ? 0.0f : volume);
      BASS_ChannelPlay(ch, restart ? TRUE : FALSE);
      if (fadeInForce > 0) BASS_ChannelSlideAttribute(ch, BASS_ATTRIB_VOL, volume, static_cast<DWORD>(fadeInForce));
    }
    ShowPlayGlyph(true);
    restart = false;
    InstallEndSync();
  } else {
    RemoveEndSync();
    FadeOutAndPause(-1);
    ShowPlayGlyph(false);
  }
  Redraw();
}

bool Player::FadeOutAndPause(int t) {
  DWORD ch = channel.load();
  if (!ch) return false;
  if (t < 0) t = fadeInForce;
  if (t > 0) {
    BASS_ChannelSlideAttribute(ch, BASS_ATTRIB_VOL, 0.0f, static_cast<DWORD>(t));
    for (int i = 0; i < t && BASS_ChannelIsSliding(ch, BASS_ATTRIB_VOL); ++i) Sleep(1);
  }
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, 0.0f);
  return BASS_ChannelPause(ch) != FALSE;
}

void Player::Stop() {
  DWORD ch = channel.load();
  playing = false;
  stopped = true;
  RemoveEndSync();
  if (ch && BASS_ChannelIsActive(ch) != BASS_ACTIVE_STOPPED) FadeOutAndPause(-1);
  if (ch) BASS_ChannelStop(ch);
  ShowPlayGlyph(false);
  levelLeft = levelRight = 0;
  posPlace = 1;
  restart = true;
  SeekPercent(0);
  ended.store(false);
  if (dialogOpen) UpdateSliders();
  Redraw();
}

void Player::SeekPercent(double percent) {
  DWORD ch = channel.load();
  if (!ch) return;
  uint64_t pos = PercentToBytes(track.lengthBytes, percent);
  if (!playing) {
    BASS_ChannelLock(ch, TRUE);
    BASS_ChannelSetPosition(ch, pos, BASS_POS_BYTE);
    BASS_ChannelLock(ch, FALSE);
    return;
  }
  if (fadeInForce > 0 && BASS_ChannelIsActive(ch) == BASS_ACTIVE_PLAYING && !FadeOutAndPause(fadeInForce)) return;
  BASS_ChannelLock(ch, TRUE);
  BASS_ChannelSetPosition(ch, pos, BASS_POS_BYTE);
  BASS_ChannelLock(ch, FALSE);
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, fadeInForce > 0 ? 0.0f : volume);
  BASS_ChannelPlay(ch, FALSE);
  if (fadeInForce > 0) BASS_ChannelSlideAttribute(ch, BASS_ATTRIB_VOL, volume, static_cast<DWORD>(fadeInForce));
}

bool Player::SeekSeconds(double seconds) {
  DWORD ch = channel.load();
  if (!ch) return false;
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  uint64_t pos = BASS_ChannelSeconds2Bytes(ch, seconds);
  if (fadeInForce > 0 && BASS_ChannelIsActive(ch) == BASS_ACTIVE_PLAYING && !FadeOutAndPause(fadeInForce)) return false;
  BASS_ChannelLock(ch, TRUE);
  bool set = pos != kAllOnes && BASS_ChannelSetPosition(ch, pos, BASS_POS_BYTE);
  BASS_ChannelLock(ch, FALSE);
  if (!set) return false;
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, fadeInForce > 0 ? 0.0f : volume);
  bool started = BASS_ChannelPlay(ch, FALSE) != FALSE;
  if (fadeInForce > 0) BASS_ChannelSlideAttribute(ch, BASS_ATTRIB_VOL, volume, static_cast<DWORD>(fadeInForce));
  return started;
}

bool Player::SetVolumePlace(int place) {
  place = std::clamp(place, 0, kVolumeWidth - 2);
  float v = VolumeOfPlace(place, kVolumeWidth);
  DWORD ch = channel.load();
  if (!ch || !BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, v)) return false;
  volume = v;
  volPlace = place;
  settings.volume = place;
  return true;
}

bool Player::SetBalancePlace(int place) {
  place = std::clamp(place, 1, kBalanceWidth - 3);
  float b = BalanceOfPlace(place, kBalanceWidth);
  DWORD ch = channel.load();
  if (!ch || !BASS_ChannelSetAttribute(ch, BASS_ATTRIB_PAN, b)) return false;
  balance = b;
  balPlace = place;
  return true;
}

void Player::EndOfTrack() {
  ended.store(false);
  if (!settings.autonext) {
    Stop();
    return;
  }
  Move(1, false, true);
  if (settings.redrawPanels) host.info.HostAdvControl(host.info.ModuleNumber, ACTL_REDRAWALL, 0, nullptr);
}

// ---- The panel ----------------------------------------------------------------------------------

bool Player::PanelInfo(PanelInfoW* info) {
  *info = PanelInfoW{};
  return host.info.HostPanelControl && host.info.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELINFO, 0, info) != 0;
}

std::optional<PanelEntry> Player::PanelItem(int index) {
  int need = host.info.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELITEM, index, nullptr);
  if (need < static_cast<int>(sizeof(PluginPanelItemW))) return std::nullopt;
  std::vector<uint8_t> block(static_cast<size_t>(need) + sizeof(wchar_t));
  if (!host.info.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELITEM, index, block.data())) return std::nullopt;
  auto* item = reinterpret_cast<PluginPanelItemW*>(block.data());
  PanelEntry e;
  e.name = item->FileName ? item->FileName : L"";
  e.attributes = item->FileAttributes;
  e.size = item->FileSize;
  e.selected = (item->Flags & PPIF_SELECTED) != 0;
  return e;
}

std::wstring Player::PanelDir() {
  int need = host.info.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELDIR, 0, nullptr);
  if (need <= 0) return std::wstring();
  std::wstring dir(static_cast<size_t>(need), L'\0');
  host.info.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELDIR, need, dir.data());
  dir.resize(wcslen(dir.c_str()));
  return dir;
}

void Player::PanelCursor(int index, int topItem) {
  PanelRedrawInfoW r{index, topItem};
  host.info.HostPanelControl(PANEL_ACTIVE, FCTL_REDRAWPANEL, 0, &r);
}

int Player::FindPanelItem(const std::wstring& name) {
  PanelInfoW info;
  if (!PanelInfo(&info)) return -1;
  for (int i = 0; i < info.ItemsNumber; ++i)
    if (auto e = PanelItem(i); e && SameName(U(e->name), U(name))) return i;
  return -1;
}

int Player::TryPanelItem(int step, bool* found) {
  PanelInfoW info;
  if (!PanelInfo(&info)) return -1;
  if (step == 0 && !pendingPath.empty() && IsAbsolutePath(U(pendingPath))) {
    WIN32_FILE_ATTRIBUTE_DATA fa;
    if (GetFileAttributesExW(pendingPath.c_str(), GetFileExInfoStandard, &fa) &&
        !(fa.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      std::wstring path = pendingPath;
      pendingPath.clear();
      if (found) *found = true;
      int kind = 0;
      TrackInfo t;
      uint64_t size = (static_cast<uint64_t>(fa.nFileSizeHigh) << 32) | fa.nFileSizeLow;
      DWORD h = OpenFile(path, size, &kind, &t);
      if (!h) return 0;
      SwapIn(h, kind, std::move(t));
      return 1;
    }
  }
  int index = info.CurrentItem + step;
  if (index < 0 || index >= info.ItemsNumber) return -1;
  if (step != 0) PanelCursor(index, info.TopPanelItem);
  auto e = PanelItem(index);
  if (!e) return -1;
  if (found) *found = true;
  if (e->IsDirectory() || e->name == L"..") return 0;
  std::wstring path = W(JoinPanelPath(U(PanelDir()), U(e->name)));
  int kind = 0;
  TrackInfo t;
  DWORD h = OpenFile(path, e->size, &kind, &t);
  if (!h) return 0;
  SwapIn(h, kind, std::move(t));
  return 1;
}

int Player::Move(int step, bool keepFade, bool autoplay) {
  if (!keepFade) {
    ++noFadeMoves;
    fadeInForce = 0;
  }
  Stop();
  step = std::clamp(step, -1, 1);
  PanelInfoW info;
  int result = -1;
  if (PanelInfo(&info) && (info.Flags & PFLAGS_REALNAMES)) {
    int tries = 0;
    do {
      result = TryPanelItem(step, nullptr);
      ++tries;
    } while (result == 0 && step != 0);
    if (result == -1 && tries > 1 && step != 0) {
      Move(-step, true, false);
    } else if (autoplay && channel.load() && result != -1) {
      TogglePlay();
    }
  } else if (PanelInfo(&info)) {
    // Another plugin's panel: the host extracts the next file and gives it back through
    // OpenFilePluginW, which opens the player again.
    int index = info.CurrentItem + step;
    for (; step != 0 && index >= 0 && index < info.ItemsNumber; index += step) {
      auto e = PanelItem(index);
      if (e && !e->IsDirectory() && e->name != L"..") break;
    }
    if (step != 0 && index >= 0 && index < info.ItemsNumber) {
      PanelCursor(index, info.TopPanelItem);
      reentry = true;
      uint32_t keys[] = {static_cast<uint32_t>(KEY_CTRL | KEY_PGDN)};
      KelKeySequence seq{0, 1, keys};
      host.info.HostAdvControl(host.info.ModuleNumber, ACTL_POSTKEYSEQUENCE, 0, &seq);
      closeAfterMove = true;
    } else if (FindPanelItem(W(NameOfPath(U(track.path)))) < 0) {
      closeAfterMove = true;
    }
    if (closeAfterMove && dialogOpen) host.info.HostSendDlgMessage(dlg, DM_CLOSE, -1, nullptr);
  }
  if (!keepFade) {
    --noFadeMoves;
    fadeInForce = trackFade;
  }
  return result;
}

int Player::OpenFirst(int, bool* itemFound) {
  *itemFound = false;
  if (!pendingPath.empty()) {
    pendingPath = W(Unquote(U(pendingPath)));
    int index = FindPanelItem(W(NameOfPath(U(pendingPath))));
    if (index < 0) index = FindPanelItem(pendingPath);
    if (index < 0) return -2;  // not in the panel: the dialog does not open
    PanelInfoW info;
    if (PanelInfo(&info)) PanelCursor(index, info.TopPanelItem);
  }
  bool found = false;
  int r = TryPanelItem(0, &found);
  *itemFound = found;
  return r;
}

}  // namespace tunlo
