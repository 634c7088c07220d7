#include "devicebrowser/common/transfer/core/texts.h"

#include <cstdio>

#include "devicebrowser/common/console/core/format.h"

namespace handrel::transfer {

namespace {
constexpr char kSeparatorLine = '\x01';  // the host draws a separator line for this character
constexpr size_t kTargetShown = 60;

std::string FileLine(const char* label, uint64_t size, const Stamp& t) {
  std::string sizeText = size == kUnknownSize ? std::string("?") : con::FormatNumber(static_cast<int64_t>(size));
  char line[128];
  std::snprintf(line, sizeof line, "%s%13s   %4i.%02i.%02i %2i:%02i:%02i\n", label, sizeText.c_str(), t.year,
                t.month, t.day, t.hour, t.minute, t.second);
  return line;
}
}  // namespace

std::string MessageText(Message message, const std::string& pathOem, bool& titledError) {
  titledError = false;
  switch (message) {
    case Message::kFileTooLarge:
      titledError = true;
      return "File too large:\r\n" + pathOem;
    case Message::kTooLongPath:
      return "Too long path";
    case Message::kInvalidFolder:
      return "Invalid folder\r\n" + pathOem;
    case Message::kTargetTooLong:
      return "Target path too long";
    case Message::kCantCreateFolder:
      titledError = true;
      return "Can't create folder\n" + pathOem;
    case Message::kCantCreateTarget:
      return "Can't create target file\n" + pathOem;
    case Message::kCantRead:
      return "Can't read source file\n" + pathOem;
    case Message::kCantWrite:
      return "Can't write target file\n" + pathOem;
    case Message::kCantAppend:
      return "Can't append target file\n" + pathOem;
    case Message::kInvalidIndex:
      return "Invalid index";
  }
  return std::string();
}

std::string WrapAtSpaces(const std::string& text, size_t width) {
  std::string out, line;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t space = text.find(' ', pos);
    std::string word = text.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
    pos = space == std::string::npos ? text.size() : space + 1;
    if (word.empty()) continue;
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += line + "\r\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  return out + line;
}

std::string OverwriteText(bool readOnly, const std::string& targetOem, uint64_t newSize, const Stamp& newTime,
                          uint64_t oldSize, const Stamp& oldTime) {
  std::string text = readOnly ? "The file is read only\n" : "File already exists\n";
  text += targetOem.size() > kTargetShown ? "..." + targetOem.substr(targetOem.size() - (kTargetShown - 3))
                                          : targetOem;
  text += "\n";
  text += kSeparatorLine;
  text += "\n";
  text += FileLine("New:       ", newSize, newTime);
  text += FileLine("Existing:  ", oldSize, oldTime);
  text += kSeparatorLine;
  return text;
}

std::string OpenErrorText(bool target, const std::string& pathOem, const std::string& systemText) {
  std::string text = target ? "Error opening target file\r\n" : "Error opening input file\r\n";
  text += pathOem + "\r\n" + WrapAtSpaces(systemText, 60) + "\r\n";
  text += kSeparatorLine;
  return text;
}

}  // namespace handrel::transfer
