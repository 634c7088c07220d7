// Pieces of the host stand-in shared between its source files.
#pragma once

#include <optional>
#include <string>

#include "host/kel_plugin.h"

namespace kelhost {

// Dialogs (dialogs.cpp).
HostDialogFn DialogService();
HostSendDlgMessageFn SendDlgMessageService();
HostDefDlgProcFn DefDlgProcService();

// Services of the Unicode generation, as they go into the start-up record.
int KEL_API SvcMessage(intptr_t number, uint32_t flags, const wchar_t* help, const wchar_t* const* items,
                       int itemsNumber, int buttonsNumber);
int KEL_API SvcMenu(intptr_t number, int x, int y, int maxHeight, uint32_t flags, const wchar_t* title,
                    const wchar_t* bottom, const wchar_t* help, const int* breakKeys, int* breakCode,
                    const KelMenuItem* items, int itemsNumber);
int KEL_API SvcInputBox(const wchar_t* title, const wchar_t* prompt, const wchar_t* history, const wchar_t* src,
                        wchar_t* dest, int destLength, const wchar_t* help, uint32_t flags);
const wchar_t* KEL_API SvcGetMsg(intptr_t number, int id);
int KEL_API SvcShowHelp(const wchar_t* module, const wchar_t* topic, uint32_t flags);
int KEL_API SvcPanelControl(HANDLE panel, int command, int param1, void* param2);
int KEL_API SvcEditorControl(int command, int param1, void* param2);
int KEL_API SvcViewerControl(int command, void* param);
intptr_t KEL_API SvcAdvControl(intptr_t number, int command, int param1, void* param2);
void KEL_API SvcText(int x, int y, int color, const wchar_t* text);
HANDLE KEL_API SvcSaveScreen(int x1, int y1, int x2, int y2);
void KEL_API SvcRestoreScreen(HANDLE screen);
int KEL_API SvcViewer(const wchar_t* file, const wchar_t* title, int x1, int y1, int x2, int y2, uint32_t flags,
                      UINT codePage);
int KEL_API SvcEditor(const wchar_t* file, const wchar_t* title, int x1, int y1, int x2, int y2, uint32_t flags,
                      int startLine, int startChar, UINT codePage);
const HostStandardFunctions* StandardFunctions();

// The 8-bit generation (ansi.cpp): the start-up record's services, and the OEM conversions.
void FillStartupRecordA(HostStartupInfoA& si, const std::wstring& modulePath, intptr_t number, const char* rootKey);
std::wstring FromOem(const char* s);
std::string ToOem(const std::wstring& w);

// The 8-bit dialogs (dialogs_a.cpp) and panels (panels_a.cpp): the services of the start-up
// record, and the reading of an 8-bit plugin's panel (information and listing).
HostDialogFnA DialogServiceA();
HostSendDlgMessageFnA SendDlgMessageServiceA();
HostDefDlgProcFnA DefDlgProcServiceA();
HostPanelControlFnA PanelControlServiceA();
class Host;
class Panel;
void ReadPanelA(Panel& panel);
// The panel commands without records, the same in both generations (panels.cpp); nullopt for others.
std::optional<int> PlainPanelCommand(Host* h, Panel& panel, int command);

// Small text helpers (host.cpp).
std::wstring FileNameOf(const std::wstring& path);
std::wstring FolderOf(const std::wstring& path);
std::wstring Str(const wchar_t* s);  // null gives ""

// Scripted failures (faults.cpp): true when this call of `service` (with `command`, or -1) is to
// be refused; and the replacement of a loaded plugin's failable imports.
bool Refused(const char* service, int command = -1);
void ReplaceImports(HMODULE module);

}  // namespace kelhost
