// The 8-bit generation's services (the ones the 8-bit plugins use): each converts its texts from
// and to the OEM code page and calls the Unicode service.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

std::wstring FromOem(const char* s) {
  if (!s) return std::wstring();
  int n = MultiByteToWideChar(CP_OEMCP, 0, s, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_OEMCP, 0, s, -1, w.data(), n);
  w.resize(wcslen(w.c_str()));
  return w;
}

std::string ToOem(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_OEMCP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_OEMCP, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  s.resize(strlen(s.c_str()));
  return s;
}

namespace {

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

// The text is converted once per message number and kept in the plugin's record, so a pointer
// handed out stays valid until the plugin is unloaded.
const char* KEL_API SvcGetMsgA(intptr_t number, int id) {
  const wchar_t* w = SvcGetMsg(number, id);
  if (!w) return nullptr;
  Host* h = Host::Current();
  Plugin* p = h ? h->PluginByNumber(number) : nullptr;
  if (!p) return "";
  std::lock_guard<std::recursive_mutex> guard(h->Lock());
  auto it = p->oemMessages.find(id);
  if (it == p->oemMessages.end()) it = p->oemMessages.emplace(id, ToOem(w)).first;
  return it->second.c_str();
}

intptr_t KEL_API SvcAdvControlA(intptr_t number, int command, void* param) {
  return SvcAdvControl(number, command, 0, param);
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

}  // namespace

void FillStartupRecordA(HostStartupInfoA& si, const std::wstring& modulePath, intptr_t number, const char* rootKey) {
  si.StructSize = sizeof(HostStartupInfoA);
  WideCharToMultiByte(CP_OEMCP, 0, modulePath.c_str(), -1, si.ModuleName, KEL_NM, nullptr, nullptr);
  si.ModuleNumber = static_cast<int>(number);
  si.RootKey = rootKey;
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
  si.HostPanelControl = PanelControlServiceA();
  si.HostDialog = DialogServiceA();
  si.HostSendDlgMessage = SendDlgMessageServiceA();
  si.HostDefDlgProc = DefDlgProcServiceA();
}

}  // namespace kelhost
