// The file panel's texts that are built from names and counts (the transfer dialog's are the
// engine's, core/dialog_texts.h): 8-bit texts in the console's OEM code page.
#pragma once

#include <string>

namespace handrel::files {

// The delete confirmation: "Do you want to delete file" / "folder" and the name (cut past 67
// characters) for one item, "Do you want to delete" and "%i items" for several.
std::string DeleteQuestion(bool folder, const std::string& name, int count);

}  // namespace handrel::files
