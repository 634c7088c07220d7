// The 8-bit generation's dialogs: 548-byte items with 512-byte OEM texts, run by the same dialog
// loop and scripts as the Unicode dialogs. The plugin's procedure sits behind a Unicode one that
// turns the records of each message into their 8-bit forms, and the 8-bit HostSendDlgMessage
// turns them back; on return the final texts and check states are written into the caller's items.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

namespace {

constexpr size_t kTextBytes = sizeof(KelDialogItemA{}.Data);  // 512, the terminator included

struct DialogA {
  KelDialogProcA proc = nullptr;
  HANDLE handle = nullptr;
  std::map<int, std::string> constTexts;  // DM_GETCONSTTEXTPTR answers, valid while the dialog runs
};

// Dialogs run nested on the host thread: a dialog's first message binds its handle to the
// innermost dialog not bound yet.
std::mutex g_lock;
std::vector<DialogA*> g_open;

DialogA* Find(HANDLE dlg, bool bind) {
  std::lock_guard<std::mutex> g(g_lock);
  for (DialogA* d : g_open)
    if (d->handle == dlg) return d;
  if (bind)
    for (auto it = g_open.rbegin(); it != g_open.rend(); ++it)
      if (!(*it)->handle) {
        (*it)->handle = dlg;
        return *it;
      }
  return nullptr;
}

std::wstring FromOemBounded(const char* s, size_t size) {
  return s ? FromOem(std::string(s, strnlen(s, size)).c_str()) : std::wstring();
}

void PutOem(char* dest, size_t size, const std::wstring& text) {
  std::string oem = ToOem(text);
  size_t n = std::min(oem.size(), size - 1);
  std::memcpy(dest, oem.data(), n);
  dest[n] = 0;
}

// The whole text of an item as the dialog holds it (any thread).
std::wstring ItemText(HANDLE dlg, int item) {
  auto send = SendDlgMessageService();
  intptr_t n = send(dlg, DM_GETTEXT, item, nullptr);
  if (n <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  KelDialogItemData d{static_cast<size_t>(n), text.data()};
  send(dlg, DM_GETTEXT, item, &d);
  text.resize(wcsnlen(text.c_str(), static_cast<size_t>(n)));
  return text;
}

void ToItemA(const KelDialogItem& w, KelDialogItemA& a) {
  a = KelDialogItemA{};
  a.Type = w.Type;
  a.X1 = w.X1; a.Y1 = w.Y1; a.X2 = w.X2; a.Y2 = w.Y2;
  a.Flags = w.Flags;
  a.DefaultButton = (w.Flags & DIF_DEFAULTBUTTON) ? 1 : 0;
  if (w.Type == DI_CHECKBOX || w.Type == DI_RADIOBUTTON) a.Param.Selected = w.Param.Selected;
  PutOem(a.Data, sizeof(a.Data), w.Data ? w.Data : L"");
}

}  // namespace

// A dialog key as the 8-bit generation receives it: the key in the low 16 bits, the modifier bits
// as they are. A virtual key (KEY_FKEYBASE + vk) becomes 0x100 + vk (the keypad's Enter 0x10D, the
// host's internal keys 0x100 + their offset); a character becomes its OEM byte, or stays its own
// code when the OEM code page has no single byte for it.
uint32_t DialogKeyA(uint32_t key) {
  constexpr uint32_t kModifiers = KEY_CTRL | KEY_ALT | KEY_SHIFT | KEY_RCTRL | KEY_RALT;
  uint32_t mods = key & kModifiers, code = key & ~kModifiers;
  if (code >= KEY_FKEYBASE) {
    uint32_t offset = code - KEY_FKEYBASE;
    return mods | (offset == KEY_NUMENTER - KEY_FKEYBASE ? 0x10Du : (0x100u + offset) & 0xFFFFu);
  }
  if (code >= 0x80) {
    wchar_t w = static_cast<wchar_t>(code);
    char oem[4];
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, &w, 1, oem, sizeof oem, nullptr, &lossy) == 1 && !lossy)
      return mods | static_cast<uint8_t>(oem[0]);
  }
  return key;
}

namespace {

// The Unicode procedure behind every 8-bit dialog.
intptr_t KEL_API ProcW(HANDLE dlg, int msg, int p1, void* p2) {
  DialogA* d = Find(dlg, true);
  if (!d || !d->proc) return DefDlgProcService()(dlg, msg, p1, p2);
  if (msg == DN_KEY)
    return d->proc(dlg, msg, p1, static_cast<intptr_t>(DialogKeyA(static_cast<uint32_t>(reinterpret_cast<intptr_t>(p2)))));
  if (msg == DN_EDITCHANGE && p2) {
    KelDialogItemA a;
    ToItemA(*static_cast<KelDialogItem*>(p2), a);
    return d->proc(dlg, msg, p1, reinterpret_cast<intptr_t>(&a));
  }
  return d->proc(dlg, msg, p1, reinterpret_cast<intptr_t>(p2));
}

intptr_t KEL_API SvcSendDlgMessageA(HANDLE dlg, int msg, int p1, intptr_t p2) {
  auto send = SendDlgMessageService();
  switch (msg) {
    case DM_GETTEXT: {
      std::string oem = ToOem(ItemText(dlg, p1));
      auto* a = reinterpret_cast<KelDialogItemDataA*>(p2);
      if (a && a->PtrData) {
        size_t n = std::min(oem.size(), static_cast<size_t>(std::max(a->PtrLength, 0)));
        std::memcpy(a->PtrData, oem.data(), n);
        a->PtrData[n] = 0;
        a->PtrLength = static_cast<int>(n);
      }
      return static_cast<intptr_t>(oem.size());
    }
    case DM_GETTEXTPTR: {
      std::wstring text = ItemText(dlg, p1);
      if (p2) PutOem(reinterpret_cast<char*>(p2), kTextBytes, text);
      return static_cast<intptr_t>(std::min(ToOem(text).size(), kTextBytes - 1));
    }
    case DM_GETCONSTTEXTPTR: {
      DialogA* d = Find(dlg, false);
      if (!d) return 0;
      std::string oem = ToOem(ItemText(dlg, p1));
      std::lock_guard<std::mutex> g(g_lock);
      return reinterpret_cast<intptr_t>((d->constTexts[p1] = oem).c_str());
    }
    case DM_SETTEXT: {
      auto* a = reinterpret_cast<KelDialogItemDataA*>(p2);
      if (!a) return 0;
      std::wstring w = a->PtrData ? FromOem(std::string(a->PtrData, strnlen(a->PtrData, static_cast<size_t>(std::max(a->PtrLength, 0)))).c_str())
                                  : std::wstring();
      KelDialogItemData d{w.size(), w.c_str()};
      return send(dlg, msg, p1, &d);
    }
    case DM_SETTEXTPTR:
    case DM_LISTADDSTR: {
      std::wstring w = FromOem(reinterpret_cast<const char*>(p2));
      return send(dlg, msg, p1, const_cast<wchar_t*>(w.c_str()));
    }
    case DM_GETDLGITEM: {
      auto* a = reinterpret_cast<KelDialogItemA*>(p2);
      intptr_t need = send(dlg, DM_GETDLGITEM, p1, nullptr);
      if (need <= 0) return 0;
      if (!a) return sizeof(KelDialogItemA);
      std::vector<char> block(static_cast<size_t>(need));
      KelDialogItemBuffer buf{block.size(), reinterpret_cast<KelDialogItem*>(block.data())};
      if (!send(dlg, DM_GETDLGITEM, p1, &buf)) return 0;
      ToItemA(*buf.Item, *a);
      a->Focus = send(dlg, DM_GETFOCUS, 0, nullptr) == p1;
      return sizeof(KelDialogItemA);
    }
    case DM_SETDLGITEM: {
      auto* a = reinterpret_cast<KelDialogItemA*>(p2);
      if (!a) return 0;
      std::wstring text = FromOemBounded(a->Data, sizeof(a->Data));
      KelDialogItem w{};
      w.Type = a->Type;
      w.X1 = a->X1; w.Y1 = a->Y1; w.X2 = a->X2; w.Y2 = a->Y2;
      w.Flags = a->Flags;
      w.Param.Selected = a->Param.Selected;
      w.Data = text.c_str();
      return send(dlg, msg, p1, &w);
    }
    case DM_LISTADD: {
      auto* a = reinterpret_cast<KelListA*>(p2);
      if (!a || !a->Items || a->ItemsNumber < 0) return 0;
      std::vector<std::wstring> texts;
      std::vector<KelListItem> items(static_cast<size_t>(a->ItemsNumber));
      for (int i = 0; i < a->ItemsNumber; ++i) texts.push_back(FromOemBounded(a->Items[i].Text, sizeof(a->Items[i].Text)));
      for (size_t i = 0; i < items.size(); ++i) items[i] = KelListItem{a->Items[i].Flags, texts[i].c_str(), {0, 0}};
      KelList list{a->ItemsNumber, items.data()};
      return send(dlg, msg, p1, &list);
    }
    case DM_LISTUPDATE: {
      auto* a = reinterpret_cast<KelListUpdateA*>(p2);
      if (!a) return 0;
      std::wstring text = FromOemBounded(a->Item.Text, sizeof(a->Item.Text));
      KelListUpdate u{a->Index, KelListItem{a->Item.Flags, text.c_str(), {0, 0}}};
      return send(dlg, msg, p1, &u);
    }
    case DM_LISTGETITEM: {
      auto* a = reinterpret_cast<KelListUpdateA*>(p2);
      if (!a) return 0;
      KelListUpdate u{a->Index, KelListItem{}};
      if (!send(dlg, msg, p1, &u)) return 0;
      a->Item.Flags = u.Item.Flags;
      PutOem(a->Item.Text, sizeof(a->Item.Text), u.Item.Text ? u.Item.Text : L"");
      return 1;
    }
    default:
      return send(dlg, msg, p1, reinterpret_cast<void*>(p2));
  }
}

intptr_t KEL_API SvcDefDlgProcA(HANDLE dlg, int msg, int p1, intptr_t p2) {
  return DefDlgProcService()(dlg, msg, p1, reinterpret_cast<void*>(p2));
}

int KEL_API SvcDialogA(intptr_t number, int x1, int y1, int x2, int y2, const char* help, KelDialogItemA* items,
                       int count, uint32_t, uint32_t flags, KelDialogProcA proc, intptr_t param) {
  Host* h = Host::Current();
  if (!h || !items || count <= 0) return -1;
  size_t n = static_cast<size_t>(count);
  std::vector<std::wstring> texts(n), params(n);
  std::vector<std::vector<std::wstring>> listTexts(n);
  std::vector<std::vector<KelListItem>> listItems(n);
  std::vector<KelList> lists(n);
  std::vector<KelDialogItem> wide(n);
  for (size_t i = 0; i < n; ++i) {
    const KelDialogItemA& a = items[i];
    KelDialogItem& w = wide[i];
    w.Type = a.Type;
    w.X1 = a.X1; w.Y1 = a.Y1; w.X2 = a.X2; w.Y2 = a.Y2;
    w.Flags = a.Flags | (a.Focus ? static_cast<uint32_t>(DIF_FOCUS) : 0u) |
              (a.DefaultButton ? static_cast<uint32_t>(DIF_DEFAULTBUTTON) : 0u);
    texts[i] = FromOemBounded(a.Data, sizeof(a.Data));
    w.Data = texts[i].c_str();
    bool edit = a.Type == DI_EDIT || a.Type == DI_PSWEDIT || a.Type == DI_FIXEDIT || a.Type == DI_COMBOBOX;
    w.MaxLength = edit ? kTextBytes - 1 : 0;  // an 8-bit item's text never outgrows its field
    if (a.Type == DI_CHECKBOX || a.Type == DI_RADIOBUTTON) {
      w.Param.Selected = a.Param.Selected;
    } else if ((a.Type == DI_COMBOBOX || a.Type == DI_LISTBOX) && a.Param.ListItems) {
      const auto* l = static_cast<const KelListA*>(a.Param.ListItems);
      for (int k = 0; l->Items && k < l->ItemsNumber; ++k)
        listTexts[i].push_back(FromOemBounded(l->Items[k].Text, sizeof(l->Items[k].Text)));
      for (int k = 0; k < static_cast<int>(listTexts[i].size()); ++k)
        listItems[i].push_back(KelListItem{l->Items[k].Flags, listTexts[i][static_cast<size_t>(k)].c_str(), {0, 0}});
      lists[i] = KelList{static_cast<int>(listItems[i].size()), listItems[i].data()};
      w.Param.ListItems = &lists[i];
    } else if ((a.Flags & (DIF_HISTORY | DIF_MASKEDIT)) && a.Param.History) {
      params[i] = FromOem(a.Param.History);
      w.Param.History = params[i].c_str();
    }
  }
  DialogA d;
  d.proc = proc;
  {
    std::lock_guard<std::mutex> g(g_lock);
    g_open.push_back(&d);
  }
  size_t recorded = h->dialogs.size();
  std::wstring helpW = FromOem(help);
  int exit = DialogService()(number, nullptr, x1, y1, x2, y2, helpW.c_str(), wide.data(), count, flags, ProcW,
                             reinterpret_cast<void*>(param));
  {
    std::lock_guard<std::mutex> g(g_lock);
    g_open.erase(std::find(g_open.begin(), g_open.end(), &d));
  }
  // The caller reads the results from its own items: texts, check states, list positions.
  if (h->dialogs.size() > recorded) {
    const auto& final = h->dialogs.back().itemsAtClose;
    for (size_t i = 0; i < n && i < final.size(); ++i) {
      KelDialogItemA& a = items[i];
      PutOem(a.Data, sizeof(a.Data), final[i].text);
      if (a.Type == DI_CHECKBOX || a.Type == DI_RADIOBUTTON) a.Param.Selected = final[i].selected;
      if ((a.Type == DI_COMBOBOX || a.Type == DI_LISTBOX) && a.Param.ListItems) {
        auto* l = static_cast<KelListA*>(a.Param.ListItems);
        for (int k = 0; l->Items && k < l->ItemsNumber; ++k)
          l->Items[k].Flags = (l->Items[k].Flags & ~static_cast<uint32_t>(LIF_SELECTED)) |
                              (k == final[i].listPos ? static_cast<uint32_t>(LIF_SELECTED) : 0u);
      }
    }
  }
  return exit;
}

}  // namespace

HostDialogFnA DialogServiceA() { return SvcDialogA; }
HostSendDlgMessageFnA SendDlgMessageServiceA() { return SvcSendDlgMessageA; }
HostDefDlgProcFnA DefDlgProcServiceA() { return SvcDefDlgProcA; }

}  // namespace kelhost
