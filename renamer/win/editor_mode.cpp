// Editor mode: the new names are typed in the host's editor, one line per item, in a temporary
// file ("QL_" prefix, UTF-16); when the editor closes the lines are read back and the rename job
// runs. While the editor holds the list, the plugin offers four editor menu commands.
#include <windows.h>

#include <string>
#include <vector>

#include "renamer/core/editormode.h"
#include "renamer/core/messages.h"
#include "renamer/core/renamejob.h"
#include "renamer/win/editor_mode.h"

namespace quillet::ui {

namespace {

enum : int {
  kMsgMismatch = 135, kMsgMoreLines = 136, kMsgFewerLines = 137, kMsgInvalidNames = 138, kMsgReadError = 139,
  kMsgEditorMenuFirst = 140, kMsgLineInfo = 144, kMsgFile = 145, kMsgFolder = 146, kMsgAskResetLine = 147,
  kMsgAskResetAll = 148, kMsgEditAgain = 152, kMsgRenameValid = 153, kMsgGiveUp = 154,
};

constexpr size_t kTempPathChars = 2048;

std::wstring gTempFile;
Context* gEditing = nullptr;  // set while the editor holds the list

void DeleteTemp() {
  if (!gTempFile.empty()) DeleteFileW(gTempFile.c_str());
  gTempFile.clear();
}

bool WriteList(const std::wstring& path, const RenameList& list) {
  std::u16string text(1, u'\uFEFF');
  text.append(WriteNameList(list));
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const DWORD bytes = DWORD(text.size() * sizeof(char16_t));
  const bool ok = WriteFile(h, text.data(), bytes, &written, nullptr) && written == bytes;
  CloseHandle(h);
  return ok;
}

// The file's text, or false when it cannot be opened or read. Files larger than the names could
// ever need are refused rather than read whole.
bool ReadList(const std::wstring& path, std::u16string* text) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(h, &size) && size.QuadPart >= 0 && size.QuadPart <= (256LL << 20);
  if (ok) {
    std::vector<char> bytes(size_t(size.QuadPart));
    DWORD got = 0;
    ok = bytes.empty() || (ReadFile(h, bytes.data(), DWORD(bytes.size()), &got, nullptr) && got == bytes.size());
    if (ok) {
      text->resize(bytes.size() / 2);
      for (size_t i = 0; i < text->size(); ++i) {
        (*text)[i] = char16_t(uint8_t(bytes[2 * i]) | (uint16_t(uint8_t(bytes[2 * i + 1])) << 8));
      }
    }
  }
  CloseHandle(h);
  return ok;
}

int EditorInfo(const Context& ctx, EditorInfoW* info) {
  *info = EditorInfoW{};
  return ctx.host->HostEditorControl(ECTL_GETINFO, 0, info);
}

}  // namespace

bool EditorModeActive() { return gEditing != nullptr; }

void RunEditorMode(Context& ctx) {
  std::vector<wchar_t> path(kTempPathChars, L'\0');
  if (!ctx.host->FSF || !ctx.host->FSF->MkTemp || ctx.host->FSF->MkTemp(path.data(), path.size(), L"QL_") <= 0) return;
  gTempFile = path.data();
  if (!WriteList(gTempFile, *ctx.list)) {
    DeleteTemp();
    return;
  }
  const std::wstring title =
      Format(Msg(ctx, kMsgDialogTitle), unsigned(ctx.list->items.size()), unsigned(ctx.selectedCount));
  for (;;) {
    gEditing = &ctx;
    const int opened = ctx.host->HostEditor(gTempFile.c_str(), title.c_str(), 0, 0, -1, -1, EF_DISABLEHISTORY, 0, 0, 1200);
    gEditing = nullptr;
    if (opened == EEC_OPEN_ERROR) break;  // the editor could not show the list: nothing to read back
    std::u16string text;
    if (!ReadList(gTempFile, &text)) {
      Message(ctx, FMSG_WARNING | FMSG_MB_OK, L"EditErrors", {Msg(ctx, kMsgReadError)});
      break;
    }
    const ReadBack back = ReadNameList(text, ctx.list);
    if (back.outcome == ReadBackOutcome::kAbandon) break;
    if (back.outcome == ReadBackOutcome::kFewerLines || back.outcome == ReadBackOutcome::kMoreLines) {
      const std::wstring question =
          Format(Msg(ctx, kMsgMismatch), Msg(ctx, back.outcome == ReadBackOutcome::kFewerLines ? kMsgFewerLines
                                                                                                : kMsgMoreLines));
      if (Message(ctx, FMSG_WARNING, L"EditErrors", {question}, {Msg(ctx, kMsgEditAgain), Msg(ctx, kMsgGiveUp)}) == 0) {
        continue;
      }
      break;
    }
    if (back.outcome == ReadBackOutcome::kInvalidNames) {
      const int button = Message(ctx, FMSG_WARNING, L"EditErrors", {Format(Msg(ctx, kMsgInvalidNames), unsigned(back.invalid))},
                                 {Msg(ctx, kMsgEditAgain), Msg(ctx, kMsgRenameValid), Msg(ctx, kMsgGiveUp)});
      if (button == 0) continue;
      if (button != 1) break;
    }
    DeleteTemp();
    RunRename(ctx);
    return;
  }
  DeleteTemp();
}

void EditorMenuCommand(int command) {
  Context* ctx = gEditing;
  if (!ctx) return;
  const RenameList& list = *ctx->list;
  const uint32_t count = uint32_t(list.items.size());
  EditorInfoW info;
  if (!EditorInfo(*ctx, &info)) return;
  const uint32_t line = info.CurLine >= 0 ? uint32_t(info.CurLine) : 0;
  switch (command) {
    case 0: {
      if (line >= count) return;
      const SourceItem& item = list.items[line];
      Message(*ctx, FMSG_MB_OK, L"EditPlugins",
              {Format(Msg(*ctx, kMsgLineInfo), unsigned(line + 1), Msg(*ctx, item.folder ? kMsgFolder : kMsgFile),
                      W(item.name).c_str())});
      return;
    }
    case 1: {
      const uint32_t height = info.WindowSizeY > 6 ? uint32_t(info.WindowSizeY - 6) : 1u;
      const auto [first, last] = NamesAround(line, count, height);
      std::vector<std::wstring> names;
      std::vector<KelMenuItem> items;
      for (uint32_t i = first; i < last; ++i) names.push_back(W(list.items[i].name));
      for (uint32_t i = first; i < last; ++i) {
        KelMenuItem m{};
        m.Text = names[i - first].c_str();
        m.Flags = i == line ? MIF_SELECTED : 0u;
        items.push_back(m);
      }
      if (items.empty()) return;
      const int chosen = ctx->host->HostMenu(ctx->host->ModuleNumber, -1, -1, 0, 0, Msg(*ctx, kMsgTitle), nullptr,
                                             L"EditPlugins", nullptr, nullptr, items.data(), int(items.size()));
      if (chosen < 0) return;
      EditorSetPositionW pos{int(first) + chosen, 0, -1, -1, -1, -1};
      ctx->host->HostEditorControl(ECTL_SETPOSITION, 0, &pos);
      ctx->host->HostEditorControl(ECTL_REDRAW, 0, nullptr);
      return;
    }
    case 2: {
      if (line >= count) return;
      const std::wstring old = W(list.items[line].name);
      if (ctx->settings->confirmEditResetCurr &&
          !AskYesNo(*ctx, Format(Msg(*ctx, kMsgAskResetLine), unsigned(line + 1), old.c_str()), L"EditPlugins")) {
        return;
      }
      EditorSetStringW set{-1, old.c_str(), nullptr, int(old.size())};
      ctx->host->HostEditorControl(ECTL_SETSTRING, 0, &set);
      ctx->host->HostEditorControl(ECTL_REDRAW, 0, nullptr);
      return;
    }
    case 3: {
      if (ctx->settings->confirmEditResetAll && !AskYesNo(*ctx, Msg(*ctx, kMsgAskResetAll), L"EditPlugins")) return;
      const uint32_t total = info.TotalLines > 0 ? uint32_t(info.TotalLines) : 0u;
      // Lines that have an item get its old name.
      for (uint32_t i = 0; i < count && i < total; ++i) {
        const std::wstring old = W(list.items[i].name);
        EditorSetStringW set{int(i), old.c_str(), nullptr, int(old.size())};
        ctx->host->HostEditorControl(ECTL_SETSTRING, 0, &set);
      }
      // Missing lines are appended after the last one.
      for (uint32_t i = total; i < count; ++i) {
        EditorGetStringW last{int(i) - 1, nullptr, nullptr, 0, 0, 0};
        ctx->host->HostEditorControl(ECTL_GETSTRING, 0, &last);
        EditorSetPositionW end{int(i) - 1, last.StringLength, -1, -1, -1, -1};
        ctx->host->HostEditorControl(ECTL_SETPOSITION, 0, &end);
        ctx->host->HostEditorControl(ECTL_INSERTSTRING, 0, nullptr);
        const std::wstring old = W(list.items[i].name);
        EditorSetStringW set{int(i), old.c_str(), nullptr, int(old.size())};
        ctx->host->HostEditorControl(ECTL_SETSTRING, 0, &set);
      }
      // Lines beyond the items go.
      for (uint32_t i = count; i < total; ++i) {
        EditorSetPositionW at{int(count), 0, -1, -1, -1, -1};
        ctx->host->HostEditorControl(ECTL_SETPOSITION, 0, &at);
        ctx->host->HostEditorControl(ECTL_DELETESTRING, 0, nullptr);
      }
      EditorSetPositionW home{0, 0, -1, 0, -1, -1};
      ctx->host->HostEditorControl(ECTL_SETPOSITION, 0, &home);
      ctx->host->HostEditorControl(ECTL_REDRAW, 0, nullptr);
      return;
    }
    default:
      return;
  }
}

void EditorModeExit() {
  gEditing = nullptr;
  DeleteTemp();
}

}  // namespace quillet::ui
