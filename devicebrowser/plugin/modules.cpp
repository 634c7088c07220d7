// The module objects of a panel: the root listing, and the module libraries with their defaults
// for missing entries. Also the folder scan that finds the libraries.
#include <cstring>

#include "devicebrowser/plugin/handrel.h"

namespace handrel {

namespace {

// The user-data block hung on the root's items: byte size, owner, module instance, reserved, and
// an empty wide name (the module names are plain OEM texts).
#pragma pack(push, 1)
struct RootItemUserData {
  uint32_t Size;
  void* Owner;
  intptr_t Module;
  uint32_t Reserved;
  wchar_t Name[1];
};
#pragma pack(pop)
static_assert(sizeof(RootItemUserData) == 18 || sizeof(void*) != 4, "item user data without a name is 18 bytes");

class RootModule : public ModuleObject {
 public:
  explicit RootModule(DevicePanel& panel) : panel_(panel) {}
  int GetFindData(PluginPanelItemA** items, int* count, int) override {
    size_t n = panel_.Modules.size() > 0 ? panel_.Modules.size() - 1 : 0;
    auto* array = static_cast<PluginPanelItemA*>(calloc(n ? n : 1, sizeof(PluginPanelItemA)));
    if (!array) throw Failure("out of memory");
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (size_t i = 0; i < n; ++i) {
      ModuleObject& m = *panel_.Modules[i + 1];
      PluginPanelItemA& it = array[i];
      std::string name = m.ShortName() + ":";
      strncpy(it.FileName, name.c_str(), sizeof(it.FileName) - 1);
      it.FileAttributes = FILE_ATTRIBUTE_DIRECTORY;
      it.CreationTime = it.LastAccessTime = it.LastWriteTime = now;
      auto* data = static_cast<RootItemUserData*>(calloc(1, sizeof(RootItemUserData)));
      if (data) {
        data->Size = sizeof(RootItemUserData);
        data->Owner = &panel_;
        data->Module = m.Instance();
        it.UserData = reinterpret_cast<intptr_t>(data);
        it.Flags |= PPIF_USERDATA;
      }
    }
    *items = array;
    *count = static_cast<int>(n);
    return 1;
  }
  void FreeFindData(PluginPanelItemA* items, int count) override {
    if (!items) return;
    for (int i = 0; i < count; ++i) {
      free(items[i].Description);
      if (items[i].Flags & PPIF_USERDATA) free(reinterpret_cast<void*>(items[i].UserData));
    }
    free(items);
  }
  int GetFiles(PluginPanelItemA*, int, int, char*, int) override { return 0; }
  int MakeDirectory(char*, int) override { return -1; }
  int PutFiles(PluginPanelItemA*, int, int, int) override { return 0; }
  int DeleteFiles(PluginPanelItemA*, int, int) override { return 0; }
  int ProcessKey(int, unsigned) override { return 0; }
  int ProcessEditorInput(const INPUT_RECORD*) override { return 0; }
  int SetDirectory(const std::wstring& dir, int) override {
    if (dir.size() > kModuleDirectoryChars) return 0;
    dir_ = dir;
    return 1;
  }
  int ExistsDirectory(const std::wstring&, int) override { return 1; }
  std::wstring GetDirectory() override { return dir_; }
  void ReloadSettings() override {}
  int Activate() override {
    SetLanguageName(panel_);
    return 1;
  }
  void Deactivate() override {}
  void Configure() override {}
  std::string ShortName() const override { return std::string(); }
  std::string Title() const override { return "Handrel"; }
  void RefreshDeviceInformation() override { LinkRefreshDeviceInfo(panel_); }
  bool IsLoadedModule() const override { return false; }
  ModuleInstance Instance() const override { return 0; }

 private:
  DevicePanel& panel_;
  std::wstring dir_;
};

struct ModuleEntries {
  ModuleInitFn InitModule = nullptr;
  ModuleGetInfoFn GetModuleInfo = nullptr;
  ModuleCloseFn CloseModule = nullptr;
  ModuleActivateFn Activate = nullptr;
  ModuleDeActivateFn DeActivate = nullptr;
  ModuleGetOpenInfoFn GetOpenModuleInfo = nullptr;
  ModuleGetFindDataFn GetFindData = nullptr;
  ModuleFreeFindDataFn FreeFindData = nullptr;
  ModuleGetFilesFn GetFiles = nullptr;
  ModuleSetDirectoryFn SetDirectory = nullptr;
  ModuleGetDirectoryFn GetDirectory = nullptr;
  ModuleExistsDirectoryFn ExistsDirectory = nullptr;
  ModuleMakeDirectoryFn MakeDirectory = nullptr;
  ModulePutFilesFn PutFiles = nullptr;
  ModuleDeleteFilesFn DeleteFiles = nullptr;
  ModuleProcessKeyFn ProcessKey = nullptr;
  ModuleProcessEditorInputFn ProcessEditorInput = nullptr;
  ModuleConfigureFn Configure = nullptr;
  ModuleReloadSettingsFn ReloadModuleSettings = nullptr;
};

template <class Fn>
void Resolve(HMODULE lib, Fn& fn, const char* name) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
}

std::string Bounded(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

class LibraryModule : public ModuleObject {
 public:
  LibraryModule(DevicePanel& panel, HMODULE lib, const ModuleEntries& e) : panel_(panel), lib_(lib), e_(e) {}
  ~LibraryModule() override {
    if (g_editorReceiver == this) g_editorReceiver = nullptr;
    if (instance_ && e_.CloseModule) e_.CloseModule(instance_);
    FreeLibrary(lib_);
  }
  // InitModule and GetModuleInfo; false after the message when the module refuses.
  bool Start() {
    instance_ = e_.InitModule(&panel_, &panel_.StartupRecord, 0);
    if (!instance_) return false;
    memset(&info_, 0, sizeof(info_));
    info_.Size = kModuleInfoSize;
    info_.Reserved[0] = kModuleInfoReservedSize;
    e_.GetModuleInfo(&info_);
    return true;
  }
  int GetFindData(PluginPanelItemA** items, int* count, int opMode) override {
    void* array = nullptr;
    int n = 0;
    int r = e_.GetFindData(instance_, &array, &n, opMode);
    *items = static_cast<PluginPanelItemA*>(array);
    *count = n;
    return r;
  }
  void FreeFindData(PluginPanelItemA* items, int count) override {
    if (e_.FreeFindData) e_.FreeFindData(instance_, items, count);
  }
  int GetFiles(PluginPanelItemA* items, int count, int move, char* destPath, int opMode) override {
    return e_.GetFiles ? e_.GetFiles(instance_, items, count, move, destPath, opMode) : 0;
  }
  int MakeDirectory(char* name, int opMode) override {
    return e_.MakeDirectory ? e_.MakeDirectory(instance_, name, opMode) : 0;
  }
  int PutFiles(PluginPanelItemA* items, int count, int move, int opMode) override {
    return e_.PutFiles ? e_.PutFiles(instance_, items, count, move, opMode) : 0;
  }
  int DeleteFiles(PluginPanelItemA* items, int count, int opMode) override {
    return e_.DeleteFiles ? e_.DeleteFiles(instance_, items, count, opMode) : 0;
  }
  int ProcessKey(int key, unsigned state) override {
    return e_.ProcessKey ? e_.ProcessKey(instance_, key, state) : 0;
  }
  int ProcessEditorInput(const INPUT_RECORD* record) override {
    if (e_.ProcessEditorInput) e_.ProcessEditorInput(instance_, record);
    return 0;
  }
  int SetDirectory(const std::wstring& dir, int opMode) override {
    dir_ = dir.substr(0, kModuleDirectoryChars);
    return e_.SetDirectory ? e_.SetDirectory(instance_, dir.c_str(), opMode) : 0;
  }
  int ExistsDirectory(const std::wstring& dir, int opMode) override {
    return e_.ExistsDirectory ? e_.ExistsDirectory(instance_, dir.c_str(), opMode) : 1;
  }
  std::wstring GetDirectory() override {
    if (e_.GetDirectory) {
      const wchar_t* d = e_.GetDirectory(instance_);
      if (d) dir_.assign(d, wcsnlen(d, kModuleDirectoryChars));
    }
    return dir_;
  }
  void ReloadSettings() override {
    if (e_.ReloadModuleSettings) e_.ReloadModuleSettings(instance_);
  }
  int Activate() override { return e_.Activate ? e_.Activate(instance_) : 1; }
  void Deactivate() override {
    if (g_editorReceiver == this) g_editorReceiver = nullptr;
    if (e_.DeActivate) e_.DeActivate(instance_);
  }
  void Configure() override {
    if (e_.Configure) e_.Configure(instance_);
  }
  std::string ShortName() const override { return Bounded(info_.ShortName, sizeof(info_.ShortName)); }
  std::string Title() const override { return Bounded(info_.Title, sizeof(info_.Title)); }
  void RefreshDeviceInformation() override { LinkRefreshDeviceInfo(panel_); }
  bool IsLoadedModule() const override { return true; }
  ModuleInstance Instance() const override { return instance_; }

 private:
  DevicePanel& panel_;
  HMODULE lib_;
  ModuleEntries e_;
  ModuleInstance instance_ = 0;
  ModuleInfo info_{};
  std::wstring dir_;
};

void LoadingMessage(const char* text) { Warn("Exception", text); }

}  // namespace

std::unique_ptr<ModuleObject> MakeRootModule(DevicePanel& panel) { return std::make_unique<RootModule>(panel); }

std::unique_ptr<ModuleObject> LoadLibraryModule(DevicePanel& panel, const std::wstring& path) {
  HMODULE lib = LoadLibraryW(path.c_str());
  if (!lib) {
    LoadingMessage("Can't load module");
    return nullptr;
  }
  ModuleEntries e;
  Resolve(lib, e.InitModule, "InitModule");
  Resolve(lib, e.GetModuleInfo, "GetModuleInfo");
  Resolve(lib, e.CloseModule, "CloseModule");
  Resolve(lib, e.Activate, "Activate");
  Resolve(lib, e.DeActivate, "DeActivate");
  Resolve(lib, e.GetOpenModuleInfo, "GetOpenModuleInfo");
  Resolve(lib, e.GetFindData, "GetFindData");
  Resolve(lib, e.FreeFindData, "FreeFindData");
  Resolve(lib, e.GetFiles, "GetFiles");
  Resolve(lib, e.SetDirectory, "SetDirectory");
  Resolve(lib, e.GetDirectory, "GetDirectory");
  Resolve(lib, e.ExistsDirectory, "ExistsDirectory");
  Resolve(lib, e.MakeDirectory, "MakeDirectory");
  Resolve(lib, e.PutFiles, "PutFiles");
  Resolve(lib, e.DeleteFiles, "DeleteFiles");
  Resolve(lib, e.ProcessKey, "ProcessKey");
  Resolve(lib, e.ProcessEditorInput, "ProcessEditorInput");
  Resolve(lib, e.Configure, "Configure");
  Resolve(lib, e.ReloadModuleSettings, "ReloadModuleSettings");
  if (!e.InitModule || !e.GetFindData || !e.GetModuleInfo) {
    FreeLibrary(lib);
    LoadingMessage("Main functions not found!");
    return nullptr;
  }
  auto module = std::make_unique<LibraryModule>(panel, lib, e);
  if (!module->Start()) {
    module.reset();
    LoadingMessage("Can't initialize module");
    return nullptr;
  }
  return module;
}

bool DiscoverModules(DevicePanel& panel) {
  if (panel.Modules.size() > 1) return true;
  std::wstring folder = panel.PluginPath.substr(0, panel.PluginPath.rfind(L'\\') + 1) + L"Modules\\";
  std::wstring mask = folder + L"*.module";
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(mask.c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) {
    if (panel.Modules.size() < 2) Warn("Handrel", "Modules not found:\n" + WideToOem(mask));
    return panel.Modules.size() > 1;
  }
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (lstrcmpiW(fd.cFileName, L"db.module") == 0) continue;
    std::wstring path = folder + fd.cFileName;
    std::unique_ptr<ModuleObject> module = LoadLibraryModule(panel, path);
    if (!module) {
      Warn("Handrel", "Can't load module:\n" + WideToOem(path));
      continue;
    }
    panel.Modules.push_back(std::move(module));
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  return panel.Modules.size() > 1;
}

}  // namespace handrel
