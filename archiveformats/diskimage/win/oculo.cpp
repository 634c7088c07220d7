// Oculo.fmt: the Coffer entries over the portable image core. Module-wide state holds the one
// open image; Coffer calls from one thread.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "archiveformats/diskimage/core/image_reader.h"
#include "archiveformats/diskimage/win/win32_file_source.h"
#include "archiveformats/format_module.h"
#include "host/kel_firewall.h"

namespace {

// Long names go UTF-16 -> the system's ANSI code page -> OEM, as the archive plugin shows them.
std::string ToOem(std::u16string_view name) {
  if (name.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(name.data());
  int wideLen = static_cast<int>(name.size());
  int len = WideCharToMultiByte(CP_ACP, 0, wide, wideLen, nullptr, 0, nullptr, nullptr);
  if (len <= 0) return {};
  std::string text(static_cast<size_t>(len), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, wideLen, text.data(), len, nullptr, nullptr);
  CharToOemBuffA(text.c_str(), text.data(), static_cast<DWORD>(text.size()));
  return text;
}

struct OpenImage {
  std::string path;  // the file detection ran on
  std::unique_ptr<oculo::Win32FileSource> file;
  std::unique_ptr<oculo::ImageReader> reader;
};

OpenImage g_image;

// Opens `name` and runs detection; true keeps the image for OpenArchive and the walk.
bool DetectFile(const char* name) {
  g_image = OpenImage{};
  auto file = std::make_unique<oculo::Win32FileSource>(name);
  if (!file->IsOpen()) return false;
  auto reader = std::make_unique<oculo::ImageReader>(*file, ToOem);
  if (!reader->Detect()) return false;
  g_image.file = std::move(file);
  g_image.reader = std::move(reader);
  g_image.path = name;
  return true;
}

// A DOS date and time (local time) as UTC; zero when the date is not a valid DOS date.
FILETIME ToUtc(uint16_t date, uint16_t time) {
  FILETIME local{}, utc{};
  if (!DosDateTimeToFileTime(date, time, &local) || !LocalFileTimeToFileTime(&local, &utc)) return FILETIME{};
  return utc;
}

void CopyText(char* dest, size_t capacity, const std::string& text) {
  size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

void FillItem(const oculo::ImageItem& item, PluginPanelItemA* out) {
  CopyText(out->FileName, sizeof(out->FileName), item.name);
  if (item.nameOnly) return;  // the description item keeps what the caller passed
  out->FileAttributes = item.attributes;
  out->CreationTime = ToUtc(item.createDate, item.createTime);
  out->LastAccessTime = ToUtc(item.accessDate, item.writeTime);
  out->LastWriteTime = ToUtc(item.writeDate, item.writeTime);
  out->FileSizeHigh = 0;
  out->FileSizeLow = item.size;
  CopyText(out->AlternateFileName, sizeof(out->AlternateFileName), item.shortName);
  out->PackSizeHigh = 0;
  out->PackSize = item.size;
}

const char* const kDefaultCommands[15] = {
    "Oculo.exe /ed %%a @%%LM",
    "Oculo.exe /e %%a @%%LM",
    "Oculo.exe /td %%a",
    "Oculo.exe /dd %%a @%%LM",
    "", "", "", "", "", "",
    "Oculo.exe /a %%a @%%LM",
    "Oculo.exe /m %%a @%%LM",
    "Oculo.exe /ad %%a @%%LM",
    "Oculo.exe /md %%a @%%LM",
    "*.*",
};

kel::QuietReport g_quiet;

}  // namespace

extern "C" {

// Yes when the named file is a disk image; the first bytes are not needed, detection reads the
// file itself. Yes keeps the result for OpenArchive.
BOOL WINAPI IsArchive(const char* name, const unsigned char*, int) {
  return kel::Firewall("IsArchive", FALSE, [&] { return name && DetectFile(name) ? TRUE : FALSE; }, g_quiet);
}

BOOL WINAPI OpenArchive(const char* name, int* type) {
  return kel::Firewall("OpenArchive", FALSE, [&]() -> BOOL {
    bool same = g_image.reader && (!name || g_image.path == name);
    if (!same && !(name && DetectFile(name))) return FALSE;
    g_image.reader->Rewind();
    if (type) *type = 0;
    return TRUE;
  }, g_quiet);
}

// 1 with the next item in `item`, 0 at the end.
int WINAPI GetArcItem(PluginPanelItemA* item, ArcItemInfo*) {
  return kel::Firewall("GetArcItem", 0, [&] {
    if (!item || !g_image.reader) return 0;
    oculo::ImageItem next;
    if (!g_image.reader->Next(next)) return 0;
    FillItem(next, item);
    return 1;
  }, g_quiet);
}

BOOL WINAPI CloseArchive(ArcInfo*) {
  return kel::Firewall("CloseArchive", FALSE, [] {
    g_image = OpenImage{};
    return TRUE;
  }, g_quiet);
}

BOOL WINAPI GetFormatName(int type, char* formatName, char* defaultExt) {
  if (type != 0 || !formatName || !defaultExt) return FALSE;
  std::strcpy(formatName, "OculoFile");
  std::strcpy(defaultExt, "IMG");
  return TRUE;
}

BOOL WINAPI GetDefaultCommands(int type, int command, char* dest) {
  if (type != 0 || command < 0 || command > 14 || !dest) return FALSE;
  std::strcpy(dest, kDefaultCommands[command]);
  return TRUE;
}

// Offset of the first listed volume; 0xFFFFFFFF (-1) when no image is open. Offsets beyond
// 4 GiB cannot be told in 32 bits and are given as 0xFFFFFFFE.
DWORD WINAPI GetSFXPos() {
  return kel::Firewall("GetSFXPos", DWORD{0xFFFFFFFF}, [] {
    if (!g_image.reader) return DWORD{0xFFFFFFFF};
    int64_t offset = g_image.reader->FirstVolumeOffset();
    if (offset < 0) return DWORD{0xFFFFFFFF};
    return offset >= 0xFFFFFFFF ? DWORD{0xFFFFFFFE} : static_cast<DWORD>(offset);
  }, g_quiet);
}

}  // extern "C"
