// oculo_list: lists a disk image natively through the same core Oculo.fmt uses, in the line
// format of the coffer stand-in (name, attributes, size, packed size, last-write time, 8.3
// name, description), so one checker compares both with what mtools lists.
// Usage: oculo_list [--codepage 437|866] [--count] IMAGE
// Long names go UTF-16 -> the OEM code page; printed names go OEM -> UTF-8 (glibc iconv).
#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "archiveformats/diskimage/core/image_reader.h"
#include "archiveformats/diskimage/core/posix_file_source.h"

namespace {

// One conversion descriptor per direction, opened once: opening one costs more than a name.
struct Descriptors {
  std::map<std::string, iconv_t> open;
  ~Descriptors() {
    for (auto& [key, cd] : open) {
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
  }
};

iconv_t Descriptor(const char* from, const char* to) {
  static Descriptors cache;
  auto& open = cache.open;
  std::string key = std::string(from) + ">" + to;
  auto it = open.find(key);
  if (it == open.end()) it = open.emplace(key, iconv_open(to, from)).first;
  return it->second;
}

std::string Convert(const char* from, const char* to, const char* data, size_t size) {
  if (size == 0) return {};
  iconv_t cd = Descriptor(from, to);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out(size * 4 + 8, '\0');
  char* in = const_cast<char*>(data);
  char* dst = out.data();
  size_t inLeft = size, outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) break;
    // A character without a form in the target: "?" as the Windows conversion gives.
    if (outLeft == 0) break;
    *dst++ = '?';
    --outLeft;
    in += (std::strcmp(from, "UTF-16LE") == 0) ? 2 : 1;
    inLeft -= (std::strcmp(from, "UTF-16LE") == 0) ? 2 : 1;
  }
  out.resize(out.size() - outLeft);
  return out;
}

// Number formatting by hand: printf would cost more than the walk itself.
void Digits(std::string& out, unsigned value, int width) {
  char buf[12];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 || n < width);
  while (n > 0) out += buf[--n];
}

void Hex8(std::string& out, unsigned value) {
  for (int shift = 28; shift >= 0; shift -= 4) out += "0123456789ABCDEF"[(value >> shift) & 15u];
}

void DosTime(std::string& out, unsigned date, unsigned time) {
  Digits(out, 1980u + (date >> 9), 4);
  out += '-';
  Digits(out, (date >> 5) & 15u, 2);
  out += '-';
  Digits(out, date & 31u, 2);
  out += ' ';
  Digits(out, time >> 11, 2);
  out += ':';
  Digits(out, (time >> 5) & 63u, 2);
  out += ':';
  Digits(out, (time & 31u) * 2, 2);
}

}  // namespace

int main(int argc, char** argv) {
  std::string codepage = "CP437";
  bool countOnly = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--codepage") == 0 && i + 1 < argc) {
      codepage = std::string("CP") + argv[++i];
    } else if (std::strcmp(argv[i], "--count") == 0) {
      countOnly = true;
    } else {
      path = argv[i];
    }
  }
  if (!path) {
    std::fprintf(stderr, "usage: oculo_list [--codepage 437|866] [--count] IMAGE\n");
    return 1;
  }
  oculo::PosixFileSource source(path);
  if (!source.IsOpen()) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return 1;
  }
  // Character tables filled on first use from iconv, so each character is converted once.
  std::vector<int> oemOf(65536, -2);  // -2 not known yet, -1 no OEM form
  auto toOem = [&](std::u16string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char16_t c : name) {
      int& slot = oemOf[c];
      if (slot == -2) {
        std::string one = Convert("UTF-16LE", codepage.c_str(), reinterpret_cast<const char*>(&c), 2);
        slot = one.size() == 1 && one != "?" ? static_cast<unsigned char>(one[0]) : -1;
      }
      out.push_back(slot >= 0 ? static_cast<char>(slot) : '?');
    }
    return out;
  };
  std::vector<std::string> utf8Of(256);
  for (int b = 0; b < 256; ++b) {
    char byte = static_cast<char>(b);
    utf8Of[static_cast<size_t>(b)] = b == 0 ? std::string() : Convert(codepage.c_str(), "UTF-8", &byte, 1);
  }
  auto toUtf8 = [&](const std::string& oem) {
    std::string text;
    text.reserve(oem.size());
    for (char c : oem) {
      if (static_cast<unsigned char>(c) < 0x80) {
        text += c;
      } else {
        text += utf8Of[static_cast<unsigned char>(c)];
      }
    }
    return text;
  };
  oculo::ImageReader reader(source, toOem);
  if (!reader.Detect()) {
    std::fprintf(stderr, "%s: not a disk image\n", path);
    return 2;
  }
  unsigned long count = 0;
  oculo::ImageItem item;
  std::string out;
  while (reader.Next(item)) {
    ++count;
    if (countOnly) continue;
    out += toUtf8(item.name);
    if (item.nameOnly) {
      out += "\t00000000\t0\t0\t1601-01-01 00:00:00\t";
    } else {
      out += '\t';
      Hex8(out, item.attributes);
      out += '\t';
      Digits(out, item.size, 1);
      out += '\t';
      Digits(out, item.size, 1);
      out += '\t';
      DosTime(out, item.writeDate, item.writeTime);
      out += '\t';
    }
    out += toUtf8(item.shortName);
    out += "\t\n";
    if (out.size() > (1u << 16)) {  // written in chunks: one buffer reused, not one huge string
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::printf("items: %lu\n", count);
  std::fprintf(stderr, "directory clusters read: %llu\n", static_cast<unsigned long long>(reader.ClustersRead()));
  return 0;
}
