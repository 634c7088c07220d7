// The settings dialog with its balloons, spins, colour fields and tooltips, and the beep editor.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <string>

#include "copyindicator/core/notify.h"
#include "copyindicator/win/app.h"
#include "copyindicator/win/guard.h"
#include "copyindicator/win/resource.h"

namespace veloma {
namespace {

// A number field of the dialog: its range and how a valid value is taken into the settings.
struct NumberField {
  int edit, spin;
  int low, high;
};
constexpr NumberField kFields[] = {
    {IDC_ALPHA_HOVER, IDC_ALPHA_HOVER_SPIN, 0, 90},
    {IDC_ALPHA_NOHOVER, IDC_ALPHA_NOHOVER_SPIN, 0, 90},
    {IDC_FADETIME, IDC_FADETIME_SPIN, 1, 3000},
    {IDC_HOLDTIME, IDC_HOLDTIME_SPIN, 1, 1000000000},
    {IDC_NONOTIFY, IDC_NONOTIFY_SPIN, 0, 1000000},
};

struct DialogState {
  Settings cancelCopy;
  int slot = 0;
  bool loading = false;  // fields are being filled in, not edited
  int lastValid[5] = {};
  HWND tips = nullptr;
  HBRUSH brushes[kColorCount] = {};
};

DialogState* gState = nullptr;

uint32_t FieldValue(Settings& s, int index) {
  switch (index) {
    case 0: return static_cast<uint32_t>(OpacityToTransparency(s.alphaHover));
    case 1: return static_cast<uint32_t>(OpacityToTransparency(s.alphaNoHover));
    case 2: return s.fadeTime;
    case 3: return s.holdTime;
    default: return s.noNotifyTime;
  }
}

void TakeField(Settings& s, int index, int value) {
  switch (index) {
    case 0: s.alphaHover = TransparencyToOpacity(value); break;
    case 1: s.alphaNoHover = TransparencyToOpacity(value); break;
    case 2: s.fadeTime = static_cast<uint32_t>(value); break;
    case 3: s.holdTime = static_cast<uint32_t>(value); break;
    default: s.noNotifyTime = static_cast<uint32_t>(value); break;
  }
}

void SetNumber(HWND dlg, int id, int value) {
  gState->loading = true;
  SetDlgItemInt(dlg, id, static_cast<UINT>(value), TRUE);
  gState->loading = false;
}

void CheckNumber(HWND dlg, int index) {
  const NumberField& f = kFields[index];
  wchar_t text[32] = {};
  GetDlgItemTextW(dlg, f.edit, text, 32);
  wchar_t* end = nullptr;
  long long value = wcstoll(text, &end, 10);
  bool valid = text[0] != 0 && *end == 0 && value >= f.low && value <= f.high;
  if (!valid) {
    wchar_t message[96];
    wsprintfW(message, L"Значение должно быть от %d до %d", f.low, f.high);
    EDITBALLOONTIP balloon = {sizeof balloon, L"Неверное значение", message, TTI_WARNING};
    SendDlgItemMessageW(dlg, f.edit, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&balloon));
    SetNumber(dlg, f.edit, gState->lastValid[index]);
    return;
  }
  gState->lastValid[index] = static_cast<int>(value);
  TakeField(gApp.settings, index, static_cast<int>(value));
}

void ShowSlot(HWND dlg) {
  size_t at = static_cast<size_t>(gState->slot);
  uint32_t flags = gApp.settings.notifyFlags[at];
  SetDlgItemTextW(dlg, IDC_WAVEFILE, Wide(gApp.settings.waveFile[at].value_or(u"")).c_str());
  int mode = SlotMode(flags);
  CheckRadioButton(dlg, IDC_MODE_FILE, IDC_MODE_SILENT,
                   mode == kPlayFile ? IDC_MODE_FILE : mode == kSpeakerBeeps ? IDC_MODE_BEEP : IDC_MODE_SILENT);
  int pattern = SlotPattern(flags);
  SendDlgItemMessageW(dlg, IDC_PATTERN, CB_SETCURSEL, static_cast<WPARAM>(pattern >= 1 ? pattern - 1 : 0), 0);
}

void SetSlotFlags(uint16_t mode, uint16_t pattern) {
  gApp.settings.notifyFlags[static_cast<size_t>(gState->slot)] = MakeSlotFlags(mode, pattern);
}

void AddTooltips(HWND dlg) {
  gState->tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dlg, nullptr, gApp.instance, nullptr);
  SendMessageW(gState->tips, TTM_SETMAXTIPWIDTH, 0, 300);
  SendMessageW(gState->tips, TTM_SETDELAYTIME, TTDT_AUTOPOP, 10000);
  for (HWND child = GetWindow(dlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    int id = GetDlgCtrlID(child);
    wchar_t probe[2];
    if (id <= 0 || LoadStringW(gApp.instance, static_cast<UINT>(id), probe, 2) == 0) continue;
    TOOLINFOW ti = {};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = dlg;
    ti.uId = reinterpret_cast<UINT_PTR>(child);
    ti.hinst = gApp.instance;
    ti.lpszText = MAKEINTRESOURCEW(id);
    SendMessageW(gState->tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  }
}

void PickColor(HWND dlg, int index) {
  static COLORREF custom[16];
  auto toRef = [](uint32_t argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); };
  for (int i = 0; i < kColorCount; ++i) custom[i] = toRef(gApp.settings.colors[static_cast<size_t>(i)]);
  CHOOSECOLORW cc = {};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = dlg;
  cc.rgbResult = toRef(gApp.settings.colors[static_cast<size_t>(index)]);
  cc.lpCustColors = custom;
  cc.Flags = CC_FULLOPEN | CC_ANYCOLOR | CC_RGBINIT;
  if (!ChooseColorW(&cc)) return;
  gApp.settings.colors[static_cast<size_t>(index)] = 0xFF000000u | (GetRValue(cc.rgbResult) << 16) |
                                                      (GetGValue(cc.rgbResult) << 8) | GetBValue(cc.rgbResult);
  InvalidateRect(dlg, nullptr, TRUE);
}

void Browse(HWND dlg) {
  wchar_t file[MAX_PATH] = {};
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = dlg;
  ofn.lpstrFilter = L"WAV файлы (*.wav)\0*.wav\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrTitle = L"Открыть звуковой файл";
  ofn.lpstrDefExt = L"wav";
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&ofn)) return;
  SetDlgItemTextW(dlg, IDC_WAVEFILE, file);
  std::u16string chosen = Utf16(file);
  if (chosen.size() > kSlotTextMax) chosen.resize(kSlotTextMax);
  gApp.settings.waveFile[static_cast<size_t>(gState->slot)] = chosen;
}

void Init(HWND dlg) {
  Settings& s = gApp.settings;
  for (int i = 0; i < 5; ++i) {
    const NumberField& f = kFields[i];
    SendDlgItemMessageW(dlg, f.spin, UDM_SETBASE, 10, 0);
    SendDlgItemMessageW(dlg, f.spin, UDM_SETRANGE32, static_cast<WPARAM>(f.low), f.high);
    gState->lastValid[i] = static_cast<int>(FieldValue(s, i));
    SetNumber(dlg, f.edit, gState->lastValid[i]);
  }
  for (const wchar_t* name : {L"Процесс завершился", L"Все процессы завершились", L"Ошибка"})
    SendDlgItemMessageW(dlg, IDC_SLOTS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  SendDlgItemMessageW(dlg, IDC_SLOTS, LB_SETCURSEL, 0, 0);
  for (int k = 1; k <= 16; ++k) {
    std::wstring name = L"Писк " + std::to_wstring(k);
    SendDlgItemMessageW(dlg, IDC_PATTERN, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
  SendDlgItemMessageW(dlg, IDC_PATTERN, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Настраиваемый..."));
  ShowSlot(dlg);
  CheckDlgButton(dlg, IDC_INCLUDE_WAITS, s.notifyIncludeWaits ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_USER_ABORT, s.notifyUserAbort ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_CLICK_THROUGH, s.clickThrough ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_HIDE_FULLSCREEN, s.hideInFullscreenApps ? BST_CHECKED : BST_UNCHECKED);
  AddTooltips(dlg);
}

// Everything goes back except what the user changed on the window itself meanwhile.
void Cancel(HWND dlg) {
  Settings& s = gApp.settings;
  uint32_t width = s.lineWidth, height = s.lineHeight;
  s = gState->cancelCopy;
  s.lineWidth = width;
  s.lineHeight = height;
  EndDialog(dlg, IDCANCEL);
}

void OnCommand(HWND dlg, int id, int code) {
  Settings& s = gApp.settings;
  for (int i = 0; i < 5; ++i)
    if (id == kFields[i].edit && code == EN_CHANGE && !gState->loading) CheckNumber(dlg, i);
  size_t slot = static_cast<size_t>(gState->slot);
  switch (id) {
    case IDC_SLOTS:
      if (code == LBN_SELCHANGE) {
        LRESULT sel = SendDlgItemMessageW(dlg, IDC_SLOTS, LB_GETCURSEL, 0, 0);
        if (sel >= 0 && sel < kSlotCount) gState->slot = static_cast<int>(sel);
        ShowSlot(dlg);
      }
      break;
    case IDC_MODE_FILE: SetSlotFlags(kPlayFile, SlotPattern(s.notifyFlags[slot])); break;
    case IDC_MODE_SILENT: SetSlotFlags(kSilent, SlotPattern(s.notifyFlags[slot])); break;
    case IDC_MODE_BEEP: {
      LRESULT sel = SendDlgItemMessageW(dlg, IDC_PATTERN, CB_GETCURSEL, 0, 0);
      if (sel >= 0) SetSlotFlags(kSpeakerBeeps, static_cast<uint16_t>(sel + 1));
      break;
    }
    case IDC_PATTERN:
      if (code == CBN_SELCHANGE) {
        LRESULT sel = SendDlgItemMessageW(dlg, IDC_PATTERN, CB_GETCURSEL, 0, 0);
        if (sel < 0) break;
        if (sel + 1 == 17) {
          std::u16string text = s.customBeeps[slot].value_or(u"");
          if (RunBeepEditor(dlg, text)) s.customBeeps[slot] = text;
        }
        SetSlotFlags(SlotMode(s.notifyFlags[slot]), static_cast<uint16_t>(sel + 1));
      }
      break;
    case IDC_BROWSE: Browse(dlg); break;
    case IDC_TEST:
      FaultPoint("settings");
      PlaySlot(s, gState->slot, gApp.sound);
      break;
    case IDC_INCLUDE_WAITS: s.notifyIncludeWaits = IsDlgButtonChecked(dlg, id) == BST_CHECKED; break;
    case IDC_USER_ABORT: s.notifyUserAbort = IsDlgButtonChecked(dlg, id) == BST_CHECKED; break;
    case IDC_HIDE_FULLSCREEN: s.hideInFullscreenApps = IsDlgButtonChecked(dlg, id) == BST_CHECKED; break;
    case IDC_CLICK_THROUGH:
      s.clickThrough = IsDlgButtonChecked(dlg, id) == BST_CHECKED;
      if (s.clickThrough)
        MessageBoxW(dlg,
                    L"При активации этой настройки, окно Veloma никак не будет взаимодействовать с мышью.\n"
                    L"Для временного включения взаимодействия, зажмите Ctrl.",
                    L"Внимание", MB_OK | MB_ICONWARNING);
      break;
    case IDOK: EndDialog(dlg, IDOK); break;
    case IDCANCEL: Cancel(dlg); break;
    default:
      if (id >= IDC_COLOR_FIRST && id < IDC_COLOR_FIRST + kColorCount && code == STN_CLICKED)
        PickColor(dlg, id - IDC_COLOR_FIRST);
      break;
  }
}

INT_PTR SettingsMessage(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: Init(dlg); return TRUE;
    case WM_COMMAND: OnCommand(dlg, LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_CTLCOLORSTATIC: {
      int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (id < IDC_COLOR_FIRST || id >= IDC_COLOR_FIRST + kColorCount) break;
      int index = id - IDC_COLOR_FIRST;
      uint32_t argb = gApp.settings.colors[static_cast<size_t>(index)];
      COLORREF color = RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
      if (gState->brushes[index]) DeleteObject(gState->brushes[index]);
      gState->brushes[index] = CreateSolidBrush(color);
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, color);
      SetTextColor(dc, color ^ 0x00FFFFFF);
      return reinterpret_cast<INT_PTR>(gState->brushes[index]);
    }
    case WM_CLOSE: OnCommand(dlg, IDCANCEL, 0); return TRUE;
  }
  return FALSE;
}

// A failure ends the dialog as "Отмена" would: the settings go back to what they were.
INT_PTR CALLBACK SettingsProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Guarded(L"the settings dialog", INT_PTR{TRUE}, [&] { return SettingsMessage(dlg, msg, wParam, lParam); },
                 [&] { Cancel(dlg); });
}

INT_PTR BeepMessage(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* text = reinterpret_cast<std::u16string*>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dlg, DWLP_USER, lParam);
      SetDlgItemTextW(dlg, IDC_BEEP_TEXT, Wide(*reinterpret_cast<std::u16string*>(lParam)).c_str());
      return TRUE;
    case WM_COMMAND: {
      wchar_t buffer[kSlotTextMax + 1] = {};
      GetDlgItemTextW(dlg, IDC_BEEP_TEXT, buffer, static_cast<int>(kSlotTextMax + 1));
      switch (LOWORD(wParam)) {
        case IDC_BEEP_TEST:
          FaultPoint("beeps");
          PlayBeepText(Utf16(buffer), gApp.sound);
          return TRUE;
        case IDOK:
          if (buffer[0] == 0) {  // an empty text is no pattern: the old one stays
            EndDialog(dlg, IDCANCEL);
            return TRUE;
          }
          *text = Utf16(buffer);
          EndDialog(dlg, IDOK);
          return TRUE;
        case IDCANCEL: EndDialog(dlg, IDCANCEL); return TRUE;
      }
      break;
    }
    case WM_CLOSE: EndDialog(dlg, IDCANCEL); return TRUE;
  }
  return FALSE;
}

// A failure ends the editor as "Отмена" would: the text stays as it was.
INT_PTR CALLBACK BeepProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Guarded(L"the beep editor", INT_PTR{TRUE}, [&] { return BeepMessage(dlg, msg, wParam, lParam); },
                 [&] { EndDialog(dlg, IDCANCEL); });
}

}  // namespace

bool RunSettingsDialog(HWND owner) {
  DialogState state;
  state.cancelCopy = gApp.settings;  // the strings are copied with it
  gState = &state;
  INT_PTR result = DialogBoxParamW(gApp.instance, MAKEINTRESOURCEW(IDD_SETTINGS), owner, SettingsProc, 0);
  for (HBRUSH b : state.brushes)
    if (b) DeleteObject(b);
  if (state.tips) DestroyWindow(state.tips);
  gState = nullptr;
  return result == IDOK;
}

bool RunBeepEditor(HWND owner, std::u16string& text) {
  return DialogBoxParamW(gApp.instance, MAKEINTRESOURCEW(IDD_BEEPS), owner, BeepProc, reinterpret_cast<LPARAM>(&text)) ==
         IDOK;
}

}  // namespace veloma
