#include "devicebrowser/common/console/core/popup.h"

#include <utility>

namespace handrel::con {

int ShowMessage(Console& console, const char* title, const char* text, const char* buttons, bool warning) {
  MessageItems m = BuildMessage(title, text, buttons);
  return console.Message(m.items, m.buttons, warning);
}

int CheckEscape(Console& console) {
  if (console.PendingInput() <= 0) return 0;
  bool escape = false;
  for (const InputEvent& e : console.ReadInput(kEscapeEventsPerCheck))
    if (e.keyEvent && e.keyDown && e.virtualKey == kVkEscape) escape = true;
  if (!escape) return 0;
  if (ShowMessage(console, nullptr, "Cancel operation?", "&Yes\n&No", true) == 0) return 1;
  console.FlushInput();
  return 0;
}

namespace {

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (size_t i = 0; i < lines.size(); ++i) s += (i ? " " : "") + lines[i];
  return s;
}

}  // namespace

Popup::Popup(Console& console, std::string title, std::vector<std::string> lines, int minContentWidth, uint32_t flags,
             int color)
    : console_(console),
      title_(std::move(title)),
      lines_(std::move(lines)),
      minContentWidth_(minContentWidth),
      flags_(flags),
      color_(color ? color : kPopupColor) {
  consoleTitle_ = title_ + " (" + JoinLines(lines_) + ")";
  saved_ = console_.SaveScreen();
  savedTitle_ = console_.SaveTitle();
  int cols = 0, rows = 0;
  if (console_.WindowSize(cols, rows) && cols > 0 && rows > 0) {
    cols_ = cols;
    rows_ = rows;
  }
  Draw();
}

Popup::~Popup() {
  console_.RestoreScreen(saved_);
  console_.RestoreTitle(savedTitle_);
}

void Popup::SetLines(std::vector<std::string> lines, const std::string* consoleTitle) {
  lines_ = std::move(lines);
  consoleTitle_ = consoleTitle ? *consoleTitle : title_ + " (" + JoinLines(lines_) + ")";
  Draw();
}

void Popup::Draw() {
  int maxText = cols_ - kPopupOverhead;
  std::vector<std::string> shown = lines_;
  for (auto& l : shown)
    if (maxText > 0 && l.size() > static_cast<size_t>(maxText)) l.resize(static_cast<size_t>(maxText));
  Rect box = PlacePopup(title_, shown, minContentWidth_, cols_, rows_);
  // A box of another size leaves the old one (and its shadow) behind: clear it with the saved screen.
  if (drawn_ && !(box == box_) && saved_) {
    console_.RestoreScreen(saved_);
    saved_ = console_.SaveScreen();
  }
  box_ = box;
  drawn_ = true;
  std::vector<std::string> rows = PopupRows(title_, shown, box_.Width());
  for (size_t i = 0; i < rows.size(); ++i) console_.Text(box_.x1, box_.y1 + static_cast<int>(i), color_, rows[i]);
  shadowShown_ = false;
  if (!(flags_ & kNoShadow)) DrawShadow();
  console_.SetTitle(consoleTitle_);
  console_.Flush();
}

void Popup::DrawShadow() {
  if (readFailed_) return;
  std::vector<Rect> parts = ShadowRects(box_, cols_, rows_);
  std::vector<std::vector<Cell>> cells(parts.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!console_.ReadCells(parts[i], cells[i])) {
      readFailed_ = true;
      ShowMessage(console_, "CPop", "Can't read console!", nullptr, true);
      return;
    }
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    const Rect& r = parts[i];
    size_t w = static_cast<size_t>(r.Width());
    if (cells[i].size() < w * static_cast<size_t>(r.Height())) continue;
    for (int y = 0; y < r.Height(); ++y) {
      // One Text call per run of equal shadow colour.
      size_t x = 0;
      while (x < w) {
        const Cell* row = &cells[i][static_cast<size_t>(y) * w];
        uint16_t attr = ShadowAttribute(row[x].attr);
        std::string run;
        size_t start = x;
        while (x < w && ShadowAttribute(row[x].attr) == attr) run += row[x++].ch;
        console_.Text(r.x1 + static_cast<int>(start), r.y1 + y, attr, run);
      }
    }
  }
  shadowShown_ = true;
}

namespace {

ProgressCounters Started(Console& console, const std::string& verb, int totalItems, uint64_t totalBytes) {
  ProgressCounters c;
  c.verb = verb;
  c.totalItems = totalItems;
  c.totalBytes = totalBytes;
  c.startTick = console.Tick();
  return c;
}

}  // namespace

Progress::Progress(Console& console, const std::string& verb, int totalItems, uint64_t totalBytes)
    : console_(console),
      counters_(Started(console, verb, totalItems, totalBytes)),
      popup_(console, verb, ProgressLines(counters_, counters_.startTick).lines, kProgressWidth) {
  Redraw();
}

void Progress::Redraw() {
  ProgressView v = ProgressLines(counters_, console_.Tick());
  popup_.SetLines(v.lines, &v.consoleTitle);
}

void Progress::StartFile(const std::string& source, const std::string& target, uint64_t size) {
  con::StartFile(counters_, source, target, size);
}

void Progress::AddBytes(uint64_t bytes) {
  con::AddBytes(counters_, bytes);
  Redraw();
}

void Progress::SetFileSize(uint64_t size) {
  counters_.fileSize = size;
  Redraw();
}

}  // namespace handrel::con
