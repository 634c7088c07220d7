#include "standins/rapi/testing/emulated_device.h"

#include "standins/rapi/win/device_folder.h"

namespace rapiemu {
namespace {

void RemoveFiles(const std::wstring& path) {
  WIN32_FIND_DATAW d;
  HANDLE f = FindFirstFileW((path + L"\\*").c_str(), &d);
  if (f != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = d.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFiles(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(f, &d));
    FindClose(f);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

EmulatedDevice::EmulatedDevice(std::wstring_view prefix) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static LONG counter = 0;
  root_ = std::wstring(temp) + std::wstring(prefix) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(InterlockedIncrement(&counter));
  RemoveTree(root_);
  CreateDirectoryW(root_.c_str(), nullptr);
  SetEnvironmentVariableW(L"KEL_DEVICE_ROOT", root_.c_str());
  SetEnvironmentVariableW(L"KEL_RAPI_SCRIPT", nullptr);
  init_.cbSize = sizeof init_;
  init_.heRapiInit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  init_.hrRapiInit = kRapiInitPending;
}

EmulatedDevice::~EmulatedDevice() {
  CeRapiUninit();
  CloseHandle(init_.heRapiInit);
  RemoveTree(root_);
}

bool EmulatedDevice::MakeFolder(std::wstring_view devicePath) const {
  return CreateDirectoryW(Host(devicePath).c_str(), nullptr) != 0;
}

bool EmulatedDevice::MakeFile(std::wstring_view devicePath, std::string_view content) const {
  ReleaseLibraries(devicePath);
  return WriteWholeFile(Host(devicePath), content);
}

bool EmulatedDevice::ReadFile(std::wstring_view devicePath, std::string& content) const {
  return ReadWholeFile(Host(devicePath), content);
}

bool EmulatedDevice::WriteState(std::u16string_view file, std::string_view text) const {
  return WriteWholeFile(StatePath(root_, file), text);
}

std::string EmulatedDevice::ReadState(std::u16string_view file) const {
  std::string text;
  ReadWholeFile(StatePath(root_, file), text);
  return text;
}

HRESULT EmulatedDevice::Connect(DWORD limitMs) {
  ResetEvent(init_.heRapiInit);
  init_.hrRapiInit = kRapiInitPending;
  HRESULT hr = CeRapiInitEx(&init_);
  if (FAILED(hr)) return hr;
  for (DWORD waited = 0; waited < limitMs; waited += 250) {
    if (WaitForSingleObject(init_.heRapiInit, 250) == WAIT_OBJECT_0) return init_.hrRapiInit;
  }
  return static_cast<HRESULT>(0x800705B4u);
}

void EmulatedDevice::ReleaseHostLibraries(const std::wstring& hostPath) {
  // An export of the emulator's own rapi.dll only, looked up so that the platform's would do too.
  HMODULE rapi = GetModuleHandleW(L"rapi.dll");
  if (rapi == nullptr) return;
  using Release = void(__cdecl*)(LPCWSTR);
  auto release = reinterpret_cast<Release>(reinterpret_cast<void*>(GetProcAddress(rapi, "RapiEmuReleaseLibraries")));
  if (release != nullptr && !hostPath.empty()) release(hostPath.c_str());
}

void EmulatedDevice::RemoveTree(const std::wstring& path) {
  ReleaseHostLibraries(path);
  RemoveFiles(path);
}

}  // namespace rapiemu
