// The stand-in editor: the model behind HostEditorControl and the editor's own key handling,
// plus the host's mask matching used by the standard functions.
#include "standins/kelhost/editor.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace kelhost {

namespace {

constexpr int kMaxTabSize = 512;

std::vector<EditorLine> SplitLines(const std::wstring& text) {
  std::vector<EditorLine> out;
  EditorLine line;
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\r' || c == L'\n') {
      if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
        line.eol = L"\r\n";
        ++i;
      } else {
        line.eol = std::wstring(1, c);
      }
      out.push_back(std::move(line));
      line = EditorLine{};
    } else {
      line.text.push_back(c);
    }
  }
  out.push_back(std::move(line));  // the last line has no line end
  return out;
}

bool ReadFileBytes(const std::wstring& file, std::string* bytes) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char buf[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(h, buf, sizeof buf, &got, nullptr) != FALSE) && got > 0) bytes->append(buf, got);
  CloseHandle(h);
  return ok;
}

bool WriteFileBytes(const std::wstring& file, const std::string& bytes) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  bool ok = bytes.empty() || (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
                              put == bytes.size());
  CloseHandle(h);
  return ok;
}

wchar_t Upper(wchar_t c) {
  return static_cast<wchar_t>(reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(c)))));
}

// Wildcard match with backtracking over the last "*" (linear in practice, no recursion).
bool Wild(const std::wstring& mask, const std::wstring& name) {
  size_t m = 0, n = 0, starM = std::wstring::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == L'*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() && (mask[m] == L'?' || Upper(mask[m]) == Upper(name[n]))) {
      ++m;
      ++n;
    } else if (starM != std::wstring::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == L'*') ++m;
  return m == mask.size();
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

bool MatchMask(const std::wstring& mask, const std::wstring& name) {
  if (Wild(mask, name)) return true;
  return name.find(L'.') == std::wstring::npos && Wild(mask, name + L".");
}

bool MatchMaskList(const std::wstring& masks, const std::wstring& name) {
  size_t i = 0;
  while (i < masks.size()) {
    while (i < masks.size() && (IsBlank(masks[i]) || masks[i] == L',' || masks[i] == L';')) ++i;
    if (i >= masks.size()) break;
    std::wstring mask;
    if (masks[i] == L'"') {
      size_t close = masks.find(L'"', i + 1);
      if (close == std::wstring::npos) close = masks.size();
      mask = masks.substr(i + 1, close - i - 1);
      i = close + 1;
      while (i < masks.size() && masks[i] != L',' && masks[i] != L';') ++i;
    } else {
      size_t end = masks.find_first_of(L",;", i);
      if (end == std::wstring::npos) end = masks.size();
      mask = masks.substr(i, end - i);
      while (!mask.empty() && IsBlank(mask.back())) mask.pop_back();
      i = end;
    }
    if (!mask.empty() && MatchMask(mask, name)) return true;
  }
  return false;
}

// ---- Load and save ----------------------------------------------------------------------------

bool Editor::Load(const std::wstring& file, UINT cp) {
  std::string bytes;
  if (!ReadFileBytes(file, &bytes)) return false;
  hasBom = false;
  std::wstring text;
  size_t skip = 0;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE &&
      (cp == 0 || cp == 1200)) {
    cp = 1200;
    hasBom = true;
    skip = 2;
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 && (cp == 0 || cp == CP_UTF8)) {
    cp = CP_UTF8;
    hasBom = true;
    skip = 3;
  } else if (cp == 0) {
    cp = GetACP();
  }
  if (cp == 1200) {
    size_t count = (bytes.size() - skip) / 2;
    text.resize(count);
    for (size_t i = 0; i < count; ++i) {
      text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[skip + 2 * i]) |
                                     (static_cast<unsigned char>(bytes[skip + 2 * i + 1]) << 8));
    }
  } else if (bytes.size() > skip) {
    const char* src = bytes.data() + skip;
    int srcLen = static_cast<int>(bytes.size() - skip);
    int need = MultiByteToWideChar(cp, 0, src, srcLen, nullptr, 0);
    if (need <= 0) return false;
    text.resize(static_cast<size_t>(need));
    MultiByteToWideChar(cp, 0, src, srcLen, text.data(), need);
  }
  fileName = file;
  codePage = cp;
  SetText(text);
  undo_.clear();
  groupDepth_ = 0;
  modified = false;
  return true;
}

bool Editor::Save(const std::wstring& file) {
  std::wstring text = Text();
  std::string bytes;
  if (codePage == 1200) {
    if (hasBom) bytes = "\xFF\xFE";
    for (wchar_t c : text) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
  } else {
    if (hasBom && codePage == CP_UTF8) bytes = "\xEF\xBB\xBF";
    if (!text.empty()) {
      int need = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                     nullptr);
      if (need <= 0) return false;
      size_t at = bytes.size();
      bytes.resize(at + static_cast<size_t>(need));
      WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data() + at, need, nullptr,
                          nullptr);
    }
  }
  const std::wstring& target = file.empty() ? fileName : file;
  if (!WriteFileBytes(target, bytes)) return false;
  fileName = target;
  modified = false;
  ++saves;
  return true;
}

std::wstring Editor::Text() const {
  std::wstring out;
  for (const EditorLine& l : lines) out += l.text + l.eol;
  return out;
}

void Editor::SetText(const std::wstring& text) {
  lines = SplitLines(text);
  curLine = curPos = topLine = leftPos = 0;
  block = EditorBlock{};
}

// ---- Positions --------------------------------------------------------------------------------

int Editor::RealToTab(int line, int pos) const {
  if (line < 0 || line >= static_cast<int>(lines.size()) || pos < 0) return pos;
  const std::wstring& t = lines[static_cast<size_t>(line)].text;
  int col = 0;
  int n = std::min(pos, static_cast<int>(t.size()));
  for (int i = 0; i < n; ++i) col = t[static_cast<size_t>(i)] == L'\t' ? col + tabSize - col % tabSize : col + 1;
  return col + (pos - n);
}

int Editor::TabToReal(int line, int col) const {
  if (line < 0 || line >= static_cast<int>(lines.size()) || col < 0) return col;
  const std::wstring& t = lines[static_cast<size_t>(line)].text;
  int at = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    int next = t[i] == L'\t' ? at + tabSize - at % tabSize : at + 1;
    if (col < next) return static_cast<int>(i);  // inside this character's cells
    at = next;
  }
  return static_cast<int>(t.size()) + (col - at);
}

void Editor::LineSelection(int line, int* selStart, int* selEnd) const {
  *selStart = -1;
  *selEnd = -1;
  if (block.type == BTYPE_STREAM) {
    if (line < block.startLine || line > block.endLine) return;
    *selStart = line == block.startLine ? block.startPos : 0;
    *selEnd = line == block.endLine ? block.endPos : -1;
  } else if (block.type == BTYPE_COLUMN) {
    if (line < block.startLine || line > block.endLine) return;
    *selStart = TabToReal(line, block.startCol);
    *selEnd = TabToReal(line, block.startCol + block.width);
  }
}

EditorLine* Editor::LineAt(int number) {
  if (number == -1) number = curLine;
  if (number < 0 || number >= static_cast<int>(lines.size())) return nullptr;
  return &lines[static_cast<size_t>(number)];
}

void Editor::ClampCursor() {
  curLine = std::clamp(curLine, 0, static_cast<int>(lines.size()) - 1);
  curPos = std::max(curPos, 0);
}

void Editor::ScrollToCursor() {
  if (curLine < topLine) topLine = curLine;
  if (curLine >= topLine + windowHeight) topLine = curLine - windowHeight + 1;
  topLine = std::max(topLine, 0);
}

std::wstring Editor::DefaultEol() const {
  for (const EditorLine& l : lines)
    if (!l.eol.empty()) return l.eol;
  return L"\r\n";
}

// ---- Changes ----------------------------------------------------------------------------------

void Editor::BeforeChange() {
  if (groupDepth_ > 0) return;
  undo_.push_back(Snapshot{lines, curLine, curPos, topLine, leftPos, overtype, block, modified});
}

void Editor::SplitLine(bool keepIndent) {
  EditorLine& cur = lines[static_cast<size_t>(curLine)];
  size_t at = std::min(static_cast<size_t>(curPos), cur.text.size());
  EditorLine tail{cur.text.substr(at), cur.eol};
  std::wstring indent;
  if (keepIndent) {
    size_t n = 0;
    while (n < cur.text.size() && IsBlank(cur.text[n])) ++n;
    indent = cur.text.substr(0, std::min(n, at));
  }
  tail.text = indent + tail.text;
  cur.text.resize(at);
  cur.eol = DefaultEol();
  if (cur.eol.empty()) cur.eol = L"\r\n";
  lines.insert(lines.begin() + curLine + 1, std::move(tail));
  if (block.type != BTYPE_NONE && block.endLine > curLine) {
    if (block.startLine > curLine) ++block.startLine;
    ++block.endLine;
  }
  ++curLine;
  curPos = static_cast<int>(indent.size());
}

void Editor::DeleteLine(int line) {
  if (lines.size() == 1) {
    lines[0] = EditorLine{};
  } else {
    bool wasLast = line == static_cast<int>(lines.size()) - 1;
    lines.erase(lines.begin() + line);
    if (wasLast) lines.back().eol.clear();  // the new last line ends the file
  }
  if (block.type != BTYPE_NONE) {
    if (line < block.startLine) --block.startLine;
    if (line <= block.endLine) --block.endLine;
    if (block.endLine < block.startLine) block = EditorBlock{};
  }
  ClampCursor();
}

void Editor::InsertText(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c == L'\n') {
      SplitLine(false);
      continue;
    }
    if (c == L'\r') continue;
    EditorLine& cur = lines[static_cast<size_t>(curLine)];
    if (static_cast<size_t>(curPos) > cur.text.size()) cur.text.append(static_cast<size_t>(curPos) - cur.text.size(), L' ');
    if (overtype && static_cast<size_t>(curPos) < cur.text.size())
      cur.text[static_cast<size_t>(curPos)] = c;
    else
      cur.text.insert(static_cast<size_t>(curPos), 1, c);
    ++curPos;
  }
}

bool Editor::DeleteChar() {
  EditorLine& cur = lines[static_cast<size_t>(curLine)];
  if (static_cast<size_t>(curPos) < cur.text.size()) {
    cur.text.erase(static_cast<size_t>(curPos), 1);
    return true;
  }
  if (curLine + 1 >= static_cast<int>(lines.size())) return false;
  cur.text.append(static_cast<size_t>(curPos) - cur.text.size(), L' ');
  EditorLine next = lines[static_cast<size_t>(curLine) + 1];
  lines[static_cast<size_t>(curLine)].text += next.text;
  lines[static_cast<size_t>(curLine)].eol = next.eol;
  lines.erase(lines.begin() + curLine + 1);
  return true;
}

// ---- HostEditorControl ------------------------------------------------------------------------

int Editor::Control(int command, int param1, void* param2) {
  switch (command) {
    case ECTL_GETINFO: {
      auto* info = static_cast<EditorInfoW*>(param2);
      if (!info) return FALSE;
      *info = EditorInfoW{};
      info->EditorID = id;
      info->WindowSizeX = windowWidth;
      info->WindowSizeY = windowHeight;
      info->TotalLines = static_cast<int>(lines.size());
      info->CurLine = curLine;
      info->CurPos = curPos;
      info->CurTabPos = RealToTab(curLine, curPos);
      info->TopScreenLine = topLine;
      info->LeftPos = leftPos;
      info->Overtype = overtype;
      info->BlockType = block.type;
      info->BlockStartLine = block.type == BTYPE_NONE ? 0 : block.startLine;
      info->TabSize = tabSize;
      info->CurState = modified ? 1 : 0;
      info->CodePage = codePage;
      return TRUE;
    }
    case ECTL_SETPOSITION: {
      auto* p = static_cast<EditorSetPositionW*>(param2);
      if (!p) return FALSE;
      if (p->CurLine >= 0) curLine = p->CurLine;
      ClampCursor();
      if (p->CurPos >= 0)
        curPos = p->CurPos;
      else if (p->CurTabPos >= 0)
        curPos = TabToReal(curLine, p->CurTabPos);
      if (p->TopScreenLine >= 0)
        topLine = std::min(p->TopScreenLine, static_cast<int>(lines.size()) - 1);
      else
        ScrollToCursor();
      if (p->LeftPos >= 0) leftPos = p->LeftPos;
      if (p->Overtype >= 0) overtype = p->Overtype ? 1 : 0;
      return TRUE;
    }
    case ECTL_GETSTRING: {
      auto* g = static_cast<EditorGetStringW*>(param2);
      if (!g) return FALSE;
      int n = g->StringNumber == -1 ? curLine : g->StringNumber;
      EditorLine* l = LineAt(n);
      if (!l) return FALSE;
      // Pointers into the line stay valid until the next change, as with the real editor.
      g->StringText = l->text.c_str();
      g->StringEOL = l->eol.c_str();
      g->StringLength = static_cast<int>(l->text.size());
      LineSelection(n, &g->SelStart, &g->SelEnd);
      return TRUE;
    }
    case ECTL_SETSTRING: {
      auto* s = static_cast<EditorSetStringW*>(param2);
      if (!s || s->StringLength < 0 || (!s->StringText && s->StringLength > 0)) return FALSE;
      EditorLine* l = LineAt(s->StringNumber);
      if (!l) return FALSE;
      std::wstring text(s->StringText ? s->StringText : L"", static_cast<size_t>(s->StringLength));
      std::wstring eol = s->StringEOL ? std::wstring(s->StringEOL) : l->eol;
      BeforeChange();
      l = LineAt(s->StringNumber);
      // The last line keeps ending the file; a line end given for it is ignored.
      if (l == &lines.back()) eol.clear();
      l->text = std::move(text);
      l->eol = std::move(eol);
      Changed();
      return TRUE;
    }
    case ECTL_INSERTSTRING: {
      bool indent = param2 && *static_cast<int*>(param2) != 0;
      BeforeChange();
      SplitLine(indent);
      ScrollToCursor();
      Changed();
      return TRUE;
    }
    case ECTL_DELETESTRING:
      BeforeChange();
      DeleteLine(curLine);
      Changed();
      return TRUE;
    case ECTL_DELETECHAR:
      BeforeChange();
      if (DeleteChar()) Changed();
      return TRUE;
    case ECTL_INSERTTEXT: {
      if (!param2) return FALSE;
      BeforeChange();
      InsertText(static_cast<const wchar_t*>(param2));
      Changed();
      return TRUE;
    }
    case ECTL_SELECT: {
      auto* s = static_cast<EditorSelectW*>(param2);
      if (!s) return FALSE;
      if (s->BlockType == BTYPE_NONE || s->BlockStartPos == -1) {
        block = EditorBlock{};
        return TRUE;
      }
      int start = s->BlockStartLine == -1 ? curLine : s->BlockStartLine;
      if (s->BlockHeight < 1 || s->BlockWidth < 0 || !LineAt(start)) return FALSE;
      EditorBlock b;
      b.type = s->BlockType;
      b.startLine = start;
      // A block reaching past the file ends at its last line.
      b.endLine = std::min(start + s->BlockHeight - 1, static_cast<int>(lines.size()) - 1);
      bool clipped = start + s->BlockHeight - 1 > b.endLine;
      if (s->BlockType == BTYPE_STREAM) {
        b.startPos = s->BlockStartPos;
        // The width counts from the start position on a one-line block, from 0 on the last line otherwise.
        if (clipped)
          b.endPos = static_cast<int>(lines.back().text.size());
        else
          b.endPos = s->BlockHeight == 1 ? s->BlockStartPos + s->BlockWidth : s->BlockWidth;
      } else if (s->BlockType == BTYPE_COLUMN) {
        b.startCol = s->BlockStartPos;
        b.width = s->BlockWidth;
      } else {
        return FALSE;
      }
      block = b;
      return TRUE;
    }
    case ECTL_REDRAW:
      ++redraws;
      return TRUE;
    case ECTL_REALTOTAB:
    case ECTL_TABTOREAL: {
      auto* c = static_cast<EditorConvertPosW*>(param2);
      if (!c) return FALSE;
      int n = c->StringNumber == -1 ? curLine : c->StringNumber;
      if (!LineAt(n)) return FALSE;
      c->DestPos = command == ECTL_REALTOTAB ? RealToTab(n, c->SrcPos) : TabToReal(n, c->SrcPos);
      return TRUE;
    }
    case ECTL_EXPANDTABS: {
      EditorLine* l = LineAt(param1);
      if (!l) return FALSE;
      BeforeChange();
      l = LineAt(param1);
      std::wstring out;
      for (wchar_t c : l->text) {
        if (c == L'\t')
          out.append(static_cast<size_t>(tabSize - static_cast<int>(out.size()) % tabSize), L' ');
        else
          out.push_back(c);
      }
      l->text = out;
      Changed();
      return TRUE;
    }
    case ECTL_SETTITLE:
      title = param2 ? static_cast<const wchar_t*>(param2) : L"";
      return TRUE;
    case ECTL_GETFILENAME: {
      if (param2) std::copy(fileName.c_str(), fileName.c_str() + fileName.size() + 1, static_cast<wchar_t*>(param2));
      return static_cast<int>(fileName.size() + 1);
    }
    case ECTL_SAVEFILE:
      return Save(param2 ? std::wstring(static_cast<const wchar_t*>(param2)) : std::wstring()) ? TRUE : FALSE;
    case ECTL_QUIT:
      quit = true;
      return TRUE;
    case ECTL_TURNOFFMARKINGBLOCK:
      return TRUE;
    case ECTL_DELETEBLOCK: {
      if (block.type != BTYPE_STREAM) return FALSE;
      BeforeChange();
      EditorBlock b = block;
      block = EditorBlock{};
      EditorLine& first = lines[static_cast<size_t>(b.startLine)];
      EditorLine& last = lines[static_cast<size_t>(b.endLine)];
      size_t from = std::min(static_cast<size_t>(b.startPos), first.text.size());
      size_t to = b.endPos < 0 ? last.text.size() : std::min(static_cast<size_t>(b.endPos), last.text.size());
      std::wstring rest = last.text.substr(b.endLine == b.startLine ? std::max(to, from) : to);
      std::wstring eol = last.eol;
      first.text = first.text.substr(0, from) + rest;
      first.eol = eol;
      lines.erase(lines.begin() + b.startLine + 1, lines.begin() + b.endLine + 1);
      curLine = b.startLine;
      curPos = static_cast<int>(from);
      Changed();
      return TRUE;
    }
    case ECTL_SETPARAM: {
      auto* p = static_cast<EditorSetParameterW*>(param2);
      if (!p) return FALSE;
      switch (p->Type) {
        case ESPT_TABSIZE:
          if (p->Param.iParam < 1 || p->Param.iParam > kMaxTabSize) return FALSE;
          tabSize = p->Param.iParam;
          return TRUE;
        case ESPT_EXPANDTABS:
          expandTabs = p->Param.iParam != 0;
          return TRUE;
        case ESPT_AUTOINDENT:
          autoIndent = p->Param.iParam != 0;
          return TRUE;
        case ESPT_CODEPAGE:
          codePage = static_cast<UINT>(p->Param.iParam);
          return TRUE;
        case ESPT_SETBOM:
          hasBom = p->Param.iParam != 0;
          return TRUE;
        case ESPT_CURSORBEYONDEOL:
        case ESPT_CHARCODEBASE:
        case ESPT_SAVEFILEPOSITION:
        case ESPT_LOCKMODE:
        case ESPT_SHOWWHITESPACE:
          return TRUE;
        default:
          return FALSE;
      }
    }
    case ECTL_UNDOREDO: {
      auto* u = static_cast<EditorUndoRedoW*>(param2);
      if (!u) return FALSE;
      switch (u->Command) {
        case EUR_BEGIN:
          if (groupDepth_++ == 0) undo_.push_back(Snapshot{lines, curLine, curPos, topLine, leftPos, overtype, block, modified});
          return TRUE;
        case EUR_END:
          if (groupDepth_ == 0) return FALSE;
          --groupDepth_;
          return TRUE;
        case EUR_UNDO: {
          groupDepth_ = 0;  // undoing closes an open group
          if (undo_.empty()) return FALSE;
          Snapshot s = std::move(undo_.back());
          undo_.pop_back();
          lines = std::move(s.lines);
          curLine = s.curLine;
          curPos = s.curPos;
          topLine = s.topLine;
          leftPos = s.leftPos;
          overtype = s.overtype;
          block = s.block;
          modified = s.modified;
          return TRUE;
        }
        default:
          return FALSE;  // no redo in the stand-in
      }
    }
    case ECTL_PROCESSKEY: {
      EditorKeyEvent k;
      uint32_t key = static_cast<uint32_t>(param1);
      uint32_t base = key & 0x00FFFFFF;
      if (key & (KEY_CTRL | KEY_RCTRL)) k.controlState |= LEFT_CTRL_PRESSED;
      if (key & (KEY_ALT | KEY_RALT)) k.controlState |= LEFT_ALT_PRESSED;
      if (key & KEY_SHIFT) k.controlState |= SHIFT_PRESSED;
      if (base >= KEY_FKEYBASE) {
        k.vk = static_cast<WORD>(base - KEY_FKEYBASE);
      } else {
        k.ch = static_cast<wchar_t>(base);
        k.vk = base == KEY_BS ? VK_BACK : base == KEY_TAB ? VK_TAB : base == KEY_ENTER ? VK_RETURN : 0;
      }
      return ApplyKey(k) ? TRUE : FALSE;
    }
    default:
      return FALSE;
  }
}

// ---- Keys -------------------------------------------------------------------------------------

bool Editor::ApplyKey(const EditorKeyEvent& key) {
  if (!key.keyDown) return false;
  bool ctrlAlt = (key.controlState & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED | LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
  bool shift = (key.controlState & SHIFT_PRESSED) != 0;
  bool movement = key.vk == VK_LEFT || key.vk == VK_RIGHT || key.vk == VK_UP || key.vk == VK_DOWN ||
                  key.vk == VK_HOME || key.vk == VK_END;
  if (shift && movement && !ctrlAlt) {
    // Shift with a movement key marks a stream block from where the marking began to the cursor.
    if (block.type != BTYPE_STREAM || !marking_) {
      anchorLine_ = curLine;
      anchorPos_ = curPos;
    }
    EditorKeyEvent plain = key;
    plain.controlState &= ~static_cast<DWORD>(SHIFT_PRESSED);
    ApplyKey(plain);
    bool anchorFirst = anchorLine_ < curLine || (anchorLine_ == curLine && anchorPos_ <= curPos);
    block = EditorBlock{};
    block.type = BTYPE_STREAM;
    block.startLine = anchorFirst ? anchorLine_ : curLine;
    block.startPos = anchorFirst ? anchorPos_ : curPos;
    block.endLine = anchorFirst ? curLine : anchorLine_;
    block.endPos = anchorFirst ? curPos : anchorPos_;
    marking_ = true;
    return true;
  }
  marking_ = false;
  EditorLine& cur = lines[static_cast<size_t>(curLine)];
  int len = static_cast<int>(cur.text.size());
  switch (key.vk) {
    case VK_LEFT:
      if (curPos > 0) --curPos;
      return true;
    case VK_RIGHT:
      ++curPos;
      return true;
    case VK_UP:
    case VK_DOWN: {
      int col = RealToTab(curLine, curPos);
      int to = curLine + (key.vk == VK_UP ? -1 : 1);
      if (to < 0 || to >= static_cast<int>(lines.size())) return true;
      curLine = to;
      curPos = TabToReal(curLine, col);
      ScrollToCursor();
      return true;
    }
    case VK_HOME:
      curPos = 0;
      return true;
    case VK_END:
      curPos = len;
      return true;
    case VK_DELETE:
      BeforeChange();
      if (DeleteChar()) Changed();
      return true;
    default:
      break;
  }
  if (ctrlAlt) return false;
  wchar_t ch = key.ch;
  if (ch == 0 && key.vk == VK_BACK) ch = 8;
  if (ch == 0 && key.vk == VK_TAB) ch = 9;
  if (ch == 0 && key.vk == VK_RETURN) ch = 13;
  if (ch == 8) {
    if (curPos > 0) {
      BeforeChange();
      if (curPos <= len) cur.text.erase(static_cast<size_t>(curPos) - 1, 1);
      --curPos;
      Changed();
    } else if (curLine > 0) {
      BeforeChange();
      EditorLine joined = cur;
      EditorLine& prev = lines[static_cast<size_t>(curLine) - 1];
      curPos = static_cast<int>(prev.text.size());
      prev.text += joined.text;
      prev.eol = joined.eol;
      lines.erase(lines.begin() + curLine);
      --curLine;
      ScrollToCursor();
      Changed();
    }
    return true;
  }
  if (ch == 13) {
    BeforeChange();
    SplitLine(autoIndent);
    ScrollToCursor();
    Changed();
    return true;
  }
  if (ch == 9) {
    BeforeChange();
    if (expandTabs) {
      int col = RealToTab(curLine, curPos);
      InsertText(std::wstring(static_cast<size_t>(tabSize - col % tabSize), L' '));
    } else {
      InsertText(L"\t");
    }
    Changed();
    return true;
  }
  if (ch >= 32) {
    BeforeChange();
    InsertText(std::wstring(1, ch));
    block = EditorBlock{};
    Changed();
    return true;
  }
  return false;
}

}  // namespace kelhost
