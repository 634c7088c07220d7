// A folder in memory that moves objects the way MoveFileW does: never onto an existing object,
// except a change of letter case of the same object; names compared ignoring the case of A-Z.
// Objects can be locked so that moving them fails with a chosen system error.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "renamer/core/renamejob.h"

namespace quillet::testing {

class MemoryFileSystem : public FileSystem {
 public:
  struct Object {
    std::u16string name;
    bool folder = false;
    std::string content;
    uint32_t lockError = 0;  // nonzero: moving it fails with this error
  };

  explicit MemoryFileSystem(std::u16string directory) : directory_(std::move(directory)) {}

  const std::u16string& Directory() const { return directory_; }
  std::vector<Object> objects;
  int probes = 0;
  int moves = 0;

  void Add(std::u16string name, bool folder, std::string content) {
    objects.push_back(Object{std::move(name), folder, std::move(content), 0});
  }
  Object* Find(std::u16string_view name) {
    for (Object& o : objects) {
      if (EqualIgnoreCase(o.name, name)) return &o;
    }
    return nullptr;
  }

  uint32_t Probe(const std::u16string& path) override {
    ++probes;
    std::u16string name;
    uint32_t error = Parse(path, &name);
    if (error != 0) return error;
    return Find(name) ? 0 : kErrFileNotFound;
  }

  uint32_t Move(const std::u16string& from, const std::u16string& to) override {
    ++moves;
    std::u16string fromName, toName;
    uint32_t error = Parse(from, &fromName);
    if (error == 0) error = Parse(to, &toName);
    if (error != 0) return error;
    Object* source = Find(fromName);
    if (!source) return kErrFileNotFound;
    if (source->lockError != 0) return source->lockError;
    Object* target = Find(toName);
    if (target && target != source) return kErrAlreadyExists;
    source->name = toName;
    return 0;
  }

 private:
  // "\\?\" + directory + "\" + name [+ "\"]; 3 for another directory, 123 for a bad name.
  uint32_t Parse(const std::u16string& path, std::u16string* name) const {
    std::u16string prefix = u"\\\\?\\" + directory_ + u"\\";
    if (path.size() <= prefix.size() || !EqualIgnoreCase(std::u16string_view(path).substr(0, prefix.size()), prefix)) {
      return kErrPathNotFound;
    }
    *name = path.substr(prefix.size());
    if (!name->empty() && name->back() == u'\\') name->pop_back();
    if (name->empty() || FirstInvalidNameChar(*name) != 0) return 123;
    return 0;
  }

  std::u16string directory_;
};

}  // namespace quillet::testing
