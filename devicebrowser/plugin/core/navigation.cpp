#include "devicebrowser/plugin/core/navigation.h"

namespace handrel {

namespace {

void DropTrailingBackslash(std::wstring& s) {
  if (!s.empty() && s.back() == L'\\') s.pop_back();
}

// Cuts `s` at its last backslash (empty when it has none). The module keeps its directory with a
// trailing backslash, so that one is dropped first: otherwise a cut would only remove it.
void CutLastComponent(std::wstring& s) {
  DropTrailingBackslash(s);
  size_t at = s.rfind(L'\\');
  s = at == std::wstring::npos ? std::wstring() : s.substr(0, at);
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

ModulePathResult ApplyModulePath(const std::wstring& cur, const std::wstring& path) {
  ModulePathResult r;
  std::wstring top = cur;
  DropTrailingBackslash(top);
  if (path == L"\\" || (path == L".." && top.empty())) {
    r.leave = true;
    return r;
  }
  if (path == L"..") {
    CutLastComponent(top);
    r.dir = top;
    return r;
  }
  if (!path.empty() && path[0] == L'\\') {
    r.dir = path.substr(1);
    DropTrailingBackslash(r.dir);
    return r;
  }
  std::wstring rest = path;
  while (rest == L".." || rest.compare(0, 3, L"..\\") == 0) {
    CutLastComponent(top);
    rest.erase(0, rest.size() == 2 ? 2 : 3);
  }
  DropTrailingBackslash(rest);
  if (!rest.empty()) {
    if (!top.empty() && top.back() != L'\\') top += L'\\';
    top += rest;
  }
  r.dir = top;
  return r;
}

std::wstring ProbeExistingDirectory(std::wstring dir, const std::function<bool(const std::wstring&)>& exists) {
  DropTrailingBackslash(dir);
  while (!dir.empty()) {
    if (exists(dir)) return dir + L'\\';
    size_t at = dir.rfind(L'\\');
    if (at == std::wstring::npos) return std::wstring();
    dir.resize(at);
  }
  return dir;
}

bool SplitModulePrefix(const std::string& path, std::string& prefix, std::string& rest) {
  size_t at = path.find(':');
  if (at == std::string::npos) return false;
  prefix = path.substr(0, at);
  rest = path.substr(at + 1);
  return true;
}

std::string InnerModulePath(const std::string& rest) {
  if (rest.empty() || rest == "\\") return std::string();
  if (rest[0] == '\\') return rest;
  return "\\" + rest;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

PanelStrings BuildPanelStrings(const std::string& shortName, const std::string& title, std::string dir) {
  PanelStrings s;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  s.currentDirectory = shortName;
  if (dir.empty()) {
    s.title = " " + title + " ";
    if (!s.currentDirectory.empty()) s.currentDirectory += ":";
  } else {
    s.title = shortName + ":" + dir;
    s.currentDirectory = shortName + ":\\" + dir;
  }
  return s;
}

std::string LastPathValue(std::string currentDirectory) {
  if (!currentDirectory.empty() && currentDirectory.back() != '\\') currentDirectory += '\\';
  size_t at = currentDirectory.find('\\');
  return at == std::string::npos ? currentDirectory : currentDirectory.substr(0, at);
}

}  // namespace handrel
