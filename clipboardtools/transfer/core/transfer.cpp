#include "clipboardtools/transfer/core/transfer.h"

#include "host/kel_text.h"

namespace sheafer {

namespace {

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool SameWord(const Text& a, const char16_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (Lower(a[i]) != b[i]) return false;
  return i == a.size() && !b[i];
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// The dropped-files header: names offset, drop point (8 bytes), non-client flag, wide flag.
constexpr size_t kDropHeaderSize = 20;
constexpr size_t kDropFilesOffset = 0;
constexpr size_t kDropWide = 16;
constexpr size_t kMaxDropNames = 1u << 16;
constexpr int kMaxLinkNumber = 10000;

}  // namespace

std::vector<Text> SplitWords(const Text& line) {
  std::vector<Text> words;
  size_t i = 0, n = line.size();
  while (true) {
    while (i < n && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i >= n) break;
    Text word;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != u' ' && line[i] != u'\t'))) {
      if (line[i] == u'\\') {
        size_t slashes = 0;
        while (i < n && line[i] == u'\\') ++slashes, ++i;
        if (i < n && line[i] == u'"') {
          word.append(slashes / 2, u'\\');
          if (slashes % 2) {
            word += u'"';
            ++i;
          }
        } else {
          word.append(slashes, u'\\');
        }
      } else if (line[i] == u'"') {
        // Inside quotes, a doubled quote is a literal quote, as programs read it.
        if (quoted && i + 1 < n && line[i + 1] == u'"') {
          word += u'"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        word += line[i++];
      }
    }
    words.push_back(word);
  }
  return words;
}

Request ParseCommand(const Text& line) {
  Request r;
  std::vector<Text> words = SplitWords(line);
  if (words.empty()) return r;
  static const struct { const char16_t* word; Action action; } kWords[] = {
      {u"copy", kCopy}, {u"cut", kCut}, {u"paste", kPaste}, {u"link", kLink}};
  for (const auto& w : kWords) {
    if (SameWord(words[0], w.word)) {
      r.action = w.action;
      r.files.assign(words.begin() + 1, words.end());
      return r;
    }
  }
  return r;
}

PasteJob MakePasteJob(int operation, const Text& folder, const std::vector<Text>& paths) {
  PasteJob job;
  job.operation = operation;
  job.folder = folder;
  for (const Text& p : paths) {
    if (p.empty()) continue;  // an empty path would end the list early
    job.sources += p;
    job.sources += u'\0';
    ++job.count;
  }
  job.sources += u'\0';
  return job;
}

std::optional<std::vector<Text>> ReadDropFiles(const uint8_t* block, size_t size,
                                               const std::function<Text(const std::string&)>& widen) {
  if (!block || size < kDropHeaderSize) return std::nullopt;
  size_t at = Le32(block + kDropFilesOffset);
  bool wide = Le32(block + kDropWide) != 0;
  if (at < kDropHeaderSize || at > size) return std::nullopt;
  std::vector<Text> names;
  while (names.size() < kMaxDropNames) {
    if (wide) {
      Text name;
      for (;;) {
        if (at + 2 > size) return std::nullopt;  // the list must end inside the block
        char16_t c = static_cast<char16_t>(block[at] | (block[at + 1] << 8));
        at += 2;
        if (!c) break;
        name += c;
      }
      if (name.empty()) return names;
      names.push_back(name);
    } else {
      std::string name;
      for (;;) {
        if (at >= size) return std::nullopt;
        char c = static_cast<char>(block[at++]);
        if (!c) break;
        name += c;
      }
      if (name.empty()) return names;
      names.push_back(widen(name));
    }
  }
  return std::nullopt;
}

std::optional<Text> LinkName(const Text& source, const std::function<bool(const Text&)>& exists) {
  size_t slash = source.find_last_of(u"\\/");
  Text name = slash == Text::npos ? source : source.substr(slash + 1);
  size_t dot = name.rfind(u'.');
  if (dot != Text::npos) name.resize(dot);
  Text candidate = name + u".lnk";
  for (int n = 2; exists(candidate); ++n) {
    if (n > kMaxLinkNumber) return std::nullopt;
    // The name is the user's: it is never used as a format, so a "%d" in it stays as it is.
    candidate = name + kel::FormatNumber(u" (%d).lnk", n);
  }
  return candidate;
}

Text FormatNumber(const Text& format, long long value) { return kel::FormatNumber(format, value); }

void SplitPath(const Text& path, Text* folder, Text* name) {
  size_t slash = path.find_last_of(u"\\/");
  if (slash == Text::npos) {
    folder->clear();
    *name = path;
    return;
  }
  *name = path.substr(slash + 1);
  // "C:\name" keeps the root's backslash: "C:" alone would mean the drive's current folder.
  *folder = slash == 2 && path.size() > 1 && path[1] == u':' ? path.substr(0, 3) : path.substr(0, slash);
}

}  // namespace sheafer
