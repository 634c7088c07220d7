// The device seam on the handheld itself (Windows CE, ARM): the device's own calls. Built only
// by the CE toolchain (ce/arm-mingw32ce.cmake), which these machines do not have.
#include <windows.h>

#include <cstring>

#include "devicebrowser/device/seam/device_seam.h"

namespace device_seam {

DWORD GetAttributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }
BOOL SetAttributes(const std::wstring& path, DWORD attributes) { return SetFileAttributesW(path.c_str(), attributes); }
BOOL MovePath(const std::wstring& from, const std::wstring& to) { return MoveFileW(from.c_str(), to.c_str()); }
BOOL DeletePath(const std::wstring& path) { return DeleteFileW(path.c_str()); }
BOOL RemoveFolder(const std::wstring& path) { return RemoveDirectoryW(path.c_str()); }
BOOL FreeSpace(const std::wstring& path, ULARGE_INTEGER* toCaller, ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
  return GetDiskFreeSpaceExW(path.c_str(), toCaller, total, totalFree);
}

BOOL ListRoot(std::vector<RootEntry>& entries) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(L"\\*", &fd);
  if (h == INVALID_HANDLE_VALUE) return FALSE;
  do entries.push_back({fd.cFileName, fd.dwFileAttributes});
  while (FindNextFileW(h, &fd));
  FindClose(h);
  return TRUE;
}

BOOL PowerStatus(BYTE status[24]) {
  SYSTEM_POWER_STATUS_EX s;
  if (!GetSystemPowerStatusEx(&s, TRUE)) return FALSE;
  static_assert(sizeof(s) == 24, "the device's power record");
  std::memcpy(status, &s, 24);
  return TRUE;
}

BOOL PostKeybd(UINT keyStateFlags, UINT count, const UINT* shiftStates, const UINT* characters) {
  return PostKeybdMessage(reinterpret_cast<HWND>(-1), 0, keyStateFlags, count, const_cast<UINT*>(shiftStates),
                          const_cast<UINT*>(characters));
}
void KeyEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, DWORD extra) { keybd_event(virtualKey, scanCode, flags, extra); }
void MouseEvent(DWORD flags, DWORD x, DWORD y, DWORD wheel, DWORD extra) { mouse_event(flags, x, y, wheel, extra); }

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT type) {
  return MessageBoxW(nullptr, text.c_str(), caption.c_str(), type);
}

LONG RegOpenKey(const std::wstring& subKey, HKEY* key) {
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, 0, key);
}
LONG RegQueryValue(HKEY key, const std::wstring& name, DWORD* type, BYTE* data, DWORD* size) {
  return RegQueryValueExW(key, name.c_str(), nullptr, type, data, size);
}
LONG RegSetValue(HKEY key, const std::wstring& name, DWORD type, const BYTE* data, DWORD size) {
  return RegSetValueExW(key, name.c_str(), 0, type, data, size);
}
LONG RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

namespace {
// The contact database of the device is reached through its object model, which this build
// does not carry yet: every call answers "not implemented", and the commands say so.
class UnavailableStore : public handrel::pim::Store {
  static constexpr uint32_t kNotImplemented = 0x80004001;
 public:
  uint32_t List(handrel::pim::Kind, std::vector<handrel::pim::Item>&) override { return kNotImplemented; }
  uint32_t Get(handrel::pim::Kind, uint32_t, handrel::pim::Item&) override { return kNotImplemented; }
  uint32_t Create(handrel::pim::Kind, uint32_t&) override { return kNotImplemented; }
  uint32_t SetField(handrel::pim::Kind, handrel::pim::Item&, uint32_t, const handrel::pim::Value&) override {
    return kNotImplemented;
  }
  uint32_t Save(handrel::pim::Kind, const handrel::pim::Item&) override { return kNotImplemented; }
  uint32_t Delete(handrel::pim::Kind, uint32_t) override { return kNotImplemented; }
};
}  // namespace

handrel::pim::Store& PimStore() {
  static UnavailableStore store;
  return store;
}

void* AllocAnswer(size_t size) { return LocalAlloc(LMEM_FIXED, size); }

}  // namespace device_seam
