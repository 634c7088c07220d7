// Line comments by file type: which comment string applies to a file, and adding or removing
// it on the cursor line or on every line of the selected block, through a small editor seam.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace glossa {

// A named file type: its masks (the host's mask-list syntax) and its comment string.
struct RemarkType {
  std::u16string name;
  std::u16string mask = u"*.*";
  std::u16string comment = u"//";
};

struct RemarkSettings {
  RemarkType fallback;             // the default entry (its name is not used)
  std::vector<RemarkType> types;   // in the order the settings store enumerates them
};

// The host's mask matching: true when `name` matches the list `masks`.
using MaskMatcher = std::function<bool(const std::u16string& masks, const std::u16string& name)>;

// The comment string for `fileName`: nullopt when the default entry's masks do not match it
// (then nothing is done at all); otherwise the first type with a non-empty mask matching the
// name, or the default entry's comment.
std::optional<std::u16string> ChooseComment(const RemarkSettings& settings, const std::u16string& fileName,
                                            const MaskMatcher& matches);

enum class RemarkAction { Add, Remove };

// The new text of a line, or nullopt when the line stays as it is. Removing takes the comment
// away only when the line starts with it at character 0.
std::optional<std::u16string> ToggleLine(RemarkAction action, const std::u16string& comment,
                                         const std::u16string& line);

// Where the cursor and the screen stood before the change.
struct RemarkCursor {
  int curLine = 0, curPos = 0, topScreenLine = 0, leftPos = 0, overtype = 0;
};

struct RemarkLine {
  std::u16string text, eol;
  int selStart = -1, selEnd = -1;  // the line's part of the block (-1: outside / to the end)
};

class RemarkEditor {
 public:
  virtual ~RemarkEditor() = default;
  // Cursor and screen, the number of lines, and the block's first line (-1: no block).
  virtual bool Info(RemarkCursor* cursor, int* totalLines, int* blockStartLine) = 0;
  virtual bool GoToLine(int line) = 0;  // cursor to character 0 of the line
  virtual bool CurrentLine(RemarkLine* line) = 0;
  virtual bool SetCurrentLine(const std::u16string& text, const std::u16string& eol) = 0;
  virtual void Restore(const RemarkCursor& cursor) = 0;
  // A stream block from character 0 of `firstLine` to character 0 of `endLine`.
  virtual void SelectLines(int firstLine, int endLine) = 0;
  virtual void BeginUndoGroup() = 0;
  virtual void EndUndoGroup() = 0;
};

// Applies the action to the cursor line, or to the lines of the block. Returns the number of
// lines changed. When memory runs out on a line, the cursor is put back and the undo group closed
// before std::bad_alloc goes on to the caller.
int ApplyRemark(RemarkEditor& editor, RemarkAction action, const std::u16string& comment);

// Surrounding spaces and tabs removed (type names typed in the edit dialog).
std::u16string TrimBlanks(const std::u16string& text);

}  // namespace glossa
