#include "devicebrowser/common/console/core/layout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "devicebrowser/common/console/core/format.h"

namespace handrel::con {

// ---- Messages ---------------------------------------------------------------------------------

std::vector<std::string> SplitLines(const char* text) {
  std::vector<std::string> out;
  if (!text) return out;
  const char* p = text;
  while (*p) {
    while (*p == '\r' || *p == '\n') ++p;
    if (!*p) break;
    const char* end = p + std::strcspn(p, "\r\n");
    out.emplace_back(p, end);
    p = end;
  }
  return out;
}

MessageItems BuildMessage(const char* title, const char* text, const char* buttons) {
  MessageItems m;
  std::vector<std::string> lines = SplitLines(text);
  std::vector<std::string> keys = SplitLines(buttons);
  if (keys.empty()) keys.push_back("OK");
  // The buttons first claim their room, so that a long text cannot leave the message unanswerable.
  if (keys.size() > kMessageItems - 1) keys.resize(kMessageItems - 1);
  size_t textRoom = std::min(kMessageTextLines, kMessageItems - 1 - keys.size());
  if (lines.size() > textRoom) lines.resize(textRoom);
  m.items.push_back(title ? title : "");
  for (auto& l : lines) m.items.push_back(l.size() > kMessageLineWidth ? l.substr(0, kMessageLineWidth) : l);
  for (auto& k : keys) m.items.push_back(k);
  m.buttons = static_cast<int>(keys.size());
  return m;
}

// ---- Popup ------------------------------------------------------------------------------------

Rect PlacePopup(const std::string& title, const std::vector<std::string>& lines, int minContentWidth, int cols,
                int rows) {
  size_t widest = title.empty() ? 0 : title.size() + 2;
  for (auto& l : lines) widest = std::max(widest, l.size());
  int maxContent = std::max(1, cols - kPopupOverhead);
  int content = static_cast<int>(std::min(widest, static_cast<size_t>(maxContent)));
  content = std::min(std::max(content, minContentWidth), maxContent);
  int width = content + 4;  // frame and a space on each side
  int height = static_cast<int>(lines.size()) + 2;
  Rect r;
  r.x1 = std::max(0, (cols - width) / 2);
  r.y1 = std::max(0, (rows - height) / 2);
  r.x2 = r.x1 + width - 1;
  r.y2 = r.y1 + height - 1;
  return r;
}

std::vector<std::string> PopupRows(const std::string& title, const std::vector<std::string>& lines, int boxWidth) {
  std::vector<std::string> rows;
  size_t inner = static_cast<size_t>(std::max(boxWidth - 2, 0));
  std::string top(inner, kHorizontal);
  if (!title.empty() && inner >= 3) {
    std::string t(1, ' ');
    t.append(title, 0, inner - 2);
    t.push_back(' ');
    top.replace((inner - t.size()) / 2, t.size(), t);
  }
  rows.push_back(kCornerTL + top + kCornerTR);
  size_t content = inner >= 2 ? inner - 2 : 0;
  for (auto& l : lines) {
    std::string cell = l.substr(0, content);
    cell.append(content - cell.size(), ' ');
    rows.push_back(std::string(1, kVertical) + " " + cell + " " + kVertical);
  }
  rows.push_back(kCornerBL + std::string(inner, kHorizontal) + kCornerBR);
  return rows;
}

std::vector<Rect> ShadowRects(const Rect& box, int cols, int rows) {
  std::vector<Rect> out;
  auto clip = [&](Rect r) {
    r.x2 = std::min(r.x2, cols - 1);
    r.y2 = std::min(r.y2, rows - 1);
    if (r.x1 <= r.x2 && r.y1 <= r.y2) out.push_back(r);
  };
  clip(Rect{box.x2 + 1, box.y1 + 1, box.x2 + 2, box.y2 + 1});  // right of the box
  clip(Rect{box.x1 + 2, box.y2 + 1, box.x2, box.y2 + 1});      // below it
  return out;
}

// ---- Progress window --------------------------------------------------------------------------

void StartFile(ProgressCounters& c, const std::string& source, const std::string& target, uint64_t size) {
  if (c.fileSize > c.fileDone) c.totalDone += c.fileSize - c.fileDone;
  c.source = source;
  c.target = target;
  c.fileSize = size;
  c.fileDone = 0;
}

void AddBytes(ProgressCounters& c, uint64_t bytes) {
  c.fileDone += bytes;
  c.totalDone += bytes;
}

std::string ShortenName(const std::string& name, size_t width) {
  if (name.size() <= width) return name;
  if (width <= 3) return name.substr(name.size() - width);
  return "..." + name.substr(name.size() - (width - 3));
}

namespace {

// A line of 0xC4 with `text` centred in it.
std::string SeparatorWith(const std::string& text) {
  std::string line(static_cast<size_t>(kProgressWidth), kSeparator);
  if (text.size() <= line.size()) line.replace((line.size() - text.size()) / 2, text.size(), text);
  return line;
}

}  // namespace

ProgressView ProgressLines(const ProgressCounters& c, uint32_t nowTick) {
  ProgressView v;
  const size_t w = static_cast<size_t>(kProgressWidth);
  char buf[96];
  v.lines.push_back(ShortenName(c.verb + "ing the file", w));
  v.lines.push_back(ShortenName(c.source, w));
  v.lines.push_back("to");
  v.lines.push_back(ShortenName(c.target, w));
  v.lines.push_back(BarLine(c.fileDone, c.fileSize));
  v.lines.push_back(SeparatorWith(" Total: " + FormatNumber(static_cast<int64_t>(
                                                   c.totalBytes > INT64_MAX ? INT64_MAX : c.totalBytes)) + " "));
  v.lines.push_back(BarLine(c.totalDone, c.totalBytes));
  v.lines.push_back(std::string(w, kSeparator));
  std::snprintf(buf, sizeof buf, "Files/folders processed: %i of %i", c.processedItems, c.totalItems);
  v.lines.push_back(buf);
  v.lines.push_back(std::string(w, kSeparator));
  TimeFigures t = ComputeTime(nowTick - c.startTick, c.totalDone, c.totalBytes);
  v.lines.push_back(TimeLine(t));
  std::snprintf(buf, sizeof buf, "(%i%% ", Percent(c.totalDone, c.totalBytes));
  v.consoleTitle = buf + FormatTime(t.remainingSeconds) + ")";
  return v;
}

// ---- Dialog builder ---------------------------------------------------------------------------

int ShownLength(const std::string& text) {
  int n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') ++i;
      else continue;
    }
    ++n;
  }
  return n;
}

int ItemCells(ItemKind kind, const std::string& text) {
  switch (kind) {
    case ItemKind::Button:
    case ItemKind::CheckBox:
    case ItemKind::RadioButton:
      return ShownLength(text) + 4;
    default:
      return ShownLength(text);
  }
}

DialogLayout::DialogLayout(int width, int height, const std::string& title)
    : contentWidth_(std::max({width, ShownLength(title) + 2, 1})), contentHeight_(std::max(height, 1)) {
  Placed box;
  box.kind = ItemKind::Box;
  items_.push_back(box);
}

int DialogLayout::Add(ItemKind kind, int row, int column, int cells) {
  Placed p;
  p.kind = kind;
  p.row = std::max(row, 1);
  p.cells = std::max(cells, 1);
  p.centred = column == kCentre || kind == ItemKind::Button;
  if (kind == ItemKind::Separator) p.column = 0;
  else if (column == kAfter) {
    // One space after the previous item of the same row, or the row's start.
    int after = 1;
    for (auto it = items_.rbegin(); it != items_.rend(); ++it)
      if (it->kind != ItemKind::Box && it->row == p.row && !it->centred) {
        after = it->column + it->cells + 1;
        break;
      }
    p.column = after;
  } else {
    p.column = std::max(column, 1);
  }
  // A radio button after any other kind of item starts a group.
  p.group = kind == ItemKind::RadioButton && items_.back().kind != ItemKind::RadioButton;
  items_.push_back(p);
  return static_cast<int>(items_.size()) - 1;
}

void DialogLayout::CentreRow(int row, int span, int gap) {
  for (auto& c : centring_)
    if (c.row == row) {
      c.span = std::max(span, 0);
      c.gap = std::max(gap, 1);
      return;
    }
  centring_.push_back({row, std::max(span, 0), std::max(gap, 1)});
}

DialogLayout::RowCentring DialogLayout::CentringOf(int row) const {
  for (const auto& c : centring_)
    if (c.row == row) return c;
  return {row, 0, 1};
}

void DialogLayout::Finish() {
  // Extents: the widest and tallest reach of the items decide the size when beyond the asked one.
  std::vector<int> centredWidth;  // per row: the centred items and the gaps between them; -1: none
  for (auto& p : items_) {
    if (p.kind == ItemKind::Box) continue;
    contentHeight_ = std::max(contentHeight_, p.row);
    if (p.kind == ItemKind::Separator) continue;
    if (p.centred) {
      if (centredWidth.size() <= static_cast<size_t>(p.row)) centredWidth.resize(static_cast<size_t>(p.row) + 1, -1);
      int& w = centredWidth[static_cast<size_t>(p.row)];
      w = w < 0 ? p.cells : w + CentringOf(p.row).gap + p.cells;
    } else {
      contentWidth_ = std::max(contentWidth_, p.column + p.cells - 1);
    }
  }
  for (int w : centredWidth) contentWidth_ = std::max(contentWidth_, w);
  std::vector<int> nextColumn(centredWidth.size(), 0);
  for (size_t r = 0; r < centredWidth.size(); ++r) {
    if (centredWidth[r] <= 0) continue;
    int span = CentringOf(static_cast<int>(r)).span;
    if (span == 0) span = contentWidth_;
    nextColumn[r] = 1 + std::max(0, (span - centredWidth[r]) / 2);
    contentWidth_ = std::max(contentWidth_, nextColumn[r] + centredWidth[r] - 1);
  }
  for (auto& p : items_) {
    if (p.kind == ItemKind::Box) {
      p.x1 = kBoxX;
      p.y1 = kBoxY;
      p.x2 = kBoxX + contentWidth_ + 3;
      p.y2 = kBoxY + contentHeight_ + 1;
      continue;
    }
    if (p.kind == ItemKind::Separator) {
      // From frame to frame.
      p.x1 = kBoxX;
      p.x2 = kBoxX + contentWidth_ + 3;
      p.y1 = p.y2 = p.row + kRowOffset;
      continue;
    }
    if (p.centred) {
      RowCentring c = CentringOf(p.row);
      p.hostCentres = c.span == 0 && c.gap == 1;
      p.column = nextColumn[static_cast<size_t>(p.row)];
      nextColumn[static_cast<size_t>(p.row)] += p.cells + c.gap;
    }
    p.x1 = p.column + kColumnOffset;
    p.x2 = p.x1 + p.cells - 1;
    p.y1 = p.y2 = p.row + kRowOffset;
  }
}

int DialogLayout::FirstFocusable() const {
  for (size_t i = 0; i < items_.size(); ++i) {
    switch (items_[i].kind) {
      case ItemKind::Edit:
      case ItemKind::FixedEdit:
      case ItemKind::Button:
      case ItemKind::CheckBox:
      case ItemKind::RadioButton:
        return static_cast<int>(i);
      default:
        break;
    }
  }
  return -1;
}

}  // namespace handrel::con
