// The rename job's file system over Win32: a target is tested by opening it for no access, and
// items are moved with MoveFileW, which never replaces an existing object.
#pragma once

#include "renamer/core/renamejob.h"

namespace quillet {

class Win32FileSystem : public FileSystem {
 public:
  uint32_t Probe(const std::u16string& path) override;
  uint32_t Move(const std::u16string& from, const std::u16string& to) override;
};

}  // namespace quillet
