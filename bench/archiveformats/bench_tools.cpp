// Helpers of the archive format benchmark:
//   bench_tools tree DIR FOLDERS FILES      writes FOLDERS folders of FILES empty files each,
//                                           all with long names, for mcopy to put in an image
//   bench_tools listing FILE MB             writes a recursive English "dir /s" listing of about MB
//   bench_tools parse FILE                  parses a listing with Listor's core; prints items, MB/s
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archiveformats/dirlisting/core/listing.h"

namespace fs = std::filesystem;

// Folders go in groups of 50 under top-level folders: mcopy looks a target folder up from the
// root for every file, so a root of 2,000 folders would make the copy quadratic.
static int Tree(const char* dir, int folders, int files) {
  for (int d = 0; d < folders; ++d) {
    fs::path folder = fs::path(dir) / ("Department " + std::to_string(d / 50)) / ("Project folder " + std::to_string(d));
    fs::create_directories(folder);
    for (int f = 0; f < files; ++f) {
      std::ofstream(folder / ("Quarterly report number " + std::to_string(f) + ".document"));
    }
  }
  return 0;
}

static int Listing(const char* file, long megabytes) {
  std::FILE* out = std::fopen(file, "wb");
  if (!out) return 1;
  std::fputs(" Volume in drive C is BENCH\r\n Volume Serial Number is 1234-ABCD\r\n\r\n Directory of C:\\Data\r\n\r\n", out);
  long target = megabytes * 1024 * 1024;
  long written = 0;
  for (int d = 0; written < target; ++d) {
    written += std::fprintf(out, " Directory of C:\\Data\\Folder %d\\Sub folder %d\r\n\r\n", d / 10, d);
    written += std::fprintf(out, "01.02.2009  13:45    <DIR>          .\r\n01.02.2009  13:45    <DIR>          ..\r\n");
    for (int f = 0; f < 40; ++f) {
      written += std::fprintf(out, "%02d.%02d.2009  %02d:%02d %17s Document number %d of folder %d.txt\r\n",
                              f % 28 + 1, f % 12 + 1, f % 24, f % 60, "1 234 567", f, d);
    }
    written += std::fprintf(out, "              40 File(s)     49 382 680 bytes\r\n\r\n");
  }
  std::fputs("     Total Files Listed:\r\n", out);
  std::fclose(out);
  return 0;
}

static int Parse(const char* file) {
  std::string text;
  {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    text.resize(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
  }
  // Best of three passes: the figure is the parser's, not the scheduler's.
  double best = 1e9;
  unsigned long items = 0;
  unsigned long long sizes = 0;
  for (int pass = 0; pass < 3; ++pass) {
    auto start = std::chrono::steady_clock::now();
    listor::ListingParser parser(text);
    listor::ListingItem item;
    items = 0;
    sizes = 0;
    while (parser.Next(item)) {
      ++items;
      sizes += item.size + item.name.size();
    }
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  double seconds = best;
  std::printf("items %lu (check %llu) in %.3f s: %.0f MB/s\n", items, sizes, seconds,
              static_cast<double>(text.size()) / 1048576.0 / seconds);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "tree") == 0) return Tree(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  if (argc == 4 && std::strcmp(argv[1], "listing") == 0) return Listing(argv[2], std::atol(argv[3]));
  if (argc == 3 && std::strcmp(argv[1], "parse") == 0) return Parse(argv[2]);
  std::fprintf(stderr, "usage: bench_tools tree DIR FOLDERS FILES | listing FILE MB | parse FILE\n");
  return 1;
}
