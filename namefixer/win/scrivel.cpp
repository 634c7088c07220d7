// Scrivel: trims trailing spaces and dots from the name confirmed in seven of the host's
// dialogs. It has no menu entries and no settings; it only watches dialog events.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/kel_firewall.h"
#include "host/kel_plugin.h"
#include "host/kel_plugin_support.h"
#include "namefixer/core/namefix.h"

namespace {

kel::HostCopy g_host;  // the host's records, copied once; not Ready() until then

namefix::DialogId IdBytes(const GUID& g) {
  namefix::DialogId id{};
  static_assert(sizeof(GUID) == 16, "a GUID is 16 bytes");
  std::memcpy(id.data(), &g, 16);
  return id;
}

// Trims the first edit field of a watched dialog that is being confirmed.
void FixConfirmedName(HANDLE dlg) {
  HostSendDlgMessageFn send = g_host.info.HostSendDlgMessage;
  if (!send) return;
  KelDialogInfo info{};
  info.StructSize = sizeof(KelDialogInfo);
  if (!send(dlg, DM_GETDIALOGINFO, 0, &info)) return;
  int dialogIndex = namefix::FindWatchedDialog(IdBytes(info.Id));
  if (dialogIndex < 0) return;
  for (int i = 0;; ++i) {
    intptr_t size = send(dlg, DM_GETDLGITEM, i, nullptr);
    if (size <= 0) return;
    std::vector<unsigned char> block(static_cast<size_t>(size));
    KelDialogItemBuffer buffer{block.size(), reinterpret_cast<KelDialogItem*>(block.data())};
    if (!send(dlg, DM_GETDLGITEM, i, &buffer)) continue;
    const KelDialogItem& item = *buffer.Item;
    if (item.Type != DI_EDIT) continue;
    const wchar_t* text = item.Data ? item.Data : L"";
    std::u16string trimmed = namefix::TrimName(
        std::u16string_view(reinterpret_cast<const char16_t*>(text), wcslen(text)), namefix::KeepsParentDots(dialogIndex));
    std::wstring out(trimmed.begin(), trimmed.end());
    KelDialogItemData data{out.size(), out.c_str()};
    send(dlg, DM_SETTEXT, i, &data);
    return;  // only the first edit field
  }
}

}  // namespace

extern "C" {

int KEL_API GetMinKelVersionW() { return static_cast<int>(KelMakeVersion(2, 0, 1658)); }

void KEL_API SetStartupInfoW(const HostStartupInfo* info) {
  kel::FirewallVoid("SetStartupInfoW", [&] {
    // The host passes the fixed 132-byte record; no more than that is copied.
    g_host.Take(info);
  }, kel::QuietReport{});
}

int KEL_API ProcessDialogEventW(int event, void* param) {
  return kel::Firewall("ProcessDialogEventW", 0, [&] {
    auto* rec = static_cast<KelDialogEventInfo*>(param);
    // Only a dialog being confirmed (not closed by Esc), and only once the host record is here.
    if (event == DE_DLGPROCINIT && rec && rec->Msg == DN_CLOSE && rec->Param1 >= 0 && g_host.Ready())
      FixConfirmedName(rec->hDlg);
    return 0;
  }, kel::QuietReport{});
}

}  // extern "C"
