// Listor.fmt: the Coffer entries over the portable listing parser. The listing stays mapped
// from OpenArchive to CloseArchive; Coffer calls from one thread.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "archiveformats/dirlisting/core/listing.h"
#include "archiveformats/format_module.h"
#include "host/kel_firewall.h"

namespace {

// A whole file mapped read-only.
class MappedFile {
 public:
  explicit MappedFile(const char* path) {
    file_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                        nullptr);
    if (file_ == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFFF) return;
    mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping_) return;
    view_ = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0);
    if (view_) size_ = static_cast<size_t>(size.QuadPart);
  }
  ~MappedFile() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool IsMapped() const { return view_ != nullptr; }
  std::string_view Text() const { return {static_cast<const char*>(view_), size_}; }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE mapping_ = nullptr;
  void* view_ = nullptr;
  size_t size_ = 0;
};

struct OpenListing {
  std::unique_ptr<MappedFile> file;
  std::unique_ptr<listor::ListingParser> parser;
  listor::TimeCache<FILETIME> times;
  std::string volumeText;  // what the item information's description points at
};

OpenListing g_listing;
kel::QuietReport g_quiet;

// The line's date and time taken as local time, as UTC; zero when they make no valid date.
FILETIME ToUtc(const listor::ListingItem& item) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(item.year);
  st.wMonth = static_cast<WORD>(item.month);
  st.wDay = static_cast<WORD>(item.day);
  st.wHour = static_cast<WORD>(item.hour);
  st.wMinute = static_cast<WORD>(item.minute);
  FILETIME local{}, utc{};
  if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc)) return FILETIME{};
  return utc;
}

}  // namespace

extern "C" {

// Yes when the first bytes begin a saved listing (an English or a Russian volume line).
BOOL WINAPI IsArchive(const char*, const unsigned char* data, int dataSize) {
  if (!data || dataSize <= 0) return FALSE;
  return listor::IsListing(data, static_cast<size_t>(dataSize)) ? TRUE : FALSE;
}

BOOL WINAPI OpenArchive(const char* name, int* type) {
  return kel::Firewall("OpenArchive", FALSE, [&]() -> BOOL {
    g_listing = OpenListing{};
    if (!name) return FALSE;
    auto file = std::make_unique<MappedFile>(name);
    if (!file->IsMapped()) return FALSE;
    g_listing.parser = std::make_unique<listor::ListingParser>(file->Text());
    g_listing.file = std::move(file);
    if (type) *type = 0;
    return TRUE;
  }, g_quiet);
}

// 1 with the next item in `item` and the volume text in `info`, 0 at the end of the file.
int WINAPI GetArcItem(PluginPanelItemA* item, ArcItemInfo* info) {
  return kel::Firewall("GetArcItem", 0, [&] {
    if (!item || !g_listing.parser) return 0;
    listor::ListingItem next;
    if (!g_listing.parser->Next(next)) return 0;
    std::memset(item, 0, sizeof(*item));
    item->FileAttributes = next.folder ? FILE_ATTRIBUTE_DIRECTORY : 0;
    item->LastWriteTime = g_listing.times.Get(next, ToUtc);
    item->FileSizeHigh = static_cast<uint32_t>(next.size >> 32);
    item->FileSizeLow = static_cast<uint32_t>(next.size);
    std::memcpy(item->FileName, next.name.data(), next.name.size());  // at most 259 bytes, zero after
    g_listing.volumeText = g_listing.parser->VolumeText();
    if (info) info->Description = g_listing.volumeText.data();
    return 1;
  }, g_quiet);
}

BOOL WINAPI CloseArchive(ArcInfo*) {
  return kel::Firewall("CloseArchive", FALSE, [] {
    g_listing = OpenListing{};
    return TRUE;
  }, g_quiet);
}

BOOL WINAPI GetFormatName(int type, char* formatName, char* defaultExt) {
  if (type != 0 || !formatName || !defaultExt) return FALSE;
  std::strcpy(formatName, "DIR");
  std::strcpy(defaultExt, "dir");
  return TRUE;
}

}  // extern "C"
