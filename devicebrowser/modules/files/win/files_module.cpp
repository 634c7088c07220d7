#include "devicebrowser/modules/files/win/files_module.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/rapi_api.h"
#include "devicebrowser/common/transfer/win/transfer_dialog.h"
#include "devicebrowser/common/transfer/win/transfer_win.h"
#include "devicebrowser/modules/files/core/listing.h"
#include "devicebrowser/modules/files/core/remove.h"
#include "devicebrowser/modules/files/core/texts.h"
#include "devicebrowser/modules/files/win/action_support.h"
#include "devicebrowser/modules/files/win/actions.h"
#include "devicebrowser/modules/files/win/convert.h"
#include "devicebrowser/modules/files/win/dialogs.h"

namespace handrel::files {

using transfer::RunTransferDialog;
using transfer::TransferKind;

namespace {

// The listing's search over the remote access layer. The find record is filled by the device;
// its name field is checked by the listing before use.
class DeviceSearch : public FolderSearch {
 public:
  explicit DeviceSearch(MModuleBase& module) : module_(module) {}
  ~DeviceSearch() override { Close(); }
  bool First(const std::u16string& pattern) override {
    Close();
    std::memset(&found_, 0, sizeof found_);
    find_ = CeFindFirstFile(reinterpret_cast<const wchar_t*>(pattern.c_str()), &found_);
    transport_ = find_ == INVALID_HANDLE_VALUE && CeRapiGetError() != S_OK;
    return find_ != INVALID_HANDLE_VALUE;
  }
  bool Next() override {
    std::memset(&found_, 0, sizeof found_);
    return find_ != INVALID_HANDLE_VALUE && CeFindNextFile(find_, &found_);
  }
  void Close() override {
    if (find_ != INVALID_HANDLE_VALUE) CeFindClose(find_);
    find_ = INVALID_HANDLE_VALUE;
  }
  const char16_t* NameField() override { return reinterpret_cast<const char16_t*>(found_.cFileName); }
  uint32_t Attributes() override { return found_.dwFileAttributes; }
  bool TransportFailed() override { return transport_; }
  bool Reconnect() override { return module_.reconnect() != 0; }
  const CE_FIND_DATA& Found() const { return found_; }

 private:
  MModuleBase& module_;
  HANDLE find_ = INVALID_HANDLE_VALUE;
  CE_FIND_DATA found_{};
  bool transport_ = false;
};

class ConsoleListingUi : public ListingUi {
 public:
  explicit ConsoleListingUi(const char* title) : title_(title), start_(GetTickCount()) {}
  uint32_t ElapsedMs() override { return GetTickCount() - start_; }
  void OpenStatus() override { pop_ = std::make_unique<CPop>(title_, "Listing files..."); }
  bool Escape() override { return CheckEscape() != 0; }
  void ShowIncomplete() override {
    pop_.reset();
    ShowMessage(title_, "Not all files was displayed!", "OK");
  }

 private:
  const char* title_;
  DWORD start_;
  std::unique_ptr<CPop> pop_;
};

// The device's delete functions; the device-side library takes the files the device refuses.
class DeviceDelete : public DeleteSeam {
 public:
  explicit DeviceDelete(MModuleBase& module) : module_(module), search_(module) {}
  bool First(const std::u16string& pattern) override { return search_.First(pattern); }
  bool Next() override { return search_.Next(); }
  void Close() override { search_.Close(); }
  const char16_t* NameField() override { return search_.NameField(); }
  uint32_t Attributes() override { return search_.Attributes(); }
  bool TransportFailed() override { return search_.TransportFailed(); }
  bool Reconnect() override { return search_.Reconnect(); }
  uint32_t LastError() override { return error_; }
  bool SetAttributes(const std::u16string& path, uint32_t attributes) override {
    return Done(CeSetFileAttributes(Wide(path), attributes));
  }
  bool DeleteThroughLibrary(const std::u16string& path) override {
    DWORD answer = 0xFFFFFFFF;
    HRESULT status = module_.invokeDeviceInto(L"DeleteFile;", path.c_str(),
                                              static_cast<DWORD>(2 * path.size() + 2), &answer, sizeof answer);
    if (status == S_OK && answer == 0) return true;
    error_ = status != S_OK ? kErrorAccessDenied : answer;
    return false;
  }
  bool DeleteFile(const std::u16string& path) override { return Done(CeDeleteFile(Wide(path))); }
  bool RemoveFolder(const std::u16string& path) override { return Done(CeRemoveDirectory(Wide(path))); }

 private:
  static const wchar_t* Wide(const std::u16string& path) { return reinterpret_cast<const wchar_t*>(path.c_str()); }
  bool Done(BOOL ok) {
    if (!ok) error_ = CeGetLastError();
    return ok != 0;
  }
  MModuleBase& module_;
  DeviceSearch search_;
  uint32_t error_ = 0;
};

}  // namespace

// The delete's status window: titled "Delete", showing each path, with Esc.
class ConsoleDeleteUi : public DeleteUi {
 public:
  ConsoleDeleteUi() : pop_("Delete", "Deleting the file or folder") {}
  void Status(const std::u16string& path) override { pop_.SetText(ToOem(W(path)).c_str()); }
  bool Escape() override { return CheckEscape() != 0; }

 private:
  CPop pop_;
};

std::wstring MFilesModule::deviceFolder() const { return L"\\" + std::wstring(currentFolder); }

void MFilesModule::tidyLeftovers() {
  if (leftovers_.empty()) return;
  transfer::DeviceFileSide device;
  std::vector<transfer::Cleanup> left;
  for (transfer::Cleanup& cleanup : leftovers_) {
    if (!transfer::Tidy(device, cleanup)) left.push_back(std::move(cleanup));
  }
  leftovers_.swap(left);
}

int MFilesModule::GetFindData(PluginPanelItemA** items, int* count, int opMode) {
  // Before the listing, so that it does not show what goes; after it too, once it has reconnected.
  tidyLeftovers();
  beginPanelItems();
  DeviceSearch search(*this);
  ConsoleListingUi ui(getShortName());
  std::u16string folder(reinterpret_cast<const char16_t*>(currentFolder));
  ListFolder(search, folder, showRomFiles, (opMode & kOpSilent) ? nullptr : &ui, [&](const std::u16string& name) {
    addPanelItem(reinterpret_cast<const wchar_t*>(name.c_str()), &search.Found());
  });
  takePanelItems(items, count);
  tidyLeftovers();
  return 1;
}

void MFilesModule::ReloadModuleSettings() {
  wchar_t value[64] = {};
  showRomFiles = startup.ReadSetting && startup.ReadSetting(owner, L"Files:ShowRomFiles", sizeof value, value) == 0 &&
                 value[0] == L'Y';
}

namespace {

// The host is a console program: its thread's key state may never see the keyboard, so the
// keyboard's own state counts too.
bool KeyHeld(int key) { return ((GetKeyState(key) | GetAsyncKeyState(key)) & 0x8000) != 0; }

uint64_t Time(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The engine deselects what it finished: those items lose their selection flag, so that the host
// deselects exactly them; the rest stay selected.
void ReportFinished(PluginPanelItemA* items, int count, const std::vector<int>& finished) {
  for (int index : finished)
    if (index >= 0 && index < count) items[index].Flags &= ~static_cast<uint32_t>(PPIF_SELECTED);
}

}  // namespace

int MFilesModule::GetFiles(PluginPanelItemA* items, int count, int move, char* destPath, int opMode) {
  if (!items || count <= 0 || !destPath) return 0;
  const bool silent = (opMode & kOpSilent) != 0;
  if (!silent) {
    const bool shift = KeyHeld(VK_SHIFT), alt = KeyHeld(VK_MENU), ctrl = KeyHeld(VK_CONTROL);
    if (shift && !alt && !ctrl) {
      renameCurrent();
      return -1;
    }
    if (alt && !shift && !ctrl) {
      CreateShortcut(*this, items, count, opMode);
      return -1;
    }
  }
  std::string destination = FieldText(destPath, KEL_NM);
  if (!silent) {
    transfer::AddFolderBackslash(destination);
    std::string name = count == 1 ? FieldText(items[0].FileName, KEL_NM) : std::string();
    if (!RunTransferDialog(move ? TransferKind::kMove : TransferKind::kCopy, name, count, destination)) return -1;
    size_t n = destination.size() < static_cast<size_t>(KEL_NM) - 1 ? destination.size() : KEL_NM - 1;
    std::memcpy(destPath, destination.data(), n);
    destPath[n] = '\0';
  }
  transfer::MFilesOperation operation(move ? "Move" : "Copy", true, false, move != 0, static_cast<uint32_t>(opMode));
  if (!operation.SetLocalTarget(destination)) return 0;
  std::vector<transfer::SourceItem> sources;
  for (int i = 0; i < count; ++i) {
    wchar_t path[kFolderChars + 2];
    path[0] = L'\\';
    if (!deviceItemPath(items[i], path + 1, kFolderChars + 1, opMode, nullptr)) return 0;
    transfer::SourceItem source;
    source.path = U16(path);
    source.attributes = items[i].FileAttributes;
    source.size = (static_cast<uint64_t>(items[i].FileSizeHigh) << 32) | items[i].FileSizeLow;
    source.writeTime = Time(items[i].LastWriteTime);
    source.hasInfo = true;
    source.shortName = U16(FromOem(FieldText(items[i].AlternateFileName, sizeof items[i].AlternateFileName)));
    sources.push_back(std::move(source));
  }
  operation.SetReconnect([this] { return reconnect() != 0; });
  if (!operation.BuildList(sources)) return operation.engine().Cancelled() ? -1 : 0;
  int result = operation.Run();
  ReportFinished(items, count, operation.engine().FinishedItems());
  return result;
}

int MFilesModule::PutFiles(PluginPanelItemA* items, int count, int move, int opMode) {
  if (!items || count <= 0) return 0;
  // The host's names of a folder panel are relative to the process's current directory.
  wchar_t current[MAX_PATH + 1] = {};
  DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, current);
  if (length == 0 || length > MAX_PATH) return 0;
  std::wstring folder = WithBackslash(current);
  transfer::MFilesOperation operation(move ? "Move" : "Copy", false, true, move != 0, static_cast<uint32_t>(opMode));
  if (!operation.SetDeviceTarget(U16(currentFolder))) return 0;
  std::vector<transfer::SourceItem> sources;
  for (int i = 0; i < count; ++i) {
    wchar_t path[1024];
    if (!localItemPath(folder.c_str(), items[i], path, 1024, opMode, nullptr)) return 0;
    transfer::SourceItem source;
    source.path = U16(path);
    source.attributes = items[i].FileAttributes;
    source.hasInfo = false;  // the engine reads size and time from the disk
    sources.push_back(std::move(source));
  }
  operation.SetReconnect([this] { return reconnect() != 0; });
  if (!operation.BuildList(sources)) return operation.engine().Cancelled() ? -1 : 0;
  tidyLeftovers();
  int result = operation.Run();
  for (transfer::Cleanup& cleanup : operation.engine().TakeCleanups()) leftovers_.push_back(std::move(cleanup));
  ReportFinished(items, count, operation.engine().FinishedItems());
  return result;
}

void MFilesModule::warn(int opMode, const std::string& text) {
  if (opMode & kOpSilent) return;
  ShowMessage(getShortName(), text.c_str(), nullptr, FMSG_WARNING);
}

void MFilesModule::refreshTwin() {
  MModuleBase* other = actions::OtherFilesPanel(*this);
  if (other && SameFolder(other->currentFolder, currentFolder)) actions::RefreshPanel(PANEL_PASSIVE);
}

// ---- Delete -------------------------------------------------------------------------------

int MFilesModule::deleteItem(const PluginPanelItemA& item, int opMode, ConsoleDeleteUi* ui) {
  wchar_t path[kFolderChars + 2];
  path[0] = L'\\';
  if (!deviceItemPath(item, path + 1, kFolderChars + 1, opMode, nullptr)) return 0;
  DeviceDelete device(*this);
  std::u16string wide = U16(path);
  if (ui) ui->Status(wide);
  if (item.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    // Failures inside a folder end the deletion without a message.
    DeleteReport report = DeleteDeviceFolder(device, wide, ui);
    return report.outcome == DeleteOutcome::kDone ? 1 : 0;
  }
  DeleteReport report;
  if (DeleteDeviceFile(device, wide, report)) return 1;
  char text[64];
  std::snprintf(text, sizeof text, "\nLastError=0x%08x", static_cast<unsigned>(report.error));
  warn(opMode, "Can't delete file\n" + ToOem(path) + text);
  return 0;
}

int MFilesModule::DeleteFiles(PluginPanelItemA* items, int count, int opMode) {
  if (!items || count <= 0) return 0;
  const bool silent = (opMode & kOpSilent) != 0;
  if (!silent) {
    const PluginPanelItemA& first = items[0];
    std::string question = DeleteQuestion((first.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                          FieldText(first.FileName, KEL_NM), count);
    if (ShowMessage("Delete", question.c_str(), "Delete\nCancel") != 0) return 0;
  }
  std::unique_ptr<ConsoleDeleteUi> ui;
  if (!silent) ui = std::make_unique<ConsoleDeleteUi>();
  for (int i = 0; i < count; ++i) {
    if (ui && ui->Escape()) return 0;
    if (actions::IsDots(items[i])) continue;
    if (!deleteItem(items[i], opMode, ui.get())) return 0;
  }
  return 1;
}

// ---- Make folder ----------------------------------------------------------------------------

int MFilesModule::MakeDirectory(char* name, int opMode) {
  if (!name) return 0;
  std::string typed = FieldText(name, KEL_NM);
  if (!(opMode & kOpSilent)) {
    if (!RunMakeFolderDialog(typed)) return -1;
    size_t n = typed.size() < static_cast<size_t>(KEL_NM) - 1 ? typed.size() : KEL_NM - 1;
    std::memcpy(name, typed.data(), n);
    name[n] = '\0';
  }
  if (typed.empty()) return 0;
  std::wstring path = deviceFolder() + FromOem(typed);
  if (path.size() > static_cast<size_t>(kFolderChars) || !makeDeviceDirectory(path.c_str())) {
    warn(opMode, "Can't create folder:\n" + typed);
    return 0;
  }
  refreshTwin();
  return 1;
}

// ---- Rename ---------------------------------------------------------------------------------

int MFilesModule::renameCurrent() {
  PanelInfoA info;
  if (!actions::GetPanel(PANEL_ACTIVE, &info) || info.ItemsNumber <= 0 || !info.PanelItems ||
      info.CurrentItem < 0 || info.CurrentItem >= info.ItemsNumber)
    return 0;
  const PluginPanelItemA item = info.PanelItems[info.CurrentItem];
  std::string oldName = FieldText(item.FileName, KEL_NM);
  if (actions::IsDots(item) || oldName.find('\\') != std::string::npos) return 0;
  std::string newName = oldName;
  if (!RunTransferDialog(TransferKind::kRename, oldName, 1, newName) || newName == oldName || newName.empty()) return 1;
  wchar_t from[kFolderChars + 2];
  from[0] = L'\\';
  if (!deviceItemPath(item, from + 1, kFolderChars + 1, 0, nullptr)) return 1;
  std::wstring to = deviceFolder() + FromOem(newName);
  CPop pop(getTitle(), "Renaming...");
  if (to.size() > static_cast<size_t>(kFolderChars) || !CeMoveFile(from, to.c_str())) {
    warn(0, "Can't rename file\n" + oldName);
    return 1;
  }
  pop.SetText("Updating panels...");
  const HostStartupInfoA& host = ModuleHost();
  host.HostPanelControl(PANEL_ACTIVE, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
  PanelRedrawInfoA redraw{info.CurrentItem, info.TopPanelItem};
  if (actions::GetPanel(PANEL_ACTIVE, &info)) {
    for (int i = 0; i < info.ItemsNumber; ++i)
      if (FieldText(info.PanelItems[i].FileName, KEL_NM) == newName) redraw.CurrentItem = i;
  }
  host.HostPanelControl(PANEL_ACTIVE, FCTL_REDRAWPANEL, &redraw);
  refreshTwin();
  return 1;
}

// ---- F5 between two device file panels ------------------------------------------------------

int MFilesModule::copyToOtherPanel() {
  PanelInfoA info;
  if (!actions::GetPanel(PANEL_ACTIVE, &info)) return 0;
  if (info.ItemsNumber <= 0 || info.SelectedItemsNumber <= 0 || !info.SelectedItems) return 1;
  MModuleBase* other = actions::OtherFilesPanel(*this);
  if (!other) return 0;
  std::vector<PluginPanelItemA> selected;
  for (int i = 0; i < info.SelectedItemsNumber; ++i)
    if (!actions::IsDots(info.SelectedItems[i])) selected.push_back(info.SelectedItems[i]);
  if (selected.empty()) return 1;
  const std::wstring source = WithBackslash(deviceFolder());
  std::wstring target = WithBackslash(L"\\" + std::wstring(other->currentFolder));
  const int count = static_cast<int>(selected.size());
  std::string typed = ToOem(target);
  if (!RunTransferDialog(TransferKind::kCopy, FieldText(selected[0].FileName, KEL_NM), count, typed)) return 1;
  target = WithBackslash(FromOem(typed));
  if (SameFolder(source, target)) {
    warn(0, "Can't copy/move file to same directory!");
    return 1;
  }
  uint64_t total = 0;
  for (const auto& item : selected) total += (static_cast<uint64_t>(item.FileSizeHigh) << 32) | item.FileSizeLow;
  bool ok = true;
  {
    ProgressWindow progress("Copy", count, total);
    for (const auto& item : selected) {
      std::wstring name = itemName(item);
      std::wstring from = source + name, to = target + name;
      if (from.size() > MAX_PATH || to.size() > MAX_PATH) {
        warn(0, "Path exceeds MAX_PATH characters!");
        ok = false;
        break;
      }
      uint64_t size = (static_cast<uint64_t>(item.FileSizeHigh) << 32) | item.FileSizeLow;
      progress.StartFile(ToOem(from).c_str(), ToOem(to).c_str(), size);
      // The device copies files only: a selected folder fails like a file that cannot be copied.
      const bool folder = (item.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      DWORD existing = folder ? 0xFFFFFFFF : CeGetFileAttributes(to.c_str());
      const bool existed = existing != 0xFFFFFFFF;
      if (existed && (existing & ~static_cast<DWORD>(kAttrNormal | kAttrArchive)) != 0)
        CeSetFileAttributes(to.c_str(), kAttrNormal);
      if (folder || !CeCopyFile(from.c_str(), to.c_str(), FALSE)) {
        warn(0, "Can't copy file:\n" + ToOem(name));
        ok = false;
        break;
      }
      if (existed) CeSetFileAttributes(to.c_str(), CeGetFileAttributes(from.c_str()));
      progress.AddBytes(size);
    }
  }
  if (ok) actions::RefreshPanel(PANEL_ACTIVE);
  actions::RefreshPanel(PANEL_PASSIVE);
  return 1;
}

// ---- Keys and settings ------------------------------------------------------------------------

int MFilesModule::processKey(int key, unsigned int controlState) {
  if (MModuleBase::processKey(key, controlState)) return 1;
  constexpr unsigned kCtrl = 1, kAlt = 2, kShift = 4;
  if (key == VK_F5 && controlState == 0) return copyToOtherPanel();
  if (key == VK_F6 && controlState == kShift) {
    renameCurrent();
    return 1;
  }
  if (key == VK_F6 && controlState == kAlt) return CreateShortcut(*this, nullptr, 0, 0);
  if (key == 'A' && controlState == kCtrl) return EditAttributes(*this, 0);
  if (key == VK_RETURN && controlState == 0) return RunCurrentFile(*this, 0);
  if (key == VK_F4 && controlState == 0) return EditShortcut(*this, 0);
  return 0;
}

int MFilesModule::Configure() {
  bool showRom = showRomFiles;
  if (!RunSettingsDialog(getTitle(), showRom)) return 0;
  showRomFiles = showRom;
  if (startup.WriteSetting) startup.WriteSetting(owner, L"Files:ShowRomFiles", showRom ? L"Y" : L"N");
  if (startup.Settings) *static_cast<uint32_t*>(startup.Settings) = 1;  // SettingsChanged
  actions::RefreshPanel(PANEL_ACTIVE);
  return 1;
}

}  // namespace handrel::files

handrel::MModuleBase* CreateModuleObject() { return new handrel::files::MFilesModule; }
