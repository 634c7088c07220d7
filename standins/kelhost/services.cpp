// Services of the host stand-in (Unicode generation): messages, menus, input boxes, language
// texts, help, advanced control, the viewer and the modal editor.
#include <windows.h>

#include <algorithm>

#include "standins/kelhost/editor.h"
#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

namespace {

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

}  // namespace

int KEL_API SvcMessage(intptr_t number, uint32_t flags, const wchar_t* help, const wchar_t* const* items,
                       int itemsNumber, int buttonsNumber) {
  Host* h = Host::Current();
  if (!h || Refused("HostMessage")) return -1;
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
  if (!h || Refused("HostMenu")) return -1;
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
  if (!h || Refused("HostInputBox")) return 0;
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
  if (Refused("HostGetMsg", id)) return nullptr;
  Host* h = Host::Current();
  Plugin* p = h ? h->PluginByNumber(number) : nullptr;
  if (!p || id < 0 || id >= static_cast<int>(p->messages.size())) {
    if (h) h->Fail(L"HostGetMsg: no message " + std::to_wstring(id) + L" for " + (p ? p->name : L"?"));
    return L"";
  }
  return p->messages[static_cast<size_t>(id)].c_str();
}

int KEL_API SvcShowHelp(const wchar_t*, const wchar_t* topic, uint32_t) {
  if (Refused("HostShowHelp")) return 0;
  if (Host* h = Host::Current()) {
    h->helpTopics.push_back(Str(topic));
    h->Record(L"[help] " + Str(topic));
  }
  return 1;
}

int KEL_API SvcEditorControl(int command, int param1, void* param2) {
  Host* h = Host::Current();
  if (!h || !h->CurrentEditor() || Refused("HostEditorControl", command)) return 0;
  return h->CurrentEditor()->Control(command, param1, param2);
}

int KEL_API SvcViewerControl(int command, void*) {
  Refused("HostViewerControl", command);  // counted; the stand-in has no viewer to control
  return 0;
}

int KEL_API SvcViewer(const wchar_t* file, const wchar_t* title, int, int, int, int, uint32_t, UINT) {
  if (Refused("HostViewer")) return 0;
  if (Host* h = Host::Current()) h->Record(L"[viewer] " + Str(title) + L" " + Str(file));
  return 1;
}

int KEL_API SvcEditor(const wchar_t* file, const wchar_t* title, int, int, int, int, uint32_t flags, int startLine,
                      int startChar, UINT codePage) {
  Host* h = Host::Current();
  if (!h || Refused("HostEditor")) return EEC_OPEN_ERROR;
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
intptr_t KEL_API SvcAdvControl(intptr_t number, int command, int, void* param2) {
  Host* h = Host::Current();
  if (!h || Refused("HostAdvControl", command)) return 0;
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

}  // namespace kelhost
