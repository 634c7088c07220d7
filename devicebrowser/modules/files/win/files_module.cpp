#include "devicebrowser/modules/files/win/files_module.h"

#include <cstring>
#include <memory>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/rapi_api.h"
#include "devicebrowser/modules/files/core/listing.h"

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

int MFilesModule::GetFiles(PluginPanelItemA*, int, int, char*, int) { return 0; }
int MFilesModule::PutFiles(PluginPanelItemA*, int, int, int) { return 0; }
int MFilesModule::MakeDirectory(char*, int) { return -1; }
int MFilesModule::DeleteFiles(PluginPanelItemA*, int, int) { return 0; }
int MFilesModule::processKey(int key, unsigned int controlState) { return MModuleBase::processKey(key, controlState); }
int MFilesModule::Configure() { return 0; }

}  // namespace handrel::files

handrel::MModuleBase* CreateModuleObject() { return new handrel::files::MFilesModule; }
