#include "devicebrowser/modules/files/win/files_module.h"

#include <cstring>
#include <memory>
#include <vector>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/rapi_api.h"
#include "devicebrowser/common/transfer/win/transfer_win.h"
#include "devicebrowser/modules/files/core/listing.h"
#include "devicebrowser/modules/files/win/convert.h"
#include "devicebrowser/modules/files/win/dialogs.h"

namespace handrel::files {

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

}  // namespace

std::wstring MFilesModule::deviceFolder() const { return L"\\" + std::wstring(currentFolder); }

int MFilesModule::GetFindData(PluginPanelItemA** items, int* count, int opMode) {
  beginPanelItems();
  DeviceSearch search(*this);
  ConsoleListingUi ui(getShortName());
  std::u16string folder(reinterpret_cast<const char16_t*>(currentFolder));
  ListFolder(search, folder, showRomFiles, (opMode & kOpSilent) ? nullptr : &ui, [&](const std::u16string& name) {
    addPanelItem(reinterpret_cast<const wchar_t*>(name.c_str()), &search.Found());
  });
  takePanelItems(items, count);
  return 1;
}

void MFilesModule::ReloadModuleSettings() {
  wchar_t value[64] = {};
  showRomFiles = startup.ReadSetting && startup.ReadSetting(owner, L"Files:ShowRomFiles", sizeof value, value) == 0 &&
                 value[0] == L'Y';
}

namespace {

bool KeyHeld(int key) { return (GetKeyState(key) & 0x8000) != 0; }

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
  }
  std::string destination = FieldText(destPath, KEL_NM);
  if (!silent) {
    DWORD attributes = GetFileAttributesW(FromOem(destination).c_str());
    if (!destination.empty() && destination.back() != '\\' && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
      destination += '\\';
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
  if (!operation.BuildList(sources)) return operation.engine().Cancelled() ? -1 : 0;
  int result = operation.Run();
  ReportFinished(items, count, operation.engine().FinishedItems());
  return result;
}

int MFilesModule::renameCurrent() { return 0; }
int MFilesModule::MakeDirectory(char*, int) { return -1; }
int MFilesModule::DeleteFiles(PluginPanelItemA*, int, int) { return 0; }
int MFilesModule::processKey(int key, unsigned int controlState) { return MModuleBase::processKey(key, controlState); }
int MFilesModule::Configure() { return 0; }

}  // namespace handrel::files

handrel::MModuleBase* CreateModuleObject() { return new handrel::files::MFilesModule; }
