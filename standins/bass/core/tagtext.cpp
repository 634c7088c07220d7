#include "standins/bass/core/tagtext.h"

#include <cstring>
#include <vector>

#include "standins/bass/core/source.h"

namespace bass {
namespace {

constexpr size_t kMaxOutput = 64 * 1024;  // bytes of a filled template
constexpr int kMaxDepth = 32;             // nesting of template functions

void AppendUtf8(std::string& s, uint32_t c) {
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Latin1ToUtf8(const uint8_t* p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n && p[i]; ++i) AppendUtf8(s, p[i]);
  return s;
}

// Valid UTF-8 stays as it is; anything else is taken as Latin-1.
std::string AnyToUtf8(const uint8_t* p, size_t n) {
  size_t len = strnlen(reinterpret_cast<const char*>(p), n);
  size_t i = 0;
  while (i < len) {
    uint8_t c = p[i];
    size_t k = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (!k || i + k > len) break;
    size_t j = 1;
    while (j < k && (p[i + j] & 0xC0) == 0x80) ++j;
    if (j < k) break;
    i += k;
  }
  if (i == len) return std::string(reinterpret_cast<const char*>(p), len);
  return Latin1ToUtf8(p, len);
}

std::string Utf16ToUtf8(const uint8_t* p, size_t n, bool bigEndian) {
  std::string s;
  for (size_t i = 0; i + 1 < n; i += 2) {
    uint32_t c = bigEndian ? Ld16be(p + i) : Ld16le(p + i);
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < n) {
      uint32_t lo = bigEndian ? Ld16be(p + i + 2) : Ld16le(p + i + 2);
      if (lo >= 0xDC00 && lo < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(s, c);
  }
  return s;
}

// An ID3v2 text frame body: encoding byte, then the text (the first of NUL-separated values).
std::string Id3Text(const uint8_t* p, size_t n) {
  if (n < 1) return {};
  uint8_t enc = p[0];
  ++p;
  --n;
  switch (enc) {
    case 0: return Latin1ToUtf8(p, n);
    case 1:  // UTF-16 with a byte-order mark (little-endian without one)
      if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) return Utf16ToUtf8(p + 2, n - 2, true);
      if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) return Utf16ToUtf8(p + 2, n - 2, false);
      return Utf16ToUtf8(p, n, false);
    case 2: return Utf16ToUtf8(p, n, true);
    case 3: return AnyToUtf8(p, n);
    default: return {};
  }
}

void Fill(std::string& field, const std::string& value) {
  if (field.empty()) field = value;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

}  // namespace

void ParseId3v2(const uint8_t* data, size_t size, TagFields& out) {
  // Header: "ID3", major version 3, revision 4, flags 5, 28-bit size 6; frames after it.
  if (size < 10 || std::memcmp(data, "ID3", 3) != 0) return;
  uint8_t ver = data[3], flags = data[5];
  if (ver < 2 || ver > 4) return;
  size_t body = ((data[6] & 0x7Fu) << 21) | ((data[7] & 0x7Fu) << 14) | ((data[8] & 0x7Fu) << 7) | (data[9] & 0x7Fu);
  if (body > size - 10) body = size - 10;
  std::vector<uint8_t> tag(data + 10, data + 10 + body);
  if (flags & 0x80 && ver < 4) {
    // Whole-tag unsynchronisation: a 0x00 after 0xFF was inserted by the writer.
    std::vector<uint8_t> u;
    for (size_t i = 0; i < tag.size(); ++i) {
      u.push_back(tag[i]);
      if (tag[i] == 0xFF && i + 1 < tag.size() && tag[i + 1] == 0) ++i;
    }
    tag.swap(u);
  }
  Cursor c(tag.data(), tag.size());
  if (flags & 0x40 && ver >= 3) {
    uint32_t ext = ver == 3 ? Ld32be(tag.size() >= 4 ? tag.data() : reinterpret_cast<const uint8_t*>("\0\0\0\0")) + 4
                            : (tag.size() >= 4 ? ((tag[0] & 0x7Fu) << 21) | ((tag[1] & 0x7Fu) << 14) | ((tag[2] & 0x7Fu) << 7) | (tag[3] & 0x7Fu) : 0);
    c.Skip(ext);
  }
  size_t idLen = ver == 2 ? 3 : 4, headLen = ver == 2 ? 6 : 10;
  for (int n = 0; n < 4096 && c.ok() && c.left() >= headLen; ++n) {
    const uint8_t* h = tag.data() + c.pos();
    if (h[0] == 0) break;  // padding
    size_t len;
    uint16_t fflags = 0;
    if (ver == 2) len = (static_cast<size_t>(h[3]) << 16) | (static_cast<size_t>(h[4]) << 8) | h[5];
    else if (ver == 3) len = Ld32be(h + 4);
    else len = ((h[4] & 0x7Fu) << 21) | ((h[5] & 0x7Fu) << 14) | ((h[6] & 0x7Fu) << 7) | (h[7] & 0x7Fu);
    if (ver >= 3) fflags = Ld16be(h + 8);
    c.Skip(headLen);
    if (len > c.left()) break;
    std::string id(reinterpret_cast<const char*>(h), idLen);
    const uint8_t* f = tag.data() + c.pos();
    // Compressed or encrypted frames (v2.3 0x00C0, v2.4 0x000C) are passed over; so are v2.4
    // frames with their own unsynchronisation or a data-length prefix.
    bool plain = ver == 2 || (ver == 3 ? (fflags & 0x00C0) == 0 : (fflags & 0x000F) == 0);
    if (plain) {
      if (id == "TPE1" || id == "TP1") Fill(out.artist, Id3Text(f, len));
      else if (id == "TIT2" || id == "TT2") Fill(out.title, Id3Text(f, len));
      else if (id == "TALB" || id == "TAL") Fill(out.album, Id3Text(f, len));
      else if (id == "TCON" || id == "TCO") Fill(out.genre, Id3Text(f, len));
      else if (id == "TYER" || id == "TYE" || id == "TDRC") Fill(out.year, Id3Text(f, len));
      else if (id == "TRCK" || id == "TRK") Fill(out.track, Id3Text(f, len));
    }
    c.Skip(len);
  }
}

void ParseId3v1(const uint8_t* data, size_t size, TagFields& out) {
  // "TAG", title 3 (30), artist 33 (30), album 63 (30), year 93 (4), comment 97 (30), genre 127.
  if (size < 128 || std::memcmp(data, "TAG", 3) != 0) return;
  Fill(out.title, Trimmed(AnyToUtf8(data + 3, 30)));
  Fill(out.artist, Trimmed(AnyToUtf8(data + 33, 30)));
  Fill(out.album, Trimmed(AnyToUtf8(data + 63, 30)));
  Fill(out.year, Trimmed(AnyToUtf8(data + 93, 4)));
  Fill(out.comment, Trimmed(AnyToUtf8(data + 97, data[125] == 0 && data[126] ? 28 : 30)));
  if (data[125] == 0 && data[126]) Fill(out.track, std::to_string(data[126]));  // ID3v1.1 track
}

void ParseKeyValues(const char* data, size_t size, bool riff, TagFields& out) {
  size_t i = 0;
  while (i < size && data[i]) {
    size_t len = strnlen(data + i, size - i);
    std::string item(data + i, len);
    i += len + 1;
    size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    std::string key = item.substr(0, eq);
    for (char& ch : key) if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    std::string v = AnyToUtf8(reinterpret_cast<const uint8_t*>(item.data() + eq + 1), item.size() - eq - 1);
    if (riff) {
      if (key == "IART") Fill(out.artist, v);
      else if (key == "INAM") Fill(out.title, v);
      else if (key == "IPRD") Fill(out.album, v);
      else if (key == "IGNR") Fill(out.genre, v);
      else if (key == "ICRD") Fill(out.year, v);
      else if (key == "ICMT") Fill(out.comment, v);
      else if (key == "ITRK") Fill(out.track, v);
    } else {
      if (key == "ARTIST") Fill(out.artist, v);
      else if (key == "TITLE") Fill(out.title, v);
      else if (key == "ALBUM") Fill(out.album, v);
      else if (key == "GENRE") Fill(out.genre, v);
      else if (key == "DATE") Fill(out.year, v);
      else if (key == "COMMENT") Fill(out.comment, v);
      else if (key == "TRACKNUMBER") Fill(out.track, v);
    }
  }
}

size_t ListBlockSize(const char* data, size_t max) {
  for (size_t i = 0; i + 1 < max; ++i)
    if (data[i] == 0 && (i == 0 || data[i + 1] == 0)) return i == 0 ? 1 : i + 2;
  return max;
}

TagFields CollectTags(const TagFetch& fetch) {
  TagFields t;
  RawTag r = fetch(1);
  if (r.data) ParseId3v2(reinterpret_cast<const uint8_t*>(r.data), r.size, t);
  r = fetch(0x100);
  if (r.data) ParseKeyValues(r.data, r.size, true, t);
  r = fetch(2);
  if (r.data) ParseKeyValues(r.data, r.size, false, t);
  r = fetch(0);
  if (r.data) ParseId3v1(reinterpret_cast<const uint8_t*>(r.data), r.size, t);
  r = fetch(0x10000);
  if (r.data) Fill(t.title, AnyToUtf8(reinterpret_cast<const uint8_t*>(r.data), r.size));
  return t;
}

namespace {

// UTF-8 to Latin-1, "?" for what Latin-1 lacks.
std::string ToLatin1(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    uint8_t c = static_cast<uint8_t>(s[i]);
    size_t k = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
    uint32_t v = c;
    if (k == 2 && i + 1 < s.size()) v = ((c & 0x1Fu) << 6) | (static_cast<uint8_t>(s[i + 1]) & 0x3Fu);
    out += k == 1 ? static_cast<char>(c) : (k == 2 && v < 0x100) ? static_cast<char>(v) : '?';
    i += k;
  }
  return out;
}

class Renderer {
 public:
  Renderer(const std::string& fmt, const TagFields& tags) : f_(fmt), t_(tags) {}

  std::string All() {
    std::string out;
    Seq(out, false, 0, false);
    return out;
  }

 private:
  // Text up to the end, or (inside a function) up to its ',' or ')' which is left unread.
  void Seq(std::string& out, bool utf8, int depth, bool inArg) {
    while (i_ < f_.size() && out.size() < kMaxOutput) {
      char c = f_[i_];
      if (inArg && (c == ',' || c == ')')) return;
      if (c != '%') {
        out += c;
        ++i_;
        continue;
      }
      ++i_;
      if (i_ >= f_.size()) return;
      char e = f_[i_];
      if (e == '%' || e == '(' || e == ')' || e == ',') {
        out += e;
        ++i_;
        continue;
      }
      if (i_ + 4 > f_.size()) { i_ = f_.size(); return; }
      std::string code = f_.substr(i_, 4);
      i_ += 4;
      if (const std::string* field = Field(code)) {
        out += utf8 ? *field : ToLatin1(*field);
        continue;
      }
      if (depth >= kMaxDepth) { i_ = f_.size(); return; }
      std::vector<std::string> args;
      bool argUtf8 = utf8 || code == "UTF8";
      if (!Args(args, argUtf8, depth + 1)) return;
      if (code == "UTF8" && args.size() == 1) out += args[0];
      else if (code == "IFV1" && args.size() == 2) out += args[0].empty() ? "" : args[1];
      else if (code == "IFV2" && args.size() == 3) out += args[0].empty() ? args[2] : args[1];
      else if (code == "IUPC" && args.size() == 1) out += Case(args[0], true);
      else if (code == "ILWC" && args.size() == 1) out += Case(args[0], false);
    }
  }

  // "(" arg {"," arg} ")"; false (and the rest of the template dropped) when malformed.
  bool Args(std::vector<std::string>& args, bool utf8, int depth) {
    if (i_ >= f_.size() || f_[i_] != '(') { i_ = f_.size(); return false; }
    ++i_;
    for (;;) {
      std::string a;
      Seq(a, utf8, depth, true);
      args.push_back(a);
      if (i_ >= f_.size() || args.size() > 8) { i_ = f_.size(); return false; }
      if (f_[i_++] == ')') return true;
    }
  }

  static std::string Case(std::string s, bool upper) {
    for (char& c : s) {
      if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return s;
  }

  const std::string* Field(const std::string& code) const {
    if (code == "ARTI") return &t_.artist;
    if (code == "TITL") return &t_.title;
    if (code == "ALBM") return &t_.album;
    if (code == "GNRE") return &t_.genre;
    if (code == "YEAR") return &t_.year;
    if (code == "TRCK") return &t_.track;
    if (code == "CMNT") return &t_.comment;
    return nullptr;
  }

  const std::string& f_;
  const TagFields& t_;
  size_t i_ = 0;
};

}  // namespace

std::string RenderTemplate(const std::string& fmt, const TagFields& tags) { return Renderer(fmt, tags).All(); }

}  // namespace bass
