// Fuzz harness: a shortcut file of any bytes goes through the reader and the splitter. Whatever is
// accepted must be a command inside the bytes given, without line breaks or NULs, that reads back
// the same from the text the editor would write for it; the splitter's fields are parts of it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "devicebrowser/modules/files/core/shortcut.h"

using namespace handrel::files;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  size_t read = size < kShortcutReadMax ? size : kShortcutReadMax;
  std::string command, reason;
  if (!ParseShortcutFile(bytes, read, size, &command, &reason)) {
    if (reason.empty() || !command.empty()) __builtin_trap();
    return 0;
  }
  if (command.empty() || command.size() > read || command.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    __builtin_trap();
  std::string again, againReason;
  std::string text = ShortcutFileText(command);
  if (!ParseShortcutFile(text.data(), text.size(), text.size(), &again, &againReason) || again != command)
    __builtin_trap();
  ShortcutParts parts;
  bool exists = (size & 1) != 0;
  if (!SplitShortcutCommand(command, [&](const std::string&) { return exists; }, &parts, &reason)) return 0;
  if (parts.program.size() + parts.arguments.size() + parts.icon.size() > command.size()) __builtin_trap();
  if (command.find(parts.program) == std::string::npos || command.find(parts.icon) == std::string::npos)
    __builtin_trap();
  return 0;
}
