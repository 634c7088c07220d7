#include "devicebrowser/common/transfer/win/transfer_dialog.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "devicebrowser/common/code_pages.h"
#include "devicebrowser/common/console/console.h"

namespace handrel::transfer {

namespace {

constexpr size_t kEditBytes = 512;  // the dialog item's own text room

}  // namespace

void AddFolderBackslash(std::string& destinationOem) {
  if (!MayTakeFolderBackslash(destinationOem)) return;
  DWORD attributes = GetFileAttributesW(FromOem(destinationOem).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) destinationOem += '\\';
}

bool RunTransferDialog(TransferKind kind, const std::string& nameOem, int count, std::string& destinationOem) {
  const std::string prompt = TransferPrompt(kind, nameOem, count);
  std::vector<char> value(kEditBytes, '\0');
  std::memcpy(value.data(), destinationOem.data(), std::min(destinationOem.size(), value.size() - 1));
  DialogBuilder dialog(68, 4, TransferTitle(kind));
  dialog.AddText(1, 1, prompt.c_str());
  int edit = dialog.AddEdit(2, 1, 66, value.data(), value.size());
  dialog.Item(edit).Flags |= DIF_HISTORY;
  dialog.Item(edit).Param.History = TransferHistory(kind);
  dialog.AddSeparator(3);
  int accept = dialog.AddButton(4, TransferButton(kind), true);
  dialog.AddButton(4, "Ca&ncel");
  dialog.CentreRow(4, 54, 5);  // the pair sits left of the line's middle, five columns apart
  if (dialog.Run(accept) != accept) return false;
  destinationOem = value.data();
  return true;
}

}  // namespace handrel::transfer
