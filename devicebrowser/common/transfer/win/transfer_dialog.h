// The transfer dialog of the device modules ("Copy", "Move", "Rename/Move") on the console
// helpers' dialog builder. Threads: the host's only.
#pragma once

#include <string>

#include "devicebrowser/common/transfer/core/dialog_texts.h"

namespace handrel::transfer {

// Gives a destination (OEM) that names an existing local folder its trailing backslash, as copy
// and move offer it before the dialog opens.
void AddFolderBackslash(std::string& destinationOem);

// The dialog: the prompt for `nameOem` (or `count` items), the destination to edit (OEM, in and
// out) with the kind's history. True when the user accepted with the first button; destination
// is left alone otherwise.
bool RunTransferDialog(TransferKind kind, const std::string& nameOem, int count, std::string& destinationOem);

}  // namespace handrel::transfer
