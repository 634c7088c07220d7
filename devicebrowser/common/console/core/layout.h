// Layout of the console helpers: message lines, the popup box and its shadow, the progress
// window's lines and the dialog builder's item placement. Pure functions; the drawing is the
// shell's (see screen.h for the seam).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace handrel::con {

// ---- Messages ---------------------------------------------------------------------------------

constexpr size_t kMessageTextLines = 98;    // text lines of one message
constexpr size_t kMessageLineWidth = 254;   // characters of a line counted for the width
constexpr size_t kMessageItems = 100;       // title, text and buttons together

// The parts of a text between breaks: a run of CR and LF characters is one break, so "a\r\nb",
// "a\nb" and "a\n\r\n\rb" give the same two lines; no empty line comes of a break.
std::vector<std::string> SplitLines(const char* text);

// The host message's items: the title (empty when null), the text lines (at most 98, each cut to
// 254 characters), then the buttons (split the same way; one "OK" when null or empty). At most
// 100 items in all: the buttons are kept whole and the text gives way, so every message can be
// answered.
struct MessageItems {
  std::vector<std::string> items;
  int buttons = 0;  // the last `buttons` items
};
MessageItems BuildMessage(const char* title, const char* text, const char* buttons);

// ---- Popup ------------------------------------------------------------------------------------

struct Rect {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int Width() const { return x2 - x1 + 1; }
  int Height() const { return y2 - y1 + 1; }
  bool operator==(const Rect& o) const { return x1 == o.x1 && y1 == o.y1 && x2 == o.x2 && y2 == o.y2; }
};

// OEM box characters and the popup's colours.
constexpr char kCornerTL = '\xC9', kCornerTR = '\xBB', kCornerBL = '\xC8', kCornerBR = '\xBC';
constexpr char kHorizontal = '\xCD', kVertical = '\xBA', kSeparator = '\xC4';
constexpr int kPopupColor = 0x70;  // black on grey
constexpr int kDefaultColumns = 80, kDefaultRows = 25;
// Frame and one space on each side of the content, and the shadow's two columns.
constexpr int kPopupOverhead = 6;

// The box of a popup in a console of cols x rows: content as wide as the widest of the title (with
// a space on each side) and the lines, at least minContentWidth, at most cols - 6; centred.
Rect PlacePopup(const std::string& title, const std::vector<std::string>& lines, int minContentWidth, int cols,
                int rows);

// The rows of the box, each as wide as the box: the top border with " title " centred in it, one
// row per line (cut to the content width, padded with spaces), the bottom border.
std::vector<std::string> PopupRows(const std::string& title, const std::vector<std::string>& lines, int boxWidth);

// The cells the shadow covers (two columns right of the box from its second row down to one row
// below it, and the row below it from its third column), clipped to the console; empty rects
// dropped.
std::vector<Rect> ShadowRects(const Rect& box, int cols, int rows);

// A cell in shadow: its foreground cut to the three low bits, on black.
inline uint16_t ShadowAttribute(uint16_t attribute) { return static_cast<uint16_t>(attribute & 0x07); }

// ---- Progress window --------------------------------------------------------------------------

// What the caller of a copy or move keeps current; the window draws from it.
struct ProgressCounters {
  std::string verb;       // the operation's verb text ("Copy", "Mov"): title, and "<verb>ing the file"
  std::string source;     // source name (OEM)
  std::string target;     // target name (OEM)
  uint64_t fileSize = 0;  // the current file
  uint64_t fileDone = 0;
  uint64_t totalBytes = 0;
  uint64_t totalDone = 0;
  int totalItems = 0;
  int processedItems = 0;
  uint32_t startTick = 0;  // tick count (ms) when the operation started
};

// The counter operations of the transfer code.
void StartFile(ProgressCounters& c, const std::string& source, const std::string& target, uint64_t size);
void AddBytes(ProgressCounters& c, uint64_t bytes);

constexpr int kProgressWidth = 46;  // the bar and its percent; the time line
constexpr int kProgressLines = 11;

// A name shortened to `width` characters: "..." and its last width - 3 characters.
std::string ShortenName(const std::string& name, size_t width);

struct ProgressView {
  std::vector<std::string> lines;  // the eleven lines
  std::string consoleTitle;        // "(42% 00:01:23)"
};
ProgressView ProgressLines(const ProgressCounters& c, uint32_t nowTick);

// ---- Dialog builder ---------------------------------------------------------------------------

enum class ItemKind { Box, Text, Edit, FixedEdit, Button, CheckBox, RadioButton, Separator };

// Cells a text takes on screen: its "&" hot-key marks are not shown ("&&" shows one "&").
int ShownLength(const std::string& text);

// Places the items of a dialog. Rows and columns count from 1 inside the box; an item at row r,
// column c lands at dialog cell (c + 4, r + 1). The box is a double box at column 3, row 1.
class DialogLayout {
 public:
  static constexpr int kAfter = -1;   // one space after the row's previous item
  static constexpr int kCentre = -2;  // centred with the row's other centred items
  static constexpr int kColumnOffset = 4, kRowOffset = 1, kBoxX = 3, kBoxY = 1;

  DialogLayout(int width, int height, const std::string& title);

  // cells: the item's width on screen (its text with brackets, or an edit's width).
  int Add(ItemKind kind, int row, int column, int cells);
  // The centred items of `row` are centred within its first `span` columns, `gap` columns apart,
  // instead of across the whole dialog one column apart (span 0: the dialog's width).
  void CentreRow(int row, int span, int gap);

  struct Placed {
    ItemKind kind = ItemKind::Text;
    int row = 0, column = 0, cells = 0;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool group = false;  // the first radio button of a group
    bool centred = false;
    bool hostCentres = false;  // centred across the whole dialog, which a host may redo itself
  };
  // Places every item (centred ones once the width is known) and sizes the dialog.
  void Finish();
  const std::vector<Placed>& Items() const { return items_; }
  int DialogWidth() const { return contentWidth_ + 2 * kBoxX + 4; }
  int DialogHeight() const { return contentHeight_ + 2 * kBoxY + 2; }
  int ContentWidth() const { return contentWidth_; }
  int ContentHeight() const { return contentHeight_; }
  // The first item that can take the focus (edits, buttons, check and radio buttons), or -1.
  int FirstFocusable() const;

 private:
  struct RowCentring {
    int row, span, gap;
  };
  RowCentring CentringOf(int row) const;
  std::vector<Placed> items_;
  std::vector<RowCentring> centring_;
  int contentWidth_, contentHeight_;
};

// Cells of an item on screen for its text: buttons "[ text ]", check boxes "[ ] text", radio
// buttons "( ) text".
int ItemCells(ItemKind kind, const std::string& text);

}  // namespace handrel::con
