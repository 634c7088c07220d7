// What the renamer's screens share: the plugin's host records and settings, texts by number,
// questions, and the conversions between the host's wchar_t and the core's char16_t.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "host/kel_plugin.h"
#include "renamer/core/engine.h"
#include "renamer/core/settings.h"

namespace quillet::ui {

// One opening of the plugin, on the host's thread.
struct Context {
  const HostStartupInfo* host = nullptr;
  Settings* settings = nullptr;
  SettingsStore* store = nullptr;
  RenameList* list = nullptr;
  uint32_t selectedCount = 0;  // items selected on the panel (folders left out included)
};

inline std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string U(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

const wchar_t* Msg(const Context& ctx, int id);
// printf-style formatting of a language text.
std::wstring Format(const wchar_t* format, ...);

// A host message box titled with the plugin's name: `lines` then `buttons`; returns the button
// chosen, -1 for Esc.
int Message(const Context& ctx, uint32_t flags, const wchar_t* help, const std::vector<std::wstring>& lines,
            const std::vector<std::wstring>& buttons = {});
// What every guarded entry reports when an exception reached it: "Unhandled exception in
// <where>" and the exception's text, in a warning box titled with the plugin's name. Host's
// thread only; never throws.
void ReportUnhandled(const HostStartupInfo& host, const char* where, const char* what) noexcept;

// The Yes/No warning of the dialogs; true for Yes (button 0).
bool AskYesNo(const Context& ctx, const std::wstring& text, const wchar_t* help);

// A key code as a hint: "F5", "Alt+T".
std::wstring KeyName(uint32_t key);

// Dialog item helpers.
KelDialogItem Item(int type, int x1, int y1, int x2, int y2, uint32_t flags = 0, const wchar_t* data = L"");

intptr_t Send(const Context& ctx, HANDLE dlg, int msg, int p1, void* p2 = nullptr);
inline intptr_t Send(const Context& ctx, HANDLE dlg, int msg, int p1, intptr_t p2) {
  return Send(ctx, dlg, msg, p1, reinterpret_cast<void*>(p2));
}
std::wstring GetText(const Context& ctx, HANDLE dlg, int item);
void SetText(const Context& ctx, HANDLE dlg, int item, const std::wstring& text);
bool Checked(const Context& ctx, HANDLE dlg, int item);

// The rename job with its progress dialog, problem prompts, summary, rollback and the panel
// update afterwards.
void RunRename(Context& ctx);

// The rename dialogs, from the plugins menu: 0 Manipulate, 1 Construct. Renames when the user
// confirms; saves the settings afterwards.
void RunDialogs(Context& ctx, int first);

}  // namespace quillet::ui
