// The arithmetic of the indicator window: layout, fading, docking, resizing and colour mixing.
#pragma once

#include <cstdint>

namespace veloma {

constexpr int kBorder = 4;         // rows start 4 pixels in from the left and the top
constexpr int kExtraWidth = 8;     // window width = bar width + 8
constexpr int kExtraHeight = 18;   // window height = rows + 18
constexpr int kDockSnap = 10;      // pixels inside an edge that still snap to it
constexpr int kResizeGrip = 4;     // pixels at the edges that resize

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

struct Size {
  int width, height;
};
Size WindowSize(int jobs, uint32_t lineWidth, uint32_t lineHeight);
Rect RowRect(int row, uint32_t lineWidth, uint32_t lineHeight);
// The row under a client point: -1 outside the rows 0..jobs-1.
int RowAt(int clientY, int jobs, uint32_t lineHeight);

// Fading between two opacities with a hold at the opaque end.
struct Fade {
  int from = 0, to = 0;    // from: opacity with the mouse over the window; to: without
  int fadeTime = 500;      // ms
  int direction = 1;       // +1 towards "to", -1 towards "from"
  int current = 0;
  bool fading = false;
  int holdLeft = 0;        // ms
  bool holding = false;

  int High() const { return from > to ? from : to; }
  int Low() const { return from < to ? from : to; }
  // One animation step; true when the window's opacity must be set to current.
  bool Step(int elapsedMs);
  // Towards the more opaque bound and hold there for holdMs.
  void Attention(int holdMs);
  void MouseOver();   // towards "from", no hold
  void MouseLeft();   // towards "to", no hold
  // The poll showed the hidden window: from the fainter bound, as an attention event.
  void ShownByPoll(int holdMs);
};

constexpr uint32_t kPollHiddenMs = 500;  // the poll's period while the window is hidden
constexpr uint32_t kPollShownMs = 200;   // and while it is shown

// What the window does after a poll of the job table.
enum class Visibility { kKeep, kShow, kHide };
struct PollPlan {
  bool fit = false;        // set the window to the size for the jobs (a docked bottom edge stays)
  bool raise = false;      // to the top of the topmost windows
  bool attention = false;  // an attention event of the fade
  Visibility visibility = Visibility::kKeep;
  uint32_t pollPeriodMs = 0;  // the poll timer's new period; 0 keeps it
};
// added, removed and stateChanged come from the poll; holdSignalled tells whether the hold timer
// has fired. No jobs and a fired hold timer hide the window; anything else shows a hidden one.
PollPlan PlanAfterPoll(int added, int removed, bool stateChanged, int jobs, bool visible, bool holdSignalled);

// How long a second start keeps the hidden window shown (ms): long enough for it to fade in,
// hold and fade out, even without jobs.
uint64_t WakeHoldMs(uint32_t holdTime, uint32_t fadeTime);

// Dock flags of a move.
enum DockFlag : uint32_t { kDockTop = 0x01, kDockBottom = 0x02, kDockLeft = 0x04, kDockRight = 0x08, kDocked = 0x20 };

struct DockResult {
  int left, top;
  uint32_t flags;
};
// Snaps a window moving to (left, top) with the given size to the work area's edges. tolerance
// is how far outside an edge a window still snaps back onto it.
DockResult Dock(int left, int top, int width, int height, const Rect& workArea, int tolerance);

// While sizing: the rectangle the window may take and the bar size that follows from it.
struct SizingResult {
  Rect rect;
  uint32_t lineWidth, lineHeight;
};
SizingResult Sizing(const Rect& current, const Rect& proposed, int jobs, uint32_t lineWidth, uint32_t lineHeight);

// The hit-test area at a client point of a window of the given size.
enum class HitArea { kClient, kLeft, kRight, kTop, kBottom, kTopLeft, kTopRight, kBottomLeft, kBottomRight };
HitArea HitTest(int x, int y, int width, int height);

// A semi-transparent pen colour over a background, as one opaque ARGB colour.
uint32_t MixColor(uint32_t pen, uint32_t background);

}  // namespace veloma
