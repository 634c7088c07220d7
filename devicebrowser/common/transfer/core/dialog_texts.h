// The transfer dialog's texts, shared by every module that copies or moves items out of the device
// (and by the file panel's rename): 8-bit texts in the console's OEM code page.
#pragma once

#include <cstddef>
#include <string>

namespace handrel::transfer {

enum class TransferKind { kCopy, kMove, kRename };

const char* TransferTitle(TransferKind kind);    // "Copy", "Move", "Rename/Move"
const char* TransferButton(TransferKind kind);   // "&Copy", "&Move", "&Rename"
const char* TransferHistory(TransferKind kind);  // "Copy", "Move", "Rename"

// name unchanged up to `longest` characters, else its first `keep` characters and "...".
std::string CutName(const std::string& name, size_t longest, size_t keep);

// The dialog's first line: "Copy " / "Move " + the quoted name (cut past 51 characters) or
// "%i items" when count is above one, then " t&o:"; "R&ename " + the quoted name + ":" for a rename.
std::string TransferPrompt(TransferKind kind, const std::string& name, int count);

// Whether a destination may take a trailing backslash when it names an existing folder: not
// empty and not already ending in a path separator.
bool MayTakeFolderBackslash(const std::string& destination);

}  // namespace handrel::transfer
