// Device shortcut files (".lnk"): a short text in the ANSI code page, the decimal length of the
// command, "#", the command. The command is an optionally quoted program path, optional arguments
// after it (one space between), and optionally "?" followed by an icon and its index; a command
// beginning with ":" names a system shortcut.
//
// A shortcut file comes from the device and is untrusted: the reader takes at most
// kShortcutReadMax bytes and refuses, with a reason, whatever it cannot take whole (a length that
// is not a number, no "#", a command longer than what was read or shorter than its length,
// unbalanced quotes). Nothing is read past the bytes given.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace handrel::files {

constexpr size_t kShortcutReadMax = 2048;   // bytes of a shortcut file read, at most
constexpr size_t kShortcutFieldMax = 512;   // characters of each field the editor takes

// The command of a shortcut file. data: the bytes read (at most kShortcutReadMax); fileSize: the
// file's whole size (larger than size when the file did not fit). The command ends where its
// length says, or earlier at a NUL, carriage return or line feed. False with *reason set (a short
// English line) when the file is refused.
bool ParseShortcutFile(const char* data, size_t size, size_t fileSize, std::string* command, std::string* reason);

// The file text for a command: its length in decimal, "#", the command.
std::string ShortcutFileText(const std::string& command);

// A command taken apart. kind: what running it means.
struct ShortcutParts {
  enum Kind { kProgram, kSystem, kNotFound } kind = kProgram;
  std::string program;    // without its quotes
  std::string arguments;  // after the program, one leading space removed
  std::string icon;       // after "?" (icon and index), empty when none
  bool quoted = false;    // the program was given in quotes
};

// Splits a command. A quoted program ends at its closing quote; a command beginning with ":" is a
// system shortcut run unchanged; an unquoted command holding a backslash or a space is the
// program whole when fileExists says the device has such a file, else it is split at its first
// space; with neither the kind is kNotFound. False with *reason when the quotes do not balance.
bool SplitShortcutCommand(const std::string& command, const std::function<bool(const std::string&)>& fileExists,
                          ShortcutParts* parts, std::string* reason);

// The command the editor writes: the path, in quotes when it holds a backslash or a space, then
// " " + arguments when present, then "?" + icon when present. Empty when the path is empty.
std::string BuildShortcutCommand(const std::string& path, const std::string& arguments, const std::string& icon);

}  // namespace handrel::files
