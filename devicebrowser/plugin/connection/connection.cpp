#include "devicebrowser/plugin/connection/connection.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/plugin/connection/core/device_record.h"
#include "devicebrowser/plugin/connection/core/invoke_stamp.h"

namespace handrel {

#define HANDREL_RAPI_ENTRIES(X)                                                                                  \
  X(CeRapiUninit) X(CeRegCloseKey) X(CeRegQueryValueEx) X(CeRegSetValueEx) X(CeRegOpenKeyEx) X(CeRapiInitEx)  \
  X(CeCloseHandle) X(CeWriteFile) X(CeGetLastError) X(CeRapiGetError) X(CeCreateFile) X(CeFindClose)          \
  X(CeFindFirstFile) X(CeCreateDirectory) X(CeGetFileAttributes) X(CeRapiInvoke) X(CeGetFileTime)             \
  X(CeSetFileTime) X(CeCreateProcess)

#define HANDREL_ENTRY_NAME(name) #name,
const char* const kRapiEntryNames[kRapiEntryCount] = {HANDREL_RAPI_ENTRIES(HANDREL_ENTRY_NAME)};
#undef HANDREL_ENTRY_NAME

const wchar_t kInvokeLibraryPath[] = L"\\Windows\\HandrelInvoke.dll";
const wchar_t kInvokeFunction[] = L"FnBlockMode";
const wchar_t kPolicyUpdaterPath[] = L"\\HandrelPolicy.exe";
const wchar_t kPolicyKey[] = L"Security\\Policies\\Policies";
const wchar_t kPolicyValue[] = L"00001001";

namespace {

constexpr char kTitle[] = "Handrel";
constexpr wchar_t kIdentKey[] = L"Ident";
constexpr wchar_t kIdentName[] = L"Name";
constexpr LONG kNotFound = 2;
constexpr DWORD kStartSliceMs = 250;

// The process-wide connection: the number of panels that hold it.
int g_connectionCount = 0;

uint64_t Ticks(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}
FILETIME FileTimeOf(uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// GetProcAddress's result as the entry's own type (through the generic function pointer type,
// which the compiler accepts without a cast warning).
template <typename Fn>
bool Resolve(HMODULE library, const char* name, Fn& entry) {
  FARPROC proc = GetProcAddress(library, name);
  entry = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
  return proc != nullptr;
}

}  // namespace

bool ResolveRapiApi(HMODULE library, RapiApi& api) {
  bool all = library != nullptr;
#define HANDREL_RESOLVE(name) all = all && Resolve(library, #name, api.name);
  HANDREL_RAPI_ENTRIES(HANDREL_RESOLVE)
#undef HANDREL_RESOLVE
  if (!all) api = RapiApi{};
  return all;
}

int ConnectionCount() { return g_connectionCount; }

// The status window of a start: made at the first step, its text replaced by each later step,
// closed when the start ends (or earlier, before a navigation that may show dialogs).
struct DeviceConnection::Status {
  std::unique_ptr<CPop> pop;
  void Show(const char* text) {
    if (pop)
      pop->SetText(text);
    else
      pop = std::make_unique<CPop>(kTitle, text);
  }
  void Close() { pop.reset(); }
};

DeviceConnection::DeviceConnection(ConnectionOwner& owner, HMODULE resourceModule, uint64_t pluginFileTime)
    : owner_(owner), resourceModule_(resourceModule), pluginFileTime_(pluginFileTime) {
  wcscpy(deviceNameW_, L"Unknown");
  strcpy(deviceName_, "Unknown");
}

DeviceConnection::~DeviceConnection() { FreeLibrary(); }

void DeviceConnection::Warn(const char* text) { ShowMessage(owner_.MessageTitle(), text, nullptr, 1); }

void DeviceConnection::CloseStatus() {
  if (status_) status_->Close();
}

int DeviceConnection::StartPanelConnection(bool loadOnly) {
  if (library_ && loadOnly) return 1;
  Status status;
  Status* outer = status_;
  status_ = &status;
  struct Restore {
    DeviceConnection* self;
    Status* outer;
    ~Restore() { self->status_ = outer; }
  } restore{this, outer};

  const int countAtEntry = g_connectionCount;
  if (library_) {  // a reconnection
    status.Show("Starting Activesync...");
    api_.CeRapiUninit();
    return Connect(status, countAtEntry, true);
  }
  status.Show("Loading rapi library...");
  library_ = LoadLibraryW(libraryName_.c_str());
  if (!library_ || !ResolveRapiApi(library_, api_)) {
    FreeLibrary();
    status.Close();
    ShowMessage(kTitle, "Can't load library: rapi.dll\nPlease install ActiveSync or\nWindows Mobile Center.", nullptr,
                1);
    return 0;
  }
  status.Show("Loading modules...");
  if (!owner_.LoadModules()) {
    FreeLibrary();
    return 0;
  }
  if (loadOnly) return 1;
  status.Show("Starting Activesync...");
  if (countAtEntry > 0) return Finish(status, countAtEntry, false);  // another panel holds it
  return Connect(status, countAtEntry, false);
}

int DeviceConnection::Reconnect() {
  if (!library_) return 0;
  return StartPanelConnection(false);
}

void DeviceConnection::DropConnection() {
  holdsConnection_ = false;
  g_connectionCount = 0;
}

int DeviceConnection::Connect(Status& status, int countAtEntry, bool reconnecting) {
  g_connectionCount = 0;
  if (!WaitForStart()) {
    DropConnection();
    return 0;
  }
  return Finish(status, countAtEntry, reconnecting);
}

bool DeviceConnection::WaitForStart() {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!event) return false;
  init_ = RAPIINIT{sizeof(RAPIINIT), event, kRapiInitPending};
  // A start refused at once is never signalled: it fails like one the device refused.
  bool started = SUCCEEDED(api_.CeRapiInitEx(&init_));
  bool connected = false;
  while (started) {
    DWORD wait = WaitForSingleObject(event, kStartSliceMs);
    if (wait == WAIT_OBJECT_0) {
      connected = init_.hrRapiInit >= 0;
      break;
    }
    if (wait != WAIT_TIMEOUT) break;
    if (CheckEscape()) {  // the user gave up waiting: the pending start is cancelled
      api_.CeRapiUninit();
      break;
    }
  }
  CloseHandle(event);
  return connected;
}

// Steps shared by a fresh start, a reconnection and a panel joining a live connection: the invoke
// library, the device information, the start directory, and the count.
int DeviceConnection::Finish(Status& status, int countAtEntry, bool reconnecting) {
  status.Show("Checking invoke module...");
  if (!CheckInvokeLibrary()) {
    api_.CeRapiUninit();
    DropConnection();
    return 0;
  }
  status.Show("Loading information...");
  ReloadDeviceInfo(true);
  int result = owner_.ApplyStartDirectory();
  if (reconnecting)
    g_connectionCount = countAtEntry > 0 ? countAtEntry : 1;
  else
    g_connectionCount = countAtEntry + 1;
  holdsConnection_ = true;
  return result;
}

void DeviceConnection::ReleaseConnection() {
  // A panel that never held the connection (a load-only panel, a failed open) takes nothing from
  // the panels that do: only when none holds it is the connection closed.
  if (holdsConnection_ && g_connectionCount > 0) --g_connectionCount;
  if (g_connectionCount == 0 && library_) api_.CeRapiUninit();
  holdsConnection_ = false;
}

void DeviceConnection::FreeLibrary() {
  if (library_) ::FreeLibrary(library_);
  library_ = nullptr;
  api_ = RapiApi{};
}

bool DeviceConnection::LocateResource(int id, const void*& data, DWORD& size) const {
  data = nullptr;
  size = 0;
  HRSRC resource = FindResourceW(resourceModule_, MAKEINTRESOURCEW(id), L"RCINVOKE");
  if (!resource) return false;
  DWORD bytes = SizeofResource(resourceModule_, resource);
  HGLOBAL loaded = LoadResource(resourceModule_, resource);
  const void* locked = loaded ? LockResource(loaded) : nullptr;
  if (!locked || bytes == 0) return false;
  data = locked;
  size = bytes;
  return true;
}

int DeviceConnection::CheckInvokeLibrary() {
  if (!library_) return 0;
  CheckPolicy();
  if (!invokeImage_ && !LocateResource(kInvokeResource, invokeImage_, invokeImageSize_)) {
    Warn("Can't load invoke dll!");
    return 0;
  }
  connection::DeviceCopy copy;
  CE_FIND_DATA found{};
  HANDLE search = api_.CeFindFirstFile(kInvokeLibraryPath, &found);
  if (search != INVALID_HANDLE_VALUE) {
    api_.CeFindClose(search);
    copy = {true, Ticks(found.ftLastWriteTime), found.nFileSizeLow};
  }
  if (connection::InvokeCopyIsCurrent(copy, pluginFileTime_, invokeImageSize_)) return 1;

  HANDLE file = api_.CeCreateFile(kInvokeLibraryPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD device = api_.CeGetLastError();
    char text[128];
    snprintf(text, sizeof text, "Can't create invoke file!\nRapi=0x%08x, CE=0x%08x",
             static_cast<unsigned>(api_.CeRapiGetError()), static_cast<unsigned>(device));
    Warn(text);
    invokeImage_ = nullptr;
    invokeImageSize_ = 0;
    return 0;
  }
  DWORD written = 0;
  bool ok = api_.CeWriteFile(file, invokeImage_, invokeImageSize_, &written, nullptr) && written == invokeImageSize_;
  // The device may keep times at another precision: its own value is the stamp compared next time.
  if (pluginFileTime_ != 0) {
    FILETIME stamp = FileTimeOf(pluginFileTime_);
    api_.CeSetFileTime(file, nullptr, nullptr, &stamp);
  }
  FILETIME creation{}, access{}, write{};
  if (api_.CeGetFileTime(file, &creation, &access, &write)) pluginFileTime_ = Ticks(write);
  api_.CeCloseHandle(file);
  if (!ok) {
    invokeImage_ = nullptr;
    invokeImageSize_ = 0;
  }
  return ok ? 1 : 0;
}

bool DeviceConnection::CheckPolicy() {
  HKEY key = nullptr;
  LONG opened = api_.CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, kPolicyKey, 0, 0, &key);
  if (opened == kNotFound) return true;  // a device without the policy: nothing to do
  char text[128];
  if (opened != ERROR_SUCCESS) {
    snprintf(text, sizeof text, "Can't open registry key. ErrCode=0x%08X", static_cast<unsigned>(opened));
    Warn(text);
    return false;
  }
  DWORD value = 0xFFFFFFFF, size = sizeof value, type = REG_DWORD;
  LONG read = api_.CeRegQueryValueEx(key, kPolicyValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  api_.CeRegCloseKey(key);
  if (read != ERROR_SUCCESS) {
    snprintf(text, sizeof text, "Can't query policy value. ErrCode=0x%08X", static_cast<unsigned>(read));
    Warn(text);
    return RunPolicyUpdater() != 0;
  }
  if (value != 1) return RunPolicyUpdater() != 0;
  return true;
}

int DeviceConnection::RunPolicyUpdater() {
  char text[160];
  auto warnErrors = [&](const char* what) {
    DWORD device = api_.CeGetLastError();
    snprintf(text, sizeof text, "%s\nRapi=0x%08x, CE=0x%08x", what, static_cast<unsigned>(api_.CeRapiGetError()),
             static_cast<unsigned>(device));
    Warn(text);
  };
  const void* image = nullptr;
  DWORD imageSize = 0;
  if (!LocateResource(kPolicyResource, image, imageSize)) {
    Warn("Can't load policy updater!");
    return 0;
  }
  HANDLE file = api_.CeCreateFile(kPolicyUpdaterPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    warnErrors("Can't create policy updater file!");
    return 0;
  }
  DWORD written = 0;
  if (!api_.CeWriteFile(file, image, imageSize, &written, nullptr) || written != imageSize) {
    DWORD device = api_.CeGetLastError();  // before closing, which sets its own
    HRESULT remote = api_.CeRapiGetError();
    api_.CeCloseHandle(file);
    snprintf(text, sizeof text, "Can't write policy updater file!\nRapi=0x%08x, CE=0x%08x",
             static_cast<unsigned>(remote), static_cast<unsigned>(device));
    Warn(text);
    return 0;
  }
  api_.CeCloseHandle(file);
  PROCESS_INFORMATION process{};
  wchar_t emptyCommandLine[] = L"";
  if (!api_.CeCreateProcess(kPolicyUpdaterPath, emptyCommandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            nullptr, &process)) {
    warnErrors("Can't start policy updater!");
    return 0;
  }
  api_.CeCloseHandle(process.hProcess);
  api_.CeCloseHandle(process.hThread);
  ShowMessage(owner_.MessageTitle(),
              "Policy updater (HandrelPolicy.exe)\nwas started on Your PPC\nPlease, confirm (on PPC) registry "
              "changes\nand close this dialog",
              "OK", 0);
  Sleep(1000);
  HKEY key = nullptr;
  LONG opened = api_.CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, kPolicyKey, 0, 0, &key);
  if (opened != ERROR_SUCCESS) {
    snprintf(text, sizeof text, "Can't open registry key. ErrCode=0x%08X", static_cast<unsigned>(opened));
    Warn(text);
    return 0;
  }
  DWORD value = 0xFFFFFFFF, size = sizeof value, type = REG_DWORD;
  LONG read = api_.CeRegQueryValueEx(key, kPolicyValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  api_.CeRegCloseKey(key);
  if (read != ERROR_SUCCESS || value != 1) {
    Warn("Wrong policy value \"00001001\"");
    return 0;
  }
  return 1;
}

bool DeviceConnection::ReloadDeviceInfo(bool firstTime) {
  wcscpy(deviceNameW_, L"Unknown");
  bool named = false;
  if (library_) {
    HKEY key = nullptr;
    LONG opened = api_.CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, kIdentKey, 0, 0, &key);
    if (opened != ERROR_SUCCESS && !firstTime && Reconnect())
      opened = api_.CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, kIdentKey, 0, 0, &key);
    if (opened == ERROR_SUCCESS) {
      // 522 zeroed bytes read with a limit of 520: the name is always terminated.
      BYTE buffer[522] = {};
      DWORD size = 520, type = 0;
      if (api_.CeRegQueryValueEx(key, kIdentName, nullptr, &type, buffer, &size) == ERROR_SUCCESS) {
        memcpy(deviceNameW_, buffer, sizeof deviceNameW_ - sizeof(wchar_t));
        deviceNameW_[260] = L'\0';
        named = true;
      }
      api_.CeRegCloseKey(key);
    }
  }
  int n = WideCharToMultiByte(CP_OEMCP, 0, deviceNameW_, -1, deviceName_, sizeof deviceName_, nullptr, nullptr);
  if (n <= 0) deviceName_[0] = '\0';
  deviceName_[sizeof deviceName_ - 1] = '\0';
  owner_.ClearInfoLines();
  if (named) owner_.RefreshActiveModuleInfo();
  return named;
}

bool DeviceConnection::Invoke(const std::wstring& command, const std::vector<uint8_t>& binary,
                              std::vector<uint8_t>& answer, HRESULT& result) {
  answer.clear();
  if (!library_) {
    result = E_FAIL;
    return false;
  }
  const size_t textBytes = (command.size() + 1) * sizeof(wchar_t);
  const size_t total = textBytes + binary.size();
  // The remote access interface takes the request over and frees it with LocalFree.
  BYTE* request = static_cast<BYTE*>(LocalAlloc(LPTR, total));
  if (!request) {
    result = E_OUTOFMEMORY;
    return false;
  }
  memcpy(request, command.c_str(), textBytes);
  if (!binary.empty()) memcpy(request + textBytes, binary.data(), binary.size());
  DWORD answerSize = 0;
  BYTE* answerBlock = nullptr;
  result = api_.CeRapiInvoke(kInvokeLibraryPath, kInvokeFunction, static_cast<DWORD>(total), request, &answerSize,
                             &answerBlock, nullptr, 0);
  if (!answerBlock) return false;  // no answer is a failure whatever the result
  answer.assign(answerBlock, answerBlock + answerSize);
  LocalFree(answerBlock);
  return true;
}

bool DeviceConnection::RequestBrowserInfo(std::vector<uint8_t>& answer, HRESULT& result) {
  if (!Invoke(L"GetBrowserInfo", {}, answer, result)) return false;
  connection::DeviceRecord record = connection::ParseDeviceRecord(answer.data(), answer.size());
  if (record.hasScreen) {
    screenMetrics_[0] = static_cast<int32_t>(record.screenWidth);
    screenMetrics_[1] = static_cast<int32_t>(record.screenHeight);
    screenMetrics_[2] = static_cast<int32_t>(record.bitsPerPixel);
  }
  return true;
}

}  // namespace handrel
