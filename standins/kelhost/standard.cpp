// The standard functions the host hands plugins in their start-up record.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cwchar>

#include "standins/kelhost/editor.h"
#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

namespace {

int __cdecl FsfSprintf(wchar_t* buffer, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  int n = _vswprintf(buffer, format, args);
  va_end(args);
  return n;
}

int __cdecl FsfSnprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...) {
  if (!buffer || count == 0) return -1;
  va_list args;
  va_start(args, format);
  int n = _vsnwprintf(buffer, count, format, args);
  va_end(args);
  buffer[count - 1] = 0;  // always terminated, even when cut
  return n;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

wchar_t* KEL_API FsfLTrim(wchar_t* s) {
  if (!s) return s;
  wchar_t* p = s;
  while (IsBlank(*p)) ++p;
  if (p != s) std::wmemmove(s, p, wcslen(p) + 1);
  return s;
}

wchar_t* KEL_API FsfRTrim(wchar_t* s) {
  if (!s) return s;
  size_t n = wcslen(s);
  while (n > 0 && IsBlank(s[n - 1])) s[--n] = 0;
  return s;
}

wchar_t* KEL_API FsfTrim(wchar_t* s) { return FsfRTrim(FsfLTrim(s)); }

wchar_t* KEL_API FsfTruncStrCompat(wchar_t* s) { return s; }

int KEL_API FsfProcessName(const wchar_t* param1, wchar_t* param2, size_t, uint32_t flags) {
  if (!param1 || !param2) return 0;
  std::wstring name = param2;
  if (flags & PN_SKIPPATH) name = FileNameOf(name);
  uint32_t op = flags & 0x00FF0000;
  if (op == PN_CMPNAMELIST || op == PN_CMPNAME) return MatchMaskList(param1, name) ? 1 : 0;
  return 0;
}

int KEL_API FsfMkTemp(wchar_t* dest, size_t size, const wchar_t* prefix) {
  wchar_t dir[MAX_PATH];
  if (!dest || size == 0 || !GetTempPathW(MAX_PATH, dir)) return 0;
  wchar_t name[MAX_PATH];
  std::wstring pre = prefix ? prefix : L"KEL";
  if (!GetTempFileNameW(dir, pre.c_str(), 0, name)) return 0;
  DeleteFileW(name);  // the host hands out a free name, not a file
  size_t n = wcslen(name);
  if (n + 1 > size) return 0;
  std::wmemcpy(dest, name, n + 1);
  return static_cast<int>(n);
}

size_t KEL_API FsfConvertPath(int, const wchar_t* src, wchar_t* dest, size_t size) {
  if (!src) return 0;
  std::wstring path = src;
  if (path.find(L':') == std::wstring::npos && path.rfind(L"\\\\", 0) != 0) {
    Host* h = Host::Current();
    std::wstring base = h ? h->ActivePanel().Folder() : std::wstring();
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    path = base + path;
  }
  wchar_t full[4096];
  DWORD n = GetFullPathNameW(path.c_str(), 4096, full, nullptr);
  if (n == 0 || n >= 4096) return 0;
  if (dest && size > 0) {
    size_t copy = std::min(static_cast<size_t>(n), size - 1);
    std::wmemcpy(dest, full, copy);
    dest[copy] = 0;
  }
  return n + 1;
}

wchar_t* KEL_API FsfPointToName(wchar_t* path) {
  if (!path) return path;
  wchar_t* name = path;
  for (wchar_t* p = path; *p; ++p)
    if (*p == L'\\' || *p == L'/' || *p == L':') name = p + 1;
  return name;
}

int KEL_API FsfLStricmp(const wchar_t* a, const wchar_t* b) { return lstrcmpiW(a, b); }

HostStandardFunctions MakeStandardFunctions() {
  HostStandardFunctions f{};
  f.StructSize = sizeof(HostStandardFunctions);
  f.sprintf = FsfSprintf;
  f.snprintf = FsfSnprintf;
  f.LTrim = FsfLTrim;
  f.RTrim = FsfRTrim;
  f.Trim = FsfTrim;
  f.TruncStr = FsfTruncStrCompat;
  f.ProcessName = FsfProcessName;
  f.MkTemp = FsfMkTemp;
  f.ConvertPath = FsfConvertPath;
  f.PointToName = FsfPointToName;
  f.LStricmp = FsfLStricmp;
  return f;
}

const HostStandardFunctions g_fsf = MakeStandardFunctions();

}  // namespace

const HostStandardFunctions* StandardFunctions() { return &g_fsf; }

}  // namespace kelhost
