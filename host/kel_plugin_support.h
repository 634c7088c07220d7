// What every Unicode-generation plugin does the same way: keep its copy of the host records,
// fetch its texts, name its settings key, and report an exception that reached an entry.
#pragma once

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "host/kel_plugin.h"

namespace kel {

// The plugin's copy of the host's start-up record and standard functions, taken once.
struct HostCopy {
  HostStartupInfo info{};
  HostStandardFunctions fsf{};

  // Copies as many bytes as the host's record says it has (at most our record's size), and the
  // standard functions it points to, so that nothing of the host's memory is kept.
  void Take(const HostStartupInfo* from) {
    info = HostStartupInfo{};
    fsf = HostStandardFunctions{};
    if (!from) return;
    size_t n = from->StructSize > 0 ? static_cast<size_t>(from->StructSize) : 0;
    std::memcpy(&info, from, n < sizeof(info) ? n : sizeof(info));
    if (info.FSF) {
      size_t f = info.FSF->StructSize > 0 ? static_cast<size_t>(info.FSF->StructSize) : 0;
      std::memcpy(&fsf, info.FSF, f < sizeof(fsf) ? f : sizeof(fsf));
    }
    info.FSF = &fsf;
  }

  bool Ready() const { return info.StructSize > 0; }

  // Language text `id`; an empty text when the host has none.
  const wchar_t* Msg(int id) const {
    const wchar_t* s = info.HostGetMsg ? info.HostGetMsg(info.ModuleNumber, id) : nullptr;
    return s ? s : L"";
  }

  // The plugin's key below HKEY_CURRENT_USER: the host's root settings key, a backslash, `name`.
  std::wstring SettingsKey(const wchar_t* name) const {
    std::wstring key = info.RootKey ? info.RootKey : L"";
    if (!key.empty() && key.back() != L'\\') key += L'\\';
    return key + name;
  }

  // The folder shown by a panel (the active one by default); empty when the host gives none.
  std::wstring PanelDirectory(HANDLE panel = PANEL_ACTIVE) const {
    if (!info.HostPanelControl) return std::wstring();
    int need = info.HostPanelControl(panel, FCTL_GETPANELDIR, 0, nullptr);
    if (need <= 0) return std::wstring();
    std::wstring dir(static_cast<size_t>(need) + 1, L'\0');
    info.HostPanelControl(panel, FCTL_GETPANELDIR, need, dir.data());
    dir.resize(std::wcslen(dir.c_str()));
    return dir;
  }

  // A warning box: `text` holds the title and lines separated by "\n"; one OK button.
  int Warning(const std::wstring& text, const wchar_t* helpTopic = nullptr) const {
    if (!info.HostMessage) return -1;
    return info.HostMessage(info.ModuleNumber, FMSG_ALLINONE | FMSG_WARNING | FMSG_MB_OK, helpTopic,
                            reinterpret_cast<const wchar_t* const*>(text.c_str()), 0, 0);
  }
};

// A reporter for kel::Firewall: "Unhandled exception in <entry>" (and the exception's text) in a
// warning box titled `title`.
struct MessageReport {
  const HostCopy* host;
  const wchar_t* title;
  void operator()(const char* entry, const char* what) const {
    if (!host || !host->Ready()) return;
    std::wstring text = std::wstring(title) + L"\nUnhandled exception in ";
    for (const char* p = entry; *p; ++p) text += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    if (what && *what) {
      text += L"\n";
      for (const char* p = what; *p; ++p) text += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    host->Warning(text);
  }
};

}  // namespace kel
