// MModuleBase: the defaults of every operation and the helpers the module libraries share.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "devicebrowser/common/code_pages.h"
#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/framework/core/names.h"
#include "devicebrowser/common/framework/framework.h"
#include "devicebrowser/common/rapi_api.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "device names are UTF-16");

namespace handrel {

namespace {

HostStartupInfoA g_host = {};
uint32_t g_hostVersion = 0;

std::u16string U16(const wchar_t* s) {
  return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}
std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

// True when [p, p + size) lies in committed memory that can be read (and written, when asked).
bool UsableRange(const void* p, size_t size, bool write) {
  const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  const char* at = static_cast<const char*>(p);
  const char* end = at + size;
  while (at < end) {
    MEMORY_BASIC_INFORMATION m;
    if (!VirtualQuery(at, &m, sizeof m) || m.State != MEM_COMMIT || !m.Protect) return false;
    if ((m.Protect & (PAGE_NOACCESS | PAGE_GUARD)) || (write && !(m.Protect & writable))) return false;
    at = static_cast<const char*>(m.BaseAddress) + m.RegionSize;
  }
  return true;
}

class DeviceDirectories : public fw::DirectorySeam {
 public:
  uint32_t Attributes(const std::u16string& p) override { return CeGetFileAttributes(W(p).c_str()); }
  bool Create(const std::u16string& p) override { return CeCreateDirectory(W(p).c_str(), nullptr) != 0; }
};

class LocalDirectories : public fw::DirectorySeam {
 public:
  uint32_t Attributes(const std::u16string& p) override { return GetFileAttributesW(W(p).c_str()); }
  bool Create(const std::u16string& p) override { return CreateDirectoryW(W(p).c_str(), nullptr) != 0; }
};

}  // namespace

const HostStartupInfoA& ModuleHost() { return g_host; }
uint32_t ModuleHostVersion() { return g_hostVersion; }

bool WideNameToOem(const wchar_t* name, char* buffer, int size) {
  if (size < 0 || size > 1000) {
    char text[64];
    std::snprintf(text, sizeof text, "WideNameToOem: invalid size %d", size);
    ShowMessage("Exception", text, nullptr, FMSG_WARNING);
    throw ModuleError(text);
  }
  if (!name || !UsableRange(name, sizeof(wchar_t), false)) {
    ShowMessage("Exception", "WideNameToOem: invalid source string", nullptr, FMSG_WARNING);
    throw ModuleError("WideNameToOem: invalid source string");
  }
  if (size == 0 || !buffer) return false;
  size_t length = wcsnlen(name, 1000);
  size_t take = length;
  if (take > static_cast<size_t>(size - 1)) take = static_cast<size_t>(size - 1);
  if (take > static_cast<size_t>(KEL_NM)) take = KEL_NM;
  int n = take ? WideCharToMultiByte(CP_OEMCP, 0, name, static_cast<int>(take), buffer, size - 1, nullptr, nullptr)
               : 0;
  if (n < 0) n = 0;
  buffer[n] = '\0';
  if (take != length) return false;
  wchar_t back[1001];
  int m = n ? MultiByteToWideChar(CP_OEMCP, 0, buffer, n, back, 1000) : 0;
  return static_cast<size_t>(m) == length && std::wmemcmp(back, name, length) == 0;
}

struct MModuleBase::AltNamesState {
  fw::AltNames names;
};

MModuleBase::MModuleBase() : altNames_(new AltNamesState) {}

MModuleBase::~MModuleBase() {
  if (items_) FreeFindData(items_, count_);
  delete altNames_;
}

bool MModuleBase::Construct(ModuleOwner ownerHandle, const ModuleStartupRecord* record, const wchar_t* path) {
  owner = ownerHandle;
  osVersion.dwOSVersionInfoSize = sizeof osVersion;
  GetVersionExW(&osVersion);
  if (path) {
    modulePath = path;
  } else {
    HMODULE self = nullptr;
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&g_host), &self) ||
        !GetModuleFileNameW(self, buffer, MAX_PATH)) {
      ShowMessage("Exception", "GetModuleFileName fails", nullptr, FMSG_WARNING);
      return false;
    }
    modulePath = buffer;
  }
  std::u16string ini;
  if (!fw::DebugSettingsPath(U16(modulePath), ini)) {
    ShowMessage("Exception", "Invalid module file name", nullptr, FMSG_WARNING);
    return false;
  }
  debugSettingsPath = W(ini);
  if (record) {
    uint32_t size = record->Size < kModuleStartupRecordSize ? record->Size : kModuleStartupRecordSize;
    std::memcpy(&startup, record, size);
    if (startup.HostStartup && g_host.StructSize == 0) {
      uint32_t hostSize = startup.HostStartupSize < sizeof g_host ? startup.HostStartupSize : sizeof g_host;
      std::memcpy(&g_host, startup.HostStartup, hostSize);
      g_hostVersion = startup.HostVersion;
      ConsoleSetHost(&g_host, g_hostVersion);
    }
  }
  currentFolder[0] = L'\0';
  logFileName[0] = L'\0';
  ReloadModuleSettings();
  return true;
}

void MModuleBase::GetOpenModuleInfo(void*) {}

void MModuleBase::FreeFindData(PluginPanelItemA* items, int count) {
  if (!items) return;
  for (int i = 0; i < count; ++i) {
    std::free(items[i].Description);
    items[i].Description = nullptr;
    if (ItemUserData* data = validUserData(items[i])) {
      std::free(data);
      items[i].UserData = 0;
    }
  }
  std::free(items);
  if (items == items_) {
    items_ = nullptr;
    count_ = capacity_ = 0;
  }
}

int MModuleBase::GetFiles(PluginPanelItemA*, int, int, char*, int) { return 0; }
int MModuleBase::MakeDirectory(char*, int) { return -1; }
int MModuleBase::PutFiles(PluginPanelItemA*, int, int, int) { return 0; }
int MModuleBase::DeleteFiles(PluginPanelItemA*, int, int) { return 0; }

int MModuleBase::processKey(int key, unsigned int controlState) {
  if (key == 'R' && controlState == 1) onRereadKey();
  return 0;
}

int MModuleBase::ProcessEditorInput(const void*) { return 0; }

int MModuleBase::SetDirectory(const wchar_t* path, int opMode) {
  size_t length = path ? wcsnlen(path, kFolderChars + 1) : 0;
  if (length > static_cast<size_t>(kFolderChars)) {
    message(opMode, "Can't change directory\r\nPath too large");
    return 0;
  }
  std::wmemcpy(currentFolder, path ? path : L"", length);
  currentFolder[length] = L'\0';
  return 1;
}

int MModuleBase::ExistsDirectory(const wchar_t*, int) { return 1; }
const wchar_t* MModuleBase::GetDirectory() { return currentFolder; }

std::wstring MModuleBase::lastPathKey() {
  std::wstring shortName = FromCodePage(CP_ACP, getShortName());
  const wchar_t* device = startup.GetDeviceName ? startup.GetDeviceName(owner) : nullptr;
  return W(fw::LastPathKey(U16(shortName), U16(device)));
}

int MModuleBase::Activate() {
  logFileName[0] = L'\0';
  GetPrivateProfileStringW(L"Debug", L"LogFileName", L"", logFileName, kLogFileChars + 1, debugSettingsPath.c_str());
  std::wstring key = lastPathKey();
  wchar_t folder[kFolderChars + 1];
  std::wmemcpy(folder, currentFolder, kFolderChars + 1);
  bool read = startup.ReadSetting && startup.ReadSetting(owner, key.c_str(), sizeof folder, folder) == 0;
  folder[kFolderChars] = L'\0';
  if (!read) folder[0] = L'\0';
  if (folder[0]) {
    std::wstring probe = folder;
    if (!probe.empty() && probe.back() == L'\\') probe.pop_back();
    if (!ExistsDirectory(probe.c_str(), 0)) folder[0] = L'\0';
  }
  SetDirectory(folder, kOpSilent);
  return 1;
}

void MModuleBase::DeActivate() {
  if (startup.WriteSetting) startup.WriteSetting(owner, lastPathKey().c_str(), currentFolder);
}

int MModuleBase::Configure() {
  ShowMessage(getTitle(), "No configuration, yet.", nullptr, FMSG_WARNING);
  return 0;
}

void MModuleBase::onRereadKey() {}
void MModuleBase::ReloadModuleSettings() {}

int MModuleBase::makeDeviceDirectory(const wchar_t* path) {
  DeviceDirectories device;
  return fw::MakeDirectoryPath(U16(path), device);
}

int MModuleBase::makeLocalDirectory(const wchar_t* path) {
  LocalDirectories local;
  return fw::MakeDirectoryPath(U16(path), local);
}

HRESULT MModuleBase::invokeDevice(const wchar_t* command, const void* payload, DWORD payloadSize, BYTE** answer,
                                  DWORD* answerSize) {
  if (answer) *answer = nullptr;
  if (answerSize) *answerSize = 0;
  std::vector<uint8_t> request = fw::InvokeRequest(U16(command), payload, payloadSize);
  BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, request.size()));
  if (!buffer) return static_cast<HRESULT>(0x8007000E);
  std::memcpy(buffer, request.data(), request.size());
  DWORD outSize = 0;
  BYTE* out = nullptr;
  HRESULT status = CeRapiInvoke(L"\\Windows\\HandrelInvoke.dll", L"FnBlockMode", static_cast<DWORD>(request.size()),
                                buffer, &outSize, &out, nullptr, 0);
  if (status == 0 && !out) status = static_cast<HRESULT>(0x8000FFFF);
  if (answer) {
    *answer = out;
    if (answerSize) *answerSize = out ? outSize : 0;
  } else if (out) {
    LocalFree(out);
  }
  return status;
}

HRESULT MModuleBase::invokeDeviceInto(const wchar_t* command, const void* payload, DWORD payloadSize, void* buffer,
                                      DWORD bufferSize) {
  if (buffer && bufferSize) std::memset(buffer, 0, bufferSize);
  BYTE* answer = nullptr;
  DWORD answerSize = 0;
  HRESULT status = invokeDevice(command, payload, payloadSize, &answer, &answerSize);
  if (answer) {
    if (buffer) std::memcpy(buffer, answer, answerSize < bufferSize ? answerSize : bufferSize);
    LocalFree(answer);
  }
  return status;
}

void MModuleBase::beginPanelItems() {
  if (items_) FreeFindData(items_, count_);
  items_ = nullptr;
  count_ = capacity_ = 0;
  altNames_->names.Clear();
}

void MModuleBase::addPanelItem(const wchar_t* name, const void* deviceFindData) {
  int capacity = fw::CapacityForNext(count_, capacity_);
  if (capacity != capacity_) {
    auto* grown = static_cast<PluginPanelItemA*>(std::calloc(static_cast<size_t>(capacity), sizeof(PluginPanelItemA)));
    if (!grown) {
      const char* text = items_ ? "(PluginPanelItem*)re alloc()=NULL" : "(PluginPanelItem*)alloc()=NULL";
      ShowMessage("Exception", text, nullptr, FMSG_WARNING);
      throw ModuleError(text);
    }
    if (items_) std::memcpy(grown, items_, sizeof(PluginPanelItemA) * static_cast<size_t>(count_));
    std::free(items_);
    items_ = grown;
    capacity_ = capacity;
  }
  PluginPanelItemA& item = items_[count_];
  std::memset(&item, 0, sizeof item);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  item.CreationTime = item.LastAccessTime = item.LastWriteTime = now;
  if (deviceFindData) std::memcpy(&item, deviceFindData, 9 * sizeof(uint32_t));

  char oem[KEL_NM + 1];
  bool exact = WideNameToOem(name, oem, KEL_NM);
  // The replacement is converted once per character it takes.
  static wchar_t lastWide = 0;
  static char lastAnsi = '-';
  wchar_t wideReplace = startup.ReplaceChar && *startup.ReplaceChar ? *startup.ReplaceChar : L'-';
  if (wideReplace != lastWide) {
    char converted[8] = {};
    lastAnsi = WideCharToMultiByte(CP_ACP, 0, &wideReplace, 1, converted, sizeof converted, nullptr, nullptr) == 1
                   ? converted[0]
                   : '-';
    lastWide = wideReplace;
  }
  size_t nameChars = wcsnlen(name, 1000);
  fw::ItemName built =
      fw::BuildItemName(std::u16string(reinterpret_cast<const char16_t*>(name), nameChars), oem, exact, lastAnsi,
                        altNames_->names);
  auto* data = static_cast<ItemUserData*>(std::calloc(1, built.userDataSize + sizeof(wchar_t)));
  if (!data) throw ModuleError("(ItemUserData*)alloc()=NULL");
  data->size = built.userDataSize;
  data->owner = owner;
  data->module = this;
  if (!exact) std::wmemcpy(data->name, name, nameChars);
  std::snprintf(item.FileName, sizeof item.FileName, "%s", built.oemName.c_str());
  std::snprintf(item.AlternateFileName, sizeof item.AlternateFileName, "%s", built.altName.c_str());
  item.Flags |= kItemHasUserData;
  item.UserData = reinterpret_cast<intptr_t>(data);
  ++count_;
}

void MModuleBase::takePanelItems(PluginPanelItemA** items, int* count) {
  *items = items_;
  *count = count_;
  items_ = nullptr;
  count_ = capacity_ = 0;
  altNames_->names.Clear();
}

ItemUserData* MModuleBase::validUserData(const PluginPanelItemA& item) const {
  auto* data = reinterpret_cast<ItemUserData*>(item.UserData);
  if (!data || !UsableRange(data, kItemUserDataMin, true)) return nullptr;
  if (data->size < kItemUserDataMin || data->size > kItemUserDataMax) return nullptr;
  if (data->module != this) return nullptr;
  return data;
}

std::wstring MModuleBase::itemName(const PluginPanelItemA& item) const {
  ItemUserData* data = validUserData(item);
  if (data && data->size > kItemUserDataMin) {
    size_t chars = (data->size - kItemUserDataMin) / 2;
    if (UsableRange(data, data->size, true)) return std::wstring(data->name, wcsnlen(data->name, chars));
  }
  char name[KEL_NM + 1];
  std::memcpy(name, item.FileName, KEL_NM);
  name[KEL_NM] = '\0';
  return FromCodePage(CP_OEMCP, name);
}

void MModuleBase::message(int opMode, const char* text) {
  if (opMode & kOpSilent) return;
  ShowMessage(getTitle(), text, nullptr, FMSG_WARNING);
}

int MModuleBase::reconnect() { return startup.Reconnect ? startup.Reconnect(owner) : 0; }

namespace {

bool Report(MModuleBase& m, fw::PathFault fault, int opMode) {
  if (fault == fw::PathFault::kSlash) m.message(opMode, "Slash in file name not supported");
  if (fault == fw::PathFault::kTooLarge) m.message(opMode, "Path too large");
  return fault == fw::PathFault::kNone;
}

bool CopyOut(const std::u16string& path, wchar_t* out, int bufferChars) {
  if (path.size() + 1 > static_cast<size_t>(bufferChars)) return false;
  std::wmemcpy(out, reinterpret_cast<const wchar_t*>(path.data()), path.size());
  out[path.size()] = L'\0';
  return true;
}

}  // namespace

bool MModuleBase::deviceItemPath(const PluginPanelItemA& item, wchar_t* out, int bufferChars, int opMode,
                                 int* namePos) {
  std::u16string path;
  size_t position = 0;
  fw::PathFault fault = fw::JoinItemPath(U16(currentFolder), U16(itemName(item)),
                                         static_cast<size_t>(bufferChars > 0 ? bufferChars : 0), path, &position);
  if (!Report(*this, fault, opMode) || !CopyOut(path, out, bufferChars)) return false;
  if (namePos) *namePos = static_cast<int>(position);
  return true;
}

bool MModuleBase::localItemPath(const wchar_t* folder, const PluginPanelItemA& item, wchar_t* out, int bufferChars,
                                int opMode, int* namePos) {
  char name[KEL_NM + 1];
  std::memcpy(name, item.FileName, KEL_NM);
  name[KEL_NM] = '\0';
  std::wstring wideName = FromCodePage(CP_OEMCP, name);
  std::wstring path;
  size_t position = 0;
  if (wideName.find(L'\\') != std::wstring::npos) {
    path = wideName;
    size_t slash = path.rfind(L'\\');
    position = slash + 1;
  } else {
    std::wstring base = folder ? folder : L"";
    position = base.size();
    path = base + wideName;
    if (item.AlternateFileName[0]) {
      char alt[15] = {};
      std::memcpy(alt, item.AlternateFileName, 14);
      std::wstring shortPath = base + FromCodePage(CP_OEMCP, alt);
      wchar_t longPath[1024];
      DWORD n = GetLongPathNameW(shortPath.c_str(), longPath, 1024);
      if (n > 0 && n < 1024) {
        path.assign(longPath, n);
        size_t slash = path.rfind(L'\\');
        position = slash == std::wstring::npos ? 0 : slash + 1;
      }
    }
  }
  if (path.size() + 1 >= static_cast<size_t>(bufferChars > 0 ? bufferChars : 0)) {
    message(opMode, "Path too large");
    return false;
  }
  std::wmemcpy(out, path.c_str(), path.size() + 1);
  if (namePos) *namePos = static_cast<int>(position);
  return true;
}

bool MModuleBase::sameModuleAs(MModuleBase* other) {
  if (!other) return false;
  const char* a = getTitle();
  const char* b = other->getTitle();
  return a && b && a[0] && b[0] && std::strcmp(a, b) == 0;
}

}  // namespace handrel
