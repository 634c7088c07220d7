#include "copyindicator/core/window_logic.h"

namespace veloma {

Size WindowSize(int jobs, uint32_t lineWidth, uint32_t lineHeight) {
  return {static_cast<int>(lineWidth) + kExtraWidth, jobs * static_cast<int>(lineHeight) + kExtraHeight};
}

Rect RowRect(int row, uint32_t lineWidth, uint32_t lineHeight) {
  int top = kBorder + row * static_cast<int>(lineHeight);
  return {kBorder, top, kBorder + static_cast<int>(lineWidth), top + static_cast<int>(lineHeight)};
}

int RowAt(int clientY, int jobs, uint32_t lineHeight) {
  if (lineHeight == 0) return -1;
  int offset = clientY - kBorder;
  if (offset < 0) return -1;  // integer division would round -1..-3 to row 0
  int row = offset / static_cast<int>(lineHeight);
  return row < jobs ? row : -1;
}

bool Fade::Step(int elapsedMs) {
  if (holding) {
    holdLeft -= elapsedMs;
    if (holdLeft <= 0) {
      holding = false;
      direction = -direction;
      fading = true;
    }
    return false;
  }
  if (!fading) return false;
  int64_t delta = static_cast<int64_t>(to - from) * direction * elapsedMs / (fadeTime > 0 ? fadeTime : 1);
  current += static_cast<int>(delta);
  if (current > High() || current < Low()) {
    current = current > High() ? High() : Low();
    fading = false;
    if (holdLeft > 0) holding = true;
  }
  return true;
}

void Fade::Attention(int holdMs) {
  direction = to > from ? 1 : -1;
  holdLeft = holdMs;
  holding = false;
  fading = true;
}

void Fade::MouseOver() {
  direction = -1;
  holdLeft = 0;
  holding = false;
  fading = true;
}

void Fade::MouseLeft() {
  direction = 1;
  holdLeft = 0;
  holding = false;
  fading = true;
}

void Fade::ShownByPoll(int holdMs) {
  current = Low();
  Attention(holdMs);
}

PollPlan PlanAfterPoll(int added, int removed, bool stateChanged, int jobs, bool visible, bool holdSignalled) {
  PollPlan plan;
  plan.fit = added > 0 || removed > 0;
  if (added > 0 && visible) plan.attention = true;
  if (stateChanged) plan.raise = plan.attention = true;
  if (jobs == 0 && holdSignalled) {
    if (visible) {
      plan.visibility = Visibility::kHide;
      plan.pollPeriodMs = kPollHiddenMs;
    }
  } else if (!visible) {
    plan.visibility = Visibility::kShow;
    plan.attention = true;
    plan.pollPeriodMs = kPollShownMs;
  }
  return plan;
}

uint64_t WakeHoldMs(uint32_t holdTime, uint32_t fadeTime) {
  return uint64_t{holdTime > 3000 ? holdTime : 3000u} + 2 * uint64_t{fadeTime} + 200;
}

DockResult Dock(int left, int top, int width, int height, const Rect& area, int tolerance) {
  DockResult r{left, top, 0};
  if (left >= area.left - tolerance && left <= area.left + kDockSnap) {
    r.left = area.left;
    r.flags |= kDocked | kDockLeft;
  } else if (left + width >= area.right - kDockSnap && left + width <= area.right + tolerance) {
    r.left = area.right - width;
    r.flags |= kDocked | kDockRight;
  }
  if (top >= area.top - tolerance && top <= area.top + kDockSnap) {
    r.top = area.top;
    r.flags |= kDocked | kDockTop;
  } else if (top + height >= area.bottom - kDockSnap && top + height <= area.bottom + tolerance) {
    r.top = area.bottom - height;
    r.flags |= kDocked | kDockBottom;
  }
  return r;
}

SizingResult Sizing(const Rect& current, const Rect& proposed, int jobs, uint32_t lineWidth, uint32_t lineHeight) {
  if (jobs <= 0) return {current, lineWidth, lineHeight};
  Rect r = proposed;
  if (r.Width() < 50 || r.Width() > 65535) {
    // The dragged side goes back; the other one stays where it is.
    if (r.left != current.left) r.left = r.right - current.Width();
    else r.right = r.left + current.Width();
  }
  if (r.Height() < jobs * 3 + kExtraHeight || r.Height() > 65535) {
    if (r.top != current.top) r.top = r.bottom - current.Height();
    else r.bottom = r.top + current.Height();
  }
  return {r, static_cast<uint32_t>(r.Width() - kExtraWidth), static_cast<uint32_t>((r.Height() - kExtraHeight) / jobs)};
}

HitArea HitTest(int x, int y, int width, int height) {
  bool left = x < kResizeGrip, right = x >= width - kResizeGrip;
  bool top = y < kResizeGrip, bottom = y >= height - kResizeGrip;
  if (top && left) return HitArea::kTopLeft;
  if (top && right) return HitArea::kTopRight;
  if (bottom && left) return HitArea::kBottomLeft;
  if (bottom && right) return HitArea::kBottomRight;
  if (left) return HitArea::kLeft;
  if (right) return HitArea::kRight;
  if (top) return HitArea::kTop;
  if (bottom) return HitArea::kBottom;
  return HitArea::kClient;
}

uint32_t MixColor(uint32_t pen, uint32_t background) {
  double c = (pen >> 24) / 255.0;
  double d = (background >> 24) * (1 - c) / 255.0;
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift <= 16; shift += 8) {
    double b = (background >> shift) & 0xFF, p = (pen >> shift) & 0xFF;
    uint32_t channel = static_cast<uint32_t>(d * b + c * p);
    out |= (channel > 255 ? 255u : channel) << shift;
  }
  return out;
}

}  // namespace veloma
