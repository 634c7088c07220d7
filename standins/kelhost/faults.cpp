// Scripted failures of the host stand-in: services of the start-up record refused on their n-th
// call, and system functions a plugin imports replaced in its import table by versions that fail
// on demand (and otherwise call through).
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

namespace {

const char* const kServices[] = {
    "HostMessage",  "HostMenu",          "HostDialog",    "HostSendDlgMessage", "HostGetMsg",
    "HostShowHelp", "HostInputBox",      "HostPanelControl", "HostEditorControl", "HostViewerControl",
    "HostAdvControl", "HostText",        "HostSaveScreen", "HostViewer",        "HostEditor"};

void RecordKey(LPCWSTR sub) {
  Host* h = Host::Current();
  if (!h) return;
  std::lock_guard<std::recursive_mutex> guard(h->Lock());
  h->registryKeys.push_back(sub ? sub : L"");
}

bool FailNow(const char* name) {
  Host* h = Host::Current();
  return h && h->ShouldFail(name, -1);
}

// Each replacement keeps the signature of the function it stands for.
void* __cdecl FailingMalloc(size_t size) {
  if (FailNow("malloc")) {
    errno = ENOMEM;
    return nullptr;
  }
  return std::malloc(size);
}
LPVOID WINAPI FailingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
  if (FailNow("HeapAlloc")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return HeapAlloc(heap, flags, size);
}
HGLOBAL WINAPI FailingGlobalAlloc(UINT flags, SIZE_T size) {
  if (FailNow("GlobalAlloc")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return GlobalAlloc(flags, size);
}
LPVOID WINAPI FailingGlobalLock(HGLOBAL block) {
  if (FailNow("GlobalLock")) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return GlobalLock(block);
}
BOOL WINAPI FailingOpenClipboard(HWND owner) {
  if (FailNow("OpenClipboard")) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return OpenClipboard(owner);
}
HANDLE WINAPI FailingGetClipboardData(UINT format) {
  if (FailNow("GetClipboardData")) {
    SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return nullptr;
  }
  return GetClipboardData(format);
}
HANDLE WINAPI FailingSetClipboardData(UINT format, HANDLE data) {
  if (FailNow("SetClipboardData")) {
    SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return nullptr;
  }
  return SetClipboardData(format, data);
}
LSTATUS WINAPI FailingRegCreateKeyExW(HKEY key, LPCWSTR sub, DWORD reserved, LPWSTR cls, DWORD options, REGSAM sam,
                                      const SECURITY_ATTRIBUTES* sa, PHKEY result, LPDWORD disposition) {
  RecordKey(sub);
  if (FailNow("RegCreateKeyExW")) return ERROR_ACCESS_DENIED;
  return RegCreateKeyExW(key, sub, reserved, cls, options, sam, const_cast<SECURITY_ATTRIBUTES*>(sa), result,
                         disposition);
}
LSTATUS WINAPI FailingRegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
  if (FailNow("RegSetValueExW")) return ERROR_ACCESS_DENIED;
  return RegSetValueExW(key, name, reserved, type, data, size);
}
LSTATUS WINAPI FailingRegDeleteKeyW(HKEY key, LPCWSTR sub) {
  RecordKey(sub);
  if (FailNow("RegDeleteKeyW")) return ERROR_ACCESS_DENIED;
  return RegDeleteKeyW(key, sub);
}
LSTATUS WINAPI FailingRegOpenKeyExW(HKEY key, LPCWSTR sub, DWORD options, REGSAM sam, PHKEY result) {
  RecordKey(sub);
  if (FailNow("RegOpenKeyExW")) return ERROR_ACCESS_DENIED;
  return RegOpenKeyExW(key, sub, options, sam, result);
}

struct Replacement {
  const char* name;
  void* function;
};

const Replacement kReplacements[] = {
    {"malloc", reinterpret_cast<void*>(FailingMalloc)},
    {"HeapAlloc", reinterpret_cast<void*>(FailingHeapAlloc)},
    {"GlobalAlloc", reinterpret_cast<void*>(FailingGlobalAlloc)},
    {"GlobalLock", reinterpret_cast<void*>(FailingGlobalLock)},
    {"OpenClipboard", reinterpret_cast<void*>(FailingOpenClipboard)},
    {"GetClipboardData", reinterpret_cast<void*>(FailingGetClipboardData)},
    {"SetClipboardData", reinterpret_cast<void*>(FailingSetClipboardData)},
    {"RegCreateKeyExW", reinterpret_cast<void*>(FailingRegCreateKeyExW)},
    {"RegSetValueExW", reinterpret_cast<void*>(FailingRegSetValueExW)},
    {"RegDeleteKeyW", reinterpret_cast<void*>(FailingRegDeleteKeyW)},
    {"RegOpenKeyExW", reinterpret_cast<void*>(FailingRegOpenKeyExW)},
};

}  // namespace

const std::vector<std::string>& FailableImports() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const Replacement& r : kReplacements) n.push_back(r.name);
    return n;
  }();
  return names;
}

bool Refused(const char* service, int command) {
  Host* h = Host::Current();
  return h && h->ShouldFail(service, command);
}

// Walks the module's import descriptors (the loader has already filled the address table) and
// points every failable import at its replacement.
void ReplaceImports(HMODULE module) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return;
  for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
    if (!imp->OriginalFirstThunk || !imp->FirstThunk) continue;  // no name table: nothing to match
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      const char* name = reinterpret_cast<const char*>(byName->Name);
      for (const Replacement& r : kReplacements) {
        if (std::strcmp(name, r.name) != 0) continue;
        DWORD old = 0;
        if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old)) break;
        slots->u1.Function = reinterpret_cast<ULONG_PTR>(r.function);
        VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
        break;
      }
    }
  }
}

void Host::FailCall(const std::string& name, int nth, int count, int command) {
  bool known = std::find(std::begin(kServices), std::end(kServices), name) != std::end(kServices) ||
               std::find(FailableImports().begin(), FailableImports().end(), name) != FailableImports().end();
  if (!known || nth < 1 || count == 0 || count < -1) {
    Fail(L"cannot script a failure of " + Wide(name));
    return;
  }
  std::lock_guard<std::recursive_mutex> guard(lock_);
  ScriptedFailure f;
  f.name = name;
  f.command = command;
  f.nth = nth;
  f.count = count;
  faults_.push_back(f);
  anyFaults_ = true;
}

void Host::ClearFailures() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  faults_.clear();
  anyFaults_ = false;
}

int Host::CallsSeen(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  for (auto it = faults_.rbegin(); it != faults_.rend(); ++it)
    if (it->name == name) return it->seen;
  return 0;
}

bool Host::ShouldFail(const char* name, int command) {
  if (!anyFaults_) return false;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  bool fail = false;
  for (ScriptedFailure& f : faults_) {
    if (f.name != name || (f.command >= 0 && f.command != command)) continue;
    ++f.seen;
    if (f.seen >= f.nth && (f.count < 0 || f.fired < f.count)) {
      ++f.fired;
      fail = true;
    }
  }
  if (!fail) return false;
  // Recording must not allocate through the plugin's allocator: it does not, the host's own
  // calls are never replaced.
  std::wstring what = Wide(name);
  if (command >= 0) what += L" " + std::to_wstring(command);
  refusals.push_back(what);
  Record(L"[refused] " + what);
  return true;
}

}  // namespace kelhost
