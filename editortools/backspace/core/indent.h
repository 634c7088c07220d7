// Backspace and Tab that follow the indentation of the lines above. The plugin hands every
// editor key event to HandleIndentKey through a small editor seam; everything the keys decide
// lives here, so it runs the same against the host and against a test editor.
#pragma once

#include <cstdint>
#include <string>

namespace rubato {

// Console key-event types: a key event, and the same event replayed by the host's macro engine.
constexpr int kKeyEvent = 1;
constexpr int kReplayedKeyEvent = 0x8001;
// Right Alt, left Alt, right Ctrl, left Ctrl, Shift: with any of them held the key is the editor's.
constexpr uint32_t kModifierMask = 0x1F;

struct IndentKey {
  int eventType = kKeyEvent;
  bool keyDown = true;
  uint32_t controlState = 0;
  char16_t ch = 0;  // the key's character
};

// What the tool needs of the editor. Line numbers count from 0; -1 is the cursor's line.
class IndentEditor {
 public:
  virtual ~IndentEditor() = default;
  // The cursor: line, character position and screen column. False when the editor cannot say.
  virtual bool Cursor(int* line, int* pos, int* column) = 0;
  // The text of a line (without its line end). False when there is no such line.
  virtual bool Line(int number, std::u16string* text) = 0;
  // The screen column of character position `pos` of line `number` (tabs at their width).
  virtual int Column(int number, int pos) = 0;
  // Replaces the cursor line's text, keeping its line end.
  virtual bool SetCursorLine(const std::u16string& text) = 0;
  // Moves the cursor to screen column `column` of its line, everything else unchanged.
  virtual void SetCursorColumn(int column) = 0;
  virtual void Redraw() = 0;
};

// Handles one input event. Returns true when the event is consumed (the editor must not see
// it), false to leave it to the editor. `smartTab` enables the Tab behaviour.
bool HandleIndentKey(IndentEditor& editor, const IndentKey& key, bool smartTab);

// Index of the first character that is not a space or tab, or npos for an empty or blank text.
size_t FirstNonBlank(const std::u16string& text);

}  // namespace rubato
