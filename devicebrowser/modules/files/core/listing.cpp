#include "devicebrowser/modules/files/core/listing.h"

namespace handrel::files {

std::u16string SearchPattern(const std::u16string& folder) { return u"\\" + folder + u"*.*"; }

bool NameFromField(const char16_t* field, size_t capacity, std::u16string& name) {
  if (!field) return false;
  for (size_t i = 0; i < capacity; ++i) {
    if (field[i] == 0) {
      name.assign(field, i);
      return true;
    }
  }
  return false;
}

bool SkipEntry(const std::u16string& name, uint32_t attributes, bool showRom) {
  if (name.empty() || name == u"." || name == u"..") return true;
  return (attributes & kAttrInRom) != 0 && !showRom;
}

}  // namespace handrel::files
