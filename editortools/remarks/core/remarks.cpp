#include "editortools/remarks/core/remarks.h"

namespace glossa {

std::optional<std::u16string> ChooseComment(const RemarkSettings& settings, const std::u16string& fileName,
                                            const MaskMatcher& matches) {
  if (!matches(settings.fallback.mask, fileName)) return std::nullopt;
  for (const RemarkType& type : settings.types) {
    if (type.mask.empty()) continue;
    if (matches(type.mask, fileName)) return type.comment;  // the first match wins
  }
  return settings.fallback.comment;
}

std::optional<std::u16string> ToggleLine(RemarkAction action, const std::u16string& comment,
                                         const std::u16string& line) {
  if (comment.empty()) return std::nullopt;  // nothing to add or take away
  if (action == RemarkAction::Add) return comment + line;
  if (line.compare(0, comment.size(), comment) == 0) return line.substr(comment.size());
  return std::nullopt;
}

int ApplyRemark(RemarkEditor& editor, RemarkAction action, const std::u16string& comment) {
  RemarkCursor cursor;
  int total = 0, blockStart = -1;
  if (!editor.Info(&cursor, &total, &blockStart)) return 0;
  editor.BeginUndoGroup();
  int first = blockStart >= 0 ? blockStart : cursor.curLine;
  int last = first - 1;
  int changed = 0;
  try {
    for (int n = first; n < total; ++n) {
      RemarkLine line;
      if (!editor.GoToLine(n) || !editor.CurrentLine(&line)) break;
      // A block goes on while each line lies in it (a part that is not empty).
      if (blockStart >= 0 && (line.selStart == -1 || line.selStart == line.selEnd)) break;
      last = n;
      if (auto text = ToggleLine(action, comment, line.text)) {
        if (editor.SetCurrentLine(*text, line.eol)) ++changed;
      }
      if (blockStart < 0) break;  // without a block only the cursor line
    }
  } catch (...) {
    // Memory ran out on a line: what changed so far stays one undo step, the cursor goes back,
    // and the caller reports the failure.
    editor.Restore(cursor);
    editor.EndUndoGroup();
    throw;
  }
  editor.Restore(cursor);
  if (changed > 0) editor.SelectLines(first, last + 1);
  editor.EndUndoGroup();
  return changed;
}

std::u16string TrimBlanks(const std::u16string& text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == u' ' || text[b] == u'\t')) ++b;
  while (e > b && (text[e - 1] == u' ' || text[e - 1] == u'\t')) --e;
  return text.substr(b, e - b);
}

}  // namespace glossa
