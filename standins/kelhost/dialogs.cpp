// Dialogs of the host stand-in: the modal loop over a plugin's dialog procedure, driven by a
// DialogScript; the dialog messages; requests from other threads; the host's own dialogs.
#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cwchar>
#include <set>

#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

// ---- Script builders ------------------------------------------------------------------------

static DialogStep MakeStep(DialogStep::Kind kind) {
  DialogStep s;
  s.kind = kind;
  return s;
}

DialogScript& DialogScript::Type(int item, std::wstring text) {
  auto s = MakeStep(DialogStep::Type);
  s.item = item;
  s.text = std::move(text);
  steps.push_back(std::move(s));
  return *this;
}
DialogScript& DialogScript::Key(uint32_t key) {
  auto s = MakeStep(DialogStep::Key);
  s.key = key;
  steps.push_back(std::move(s));
  return *this;
}
DialogScript& DialogScript::Click(int item, bool shift) {
  auto s = MakeStep(DialogStep::Click);
  s.item = item;
  s.shift = shift;
  steps.push_back(std::move(s));
  return *this;
}
DialogScript& DialogScript::Focus(int item) {
  auto s = MakeStep(DialogStep::Focus);
  s.item = item;
  steps.push_back(std::move(s));
  return *this;
}
DialogScript& DialogScript::Select(int item, int index) {
  auto s = MakeStep(DialogStep::Select);
  s.item = item;
  s.index = index;
  steps.push_back(std::move(s));
  return *this;
}
DialogScript& DialogScript::Idle() {
  steps.push_back(MakeStep(DialogStep::Idle));
  return *this;
}
DialogScript& DialogScript::WaitUntil(std::function<bool(DialogView&)> predicate, int timeoutMs) {
  auto s = MakeStep(DialogStep::WaitUntil);
  s.predicate = std::move(predicate);
  s.timeoutMs = timeoutMs;
  steps.push_back(std::move(s));
  return *this;
}
DialogScript& DialogScript::Check(std::function<void(DialogView&)> check) {
  auto s = MakeStep(DialogStep::Check);
  s.check = std::move(check);
  steps.push_back(std::move(s));
  return *this;
}
DialogScript& DialogScript::Close(int item) {
  auto s = MakeStep(DialogStep::Close);
  s.item = item;
  steps.push_back(std::move(s));
  return *this;
}

namespace {

// A request from another thread, run by the host thread at its next pump.
struct Request {
  int msg;
  int param1;
  void* param2;
  intptr_t result = 0;
  bool taken = false;  // the host thread is running it (and may write into its buffers)
  bool done = false;
};

class RunningDialog;
std::recursive_mutex g_dialogsLock;
std::set<RunningDialog*> g_dialogs;  // live dialogs, so stale handles are refused

class RunningDialog : public DialogView {
 public:
  RunningDialog(Host* host, Plugin* plugin, KelDialogProc proc, void* param) : host_(host), plugin_(plugin), proc_(proc), param_(param) {
    std::lock_guard<std::recursive_mutex> g(g_dialogsLock);
    g_dialogs.insert(this);
  }
  ~RunningDialog() override {
    {
      // Once out of the set no other thread can find the dialog; those already in Post are
      // answered and waited for, so none wakes up on a lock or condition that is gone.
      std::lock_guard<std::recursive_mutex> g(g_dialogsLock);
      g_dialogs.erase(this);
    }
    std::unique_lock<std::mutex> lk(queueLock_);
    alive_ = false;
    for (Request* r : queue_) {
      r->result = 0;
      r->done = true;
    }
    queue_.clear();
    queueCv_.notify_all();
    queueCv_.wait(lk, [&] { return posters_ == 0; });
  }

  // A live dialog another thread may post to; the caller then calls Post, which ends the admission.
  static RunningDialog* AdmitPoster(HANDLE h) {
    auto* d = reinterpret_cast<RunningDialog*>(h);
    std::lock_guard<std::recursive_mutex> g(g_dialogsLock);
    if (!g_dialogs.count(d)) return nullptr;
    std::lock_guard<std::mutex> q(d->queueLock_);
    ++d->posters_;
    return d;
  }

  std::vector<DialogItemState> items;
  int focus = 0;
  bool closed = false;
  int exitCode = -1;
  GUID id{};
  bool hasId = false;
  intptr_t dlgData = 0;

  int ItemCount() const override { return static_cast<int>(items.size()); }
  const DialogItemState& Item(int index) const override { return items.at(static_cast<size_t>(index)); }
  int Focus() const override { return focus; }
  intptr_t Send(int msg, int param1, void* param2) override { return Handle(msg, param1, param2); }

  bool Valid(int item) const { return item >= 0 && item < static_cast<int>(items.size()); }

  // Every message to the dialog passes the plugins' dialog event hook, then the procedure.
  intptr_t CallProc(int msg, int param1, void* param2) {
    KelDialogEventInfo info{reinterpret_cast<HANDLE>(this), msg, param1, param2, 0};
    for (auto& p : host_->Plugins()) {
      if (!p->unicode) continue;
      auto f = reinterpret_cast<int(KEL_API*)(int, void*)>(p->Entry("ProcessDialogEventW"));
      if (f && f(DE_DLGPROCINIT, &info)) return info.Result;
    }
    if (proc_) return proc_(reinterpret_cast<HANDLE>(this), msg, param1, param2);
    return DefaultResult(msg, param1, param2);
  }

  static intptr_t DefaultResult(int msg, int, void* param2) {
    switch (msg) {
      case DN_CLOSE: return TRUE;
      case DN_KILLFOCUS: return -1;
      case DN_EDITCHANGE:
      case DN_LISTCHANGE: return TRUE;
      case DN_CTLCOLORDIALOG:
      case DN_CTLCOLORDLGITEM:
      case DN_CTLCOLORDLGLIST: return reinterpret_cast<intptr_t>(param2);
      default: return FALSE;
    }
  }

  bool RequestClose(int item) {
    if (closed) return true;
    if (CallProc(DN_CLOSE, item, nullptr)) {
      closed = true;
      exitCode = item;
    }
    return closed;
  }

  void SetFocus(int item) {
    if (!Valid(item) || item == focus) return;
    intptr_t keep = CallProc(DN_KILLFOCUS, focus, nullptr);
    if (keep >= 0 && Valid(static_cast<int>(keep))) {
      focus = static_cast<int>(keep);
      return;
    }
    focus = item;
    CallProc(DN_GOTFOCUS, item, nullptr);
  }

  bool Focusable(int i) const {
    const auto& it = items[static_cast<size_t>(i)];
    if (!it.visible || !it.enabled) return false;
    switch (it.type) {
      case DI_EDIT: case DI_PSWEDIT: case DI_FIXEDIT: case DI_BUTTON: case DI_CHECKBOX:
      case DI_RADIOBUTTON: case DI_COMBOBOX: case DI_LISTBOX: case DI_USERCONTROL:
        return true;
      default:
        return false;
    }
  }

  void EditChanged(int item) {
    KelDialogItem tmp{};
    const auto& it = items[static_cast<size_t>(item)];
    tmp.Type = it.type;
    tmp.Data = it.text.c_str();
    tmp.Flags = it.flags;
    CallProc(DN_EDITCHANGE, item, &tmp);
  }

  void Click(int item, bool shift) {
    if (!Valid(item)) return;
    auto& it = items[static_cast<size_t>(item)];
    if (!it.enabled || !it.visible) return;
    SetFocus(item);
    MOUSE_EVENT_RECORD mouse{};
    mouse.dwButtonState = FROM_LEFT_1ST_BUTTON_PRESSED;
    mouse.dwControlKeyState = shift ? SHIFT_PRESSED : 0;
    if (CallProc(DN_MOUSECLICK, item, &mouse)) return;
    Press(item, shift);
  }

  // A button, check box or radio button pressed by mouse or key.
  void Press(int item, bool shift) {
    auto& it = items[static_cast<size_t>(item)];
    if (it.type == DI_CHECKBOX) {
      it.selected = (it.flags & DIF_3STATE) ? (it.selected + 1) % 3 : !it.selected;
      CallProc(DN_BTNCLICK, item, reinterpret_cast<void*>(it.selected));
      return;
    }
    if (it.type == DI_RADIOBUTTON) {
      int first = item;
      while (first > 0 && !(items[static_cast<size_t>(first)].flags & DIF_GROUP) &&
             items[static_cast<size_t>(first - 1)].type == DI_RADIOBUTTON)
        --first;
      for (int i = first; i < ItemCount() && items[static_cast<size_t>(i)].type == DI_RADIOBUTTON; ++i) {
        if (i > first && (items[static_cast<size_t>(i)].flags & DIF_GROUP)) break;
        items[static_cast<size_t>(i)].selected = (i == item);
      }
      CallProc(DN_BTNCLICK, item, reinterpret_cast<void*>(static_cast<intptr_t>(1)));
      return;
    }
    if (it.type == DI_BUTTON) {
      void* p2 = reinterpret_cast<void*>(static_cast<intptr_t>(shift ? 1 : 0));
      if (!CallProc(DN_BTNCLICK, item, p2) && !(it.flags & DIF_BTNNOCLOSE)) RequestClose(item);
    }
  }

  void Key(uint32_t key) {
    if (CallProc(DN_KEY, focus, reinterpret_cast<void*>(static_cast<intptr_t>(key)))) return;
    auto& it = items[static_cast<size_t>(focus)];
    uint32_t plain = key & ~static_cast<uint32_t>(KEY_SHIFT);
    if (key == KEY_ESC) {
      RequestClose(-1);
    } else if (plain == KEY_ENTER || plain == KEY_NUMENTER) {
      if (it.type == DI_BUTTON) {
        Press(focus, (key & KEY_SHIFT) != 0);
        return;
      }
      int def = -1;
      for (int i = 0; i < ItemCount(); ++i)
        if (items[static_cast<size_t>(i)].flags & DIF_DEFAULTBUTTON) def = i;
      if (def >= 0 && items[static_cast<size_t>(def)].type == DI_BUTTON) Press(def, (key & KEY_SHIFT) != 0);
      else RequestClose(def >= 0 ? def : focus);
    } else if (key == KEY_TAB || key == KEY_DOWN || key == KEY_UP) {
      if ((it.type == DI_LISTBOX || (it.type == DI_COMBOBOX && it.dropDownOpen)) && key != KEY_TAB) {
        int n = static_cast<int>(it.list.size());
        int pos = std::clamp(it.listPos + (key == KEY_DOWN ? 1 : -1), 0, std::max(n - 1, 0));
        SelectList(focus, pos);
        return;
      }
      int step = key == KEY_UP ? -1 : 1;
      for (int k = 1; k <= ItemCount(); ++k) {
        int i = ((focus + step * k) % ItemCount() + ItemCount()) % ItemCount();
        if (Focusable(i)) {
          SetFocus(i);
          break;
        }
      }
    } else if (key == KEY_SPACE && (it.type == DI_CHECKBOX || it.type == DI_RADIOBUTTON || it.type == DI_BUTTON)) {
      Press(focus, false);
    } else if (key == KEY_F4 && it.type == DI_COMBOBOX) {
      it.dropDownOpen = !it.dropDownOpen;
    }
  }

  void SelectList(int item, int index) {
    auto& it = items[static_cast<size_t>(item)];
    if (index < 0 || index >= static_cast<int>(it.list.size())) return;
    it.listPos = index;
    if (it.type == DI_COMBOBOX) {
      it.text = it.list[static_cast<size_t>(index)];
      EditChanged(item);
    }
    CallProc(DN_LISTCHANGE, item, reinterpret_cast<void*>(static_cast<intptr_t>(index)));
  }

  intptr_t Handle(int msg, int p1, void* p2);

  // Cross-thread requests.
  intptr_t Post(int msg, int p1, void* p2) {
    Request r{msg, p1, p2};
    std::unique_lock<std::mutex> lk(queueLock_);
    struct Leave {
      RunningDialog* d;
      ~Leave() {  // runs with queueLock_ held
        --d->posters_;
        d->queueCv_.notify_all();
      }
    } leave{this};
    if (!alive_) return 0;
    queue_.push_back(&r);
    queueCv_.notify_all();
    int waitMs = host_->crossThreadWaitMs;
    if (!queueCv_.wait_for(lk, std::chrono::milliseconds(waitMs), [&] { return r.taken || r.done; })) {
      queue_.erase(std::remove(queue_.begin(), queue_.end(), &r), queue_.end());
      host_->Fail(L"a dialog request from another thread was not taken up in " + std::to_wstring(waitMs) + L" ms");
      return 0;
    }
    // Once taken up, the request (this frame) and the caller's buffers are the host thread's until
    // it is done: waiting for its end is the only way not to leave it writing into a dead frame.
    queueCv_.wait(lk, [&] { return r.done; });
    return r.result;
  }

  // Runs queued requests on the host thread; waits up to `waitMs` for the first one.
  void Pump(int waitMs) {
    std::unique_lock<std::mutex> lk(queueLock_);
    if (waitMs > 0 && queue_.empty())
      queueCv_.wait_for(lk, std::chrono::milliseconds(waitMs), [&] { return !queue_.empty(); });
    while (!queue_.empty()) {
      Request* r = queue_.front();
      queue_.erase(queue_.begin());
      r->taken = true;
      queueCv_.notify_all();
      lk.unlock();
      intptr_t result = Handle(r->msg, r->param1, r->param2);
      lk.lock();
      r->result = result;
      r->done = true;
      queueCv_.notify_all();
    }
  }

  Host* host_;
  Plugin* plugin_;
  KelDialogProc proc_;
  void* param_;
  std::mutex queueLock_;
  std::condition_variable queueCv_;
  std::vector<Request*> queue_;
  bool alive_ = true;
  int posters_ = 0;  // other threads admitted to Post and not out of it yet
};

intptr_t RunningDialog::Handle(int msg, int p1, void* p2) {
  auto item = [&]() -> DialogItemState* { return Valid(p1) ? &items[static_cast<size_t>(p1)] : nullptr; };
  switch (msg) {
    case DM_CLOSE:
      return RequestClose(p1) ? 1 : 0;
    case DM_GETDIALOGINFO: {
      auto* info = static_cast<KelDialogInfo*>(p2);
      if (!info || info->StructSize < sizeof(KelDialogInfo) || !hasId) return 0;
      info->Id = id;
      return 1;
    }
    case DM_GETDLGITEM: {
      DialogItemState* it = item();
      if (!it) return 0;
      size_t need = sizeof(KelDialogItem) + (it->text.size() + 1) * sizeof(wchar_t);
      auto* buf = static_cast<KelDialogItemBuffer*>(p2);
      if (!buf || !buf->Item) return static_cast<intptr_t>(need);
      if (buf->Size < need) return 0;
      KelDialogItem* out = buf->Item;
      *out = KelDialogItem{};
      out->Type = it->type;
      out->X1 = it->x1; out->Y1 = it->y1; out->X2 = it->x2; out->Y2 = it->y2;
      out->Param.Selected = it->selected;
      out->Flags = it->flags | (it->enabled ? 0u : static_cast<uint32_t>(DIF_DISABLE)) |
                   (it->visible ? 0u : static_cast<uint32_t>(DIF_HIDDEN));
      auto* text = reinterpret_cast<wchar_t*>(out + 1);
      std::wmemcpy(text, it->text.c_str(), it->text.size() + 1);
      out->Data = text;
      out->MaxLength = it->maxLength;
      out->UserData = it->userData;
      return static_cast<intptr_t>(need);
    }
    case DM_SETDLGITEM: {
      DialogItemState* it = item();
      auto* in = static_cast<KelDialogItem*>(p2);
      if (!it || !in) return 0;
      it->type = in->Type;
      it->flags = in->Flags;
      it->text = in->Data ? in->Data : L"";
      it->selected = in->Param.Selected;
      return 1;
    }
    case DM_GETTEXT: {
      DialogItemState* it = item();
      if (!it) return 0;
      auto* d = static_cast<KelDialogItemData*>(p2);
      if (d && d->PtrData) {
        size_t n = std::min(d->PtrLength, it->text.size());
        std::wmemcpy(const_cast<wchar_t*>(d->PtrData), it->text.c_str(), n);
        const_cast<wchar_t*>(d->PtrData)[n] = 0;
        d->PtrLength = n;
      }
      return static_cast<intptr_t>(it->text.size());
    }
    case DM_SETTEXT: {
      DialogItemState* it = item();
      auto* d = static_cast<KelDialogItemData*>(p2);
      if (!it || !d) return 0;
      it->text.assign(d->PtrData ? d->PtrData : L"", d->PtrData ? d->PtrLength : 0);
      return static_cast<intptr_t>(it->text.size());
    }
    case DM_SETTEXTPTR: {
      DialogItemState* it = item();
      if (!it) return 0;
      it->text = p2 ? static_cast<const wchar_t*>(p2) : L"";
      return static_cast<intptr_t>(it->text.size());
    }
    case DM_GETCONSTTEXTPTR: {
      DialogItemState* it = item();
      return it ? reinterpret_cast<intptr_t>(it->text.c_str()) : 0;
    }
    case DM_SETMAXTEXTLENGTH: {
      DialogItemState* it = item();
      if (!it) return 0;
      size_t old = it->maxLength;
      it->maxLength = reinterpret_cast<size_t>(p2);
      return static_cast<intptr_t>(old);
    }
    case DM_ENABLE: {
      DialogItemState* it = item();
      if (!it) return 0;
      intptr_t old = it->enabled;
      intptr_t v = reinterpret_cast<intptr_t>(p2);
      if (v != -1) it->enabled = v != 0;
      return old;
    }
    case DM_SHOWITEM: {
      DialogItemState* it = item();
      if (!it) return 0;
      intptr_t old = it->visible;
      intptr_t v = reinterpret_cast<intptr_t>(p2);
      if (v != -1) it->visible = v != 0;
      return old;
    }
    case DM_SETFOCUS:
      if (!Valid(p1)) return 0;
      SetFocus(p1);
      return focus == p1;
    case DM_GETFOCUS:
      return focus;
    case DM_GETCHECK: {
      DialogItemState* it = item();
      return it ? it->selected : 0;
    }
    case DM_SETCHECK: {
      DialogItemState* it = item();
      if (!it) return 0;
      intptr_t old = it->selected;
      intptr_t v = reinterpret_cast<intptr_t>(p2);
      if (v == BSTATE_TOGGLE) v = !old;
      if (it->type == DI_RADIOBUTTON && v) {
        Press(p1, false);
      } else {
        it->selected = v;
      }
      return old;
    }
    case DM_GETDROPDOWNOPENED: {
      DialogItemState* it = item();
      return it ? it->dropDownOpen : 0;
    }
    case DM_SETDROPDOWNOPENED: {
      DialogItemState* it = item();
      if (!it) return 0;
      it->dropDownOpen = p2 != nullptr;
      return 1;
    }
    case DM_LISTDELETE: {
      DialogItemState* it = item();
      if (!it) return 0;
      it->list.clear();
      it->listFlags.clear();
      it->listData.clear();
      it->listPos = -1;
      return 1;
    }
    case DM_LISTADDSTR: {
      DialogItemState* it = item();
      if (!it) return 0;
      it->list.push_back(p2 ? static_cast<const wchar_t*>(p2) : L"");
      it->listFlags.push_back(0);
      it->listData.push_back(0);
      if (it->listPos < 0) it->listPos = 0;
      return static_cast<intptr_t>(it->list.size() - 1);
    }
    case DM_LISTADD: {
      DialogItemState* it = item();
      auto* l = static_cast<KelList*>(p2);
      if (!it || !l) return 0;
      for (int i = 0; i < l->ItemsNumber; ++i) {
        it->list.push_back(l->Items[i].Text ? l->Items[i].Text : L"");
        it->listFlags.push_back(l->Items[i].Flags);
        it->listData.push_back(0);
        if (l->Items[i].Flags & LIF_SELECTED) it->listPos = static_cast<int>(it->list.size() - 1);
      }
      if (it->listPos < 0 && !it->list.empty()) it->listPos = 0;
      return 1;
    }
    case DM_LISTUPDATE: {
      DialogItemState* it = item();
      auto* u = static_cast<KelListUpdate*>(p2);
      if (!it || !u || u->Index < 0 || u->Index >= static_cast<int>(it->list.size())) return 0;
      it->list[static_cast<size_t>(u->Index)] = u->Item.Text ? u->Item.Text : L"";
      it->listFlags[static_cast<size_t>(u->Index)] = u->Item.Flags;
      return 1;
    }
    case DM_LISTGETITEM: {
      DialogItemState* it = item();
      auto* u = static_cast<KelListUpdate*>(p2);
      if (!it || !u || u->Index < 0 || u->Index >= static_cast<int>(it->list.size())) return 0;
      u->Item.Text = it->list[static_cast<size_t>(u->Index)].c_str();
      u->Item.Flags = it->listFlags[static_cast<size_t>(u->Index)];
      return 1;
    }
    case DM_LISTINFO: {
      DialogItemState* it = item();
      auto* info = static_cast<KelListInfo*>(p2);
      if (!it || !info) return 0;
      info->ItemsNumber = static_cast<int>(it->list.size());
      info->SelectPos = it->listPos;
      info->TopPos = 0;
      return 1;
    }
    case DM_LISTGETCURPOS: {
      DialogItemState* it = item();
      if (!it) return 0;
      if (auto* pos = static_cast<KelListPos*>(p2)) {
        pos->SelectPos = it->listPos;
        pos->TopPos = 0;
      }
      return it->listPos;
    }
    case DM_LISTSETCURPOS: {
      DialogItemState* it = item();
      auto* pos = static_cast<KelListPos*>(p2);
      if (!it || !pos) return 0;
      if (pos->SelectPos >= 0 && pos->SelectPos < static_cast<int>(it->list.size())) {
        it->listPos = pos->SelectPos;
        if (it->type == DI_COMBOBOX) it->text = it->list[static_cast<size_t>(pos->SelectPos)];
      }
      return it->listPos;
    }
    case DM_LISTSETDATA: {
      DialogItemState* it = item();
      auto* d = static_cast<KelListItemData*>(p2);
      if (!it || !d || d->Index < 0 || d->Index >= static_cast<int>(it->listData.size())) return 0;
      it->listData[static_cast<size_t>(d->Index)] = d->Data;
      return 1;
    }
    case DM_LISTGETDATA: {
      DialogItemState* it = item();
      intptr_t i = reinterpret_cast<intptr_t>(p2);
      if (!it || i < 0 || i >= static_cast<intptr_t>(it->listData.size())) return 0;
      return it->listData[static_cast<size_t>(i)];
    }
    case DM_GETITEMDATA: {
      DialogItemState* it = item();
      return it ? it->userData : 0;
    }
    case DM_SETITEMDATA: {
      DialogItemState* it = item();
      if (!it) return 0;
      intptr_t old = it->userData;
      it->userData = reinterpret_cast<intptr_t>(p2);
      return old;
    }
    case DM_GETDLGDATA:
      return dlgData;
    case DM_SETDLGDATA: {
      intptr_t old = dlgData;
      dlgData = reinterpret_cast<intptr_t>(p2);
      return old;
    }
    case DM_KEY: {
      auto* keys = static_cast<const uint32_t*>(p2);
      for (int i = 0; keys && i < p1 && !closed; ++i) Key(keys[i]);
      return 1;
    }
    case DM_REDRAW:
    case DM_ENABLEREDRAW:
    case DM_SHOWDIALOG:
    case DM_RESIZEDIALOG:
    case DM_MOVEDIALOG:
    case DM_SETITEMPOSITION:
    case DM_ADDHISTORY:
    case DM_SETHISTORY:
    case DM_EDITUNCHANGEDFLAG:
    case DM_SETCURSORPOS:
    case DM_SETEDITPOSITION:
    case DM_SETSELECTION:
      return 1;
    default:
      if (msg >= DM_USER || (msg >= DN_FIRST && msg < DM_USER)) return CallProc(msg, p1, p2);
      host_->Fail(L"HostSendDlgMessage: message " + std::to_wstring(msg) + L" not supported by the stand-in");
      return 0;
  }
}

RunningDialog* FromHandle(HANDLE h) {
  auto* d = reinterpret_cast<RunningDialog*>(h);
  std::lock_guard<std::recursive_mutex> g(g_dialogsLock);
  return g_dialogs.count(d) ? d : nullptr;
}

intptr_t KEL_API SvcSendDlgMessage(HANDLE dlg, int msg, int param1, void* param2) {
  Host* h = Host::Current();
  if (!h || !FromHandle(dlg) || Refused("HostSendDlgMessage", msg)) return 0;
  if (GetCurrentThreadId() != h->HostThread()) {
    RunningDialog* d = RunningDialog::AdmitPoster(dlg);
    return d ? d->Post(msg, param1, param2) : 0;
  }
  return FromHandle(dlg)->Handle(msg, param1, param2);
}

intptr_t KEL_API SvcDefDlgProc(HANDLE, int msg, int param1, void* param2) {
  return RunningDialog::DefaultResult(msg, param1, param2);
}

// A key as the transcript shows it.
std::wstring KeyName(uint32_t key) {
  std::wstring mods;
  if (key & KEY_CTRL) mods += L"Ctrl+";
  if (key & KEY_ALT) mods += L"Alt+";
  if (key & KEY_SHIFT) mods += L"Shift+";
  uint32_t k = key & ~static_cast<uint32_t>(KEY_CTRL | KEY_ALT | KEY_SHIFT);
  switch (k) {
    case KEY_ENTER: return mods + L"Enter";
    case KEY_ESC: return mods + L"Esc";
    case KEY_TAB: return mods + L"Tab";
    case KEY_BS: return mods + L"BS";
    case KEY_SPACE: return mods + L"Space";
    case KEY_UP: return mods + L"Up";
    case KEY_DOWN: return mods + L"Down";
    case KEY_LEFT: return mods + L"Left";
    case KEY_RIGHT: return mods + L"Right";
    case KEY_NUMENTER: return mods + L"Enter (keypad)";
    default: break;
  }
  if (k >= KEY_F1 && k <= KEY_F1 + 11) return mods + L"F" + std::to_wstring(k - KEY_F1 + 1);
  if (k >= 32 && k < KEY_FKEYBASE) return mods + std::wstring(1, static_cast<wchar_t>(k));
  wchar_t b[16];
  swprintf(b, 16, L"0x%X", k);
  return mods + b;
}

std::wstring ItemLine(int i, const DialogItemState& it) {
  static const wchar_t* kTypes[] = {L"text", L"vtext", L"box", L"dbox", L"edit", L"password", L"fixedit",
                                    L"button", L"check", L"radio", L"combo", L"list"};
  std::wstring t = it.type >= 0 && it.type <= DI_LISTBOX ? kTypes[it.type] : L"user";
  std::wstring line = L"  " + std::to_wstring(i) + L" " + t;
  if (it.type == DI_CHECKBOX || it.type == DI_RADIOBUTTON) line += it.selected ? L" [x]" : L" [ ]";
  line += L" \"" + it.text + L"\"";
  if (!it.enabled) line += L" (disabled)";
  if (!it.visible) line += L" (hidden)";
  return line;
}

int RunDialog(Host* h, Plugin* plugin, const GUID* id, int x1, int y1, int x2, int y2, const wchar_t* help,
              KelDialogItem* items, int count, KelDialogProc proc, void* param, std::optional<DialogScript> script) {
  RunningDialog d(h, plugin, proc, param);
  if (id) {
    d.id = *id;
    d.hasId = true;
  }
  for (int i = 0; i < count; ++i) {
    const KelDialogItem& src = items[i];
    DialogItemState st;
    st.type = src.Type;
    st.x1 = src.X1; st.y1 = src.Y1; st.x2 = src.X2; st.y2 = src.Y2;
    st.flags = src.Flags;
    st.text = src.Data ? src.Data : L"";
    st.enabled = !(src.Flags & DIF_DISABLE);
    st.visible = !(src.Flags & DIF_HIDDEN);
    st.maxLength = src.MaxLength;
    st.userData = src.UserData;
    if (src.Type == DI_CHECKBOX || src.Type == DI_RADIOBUTTON) st.selected = src.Param.Selected;
    if ((src.Type == DI_EDIT || src.Type == DI_FIXEDIT) && (src.Flags & DIF_HISTORY) && src.Param.History)
      st.history = src.Param.History;
    if ((src.Type == DI_COMBOBOX || src.Type == DI_LISTBOX) && src.Param.ListItems) {
      const KelList* l = src.Param.ListItems;
      for (int k = 0; k < l->ItemsNumber; ++k) {
        st.list.push_back(l->Items[k].Text ? l->Items[k].Text : L"");
        st.listFlags.push_back(l->Items[k].Flags);
        st.listData.push_back(0);
        if (l->Items[k].Flags & LIF_SELECTED) st.listPos = k;
      }
      if (st.listPos < 0 && !st.list.empty()) st.listPos = 0;
    }
    d.items.push_back(st);
    if (src.Flags & DIF_FOCUS) d.focus = i;
  }
  if (count > 0 && !(d.Valid(d.focus) && d.Focusable(d.focus))) {
    for (int i = 0; i < count; ++i)
      if (d.Focusable(i)) {
        d.focus = i;
        break;
      }
  }
  DialogCall call;
  call.plugin = plugin ? plugin->name : L"";
  call.id = d.id;
  call.hasId = d.hasId;
  call.helpTopic = help ? help : L"";
  call.x1 = x1; call.y1 = y1; call.x2 = x2; call.y2 = y2;
  call.itemsAtOpen = d.items;
  std::wstring title = count > 0 ? d.items[0].text : L"";
  h->Record(L"[dialog] " + title + L" (" + std::to_wstring(x2 - x1 + 1) + L"x" + std::to_wstring(y2 - y1 + 1) + L")");
  for (int i = 0; i < count; ++i)
    if (d.items[static_cast<size_t>(i)].type != DI_DOUBLEBOX && d.items[static_cast<size_t>(i)].type != DI_SINGLEBOX)
      h->Record(ItemLine(i, d.items[static_cast<size_t>(i)]));

  d.CallProc(DN_INITDIALOG, 0, param);
  if (!script) {
    h->Fail(L"no scripted answer for dialog: " + title);
  } else {
    for (auto& step : script->steps) {
      d.Pump(0);
      if (d.closed) {
        h->Fail(L"dialog \"" + title + L"\" closed before its script ended");
        break;
      }
      switch (step.kind) {
        case DialogStep::Type:
          if (!d.Valid(step.item)) { h->Fail(L"Type: no item " + std::to_wstring(step.item)); break; }
          d.SetFocus(step.item);
          d.items[static_cast<size_t>(step.item)].text = step.text;
          h->Record(L"  type into " + std::to_wstring(step.item) + L": \"" + step.text + L"\"");
          d.EditChanged(step.item);
          break;
        case DialogStep::Key:
          h->Record(L"  key " + KeyName(step.key));
          d.Key(step.key);
          break;
        case DialogStep::Click:
          if (!d.Valid(step.item)) { h->Fail(L"Click: no item " + std::to_wstring(step.item)); break; }
          h->Record(L"  click " + std::to_wstring(step.item) + L" \"" + d.items[static_cast<size_t>(step.item)].text +
                    L"\"" + (step.shift ? L" with Shift" : L""));
          d.Click(step.item, step.shift);
          break;
        case DialogStep::Focus:
          d.SetFocus(step.item);
          break;
        case DialogStep::Select:
          if (!d.Valid(step.item)) { h->Fail(L"Select: no item " + std::to_wstring(step.item)); break; }
          d.SetFocus(step.item);
          d.SelectList(step.item, step.index);
          break;
        case DialogStep::Idle:
          d.Pump(10);
          d.CallProc(DN_ENTERIDLE, 0, nullptr);
          d.Pump(0);
          break;
        case DialogStep::WaitUntil: {
          DWORD start = GetTickCount();
          bool ok = false;
          for (;;) {
            d.Pump(0);
            if (d.closed) break;
            if (step.predicate && step.predicate(d)) { ok = true; break; }
            if (static_cast<int>(GetTickCount() - start) > step.timeoutMs) break;
            d.CallProc(DN_ENTERIDLE, 0, nullptr);
            d.Pump(20);
          }
          if (!ok && !d.closed) h->Fail(L"dialog \"" + title + L"\": condition not reached in time");
          break;
        }
        case DialogStep::Check:
          if (step.check) step.check(d);
          break;
        case DialogStep::Close:
          d.RequestClose(step.item);
          break;
      }
    }
    d.Pump(0);
    if (!d.closed) h->Fail(L"dialog \"" + title + L"\" still open when its script ran out");
  }
  if (!d.closed) {
    // Answer Esc; when the procedure refuses, the host closes anyway (the test has failed).
    d.RequestClose(-1);
    d.closed = true;
    d.exitCode = -1;
  }
  // The last requests of other threads get their answers before the dialog goes away.
  d.Pump(0);
  for (int i = 0; i < count; ++i)
    if (items[i].Type == DI_CHECKBOX || items[i].Type == DI_RADIOBUTTON)
      items[i].Param.Selected = d.items[static_cast<size_t>(i)].selected;
  call.itemsAtClose = d.items;
  call.exitCode = d.exitCode;
  std::wstring closedBy = d.Valid(d.exitCode) ? L" \"" + d.items[static_cast<size_t>(d.exitCode)].text + L"\"" : L" (Esc)";
  h->Record(L"[dialog closed] " + title + L" by item " + std::to_wstring(d.exitCode) + closedBy);
  h->dialogs.push_back(std::move(call));
  return d.exitCode;
}

int KEL_API SvcDialog(intptr_t number, const GUID* id, int x1, int y1, int x2, int y2, const wchar_t* help,
                      KelDialogItem* items, int count, uint32_t, KelDialogProc proc, void* param) {
  Host* h = Host::Current();
  if (!h || !items || count <= 0 || Refused("HostDialog")) return -1;
  return RunDialog(h, h->PluginByNumber(number), id, x1, y1, x2, y2, help, items, count, proc, param,
                   h->NextDialogScript());
}

// The host's own dialogs that plugins may recognise by their identifiers.
const GUID kHostDialogIds[7] = {
    {0xFCEF11C4, 0x5490, 0x451D, {0x8B, 0x4A, 0x62, 0xFA, 0x03, 0xF5, 0x27, 0x59}},
    {0x431A2F37, 0xAC01, 0x4ECD, {0xBB, 0x6F, 0x8C, 0xDE, 0x58, 0x4E, 0x5A, 0x03}},
    {0x5EB266F4, 0x980D, 0x46AF, {0xB3, 0xD2, 0x2C, 0x50, 0xE6, 0x4B, 0xCA, 0x81}},
    {0x97877FD0, 0x78E6, 0x4169, {0xB4, 0xFB, 0xD7, 0x67, 0x46, 0x24, 0x9F, 0x4D}},
    {0x9162F965, 0x78B8, 0x4476, {0x98, 0xAC, 0xD6, 0x99, 0xE5, 0xB6, 0xAF, 0xE7}},
    {0x1D07CEE2, 0x8F4F, 0x480A, {0xBE, 0x93, 0x06, 0x9B, 0x4F, 0xF5, 0x9A, 0x2B}},
    {0xFAD00DBE, 0x3FFF, 0x4095, {0x92, 0x32, 0xE1, 0xCC, 0x70, 0xC6, 0x77, 0x37}},
};
const wchar_t* kHostDialogTitles[7] = {L"Copy", L"Rename or move", L"Make folder", L"Link",
                                       L"Edit new file", L"Rename file", L"Apply command"};

// The host's own procedure for its dialogs: on closing it takes the edit's text, as the host
// would use it.
std::wstring* g_hostDialogResult = nullptr;

intptr_t KEL_API HostDialogProc(HANDLE dlg, int msg, int p1, void* p2) {
  if (msg == DN_CLOSE && p1 >= 0 && g_hostDialogResult) *g_hostDialogResult = reinterpret_cast<RunningDialog*>(dlg)->items[2].text;
  return SvcDefDlgProc(dlg, msg, p1, p2);
}

}  // namespace

HostDialogFn DialogService() { return SvcDialog; }
HostSendDlgMessageFn SendDlgMessageService() { return SvcSendDlgMessage; }
HostDefDlgProcFn DefDlgProcService() { return SvcDefDlgProc; }

const GUID& Host::HostDialogId(int kind) { return kHostDialogIds[std::clamp(kind, 0, 6)]; }
const wchar_t* Host::HostDialogTitle(int kind) { return kHostDialogTitles[std::clamp(kind, 0, 6)]; }

std::wstring Host::RunHostDialog(int kind, const std::wstring& text, DialogScript script) {
  kind = std::clamp(kind, 0, 6);
  KelDialogItem items[6] = {};
  items[0].Type = DI_DOUBLEBOX; items[0].X1 = 3; items[0].Y1 = 1; items[0].X2 = 72; items[0].Y2 = 6;
  items[0].Data = kHostDialogTitles[kind];
  items[1].Type = DI_TEXT; items[1].X1 = 5; items[1].Y1 = 2; items[1].Data = L"Name:";
  items[2].Type = DI_EDIT; items[2].X1 = 5; items[2].Y1 = 3; items[2].X2 = 70; items[2].Data = text.c_str();
  items[2].Flags = DIF_FOCUS;
  items[3].Type = DI_TEXT; items[3].Y1 = 4; items[3].Flags = DIF_SEPARATOR;
  items[4].Type = DI_BUTTON; items[4].Y1 = 5; items[4].Data = L"OK"; items[4].Flags = DIF_DEFAULTBUTTON | DIF_CENTERGROUP;
  items[5].Type = DI_BUTTON; items[5].Y1 = 5; items[5].Data = L"Cancel"; items[5].Flags = DIF_CENTERGROUP;
  std::wstring result = text;
  g_hostDialogResult = &result;
  int exit = RunDialog(this, nullptr, &kHostDialogIds[kind], 0, 0, 75, 7, L"", items, 6, HostDialogProc, nullptr,
                       std::move(script));
  g_hostDialogResult = nullptr;
  Record(L"[host] " + std::wstring(kHostDialogTitles[kind]) + (exit == 4 ? L" confirmed with \"" + result + L"\""
                                                                        : std::wstring(L" cancelled")));
  return exit == 4 ? result : text;
}

}  // namespace kelhost
