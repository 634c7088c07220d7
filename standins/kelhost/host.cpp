// The host stand-in: plugin loading, the entries, scripted answers and the services that are not
// dialogs (those are in dialogs.cpp) or the editor (editor.cpp).
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <sstream>

#include "standins/kelhost/editor.h"
#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

namespace {

Host* g_host = nullptr;

std::wstring FileNameOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring Str(const wchar_t* s) { return s ? std::wstring(s) : std::wstring(); }

void DeleteTree(HKEY root, const std::wstring& key) {
  RegDeleteTreeW(root, key.c_str());
  RegDeleteKeyW(root, key.c_str());
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
  std::vector<std::wstring> out;
  std::wstring cur;
  for (wchar_t c : text) {
    if (c == L'\n') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

std::vector<std::wstring> ButtonSet(uint32_t flags) {
  switch (flags & FMSG_MB_MASK) {
    case FMSG_MB_OK: return {L"OK"};
    case FMSG_MB_OKCANCEL: return {L"OK", L"Cancel"};
    case FMSG_MB_ABORTRETRYIGNORE: return {L"Abort", L"Retry", L"Ignore"};
    case FMSG_MB_YESNO: return {L"Yes", L"No"};
    case FMSG_MB_YESNOCANCEL: return {L"Yes", L"No", L"Cancel"};
    case FMSG_MB_RETRYCANCEL: return {L"Retry", L"Cancel"};
    default: return {};
  }
}

// ---- Services (Unicode generation) ----------------------------------------------------------

int KEL_API SvcMessage(intptr_t number, uint32_t flags, const wchar_t* help, const wchar_t* const* items,
                       int itemsNumber, int buttonsNumber) {
  Host* h = Host::Current();
  if (!h) return -1;
  MessageCall call;
  Plugin* p = h->PluginByNumber(number);
  call.plugin = p ? p->name : L"";
  call.flags = flags;
  call.helpTopic = Str(help);
  std::vector<std::wstring> all;
  if (flags & FMSG_ALLINONE) {
    all = SplitLines(Str(reinterpret_cast<const wchar_t*>(items)));
  } else {
    for (int i = 0; i < itemsNumber && items; ++i) all.push_back(Str(items[i]));
  }
  call.buttons = ButtonSet(flags);
  if (call.buttons.empty() && buttonsNumber > 0 && buttonsNumber <= static_cast<int>(all.size())) {
    call.buttons.assign(all.end() - buttonsNumber, all.end());
    all.resize(all.size() - static_cast<size_t>(buttonsNumber));
  }
  call.lines = all;
  std::wstring shown = L"[message";
  if (flags & FMSG_WARNING) shown += L" warning";
  shown += L"]";
  for (size_t i = 0; i < call.lines.size(); ++i) shown += (i == 0 ? L" " : L" | ") + call.lines[i];
  if (!call.buttons.empty()) {
    shown += L"  {";
    for (size_t i = 0; i < call.buttons.size(); ++i) shown += (i ? L"} {" : L"") + call.buttons[i];
    shown += L"}";
  }
  h->Record(shown);
  int answer = -1;
  if (call.buttons.empty()) {
    answer = 0;  // a box without buttons is a notice: it stays while the plugin works
  } else if (auto a = h->NextMessageAnswer()) {
    answer = *a;
    h->Record(L"  -> " + (answer >= 0 && answer < static_cast<int>(call.buttons.size())
                               ? call.buttons[static_cast<size_t>(answer)]
                               : std::wstring(L"Esc")));
  } else {
    h->Fail(L"no scripted answer for message: " + shown);
  }
  call.answer = answer;
  h->messages.push_back(call);
  return answer;
}

int KEL_API SvcMenu(intptr_t number, int, int, int, uint32_t flags, const wchar_t* title, const wchar_t* bottom,
                    const wchar_t* help, const int* breakKeys, int* breakCode, const KelMenuItem* items,
                    int itemsNumber) {
  Host* h = Host::Current();
  if (!h) return -1;
  MenuCall call;
  Plugin* p = h->PluginByNumber(number);
  call.plugin = p ? p->name : L"";
  call.title = Str(title);
  call.bottom = Str(bottom);
  call.helpTopic = Str(help);
  call.flags = flags;
  for (int i = 0; items && i < itemsNumber; ++i) {
    call.items.push_back(Str(items[i].Text));
    call.itemFlags.push_back(items[i].Flags);
    if ((items[i].Flags & MIF_SELECTED) && call.selectedOnOpen < 0) call.selectedOnOpen = i;
  }
  for (int i = 0; breakKeys && breakKeys[i]; ++i) call.breakKeys.push_back(breakKeys[i]);
  std::wstring shown = L"[menu] " + call.title;
  h->Record(shown);
  for (size_t i = 0; i < call.items.size(); ++i) {
    uint32_t f = call.itemFlags[i];
    if (f & MIF_SEPARATOR) {
      h->Record(L"  ----");
      continue;
    }
    std::wstring line = (static_cast<int>(i) == call.selectedOnOpen ? L"  > " : L"    ");
    if (f & MIF_CHECKED) line += L"\u221A ";
    line += call.items[i];
    h->Record(line);
  }
  if (!call.bottom.empty()) h->Record(L"  (" + call.bottom + L")");
  int answer = -1, code = -1;
  if (auto a = h->NextMenuAnswer()) {
    answer = a->first;
    code = a->second;
  } else {
    h->Fail(L"no scripted answer for menu: " + call.title);
  }
  if (answer >= itemsNumber) {
    h->Fail(L"scripted menu answer out of range for: " + call.title);
    answer = -1;
  }
  if (breakCode) *breakCode = code;
  call.answer = answer;
  call.breakCode = code;
  if (code >= 0)
    h->Record(L"  -> break key " + std::to_wstring(code) + L" on item " + std::to_wstring(answer));
  else
    h->Record(L"  -> " + (answer >= 0 ? call.items[static_cast<size_t>(answer)] : std::wstring(L"Esc")));
  h->menus.push_back(call);
  return answer;
}

int KEL_API SvcInputBox(const wchar_t* title, const wchar_t* prompt, const wchar_t* history, const wchar_t* src,
                        wchar_t* dest, int destLength, const wchar_t* help, uint32_t flags) {
  Host* h = Host::Current();
  if (!h) return 0;
  InputBoxCall call{Str(title), Str(prompt), Str(history), Str(src), Str(help), flags, std::nullopt};
  h->Record(L"[input] " + call.title + L" | " + call.prompt + L" [" + call.srcText + L"]");
  auto a = h->NextInputAnswer();
  if (!a) h->Fail(L"no scripted answer for input box: " + call.title);
  call.answer = a ? *a : std::nullopt;
  h->inputBoxes.push_back(call);
  if (!call.answer) {
    h->Record(L"  -> Esc");
    return 0;
  }
  if (call.answer->empty() && !(flags & FIB_ENABLEEMPTY)) {
    h->Record(L"  -> (empty, refused)");
    return 0;
  }
  h->Record(L"  -> " + *call.answer);
  if (dest && destLength > 0) {
    size_t n = std::min(call.answer->size(), static_cast<size_t>(destLength - 1));
    std::wmemcpy(dest, call.answer->c_str(), n);
    dest[n] = 0;
  }
  return 1;
}

const wchar_t* KEL_API SvcGetMsg(intptr_t number, int id) {
  Host* h = Host::Current();
  Plugin* p = h ? h->PluginByNumber(number) : nullptr;
  if (!p || id < 0 || id >= static_cast<int>(p->messages.size())) {
    if (h) h->Fail(L"HostGetMsg: no message " + std::to_wstring(id) + L" for " + (p ? p->name : L"?"));
    return L"";
  }
  return p->messages[static_cast<size_t>(id)].c_str();
}

int KEL_API SvcShowHelp(const wchar_t*, const wchar_t* topic, uint32_t) {
  if (Host* h = Host::Current()) {
    h->helpTopics.push_back(Str(topic));
    h->Record(L"[help] " + Str(topic));
  }
  return 1;
}

int KEL_API SvcPanelControl(HANDLE panel, int command, int param1, void* param2);
intptr_t KEL_API SvcAdvControl(intptr_t number, int command, int param1, void* param2);

int KEL_API SvcEditorControl(int command, int param1, void* param2) {
  Host* h = Host::Current();
  if (!h || !h->CurrentEditor()) return 0;
  return h->CurrentEditor()->Control(command, param1, param2);
}

int KEL_API SvcViewerControl(int, void*) { return 0; }

// The console: the real one (CONOUT$), whatever the standard handles are.
HANDLE ConsoleOut() {
  static HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  return out;
}

void KEL_API SvcText(int x, int y, int color, const wchar_t* text) {
  if (!text) return;
  HANDLE out = ConsoleOut();
  if (out == INVALID_HANDLE_VALUE) return;
  size_t n = wcslen(text);
  std::vector<WORD> attrs(n, static_cast<WORD>(color));
  DWORD written = 0;
  COORD at{static_cast<SHORT>(x), static_cast<SHORT>(y)};
  WriteConsoleOutputCharacterW(out, text, static_cast<DWORD>(n), at, &written);
  WriteConsoleOutputAttribute(out, attrs.data(), static_cast<DWORD>(n), at, &written);
}

struct SavedScreen {
  SMALL_RECT rect;
  std::vector<CHAR_INFO> cells;
};

HANDLE KEL_API SvcSaveScreen(int x1, int y1, int x2, int y2) {
  HANDLE out = ConsoleOut();
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (out == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(out, &info)) return nullptr;
  if (x1 < 0) x1 = 0;
  if (y1 < 0) y1 = 0;
  if (x2 < 0 || x2 >= info.dwSize.X) x2 = info.dwSize.X - 1;
  if (y2 < 0 || y2 >= info.dwSize.Y) y2 = info.dwSize.Y - 1;
  auto* s = new SavedScreen;
  s->rect = {static_cast<SHORT>(x1), static_cast<SHORT>(y1), static_cast<SHORT>(x2), static_cast<SHORT>(y2)};
  COORD size{static_cast<SHORT>(x2 - x1 + 1), static_cast<SHORT>(y2 - y1 + 1)};
  s->cells.resize(static_cast<size_t>(size.X) * static_cast<size_t>(size.Y));
  SMALL_RECT r = s->rect;
  ReadConsoleOutputW(out, s->cells.data(), size, COORD{0, 0}, &r);
  return reinterpret_cast<HANDLE>(s);
}

void KEL_API SvcRestoreScreen(HANDLE screen) {
  if (!screen) return;  // null: redraw the whole screen (nothing to do here)
  auto* s = reinterpret_cast<SavedScreen*>(screen);
  COORD size{static_cast<SHORT>(s->rect.Right - s->rect.Left + 1), static_cast<SHORT>(s->rect.Bottom - s->rect.Top + 1)};
  SMALL_RECT r = s->rect;
  WriteConsoleOutputW(ConsoleOut(), s->cells.data(), size, COORD{0, 0}, &r);
  delete s;
}

int KEL_API SvcViewer(const wchar_t* file, const wchar_t* title, int, int, int, int, uint32_t, UINT) {
  if (Host* h = Host::Current()) h->Record(L"[viewer] " + Str(title) + L" " + Str(file));
  return 1;
}

int KEL_API SvcEditor(const wchar_t* file, const wchar_t* title, int, int, int, int, uint32_t flags, int startLine,
                      int startChar, UINT codePage) {
  Host* h = Host::Current();
  if (!h) return EEC_OPEN_ERROR;
  Editor* e = h->OpenEditor(Str(file), codePage);
  if (!e) {
    h->Record(L"[editor] cannot open " + Str(file));
    return EEC_OPEN_ERROR;
  }
  e->title = Str(title);
  if (startLine >= 0) e->curLine = std::min(startLine, static_cast<int>(e->lines.size()) - 1);
  if (startChar >= 0) e->curPos = startChar;
  h->Record(L"[editor] " + (e->title.empty() ? Str(file) : e->title));
  if (flags & EF_NONMODAL) return EEC_NOT_MODIFIED;
  // Modal: the user's session is scripted; it ends by closing the editor (saving when asked).
  if (auto session = h->NextEditorSession()) {
    (*session)(*e);
  } else {
    h->Fail(L"no scripted editor session for " + Str(file));
  }
  int result = e->modified ? EEC_MODIFIED : EEC_NOT_MODIFIED;
  h->CloseEditor();
  return result;
}

// ---- Standard functions ---------------------------------------------------------------------

int __cdecl FsfSprintf(wchar_t* buffer, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  int n = _vswprintf(buffer, format, args);
  va_end(args);
  return n;
}

int __cdecl FsfSnprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...) {
  if (!buffer || count == 0) return -1;
  va_list args;
  va_start(args, format);
  int n = _vsnwprintf(buffer, count, format, args);
  va_end(args);
  buffer[count - 1] = 0;  // always terminated, even when cut
  return n;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

wchar_t* KEL_API FsfLTrim(wchar_t* s) {
  if (!s) return s;
  wchar_t* p = s;
  while (IsBlank(*p)) ++p;
  if (p != s) std::wmemmove(s, p, wcslen(p) + 1);
  return s;
}

wchar_t* KEL_API FsfRTrim(wchar_t* s) {
  if (!s) return s;
  size_t n = wcslen(s);
  while (n > 0 && IsBlank(s[n - 1])) s[--n] = 0;
  return s;
}

wchar_t* KEL_API FsfTrim(wchar_t* s) { return FsfRTrim(FsfLTrim(s)); }

wchar_t* KEL_API FsfTruncStrCompat(wchar_t* s) { return s; }

int KEL_API FsfProcessName(const wchar_t* param1, wchar_t* param2, size_t, uint32_t flags) {
  if (!param1 || !param2) return 0;
  std::wstring name = param2;
  if (flags & PN_SKIPPATH) name = FileNameOf(name);
  uint32_t op = flags & 0x00FF0000;
  if (op == PN_CMPNAMELIST || op == PN_CMPNAME) return MatchMaskList(param1, name) ? 1 : 0;
  return 0;
}

int KEL_API FsfMkTemp(wchar_t* dest, size_t size, const wchar_t* prefix) {
  wchar_t dir[MAX_PATH];
  if (!dest || size == 0 || !GetTempPathW(MAX_PATH, dir)) return 0;
  wchar_t name[MAX_PATH];
  std::wstring pre = prefix ? prefix : L"KEL";
  if (!GetTempFileNameW(dir, pre.c_str(), 0, name)) return 0;
  DeleteFileW(name);  // the host hands out a free name, not a file
  size_t n = wcslen(name);
  if (n + 1 > size) return 0;
  std::wmemcpy(dest, name, n + 1);
  return static_cast<int>(n);
}

size_t KEL_API FsfConvertPath(int, const wchar_t* src, wchar_t* dest, size_t size) {
  if (!src) return 0;
  std::wstring path = src;
  if (path.find(L':') == std::wstring::npos && path.rfind(L"\\\\", 0) != 0) {
    Host* h = Host::Current();
    std::wstring base = h ? h->ActivePanel().Folder() : std::wstring();
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    path = base + path;
  }
  wchar_t full[4096];
  DWORD n = GetFullPathNameW(path.c_str(), 4096, full, nullptr);
  if (n == 0 || n >= 4096) return 0;
  if (dest && size > 0) {
    size_t copy = std::min(static_cast<size_t>(n), size - 1);
    std::wmemcpy(dest, full, copy);
    dest[copy] = 0;
  }
  return n + 1;
}

wchar_t* KEL_API FsfPointToName(wchar_t* path) {
  if (!path) return path;
  wchar_t* name = path;
  for (wchar_t* p = path; *p; ++p)
    if (*p == L'\\' || *p == L'/' || *p == L':') name = p + 1;
  return name;
}

int KEL_API FsfLStricmp(const wchar_t* a, const wchar_t* b) { return lstrcmpiW(a, b); }

HostStandardFunctions MakeStandardFunctions() {
  HostStandardFunctions f{};
  f.StructSize = sizeof(HostStandardFunctions);
  f.sprintf = FsfSprintf;
  f.snprintf = FsfSnprintf;
  f.LTrim = FsfLTrim;
  f.RTrim = FsfRTrim;
  f.Trim = FsfTrim;
  f.TruncStr = FsfTruncStrCompat;
  f.ProcessName = FsfProcessName;
  f.MkTemp = FsfMkTemp;
  f.ConvertPath = FsfConvertPath;
  f.PointToName = FsfPointToName;
  f.LStricmp = FsfLStricmp;
  return f;
}

const HostStandardFunctions g_fsf = MakeStandardFunctions();

// ---- 8-bit generation services (the ones the 8-bit plugins use) -----------------------------

std::wstring FromOem(const char* s) {
  if (!s) return std::wstring();
  int n = MultiByteToWideChar(CP_OEMCP, 0, s, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_OEMCP, 0, s, -1, w.data(), n);
  w.resize(wcslen(w.c_str()));
  return w;
}

int KEL_API SvcMessageA(intptr_t number, uint32_t flags, const char* help, const char* const* items, int itemsNumber,
                        int buttonsNumber) {
  std::vector<std::wstring> wide;
  std::vector<const wchar_t*> ptrs;
  if (flags & FMSG_ALLINONE) {
    wide.push_back(FromOem(reinterpret_cast<const char*>(items)));
    return SvcMessage(number, flags, FromOem(help).c_str(), reinterpret_cast<const wchar_t* const*>(wide[0].c_str()),
                      0, buttonsNumber);
  }
  for (int i = 0; i < itemsNumber; ++i) wide.push_back(FromOem(items[i]));
  for (auto& w : wide) ptrs.push_back(w.c_str());
  std::wstring h = FromOem(help);
  return SvcMessage(number, flags, h.c_str(), ptrs.data(), itemsNumber, buttonsNumber);
}

int KEL_API SvcMenuA(intptr_t number, int x, int y, int maxHeight, uint32_t flags, const char* title,
                     const char* bottom, const char* help, const int* breakKeys, int* breakCode,
                     const KelMenuItemA* items, int itemsNumber) {
  std::vector<std::wstring> texts;
  std::vector<KelMenuItem> wide(static_cast<size_t>(std::max(itemsNumber, 0)));
  for (int i = 0; i < itemsNumber; ++i) texts.push_back(FromOem(items[i].Text));
  for (int i = 0; i < itemsNumber; ++i) {
    auto& w = wide[static_cast<size_t>(i)];
    w.Text = texts[static_cast<size_t>(i)].c_str();
    w.Flags = (items[i].Selected ? MIF_SELECTED : 0u) | (items[i].Checked ? MIF_CHECKED : 0u) |
              (items[i].Separator ? MIF_SEPARATOR : 0u);
  }
  std::wstring t = FromOem(title), b = FromOem(bottom), hl = FromOem(help);
  return SvcMenu(number, x, y, maxHeight, flags & ~static_cast<uint32_t>(FMENU_USEEXT), t.c_str(), b.c_str(),
                 hl.c_str(), breakKeys, breakCode, wide.data(), itemsNumber);
}

std::vector<std::string> g_oemMessages;  // keeps the 8-bit texts handed out by SvcGetMsgA

const char* KEL_API SvcGetMsgA(intptr_t number, int id) {
  const wchar_t* w = SvcGetMsg(number, id);
  int n = WideCharToMultiByte(CP_OEMCP, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_OEMCP, 0, w, -1, s.data(), n, nullptr, nullptr);
  g_oemMessages.push_back(s);
  return g_oemMessages.back().c_str();
}

intptr_t KEL_API SvcAdvControlA(intptr_t number, int command, void* param) {
  return SvcAdvControl(number, command, 0, param);
}

std::string ToOem(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_OEMCP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_OEMCP, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  s.resize(strlen(s.c_str()));
  return s;
}

int KEL_API SvcInputBoxA(const char* title, const char* prompt, const char* history, const char* src, char* dest,
                         int destLength, const char* help, uint32_t flags) {
  std::wstring answer(4096, L'\0');
  int ok = SvcInputBox(FromOem(title).c_str(), FromOem(prompt).c_str(), FromOem(history).c_str(),
                       FromOem(src).c_str(), answer.data(), static_cast<int>(answer.size()), FromOem(help).c_str(), flags);
  if (ok && dest && destLength > 0) {
    std::string oem = ToOem(answer.c_str());
    size_t n = std::min(oem.size(), static_cast<size_t>(destLength - 1));
    std::memcpy(dest, oem.data(), n);
    dest[n] = 0;
  }
  return ok;
}

int KEL_API SvcShowHelpA(const char* module, const char* topic, uint32_t flags) {
  return SvcShowHelp(FromOem(module).c_str(), FromOem(topic).c_str(), flags);
}

void KEL_API SvcTextA(int x, int y, int color, const char* text) {
  if (text) SvcText(x, y, color, FromOem(text).c_str());
}

// The 8-bit editor service: the commands whose records are the same in both generations.
int KEL_API SvcEditorControlA(int command, void* param) {
  Host* h = Host::Current();
  if (!h || !h->CurrentEditor()) return 0;
  switch (command) {
    case ECTL_GETINFO:
    case ECTL_SETPOSITION:
    case ECTL_SETPARAM:
    case ECTL_REDRAW:
    case ECTL_SELECT:
    case ECTL_UNDOREDO:
      return SvcEditorControl(command, 0, param);
    default:
      h->Fail(L"8-bit HostEditorControl: command " + std::to_wstring(command) + L" not supported by the stand-in");
      return 0;
  }
}

int KEL_API SvcPanelControlA(HANDLE, int command, void*) {
  if (Host* h = Host::Current())
    h->Fail(L"8-bit HostPanelControl: command " + std::to_wstring(command) + L" not supported by the stand-in");
  return 0;
}

int KEL_API SvcDialogA(intptr_t, int, int, int, int, const char*, KelDialogItemA*, int, uint32_t, uint32_t,
                       KelDialogProcA, intptr_t) {
  if (Host* h = Host::Current()) h->Fail(L"8-bit HostDialog is not supported by the stand-in");
  return -1;
}

}  // namespace

// ---- Host ------------------------------------------------------------------------------------

Host* Host::Current() { return g_host; }

Host::Host() {
  if (g_host) Fail(L"a second Host while another is alive");
  g_host = this;
  thread_ = GetCurrentThreadId();
  static LONG counter = 0;
  rootKey_ = L"Software\\KelHostStandIn\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(InterlockedIncrement(&counter));
  DeleteTree(HKEY_CURRENT_USER, rootKey_);
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, rootKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
      ERROR_SUCCESS)
    RegCloseKey(key);
}

Host::~Host() {
  while (!plugins_.empty()) Unload(plugins_.back().get());
  editor_.reset();
  DeleteTree(HKEY_CURRENT_USER, rootKey_);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KelHostStandIn");  // only when empty
  if (g_host == this) g_host = nullptr;
}

void* Plugin::Entry(const char* entryName) const {
  auto it = entries.find(entryName);
  if (it != entries.end()) return it->second;
  return module ? reinterpret_cast<void*>(GetProcAddress(module, entryName)) : nullptr;
}

void Host::Record(const std::wstring& line) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  transcript.push_back(line);
  if (onTranscript) onTranscript(line);
}

void Host::Fail(const std::wstring& what) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  failures.push_back(what);
  transcript.push_back(L"!! " + what);
  if (onFailure) onFailure(what);
}

Plugin* Host::PluginByNumber(intptr_t number) {
  for (auto& p : plugins_)
    if (p->number == number) return p.get();
  return nullptr;
}

Plugin* Host::PluginByModulePath(const std::wstring& path) {
  for (auto& p : plugins_)
    if (lstrcmpiW(p->path.c_str(), path.c_str()) == 0) return p.get();
  return nullptr;
}

Plugin* Host::Load(const std::wstring& path) {
  wchar_t full[MAX_PATH];
  if (!GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr)) {
    Fail(L"bad plugin path " + path);
    return nullptr;
  }
  auto p = std::make_unique<Plugin>();
  p->path = full;
  p->name = FileNameOf(p->path);
  p->module = LoadLibraryW(full);
  if (!p->module) {
    Fail(L"cannot load " + p->path + L" (error " + std::to_wstring(GetLastError()) + L")");
    return nullptr;
  }
  static const char* kNames[] = {
      "GetMinKelVersionW", "SetStartupInfoW", "GetPluginInfoW", "OpenPluginW", "OpenFilePluginW", "ConfigureW",
      "ProcessEditorInputW", "ProcessEditorEventW", "ProcessDialogEventW", "ProcessSynchroEventW", "ExitKELW",
      "ClosePluginW", "GetOpenPluginInfoW", "GetFindDataW", "FreeFindDataW", "SetDirectoryW", "ProcessKeyW",
      "GetMinKelVersion", "SetStartupInfo", "GetPluginInfo", "OpenPlugin", "ClosePlugin", "GetOpenPluginInfo",
      "GetFindData", "FreeFindData", "SetDirectory", "GetFiles", "PutFiles", "DeleteFiles", "MakeDirectory",
      "ProcessKey", "ProcessEditorInput", "ProcessEditorEvent", "Configure", "ExitKEL"};
  for (const char* n : kNames)
    if (FARPROC f = GetProcAddress(p->module, n)) p->entries[n] = reinterpret_cast<void*>(f);
  p->unicode = p->Entry("SetStartupInfoW") != nullptr;
  if (!p->unicode && !p->Entry("SetStartupInfo")) {
    Fail(L"no start-up entry in " + p->path);
    FreeLibrary(p->module);
    return nullptr;
  }
  p->number = nextNumber_++;
  // Language file: the first "*.lng" beside the plugin whose header names our language, else the first.
  std::wstring folder = FolderOf(p->path);
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((folder + L"*.lng").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    std::vector<std::wstring> first;
    do {
      std::wstring file = folder + fd.cFileName;
      std::ifstream in(file.c_str(), std::ios::binary);
      std::string head;
      std::getline(in, head);
      auto texts = LoadLanguageFile(file);
      if (first.empty()) first = texts;
      if (head.find(Utf8(language)) != std::string::npos) {
        p->messages = texts;
        break;
      }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    if (p->messages.empty()) p->messages = first;
  }
  Plugin* raw = p.get();
  plugins_.push_back(std::move(p));

  if (raw->unicode) {
    if (auto f = reinterpret_cast<int(KEL_API*)()>(raw->Entry("GetMinKelVersionW"))) {
      uint32_t need = static_cast<uint32_t>(f());
      if (need > version) Fail(raw->name + L" needs a newer host");
    }
    raw->startup = StartupRecord(raw->path.c_str(), raw->number);
    HostStartupInfo& si = raw->startup;
    reinterpret_cast<void(KEL_API*)(const HostStartupInfo*)>(raw->Entry("SetStartupInfoW"))(&si);
  } else {
    static std::string oemRoot;
    oemRoot.assign(rootKey_.begin(), rootKey_.end());  // the root key is plain ASCII
    HostStartupInfoA& si = raw->startupA;
    si.StructSize = sizeof(HostStartupInfoA);
    WideCharToMultiByte(CP_OEMCP, 0, raw->path.c_str(), -1, si.ModuleName, KEL_NM, nullptr, nullptr);
    si.ModuleNumber = static_cast<int>(raw->number);
    si.RootKey = oemRoot.c_str();
    si.HostMenu = SvcMenuA;
    si.HostMessage = SvcMessageA;
    si.HostGetMsg = SvcGetMsgA;
    si.HostAdvControl = SvcAdvControlA;
    si.HostInputBox = SvcInputBoxA;
    si.HostShowHelp = SvcShowHelpA;
    si.HostText = SvcTextA;
    si.HostSaveScreen = reinterpret_cast<void*>(SvcSaveScreen);
    si.HostRestoreScreen = reinterpret_cast<void*>(SvcRestoreScreen);
    si.HostEditorControl = SvcEditorControlA;
    si.HostPanelControl = SvcPanelControlA;
    si.HostDialog = SvcDialogA;
    reinterpret_cast<void(KEL_API*)(const HostStartupInfoA*)>(raw->Entry("SetStartupInfo"))(&si);
  }
  return raw;
}

HostStartupInfo Host::StartupRecord(const wchar_t* modulePath, intptr_t number) const {
  HostStartupInfo si{};
  si.StructSize = sizeof(HostStartupInfo);
  si.ModuleName = modulePath;
  si.ModuleNumber = number;
  si.RootKey = rootKey_.c_str();
  si.HostMessage = SvcMessage;
  si.HostMenu = SvcMenu;
  si.HostDialog = DialogService();
  si.HostSendDlgMessage = SendDlgMessageService();
  si.HostDefDlgProc = DefDlgProcService();
  si.HostGetMsg = SvcGetMsg;
  si.HostShowHelp = SvcShowHelp;
  si.HostInputBox = SvcInputBox;
  si.HostPanelControl = SvcPanelControl;
  si.HostEditorControl = SvcEditorControl;
  si.HostViewerControl = SvcViewerControl;
  si.HostAdvControl = SvcAdvControl;
  si.HostText = SvcText;
  si.HostSaveScreen = SvcSaveScreen;
  si.HostRestoreScreen = SvcRestoreScreen;
  si.HostViewer = SvcViewer;
  si.HostEditor = SvcEditor;
  si.FSF = &g_fsf;
  return si;
}

void Host::Unload(Plugin* plugin) {
  auto it = std::find_if(plugins_.begin(), plugins_.end(), [&](auto& p) { return p.get() == plugin; });
  if (it == plugins_.end()) return;
  for (int i = 0; i < 2; ++i) {
    if (panels_[i].plugin != plugin) continue;
    int saved = active_;
    active_ = i;
    ClosePanel();
    active_ = saved;
  }
  if (auto f = reinterpret_cast<void(KEL_API*)()>(plugin->Entry(plugin->unicode ? "ExitKELW" : "ExitKEL"))) f();
  FreeLibrary(plugin->module);
  plugins_.erase(it);
}

bool Host::GetPluginInfo(Plugin* p, PluginInfoW* out) {
  auto f = reinterpret_cast<void(KEL_API*)(PluginInfoW*)>(p->Entry("GetPluginInfoW"));
  if (!f) return false;
  *out = PluginInfoW{};
  out->StructSize = sizeof(PluginInfoW);
  f(out);
  std::wstring line = L"[plugin info] " + p->name + L" flags=" + std::to_wstring(out->Flags);
  for (int i = 0; i < out->PluginMenuStringsNumber; ++i)
    line += L" | menu " + std::to_wstring(i) + L": " + Str(out->PluginMenuStrings[i]);
  for (int i = 0; i < out->PluginConfigStringsNumber; ++i)
    line += L" | config " + std::to_wstring(i) + L": " + Str(out->PluginConfigStrings[i]);
  if (out->CommandPrefix && *out->CommandPrefix) line += L" | prefix " + Str(out->CommandPrefix);
  Record(line);
  return true;
}

HANDLE Host::OpenPlugin(Plugin* p, int openFrom, intptr_t item) {
  auto f = reinterpret_cast<HANDLE(KEL_API*)(int, intptr_t)>(p->Entry("OpenPluginW"));
  if (!f) {
    Fail(L"no OpenPluginW in " + p->name);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = f(openFrom, item);
  DeliverSynchroEvents();
  return h;
}

int Host::Configure(Plugin* p, int item) {
  auto f = reinterpret_cast<int(KEL_API*)(int)>(p->Entry("ConfigureW"));
  if (!f) {
    Fail(L"no ConfigureW in " + p->name);
    return 0;
  }
  int r = f(item);
  DeliverSynchroEvents();
  return r;
}

int Host::EditorInput(const EditorKeyEvent& key) {
  INPUT_RECORD rec{};
  rec.EventType = key.eventType;
  rec.Event.KeyEvent.bKeyDown = key.keyDown ? TRUE : FALSE;
  rec.Event.KeyEvent.wRepeatCount = 1;
  rec.Event.KeyEvent.wVirtualKeyCode = key.vk;
  rec.Event.KeyEvent.uChar.UnicodeChar = key.ch;
  rec.Event.KeyEvent.dwControlKeyState = key.controlState;
  for (auto& p : plugins_) {
    if (!p->unicode) continue;
    auto f = reinterpret_cast<int(KEL_API*)(const INPUT_RECORD*)>(p->Entry("ProcessEditorInputW"));
    if (f && f(&rec)) return 1;
  }
  if (editor_ && key.keyDown) editor_->ApplyKey(key);
  return 0;
}

void Host::QueueSynchro(Plugin* p, void* param) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  synchro_.emplace_back(p, param);
}

void Host::DeliverSynchroEvents() {
  for (;;) {
    std::pair<Plugin*, void*> next;
    {
      std::lock_guard<std::recursive_mutex> guard(lock_);
      if (synchro_.empty()) return;
      next = synchro_.front();
      synchro_.pop_front();
    }
    auto f = reinterpret_cast<int(KEL_API*)(int, void*)>(next.first->Entry("ProcessSynchroEventW"));
    if (f) f(0, next.second);
  }
}

void Host::AnswerMessage(int button) { std::lock_guard<std::recursive_mutex> g(lock_); messageAnswers_.push_back(button); }
void Host::AnswerMenu(int index, int breakCode) { std::lock_guard<std::recursive_mutex> g(lock_); menuAnswers_.emplace_back(index, breakCode); }
void Host::AnswerInput(std::optional<std::wstring> text) { std::lock_guard<std::recursive_mutex> g(lock_); inputAnswers_.push_back(std::move(text)); }
void Host::AnswerDialog(DialogScript script) { std::lock_guard<std::recursive_mutex> g(lock_); dialogScripts_.push_back(std::move(script)); }
void Host::AnswerEditor(EditorSession session) { std::lock_guard<std::recursive_mutex> g(lock_); editorSessions_.push_back(std::move(session)); }

template <class Q>
static auto PopFront(Q& q) -> std::optional<typename Q::value_type> {
  if (q.empty()) return std::nullopt;
  auto v = std::move(q.front());
  q.pop_front();
  return v;
}

std::optional<int> Host::NextMessageAnswer() { std::lock_guard<std::recursive_mutex> g(lock_); return PopFront(messageAnswers_); }
std::optional<std::pair<int, int>> Host::NextMenuAnswer() { std::lock_guard<std::recursive_mutex> g(lock_); return PopFront(menuAnswers_); }
std::optional<std::optional<std::wstring>> Host::NextInputAnswer() { std::lock_guard<std::recursive_mutex> g(lock_); return PopFront(inputAnswers_); }
std::optional<DialogScript> Host::NextDialogScript() { std::lock_guard<std::recursive_mutex> g(lock_); return PopFront(dialogScripts_); }
std::optional<Host::EditorSession> Host::NextEditorSession() { std::lock_guard<std::recursive_mutex> g(lock_); return PopFront(editorSessions_); }

Editor* Host::OpenEditor(const std::wstring& file, UINT codePage) {
  auto e = std::make_unique<Editor>();
  if (!e->Load(file, codePage)) return nullptr;
  editor_ = std::move(e);
  for (auto& p : plugins_) {
    if (!p->unicode) continue;
    if (auto f = reinterpret_cast<int(KEL_API*)(int, void*)>(p->Entry("ProcessEditorEventW"))) f(EE_READ, nullptr);
  }
  return editor_.get();
}

void Host::CloseEditor() {
  if (!editor_) return;
  for (auto& p : plugins_) {
    if (!p->unicode) continue;
    if (auto f = reinterpret_cast<int(KEL_API*)(int, void*)>(p->Entry("ProcessEditorEventW"))) f(EE_CLOSE, nullptr);
  }
  editor_.reset();
}

// ---- Panels and advanced control ------------------------------------------------------------

namespace {

// Fills a panel item block the way the host hands items out: the record, then its texts.
int PutPanelItem(const PanelItem& item, void* buffer) {
  size_t need = sizeof(PluginPanelItemW) + (item.name.size() + 1) * sizeof(wchar_t) + sizeof(wchar_t);
  if (!buffer) return static_cast<int>(need);
  auto* rec = static_cast<PluginPanelItemW*>(buffer);
  *rec = PluginPanelItemW{};
  auto* text = reinterpret_cast<wchar_t*>(rec + 1);
  std::wmemcpy(text, item.name.c_str(), item.name.size() + 1);
  wchar_t* alt = text + item.name.size() + 1;
  *alt = 0;
  rec->FileName = text;
  rec->AlternateFileName = alt;
  rec->FileAttributes = item.attributes;
  rec->FileSize = item.size;
  rec->LastWriteTime = item.writeTime;
  rec->CreationTime = item.writeTime;
  rec->LastAccessTime = item.writeTime;
  rec->Flags = item.selected ? static_cast<uint32_t>(PPIF_SELECTED) : 0u;
  return static_cast<int>(need);
}

int KEL_API SvcPanelControl(HANDLE handle, int command, int param1, void* param2) {
  Host* h = Host::Current();
  if (!h) return 0;
  Panel* panel = nullptr;
  if (handle == PANEL_ACTIVE) panel = &h->ActivePanel();
  else if (handle == PANEL_PASSIVE) panel = &h->PassivePanel();
  if (!panel) return 0;  // plugins' own panels are not hosted here
  auto& items = panel->Items();
  auto selectedIndex = [&](int n) -> int {
    int seen = 0;
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].selected && seen++ == n) return static_cast<int>(i);
    // With nothing selected the host treats the current item as the selection.
    bool any = std::any_of(items.begin(), items.end(), [](auto& it) { return it.selected; });
    if (!any && n == 0 && panel->current >= 0 && panel->current < static_cast<int>(items.size())) return panel->current;
    return -1;
  };
  switch (command) {
    case FCTL_GETPANELINFO: {
      auto* info = static_cast<PanelInfoW*>(param2);
      if (!info) return 0;
      *info = PanelInfoW{};
      info->PanelType = PTYPE_FILEPANEL;
      info->ItemsNumber = static_cast<int>(items.size());
      int sel = static_cast<int>(std::count_if(items.begin(), items.end(), [](auto& it) { return it.selected; }));
      info->SelectedItemsNumber = sel ? sel : (items.empty() ? 0 : 1);
      info->CurrentItem = panel->current;
      info->TopPanelItem = panel->top;
      info->Visible = panel->visible;
      info->Focus = panel == &h->ActivePanel();
      info->Plugin = panel->IsPlugin() ? 1 : 0;
      info->Flags = (panel->IsPlugin() ? static_cast<uint32_t>(PFLAGS_PLUGIN) : static_cast<uint32_t>(PFLAGS_REALNAMES)) | (panel->visible ? static_cast<uint32_t>(PFLAGS_VISIBLE) : 0u) | (info->Focus ? static_cast<uint32_t>(PFLAGS_FOCUS) : 0u);
      return 1;
    }
    case FCTL_GETPANELITEM:
      if (param1 < 0 || param1 >= static_cast<int>(items.size())) return 0;
      return PutPanelItem(items[static_cast<size_t>(param1)], param2);
    case FCTL_GETSELECTEDPANELITEM: {
      int i = selectedIndex(param1);
      return i < 0 ? 0 : PutPanelItem(items[static_cast<size_t>(i)], param2);
    }
    case FCTL_GETCURRENTPANELITEM:
      if (panel->current < 0 || panel->current >= static_cast<int>(items.size())) return 0;
      return PutPanelItem(items[static_cast<size_t>(panel->current)], param2);
    case FCTL_GETPANELDIR: {
      const std::wstring& dir = panel->IsPlugin() ? panel->pluginDir : panel->Folder();
      int need = static_cast<int>(dir.size() + 1);
      if (param2 && param1 > 0) {
        size_t n = std::min(dir.size(), static_cast<size_t>(param1 - 1));
        std::wmemcpy(static_cast<wchar_t*>(param2), dir.c_str(), n);
        static_cast<wchar_t*>(param2)[n] = 0;
      }
      return need;
    }
    case FCTL_UPDATEPANEL:
      if (panel->IsPlugin()) h->RefreshPluginPanel(*panel);
      else panel->Reread(param1 != 0);
      panel->updates++;
      h->Record(L"[panel] updated " + panel->Folder());
      return 1;
    case FCTL_REDRAWPANEL:
      if (auto* r = static_cast<PanelRedrawInfoW*>(param2)) {
        panel->current = r->CurrentItem;
        panel->top = r->TopPanelItem;
      }
      panel->redraws++;
      return 1;
    case FCTL_BEGINSELECTION:
    case FCTL_ENDSELECTION:
      return 1;
    case FCTL_SETSELECTION:
      if (param1 < 0 || param1 >= static_cast<int>(items.size())) return 0;
      items[static_cast<size_t>(param1)].selected = param2 != nullptr;
      return 1;
    case FCTL_CLEARSELECTION: {
      int i = selectedIndex(param1);
      if (i < 0) return 0;
      items[static_cast<size_t>(i)].selected = false;
      return 1;
    }
    case FCTL_SETPANELDIR:
      if (!param2) return 0;
      panel->SetFolder(static_cast<const wchar_t*>(param2));
      return 1;
    case FCTL_SETUSERSCREEN:
      h->Record(L"[screen] user screen shown");
      return 1;
    case FCTL_GETUSERSCREEN:
      h->Record(L"[screen] panels restored");
      return 1;
    case FCTL_ISACTIVEPANEL:
      return panel == &h->ActivePanel();
    case FCTL_CHECKPANELSEXIST:
      return 1;
    default:
      h->Fail(L"HostPanelControl: command " + std::to_wstring(command) + L" not supported by the stand-in");
      return 0;
  }
}

intptr_t KEL_API SvcAdvControl(intptr_t number, int command, int, void* param2) {
  Host* h = Host::Current();
  if (!h) return 0;
  switch (command) {
    case ACTL_GETKELVERSION:
      return static_cast<intptr_t>(h->version);
    case ACTL_SYNCHRO:
      if (Plugin* p = h->PluginByNumber(number)) h->QueueSynchro(p, param2);
      return 1;
    case ACTL_REDRAWALL:
      h->redrawAll++;
      return 1;
    case ACTL_GETKELRECT:
      if (!h->kelRectAvailable || !param2) return 0;
      *static_cast<SMALL_RECT*>(param2) = h->kelRect;
      return 1;
    case ACTL_SETPROGRESSSTATE:
      h->progressStates.push_back(static_cast<int>(reinterpret_cast<intptr_t>(param2)));
      return 1;
    case ACTL_SETPROGRESSVALUE:
      if (param2) h->progressValues.push_back(*static_cast<KelProgressValue*>(param2));
      return 1;
    case ACTL_PROGRESSNOTIFY:
      h->progressNotifies++;
      return 1;
    case ACTL_POSTKEYSEQUENCE:
      if (auto* seq = static_cast<KelKeySequence*>(param2))
        h->postedKeys.emplace_back(seq->Sequence, seq->Sequence + std::max(seq->Count, 0));
      return 1;
    case ACTL_GETKELHWND:
      return reinterpret_cast<intptr_t>(GetConsoleWindow());
    case ACTL_COMMIT:
    case ACTL_QUIT:
      return 1;
    default:
      h->Fail(L"HostAdvControl: command " + std::to_wstring(command) + L" not supported by the stand-in");
      return 0;
  }
}

}  // namespace

// ---- A plugin's own panel ------------------------------------------------------------------------

bool Host::OpenPanel(Plugin* p, int openFrom, intptr_t item) {
  HANDLE h = INVALID_HANDLE_VALUE;
  if (p->unicode) {
    h = OpenPlugin(p, openFrom, item);
  } else if (auto f = reinterpret_cast<HANDLE(KEL_API*)(int, int)>(p->Entry("OpenPlugin"))) {
    h = f(openFrom, static_cast<int>(item));
  }
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return false;
  Panel& panel = ActivePanel();
  if (panel.IsPlugin()) ClosePanel();
  panel.plugin = p;
  panel.pluginHandle = h;
  RefreshPluginPanel(panel);
  Record(L"[panel] " + p->name + L" opened: " + panel.pluginTitle);
  return true;
}

void Host::RefreshPluginPanel(Panel& panel) {
  Plugin* p = panel.plugin;
  if (!p) return;
  panel.items_.clear();
  panel.infoLines.clear();
  if (p->unicode) {
    OpenPluginInfoW info{};
    info.StructSize = sizeof(info);
    if (auto f = reinterpret_cast<KelGetOpenPluginInfoW>(p->Entry("GetOpenPluginInfoW"))) f(panel.pluginHandle, &info);
    panel.pluginDir = Str(info.CurDir);
    panel.pluginTitle = Str(info.PanelTitle);
    panel.pluginFormat = Str(info.Format);
    panel.pluginFlags = info.Flags;
    for (int i = 0; info.InfoLines && i < info.InfoLinesNumber; ++i)
      panel.infoLines.emplace_back(Str(info.InfoLines[i].Text), Str(info.InfoLines[i].Data));
    PluginPanelItemW* items = nullptr;
    int count = 0;
    auto get = reinterpret_cast<KelGetFindDataW>(p->Entry("GetFindDataW"));
    if (get && get(panel.pluginHandle, &items, &count, 0) && items) {
      for (int i = 0; i < count; ++i) {
        PanelItem it;
        it.name = Str(items[i].FileName);
        it.attributes = items[i].FileAttributes;
        it.size = items[i].FileSize;
        it.writeTime = items[i].LastWriteTime;
        panel.items_.push_back(it);
      }
      if (auto f = reinterpret_cast<KelFreeFindDataW>(p->Entry("FreeFindDataW"))) f(panel.pluginHandle, items, count);
    }
  } else {
    OpenPluginInfoA info{};
    info.StructSize = sizeof(info);
    if (auto f = reinterpret_cast<KelGetOpenPluginInfoA>(p->Entry("GetOpenPluginInfo"))) f(panel.pluginHandle, &info);
    panel.pluginDir = FromOem(info.CurDir);
    panel.pluginTitle = FromOem(info.PanelTitle);
    panel.pluginFormat = FromOem(info.Format);
    panel.pluginFlags = info.Flags;
    for (int i = 0; info.InfoLines && i < info.InfoLinesNumber; ++i) {
      // The 8-bit record's texts are fixed 80-byte fields: read them within their bounds.
      const InfoPanelLineA& l = info.InfoLines[i];
      panel.infoLines.emplace_back(FromOem(std::string(l.Text, strnlen(l.Text, sizeof(l.Text))).c_str()),
                                   FromOem(std::string(l.Data, strnlen(l.Data, sizeof(l.Data))).c_str()));
    }
    PluginPanelItemA* items = nullptr;
    int count = 0;
    auto get = reinterpret_cast<KelGetFindDataA>(p->Entry("GetFindData"));
    if (get && get(panel.pluginHandle, &items, &count, 0) && items) {
      for (int i = 0; i < count; ++i) {
        PanelItem it;
        it.name = FromOem(std::string(items[i].FileName, strnlen(items[i].FileName, KEL_NM)).c_str());
        it.attributes = items[i].FileAttributes;
        it.size = (static_cast<uint64_t>(items[i].FileSizeHigh) << 32) | items[i].FileSizeLow;
        it.writeTime = items[i].LastWriteTime;
        panel.items_.push_back(it);
      }
      if (auto f = reinterpret_cast<KelFreeFindDataA>(p->Entry("FreeFindData"))) f(panel.pluginHandle, items, count);
    }
  }
  if (panel.pluginFlags & OPIF_ADDDOTS) {
    PanelItem dots;
    dots.name = L"..";
    dots.attributes = FILE_ATTRIBUTE_DIRECTORY;
    panel.items_.insert(panel.items_.begin(), dots);
  }
  panel.current = std::min(panel.current, std::max(static_cast<int>(panel.items_.size()) - 1, 0));
}

bool Host::PanelSetDirectory(const std::wstring& dir, int opMode) {
  Panel& panel = ActivePanel();
  Plugin* p = panel.plugin;
  if (!p) {
    panel.SetFolder(dir);
    return true;
  }
  int ok = 0;
  if (p->unicode) {
    if (auto f = reinterpret_cast<KelSetDirectoryW>(p->Entry("SetDirectoryW"))) ok = f(panel.pluginHandle, dir.c_str(), opMode);
  } else if (auto f = reinterpret_cast<KelSetDirectoryA>(p->Entry("SetDirectory"))) {
    int n = WideCharToMultiByte(CP_OEMCP, 0, dir.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string oem(static_cast<size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_OEMCP, 0, dir.c_str(), -1, oem.data(), n, nullptr, nullptr);
    ok = f(panel.pluginHandle, oem.c_str(), opMode);
  }
  if (ok) RefreshPluginPanel(panel);
  return ok != 0;
}

int Host::PanelKey(int key, unsigned controlState) {
  Panel& panel = ActivePanel();
  Plugin* p = panel.plugin;
  if (!p) return 0;
  int r = 0;
  if (p->unicode) {
    if (auto f = reinterpret_cast<KelProcessKeyW>(p->Entry("ProcessKeyW"))) r = f(panel.pluginHandle, key, controlState);
  } else if (auto f = reinterpret_cast<KelProcessKeyA>(p->Entry("ProcessKey"))) {
    r = f(panel.pluginHandle, key, controlState);
  }
  return r;
}

void Host::ClosePanel() {
  Panel& panel = ActivePanel();
  Plugin* p = panel.plugin;
  if (!p) return;
  if (p->unicode) {
    if (auto f = reinterpret_cast<KelClosePluginW>(p->Entry("ClosePluginW"))) f(panel.pluginHandle);
  } else if (auto f = reinterpret_cast<KelClosePluginA>(p->Entry("ClosePlugin"))) {
    f(panel.pluginHandle);
  }
  Record(L"[panel] " + p->name + L" closed");
  panel.plugin = nullptr;
  panel.pluginHandle = nullptr;
  panel.infoLines.clear();
  panel.SetFolder(panel.Folder());
}

// ---- Panel over a real folder ------------------------------------------------------------------

void Panel::SetFolder(const std::wstring& folder) {
  folder_ = folder;
  while (folder_.size() > 3 && (folder_.back() == L'\\' || folder_.back() == L'/')) folder_.pop_back();
  items_.clear();
  current = top = 0;
  Reread(false);
}

void Panel::Reread(bool keepSelection) {
  std::vector<std::wstring> selected = SelectedNames();
  std::wstring currentName =
      current >= 0 && current < static_cast<int>(items_.size()) ? items_[static_cast<size_t>(current)].name : L"";
  items_.clear();
  WIN32_FIND_DATAW fd;
  std::wstring pattern = folder_ + (folder_.empty() || folder_.back() == L'\\' ? L"" : L"\\") + L"*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring n = fd.cFileName;
      if (n == L"." || n == L"..") continue;
      PanelItem it;
      it.name = n;
      it.attributes = fd.dwFileAttributes;
      it.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      it.writeTime = fd.ftLastWriteTime;
      items_.push_back(it);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  // Folders first, then by name, as a file panel sorts by default.
  std::sort(items_.begin(), items_.end(), [](const PanelItem& a, const PanelItem& b) {
    bool da = a.attributes & FILE_ATTRIBUTE_DIRECTORY, db = b.attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (da != db) return da;
    return lstrcmpiW(a.name.c_str(), b.name.c_str()) < 0;
  });
  current = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (keepSelection && std::find(selected.begin(), selected.end(), items_[i].name) != selected.end())
      items_[i].selected = true;
    if (items_[i].name == currentName) current = static_cast<int>(i);
  }
}

void Panel::Select(const std::wstring& name, bool on) {
  for (auto& it : items_)
    if (it.name == name) it.selected = on;
}

void Panel::SelectAll() {
  for (auto& it : items_) it.selected = true;
}

std::vector<std::wstring> Panel::SelectedNames() const {
  std::vector<std::wstring> out;
  for (auto& it : items_)
    if (it.selected) out.push_back(it.name);
  return out;
}

// ---- Language files and text helpers --------------------------------------------------------

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::vector<std::wstring> LoadLanguageFile(const std::wstring& path) {
  std::vector<std::wstring> texts;
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return texts;
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (first && line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF) line.erase(0, 3);  // BOM
    first = false;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] != '"') continue;  // headers, comments, blanks
    std::string body = line.substr(start + 1);
    if (!body.empty() && body.back() == '"') body.pop_back();
    // The host's escapes: \" for a quote, \\ for a backslash, \n for a line break.
    std::string text;
    for (size_t i = 0; i < body.size(); ++i) {
      if (body[i] == '\\' && i + 1 < body.size()) {
        char c = body[++i];
        text += c == 'n' ? '\n' : c == 't' ? '\t' : c;
      } else {
        text += body[i];
      }
    }
    texts.push_back(Wide(text));
  }
  return texts;
}

}  // namespace kelhost
