#include "devicebrowser/modules/files/core/shortcut.h"

#include <algorithm>

namespace handrel::files {

namespace {

constexpr size_t kLengthDigitsMax = 4;  // kShortcutReadMax has four digits

bool IsTerminator(char c) { return c == '\0' || c == '\r' || c == '\n'; }

}  // namespace

bool ParseShortcutFile(const char* data, size_t size, size_t fileSize, std::string* command, std::string* reason) {
  command->clear();
  if (data == nullptr) size = 0;
  size = std::min(size, kShortcutReadMax);
  if (size == 0) {
    *reason = "The file is empty.";
    return false;
  }
  size_t digits = 0;
  size_t length = 0;
  while (digits < size && data[digits] >= '0' && data[digits] <= '9') {
    if (digits == kLengthDigitsMax) {
      *reason = "The length of the command is too large.";
      return false;
    }
    length = length * 10 + static_cast<size_t>(data[digits] - '0');
    ++digits;
  }
  if (length > kShortcutReadMax) {
    *reason = "The length of the command is too large.";
    return false;
  }
  if (digits == 0) {
    *reason = "The file does not begin with the length of the command.";
    return false;
  }
  if (digits == size || data[digits] != '#') {
    *reason = "No \"#\" after the length of the command.";
    return false;
  }
  const char* text = data + digits + 1;
  size_t available = size - digits - 1;
  if (length > available) {
    *reason = fileSize > size ? "The command is longer than the " + std::to_string(kShortcutReadMax) + " bytes read."
                              : "The file ends before the " + std::to_string(length) + " bytes of the command.";
    return false;
  }
  // What follows the command, when anything does, must end it: a stray tail means the length is
  // not the command's.
  if (length < available && !IsTerminator(text[length])) {
    *reason = "The command does not end at its length (" + std::to_string(length) + ").";
    return false;
  }
  size_t end = 0;
  while (end < length && !IsTerminator(text[end])) ++end;
  if (end == 0) {
    *reason = "The command is empty.";
    return false;
  }
  command->assign(text, end);
  return true;
}

std::string ShortcutFileText(const std::string& command) { return std::to_string(command.size()) + "#" + command; }

bool SplitShortcutCommand(const std::string& command, const std::function<bool(const std::string&)>& fileExists,
                          ShortcutParts* parts, std::string* reason) {
  *parts = ShortcutParts{};
  size_t question = command.find('?');
  std::string main = command.substr(0, question);
  if (question != std::string::npos) {
    parts->icon = command.substr(question + 1);
    parts->icon = parts->icon.substr(0, parts->icon.find('\r'));
  }
  if (std::count(main.begin(), main.end(), '"') % 2 != 0) {
    *reason = "Unbalanced quotes in the command.";
    return false;
  }
  if (!main.empty() && main[0] == '"') {
    size_t close = main.find('"', 1);  // present: the count is even
    parts->quoted = true;
    parts->program = main.substr(1, close - 1);
    parts->arguments = main.substr(close + 1);
    if (!parts->arguments.empty() && parts->arguments[0] == ' ') parts->arguments.erase(0, 1);
    if (parts->program.empty()) parts->kind = ShortcutParts::kNotFound;
    return true;
  }
  if (!main.empty() && main[0] == ':') {
    parts->kind = ShortcutParts::kSystem;
    parts->program = main;
    return true;
  }
  if (main.find_first_of("\\ ") == std::string::npos) {
    parts->kind = ShortcutParts::kNotFound;
    parts->program = main;
    return true;
  }
  size_t space = main.find(' ');
  if (space == std::string::npos || (fileExists && fileExists(main))) {
    parts->program = main;
    return true;
  }
  parts->program = main.substr(0, space);
  parts->arguments = main.substr(space + 1);
  return true;
}

std::string BuildShortcutCommand(const std::string& path, const std::string& arguments, const std::string& icon) {
  if (path.empty()) return std::string();
  std::string command = path.find_first_of("\\ ") != std::string::npos ? "\"" + path + "\"" : path;
  if (!arguments.empty()) command += " " + arguments;
  if (!icon.empty()) command += "?" + icon;
  return command;
}

}  // namespace handrel::files
