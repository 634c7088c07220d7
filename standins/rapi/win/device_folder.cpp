#include "standins/rapi/win/device_folder.h"

#include <windows.h>

#include "standins/rapi/core/device_path.h"

namespace rapiemu {
namespace {

constexpr DWORD kMaxStateFile = 64u << 20;

struct ScopedHandle {
  HANDLE h;
  explicit ScopedHandle(HANDLE handle) : h(handle) {}
  ~ScopedHandle() {
    if (h != INVALID_HANDLE_VALUE && h != nullptr) CloseHandle(h);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool ok() const { return h != INVALID_HANDLE_VALUE && h != nullptr; }
};

}  // namespace

std::wstring DeviceRootFromEnvironment() {
  wchar_t buffer[1024];
  DWORD n = GetEnvironmentVariableW(L"KEL_DEVICE_ROOT", buffer, 1024);
  if (n == 0 || n >= 1024) return {};
  std::wstring root(buffer, n);
  while (root.size() > 3 && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
  DWORD attributes = GetFileAttributesW(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
  return root;
}

std::wstring StatePath(const std::wstring& root, std::u16string_view file) {
  return root + L"\\" + ToWide(kStateFolder) + L"\\" + ToWide(file);
}

FileStamp StampOf(const std::wstring& path) {
  FileStamp s;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return s;
  s.exists = true;
  s.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  s.writeTime = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return s;
}

bool ReadWholeFile(const std::wstring& path, std::string& out) {
  out.clear();
  ScopedHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.ok()) return false;
  DWORD high = 0;
  DWORD size = GetFileSize(f.h, &high);
  if (size == INVALID_FILE_SIZE || high != 0 || size > kMaxStateFile) return false;
  out.resize(size);
  DWORD got = 0;
  if (size > 0 && (!ReadFile(f.h, out.data(), size, &got, nullptr) || got != size)) {
    out.clear();
    return false;
  }
  return true;
}

bool WriteWholeFile(const std::wstring& path, std::string_view data) {
  size_t slash = path.rfind(L'\\');
  if (slash != std::wstring::npos) CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  std::wstring temp = path + L".new";
  {
    ScopedHandle f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.ok()) return false;
    DWORD written = 0;
    if (!data.empty() &&
        (!WriteFile(f.h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) || written != data.size())) {
      return false;
    }
  }
  return MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool AppendLine(const std::wstring& path, std::string_view line) {
  size_t slash = path.rfind(L'\\');
  if (slash != std::wstring::npos) CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  ScopedHandle f(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.ok()) return false;
  std::string text(line);
  text += '\n';
  DWORD written = 0;
  return WriteFile(f.h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

}  // namespace rapiemu
