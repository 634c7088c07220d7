// The host stand-in's editor: the file as lines with their own line ends, the cursor and screen
// position, the selection block, undo groups, and the default handling of keys that no plugin
// consumed. HostEditorControl commands (ECTL_*) are answered by Control().
//
// Model rules (the real host's behaviour as plugins see it):
//  - every line but the last ends with its own line end ("\r\n", "\n" or "\r"); the last line has
//    none, so a file ending in a line end shows a final empty line; Text() gives the file back
//    byte for byte (before encoding);
//  - character positions may lie beyond a line's end (the cursor can stand in empty space);
//    screen columns count a tab up to the next multiple of tabSize;
//  - a stream block runs from (start line, start position) to (end line, end position); a column
//    block covers a rectangle of screen columns; ECTL_GETSTRING reports each line's part of it;
//    ECTL_SELECT takes BlockHeight lines from BlockStartLine; a stream block ends on its last line
//    at BlockWidth (at BlockStartPos + BlockWidth when it is one line), a column block covers
//    BlockWidth screen columns from column BlockStartPos;
//  - ECTL_SETPOSITION: -1 leaves a field alone; CurPos wins over CurTabPos when both are given;
//    without TopScreenLine the screen scrolls just enough to show the cursor;
//  - undo: every change outside a group is one undo step; EUR_BEGIN .. EUR_END (nestable) makes
//    one step of everything between; EUR_UNDO restores text, cursor, screen position, block and
//    the modified flag exactly as they were before the step.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "host/kel_plugin.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

struct EditorLine {
  std::wstring text;
  std::wstring eol;  // "\r\n", "\n", "\r" or "" (the last line)
};

struct EditorBlock {
  int type = BTYPE_NONE;
  // Stream: from (startLine, startPos) to (endLine, endPos), endPos exclusive.
  int startLine = 0, startPos = 0, endLine = 0, endPos = 0;
  // Column: lines startLine .. endLine, screen columns startCol .. startCol + width - 1.
  int startCol = 0, width = 0;
};

class Editor {
 public:
  // Loads a file; codePage 0 detects (a BOM, else the ANSI code page), 1200 is UTF-16 LE,
  // 65001 UTF-8, anything else an 8-bit code page. False when the file cannot be read.
  bool Load(const std::wstring& file, UINT codePage);
  // Writes the text back in the file's code page (with the BOM it had); to `file` when given.
  bool Save(const std::wstring& file = std::wstring());
  int Control(int command, int param1, void* param2);  // an ECTL_* command; the host's answer
  // The editor's own handling of a key no plugin consumed: printable characters, Backspace,
  // Tab, Enter, Delete, arrows, Home and End; Shift with a movement key marks a stream block.
  // True when the key did something.
  bool ApplyKey(const EditorKeyEvent& key);
  std::wstring Text() const;           // the whole text with line ends

  // Position/column conversion of line `line` (tabs at their displayed width).
  int RealToTab(int line, int pos) const;
  int TabToReal(int line, int col) const;
  // The part of line `line` inside the block: selStart -1 outside, selEnd -1 to the line's end.
  void LineSelection(int line, int* selStart, int* selEnd) const;
  void SetText(const std::wstring& text);  // replaces the content (lines split at line ends)

  std::wstring fileName;
  UINT codePage = 0;
  bool hasBom = false;
  std::vector<EditorLine> lines{EditorLine{}};
  int curLine = 0, curPos = 0, topLine = 0, leftPos = 0;
  int overtype = 0;
  int tabSize = 8;
  bool expandTabs = false;
  bool autoIndent = false;
  int windowWidth = 80, windowHeight = 23;
  int id = 1;
  bool modified = false;
  int redraws = 0;
  int saves = 0;
  bool quit = false;
  std::wstring title;
  EditorBlock block;
  int undoSteps() const { return static_cast<int>(undo_.size()); }
  int undoGroupDepth() const { return groupDepth_; }  // undo groups begun and not yet ended

 private:
  struct Snapshot {
    std::vector<EditorLine> lines;
    int curLine, curPos, topLine, leftPos, overtype;
    EditorBlock block;
    bool modified;
  };
  void BeforeChange();                 // records an undo step unless a group is open
  void Changed() { modified = true; }
  void ClampCursor();
  void ScrollToCursor();
  void SplitLine(bool keepIndent);     // Enter / ECTL_INSERTSTRING at the cursor
  void DeleteLine(int line);
  void InsertText(const std::wstring& text);
  bool DeleteChar();
  std::wstring DefaultEol() const;
  EditorLine* LineAt(int number);      // -1: the current line; null when out of range

  std::vector<Snapshot> undo_;
  int groupDepth_ = 0;
  bool marking_ = false;               // Shift+movement is extending the block from the anchor
  int anchorLine_ = 0, anchorPos_ = 0;
};

// The host's standard mask matching: a list of masks separated by "," or ";" (a mask in double
// quotes may hold either), "*" and "?" wildcards, compared without regard to case. A name
// without a dot also matches as if it ended in one, so "*.*" matches "Makefile".
bool MatchMaskList(const std::wstring& masks, const std::wstring& name);
// One mask, with no list separators.
bool MatchMask(const std::wstring& mask, const std::wstring& name);

}  // namespace kelhost
