// coffer.exe: a stand-in for the archive plugin Coffer, enough to drive a format module the way
// the plugin does and print what the user's panel would show.
//
// Usage: coffer.exe MODULE FILE
// Output (UTF-8): lines starting "# " with the module's format name, default commands and
// self-extractor position; then one line per item, fields separated by a tab: name,
// attributes (8 hex digits), size, packed size, last-write time "yyyy-mm-dd hh:mm:ss" UTC,
// alternate name, description text (empty when none); then "items: N".
// Exit code: 0 the module claimed the file, 2 it did not, 1 the module or the file failed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "archiveformats/format_module.h"

namespace {

constexpr DWORD kFirstBytes = 4096;            // what Coffer reads ahead for IsArchive
constexpr unsigned long kMaxItems = 10000000;  // a module that never says "end" still stops

// 8-bit OEM text as UTF-8, with tabs and line breaks turned into spaces so fields stay fields.
std::string OemToUtf8(const char* text) {
  if (!text || !*text) return {};
  int wideLen = MultiByteToWideChar(CP_OEMCP, 0, text, -1, nullptr, 0);
  if (wideLen <= 0) return {};
  std::wstring wide(static_cast<size_t>(wideLen), L'\0');
  MultiByteToWideChar(CP_OEMCP, 0, text, -1, wide.data(), wideLen);
  int len = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (len <= 0) return {};
  std::string out(static_cast<size_t>(len), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, out.data(), len, nullptr, nullptr);
  out.resize(static_cast<size_t>(len) - 1);
  for (char& c : out) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

std::string FormatTime(const FILETIME& ft) {
  SYSTEMTIME st{};
  if (!FileTimeToSystemTime(&ft, &st)) return "0000-00-00 00:00:00";
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond);
  return text;
}

std::string FormatItem(const PluginPanelItemA& item, const ArcItemInfo& info) {
  char numbers[96];
  unsigned long long size = (static_cast<unsigned long long>(item.FileSizeHigh) << 32) | item.FileSizeLow;
  unsigned long long packed = (static_cast<unsigned long long>(item.PackSizeHigh) << 32) | item.PackSize;
  std::snprintf(numbers, sizeof(numbers), "\t%08lX\t%llu\t%llu\t", static_cast<unsigned long>(item.FileAttributes),
                size, packed);
  char name[sizeof(item.FileName) + 1] = {};
  std::memcpy(name, item.FileName, sizeof(item.FileName));  // a module may fill all 260 bytes
  char alternate[sizeof(item.AlternateFileName) + 1] = {};
  std::memcpy(alternate, item.AlternateFileName, sizeof(item.AlternateFileName));
  return OemToUtf8(name) + numbers + FormatTime(item.LastWriteTime) + "\t" + OemToUtf8(alternate) + "\t" +
         OemToUtf8(info.Description) + "\n";
}

void Write(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

template <class Fn>
Fn Entry(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  if (argc != 3) {
    std::fprintf(stderr, "usage: coffer.exe MODULE FILE\n");
    return 1;
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (!module) {
    std::fprintf(stderr, "cannot load %s (error 0x%08lX)\n", argv[1], GetLastError());
    return 1;
  }
  auto isArchive = Entry<IsArchiveFn>(module, "IsArchive");
  auto openArchive = Entry<OpenArchiveFn>(module, "OpenArchive");
  auto getArcItem = Entry<GetArcItemFn>(module, "GetArcItem");
  auto closeArchive = Entry<CloseArchiveFn>(module, "CloseArchive");
  auto getFormatName = Entry<GetFormatNameFn>(module, "GetFormatName");
  auto getDefaultCommands = Entry<GetDefaultCommandsFn>(module, "GetDefaultCommands");
  auto getSfxPos = Entry<GetSFXPosFn>(module, "GetSFXPos");
  if (!isArchive || !openArchive || !getArcItem) {
    std::fprintf(stderr, "%s is not a format module\n", argv[1]);
    return 1;
  }

  unsigned char head[kFirstBytes] = {};
  DWORD headSize = 0;
  HANDLE file = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    ReadFile(file, head, sizeof(head), &headSize, nullptr);
    CloseHandle(file);
  }
  if (!isArchive(argv[2], head, static_cast<int>(headSize))) {
    std::fprintf(stderr, "%s: not claimed by %s\n", argv[2], argv[1]);
    return 2;
  }
  int type = -1;
  if (!openArchive(argv[2], &type)) {
    std::fprintf(stderr, "%s: the module could not open it\n", argv[2]);
    return 1;
  }

  std::string items;
  unsigned long count = 0;
  for (; count < kMaxItems; ++count) {
    PluginPanelItemA item{};
    ArcItemInfo info{};
    if (!getArcItem(&item, &info)) break;
    items += FormatItem(item, info);
  }
  // The self-extractor position belongs to the open archive: asked before closing it.
  std::string header;
  if (getSfxPos) header += "# sfx position: " + std::to_string(static_cast<long>(getSfxPos())) + "\n";
  if (closeArchive) {
    ArcInfo arcInfo{};
    closeArchive(&arcInfo);
  }
  char formatName[kArcFormatNameSize] = {}, defaultExt[kArcDefaultExtSize] = {};
  if (getFormatName && getFormatName(type, formatName, defaultExt)) {
    header += std::string("# format: ") + formatName + " (" + defaultExt + ")\n";
  }
  if (getDefaultCommands) {
    for (int n = 0; n < 32; ++n) {
      char command[kArcCommandSize] = {};
      if (!getDefaultCommands(type, n, command)) break;
      if (command[0]) header += "# command " + std::to_string(n) + ": " + OemToUtf8(command) + "\n";
    }
  }
  Write(header + items + "items: " + std::to_string(count) + "\n");
  FreeLibrary(module);
  return 0;
}
