// Removal of trailing blanks (spaces and tabs) from every line and of the empty lines at the end
// of the file but the very last one. The plugin supplies the editor and the progress display
// through two small seams; the walk, its decisions and its counts live here.
#pragma once

#include <cstdint>
#include <string>

namespace snipwell {

// Where the cursor and screen stood, so the run can put them back.
struct EditorPosition {
  int curLine = -1, curPos = -1, curTabPos = -1, topScreenLine = -1, leftPos = -1, overtype = -1;
};

class TrimEditor {
 public:
  virtual ~TrimEditor() = default;
  virtual bool Info(int* totalLines, EditorPosition* position) = 0;
  virtual bool GoToLine(int line) = 0;  // cursor to the line, character 0
  virtual bool CurrentLine(std::u16string* text, std::u16string* eol) = 0;
  virtual bool SetCurrentLine(const std::u16string& text, const std::u16string& eol) = 0;
  virtual bool DeleteCurrentLine() = 0;
  virtual void SetPosition(const EditorPosition& position) = 0;
  virtual void BeginUndoGroup() = 0;
  virtual void EndUndoGroup() = 0;
  virtual void UndoGroup() = 0;
  virtual void Redraw() = 0;
};

class TrimProgress {
 public:
  virtual ~TrimProgress() = default;
  virtual void Start() = 0;                                  // box drawn, taskbar indeterminate
  virtual void Complete() = 0;                               // the last line was reached
  virtual void Stop() = 0;                                   // the run ended before: taskbar state none
  virtual void Show(int percent, uint64_t done, uint64_t total) = 0;  // a new percentage
  virtual bool EscPressed() = 0;                             // drains pending input
};

struct TrimResult {
  enum Outcome { Done, Cancelled, Failed } outcome = Done;
  uint64_t blanksRemoved = 0;
  uint64_t linesRemoved = 0;
};

// Runs over the whole file from the last line up. Cancelled runs are undone completely;
// Failed means the editor could not describe itself or memory ran out; a run that runs out of
// memory stops at once, keeping what it changed so far as one undo step. Whatever the outcome,
// the cursor and screen are put back, the undo group is closed and the progress is ended.
TrimResult TrimTrailing(TrimEditor& editor, TrimProgress& progress);

// The number of spaces and tabs at the end of `text`.
size_t TrailingBlanks(const std::u16string& text);

// Progress arithmetic: the percentage of `done` out of `total`, and the track cell (0..19) that
// a percentage fills on the 20-cell track.
int Percentage(uint64_t done, uint64_t total);
int TrackCell(int percent);

// The progress box: five rows of 28 cells.
constexpr int kBoxWidth = 28;
constexpr int kBoxHeight = 5;
constexpr int kTrackCells = 20;
constexpr int kTrackOffset = 4;  // the track's first cell, counted from the box's left edge
const std::u16string& BoxRow(int row);
constexpr char16_t kTrackFilled = u'\x2588';
// The column where a caption of `length` cells starts, centred on the box at `left`.
int CaptionColumn(int left, size_t length);

}  // namespace snipwell
