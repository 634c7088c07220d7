#include "renamer/win/ui.h"

#include <cstdarg>
#include <cwchar>
#include <string>

#include "renamer/core/messages.h"

namespace quillet::ui {

const wchar_t* Msg(const Context& ctx, int id) {
  const wchar_t* text = ctx.host && ctx.host->HostGetMsg ? ctx.host->HostGetMsg(ctx.host->ModuleNumber, id) : nullptr;
  return text ? text : L"";
}

std::wstring Format(const wchar_t* format, ...) {
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    va_list args;
    va_start(args, format);
    // The language files follow the host's conventions: %s and %c in a wide format are wide.
    int n = _vsnwprintf(buffer.data(), buffer.size() - 1, format, args);
    va_end(args);
    if (n >= 0 && size_t(n) < buffer.size()) return std::wstring(buffer.data(), size_t(n));
    if (buffer.size() > (1u << 20)) return format;
    buffer.resize(buffer.size() * 4);
  }
}

int Message(const Context& ctx, uint32_t flags, const wchar_t* help, const std::vector<std::wstring>& lines,
            const std::vector<std::wstring>& buttons) {
  if (!ctx.host || !ctx.host->HostMessage) return -1;
  std::vector<const wchar_t*> items{Msg(ctx, kMsgTitle)};
  for (const auto& l : lines) items.push_back(l.c_str());
  for (const auto& b : buttons) items.push_back(b.c_str());
  return ctx.host->HostMessage(ctx.host->ModuleNumber, flags, help, items.data(), int(items.size()),
                               int(buttons.size()));
}

void ReportUnhandled(const HostStartupInfo& host, const char* where, const char* what) noexcept {
  try {
    if (!host.HostMessage) return;
    std::string text = std::string("Unhandled exception in ") + where + (what && *what ? ": " : "") + (what ? what : "");
    const std::wstring wide(text.begin(), text.end());
    const wchar_t* title = host.HostGetMsg ? host.HostGetMsg(host.ModuleNumber, kMsgTitle) : nullptr;
    const wchar_t* lines[] = {title ? title : L"", wide.c_str()};
    host.HostMessage(host.ModuleNumber, FMSG_WARNING | FMSG_MB_OK, nullptr, lines, 2, 0);
  } catch (...) {
  }
}

bool AskYesNo(const Context& ctx, const std::wstring& text, const wchar_t* help) {
  return Message(ctx, FMSG_WARNING | FMSG_MB_YESNO, help, {text}) == 0;
}

std::wstring KeyName(uint32_t key) {
  std::wstring name;
  if (key & KEY_CTRL) name += L"Ctrl+";
  if (key & KEY_ALT) name += L"Alt+";
  if (key & KEY_SHIFT) name += L"Shift+";
  const uint32_t code = key & 0x00FFFFFFu;
  if (code >= uint32_t(KEY_F1) && code <= uint32_t(KEY_F1) + 23) {
    name += L"F" + std::to_wstring(code - uint32_t(KEY_F1) + 1);
  } else if (code >= 0x20 && code < 0x10000) {
    name += wchar_t(code);
  } else {
    name += Format(L"0x%X", code);
  }
  return name;
}

KelDialogItem Item(int type, int x1, int y1, int x2, int y2, uint32_t flags, const wchar_t* data) {
  KelDialogItem item{};
  item.Type = type;
  item.X1 = x1;
  item.Y1 = y1;
  item.X2 = x2;
  item.Y2 = y2;
  item.Flags = flags;
  item.Data = data;
  return item;
}

intptr_t Send(const Context& ctx, HANDLE dlg, int msg, int p1, void* p2) {
  return ctx.host->HostSendDlgMessage(dlg, msg, p1, p2);
}

std::wstring GetText(const Context& ctx, HANDLE dlg, int item) {
  KelDialogItemData data{0, nullptr};
  const intptr_t length = Send(ctx, dlg, DM_GETTEXT, item, &data);
  if (length <= 0) return {};
  std::wstring text(size_t(length) + 1, L'\0');
  data.PtrLength = size_t(length);
  data.PtrData = text.data();
  Send(ctx, dlg, DM_GETTEXT, item, &data);
  text.resize(wcsnlen(text.c_str(), size_t(length)));
  return text;
}

void SetText(const Context& ctx, HANDLE dlg, int item, const std::wstring& text) {
  Send(ctx, dlg, DM_SETTEXTPTR, item, const_cast<wchar_t*>(text.c_str()));
}

bool Checked(const Context& ctx, HANDLE dlg, int item) { return Send(ctx, dlg, DM_GETCHECK, item) == BSTATE_CHECKED; }

}  // namespace quillet::ui
