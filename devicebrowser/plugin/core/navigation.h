// Path handling of the device panel: how a text typed into the panel (a module prefix, an
// absolute or relative folder, "..") becomes a module's directory, and the panel's title and
// current directory from the active module. Module directories are relative to the module's top:
// no leading backslash, components separated by backslashes, empty at the top.
#pragma once

#include <functional>
#include <string>

namespace handrel {

// What a path text does inside an active module.
struct ModulePathResult {
  bool leave = false;  // the text leaves the module for the root ("\" or ".." at the top)
  std::wstring dir;    // otherwise the wanted directory, without a trailing backslash
};

// Applies `path` (already UTF-16) to the module's current directory `cur`.
//  "\" leaves; ".." leaves at the top, else goes one folder up; "\X" is X from the top; any other
//  text walks up once per leading ".." / "..\" and then appends what is left.
ModulePathResult ApplyModulePath(const std::wstring& cur, const std::wstring& path);

// The deepest existing directory of `dir`, asked of `exists` (which gets the directory without a
// trailing backslash) from the full path upward; with a trailing backslash, or empty (the top).
std::wstring ProbeExistingDirectory(std::wstring dir, const std::function<bool(const std::wstring&)>& exists);

// Splits "Prefix:rest" at its first colon. False when there is no colon.
bool SplitModulePrefix(const std::string& path, std::string& prefix, std::string& rest);

// The path inside a module after its prefix: "" when nothing (or only "\") follows the colon, else
// the rest made absolute ("A" and "\A" both give "\A").
std::string InnerModulePath(const std::string& rest);

bool EqualsNoCase(const std::string& a, const std::string& b);

struct PanelStrings {
  std::string title;
  std::string currentDirectory;
};
// The panel's title and current directory from the active module's short name, title and
// directory (8-bit; a trailing backslash of the directory is dropped). At the root the short name
// is empty: " Handrel " and "".
PanelStrings BuildPanelStrings(const std::string& shortName, const std::string& title, std::string dir);

// The "LastPath-<device>" value stored at close: the module prefix of the current directory
// ("Files:" from "Files:\A\B"), or empty at the root.
std::string LastPathValue(std::string currentDirectory);

}  // namespace handrel
