// The settings store of the tests: keys and values in memory, with the registry's rules (parents
// come with a child, a key with subkeys cannot be deleted, a value needs its key) and failures
// on demand. The registry store is held to the same rules (plugin_test.cpp).
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "renamer/core/settings.h"

namespace quillet {

class MemoryStore : public SettingsStore {
 public:
  struct Value {
    bool isString = false;
    uint32_t number = 0;
    std::u16string text;  // as stored, terminator included
  };
  std::map<std::u16string, std::map<std::u16string, Value>> keys;
  bool failCreate = false;
  bool failWrite = false;
  std::vector<std::u16string> unopenable;  // keys that OpenKey refuses
  int writes = 0;
  int deletes = 0;

  bool OpenKey(const std::u16string& key) override {
    if (std::find(unopenable.begin(), unopenable.end(), key) != unopenable.end()) return false;
    return keys.count(key) != 0;
  }
  bool CreateKey(const std::u16string& key) override {
    if (failCreate) return false;
    for (size_t at = key.find(u'\\'); at != std::u16string::npos; at = key.find(u'\\', at + 1)) keys[key.substr(0, at)];
    keys[key];
    return true;
  }
  bool DeleteKey(const std::u16string& key) override {
    const std::u16string prefix = key + u"\\";
    for (const auto& [name, values] : keys) {
      if (name.compare(0, prefix.size(), prefix) == 0) return false;  // has subkeys
    }
    ++deletes;
    return keys.erase(key) != 0;
  }
  std::optional<uint32_t> ReadDword(const std::u16string& key, const std::u16string& name) override {
    const Value* v = Find(key, name);
    if (!v || v->isString) return std::nullopt;
    return v->number;
  }
  std::optional<std::u16string> ReadString(const std::u16string& key, const std::u16string& name,
                                           uint32_t maxBytes) override {
    const Value* v = Find(key, name);
    if (!v || !v->isString || v->text.size() * 2 > maxBytes) return std::nullopt;
    return v->text;
  }
  bool WriteDword(const std::u16string& key, const std::u16string& name, uint32_t value) override {
    return Write(key, name, Value{false, value, {}});
  }
  bool WriteString(const std::u16string& key, const std::u16string& name, const std::u16string& text) override {
    return Write(key, name, Value{true, 0, text + u'\0'});
  }
  std::vector<std::u16string> EnumValues(const std::u16string& key) override {
    std::vector<std::u16string> names;
    auto k = keys.find(key);
    if (k == keys.end()) return names;
    for (const auto& [name, value] : k->second) names.push_back(name);
    return names;
  }

 private:
  const Value* Find(const std::u16string& key, const std::u16string& name) const {
    auto k = keys.find(key);
    if (k == keys.end()) return nullptr;
    auto v = k->second.find(name);
    return v == k->second.end() ? nullptr : &v->second;
  }
  bool Write(const std::u16string& key, const std::u16string& name, Value value) {
    auto k = keys.find(key);
    if (failWrite || k == keys.end()) return false;
    ++writes;
    k->second[name] = std::move(value);
    return true;
  }
};

}  // namespace quillet
