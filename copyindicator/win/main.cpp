// Veloma's window: bars for the copy service's jobs, fading, docking, mouse commands and the
// program's start-up.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

// GDI+ through its flat API only.
#include <gdiplus.h>

#include <algorithm>
#include <string>
#include <vector>

#include "copyindicator/core/detail.h"
#include "copyindicator/core/notify.h"
#include "copyindicator/core/question.h"
#include "copyindicator/win/app.h"
#include "copyindicator/win/guard.h"
#include "copyindicator/win/resource.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace veloma {

App gApp;

namespace {

GpBitmap* gBitmap = nullptr;
GpGraphics* gGraphics = nullptr;
#ifdef VELOMA_TEST_BUILD
std::wstring gSnapshotPath;  // test build's switch VELOMA_SNAPSHOT: the last frame as a PNG
#endif

const wchar_t kClassName[] = L"Veloma";

int JobCount() { return gApp.model.Count(); }

void SetOpacity(int alpha) {
  SetLayeredWindowAttributes(gApp.window, 0, static_cast<BYTE>(std::clamp(alpha, 0, 255)), LWA_ALPHA);
}

void RecreateBitmap(int width, int height) {
  if (gGraphics) GdipDeleteGraphics(gGraphics);
  if (gBitmap) GdipDisposeImage(gBitmap);
  gGraphics = nullptr;
  gBitmap = nullptr;
  if (GdipCreateBitmapFromScan0(std::max(width, 1), std::max(height, 1), 0, PixelFormat32bppARGB, nullptr, &gBitmap) ==
      Ok)
    GdipGetImageGraphicsContext(gBitmap, &gGraphics);
}

void FillRect(uint32_t color, int x, int y, int w, int h) {
  GpSolidFill* brush = nullptr;
  GdipCreateSolidFill(color, &brush);
  GdipFillRectangleI(gGraphics, brush, x, y, w, h);
  GdipDeleteBrush(brush);
}

void Outline(uint32_t color, float width, int x, int y, int w, int h) {
  GpPen* pen = nullptr;
  GdipCreatePen1(color, width, UnitPixel, &pen);
  GdipDrawRectangleI(gGraphics, pen, x, y, w, h);
  GdipDeletePen(pen);
}

void Polyline(uint32_t color, float width, const POINT* points, int count) {
  GpPen* pen = nullptr;
  GdipCreatePen1(color, width, UnitPixel, &pen);
  Point p[3];
  for (int i = 0; i < count; ++i) p[i] = Point(points[i].x, points[i].y);
  GdipDrawLinesI(gGraphics, pen, p, count);
  GdipDeletePen(pen);
}

#ifdef VELOMA_TEST_BUILD
void SaveSnapshot() {
  static const CLSID kPng = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  std::wstring temporary = gSnapshotPath + L".tmp";
  if (GdipSaveImageToFile(gBitmap, temporary.c_str(), &kPng, nullptr) == Ok)
    MoveFileExW(temporary.c_str(), gSnapshotPath.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// With the snapshot switch, the text the tooltip last asked for goes beside the frame, as UTF-8.
void SaveTipText() {
  std::wstring path = gSnapshotPath + L".tip.txt";
  int size = WideCharToMultiByte(CP_UTF8, 0, gApp.tipText.c_str(), static_cast<int>(gApp.tipText.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, gApp.tipText.c_str(), static_cast<int>(gApp.tipText.size()), utf8.data(), size,
                      nullptr, nullptr);
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(h);
}
#endif

void Render(int width, int height) {
  const Settings& s = gApp.settings;
  const auto& c = s.colors;
  GdipGraphicsClear(gGraphics, c[kBackground]);
  const int lw = static_cast<int>(s.lineWidth), lh = static_cast<int>(s.lineHeight);
  Rect first = RowRect(0, s.lineWidth, s.lineHeight);
  for (int i = 0; i < JobCount(); ++i) {
    const CopyJob& job = gApp.model.Job(i);
    uint32_t empty = c[kBarEmpty], top = 0, bottom = 0;
    switch (job.state) {
      case JobState::kRunning: top = c[kRunningTop], bottom = c[kRunningBottom]; break;
      case JobState::kPaused: top = c[kPausedTop], bottom = c[kPausedBottom]; break;
      case JobState::kWaiting: top = c[kWaitingTop], bottom = c[kWaitingBottom]; break;
      case JobState::kAttention:
        if (gApp.blinkOn) empty = c[kAttentionBottom], top = bottom = c[kBarEmpty];
        else top = c[kAttentionTop], bottom = c[kAttentionBottom];
        break;
      case JobState::kUserAborted: continue;  // a blank row until the service forgets the job
    }
    Rect row = RowRect(i, s.lineWidth, s.lineHeight);
    FillRect(empty, row.left, row.top, lw, lh);
    int filled = static_cast<int>(job.percent / 100.0 * lw);
    // One gradient on the first row's rectangle, tiled, so every row shows the same gradient.
    GpLineGradient* gradient = nullptr;
    GpRect base(first.left, first.top, lw, std::max(lh, 1));
    GdipCreateLineBrushFromRectI(&base, top, bottom, LinearGradientModeVertical, WrapModeTile, &gradient);
    GdipFillRectangleI(gGraphics, gradient, row.left, row.top, filled, lh);
    GdipDeleteBrush(gradient);
    Outline(c[kBarOutline], 1, row.left, row.top, filled, lh);
    Outline(c[kBarOutline], 1, row.left, row.top, lw - 1, lh);
  }
  int hovered = gApp.model.Hovered();
  if (hovered >= 0 && hovered < JobCount()) {
    Rect row = RowRect(hovered, s.lineWidth, s.lineHeight);
    Outline(c[kHoverOutline], 1, row.left, row.top, lw - 1, lh);
  }
  POINT light[3] = {{0, height - 1}, {0, 0}, {width, 0}};
  POINT shade[3] = {{0, height}, {width, height}, {width, 1}};
  Polyline(MixColor(0x50FFFFFF, c[kBackground]), 4, light, 3);
  Polyline(MixColor(0x50000000, c[kBackground]), 4, shade, 3);
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  if (gGraphics) {
    Render(client.right, client.bottom);
    GpGraphics* screen = nullptr;
    if (GdipCreateFromHDC(dc, &screen) == Ok) {
      GdipDrawImageI(screen, gBitmap, 0, 0);
      GdipDeleteGraphics(screen);
    }
#ifdef VELOMA_TEST_BUILD
    if (!gSnapshotPath.empty()) SaveSnapshot();
#endif
  }
  EndPaint(hwnd, &ps);
}

void ReadWorkArea() {
  RECT r;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  gApp.workArea = {r.left, r.top, r.right, r.bottom};
}

// Sets the window to the size for the current jobs; removed rows keep a bottom-docked window's
// bottom edge where it is.
void FitToJobs(int removed) {
  RECT r;
  GetWindowRect(gApp.window, &r);
  Size size = WindowSize(JobCount(), gApp.settings.lineWidth, gApp.settings.lineHeight);
  int top = r.top;
  if (removed > 0 && (gApp.dockFlags & (kDocked | kDockBottom)) == (kDocked | kDockBottom))
    top += removed * static_cast<int>(gApp.settings.lineHeight);
  SetWindowPos(gApp.window, HWND_TOPMOST, r.left, top, size.width, size.height,
               SWP_NOACTIVATE | (top == r.top ? SWP_NOMOVE : 0));
}

void AttentionEvent() { gApp.fade.Attention(static_cast<int>(gApp.settings.holdTime)); }

void HideTip() {
  TOOLINFOW ti = {};
  ti.cbSize = sizeof ti;
  ti.hwnd = gApp.window;
  ti.uId = 1;
  SendMessageW(gApp.tooltip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
}

POINT gTipCursor = {};  // where the cursor was when the tip was last placed

void ShowTipAt(POINT cursor) {
  gTipCursor = cursor;
  TOOLINFOW ti = {};
  ti.cbSize = sizeof ti;
  ti.hwnd = gApp.window;
  ti.uId = 1;
  SendMessageW(gApp.tooltip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
  SendMessageW(gApp.tooltip, TTM_UPDATE, 0, 0);
  RECT tip;
  GetWindowRect(gApp.tooltip, &tip);
  int w = tip.right - tip.left, h = tip.bottom - tip.top;
  int x = cursor.x + 15, y = cursor.y + 15;
  int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  if (x + w > screenW) x = screenW - w;
  if (y + h > screenH) y = cursor.y - 15 - h;
  SendMessageW(gApp.tooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
}

// The hovered row from a client point; a new row restarts the speed of the tooltip.
void TrackHover(POINT client) {
  int row = RowAt(client.y, JobCount(), gApp.settings.lineHeight);
  gApp.model.SetHovered(row);
  if (row < 0) {
    HideTip();
    return;
  }
  POINT screen = client;
  ClientToScreen(gApp.window, &screen);
  ShowTipAt(screen);
}

int RowOf(LPARAM lParam) {
  int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  if (x < kBorder || x >= kBorder + static_cast<int>(gApp.settings.lineWidth)) return -1;
  return RowAt(y, JobCount(), gApp.settings.lineHeight);
}

void Poll() {
  FaultPoint("poll");
  PollResult r = gApp.model.Poll(GetTickCount());
  bool visible = IsWindowVisible(gApp.window);
  bool holdSignalled = WaitForSingleObject(gApp.holdTimer, 0) == WAIT_OBJECT_0;
  PollPlan plan = PlanAfterPoll(r.added, r.removed, r.stateChanged, JobCount(), visible, holdSignalled);
  if (plan.fit) FitToJobs(r.removed);
  if (plan.raise) SetWindowPos(gApp.window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (plan.visibility == Visibility::kHide) {
    ShowWindow(gApp.window, SW_HIDE);
    gApp.fade.current = gApp.fade.Low();
    SetOpacity(gApp.fade.current);
    HideTip();
  } else if (plan.visibility == Visibility::kShow) {
    gApp.fade.ShownByPoll(static_cast<int>(gApp.settings.holdTime));
    SetOpacity(gApp.fade.current);
    ShowWindow(gApp.window, SW_SHOWNOACTIVATE);
  }
  if (plan.attention) AttentionEvent();
  if (plan.pollPeriodMs) SetTimer(gApp.window, kPollTimer, plan.pollPeriodMs, nullptr);
  // Placing the tip again makes it ask for the new text (a tracking tip ignores a plain update
  // on some platforms) and keeps a grown tip inside the screen.
  if (gApp.model.Hovered() >= 0) ShowTipAt(gTipCursor);
}

bool CursorInside() {
  POINT p;
  RECT r;
  GetCursorPos(&p);
  GetWindowRect(gApp.window, &r);
  return IsWindowVisible(gApp.window) && PtInRect(&r, p);
}

void SetClickThrough(bool on) {
  LONG_PTR ex = GetWindowLongPtrW(gApp.window, GWL_EXSTYLE);
  LONG_PTR want = on ? (ex | WS_EX_TRANSPARENT) : (ex & ~static_cast<LONG_PTR>(WS_EX_TRANSPARENT));
  if (want != ex) SetWindowLongPtrW(gApp.window, GWL_EXSTYLE, want);
}

void AnimationTick() {
  DWORD now = GetTickCount();
  int elapsed = static_cast<int>(now - gApp.previousAnimationTick);
  gApp.previousAnimationTick = now;
  gApp.blinkElapsed += elapsed;
  if (gApp.blinkElapsed > 500) {
    gApp.blinkOn = !gApp.blinkOn;
    gApp.blinkElapsed = 0;
  }
  bool ctrl = (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0;
  bool inside = CursorInside();
  if (IsWindowVisible(gApp.window)) {
    if (ctrl && inside) {
      if (GetTopWindow(nullptr) != gApp.window) {
        SetWindowPos(gApp.window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        SetWindowPos(gApp.window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      }
    } else if (!ctrl && gApp.settings.hideInFullscreenApps) {
      HWND front = GetForegroundWindow();
      RECT r;
      if (front && front != GetDesktopWindow() && front != GetShellWindow() &&
          (GetWindowLongW(front, GWL_STYLE) & WS_CAPTION) == 0 && GetWindowRect(front, &r)) {
        Rect fr{r.left, r.top, r.right, r.bottom};
        if (fr == gApp.workArea)
          SetWindowPos(gApp.window, front, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      }
    }
  }
  if (gApp.settings.clickThrough) {
    if (inside) {
      SetClickThrough(!ctrl);
      POINT p;
      GetCursorPos(&p);
      ScreenToClient(gApp.window, &p);
      TrackHover(p);
      SetWindowPos(gApp.window, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    } else {
      HideTip();
      gApp.model.SetHovered(-1);
    }
  }
  InvalidateRect(gApp.window, nullptr, FALSE);
  if (gApp.fade.Step(elapsed)) SetOpacity(gApp.fade.current);
}

void StartFade() {
  const Settings& s = gApp.settings;
  gApp.fade.from = static_cast<int>(s.alphaHover);
  gApp.fade.to = static_cast<int>(s.alphaNoHover);
  gApp.fade.fadeTime = static_cast<int>(s.fadeTime);
  gApp.fade.direction = 1;
  gApp.fade.fading = false;
  gApp.fade.holding = false;
}

// Size and last-write time (local) of a file as found on disk now; 0 and a zero date when absent.
FileFacts FactsOf(const std::u16string& path) {
  FileFacts facts;
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return facts;
  facts.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  FILETIME local;
  SYSTEMTIME t;
  if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &t))
    facts.lastWrite = {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  return facts;
}

std::u16string SystemMessage(uint32_t code) {
  wchar_t* message = nullptr;
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::u16string text = message ? Utf16(message) : std::u16string();
  if (message) LocalFree(message);
  return text;
}

struct Question {
  JobDetails details;
  uint32_t code = 0;
};

INT_PTR QuestionMessage(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  Question* q = reinterpret_cast<Question*>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dlg, DWLP_USER, lParam);
      q = reinterpret_cast<Question*>(lParam);
      FaultPoint("question");
      const JobDetails& d = q->details;
      bool exists = d.job.question == kTargetExists;
      QuestionForm form = ComposeQuestion(d, exists ? FactsOf(d.fullSource) : FileFacts{},
                                          exists ? FactsOf(d.fullDestination) : FileFacts{},
                                          d.job.question == kErrorOccurred ? SystemMessage(d.errorCode) : u"");
      SetDlgItemTextW(dlg, IDC_QUESTION_TEXT, Wide(form.text).c_str());
      for (int i = 0; i < 6; ++i) {
        HWND b = GetDlgItem(dlg, IDC_QUESTION_BUTTON1 + i);
        const std::u16string label = i < kQuestionButtons ? form.buttons[static_cast<size_t>(i)] : u"";
        if (label.empty()) ShowWindow(b, SW_HIDE);
        else SetWindowTextW(b, Wide(label).c_str());
      }
      SetDlgItemTextW(dlg, IDC_QUESTION_ALL, Wide(form.applyToAll).c_str());
      if (form.applyToAll.empty()) ShowWindow(GetDlgItem(dlg, IDC_QUESTION_ALL), SW_HIDE);
      return TRUE;
    }
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      if (id == IDCANCEL) {
        EndDialog(dlg, 0);
        return TRUE;
      }
      bool all = IsDlgButtonChecked(dlg, IDC_QUESTION_ALL) == BST_CHECKED;
      if (AnswerFor(q->details.job.question, id - IDC_QUESTION_BUTTON1, all, q->code)) {
        EndDialog(dlg, 1);
        return TRUE;
      }
      break;
    }
    case WM_CLOSE:
      EndDialog(dlg, 0);
      return TRUE;
  }
  return FALSE;
}

// A failure ends the dialog as "Закрыть" would: nothing is sent, the question stays pending.
INT_PTR CALLBACK QuestionProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Guarded(L"the question dialog", INT_PTR{TRUE}, [&] { return QuestionMessage(dlg, msg, wParam, lParam); },
                 [&] { EndDialog(dlg, 0); });
}

void AnswerQuestion(int row) {
  Question q;
  if (!gApp.model.QuestionOf(row, q.details)) return;
  uint32_t id = gApp.model.Job(row).id;
  if (DialogBoxParamW(gApp.instance, MAKEINTRESOURCEW(IDD_QUESTION), gApp.window, QuestionProc,
                      reinterpret_cast<LPARAM>(&q)) != 1)
    return;
  // Timers kept polling while the dialog was open: the job may have moved or gone.
  int now = gApp.model.RowOf(id);
  if (now >= 0) gApp.model.Answer(now, q.code, q.details.token);
}

void ShowAbout() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  DWORD ignored = 0, size = GetFileVersionInfoSizeW(path, &ignored);
  std::wstring text;
  std::vector<BYTE> data(size);
  struct Translation {
    WORD language, codePage;
  }* translations = nullptr;
  UINT length = 0;
  if (size && GetFileVersionInfoW(path, 0, size, data.data()) &&
      VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length)) {
    for (UINT i = 0; i < length / sizeof(Translation); ++i) {
      auto value = [&](const wchar_t* name) {
        wchar_t key[128];
        wsprintfW(key, L"\\StringFileInfo\\%04x%04x\\%s", translations[i].language, translations[i].codePage, name);
        wchar_t* v = nullptr;
        UINT n = 0;
        return VerQueryValueW(data.data(), key, reinterpret_cast<void**>(&v), &n) && v ? std::wstring(v) : std::wstring();
      };
      std::wstring version = value(L"ProductVersion");
      std::replace(version.begin(), version.end(), L',', L'.');
      text += L"\n" + value(L"ProductName") + L"\n" + value(L"LegalCopyright") + L"\nВерсия " + version;
    }
  }
  MessageBoxW(gApp.window, text.c_str(), L"О программе", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

// Menu commands, from the context menu or sent to the window; row is the job's row or -1.
void RunCommand(UINT command, int row) {
  if (row >= JobCount()) row = -1;  // the job list may have shrunk while the menu was open
  switch (command) {
    case ID_JOB_PAUSE: gApp.model.MenuPause(row); break;
    case ID_JOB_ABORT: gApp.model.Abort(row); break;
    case ID_START_ALL: gApp.model.StartAll(); break;
    case ID_PAUSE_ALL: gApp.model.PauseAll(); break;
    case ID_ABORT_ALL: gApp.model.AbortAll(); break;
    case ID_JOB_NOTIFY:
      if (row >= 0) gApp.model.SetNotify(row, !gApp.model.Job(row).notify);
      break;
    case ID_JOB_QUESTION: AnswerQuestion(row); break;
    case ID_SETTINGS:
      if (!gApp.settingsOpen) {
        gApp.settingsOpen = true;
        if (RunSettingsDialog(gApp.window)) {
          ApplyAppearance();
          gApp.model.TakeNoNotifyTime();
          SaveAll(true);
        }
        gApp.settingsOpen = false;
      }
      break;
    case ID_ABOUT: ShowAbout(); break;
    case ID_EXIT: DestroyWindow(gApp.window); break;
  }
}

// Removes separators left at the top, at the bottom or next to each other.
void TidySeparators(HMENU menu) {
  bool previousWasSeparator = true;
  for (int i = 0; i < GetMenuItemCount(menu);) {
    bool separator = (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) != 0;
    if (separator && previousWasSeparator) {
      DeleteMenu(menu, static_cast<UINT>(i), MF_BYPOSITION);
      continue;
    }
    previousWasSeparator = separator;
    ++i;
  }
  int last = GetMenuItemCount(menu) - 1;
  if (last >= 0 && (GetMenuState(menu, static_cast<UINT>(last), MF_BYPOSITION) & MF_SEPARATOR))
    DeleteMenu(menu, static_cast<UINT>(last), MF_BYPOSITION);
}

void ContextMenu() {
  int row = gApp.model.Hovered();
  uint32_t id = 0;  // the menu's job, by identifier: rows shift while the menu is open
  HideTip();
  SetForegroundWindow(gApp.window);
  HMENU menu = LoadMenuW(gApp.instance, MAKEINTRESOURCEW(IDM_CONTEXT));
  HMENU popup = GetSubMenu(menu, 0);
  if (row < 0 || row >= JobCount()) {
    row = -1;
    for (UINT item : {ID_JOB_PAUSE, ID_JOB_ABORT, ID_JOB_NOTIFY, ID_JOB_QUESTION}) DeleteMenu(popup, item, MF_BYCOMMAND);
  } else {
    const CopyJob& job = gApp.model.Job(row);
    id = job.id;
    if (job.state == JobState::kPaused) ModifyMenuW(popup, ID_JOB_PAUSE, MF_BYCOMMAND | MF_STRING, ID_JOB_PAUSE, L"Запустить");
    CheckMenuItem(popup, ID_JOB_NOTIFY, MF_BYCOMMAND | (job.notify ? MF_CHECKED : MF_UNCHECKED));
    if (job.state != JobState::kAttention) DeleteMenu(popup, ID_JOB_QUESTION, MF_BYCOMMAND);
  }
  TidySeparators(popup);
  POINT p;
  GetCursorPos(&p);
  UINT command = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_NONOTIFY, p.x, p.y, 0, gApp.window, nullptr);
  DestroyMenu(menu);
  // The timers kept polling while the menu was open: find the job again (-1 when it has gone,
  // which the row commands ignore).
  RunCommand(command, gApp.model.RowOf(id));
}

LRESULT HitTestAt(HWND hwnd, LPARAM lParam) {
  gApp.fade.MouseOver();
  POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ScreenToClient(hwnd, &p);
  RECT r;
  GetClientRect(hwnd, &r);
  switch (HitTest(p.x, p.y, r.right, r.bottom)) {
    case HitArea::kLeft: return HTLEFT;
    case HitArea::kRight: return HTRIGHT;
    case HitArea::kTop: return HTTOP;
    case HitArea::kBottom: return HTBOTTOM;
    case HitArea::kTopLeft: return HTTOPLEFT;
    case HitArea::kTopRight: return HTTOPRIGHT;
    case HitArea::kBottomLeft: return HTBOTTOMLEFT;
    case HitArea::kBottomRight: return HTBOTTOMRIGHT;
    case HitArea::kClient: break;
  }
  return HTCLIENT;
}

void MouseLeft() {
  POINT p;
  GetCursorPos(&p);
  if (WindowFromPoint(p) == gApp.window) return;
  gApp.fade.MouseLeft();
  gApp.model.SetHovered(-1);
  HideTip();
}

LRESULT WindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: {
      gApp.window = hwnd;
      RecreateBitmap(200, 200);
      ReadWorkArea();
      gApp.tolerance = gApp.workArea.right;
      Size size = WindowSize(0, gApp.settings.lineWidth, gApp.settings.lineHeight);
      SetWindowPos(hwnd, HWND_TOPMOST, PositionX(gApp.settings.windowPos), PositionY(gApp.settings.windowPos),
                   size.width, size.height, SWP_NOACTIVATE);
      StartFade();
      gApp.fade.current = static_cast<int>(gApp.settings.alphaNoHover);
      SetOpacity(gApp.fade.current);
      gApp.holdTimer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
      LARGE_INTEGER due;
      due.QuadPart = 0;
      SetWaitableTimer(gApp.holdTimer, &due, 0, nullptr, nullptr, FALSE);
      gApp.previousAnimationTick = GetTickCount();
      SetTimer(hwnd, kAnimationTimer, kAnimationPeriod, nullptr);
      return 0;
    }
    case WM_PAINT: Paint(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SIZE: RecreateBitmap(LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_TIMER:
      if (wParam == kPollTimer) Poll();
      else if (wParam == kAnimationTimer) AnimationTick();
      return 0;
    case kWakeMessage:
      if (IsWindowVisible(hwnd)) {
        AttentionEvent();
      } else {
        LARGE_INTEGER due;
        // Relative due times are negative, in 100-ns units.
        due.QuadPart = -static_cast<LONGLONG>(WakeHoldMs(gApp.settings.holdTime, gApp.settings.fadeTime)) * 10000;
        SetWaitableTimer(gApp.holdTimer, &due, 0, nullptr, nullptr, FALSE);
      }
      return 0;
    case WM_NCHITTEST: return HitTestAt(hwnd, lParam);
    case WM_MOUSEMOVE: {
      TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, hwnd, 0};
      TrackMouseEvent(&t);
      TrackHover({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    }
    case WM_MOUSELEAVE:
    case WM_NCMOUSELEAVE: MouseLeft(); return 0;
    case WM_LBUTTONDOWN: {
      int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
      if (y > JobCount() * static_cast<int>(gApp.settings.lineHeight) + kBorder ||
          x > static_cast<int>(gApp.settings.lineWidth) + kBorder) {
        ReleaseCapture();
        SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
      }
      return 0;
    }
    case WM_LBUTTONUP: gApp.model.ClickPause(RowOf(lParam)); return 0;
    case WM_LBUTTONDBLCLK: AnswerQuestion(RowOf(lParam)); return 0;
    case WM_MBUTTONUP: gApp.model.Abort(RowOf(lParam)); return 0;
    case WM_RBUTTONUP: ContextMenu(); return 0;
    case WM_COMMAND: RunCommand(LOWORD(wParam), gApp.model.Hovered()); return 0;
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      RECT r;
      GetWindowRect(hwnd, &r);
      if (!(pos->flags & SWP_NOMOVE) && (pos->x != r.left || pos->y != r.top)) {
        int w = (pos->flags & SWP_NOSIZE) ? r.right - r.left : pos->cx;
        int h = (pos->flags & SWP_NOSIZE) ? r.bottom - r.top : pos->cy;
        DockResult d = Dock(pos->x, pos->y, w, h, gApp.workArea, gApp.tolerance);
        pos->x = d.left;
        pos->y = d.top;
        gApp.dockFlags = d.flags;
      }
      return 0;
    }
    case WM_SIZING: {
      auto* proposed = reinterpret_cast<RECT*>(lParam);
      RECT now;
      GetWindowRect(hwnd, &now);
      SizingResult s = Sizing({now.left, now.top, now.right, now.bottom},
                              {proposed->left, proposed->top, proposed->right, proposed->bottom}, JobCount(),
                              gApp.settings.lineWidth, gApp.settings.lineHeight);
      *proposed = {s.rect.left, s.rect.top, s.rect.right, s.rect.bottom};
      gApp.settings.lineWidth = s.lineWidth;
      gApp.settings.lineHeight = s.lineHeight;
      return TRUE;
    }
    case WM_SETTINGCHANGE: ReadWorkArea(); return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->hwndFrom == gApp.tooltip && header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        gApp.tipText = gApp.model.Hovered() >= 0 ? Wide(gApp.model.DetailText()) : std::wstring();
        info->lpszText = const_cast<wchar_t*>(gApp.tipText.c_str());
#ifdef VELOMA_TEST_BUILD
        if (!gSnapshotPath.empty()) SaveTipText();
#endif
      }
      return 0;
    }
    case WM_ENDSESSION:
      if (wParam) SaveAll(true);
      return 0;
    case WM_DESTROY:
      if (gGraphics) GdipDeleteGraphics(gGraphics);
      if (gBitmap) GdipDisposeImage(gBitmap);
      gGraphics = nullptr;
      gBitmap = nullptr;
      SaveAll(true);
      KillTimer(hwnd, kAnimationTimer);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// A failed creation gives no window; any other failed message is dropped.
LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Guarded(L"the window", LRESULT{msg == WM_CREATE ? -1 : 0},
                 [&] { return WindowMessage(hwnd, msg, wParam, lParam); });
}

}  // namespace

void ShellSeam::Notify(int slot) { PlaySlot(gApp.settings, slot, gApp.sound); }

int ShellSeam::MeasureText(const std::u16string& text) {
  HDC dc = GetDC(gApp.tooltip);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(gApp.tooltip, WM_GETFONT, 0, 0)));
  SIZE size = {};
  std::wstring w = Wide(text);
  GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(gApp.tooltip, dc);
  return size.cx;
}

void ApplyAppearance() {
  StartFade();
  gApp.fade.current = static_cast<int>(gApp.settings.alphaNoHover);
  SetOpacity(gApp.fade.current);
  KillTimer(gApp.window, kAnimationTimer);
  gApp.previousAnimationTick = GetTickCount();
  SetTimer(gApp.window, kAnimationTimer, kAnimationPeriod, nullptr);
  SetClickThrough(gApp.settings.clickThrough != 0);
  FitToJobs(0);
}

void SaveAll(bool takeWindowPosition) {
  if (takeWindowPosition && gApp.window) {
    RECT r;
    GetWindowRect(gApp.window, &r);
    gApp.settings.windowPos = PackPosition(r.left, r.top);
  }
  RegistryStore store;
  SaveSettings(gApp.settings, store);
}

}  // namespace veloma

using namespace veloma;

namespace {

int Run(HINSTANCE instance) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_COOL_CLASSES |
                                              ICC_INTERNET_CLASSES | ICC_PAGESCROLLER_CLASS | ICC_NATIVEFNTCTL_CLASS |
                                              ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
  InitCommonControlsEx(&icc);

  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"VeLoMaiSoNtHeRoAd");
  DWORD mutexError = GetLastError();
  if (!mutex || mutexError == ERROR_ALREADY_EXISTS || mutexError == ERROR_ACCESS_DENIED) {
    HWND other = FindWindowW(L"Veloma", L"Veloma");
    if (other) {
      SendMessageW(other, kWakeMessage, 0, 0);
      return 42;
    }
    MessageBoxW(nullptr, L"Other instance of Veloma found, but it window is absent", L"Strange thing",
                MB_OK | MB_ICONWARNING);
    return 84;
  }

  GdiplusStartupInput input;
  ULONG_PTR gdiplus = 0;
  if (GdiplusStartup(&gdiplus, &input, nullptr) != Ok) {
    MessageBoxW(nullptr, L"GDI+ initialization failed", L"Weird thing", MB_OK | MB_ICONERROR);
    return -1;
  }

#ifdef VELOMA_TEST_BUILD
  wchar_t snapshot[MAX_PATH];
  if (GetEnvironmentVariableW(L"VELOMA_SNAPSHOT", snapshot, MAX_PATH)) gSnapshotPath = snapshot;
#endif

  gApp.instance = instance;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  {
    RegistryStore store;
    gApp.settings = LoadSettings(store);
  }
  gApp.model.TakeNoNotifyTime();

  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_LAYERED, kClassName, L"Veloma", WS_POPUP, 0, 0, 200, 200,
                                nullptr, nullptr, instance, nullptr);
  if (!window) return -1;
  gApp.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_NOANIMATE | TTS_NOFADE, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, instance, nullptr);
  TOOLINFOW ti = {};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  ti.hwnd = window;
  ti.uId = 1;
  ti.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(gApp.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  SendMessageW(gApp.tooltip, TTM_SETMAXTIPWIDTH, 0, 500);

  SetTimer(window, kPollTimer, kPollHiddenMs, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  KillTimer(window, kPollTimer);
  GdiplusShutdown(gdiplus);
  CloseHandle(mutex);
  return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return Guarded(L"the start-up", -1, [&] { return Run(instance); });
}
