#include "editortools/backspace/core/indent.h"

#include <new>

namespace rubato {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

enum class Mode { Backspace, Tab };

}  // namespace

size_t FirstNonBlank(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i)
    if (!IsBlank(text[i])) return i;
  return std::u16string::npos;
}

bool HandleIndentKey(IndentEditor& editor, const IndentKey& key, bool smartTab) {
  if (key.eventType != kKeyEvent && key.eventType != kReplayedKeyEvent) return false;
  if (key.controlState & kModifierMask) return false;
  Mode mode;
  if (key.ch == 8)
    mode = Mode::Backspace;
  else if (key.ch == 9 && smartTab)
    mode = Mode::Tab;
  else
    return false;

  int curLine = 0, curPos = 0, curColumn = 0;
  if (!editor.Cursor(&curLine, &curPos, &curColumn)) return false;
  if (curLine == 0) return false;
  if (mode == Mode::Backspace && curPos == 0) return false;

  std::u16string current;
  if (!editor.Line(-1, &current)) return false;
  size_t first = FirstNonBlank(current);
  // Only at the start of the line's text (or anywhere on a blank line) do the keys change meaning.
  if (first != std::u16string::npos && first != static_cast<size_t>(curPos)) return false;

  // The release of a key handled on its press must not reach the editor either.
  if (!key.keyDown) return true;

  int target = 0;
  int reference = -1;
  std::u16string referenceText;
  for (int n = curLine - 1; n >= 0; --n) {
    std::u16string text;
    if (!editor.Line(n, &text)) continue;
    size_t f = FirstNonBlank(text);
    if (f == std::u16string::npos) continue;  // empty and blank lines do not count
    int column = editor.Column(n, static_cast<int>(f));
    if (mode == Mode::Tab) {
      if (column <= curColumn) return false;  // the nearest text above is not deeper: a plain Tab
      reference = n;
    } else if (column < curColumn) {
      reference = n;
    }
    if (reference >= 0) {
      target = column;
      referenceText = std::move(text);
      break;
    }
  }
  if (mode == Mode::Tab && reference < 0) return false;

  try {
    if (first != std::u16string::npos) {
      std::u16string line;
      if (reference >= 0) line = referenceText.substr(0, FirstNonBlank(referenceText));
      line.append(current, first, std::u16string::npos);
      if (!editor.SetCursorLine(line)) return false;
    } else if (!current.empty()) {
      if (!editor.SetCursorLine(std::u16string())) return false;
    }
  } catch (const std::bad_alloc&) {
    return false;  // the line stays as it was; the editor handles the key
  }
  editor.SetCursorColumn(target);
  editor.Redraw();
  return true;
}

}  // namespace rubato
