#include "editortools/trimmer/core/trim.h"

#include <new>

namespace snipwell {

size_t TrailingBlanks(const std::u16string& text) {
  size_t n = text.size();
  while (n > 0 && (text[n - 1] == u' ' || text[n - 1] == u'\t')) --n;
  return text.size() - n;
}

int Percentage(uint64_t done, uint64_t total) {
  if (total == 0) return 100;
  if (done > total) done = total;
  return static_cast<int>(done * 100 / total);
}

int TrackCell(int percent) {
  int cell = percent * kTrackCells / 100;
  if (cell < 0) return 0;
  return cell >= kTrackCells ? kTrackCells - 1 : cell;  // 100 % lands on the last cell
}

const std::u16string& BoxRow(int row) {
  static const std::u16string kBlank(kBoxWidth, u' ');
  static const std::u16string kTop = u"  \x2554" + std::u16string(22, u'\x2550') + u"\x2557  ";
  static const std::u16string kTrack = u"  \x2551 " + std::u16string(kTrackCells, u'\x2591') + u" \x2551  ";
  static const std::u16string kBottom = u"  \x255A" + std::u16string(22, u'\x2550') + u"\x255D  ";
  switch (row) {
    case 1: return kTop;
    case 2: return kTrack;
    case 3: return kBottom;
    default: return kBlank;
  }
}

int CaptionColumn(int left, size_t length) { return left + kBoxWidth / 2 - static_cast<int>(length / 2); }

TrimResult TrimTrailing(TrimEditor& editor, TrimProgress& progress) {
  TrimResult result;
  int total = 0;
  EditorPosition saved;
  if (!editor.Info(&total, &saved) || total < 0) {
    result.outcome = TrimResult::Failed;
    return result;
  }
  editor.BeginUndoGroup();
  bool completed = false;
  bool cancelled = false;
  bool failed = false;
  // Every allocation of the walk (the copies of the lines, the progress captions) happens inside
  // this region, so a failed one ends the run here and the clean-up below still runs.
  try {
    progress.Start();
    int shown = 0;
    bool trailingLines = true;  // still inside the run of empty lines at the end
    std::u16string text, eol;
    for (int n = total - 1; n >= 0; --n) {
      uint64_t done = static_cast<uint64_t>(total - n);
      if (done == static_cast<uint64_t>(total)) {
        progress.Complete();
        completed = true;
      }
      int percent = Percentage(done, static_cast<uint64_t>(total));
      if (percent != shown) {
        shown = percent;
        progress.Show(percent, done, static_cast<uint64_t>(total));
      }
      if (progress.EscPressed()) {
        cancelled = true;
        break;
      }
      if (!editor.GoToLine(n) || !editor.CurrentLine(&text, &eol)) continue;
      size_t cut = TrailingBlanks(text);
      if (cut > 0) {
        text.resize(text.size() - cut);
        result.blanksRemoved += cut;
        editor.SetCurrentLine(text, eol);
      }
      if (trailingLines) {
        if (!text.empty()) {
          trailingLines = false;
        } else if (n != total - 1 && editor.DeleteCurrentLine()) {
          ++result.linesRemoved;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  if (!completed) progress.Stop();
  editor.SetPosition(saved);
  editor.EndUndoGroup();
  if (cancelled) editor.UndoGroup();
  editor.Redraw();
  if (failed)
    result.outcome = TrimResult::Failed;
  else if (cancelled)
    result.outcome = TrimResult::Cancelled;
  return result;
}

}  // namespace snipwell
