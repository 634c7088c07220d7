#include "devicebrowser/common/transfer/core/dialog_texts.h"

namespace handrel::transfer {

const char* TransferTitle(TransferKind kind) {
  return kind == TransferKind::kCopy ? "Copy" : kind == TransferKind::kMove ? "Move" : "Rename/Move";
}
const char* TransferButton(TransferKind kind) {
  return kind == TransferKind::kCopy ? "&Copy" : kind == TransferKind::kMove ? "&Move" : "&Rename";
}
const char* TransferHistory(TransferKind kind) {
  return kind == TransferKind::kCopy ? "Copy" : kind == TransferKind::kMove ? "Move" : "Rename";
}

std::string CutName(const std::string& name, size_t longest, size_t keep) {
  if (name.size() <= longest) return name;
  std::string cut(name, 0, keep);
  cut.append("...");
  return cut;
}

std::string TransferPrompt(TransferKind kind, const std::string& name, int count) {
  std::string text = kind == TransferKind::kCopy ? "Copy " : kind == TransferKind::kMove ? "Move " : "R&ename ";
  if (count > 1) {
    text.append(std::to_string(count)).append(" items");
  } else {
    text.append("\"").append(CutName(name, 51, 49)).append("\"");
  }
  text.append(kind == TransferKind::kRename ? ":" : " t&o:");
  return text;
}

bool MayTakeFolderBackslash(const std::string& destination) {
  return !destination.empty() && destination.back() != '\\' && destination.back() != '/';
}

}  // namespace handrel::transfer
