// The device file panel's listing: one device folder searched entry by entry, "." and ".." left out,
// in-ROM entries shown only by setting, a search that fails on the transport retried once after
// reconnecting, and a status window with Esc once the listing has taken more than a second.
// The device's find answers are untrusted: an entry whose name has no terminator inside its field
// is skipped, never read past.
#pragma once

#include <cstdint>
#include <string>

#include "devicebrowser/common/transfer/core/transfer.h"

namespace handrel::files {

// Device attribute bits used by name.
constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrHidden = 0x2;
constexpr uint32_t kAttrSystem = 0x4;
constexpr uint32_t kAttrFolder = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrInRom = 0x40;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrStorageCard = 0x100;
constexpr uint32_t kAttrCompressed = 0x800;
constexpr uint32_t kAttrRomModule = 0x2000;
constexpr uint32_t kNoAttributes = 0xFFFFFFFFu;

// Device errors the module tells apart.
constexpr uint32_t kErrorNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidData = 13;  // a damaged device answer

constexpr uint32_t kStatusDelayMs = 1000;  // the listing's and the delete walk's status window
using transfer::kDeviceNameField;  // UTF-16 characters of a find record's name
// The name in a find record's fixed field: false when no terminator lies inside it.
using transfer::NameFromField;

// The search pattern of a folder relative to the device root ("" or ending in a backslash).
std::u16string SearchPattern(const std::u16string& folder);

// One search over device entries. The shell reads the remote access layer; tests script it.
class FolderSearch {
 public:
  virtual ~FolderSearch() = default;
  // Opens a search; the first entry becomes current. False when nothing can be searched.
  virtual bool First(const std::u16string& pattern) = 0;
  virtual bool Next() = 0;  // the next entry; false at the end (or on a failure)
  virtual void Close() = 0;
  // The current entry's name field and attributes.
  virtual const char16_t* NameField() = 0;
  virtual uint32_t Attributes() = 0;
  // The last failure came from the connection, not the device.
  virtual bool TransportFailed() = 0;
  // The plugin's reconnect service: true when the connection is back.
  virtual bool Reconnect() = 0;
};

// The user's side of a listing (never used when silent).
class ListingUi {
 public:
  virtual ~ListingUi() = default;
  virtual uint32_t ElapsedMs() = 0;   // since the listing began
  virtual void OpenStatus() = 0;      // "Listing files..."
  virtual bool Escape() = 0;          // true: the user confirmed cancelling
  virtual void ShowIncomplete() = 0;  // "Not all files was displayed!"
};

struct ListingResult {
  int shown = 0;
  int skippedDamaged = 0;  // names without their terminator
  bool reconnected = false;
  bool cancelled = false;
};

// Lists folder, calling add(name) for every entry to show (the search's current entry is the one
// named). ui is null when silent.
template <class Add>
ListingResult ListFolder(FolderSearch& search, const std::u16string& folder, bool showRom, ListingUi* ui, Add add);

// ---- implementation of the template ---------------------------------------------------------
bool SkipEntry(const std::u16string& name, uint32_t attributes, bool showRom);

template <class Add>
ListingResult ListFolder(FolderSearch& search, const std::u16string& folder, bool showRom, ListingUi* ui, Add add) {
  ListingResult result;
  const std::u16string pattern = SearchPattern(folder);
  bool open = search.First(pattern);
  if (!open && search.TransportFailed() && search.Reconnect()) {
    result.reconnected = true;
    open = search.First(pattern);
  }
  if (!open) return result;
  bool statusOpen = false;
  do {
    std::u16string name;
    if (!NameFromField(search.NameField(), kDeviceNameField, name)) {
      ++result.skippedDamaged;
    } else if (!SkipEntry(name, search.Attributes(), showRom)) {
      add(name);
      ++result.shown;
    }
    if (ui) {
      if (!statusOpen && ui->ElapsedMs() > kStatusDelayMs) {
        ui->OpenStatus();
        statusOpen = true;
      }
      if (statusOpen && ui->Escape()) {
        result.cancelled = true;
        ui->ShowIncomplete();
        break;
      }
    }
  } while (search.Next());
  search.Close();
  return result;
}

}  // namespace handrel::files
