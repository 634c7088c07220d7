// The engine's texts: messages, the overwrite question and the open-error prompt, built from
// names already in the console's OEM code page.
#pragma once

#include <cstdint>
#include <string>

#include "devicebrowser/common/transfer/core/transfer.h"

namespace handrel::transfer {

// A local date and time as the questions show it.
struct Stamp {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The message's text with its path; titledError: the message is titled "Error" (else with the
// module's title).
std::string MessageText(Message message, const std::string& pathOem, bool& titledError);

// Breaks text at spaces into lines of at most `width` characters (a longer word stands alone),
// joined with "\r\n".
std::string WrapAtSpaces(const std::string& text, size_t width);

// The overwrite question: its header ("File already exists" or "The file is read only"), the
// target (longer than 60 characters: "..." and its last 57), separator lines (code 1) and the
// "New:" and "Existing:" lines with sizes (commas every three digits; "?" for kUnknownSize).
std::string OverwriteText(bool readOnly, const std::string& targetOem, uint64_t newSize, const Stamp& newTime,
                          uint64_t oldSize, const Stamp& oldTime);

// "Error opening input file" or "Error opening target file", the path, the system's text broken
// into lines of 60, and a separator line.
std::string OpenErrorText(bool target, const std::string& pathOem, const std::string& systemText);

}  // namespace handrel::transfer
