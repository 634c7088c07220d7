#include "standins/rapi/core/device_path.h"

#include <array>
#include <vector>

namespace rapiemu {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Characters no device name may hold (the separators are handled apart).
bool IsForbiddenNameChar(char16_t c) {
  return c < 0x20 || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>' || c == u'|';
}

// The host opens these as devices whatever folder they appear in, with or without an extension.
bool IsReservedDeviceName(std::u16string_view component) {
  std::u16string base = FoldCase(component.substr(0, component.find(u'.')));
  while (!base.empty() && base.back() == u' ') base.pop_back();
  static constexpr std::array<std::u16string_view, 6> kPlain = {u"con", u"prn", u"aux", u"nul", u"conin$",
                                                                 u"conout$"};
  for (auto name : kPlain) {
    if (base == name) return true;
  }
  if (base.size() == 4 && (base.starts_with(u"com") || base.starts_with(u"lpt")) && base[3] >= u'0' &&
      base[3] <= u'9') {
    return true;
  }
  return false;
}

// Splits `path` at separators into components; reports the device error of the first bad one.
uint32_t SplitComponents(std::u16string_view path, bool lastMayHoldWildcards, std::vector<std::u16string>& out) {
  if (path.empty() || !IsSeparator(path[0])) {
    // "C:\x", "x\y": not a path from the device's root.
    for (char16_t c : path) {
      if (c == u':') return kErrInvalidName;
    }
    return kErrPathNotFound;
  }
  if (path.size() >= 2 && IsSeparator(path[1])) return kErrInvalidName;  // "\\server\share", "\\?\C:"
  size_t pos = 0;
  while (pos < path.size()) {
    while (pos < path.size() && IsSeparator(path[pos])) ++pos;
    size_t end = pos;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end == pos) break;
    std::u16string_view raw = path.substr(pos, end - pos);
    bool last = end >= path.size() || path.find_first_not_of(u"\\/", end) == std::u16string_view::npos;
    if (raw == u"." || raw == u"..") return kErrInvalidName;
    for (char16_t c : raw) {
      bool wildcard = c == u'*' || c == u'?';
      if (wildcard && lastMayHoldWildcards && last) continue;
      if (IsForbiddenNameChar(c)) return kErrInvalidName;
    }
    std::u16string comp(raw);
    while (!comp.empty() && (comp.back() == u'.' || comp.back() == u' ')) comp.pop_back();
    if (comp.empty()) return kErrInvalidName;
    if (IsReservedDeviceName(comp)) return kErrInvalidName;
    out.push_back(std::move(comp));
    pos = end;
  }
  return kErrNone;
}

MappedPath Compose(std::u16string_view root, const std::vector<std::u16string>& comps, size_t count) {
  MappedPath m;
  m.hostPath.assign(root);
  while (!m.hostPath.empty() && IsSeparator(m.hostPath.back())) m.hostPath.pop_back();
  for (size_t i = 0; i < count; ++i) {
    m.devicePath += u'\\';
    m.devicePath += comps[i];
    m.hostPath += u'\\';
    m.hostPath += comps[i];
  }
  if (m.devicePath.empty()) m.devicePath = u"\\";
  if (m.hostPath.empty()) m.hostPath = u"\\";
  return m;
}

uint32_t CheckComposed(const std::vector<std::u16string>& comps, size_t count) {
  if (count > 0 && EqualNoCase(comps[0], kStateFolder)) return kErrAccessDenied;
  size_t length = 0;
  for (size_t i = 0; i < count; ++i) length += 1 + comps[i].size();
  if (length > kMaxDevicePath) return kErrFilenameTooLong;
  return kErrNone;
}

}  // namespace

MappedPath MapDevicePath(std::u16string_view root, std::u16string_view devicePath) {
  std::vector<std::u16string> comps;
  MappedPath m;
  if ((m.error = SplitComponents(devicePath, false, comps)) != kErrNone) return m;
  if ((m.error = CheckComposed(comps, comps.size())) != kErrNone) return m;
  return Compose(root, comps, comps.size());
}

MappedPattern MapFindPattern(std::u16string_view root, std::u16string_view pattern) {
  MappedPattern p;
  std::vector<std::u16string> comps;
  uint32_t error = SplitComponents(pattern, true, comps);
  if (error == kErrNone && comps.empty()) error = kErrFileNotFound;  // the root has no entry of its own
  if (error == kErrNone) error = CheckComposed(comps, comps.size());
  if (error != kErrNone) {
    p.folder.error = error;
    return p;
  }
  p.folder = Compose(root, comps, comps.size() - 1);
  p.pattern = comps.back();
  return p;
}

bool HasWildcards(std::u16string_view pattern) {
  return pattern.find_first_of(u"*?") != std::u16string_view::npos;
}

bool MatchFindPattern(std::u16string_view pattern, std::u16string_view name) {
  // "x.*" also stands for "x" without any extension, as on the desktop.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" &&
      name.find(u'.') == std::u16string_view::npos &&
      MatchFindPattern(pattern.substr(0, pattern.size() - 2), name)) {
    return true;
  }
  // Iterative glob with one backtrack point: linear in practice, no recursion on hostile input.
  size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || FoldChar(pattern[p]) == FoldChar(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

char16_t FoldChar(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c < 0xC0) return c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 32);  // Latin-1
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 32);  // Greek
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);                // Cyrillic А-Я
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);                // Ѐ-Џ
  return c;
}

std::u16string FoldCase(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = FoldChar(c);
  return out;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  }
  return true;
}

uint32_t ObjectId(std::u16string_view canonicalDevicePath) {
  uint32_t h = 2166136261u;  // FNV-1a over the folded path
  for (char16_t c : canonicalDevicePath) {
    char16_t f = FoldChar(c);
    h = (h ^ static_cast<uint32_t>(f & 0xFF)) * 16777619u;
    h = (h ^ static_cast<uint32_t>(f >> 8)) * 16777619u;
  }
  return h == 0 ? 1 : h;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    auto b0 = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (b0 < 0x80) {
      cp = b0;
    } else {
      size_t need = (b0 & 0xE0) == 0xC0 ? 2 : (b0 & 0xF0) == 0xE0 ? 3 : (b0 & 0xF8) == 0xF0 ? 4 : 0;
      if (need != 0 && need <= s.size() - i) {
        uint32_t v = b0 & (0x7F >> need);
        bool good = true;
        for (size_t k = 1; k < need; ++k) {
          auto b = static_cast<unsigned char>(s[i + k]);
          if ((b & 0xC0) != 0x80) {
            good = false;
            break;
          }
          v = (v << 6) | (b & 0x3F);
        }
        static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (good && v >= kMin[need] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
          cp = v;
          len = need;
        }
      }
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(s[i + 1]) - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace rapiemu
