// The device seam: the few calls of the handheld pieces that differ between the device itself
// (Windows CE) and the emulated device of the tests. Everything else the pieces do (screen
// capture, window walking, memory and version queries) uses the Win32 subset both share.
// seam_ce.cpp implements it with the device's own calls; seam_emulator.cpp over the emulated
// device's root folder (KEL_DEVICE_ROOT) and its state files.
//
// Contracts: paths are absolute device paths; failures return FALSE / INVALID_FILE_ATTRIBUTES /
// a nonzero error and leave the device's error code in GetLastError().
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "devicebrowser/device/invoke/core/pim.h"

namespace device_seam {

// Files.
DWORD GetAttributes(const std::wstring& path);
BOOL SetAttributes(const std::wstring& path, DWORD attributes);
BOOL MovePath(const std::wstring& from, const std::wstring& to);
BOOL DeletePath(const std::wstring& path);
BOOL RemoveFolder(const std::wstring& path);
BOOL FreeSpace(const std::wstring& path, ULARGE_INTEGER* toCaller, ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree);
struct RootEntry {
  std::wstring name;
  DWORD attributes;
};
// The entries of "\" in the file system's order.
BOOL ListRoot(std::vector<RootEntry>& entries);

// Power status in the device's 24-byte layout (SYSTEM_POWER_STATUS_EX).
BOOL PowerStatus(BYTE status[24]);

// Input: characters to the focused window (PostKeybdMessage), key and mouse events.
BOOL PostKeybd(UINT keyStateFlags, UINT count, const UINT* shiftStates, const UINT* characters);
void KeyEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, DWORD extra);
void MouseEvent(DWORD flags, DWORD x, DWORD y, DWORD wheel, DWORD extra);

// A message box of the device; the answer is the pressed button (IDOK, IDYES, IDNO ...).
int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT type);

// HKEY_LOCAL_MACHINE of the device; results are 0 or an error code.
LONG RegOpenKey(const std::wstring& subKey, HKEY* key);
LONG RegQueryValue(HKEY key, const std::wstring& name, DWORD* type, BYTE* data, DWORD* size);
LONG RegSetValue(HKEY key, const std::wstring& name, DWORD type, const BYTE* data, DWORD size);
LONG RegCloseKey(HKEY key);

// The device's contacts, appointments and tasks.
handrel::pim::Store& PimStore();

// The invoke library's answer block (LocalAlloc); null when it cannot be allocated.
void* AllocAnswer(size_t size);

}  // namespace device_seam
