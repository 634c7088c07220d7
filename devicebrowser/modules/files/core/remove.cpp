#include "devicebrowser/modules/files/core/remove.h"

#include <vector>

namespace handrel::files {

namespace {

bool Fail(DeleteSeam& device, const std::u16string& path, DeleteReport& report) {
  report.outcome = DeleteOutcome::kFailed;
  report.path = path;
  report.error = device.LastError();
  return false;
}

struct Child {
  std::u16string name;
  bool folder;
};

// The folder's entries, gathered before anything is deleted, so that a deletion never disturbs
// the search it came from. False when a name was damaged.
bool Gather(DeleteSeam& device, const std::u16string& folder, std::vector<Child>& children, DeleteReport& report) {
  const std::u16string pattern = folder + u"\\*.*";
  bool open = device.First(pattern);
  if (!open && device.TransportFailed() && device.Reconnect()) open = device.First(pattern);
  if (!open) return true;  // nothing to search: the removal tells whether the folder can go
  bool ok = true;
  do {
    std::u16string name;
    if (!NameFromField(device.NameField(), kDeviceNameField, name)) {
      // A name that cannot be read cannot be deleted: the folder stays.
      report.outcome = DeleteOutcome::kFailed;
      report.path = folder;
      report.error = kErrorInvalidData;
      ok = false;
      break;
    }
    if (name != u"." && name != u"..") children.push_back({name, (device.Attributes() & kAttrFolder) != 0});
  } while (device.Next());
  device.Close();
  return ok;
}

bool DeleteTree(DeleteSeam& device, const std::u16string& folder, DeleteUi* ui, DeleteReport& report, int depth) {
  // Deeper than any device path can reach (260 characters): a folder cycle in a damaged answer.
  if (depth > 130) {
    report.outcome = DeleteOutcome::kFailed;
    report.path = folder;
    report.error = kErrorInvalidData;
    return false;
  }
  std::vector<Child> children;
  if (!Gather(device, folder, children, report)) return false;
  for (const Child& child : children) {
    std::u16string path = folder + u"\\" + child.name;
    if (ui) ui->Status(path);
    bool ok = child.folder ? DeleteTree(device, path, ui, report, depth + 1) : DeleteDeviceFile(device, path, report);
    if (!ok) return false;
    if (ui && ui->Escape()) {
      report.outcome = DeleteOutcome::kCancelled;
      report.path = path;
      return false;
    }
  }
  if (!device.RemoveFolder(folder)) return Fail(device, folder, report);
  return true;
}

}  // namespace

bool DeleteDeviceFile(DeleteSeam& device, const std::u16string& path, DeleteReport& report) {
  if (!device.SetAttributes(path, kAttrNormal) && device.LastError() == kErrorAccessDenied) {
    if (!device.DeleteThroughLibrary(path)) return Fail(device, path, report);
  }
  if (!device.DeleteFile(path) && device.LastError() != kErrorNotFound) return Fail(device, path, report);
  return true;
}

DeleteReport DeleteDeviceFolder(DeleteSeam& device, const std::u16string& path, DeleteUi* ui) {
  DeleteReport report;
  DeleteTree(device, path, ui, report, 0);
  return report;
}

}  // namespace handrel::files
