// The indicator's one window and everything it owns; all of it lives on the window thread.
#pragma once

#include <windows.h>

#include "copyindicator/core/jobs.h"
#include "copyindicator/core/settings.h"
#include "copyindicator/core/window_logic.h"
#include "copyindicator/win/platform.h"

namespace veloma {

constexpr UINT kWakeMessage = 0x0608;  // sent by a second start
constexpr UINT_PTR kPollTimer = 78901;
constexpr UINT_PTR kAnimationTimer = 34567;
constexpr UINT kAnimationPeriod = 33;  // the poll's periods are the core's

class ShellSeam : public IndicatorSeam {
 public:
  uint64_t NowLocalFileTime() override { return veloma::NowLocalFileTime(); }
  void Notify(int slot) override;
  int MeasureText(const std::u16string& text) override;
};

struct App {
  HINSTANCE instance = nullptr;
  HWND window = nullptr;
  HWND tooltip = nullptr;
  Settings settings;
  Win32PipeConnector connector;
  ServiceClient client{connector};
  ShellSeam seam;
  JobModel model{client, seam, settings};
  Win32Sound sound;
  Fade fade;
  Rect workArea;
  int tolerance = 0;   // how far past an edge a dragged window still docks: fixed at creation
  uint32_t dockFlags = 0;
  bool blinkOn = false;
  int blinkElapsed = 0;
  DWORD previousAnimationTick = 0;
  HANDLE holdTimer = nullptr;
  bool settingsOpen = false;
  std::wstring tipText;
};

extern App gApp;

// Applies the fade settings, restarts the animation and follows ClickThrough after the settings
// dialog was confirmed.
void ApplyAppearance();
void SaveAll(bool takeWindowPosition);

// The settings dialog (modal to the window); true when confirmed.
bool RunSettingsDialog(HWND owner);
// The beep editor; true with a confirmed non-empty text.
bool RunBeepEditor(HWND owner, std::u16string& text);

}  // namespace veloma
