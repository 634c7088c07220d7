#include "devicebrowser/modules/files/core/listing.h"

namespace handrel::files {

std::u16string SearchPattern(const std::u16string& folder) { return u"\\" + folder + u"*.*"; }

bool SkipEntry(const std::u16string& name, uint32_t attributes, bool showRom) {
  if (name.empty() || name == u"." || name == u"..") return true;
  return (attributes & kAttrInRom) != 0 && !showRom;
}

}  // namespace handrel::files
