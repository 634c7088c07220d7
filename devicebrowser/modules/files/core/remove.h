// Deleting device files and folders: a file's attributes are set to normal first (a read-only file
// can then go); when the device refuses that with access denied, the device-side library deletes
// it; a file already gone is no failure. A folder is emptied entry by entry (subfolders
// recursively, with the listing's reconnect-once) and then removed. Esc is polled before every
// top-level item and after every entry inside a folder.
#pragma once

#include <cstdint>
#include <string>

#include "devicebrowser/modules/files/core/listing.h"

namespace handrel::files {

// The device's file functions for a delete (paths full, from the device root).
class DeleteSeam : public FolderSearch {
 public:
  virtual uint32_t LastError() = 0;  // of the last failed call below
  virtual bool SetAttributes(const std::u16string& path, uint32_t attributes) = 0;
  virtual bool DeleteThroughLibrary(const std::u16string& path) = 0;  // "DeleteFile;" answered 0
  virtual bool DeleteFile(const std::u16string& path) = 0;
  virtual bool RemoveFolder(const std::u16string& path) = 0;
};

class DeleteUi {
 public:
  virtual ~DeleteUi() = default;
  virtual void Status(const std::u16string& path) = 0;  // the path being deleted
  virtual bool Escape() = 0;                            // true: the user confirmed cancelling
};

enum class DeleteOutcome { kDone, kFailed, kCancelled };

struct DeleteReport {
  DeleteOutcome outcome = DeleteOutcome::kDone;
  std::u16string path;  // where it stopped
  uint32_t error = 0;   // the device's error there
};

// Deletes one file. False with report filled when it stays.
bool DeleteDeviceFile(DeleteSeam& device, const std::u16string& path, DeleteReport& report);

// Deletes a folder with everything in it (path without a trailing backslash). ui may be null
// (silent: no status, no Esc).
DeleteReport DeleteDeviceFolder(DeleteSeam& device, const std::u16string& path, DeleteUi* ui);

}  // namespace handrel::files
