// The host editor as the editor plugins use it: one place that knows which record each editor
// command takes and how the host's answers read, so every plugin's editor seam is a few lines.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "host/kel_plugin.h"

namespace kel {

// A line as the host hands it out, copied (the host's pointers live only until its next call).
struct EditorLineCopy {
  std::u16string text;
  std::u16string eol;
  int selStart = -1;  // -1: the line is outside the selection
  int selEnd = -1;    // -1: the selection runs past the line's end
};

class HostEditorCalls {
 public:
  explicit HostEditorCalls(HostEditorControlFn control) : control_(control) {}

  bool Ready() const { return control_ != nullptr; }

  // The editor's state; false when the host gives none.
  bool Info(EditorInfoW* info) const {
    *info = EditorInfoW{};
    return Call(ECTL_GETINFO, info) != 0;
  }
  // The cursor to character 0 of `line`, everything else unchanged.
  bool GoToLine(int line) const {
    EditorSetPositionW pos{line, 0, -1, -1, -1, -1};
    return Call(ECTL_SETPOSITION, &pos) != 0;
  }
  // Line `number` (-1: the current one). False when the host has no such line. The copy may
  // throw std::bad_alloc.
  bool GetLine(int number, EditorLineCopy* line) const {
    EditorGetStringW get{};
    get.StringNumber = number;
    if (!Call(ECTL_GETSTRING, &get) || get.StringLength < 0 || (get.StringLength > 0 && !get.StringText)) return false;
    line->text.assign(reinterpret_cast<const char16_t*>(get.StringText), static_cast<size_t>(get.StringLength));
    if (get.StringEOL)
      line->eol.assign(reinterpret_cast<const char16_t*>(get.StringEOL));
    else
      line->eol.clear();
    line->selStart = get.SelStart;
    line->selEnd = get.SelEnd;
    return true;
  }
  // The current line's text; `eol` null keeps the line's own line end.
  bool SetLine(const std::u16string& text, const std::u16string* eol) const {
    EditorSetStringW set{-1, reinterpret_cast<const wchar_t*>(text.c_str()),
                         eol ? reinterpret_cast<const wchar_t*>(eol->c_str()) : nullptr,
                         static_cast<int>(text.size())};
    return Call(ECTL_SETSTRING, &set) != 0;
  }
  bool DeleteLine() const { return Call(ECTL_DELETESTRING, nullptr) != 0; }
  void SetPosition(const EditorSetPositionW& position) const {
    EditorSetPositionW pos = position;
    Call(ECTL_SETPOSITION, &pos);
  }
  // The screen column of character `pos` of line `line` (tabs at their displayed width).
  int TabColumn(int line, int pos) const {
    EditorConvertPosW convert{line, pos, pos};
    Call(ECTL_REALTOTAB, &convert);
    return convert.DestPos;
  }
  // A stream block from character 0 of `firstLine` to character 0 of `endLine`.
  void SelectLines(int firstLine, int endLine) const {
    EditorSelectW select{BTYPE_STREAM, firstLine, 0, 0, endLine - firstLine + 1};
    Call(ECTL_SELECT, &select);
  }
  void Undo(int command) const {
    EditorUndoRedoW undo{command, {0, 0, 0}};
    Call(ECTL_UNDOREDO, &undo);
  }
  void Redraw() const { Call(ECTL_REDRAW, nullptr); }
  // The edited file's name; empty when the host gives none.
  std::wstring FileName() const {
    int length = Call(ECTL_GETFILENAME, nullptr);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> name(static_cast<size_t>(length) + 1, L'\0');
    if (!Call(ECTL_GETFILENAME, name.data())) return std::wstring();
    return name.data();
  }

 private:
  int Call(int command, void* param) const { return control_ ? control_(command, 0, param) : 0; }
  HostEditorControlFn control_;
};

}  // namespace kel
