// oculo_list: lists a disk image natively through the same core Oculo.fmt uses, in the line
// format of the coffer stand-in (name, attributes, size, packed size, last-write time, 8.3
// name, description), so one checker compares both with what mtools lists.
// Usage: oculo_list [--codepage 437|866] [--count] IMAGE
// Long names go UTF-16 -> the OEM code page; printed names go OEM -> UTF-8 (glibc iconv).
#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "archiveformats/diskimage/core/image_reader.h"
#include "archiveformats/diskimage/core/posix_file_source.h"

namespace {

std::string Convert(const char* from, const char* to, const char* data, size_t size) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
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
  iconv_close(cd);
  return out;
}

void DosTime(uint16_t date, uint16_t time, char* text, size_t size) {
  std::snprintf(text, size, "%04u-%02u-%02u %02u:%02u:%02u", 1980u + (date >> 9), (date >> 5) & 15u, date & 31u,
                time >> 11, (time >> 5) & 63u, (time & 31u) * 2);
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
  auto toOem = [&](std::u16string_view name) {
    return Convert("UTF-16LE", codepage.c_str(), reinterpret_cast<const char*>(name.data()), name.size() * 2);
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
    char fields[128];
    if (item.nameOnly) {
      std::snprintf(fields, sizeof(fields), "\t00000000\t0\t0\t1601-01-01 00:00:00\t");
    } else {
      char when[32];
      DosTime(item.writeDate, item.writeTime, when, sizeof(when));
      std::snprintf(fields, sizeof(fields), "\t%08X\t%u\t%u\t%s\t", item.attributes, item.size, item.size, when);
    }
    out += Convert(codepage.c_str(), "UTF-8", item.name.data(), item.name.size()) + fields +
           Convert(codepage.c_str(), "UTF-8", item.shortName.data(), item.shortName.size()) + "\t\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::printf("items: %lu\n", count);
  std::fprintf(stderr, "directory clusters read: %llu\n", static_cast<unsigned long long>(reader.ClustersRead()));
  return 0;
}
