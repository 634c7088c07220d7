#include "standins/rapi/core/device_store.h"

#include <cstdio>

#include "standins/rapi/core/device_path.h"

namespace rapiemu {
namespace {

// Caps on what a store file can make us hold; the files are written by tests, but a damaged one
// must not exhaust memory.
constexpr size_t kMaxLine = 1u << 16;
constexpr size_t kMaxValueBytes = 1u << 16;

// Calls fn(line) for each line of text, without its end-of-line characters.
template <class Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    fn(line);
    pos = end + 1;
  }
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses 1 to 8 hexadecimal digits (an optional "0x" first); false on anything else.
bool ParseHex32(std::string_view s, uint32_t& out) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
  if (s.empty() || s.size() > 8) return false;
  uint32_t v = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  out = v;
  return true;
}

std::string Hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", v);
  return buf;
}

bool IsUnder(std::u16string_view foldedPath, std::u16string_view foldedFolder) {
  if (foldedFolder == u"\\") return foldedPath.size() > 1 && foldedPath[0] == u'\\';
  return foldedPath.size() > foldedFolder.size() && foldedPath.starts_with(foldedFolder) &&
         foldedPath[foldedFolder.size()] == u'\\';
}

// Reads a quoted string with \\ \" \n \r escapes starting at s[0] == '"'; stores the rest after
// the closing quote in `rest`.
bool ParseQuoted(std::string_view s, std::string& out, std::string_view& rest) {
  if (s.empty() || s[0] != '"') return false;
  out.clear();
  for (size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      rest = s.substr(i + 1);
      return true;
    }
    if (c == '\\') {
      if (++i >= s.size()) return false;
      char e = s[i];
      c = e == 'n' ? '\n' : e == 'r' ? '\r' : e;
      if (e != 'n' && e != 'r' && e != '\\' && e != '"') return false;
    }
    out += c;
  }
  return false;
}

std::string Quote(std::u16string_view text) {
  std::string out = "\"";
  for (char c : Utf16ToUtf8(text)) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A REG_SZ value that can be written as text: even size, one zero at its end and none before.
bool IsPlainString(const RegistryValue& v) {
  if (v.type != kRegSz || v.data.size() < 2 || v.data.size() % 2 != 0) return false;
  size_t chars = v.data.size() / 2;
  for (size_t i = 0; i < chars; ++i) {
    bool zero = v.data[2 * i] == 0 && v.data[2 * i + 1] == 0;
    if (zero != (i + 1 == chars)) return false;
  }
  return true;
}

}  // namespace

uint32_t ComposeAttributes(bool isDirectory, bool hostReadOnly, std::optional<uint32_t> sidecar) {
  uint32_t a = sidecar ? (*sidecar & ~kAttrDirectory) : (isDirectory ? 0u : kAttrArchive);
  if (isDirectory) a |= kAttrDirectory;
  if (hostReadOnly && !sidecar) a |= kAttrReadOnly;
  if ((a & ~kAttrNormal) != 0) a &= ~kAttrNormal;
  return a == 0 ? kAttrNormal : a;
}

uint32_t ApplySetAttributes(uint32_t current, uint32_t requested) {
  uint32_t a = (current & ~kSettableAttributes) | (requested & kSettableAttributes);
  if ((a & ~kAttrNormal) != 0) a &= ~kAttrNormal;
  return a == 0 ? kAttrNormal : a;
}

// ---- attribute sidecar

AttributeSidecar AttributeSidecar::Parse(std::string_view text) {
  AttributeSidecar s;
  ForEachLine(text, [&](std::string_view line) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') return;
    size_t space = line.find_first_of(" \t");
    uint32_t attributes = 0;
    if (line.size() > kMaxLine || space == std::string_view::npos || !ParseHex32(line.substr(0, space), attributes)) {
      ++s.badLines_;
      return;
    }
    std::u16string path = Utf8ToUtf16(Trim(line.substr(space)));
    bool control = false;
    for (char16_t c : path) control = control || c < 0x20;
    if (path.empty() || path[0] != u'\\' || control) {  // device paths hold no control characters
      ++s.badLines_;
      return;
    }
    s.Set(path, attributes);
  });
  return s;
}

std::string AttributeSidecar::Serialize() const {
  std::string out = "# device attributes: 0x<word> <device path>\n";
  for (const auto& [key, e] : entries_) {
    out += "0x" + Hex32(e.attributes) + " " + Utf16ToUtf8(e.path) + "\n";
  }
  return out;
}

std::optional<uint32_t> AttributeSidecar::Find(std::u16string_view devicePath) const {
  auto it = entries_.find(FoldCase(devicePath));
  if (it == entries_.end()) return std::nullopt;
  return it->second.attributes;
}

void AttributeSidecar::Set(std::u16string_view devicePath, uint32_t attributes) {
  entries_[FoldCase(devicePath)] = Entry{std::u16string(devicePath), attributes};
}

void AttributeSidecar::Remove(std::u16string_view devicePath) {
  std::u16string folded = FoldCase(devicePath);
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->first == folded || IsUnder(it->first, folded)) {
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

void AttributeSidecar::Rename(std::u16string_view from, std::u16string_view to) {
  std::u16string folded = FoldCase(from);
  std::vector<Entry> moved;
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->first == folded || IsUnder(it->first, folded)) {
      moved.push_back(Entry{std::u16string(to) + it->second.path.substr(from.size()), it->second.attributes});
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& e : moved) Set(e.path, e.attributes);
}

// ---- registry store

std::u16string JoinKeyPath(std::u16string_view base, std::u16string_view subKey) {
  while (!subKey.empty() && subKey.front() == u'\\') subKey.remove_prefix(1);
  while (!subKey.empty() && subKey.back() == u'\\') subKey.remove_suffix(1);
  std::u16string out(base);
  while (!out.empty() && out.back() == u'\\') out.pop_back();
  if (!subKey.empty()) {
    if (!out.empty()) out += u'\\';
    out += subKey;
  }
  return out;
}

RegistryValue RegistryStore::String(std::u16string_view text) {
  RegistryValue v{kRegSz, {}};
  for (char16_t c : text) {
    v.data.push_back(static_cast<uint8_t>(c & 0xFF));
    v.data.push_back(static_cast<uint8_t>(c >> 8));
  }
  v.data.push_back(0);
  v.data.push_back(0);
  return v;
}

RegistryValue RegistryStore::Dword(uint32_t value) {
  return RegistryValue{kRegDword,
                       {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)}};
}

RegistryStore::Key& RegistryStore::KeyFor(std::u16string_view keyPath) {
  std::u16string path = JoinKeyPath(keyPath, u"");
  auto [it, inserted] = keys_.try_emplace(FoldCase(path));
  if (inserted) it->second.path = path;
  return it->second;
}

RegistryStore RegistryStore::Parse(std::string_view text) {
  RegistryStore s;
  Key* current = nullptr;
  ForEachLine(text, [&](std::string_view line) {
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') return;
    if (line.size() > kMaxLine) {
      ++s.badLines_;
      return;
    }
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) {
        ++s.badLines_;
        current = nullptr;
        return;
      }
      current = &s.KeyFor(Utf8ToUtf16(line.substr(1, line.size() - 2)));
      return;
    }
    std::string name;
    std::string_view rest;
    if (current == nullptr) {
      ++s.badLines_;
      return;
    }
    if (line[0] == '@') {
      rest = line.substr(1);
    } else if (!ParseQuoted(line, name, rest)) {
      ++s.badLines_;
      return;
    }
    rest = Trim(rest);
    if (rest.empty() || rest[0] != '=') {
      ++s.badLines_;
      return;
    }
    rest = Trim(rest.substr(1));
    RegistryValue value;
    std::string text8;
    std::string_view after;
    if (ParseQuoted(rest, text8, after) && Trim(after).empty()) {
      value = String(Utf8ToUtf16(text8));
    } else if (rest.starts_with("dword:")) {
      uint32_t v = 0;
      if (!ParseHex32(rest.substr(6), v)) {
        ++s.badLines_;
        return;
      }
      value = Dword(v);
    } else if (rest.starts_with("hex")) {
      std::string_view bytes = rest.substr(3);
      value.type = kRegBinary;
      if (!bytes.empty() && bytes[0] == '(') {
        size_t close = bytes.find(')');
        uint32_t type = 0;
        if (close == std::string_view::npos || !ParseHex32(bytes.substr(1, close - 1), type)) {
          ++s.badLines_;
          return;
        }
        value.type = type;
        bytes = bytes.substr(close + 1);
      }
      if (bytes.empty() || bytes[0] != ':') {
        ++s.badLines_;
        return;
      }
      bytes.remove_prefix(1);
      while (!bytes.empty()) {
        size_t comma = bytes.find(',');
        std::string_view item = Trim(bytes.substr(0, comma));
        uint32_t b = 0;
        if (item.size() != 2 || !ParseHex32(item, b) || value.data.size() >= kMaxValueBytes) {
          ++s.badLines_;
          return;
        }
        value.data.push_back(static_cast<uint8_t>(b));
        bytes = comma == std::string_view::npos ? std::string_view{} : bytes.substr(comma + 1);
      }
    } else {
      ++s.badLines_;
      return;
    }
    std::u16string name16 = Utf8ToUtf16(name);
    current->values[FoldCase(name16)] = {name16, std::move(value)};
  });
  return s;
}

std::string RegistryStore::Serialize() const {
  std::string out;
  for (const auto& [folded, key] : keys_) {
    out += '[';
    out += Utf16ToUtf8(key.path);
    out += "]\n";
    for (const auto& [vfolded, entry] : key.values) {
      const auto& [name, value] = entry;
      if (name.empty()) {
        out += '@';
      } else {
        out += Quote(name);
      }
      out += '=';
      if (IsPlainString(value)) {
        std::u16string text;
        for (size_t i = 0; i + 2 < value.data.size(); i += 2) {
          text += static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
        }
        out += Quote(text);
      } else if (value.type == kRegDword && value.data.size() == 4) {
        out += "dword:" + Hex32(static_cast<uint32_t>(value.data[0]) | static_cast<uint32_t>(value.data[1]) << 8 |
                                static_cast<uint32_t>(value.data[2]) << 16 |
                                static_cast<uint32_t>(value.data[3]) << 24);
      } else {
        char head[24];
        std::snprintf(head, sizeof head, "hex(%x):", value.type);
        out += head;
        for (size_t i = 0; i < value.data.size(); ++i) {
          char b[4];
          std::snprintf(b, sizeof b, "%02x", value.data[i]);
          if (i > 0) out += ",";
          out += b;
        }
      }
      out += "\n";
    }
  }
  return out;
}

bool RegistryStore::KeyExists(std::u16string_view keyPath) const {
  std::u16string folded = FoldCase(JoinKeyPath(keyPath, u""));
  if (folded.find(u'\\') == std::u16string::npos) return !folded.empty();
  std::u16string prefix = folded + u"\\";
  for (const auto& [path, key] : keys_) {
    if (path == folded || path.starts_with(prefix)) return true;
  }
  return false;
}

void RegistryStore::CreateKey(std::u16string_view keyPath) { KeyFor(keyPath); }

const RegistryValue* RegistryStore::Find(std::u16string_view keyPath, std::u16string_view valueName) const {
  auto key = keys_.find(FoldCase(JoinKeyPath(keyPath, u"")));
  if (key == keys_.end()) return nullptr;
  auto value = key->second.values.find(FoldCase(valueName));
  return value == key->second.values.end() ? nullptr : &value->second.second;
}

void RegistryStore::Set(std::u16string_view keyPath, std::u16string_view valueName, RegistryValue value) {
  KeyFor(keyPath).values[FoldCase(valueName)] = {std::u16string(valueName), std::move(value)};
}

}  // namespace rapiemu
