// rapi.dll of the emulated handheld: every entry of the device remote access interface over a
// folder of the local disk (the device root, KEL_DEVICE_ROOT). Device paths cross into the root
// only through MapDevicePath; what the host file system cannot hold (device attribute bits, the
// device registry) lives in the root's state folder; the script there decides how the connection
// starts and which calls fail. Every entry takes one lock: the interface is used from the
// caller's thread, and only the connection start runs on a thread of its own.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "devicebrowser/common/rapi_api.h"
#include "standins/rapi/core/device_path.h"
#include "standins/rapi/core/device_store.h"
#include "standins/rapi/core/fault_script.h"
#include "standins/rapi/win/device_folder.h"

using namespace rapiemu;

namespace {

constexpr HRESULT kHrNotConnected = static_cast<HRESULT>(0x80070000u | kErrDeviceNotConnected);
constexpr HRESULT kHrConnectionLost = static_cast<HRESULT>(0x80070000u | kErrConnectionAborted);
constexpr HRESULT kHrAlreadyInitialized = static_cast<HRESULT>(0x80041001u);

HRESULT HresultFromDeviceError(DWORD error) {
  return error == 0 ? E_FAIL : static_cast<HRESULT>(0x80070000u | (error & 0xFFFF));
}

uint64_t Ticks(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
FILETIME FileTime(uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}
FILETIME DeviceWriteFileTime(const FILETIME& t) { return FileTime(DeviceWriteTime(Ticks(t))); }

std::u16string Text16(LPCWSTR s) {
  if (s == nullptr) return {};
  return ToU16(std::wstring_view(s));
}

std::string Utf8(LPCWSTR s) { return Utf16ToUtf8(Text16(s)); }

enum class State { Disconnected, Pending, Connected, Lost };

// A device object behind a handle the caller holds.
struct DeviceObject {
  enum class Kind { File, Find, Process, Thread, RegistryKey };
  Kind kind;
  HANDLE host = INVALID_HANDLE_VALUE;  // File, Process, Thread
  std::u16string devicePath;            // File: canonical path; RegistryKey: full key path
  std::vector<CE_FIND_DATA> found;      // Find: the entries still to hand out
  size_t next = 0;
};

struct Emulator {
  std::recursive_mutex mutex;
  State state = State::Disconnected;
  HRESULT rapiError = S_OK;
  DWORD lastError = 0;
  std::wstring root;

  std::wstring scriptPath;
  std::string scriptText;
  bool scriptLoaded = false;
  FaultPlan plan;

  std::string sidecarText;
  bool sidecarLoaded = false;
  AttributeSidecar sidecar;
  std::string registryText;
  bool registryLoaded = false;
  RegistryStore registry;

  std::map<HANDLE, std::unique_ptr<DeviceObject>> objects;

  // The device libraries invoked so far, by folded full host path (see Library).
  struct HeldLibrary {
    HMODULE module;
    FileStamp stamp;  // of the file when it was loaded
  };
  std::map<std::u16string, HeldLibrary> libraries;

  uint64_t generation = 0;  // of the connection start; a stale start thread touches nothing
  HANDLE startThread = nullptr;
  HANDLE startCancel = nullptr;

  // ---- state files
  // Tests, the device library (inside CeRapiInvoke) and device programs (other processes) change
  // these files at any time, so each call reads them afresh; a file is parsed again only when
  // its text changed (the script's counters run on until then).

  static bool Reload(const std::wstring& path, std::string& cached) {
    std::string text;
    if (!path.empty()) ReadWholeFile(path, text);
    if (text == cached) return false;
    cached = std::move(text);
    return true;
  }

  void RefreshScript() {
    if (Reload(scriptPath, scriptText) || !scriptLoaded) plan = FaultPlan(FaultScript::Parse(scriptText));
    scriptLoaded = true;
  }

  AttributeSidecar& Sidecar() {
    if (Reload(StatePath(root, kAttributesFile), sidecarText) || !sidecarLoaded) {
      sidecar = AttributeSidecar::Parse(sidecarText);
    }
    sidecarLoaded = true;
    return sidecar;
  }

  void SaveSidecar() {
    sidecarText = sidecar.Serialize();
    WriteWholeFile(StatePath(root, kAttributesFile), sidecarText);
  }

  RegistryStore& Registry() {
    if (Reload(StatePath(root, kRegistryFile), registryText) || !registryLoaded) {
      registry = RegistryStore::Parse(registryText);
    }
    registryLoaded = true;
    return registry;
  }

  void SaveRegistry() {
    registryText = registry.Serialize();
    WriteWholeFile(StatePath(root, kRegistryFile), registryText);
  }

  void Record(const char* call, const std::string& detail, const std::string& outcome) {
    if (root.empty() || !plan.script().record) return;
    std::string line = call;
    if (!detail.empty()) line += " " + detail;
    AppendLine(StatePath(root, kCallLogFile), line + " -> " + outcome);
  }

  // ---- connection

  // Every handle of the connection dies with it, as on the device.
  void CloseAllObjects() {
    for (auto& [handle, object] : objects) {
      if (object->host != INVALID_HANDLE_VALUE && object->host != nullptr) CloseHandle(object->host);
    }
    objects.clear();
  }

  // Cancels a pending start; the caller must not hold the lock (the start thread takes it).
  void StopStartThread(std::unique_lock<std::recursive_mutex>& lock) {
    ++generation;
    HANDLE thread = startThread, cancel = startCancel;
    startThread = startCancel = nullptr;
    if (cancel != nullptr) SetEvent(cancel);
    lock.unlock();
    if (thread != nullptr) {
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
    if (cancel != nullptr) CloseHandle(cancel);
    lock.lock();
  }

  // ---- device libraries
  // On the device an invoked library runs in the device's own long-lived process; here it runs in
  // the caller's. Loading it for every call would cost that process a thread-local storage index
  // each time (a library's static runtime takes one as it starts and never gives it back), so a
  // library stays loaded until the emulator itself writes, deletes or moves its file or folder,
  // the root changes or rapi.dll is unloaded: the host refuses to change a loaded library's file.

  static std::u16string LibraryKey(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2];
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    std::wstring key = n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : path;
    while (!key.empty() && key.back() == L'\\') key.pop_back();
    return FoldCase(ToU16(key));
  }

  // The loaded library at a host path, loading it when needed (nullptr and the loader's error
  // when it cannot be). A file replaced behind the emulator's back (from outside Wine) is loaded
  // again.
  HMODULE Library(const std::u16string& hostPath) {
    std::wstring path = ToWide(hostPath);
    std::u16string key = LibraryKey(path);
    FileStamp now = StampOf(path);
    auto it = libraries.find(key);
    if (it != libraries.end()) {
      if (it->second.stamp == now) return it->second.module;
      FreeLibrary(it->second.module);
      libraries.erase(it);
    }
    HMODULE module = LoadLibraryW(path.c_str());
    if (module != nullptr) libraries.emplace(key, HeldLibrary{module, now});
    return module;
  }

  // Lets go of every library at `hostPath` or below it; of all of them when it is empty.
  void ReleaseLibraries(const std::wstring& hostPath) {
    std::u16string prefix = hostPath.empty() ? std::u16string() : LibraryKey(hostPath);
    for (auto it = libraries.begin(); it != libraries.end();) {
      const std::u16string& key = it->first;
      bool below = prefix.empty() || key == prefix ||
                   (key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0 &&
                    key[prefix.size()] == u'\\');
      if (!below) {
        ++it;
        continue;
      }
      FreeLibrary(it->second.module);
      it = libraries.erase(it);
    }
  }
  void ReleaseLibraries(const MappedPath& m) { ReleaseLibraries(ToWide(m.hostPath)); }

  // ---- attributes

  // The device's attribute word of a mapped path; nullopt when it does not exist (lastError set).
  std::optional<uint32_t> AttributesOf(const MappedPath& m) {
    if (m.devicePath == u"\\") return kAttrDirectory;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ToWide(m.hostPath).c_str(), GetFileExInfoStandard, &data)) {
      lastError = GetLastError();
      return std::nullopt;
    }
    bool dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool readOnly = !dir && (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    return ComposeAttributes(dir, readOnly, Sidecar().Find(m.devicePath));
  }

  // Keeps the host's read-only bit in step with the device's, so that the host refuses writes too.
  void MirrorReadOnly(const MappedPath& m, uint32_t attributes) {
    std::wstring host = ToWide(m.hostPath);
    DWORD now = GetFileAttributesW(host.c_str());
    if (now == INVALID_FILE_ATTRIBUTES || (now & FILE_ATTRIBUTE_DIRECTORY)) return;
    DWORD want = (attributes & kAttrReadOnly) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    if (((now & FILE_ATTRIBUTE_READONLY) != 0) != ((want & FILE_ATTRIBUTE_READONLY) != 0)) {
      SetFileAttributesW(host.c_str(), want);
    }
  }

  bool Map(LPCWSTR path, MappedPath& m) {
    if (path == nullptr) {
      lastError = kErrInvalidParameter;
      return false;
    }
    m = MapDevicePath(ToU16(root), Text16(path));
    if (!m.ok()) lastError = m.error;
    return m.ok();
  }

  static CE_FIND_DATA FindRecord(const AttributeSidecar& sidecar, const std::u16string& devicePath,
                                 std::u16string_view name, const WIN32_FIND_DATAW& host) {
    CE_FIND_DATA d{};
    bool dir = (host.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool readOnly = !dir && (host.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    d.dwFileAttributes = ComposeAttributes(dir, readOnly, sidecar.Find(devicePath));
    d.ftCreationTime = host.ftCreationTime;
    d.ftLastAccessTime = host.ftLastAccessTime;
    d.ftLastWriteTime = DeviceWriteFileTime(host.ftLastWriteTime);
    d.nFileSizeHigh = dir ? 0 : host.nFileSizeHigh;
    d.nFileSizeLow = dir ? 0 : host.nFileSizeLow;
    d.dwOID = ObjectId(devicePath);
    size_t n = std::min<size_t>(name.size(), MAX_PATH - 1);
    for (size_t i = 0; i < n; ++i) d.cFileName[i] = static_cast<WCHAR>(name[i]);
    return d;
  }

  HANDLE AddObject(std::unique_ptr<DeviceObject> object, HANDLE key) {
    objects[key] = std::move(object);
    return key;
  }

  DeviceObject* Object(HANDLE h, DeviceObject::Kind kind) {
    auto it = objects.find(h);
    if (it == objects.end() || it->second->kind != kind) {
      lastError = kErrInvalidHandle;
      return nullptr;
    }
    return it->second.get();
  }
};

Emulator& Device() {
  static Emulator* emulator = new Emulator;  // never destroyed: a start thread may outlive statics
  return *emulator;
}

std::string Outcome(DWORD lastError) { return lastError == 0 ? "ok" : "error " + std::to_string(lastError); }

// One device call: the connection check, the scripted faults, the call itself and its record.
// `failure` is the entry's failure value; the body sets lastError when it fails.
template <class R, class Body>
R DeviceCall(const char* name, R failure, const std::string& detail, Body&& body) noexcept {
  Emulator& e = Device();
  try {
    std::unique_lock lock(e.mutex);
    e.RefreshScript();
    e.rapiError = S_OK;
    if (e.state != State::Connected) {
      e.rapiError = kHrNotConnected;
      e.lastError = kErrDeviceNotConnected;
      e.Record(name, detail, "not connected");
      return failure;
    }
    FaultOutcome fault = e.plan.OnCall(name);
    if (fault.kind == FaultOutcome::Kind::Lost) {
      e.CloseAllObjects();
      e.state = State::Lost;
      e.rapiError = kHrConnectionLost;
      e.lastError = kErrConnectionAborted;
      e.Record(name, detail, "lost (scripted)");
      return failure;
    }
    if (fault.kind == FaultOutcome::Kind::DeviceError) {
      e.lastError = fault.error;
      e.Record(name, detail, "error " + std::to_string(fault.error) + " (scripted)");
      return failure;
    }
    e.lastError = 0;
    R result = body(e);
    e.Record(name, detail, Outcome(e.lastError));
    return result;
  } catch (...) {
    e.lastError = ERROR_GEN_FAILURE;
    return failure;
  }
}

// Registry entries return their error word instead of keeping it aside, so their scripted and
// transport failures return DeviceCall's lastError.
template <class Body>
LONG RegistryCall(const char* name, const std::string& detail, Body&& body) noexcept {
  LONG r = DeviceCall(name, static_cast<LONG>(-1), detail, body);
  return r == -1 ? static_cast<LONG>(Device().lastError) : r;
}

struct StartJob {
  RAPIINIT* record;
  HANDLE event;  // our duplicate: the caller may close its own
  HANDLE cancel;
  ConnectDecision decision;
  uint64_t generation;
};

DWORD WINAPI StartThread(LPVOID param) {
  std::unique_ptr<StartJob> job(static_cast<StartJob*>(param));
  try {
    DWORD wait = job->decision.never ? INFINITE : job->decision.delayMs;
    if (WaitForSingleObject(job->cancel, wait) != WAIT_TIMEOUT) {
      CloseHandle(job->event);
      return 0;
    }
    Emulator& e = Device();
    {
      std::unique_lock lock(e.mutex);
      if (e.generation == job->generation && e.state == State::Pending) {
        e.state = job->decision.result >= 0 ? State::Connected : State::Disconnected;
        job->record->hrRapiInit = job->decision.result;
        SetEvent(job->event);
        e.Record("connected", "", job->decision.result >= 0 ? "ok" : "failed");
      }
    }
  } catch (...) {
  }
  CloseHandle(job->event);
  return 0;
}

// Collects the entries of a find request: "." and ".." first in a subfolder (when the pattern
// takes them), then the folder's entries in name order; the state folder stays hidden.
bool CollectFindEntries(Emulator& e, const MappedPattern& p, std::vector<CE_FIND_DATA>& out) {
  std::wstring folder = ToWide(p.folder.hostPath);
  bool isRoot = p.folder.devicePath == u"\\";
  const AttributeSidecar& sidecar = e.Sidecar();  // read once for the whole listing
  if (!isRoot) {
    WIN32_FIND_DATAW self{};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(folder.c_str(), GetFileExInfoStandard, &data) ||
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      e.lastError = kErrPathNotFound;
      return false;
    }
    self.dwFileAttributes = data.dwFileAttributes;
    self.ftCreationTime = data.ftCreationTime;
    self.ftLastAccessTime = data.ftLastAccessTime;
    self.ftLastWriteTime = data.ftLastWriteTime;
    for (std::u16string_view dot : {std::u16string_view(u"."), std::u16string_view(u"..")}) {
      if (MatchFindPattern(p.pattern, dot)) out.push_back(Emulator::FindRecord(sidecar, p.folder.devicePath, dot, self));
    }
  }
  std::vector<std::pair<std::u16string, CE_FIND_DATA>> entries;
  if (!HasWildcards(p.pattern)) {
    std::u16string devicePath = (isRoot ? u"" : p.folder.devicePath) + u"\\" + p.pattern;
    WIN32_FIND_DATAW host{};
    WIN32_FILE_ATTRIBUTE_DATA data;
    std::wstring hostPath = folder + L"\\" + ToWide(p.pattern);
    if (GetFileAttributesExW(hostPath.c_str(), GetFileExInfoStandard, &data)) {
      host.dwFileAttributes = data.dwFileAttributes;
      host.ftCreationTime = data.ftCreationTime;
      host.ftLastAccessTime = data.ftLastAccessTime;
      host.ftLastWriteTime = data.ftLastWriteTime;
      host.nFileSizeHigh = data.nFileSizeHigh;
      host.nFileSizeLow = data.nFileSizeLow;
      // The name as stored, not as asked: the device's names keep their case.
      WIN32_FIND_DATAW exact;
      HANDLE f = FindFirstFileW(hostPath.c_str(), &exact);
      std::u16string name = p.pattern;
      if (f != INVALID_HANDLE_VALUE) {
        name = ToU16(exact.cFileName);
        FindClose(f);
      }
      entries.emplace_back(FoldCase(name), Emulator::FindRecord(sidecar, devicePath, name, host));
    } else {
      DWORD error = GetLastError();
      if (error == ERROR_PATH_NOT_FOUND) {
        e.lastError = kErrPathNotFound;
        return false;
      }
    }
  } else {
    WIN32_FIND_DATAW host;
    HANDLE f = FindFirstFileW((folder + L"\\*").c_str(), &host);
    if (f == INVALID_HANDLE_VALUE) {
      e.lastError = kErrPathNotFound;
      return false;
    }
    do {
      std::u16string name = ToU16(host.cFileName);
      if (name == u"." || name == u".." || name.size() >= MAX_PATH) continue;
      if (isRoot && EqualNoCase(name, kStateFolder)) continue;
      if (!MatchFindPattern(p.pattern, name)) continue;
      std::u16string devicePath = (isRoot ? u"" : p.folder.devicePath) + u"\\" + name;
      entries.emplace_back(FoldCase(name), Emulator::FindRecord(sidecar, devicePath, name, host));
    } while (FindNextFileW(f, &host));
    FindClose(f);
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& entry : entries) out.push_back(entry.second);
  if (out.empty()) {
    e.lastError = kErrFileNotFound;
    return false;
  }
  return true;
}

std::u16string RegistryRootName(HKEY key) {
  switch (reinterpret_cast<uintptr_t>(key)) {
    case 0x80000000u: return u"HKEY_CLASSES_ROOT";
    case 0x80000001u: return u"HKEY_CURRENT_USER";
    case 0x80000002u: return u"HKEY_LOCAL_MACHINE";
    case 0x80000003u: return u"HKEY_USERS";
    default: return {};
  }
}

// The full path of an open or predefined key; false (lastError 6) for anything else.
bool KeyPath(Emulator& e, HKEY key, std::u16string& path) {
  path = RegistryRootName(key);
  if (!path.empty()) return true;
  DeviceObject* o = e.Object(reinterpret_cast<HANDLE>(key), DeviceObject::Kind::RegistryKey);
  if (o == nullptr) return false;
  path = o->devicePath;
  return true;
}

}  // namespace

extern "C" {

// ---- connection

HRESULT WINAPI CeRapiInitEx(RAPIINIT* init) {
  Emulator& e = Device();
  try {
    std::unique_lock lock(e.mutex);
    if (init == nullptr || init->cbSize != sizeof(RAPIINIT)) return E_INVALIDARG;
    if (e.state == State::Connected || e.state == State::Pending) return kHrAlreadyInitialized;
    e.StopStartThread(lock);
    e.CloseAllObjects();
    e.state = State::Disconnected;
    std::wstring root = DeviceRootFromEnvironment();
    if (!EqualNoCase(ToU16(root), ToU16(e.root))) e.ReleaseLibraries(std::wstring());
    e.root = std::move(root);
    wchar_t script[1024];
    DWORD n = GetEnvironmentVariableW(L"KEL_RAPI_SCRIPT", script, 1024);
    std::wstring scriptPath = n > 0 && n < 1024 ? std::wstring(script, n)
                              : e.root.empty()   ? std::wstring()
                                                 : StatePath(e.root, kScriptFile);
    if (scriptPath != e.scriptPath) {
      e.scriptPath = scriptPath;
      e.scriptLoaded = false;  // another script: played from its start
    }
    e.RefreshScript();
    // Another root has other state files.
    e.sidecarLoaded = e.registryLoaded = false;
    ConnectDecision decision = e.plan.OnConnectAttempt();
    if (e.root.empty()) decision = ConnectDecision{false, 0, kConnectFailed};  // no device folder: no device
    HANDLE event = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), init->heRapiInit, GetCurrentProcess(), &event, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      return E_INVALIDARG;
    }
    auto job = std::make_unique<StartJob>(StartJob{init, event, nullptr, decision, e.generation});
    e.startCancel = job->cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    e.state = State::Pending;
    e.rapiError = S_OK;
    e.Record("CeRapiInitEx", "", decision.never ? "never answers" : "answers in " + std::to_string(decision.delayMs) +
                                                                      " ms with " + std::to_string(decision.result));
    HANDLE thread = CreateThread(nullptr, 0, StartThread, job.get(), 0, nullptr);
    if (thread == nullptr) {
      CloseHandle(event);
      e.state = State::Disconnected;
      return E_FAIL;
    }
    job.release();
    e.startThread = thread;
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT WINAPI CeRapiUninit() {
  Emulator& e = Device();
  try {
    std::unique_lock lock(e.mutex);
    bool wasUp = e.state != State::Disconnected;
    e.StopStartThread(lock);
    e.CloseAllObjects();
    e.state = State::Disconnected;
    e.Record("CeRapiUninit", "", wasUp ? "ok" : "not initialized");
    return wasUp ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT WINAPI CeRapiGetError() {
  Emulator& e = Device();
  std::lock_guard lock(e.mutex);
  return e.rapiError;
}

DWORD WINAPI CeGetLastError() {
  Emulator& e = Device();
  std::lock_guard lock(e.mutex);
  return e.lastError;
}

HRESULT WINAPI CeRapiFreeBuffer(LPVOID buffer) {
  if (buffer != nullptr) LocalFree(buffer);
  return S_OK;
}

// ---- invoke and processes

HRESULT WINAPI CeRapiInvoke(LPCWSTR dllPath, LPCWSTR functionName, DWORD inputSize, BYTE* input, DWORD* outputSize,
                            BYTE** output, void** stream, DWORD) {
  // The request is taken over at once, whatever happens next: copy it, free the caller's block.
  std::vector<BYTE> request;
  if (input != nullptr) {
    request.assign(input, input + inputSize);
    LocalFree(input);
  }
  if (outputSize != nullptr) *outputSize = 0;
  if (output != nullptr) *output = nullptr;
  std::string detail = Utf8(dllPath) + " " + Utf8(functionName) + " " + std::to_string(inputSize);
  return DeviceCall("CeRapiInvoke", static_cast<HRESULT>(E_FAIL), detail, [&](Emulator& e) -> HRESULT {
    if (stream != nullptr || outputSize == nullptr || output == nullptr || functionName == nullptr) {
      // The stream mode is not emulated: every caller of this system uses the block mode.
      e.lastError = kErrInvalidParameter;
      return E_INVALIDARG;
    }
    MappedPath m;
    if (!e.Map(dllPath, m)) return HresultFromDeviceError(e.lastError);
    std::string entry;
    for (const WCHAR* c = functionName; *c; ++c) {
      if (*c >= 0x80) {
        e.lastError = kErrProcNotFound;
        return HresultFromDeviceError(e.lastError);
      }
      entry += static_cast<char>(*c);
    }
    HMODULE library = e.Library(m.hostPath);
    if (library == nullptr) {
      e.lastError = GetLastError();
      return HresultFromDeviceError(e.lastError);
    }
    auto fn = reinterpret_cast<RapiExtensionFn>(reinterpret_cast<void*>(GetProcAddress(library, entry.c_str())));
    if (fn == nullptr) {
      e.lastError = kErrProcNotFound;
      return HresultFromDeviceError(e.lastError);
    }
    // The device library receives its own local block and frees it; its answer is a local block
    // of the device, copied into one of ours for the caller.
    BYTE* deviceRequest = nullptr;
    if (!request.empty()) {
      deviceRequest = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, request.size()));
      if (deviceRequest == nullptr) {
        e.lastError = ERROR_NOT_ENOUGH_MEMORY;
        return E_OUTOFMEMORY;
      }
      memcpy(deviceRequest, request.data(), request.size());
    }
    DWORD answerSize = 0;
    BYTE* answer = nullptr;
    HRESULT hr = fn(static_cast<DWORD>(request.size()), deviceRequest, &answerSize, &answer, nullptr);
    if (answer != nullptr) {
      // Never read past the block the device allocated, whatever size it claims.
      SIZE_T held = LocalSize(answer);
      DWORD size = static_cast<DWORD>(std::min<SIZE_T>(answerSize, held));
      BYTE* copy = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, size == 0 ? 1 : size));
      if (copy != nullptr) {
        memcpy(copy, answer, size);
        *output = copy;
        *outputSize = size;
      } else {
        hr = E_OUTOFMEMORY;
      }
      LocalFree(answer);
    }
    // A library's Win32 failure carries the device's error code; other results carry none.
    if (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_WIN32) e.lastError = static_cast<DWORD>(HRESULT_CODE(hr));
    return hr;
  });
}

BOOL WINAPI CeCreateProcess(LPCWSTR program, LPCWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                            DWORD flags, LPVOID, LPWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION info) {
  return DeviceCall("CeCreateProcess", FALSE, Utf8(program) + " " + Utf8(commandLine), [&](Emulator& e) -> BOOL {
    MappedPath m;
    if (!e.Map(program, m)) return FALSE;
    std::optional<uint32_t> attributes = e.AttributesOf(m);
    if (!attributes) return FALSE;
    if (*attributes & kAttrDirectory) {
      e.lastError = kErrAccessDenied;
      return FALSE;
    }
    // A device program's command line holds its arguments only; the host's starts with the program.
    std::wstring host = ToWide(m.hostPath);
    std::wstring line = L"\"" + host + L"\"";
    if (commandLine != nullptr && *commandLine != 0) line += L" " + std::wstring(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(host.c_str(), line.data(), nullptr, nullptr, FALSE, flags & CREATE_SUSPENDED, nullptr,
                        e.root.c_str(), &startup, &pi)) {
      e.lastError = GetLastError();
      return FALSE;
    }
    for (HANDLE h : {pi.hProcess, pi.hThread}) {
      auto o = std::make_unique<DeviceObject>();
      o->kind = h == pi.hProcess ? DeviceObject::Kind::Process : DeviceObject::Kind::Thread;
      o->host = h;
      e.AddObject(std::move(o), h);
    }
    if (info != nullptr) {
      *info = pi;
    }
    return TRUE;
  });
}

// ---- files

HANDLE WINAPI CeCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD creation,
                           DWORD flagsAndAttributes, HANDLE) {
  char args[64];
  wsprintfA(args, " 0x%08x %u", static_cast<unsigned>(access), static_cast<unsigned>(creation));
  return DeviceCall("CeCreateFile", INVALID_HANDLE_VALUE, Utf8(path) + args, [&](Emulator& e) -> HANDLE {
    MappedPath m;
    if (!e.Map(path, m)) return INVALID_HANDLE_VALUE;
    if (creation < CREATE_NEW || creation > TRUNCATE_EXISTING) {
      e.lastError = kErrInvalidParameter;
      return INVALID_HANDLE_VALUE;
    }
    bool writes = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    std::optional<uint32_t> before = e.AttributesOf(m);
    e.lastError = 0;
    if (before) {
      if (*before & kAttrDirectory) {
        e.lastError = kErrAccessDenied;
        return INVALID_HANDLE_VALUE;
      }
      if ((writes || creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING) &&
          (*before & (kAttrReadOnly | kAttrInRom))) {
        e.lastError = kErrAccessDenied;
        return INVALID_HANDLE_VALUE;
      }
    }
    if (writes || creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING) e.ReleaseLibraries(m);
    HANDLE h = CreateFileW(ToWide(m.hostPath).c_str(), access & (GENERIC_READ | GENERIC_WRITE), share, nullptr,
                           creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      e.lastError = GetLastError();
      return INVALID_HANDLE_VALUE;
    }
    bool fresh = !before || creation == CREATE_ALWAYS;
    if (fresh) {
      // A new file carries the archive bit and the read-only, hidden and system bits asked for.
      AttributeSidecar& s = e.Sidecar();
      uint32_t wanted = flagsAndAttributes & (kAttrReadOnly | kAttrHidden | kAttrSystem);
      bool had = s.Find(m.devicePath).has_value();
      if (wanted != 0) {
        s.Set(m.devicePath, wanted | kAttrArchive);
        e.SaveSidecar();
        e.MirrorReadOnly(m, wanted);
      } else if (had) {
        s.Remove(m.devicePath);
        e.SaveSidecar();
      }
    }
    auto o = std::make_unique<DeviceObject>();
    o->kind = DeviceObject::Kind::File;
    o->host = h;
    o->devicePath = m.devicePath;
    return e.AddObject(std::move(o), h);
  });
}

BOOL WINAPI CeReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  if (read != nullptr) *read = 0;
  return DeviceCall("CeReadFile", FALSE, std::to_string(toRead), [&](Emulator& e) -> BOOL {
    DeviceObject* o = e.Object(file, DeviceObject::Kind::File);
    if (o == nullptr) return FALSE;
    DWORD got = 0;
    if (!ReadFile(o->host, buffer, toRead, &got, nullptr)) {
      e.lastError = GetLastError();
      return FALSE;
    }
    if (read != nullptr) *read = got;
    return TRUE;
  });
}

BOOL WINAPI CeWriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
  if (written != nullptr) *written = 0;
  return DeviceCall("CeWriteFile", FALSE, std::to_string(toWrite), [&](Emulator& e) -> BOOL {
    DeviceObject* o = e.Object(file, DeviceObject::Kind::File);
    if (o == nullptr) return FALSE;
    DWORD put = 0;
    if (!WriteFile(o->host, buffer, toWrite, &put, nullptr)) {
      e.lastError = GetLastError();
      return FALSE;
    }
    if (written != nullptr) *written = put;
    return TRUE;
  });
}

DWORD WINAPI CeSetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  return DeviceCall("CeSetFilePointer", INVALID_SET_FILE_POINTER, std::to_string(distance) + " " + std::to_string(method),
                    [&](Emulator& e) -> DWORD {
                      DeviceObject* o = e.Object(file, DeviceObject::Kind::File);
                      if (o == nullptr) return INVALID_SET_FILE_POINTER;
                      SetLastError(0);
                      DWORD r = SetFilePointer(o->host, distance, distanceHigh, method);
                      e.lastError = r == INVALID_SET_FILE_POINTER ? GetLastError() : 0;
                      return r;
                    });
}

DWORD WINAPI CeGetFileSize(HANDLE file, LPDWORD sizeHigh) {
  return DeviceCall("CeGetFileSize", INVALID_FILE_SIZE, "", [&](Emulator& e) -> DWORD {
    DeviceObject* o = e.Object(file, DeviceObject::Kind::File);
    if (o == nullptr) return INVALID_FILE_SIZE;
    SetLastError(0);
    DWORD r = GetFileSize(o->host, sizeHigh);
    e.lastError = r == INVALID_FILE_SIZE ? GetLastError() : 0;
    return r;
  });
}

BOOL WINAPI CeGetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write) {
  return DeviceCall("CeGetFileTime", FALSE, "", [&](Emulator& e) -> BOOL {
    DeviceObject* o = e.Object(file, DeviceObject::Kind::File);
    if (o == nullptr) return FALSE;
    FILETIME c, a, w;
    if (!GetFileTime(o->host, &c, &a, &w)) {
      e.lastError = GetLastError();
      return FALSE;
    }
    if (creation) *creation = c;
    if (access) *access = a;
    if (write) *write = DeviceWriteFileTime(w);
    return TRUE;
  });
}

BOOL WINAPI CeSetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* write) {
  return DeviceCall("CeSetFileTime", FALSE, "", [&](Emulator& e) -> BOOL {
    DeviceObject* o = e.Object(file, DeviceObject::Kind::File);
    if (o == nullptr) return FALSE;
    FILETIME w{};
    if (write != nullptr) w = DeviceWriteFileTime(*write);
    if (!SetFileTime(o->host, creation, access, write ? &w : nullptr)) {
      e.lastError = GetLastError();
      return FALSE;
    }
    return TRUE;
  });
}

BOOL WINAPI CeCloseHandle(HANDLE handle) {
  return DeviceCall("CeCloseHandle", FALSE, "", [&](Emulator& e) -> BOOL {
    auto it = e.objects.find(handle);
    if (it == e.objects.end() || it->second->kind == DeviceObject::Kind::Find ||
        it->second->kind == DeviceObject::Kind::RegistryKey) {
      e.lastError = kErrInvalidHandle;
      return FALSE;
    }
    CloseHandle(it->second->host);
    e.objects.erase(it);
    return TRUE;
  });
}

HANDLE WINAPI CeFindFirstFile(LPCWSTR pattern, LPCE_FIND_DATA data) {
  return DeviceCall("CeFindFirstFile", INVALID_HANDLE_VALUE, Utf8(pattern), [&](Emulator& e) -> HANDLE {
    if (pattern == nullptr || data == nullptr) {
      e.lastError = kErrInvalidParameter;
      return INVALID_HANDLE_VALUE;
    }
    MappedPattern p = MapFindPattern(ToU16(e.root), Text16(pattern));
    if (!p.ok()) {
      e.lastError = p.folder.error;
      return INVALID_HANDLE_VALUE;
    }
    auto o = std::make_unique<DeviceObject>();
    o->kind = DeviceObject::Kind::Find;
    if (!CollectFindEntries(e, p, o->found)) return INVALID_HANDLE_VALUE;
    *data = o->found[0];
    o->next = 1;
    HANDLE key = reinterpret_cast<HANDLE>(o.get());
    return e.AddObject(std::move(o), key);
  });
}

BOOL WINAPI CeFindNextFile(HANDLE find, LPCE_FIND_DATA data) {
  return DeviceCall("CeFindNextFile", FALSE, "", [&](Emulator& e) -> BOOL {
    DeviceObject* o = e.Object(find, DeviceObject::Kind::Find);
    if (o == nullptr) return FALSE;
    if (data == nullptr) {
      e.lastError = kErrInvalidParameter;
      return FALSE;
    }
    if (o->next >= o->found.size()) {
      e.lastError = kErrNoMoreFiles;
      return FALSE;
    }
    *data = o->found[o->next++];
    return TRUE;
  });
}

BOOL WINAPI CeFindClose(HANDLE find) {
  return DeviceCall("CeFindClose", FALSE, "", [&](Emulator& e) -> BOOL {
    if (e.Object(find, DeviceObject::Kind::Find) == nullptr) return FALSE;
    e.objects.erase(find);
    return TRUE;
  });
}

DWORD WINAPI CeGetFileAttributes(LPCWSTR path) {
  return DeviceCall("CeGetFileAttributes", INVALID_FILE_ATTRIBUTES, Utf8(path), [&](Emulator& e) -> DWORD {
    MappedPath m;
    if (!e.Map(path, m)) return INVALID_FILE_ATTRIBUTES;
    std::optional<uint32_t> a = e.AttributesOf(m);
    return a ? *a : INVALID_FILE_ATTRIBUTES;
  });
}

BOOL WINAPI CeSetFileAttributes(LPCWSTR path, DWORD attributes) {
  char word[16];
  wsprintfA(word, " 0x%x", static_cast<unsigned>(attributes));
  return DeviceCall("CeSetFileAttributes", FALSE, Utf8(path) + word, [&](Emulator& e) -> BOOL {
    MappedPath m;
    if (!e.Map(path, m)) return FALSE;
    std::optional<uint32_t> current = e.AttributesOf(m);
    if (!current) return FALSE;
    if (m.devicePath == u"\\" || (*current & kAttrInRom)) {
      e.lastError = kErrAccessDenied;
      return FALSE;
    }
    uint32_t next = ApplySetAttributes(*current, attributes);
    e.Sidecar().Set(m.devicePath, next);
    e.SaveSidecar();
    e.MirrorReadOnly(m, next);
    return TRUE;
  });
}

BOOL WINAPI CeCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
  return DeviceCall("CeCreateDirectory", FALSE, Utf8(path), [&](Emulator& e) -> BOOL {
    MappedPath m;
    if (!e.Map(path, m)) return FALSE;
    if (m.devicePath == u"\\") {
      e.lastError = kErrAlreadyExists;
      return FALSE;
    }
    if (!CreateDirectoryW(ToWide(m.hostPath).c_str(), nullptr)) {
      e.lastError = GetLastError();
      return FALSE;
    }
    return TRUE;
  });
}

BOOL WINAPI CeRemoveDirectory(LPCWSTR path) {
  return DeviceCall("CeRemoveDirectory", FALSE, Utf8(path), [&](Emulator& e) -> BOOL {
    MappedPath m;
    if (!e.Map(path, m)) return FALSE;
    std::optional<uint32_t> a = e.AttributesOf(m);
    if (!a) return FALSE;
    if (m.devicePath == u"\\" || (*a & (kAttrInRom | kAttrReadOnly))) {
      e.lastError = kErrAccessDenied;
      return FALSE;
    }
    if (!(*a & kAttrDirectory)) {
      e.lastError = ERROR_DIRECTORY;
      return FALSE;
    }
    e.ReleaseLibraries(m);
    if (!RemoveDirectoryW(ToWide(m.hostPath).c_str())) {
      e.lastError = GetLastError();
      return FALSE;
    }
    e.Sidecar().Remove(m.devicePath);
    e.SaveSidecar();
    return TRUE;
  });
}

BOOL WINAPI CeDeleteFile(LPCWSTR path) {
  return DeviceCall("CeDeleteFile", FALSE, Utf8(path), [&](Emulator& e) -> BOOL {
    MappedPath m;
    if (!e.Map(path, m)) return FALSE;
    std::optional<uint32_t> a = e.AttributesOf(m);
    if (!a) return FALSE;
    if (*a & (kAttrDirectory | kAttrReadOnly | kAttrInRom)) {
      e.lastError = kErrAccessDenied;
      return FALSE;
    }
    e.ReleaseLibraries(m);
    if (!DeleteFileW(ToWide(m.hostPath).c_str())) {
      e.lastError = GetLastError();
      return FALSE;
    }
    if (e.Sidecar().Find(m.devicePath)) {
      e.Sidecar().Remove(m.devicePath);
      e.SaveSidecar();
    }
    return TRUE;
  });
}

BOOL WINAPI CeMoveFile(LPCWSTR from, LPCWSTR to) {
  return DeviceCall("CeMoveFile", FALSE, Utf8(from) + " " + Utf8(to), [&](Emulator& e) -> BOOL {
    MappedPath src, dst;
    if (!e.Map(from, src) || !e.Map(to, dst)) return FALSE;
    std::optional<uint32_t> a = e.AttributesOf(src);
    if (!a) return FALSE;
    if (src.devicePath == u"\\" || (*a & kAttrInRom)) {
      e.lastError = kErrAccessDenied;
      return FALSE;
    }
    if (!EqualNoCase(src.devicePath, dst.devicePath) && e.AttributesOf(dst)) {
      e.lastError = kErrAlreadyExists;
      return FALSE;
    }
    e.lastError = 0;
    e.ReleaseLibraries(src);
    e.ReleaseLibraries(dst);
    if (!MoveFileW(ToWide(src.hostPath).c_str(), ToWide(dst.hostPath).c_str())) {
      e.lastError = GetLastError();
      return FALSE;
    }
    e.Sidecar().Rename(src.devicePath, dst.devicePath);
    e.SaveSidecar();
    return TRUE;
  });
}

BOOL WINAPI CeCopyFile(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  return DeviceCall("CeCopyFile", FALSE, Utf8(from) + " " + Utf8(to), [&](Emulator& e) -> BOOL {
    MappedPath src, dst;
    if (!e.Map(from, src) || !e.Map(to, dst)) return FALSE;
    std::optional<uint32_t> a = e.AttributesOf(src);
    if (!a) return FALSE;
    if (*a & kAttrDirectory) {
      e.lastError = kErrAccessDenied;
      return FALSE;
    }
    if (std::optional<uint32_t> existing = e.AttributesOf(dst)) {
      if (failIfExists) {
        e.lastError = kErrFileExists;
        return FALSE;
      }
      if (*existing & (kAttrDirectory | kAttrReadOnly | kAttrInRom)) {
        e.lastError = kErrAccessDenied;
        return FALSE;
      }
    }
    e.lastError = 0;
    e.ReleaseLibraries(dst);
    if (!CopyFileW(ToWide(src.hostPath).c_str(), ToWide(dst.hostPath).c_str(), failIfExists)) {
      e.lastError = GetLastError();
      return FALSE;
    }
    // The copy keeps the source's attributes, except that it lives in RAM.
    uint32_t copied = *a & ~(kAttrInRom | kAttrRomModule);
    e.Sidecar().Set(dst.devicePath, copied);
    e.SaveSidecar();
    e.MirrorReadOnly(dst, copied);
    return TRUE;
  });
}

// ---- the emulator's own

// Not an entry of the remote API: a test about to change or remove a device folder or library
// behind the emulator's back (a root it is done with) asks the emulator to let go of the device
// libraries it holds there first (all of them when `hostPath` is null or empty).
__declspec(dllexport) void __cdecl RapiEmuReleaseLibraries(LPCWSTR hostPath) {
  Emulator& e = Device();
  try {
    std::lock_guard lock(e.mutex);
    e.ReleaseLibraries(hostPath != nullptr ? std::wstring(hostPath) : std::wstring());
  } catch (...) {
  }
}

// Unloaded by FreeLibrary (the plugin does so when its last panel closes): the device libraries
// this copy of the emulator loaded go with it, so that their files can be changed again. The
// lock is only tried: under the loader lock nothing may wait, and a thread still inside the
// emulator now would be a caller's fault. At process end the system unloads everything itself.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason != DLL_PROCESS_DETACH || reserved != nullptr) return TRUE;
  Emulator& e = Device();
  if (e.mutex.try_lock()) {
    e.ReleaseLibraries(std::wstring());
    e.mutex.unlock();
  }
  return TRUE;
}

// ---- registry

LONG WINAPI CeRegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
  return RegistryCall("CeRegOpenKeyEx", Utf8(subKey), [&](Emulator& e) -> LONG {
    std::u16string base;
    if (!KeyPath(e, key, base)) return static_cast<LONG>(e.lastError);
    if (result == nullptr) {
      e.lastError = kErrInvalidParameter;
      return static_cast<LONG>(e.lastError);
    }
    std::u16string path = JoinKeyPath(base, Text16(subKey));
    if (!e.Registry().KeyExists(path)) {
      e.lastError = kErrFileNotFound;
      return static_cast<LONG>(e.lastError);
    }
    auto o = std::make_unique<DeviceObject>();
    o->kind = DeviceObject::Kind::RegistryKey;
    o->devicePath = path;
    HANDLE h = reinterpret_cast<HANDLE>(o.get());
    e.AddObject(std::move(o), h);
    *result = reinterpret_cast<HKEY>(h);
    return ERROR_SUCCESS;
  });
}

LONG WINAPI CeRegQueryValueEx(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize) {
  return RegistryCall("CeRegQueryValueEx", Utf8(valueName), [&](Emulator& e) -> LONG {
    std::u16string path;
    if (!KeyPath(e, key, path)) return static_cast<LONG>(e.lastError);
    const RegistryValue* v = e.Registry().Find(path, Text16(valueName));
    if (v == nullptr) {
      e.lastError = kErrFileNotFound;
      return static_cast<LONG>(e.lastError);
    }
    if (type != nullptr) *type = v->type;
    DWORD size = static_cast<DWORD>(v->data.size());
    if (data != nullptr) {
      if (dataSize == nullptr) {
        e.lastError = kErrInvalidParameter;
        return static_cast<LONG>(e.lastError);
      }
      if (*dataSize < size) {
        *dataSize = size;
        e.lastError = kErrMoreData;
        return static_cast<LONG>(e.lastError);
      }
      memcpy(data, v->data.data(), size);
    }
    if (dataSize != nullptr) *dataSize = size;
    return ERROR_SUCCESS;
  });
}

LONG WINAPI CeRegCloseKey(HKEY key) {
  return RegistryCall("CeRegCloseKey", "", [&](Emulator& e) -> LONG {
    if (!RegistryRootName(key).empty()) return ERROR_SUCCESS;
    if (e.Object(reinterpret_cast<HANDLE>(key), DeviceObject::Kind::RegistryKey) == nullptr) {
      return static_cast<LONG>(e.lastError);
    }
    e.objects.erase(reinterpret_cast<HANDLE>(key));
    return ERROR_SUCCESS;
  });
}

LONG WINAPI CeRegSetValueEx(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
  return RegistryCall("CeRegSetValueEx", Utf8(valueName), [&](Emulator& e) -> LONG {
    std::u16string path;
    if (!KeyPath(e, key, path)) return static_cast<LONG>(e.lastError);
    if (data == nullptr && dataSize != 0) {
      e.lastError = kErrInvalidParameter;
      return static_cast<LONG>(e.lastError);
    }
    RegistryValue v;
    v.type = type;
    if (data != nullptr) v.data.assign(data, data + dataSize);
    e.Registry().Set(path, Text16(valueName), std::move(v));
    e.SaveRegistry();
    return ERROR_SUCCESS;
  });
}

}  // extern "C"
