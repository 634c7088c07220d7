#include "devicebrowser/modules/files/core/texts.h"

#include "devicebrowser/common/transfer/core/dialog_texts.h"

namespace handrel::files {

std::string DeleteQuestion(bool folder, const std::string& name, int count) {
  std::string text = count > 1 ? "Do you want to delete\n"
                               : folder ? "Do you want to delete folder\n" : "Do you want to delete file\n";
  if (count > 1) {
    text.append(std::to_string(count)).append(" items");
  } else {
    text.append(transfer::CutName(name, 67, 65));
  }
  return text;
}

}  // namespace handrel::files
