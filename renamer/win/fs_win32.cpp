#include "renamer/win/fs_win32.h"

#include <windows.h>

#include <string>

namespace quillet {

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// The last component of a path, without a folder's trailing backslash.
std::u16string LastComponent(std::u16string path) {
  if (!path.empty() && path.back() == u'\\') path.pop_back();
  const size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string WithoutTrailingSlash(std::u16string path) {
  if (!path.empty() && path.back() == u'\\') path.pop_back();
  return path;
}

// The name the folder stores for `path`, or empty when it cannot be read.
std::u16string StoredName(const std::u16string& path) {
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW(W(WithoutTrailingSlash(path)), &fd);
  if (f == INVALID_HANDLE_VALUE) return {};
  FindClose(f);
  const wchar_t* n = fd.cFileName;
  return std::u16string(reinterpret_cast<const char16_t*>(n), wcslen(n));
}

}  // namespace

uint32_t Win32FileSystem::Probe(const std::u16string& path) {
  // No access rights and every share mode: this sees the object without disturbing anyone who
  // has it open; backup semantics let folders open too.
  HANDLE h = CreateFileW(W(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(h);
  return 0;
}

uint32_t Win32FileSystem::Move(const std::u16string& from, const std::u16string& to) {
  if (!MoveFileW(W(from), W(to))) return GetLastError();
  const std::u16string wanted = LastComponent(to);
  if (!EqualIgnoreCase(LastComponent(from), wanted) || StoredName(to) == wanted || StoredName(to).empty()) return 0;
  // Some file systems accept a change of letter case only as a no-op. Go through a free
  // temporary name instead, and come back to the old name if the second step fails.
  const std::u16string folderPart = WithoutTrailingSlash(to).substr(0, WithoutTrailingSlash(to).size() - wanted.size());
  const bool folder = to.back() == u'\\';
  for (uint32_t n = 0; n < 100; ++n) {
    const std::u16string digits = [&] {
      std::u16string d;
      for (uint32_t v = GetTickCount() + n * 7919u; v; v /= 10) d.push_back(char16_t(u'0' + v % 10));
      return d;
    }();
    std::u16string temp = folderPart + u"~ql" + digits + u".tmp";
    if (folder) temp.push_back(u'\\');
    if (Probe(temp) == 0) continue;
    if (!MoveFileW(W(to), W(temp))) return GetLastError();
    if (MoveFileW(W(temp), W(to))) return 0;
    const uint32_t error = GetLastError();
    MoveFileW(W(temp), W(from));
    return error;
  }
  return 0;
}

}  // namespace quillet
