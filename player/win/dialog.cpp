// The PlayerDialog: the items, the refresh tick, keys, mouse clicks, sizes, the external-player
// menu, and the RefreshThread that drives the tick.
#include <algorithm>
#include <cmath>

#include "host/kel_firewall.h"
#include "player/win/tunlo.h"

namespace tunlo {

namespace {

// The dialog's identifier for the host.
constexpr GUID kDialogId = {0x6A1E3C52, 0x9B47, 0x4F0D, {0x8E, 0x21, 0x5C, 0x73, 0xA9, 0x10, 0xD4, 0x6B}};

// Content line of each item (-1: the frame and the size toggle, always shown).
constexpr int kLineOf[kItemCount] = {-1, 1, 1, 3, 3, 3, 3, 3, 3, 3, 3, 6, 5, 7, 5, 0, -1, 7};

std::wstring ButtonLabel(wchar_t c) { return std::wstring(L" ") + c + L" "; }

wchar_t ButtonChar(const Settings& s, size_t i) {
  return i < s.buttonsChars.size() ? static_cast<wchar_t>(s.buttonsChars[i]) : L' ';
}

// Letters by their key: the Latin letter and the Cyrillic one on the same key of the Russian
// layout, either case.
bool IsLetter(uint32_t code, wchar_t latin, wchar_t cyrillic) {
  wchar_t c = static_cast<wchar_t>(code);
  if (code >= KEY_FKEYBASE) return false;
  return c == latin || c == static_cast<wchar_t>(latin + 32) || c == cyrillic ||
         c == static_cast<wchar_t>(cyrillic + 32);
}

constexpr uint32_t kNumpad(int n) { return static_cast<uint32_t>(KEY_NUMPAD0 + n); }

DWORD WINAPI RefreshThreadProc(void* param) {
  kel::FirewallVoid("RefreshThread", [&] {
    Player& p = g_player;
    HANDLE stop = static_cast<HANDLE>(param);
    while (WaitForSingleObject(stop, kTickMs) == WAIT_TIMEOUT) p.host.info.HostSendDlgMessage(p.dlg, DM_USER, 0, nullptr);
  }, ReportException);
  return 0;
}

intptr_t KEL_API DialogProc(KelDialogHandle h, int msg, int param1, void* param2) {
  Player& p = g_player;
  return kel::Firewall("PlayerDialog", static_cast<intptr_t>(0), [&]() -> intptr_t {
    std::lock_guard<std::recursive_mutex> guard(p.lock);
    switch (msg) {
      case DN_INITDIALOG:
        p.dlg = h;
        p.dialogOpen = true;
        p.UpdateLabels();
        p.UpdateTitle();
        p.Layout();
        if (p.settings.visibleLinesMask != 255) p.ApplyVisibleLines(true);
        p.StartRefresh();
        p.TogglePlay();
        return TRUE;
      case DM_USER:
        if (!p.closing) p.Tick();
        return TRUE;
      case DN_CTLCOLORDIALOG:
        return p.Attr(0);
      case DN_CTLCOLORDLGITEM:
        return p.ItemColor(param1, reinterpret_cast<intptr_t>(param2));
      case DN_BTNCLICK:
        return p.ButtonClick(param1) ? TRUE : FALSE;
      case DN_MOUSECLICK:
        return p.MouseClick(param1, static_cast<const MOUSE_EVENT_RECORD*>(param2)) ? TRUE : FALSE;
      case DN_KEY:
        return p.Key(static_cast<uint32_t>(reinterpret_cast<intptr_t>(param2))) ? TRUE : FALSE;
      case DN_DRAGGED:
        if (param1 == 1) {  // the drag is finished
          SMALL_RECT r{};
          if (p.host.info.HostSendDlgMessage(h, DM_GETDLGRECT, 0, &r)) {
            p.left = r.Left;
            p.top = r.Top;
            if (!p.maximized) p.settings.dlgpos = static_cast<uint32_t>(p.left & 0xFFFF) | (static_cast<uint32_t>(p.top) << 16);
          }
        }
        return TRUE;
      case DN_RESIZECONSOLE: {
        auto* size = static_cast<COORD*>(param2);
        if (size) p.maxWidth = std::max<int>(size->X, p.settings.Width());
        if (p.maximized) p.Layout();
        return TRUE;
      }
      case DM_GETDIALOGINFO: {
        auto* info = static_cast<KelDialogInfo*>(param2);
        if (!info || info->StructSize < sizeof(KelDialogInfo)) return FALSE;
        info->Id = kDialogId;
        return TRUE;
      }
      case DN_CLOSE:
        p.closing = true;
        if (!p.maximized) p.settings.dlgpos = static_cast<uint32_t>(p.left & 0xFFFF) | (static_cast<uint32_t>(p.top & 0xFFFF) << 16);
        return TRUE;
      default:
        return p.host.info.HostDefDlgProc(h, msg, param1, param2);
    }
  }, ReportException);
}

}  // namespace

// ---- Item texts ---------------------------------------------------------------------------------

void Player::SetText(int item, const std::wstring& text) {
  if (item < 0 || item >= kItemCount || texts[item] == text) return;
  texts[item] = text;
  if (dialogOpen) host.info.HostSendDlgMessage(dlg, DM_SETTEXTPTR, item, const_cast<wchar_t*>(texts[item].c_str()));
}

void Player::Redraw() {
  if (dialogOpen) host.info.HostSendDlgMessage(dlg, DM_REDRAW, 0, nullptr);
}

void Player::ShowPlayGlyph(bool pause) { SetText(IPlay, ButtonLabel(ButtonChar(settings, pause ? 4 : 1))); }

void Player::UpdateLabels() {
  SetText(IPrev, ButtonLabel(ButtonChar(settings, 0)));
  ShowPlayGlyph(playing);
  SetText(INext, ButtonLabel(ButtonChar(settings, 2)));
  SetText(IStop, ButtonLabel(ButtonChar(settings, 3)));
  if (offsetTicks <= 0) SetText(IIntro, Text(MIntroButton));
  SetText(IAutonext, Text(MAutonextButton));
  int def = settings.extPlayerDefAction;
  SetText(IExternal, def == 0 || def == 1 ? actionLabels[def] : std::wstring(Text(MExternalButton)));
}

void Player::UpdateTitle() {
  SetText(IFrame, track.path.empty() ? std::wstring(L"Tunlo") : W(NameOfPath(U(track.path))));
  SetText(IInfo, track.infoLine);
  scroll.Reset(track.title.size(), static_cast<size_t>(std::max(width - 4, 1)));
  SetText(ITitle, W(scroll.View(U(track.title))));
  SetText(IMarker, scroll.Scrolls() ? L"\x1A" : L" ");
}

void Player::UpdateSliders() {
  SetText(IPosition, W(PositionSlider(posPlace, posWidth, settings.posSliderChars)));
  SetText(IVolume, W(VolumeSlider(volPlace, kVolumeWidth, settings.volSliderChars)));
  SetText(IBalance, W(BalanceSlider(balPlace, kBalanceWidth, settings.panSliderChars)));
  SetText(IMeter, W(settings.volumeBars ? LevelMeter(levelLeft, levelRight, kMeterWidth) : LevelMeter(0, 0, kMeterWidth)));
}

intptr_t Player::ItemColor(int item, intptr_t) {
  auto all = [](uint8_t a) { return static_cast<intptr_t>(a | (a << 8) | (a << 16) | (a << 24)); };
  const auto& c = settings.colors;
  switch (item) {
    case IFrame: return static_cast<intptr_t>(c[11] | (c[11] << 8) | (c[10] << 16));
    case IPrev: case INext: case IExternal: return all(c[1]);
    case IPlay: return all(stopped ? c[1] : c[2]);
    case IStop: return all(stopped ? c[2] : c[1]);
    case IIntro: return all(settings.demoMode ? c[2] : c[1]);
    case IAutonext: return all(settings.autonext ? c[2] : c[1]);
    case ITitle: {
      PanelInfoW info;
      bool selected = false;
      if (PanelInfo(&info))
        if (auto e = PanelItem(info.CurrentItem)) selected = e->selected && SameName(U(e->name), NameOfPath(U(track.path)));
      return selected ? c[4] : c[3];
    }
    case IMeter: {
      uint8_t bg = static_cast<uint8_t>(c[0] >> 4);
      return settings.volumeBars ? c[5] : static_cast<intptr_t>(bg | (bg << 4));
    }
    case IVolume: return c[6];
    case IBalance: return c[7];
    case IPosition: return c[8];
    case ITime: return c[9];
    default: return c[3];
  }
}

// ---- Layout -------------------------------------------------------------------------------------

void Player::Layout() {
  if (!dialogOpen) return;
  host.info.HostSendDlgMessage(dlg, DM_ENABLEREDRAW, FALSE, nullptr);
  width = maximized ? std::max(maxWidth, settings.Width()) : settings.Width();
  left = maximized ? 0 : normalLeft;
  COORD size{static_cast<SHORT>(width), static_cast<SHORT>(height)};
  host.info.HostSendDlgMessage(dlg, DM_RESIZEDIALOG, 0, &size);
  COORD at{static_cast<SHORT>(left), static_cast<SHORT>(top)};
  host.info.HostSendDlgMessage(dlg, DM_MOVEDIALOG, TRUE, &at);
  SMALL_RECT frame{0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
  host.info.HostSendDlgMessage(dlg, DM_SETITEMPOSITION, IFrame, &frame);
  cols[ISize] = width - 6;
  cols[IMarker] = width - 2;
  for (int item : {ISize, IMarker}) {
    SMALL_RECT r{static_cast<SHORT>(cols[item]), static_cast<SHORT>(rows[item]), static_cast<SHORT>(cols[item] + 3),
                 static_cast<SHORT>(rows[item])};
    host.info.HostSendDlgMessage(dlg, DM_SETITEMPOSITION, item, &r);
  }
  posWidth = width - 15;
  DWORD ch = channel.load();
  if (ch) {
    uint64_t pos = BASS_ChannelGetPosition(ch, BASS_POS_BYTE);
    posPlace = stopped || pos == ~static_cast<uint64_t>(0) ? 1 : PositionPlace(pos, track.lengthBytes, posWidth);
  }
  SetText(ISize, maximized ? L"[\x1A\x1B]" : L"[\x1B\x1A]");
  UpdateTitle();
  UpdateSliders();
  host.info.HostSendDlgMessage(dlg, DM_ENABLEREDRAW, TRUE, nullptr);
}

// Hides (collapse) or shows again the content lines whose bit of VisibleLinesMask is clear.
void Player::ApplyVisibleLines(bool collapse) {
  collapsed = collapse;
  int hidden = 0;
  int shift[8] = {};
  for (int line = 0; line < 8; ++line) {
    shift[line] = hidden;
    if (collapse && !(settings.visibleLinesMask & (1u << line))) ++hidden;
  }
  for (int item = 0; item < kItemCount; ++item) {
    int line = kLineOf[item];
    if (line < 0) continue;
    bool show = !collapse || (settings.visibleLinesMask & (1u << line));
    host.info.HostSendDlgMessage(dlg, DM_SHOWITEM, item, reinterpret_cast<void*>(static_cast<intptr_t>(show ? 1 : 0)));
    rows[item] = line + 1 - shift[line];
    SMALL_RECT r{static_cast<SHORT>(cols[item]), static_cast<SHORT>(rows[item]), static_cast<SHORT>(cols[item]),
                 static_cast<SHORT>(rows[item])};
    host.info.HostSendDlgMessage(dlg, DM_SETITEMPOSITION, item, &r);
  }
  height = kDialogHeight - hidden;
  if (!collapse) {
    SMALL_RECT console{};
    if (host.info.HostAdvControl(host.info.ModuleNumber, ACTL_GETKELRECT, 0, &console) &&
        top + height - 1 > console.Bottom)
      top = std::max(0, console.Bottom - height + 1);
  }
  Layout();
}

// ---- The refresh tick ---------------------------------------------------------------------------

void Player::Tick() {
  DWORD ch = channel.load();
  if (!ch) return;
  SetText(ISize, maximized ? L"[\x1A\x1B]" : L"[\x1B\x1A]");
  double seconds = 0;
  {
    uint64_t pos = BASS_ChannelGetPosition(ch, BASS_POS_BYTE);
    if (pos != ~static_cast<uint64_t>(0)) {
      uint64_t shown = settings.remainTime ? (pos < track.lengthBytes ? track.lengthBytes - pos : 0) : pos;
      seconds = BASS_ChannelBytes2Seconds(ch, shown);
    }
  }
  SetText(ITime, blinkVisible ? Ascii(TimeText(seconds, settings.remainTime != 0, settings.showms != 0))
                              : std::wstring(11, L' '));
  if (offsetTicks > 0 && --offsetTicks == 0) SetText(IIntro, Text(MIntroButton));
  if (scroll.Scrolls()) {
    scroll.Tick();
    SetText(ITitle, W(scroll.View(U(track.title))));
  }
  if (ended.load()) {
    EndOfTrack();
    return;
  }
  if (stopped) {
    blinkVisible = true;
    return;
  }
  if (playing) {
    blinkVisible = true;
    BASS_ChannelLock(ch, TRUE);
    uint64_t pos = BASS_ChannelGetPosition(ch, BASS_POS_BYTE);
    DWORD level = settings.volumeBars ? BASS_ChannelGetLevel(ch) : 0;
    BASS_ChannelLock(ch, FALSE);
    if (level == 0xFFFFFFFF) level = 0;
    if (pos != ~static_cast<uint64_t>(0) && pos >= track.lengthBytes) {
      EndOfTrack();
      return;
    }
    if (pos != ~static_cast<uint64_t>(0)) posPlace = PositionPlace(pos, track.lengthBytes, posWidth);
    levelLeft = level & 0xFFFF;
    levelRight = level >> 16;
    UpdateSliders();
    Redraw();
    return;
  }
  blink.Tick();
  blinkVisible = blink.Visible();
}

// ---- Keys, clicks, buttons ----------------------------------------------------------------------

void Player::MovePosition(double cells) {
  int saved = fadeInForce;
  fadeInForce = 0;
  posPlace = std::clamp(posPlace + cells, 1.0, static_cast<double>(posWidth - 3));
  SeekPercent(PlacePercent(posPlace, posWidth));
  fadeInForce = saved;
  UpdateSliders();
}

void Player::ToggleDemo() {
  settings.demoMode = !settings.demoMode;
  if (settings.demoMode) SetIntroSyncs();
  else RemoveIntroSyncs();
}

void Player::StartOffsetDisplay() {
  if (offsetTicks > 0) startIndex = NextStartOffsetIndex(startIndex);
  wchar_t text[16];
  swprintf(text, 16, L"  %02d  ", kStartOffsets[startIndex]);
  SetText(IIntro, text);
  offsetTicks = kOffsetDisplayTicks;
}

void Player::ToggleMaximized() {
  if (!maximized) normalLeft = left;
  maximized = !maximized;
  settings.maximized = maximized;
  if (maximized) {
    SMALL_RECT console{};
    if (host.info.HostAdvControl(host.info.ModuleNumber, ACTL_GETKELRECT, 0, &console))
      maxWidth = std::max(console.Right - console.Left + 1, settings.Width());
  }
  Layout();
}

void Player::SelectCurrent() {
  PanelInfoW info;
  if (!PanelInfo(&info)) return;
  auto e = PanelItem(info.CurrentItem);
  if (!e) return;
  host.info.HostPanelControl(PANEL_ACTIVE, FCTL_SETSELECTION, info.CurrentItem,
                             reinterpret_cast<void*>(static_cast<intptr_t>(e->selected ? 0 : 1)));
  if (settings.redrawPanels) host.info.HostPanelControl(PANEL_ACTIVE, FCTL_REDRAWPANEL, 0, nullptr);
}

bool Player::Key(uint32_t key) {
  const uint32_t mods = KEY_CTRL | KEY_ALT | KEY_SHIFT | KEY_RCTRL | KEY_RALT;
  uint32_t base = key & ~mods;
  bool ctrl = (key & (KEY_CTRL | KEY_RCTRL)) != 0;
  bool alt = (key & (KEY_ALT | KEY_RALT)) != 0;
  bool shift = (key & KEY_SHIFT) != 0;
  bool plain = !ctrl && !alt && !shift;
  auto letter = [&](wchar_t latin, wchar_t cyrillic) { return IsLetter(base, latin, cyrillic); };
  // Letters come with Shift for capitals: only Ctrl and Alt change their meaning.
  bool bare = !ctrl && !alt;

  if (bare && (base == KEY_SPACE || base == L'5' || letter(L'X', L'\x0427') || base == kNumpad(5))) {
    TogglePlay();
  } else if (bare && letter(L'V', L'\x041C')) {
    Stop();
  } else if ((bare && letter(L'Z', L'\x042F')) || (plain && (base == KEY_PGUP || base == kNumpad(9)))) {
    Move(-1, false, true);
  } else if ((bare && letter(L'C', L'\x0421')) || (plain && (base == KEY_PGDN || base == kNumpad(3)))) {
    Move(1, false, true);
  } else if (base == KEY_LEFT || base == KEY_RIGHT || (plain && (base == kNumpad(4) || base == kNumpad(6)))) {
    double cells = shift ? 0.1 : alt ? 0.01 : 1;
    if (ctrl) return false;
    MovePosition(base == KEY_LEFT || base == kNumpad(4) ? -cells : cells);
  } else if (base == KEY_MSWHEEL_UP || base == KEY_MSWHEEL_DOWN) {
    int dir = base == KEY_MSWHEEL_UP ? 1 : -1;
    if (ctrl) MovePosition(dir * (shift ? 0.1 : alt ? 0.01 : 1));
    else if (shift) SetBalancePlace(balPlace + dir);
    else if (!alt) SetVolumePlace(volPlace + dir);
    else return false;
  } else if (plain && (base == KEY_UP || base == KEY_NUMPAD8)) {
    SetVolumePlace(volPlace + 1);
  } else if (plain && (base == KEY_DOWN || base == KEY_NUMPAD2)) {
    SetVolumePlace(volPlace - 1);
  } else if (bare && letter(L'A', L'\x0424')) {
    settings.autonext = !settings.autonext;
  } else if (ctrl && !alt && letter(L'D', L'\x0412')) {
    StartOffsetDisplay();
  } else if (bare && letter(L'D', L'\x0412')) {
    ToggleDemo();
  } else if (ctrl && !alt && letter(L'T', L'\x0415')) {
    settings.showms = !settings.showms;
  } else if (bare && letter(L'T', L'\x0415')) {
    settings.remainTime = !settings.remainTime;
  } else if (bare && letter(L'B', L'\x0418')) {
    settings.volumeBars = !settings.volumeBars;
  } else if (bare && letter(L'M', L'\x042C')) {
    ToggleMaximized();
  } else if (bare && letter(L'P', L'\x0417')) {
    ExternalAction();
  } else if (plain && base == KEY_INS) {
    SelectCurrent();
  } else if (plain && base == KEY_ADD && settings.visibleLinesMask != 255) {
    ApplyVisibleLines(height >= kDialogHeight);
  } else {
    return false;
  }
  UpdateSliders();
  Redraw();
  return true;
}

bool Player::MouseClick(int item, const MOUSE_EVENT_RECORD* mouse) {
  if (!mouse) return false;
  bool right = (mouse->dwButtonState & RIGHTMOST_BUTTON_PRESSED) != 0;
  int c = mouse->dwMousePosition.X - left - (item >= 0 && item < kItemCount ? cols[item] : 0);
  switch (item) {
    case ITime:
      if (right) settings.showms = !settings.showms;
      else settings.remainTime = !settings.remainTime;
      break;
    case IPosition:
      posPlace = std::clamp(c, 1, posWidth - 3);
      SeekPercent(PlacePercent(posPlace, posWidth));
      break;
    case IIntro:
      if (!right) return false;  // a left click presses the button
      StartOffsetDisplay();
      break;
    case IVolume:
      SetVolumePlace(c);
      break;
    case IBalance:
      SetBalancePlace(c);
      break;
    case ITitle:
      scroll.SetEnabled(!scroll.Enabled());
      SetText(ITitle, W(scroll.View(U(track.title))));
      break;
    case IMeter:
      settings.volumeBars = !settings.volumeBars;
      break;
    case ISize:
      ToggleMaximized();
      break;
    case IExternal:
      if (!right) return false;
      ExternalMenu();
      break;
    default:
      return false;
  }
  UpdateSliders();
  Redraw();
  return true;
}

bool Player::ButtonClick(int item) {
  switch (item) {
    case IPrev:
    case INext:
      Move(item == IPrev ? -1 : 1, true, true);
      if (settings.redrawPanels) host.info.HostAdvControl(host.info.ModuleNumber, ACTL_REDRAWALL, 0, nullptr);
      break;
    case IPlay: TogglePlay(); break;
    case IStop: Stop(); break;
    case IIntro: ToggleDemo(); break;
    case IAutonext: settings.autonext = !settings.autonext; break;
    case IExternal: ExternalAction(); break;
    default:
      return false;
  }
  UpdateSliders();
  Redraw();
  return true;
}

// ---- The external player ------------------------------------------------------------------------

void Player::ExternalAction() {
  if (settings.extPlayerDefAction == 0 || settings.extPlayerDefAction == 1) RunExternal(settings.extPlayerDefAction);
  else ExternalMenu();
}

void Player::ExternalMenu() {
  const int breakKeys[] = {static_cast<int>(KEY_INS), 0};
  for (;;) {
    KelMenuItem items[6] = {};
    const std::u16string* templates[2] = {&settings.extPlayerPlay, &settings.extPlayerAddToPlaylist};
    for (int i = 0; i < 2; ++i) {
      items[i].Text = actionLabels[i].c_str();
      if (settings.extPlayerPath.empty() || templates[i]->empty()) items[i].Flags |= MIF_DISABLE;
      if (settings.extPlayerDefAction == i) items[i].Flags |= MIF_CHECKED;
    }
    items[2].Flags = MIF_SEPARATOR;
    items[3].Text = Text(MEditProgram);
    items[4].Text = Text(MEditPlayArgs);
    items[5].Text = Text(MEditAddArgs);
    int breakCode = -1;
    int r = host.info.HostMenu(host.info.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, Text(MMenuTitle), nullptr,
                               L"Contents", breakKeys, &breakCode, items, 6);
    if (r < 0) break;
    if (breakCode == 0) {
      if (r == 0 || r == 1) settings.extPlayerDefAction = settings.extPlayerDefAction == r ? -1 : r;
      continue;
    }
    if (r == 0 || r == 1) {
      if (!(items[r].Flags & MIF_DISABLE)) RunExternal(r);
      break;
    }
    if (r < 3) continue;
    std::u16string* target = r == 3 ? &settings.extPlayerPath : r == 4 ? &settings.extPlayerPlay : &settings.extPlayerAddToPlaylist;
    int title = r == 3 ? MProgramTitle : r == 4 ? MPlayArgsTitle : MAddArgsTitle;
    int prompt = r == 3 ? MProgramPrompt : MArgsPrompt;
    size_t limit = r == 3 ? 32768 : 128;
    std::wstring buffer(limit, L'\0');
    std::wstring current = W(*target);
    if (host.info.HostInputBox(Text(title), Text(prompt), L"TunloExtPlayer", current.c_str(), buffer.data(),
                               static_cast<int>(limit), L"Contents", FIB_ENABLEEMPTY)) {
      buffer.resize(wcslen(buffer.c_str()));
      *target = U(buffer);
    }
  }
  UpdateLabels();
}

// ---- The refresh thread -------------------------------------------------------------------------

void Player::StartRefresh() {
  refreshEvent = CreateEventW(nullptr, TRUE, FALSE, L"Local\\TunloThread");
  if (!refreshEvent) return;
  ResetEvent(refreshEvent);
  refreshThread = CreateThread(nullptr, 0, RefreshThreadProc, refreshEvent, 0, nullptr);
}

void Player::StopRefresh() {
  if (refreshEvent) SetEvent(refreshEvent);
  if (refreshThread) {
    if (WaitForSingleObject(refreshThread, 2000) != WAIT_OBJECT_0) TerminateThread(refreshThread, 0);
    CloseHandle(refreshThread);
  }
  if (refreshEvent) CloseHandle(refreshEvent);
  refreshThread = refreshEvent = nullptr;
}

// ---- Running the dialog -------------------------------------------------------------------------

int Player::RunDialog(int param) {
  {
    std::lock_guard<std::recursive_mutex> guard(lock);
    LoadSettingsFromRegistry();
    maximized = settings.maximized != 0;
    volPlace = settings.volume;
    volume = VolumeOfPlace(volPlace, kVolumeWidth);
    balPlace = kBalanceWidth / 2 - 1;
    balance = 0;
    offsetTicks = 0;
    closing = closeAfterMove = false;
    collapsed = false;
    height = kDialogHeight;
    for (auto& t : texts) t.clear();
    track = TrackInfo{};
    bool found = false;
    int r = OpenFirst(param, &found);
    if (r != 1 || !channel.load()) {
      if (param == 0 && r != -2) ErrorMessage(MCannotPlay, found ? 1 : -1);
      CloseChannel();
      return -1;
    }
    SetBalancePlace(balPlace);
  }
  // Place: the remembered corner, else centred in the host's window.
  width = settings.Width();
  SMALL_RECT console{0, 0, 79, 24};
  host.info.HostAdvControl(host.info.ModuleNumber, ACTL_GETKELRECT, 0, &console);
  maxWidth = std::max(console.Right - console.Left + 1, width);
  if (settings.dlgpos == 0xFFFFFFFF) {
    left = std::max(0, (console.Right - console.Left + 1 - width) / 2);
    top = std::max(0, (console.Bottom - console.Top + 1 - height) / 2);
  } else {
    left = static_cast<int16_t>(settings.dlgpos & 0xFFFF);
    top = static_cast<int16_t>(settings.dlgpos >> 16);
  }
  normalLeft = left;
  if (maximized) left = 0;
  int w = maximized ? maxWidth : width;

  static const int kPlaces[kItemCount][2] = {{0, 0},  {2, 2},  {14, 2}, {2, 4},  {6, 4},  {10, 4},
                                             {14, 4}, {18, 4}, {25, 4}, {38, 4}, {55, 4}, {2, 7},
                                             {2, 6},  {2, 8},  {68, 6}, {2, 1},  {64, 0}, {2, 8}};
  static const int kTypes[kItemCount] = {DI_DOUBLEBOX, DI_TEXT, DI_TEXT, DI_BUTTON, DI_BUTTON, DI_BUTTON,
                                         DI_BUTTON,    DI_BUTTON, DI_BUTTON, DI_TEXT, DI_TEXT, DI_TEXT,
                                         DI_TEXT,      DI_TEXT, DI_TEXT, DI_TEXT, DI_TEXT, DI_BUTTON};
  KelDialogItem items[kItemCount] = {};
  for (int i = 0; i < kItemCount; ++i) {
    items[i].Type = kTypes[i];
    cols[i] = kPlaces[i][0];
    rows[i] = kPlaces[i][1];
    items[i].X1 = cols[i];
    items[i].Y1 = rows[i];
    items[i].X2 = cols[i];
    items[i].Y2 = rows[i];
    if (kTypes[i] == DI_BUTTON) items[i].Flags = DIF_NOBRACKETS | DIF_BTNNOCLOSE;
  }
  cols[ISize] = w - 6;
  cols[IMarker] = w - 2;
  // The first texts go into the items themselves, so the dialog opens showing them.
  width = w;
  posWidth = w - 15;
  posPlace = 1;
  UpdateLabels();
  UpdateTitle();
  UpdateSliders();
  SetText(ISize, maximized ? L"[\x1A\x1B]" : L"[\x1B\x1A]");
  SetText(ITime, Ascii(TimeText(0, false, settings.showms != 0)));
  for (int i = 0; i < kItemCount; ++i) items[i].Data = texts[i].c_str();
  items[IFrame].X2 = w - 1;
  items[IFrame].Y2 = height - 1;
  items[ISize].X1 = items[ISize].X2 = cols[ISize];
  items[IMarker].X1 = items[IMarker].X2 = cols[IMarker];
  int exit = host.info.HostDialog(host.info.ModuleNumber, &kDialogId, left, top, left + w - 1, top + height - 1,
                                  L"Contents", items, kItemCount, 0, DialogProc, reinterpret_cast<void*>(static_cast<intptr_t>(param)));
  // The dialog is gone: its ticks can no longer arrive, so the thread ends at once.
  StopRefresh();
  std::lock_guard<std::recursive_mutex> guard(lock);
  dialogOpen = false;
  RemoveEndSync();
  Stop();
  CloseChannel();
  if (!maximized) settings.normalPos = settings.dlgpos;
  settings.maximized = maximized;
  SaveSettingsToRegistry();
  dlg = nullptr;
  return exit;
}

}  // namespace tunlo
