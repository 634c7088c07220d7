// The file panel's texts that are built from names and counts: the transfer dialog's lines and the
// delete question. 8-bit texts in the console's OEM code page.
#pragma once

#include <string>

namespace handrel::files {

enum class TransferKind { kCopy, kMove, kRename };

const char* TransferTitle(TransferKind kind);    // "Copy", "Move", "Rename/Move"
const char* TransferButton(TransferKind kind);   // "&Copy", "&Move", "&Rename"
const char* TransferHistory(TransferKind kind);  // "Copy", "Move", "Rename"

// name unchanged up to `longest` characters, else its first `keep` characters and "...".
std::string CutName(const std::string& name, size_t longest, size_t keep);

// The transfer dialog's first line: "Copy " + the quoted name (cut past 51 characters) or
// "%i items" when count is above one, then " t&o:" ("R&ename " ... ":" for a rename).
std::string TransferPrompt(TransferKind kind, const std::string& name, int count);

// The delete confirmation: "Do you want to delete file" / "folder" and the name (cut past 67
// characters) for one item, "Do you want to delete" and "%i items" for several.
std::string DeleteQuestion(bool folder, const std::string& name, int count);

}  // namespace handrel::files
