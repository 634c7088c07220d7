// The device seam of the emulated device: the device's "\" is the folder named by
// KEL_DEVICE_ROOT (a Windows path), mapped exactly as rapi.dll maps it, and the device's own
// state lives in the root's state folder (".device"):
//   attributes         attribute sidecar shared with rapi.dll (bits the host cannot hold)
//   registry           HKEY_LOCAL_MACHINE, shared with rapi.dll
//   power              power status, "key=value" lines (see README.md)
//   input.log          every input event, one line each, appended
//   messagebox.script  answers of the device user, one a line, taken in turn
//   messagebox.log     every message box shown, with the answer given
//   pim                contacts, appointments and tasks as item records
//   script             rapi.dll's fault script; a rule naming "LocalAlloc" fails the answer
//                      allocation of the invoke library, one naming "RegSetValueEx" the
//                      device's registry writes
// Every call reads the files afresh, so rapi.dll, the invoke library and the policy updater
// (a process of its own) always agree.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "devicebrowser/device/invoke/core/bytes.h"
#include "devicebrowser/device/seam/device_seam.h"
#include "standins/rapi/core/device_path.h"
#include "standins/rapi/core/device_store.h"
#include "standins/rapi/core/fault_script.h"
#include "standins/rapi/win/device_folder.h"

namespace device_seam {
namespace {

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring Root() { return rapiemu::DeviceRootFromEnvironment(); }
std::wstring StateFile(std::u16string_view name) { return rapiemu::StatePath(Root(), name); }

// Maps a device path into the root; on refusal the device's error is the last error.
bool Map(const std::wstring& path, rapiemu::MappedPath& m) {
  std::wstring root = Root();
  if (root.empty()) {
    SetLastError(rapiemu::kErrPathNotFound);  // no device root: nothing of the device exists
    return false;
  }
  m = rapiemu::MapDevicePath(U16(root), U16(path));
  if (!m.ok()) {
    SetLastError(m.error);
    return false;
  }
  return true;
}

bool ReadWhole(const std::wstring& path, std::string& out) { return rapiemu::ReadWholeFile(path, out); }
bool WriteWhole(const std::wstring& path, const std::string& data) { return rapiemu::WriteWholeFile(path, data); }
// Appends one line; false (last error set) when the file cannot be written.
bool AppendLine(const std::wstring& path, const std::string& line) { return rapiemu::AppendLine(path, line); }

// A device-side call the fault script names ("fail LocalAlloc always error 8"): the error it
// fails with. Only rules naming the call itself count; the counts of rapi.dll's rules are its own.
bool ScriptedFailure(std::string_view call, DWORD& error) {
  std::string text;
  if (!ReadWhole(StateFile(rapiemu::kScriptFile), text)) return false;
  for (const auto& rule : rapiemu::FaultScript::Parse(text).rules)
    if (rule.call == call) {
      error = rule.lost || rule.error == 0 ? ERROR_GEN_FAILURE : rule.error;
      return true;
    }
  return false;
}

rapiemu::AttributeSidecar LoadSidecar() {
  std::string text;
  ReadWhole(StateFile(rapiemu::kAttributesFile), text);
  return rapiemu::AttributeSidecar::Parse(text);
}
void SaveSidecar(const rapiemu::AttributeSidecar& sidecar) {
  WriteWhole(StateFile(rapiemu::kAttributesFile), sidecar.Serialize());
}

std::string Hex(uint32_t v) {
  char buf[16];
  wsprintfA(buf, "0x%08x", v);
  return buf;
}

}  // namespace

DWORD GetAttributes(const std::wstring& path) {
  rapiemu::MappedPath m;
  if (!Map(path, m)) return INVALID_FILE_ATTRIBUTES;
  DWORD host = GetFileAttributesW(W(m.hostPath).c_str());
  if (host == INVALID_FILE_ATTRIBUTES) return host;
  return rapiemu::ComposeAttributes((host & FILE_ATTRIBUTE_DIRECTORY) != 0, (host & FILE_ATTRIBUTE_READONLY) != 0,
                                    LoadSidecar().Find(m.devicePath));
}

BOOL SetAttributes(const std::wstring& path, DWORD attributes) {
  rapiemu::MappedPath m;
  if (!Map(path, m)) return FALSE;
  DWORD current = GetAttributes(path);
  if (current == INVALID_FILE_ATTRIBUTES) return FALSE;
  uint32_t word = rapiemu::ApplySetAttributes(current, attributes);
  // The host keeps the read-only bit itself; the sidecar keeps the whole word.
  if (!SetFileAttributesW(W(m.hostPath).c_str(),
                          (word & rapiemu::kAttrReadOnly) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL))
    return FALSE;
  rapiemu::AttributeSidecar sidecar = LoadSidecar();
  sidecar.Set(m.devicePath, word);
  SaveSidecar(sidecar);
  return TRUE;
}

BOOL MovePath(const std::wstring& from, const std::wstring& to) {
  rapiemu::MappedPath a, b;
  if (!Map(from, a) || !Map(to, b)) return FALSE;
  if (!MoveFileW(W(a.hostPath).c_str(), W(b.hostPath).c_str())) return FALSE;
  rapiemu::AttributeSidecar sidecar = LoadSidecar();
  if (sidecar.size()) {
    sidecar.Rename(a.devicePath, b.devicePath);
    SaveSidecar(sidecar);
  }
  return TRUE;
}

namespace {
BOOL Remove(const std::wstring& path, bool folder) {
  rapiemu::MappedPath m;
  if (!Map(path, m)) return FALSE;
  if (m.devicePath == u"\\") {
    SetLastError(rapiemu::kErrAccessDenied);
    return FALSE;
  }
  BOOL ok = folder ? RemoveDirectoryW(W(m.hostPath).c_str()) : DeleteFileW(W(m.hostPath).c_str());
  if (!ok) return FALSE;
  rapiemu::AttributeSidecar sidecar = LoadSidecar();
  if (sidecar.Find(m.devicePath)) {
    sidecar.Remove(m.devicePath);
    SaveSidecar(sidecar);
  }
  return TRUE;
}
}  // namespace

BOOL DeletePath(const std::wstring& path) { return Remove(path, false); }
BOOL RemoveFolder(const std::wstring& path) { return Remove(path, true); }

BOOL FreeSpace(const std::wstring& path, ULARGE_INTEGER* toCaller, ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
  rapiemu::MappedPath m;
  if (!Map(path, m)) return FALSE;
  return GetDiskFreeSpaceExW((W(m.hostPath) + L"\\").c_str(), toCaller, total, totalFree);
}

BOOL ListRoot(std::vector<RootEntry>& entries) {
  std::wstring root = Root();
  if (root.empty()) {
    SetLastError(rapiemu::kErrPathNotFound);
    return FALSE;
  }
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((root + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return FALSE;
  rapiemu::AttributeSidecar sidecar = LoadSidecar();
  std::wstring state = W(std::u16string(rapiemu::kStateFolder));
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L".." || rapiemu::EqualNoCase(U16(name), U16(state))) continue;
    bool dir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    std::u16string devicePath(1, u'\\');
    devicePath += U16(name);
    entries.push_back({name, rapiemu::ComposeAttributes(dir, (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0,
                                                        sidecar.Find(devicePath))});
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  // The host lists in no stable order; the emulated device lists by name.
  std::sort(entries.begin(), entries.end(), [](const RootEntry& a, const RootEntry& b) {
    return rapiemu::FoldCase(U16(a.name)) < rapiemu::FoldCase(U16(b.name));
  });
  return TRUE;
}

BOOL PowerStatus(BYTE status[24]) {
  // Defaults: on mains, battery high and full, times unknown.
  std::map<std::string, uint32_t> v = {{"ac", 1},           {"battery-flag", 1},       {"battery-percent", 100},
                                       {"battery-life", 0xFFFFFFFF}, {"battery-full-life", 0xFFFFFFFF},
                                       {"backup-flag", 1},  {"backup-percent", 100},   {"backup-life", 0xFFFFFFFF},
                                       {"backup-full-life", 0xFFFFFFFF}};
  std::string text;
  if (ReadWhole(StateFile(u"power"), text)) {
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      at = end + 1;
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      size_t eq = line.find('=');
      if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
      auto it = v.find(line.substr(0, eq));
      if (it == v.end()) continue;
      it->second = static_cast<uint32_t>(std::strtoul(line.c_str() + eq + 1, nullptr, 0));
    }
  }
  std::memset(status, 0, 24);
  status[0] = static_cast<BYTE>(v["ac"]);
  status[1] = static_cast<BYTE>(v["battery-flag"]);
  status[2] = static_cast<BYTE>(v["battery-percent"]);
  handrel::Store32(status + 4, v["battery-life"]);
  handrel::Store32(status + 8, v["battery-full-life"]);
  status[13] = static_cast<BYTE>(v["backup-flag"]);
  status[14] = static_cast<BYTE>(v["backup-percent"]);
  handrel::Store32(status + 16, v["backup-life"]);
  handrel::Store32(status + 20, v["backup-full-life"]);
  return TRUE;
}

BOOL PostKeybd(UINT keyStateFlags, UINT count, const UINT* shiftStates, const UINT* characters) {
  std::u16string text;
  std::string shifts;
  for (UINT i = 0; i < count; ++i) {
    text.push_back(static_cast<char16_t>(characters[i]));
    if (shiftStates[i]) shifts += " shift[" + std::to_string(i) + "]=" + Hex(shiftStates[i]);
  }
  std::string line = count == 1 ? "char flags=" + Hex(keyStateFlags) + " char=" + Hex(characters[0]) + shifts
                                 : "text flags=" + Hex(keyStateFlags) + " count=" + std::to_string(count) + shifts;
  line += " \"" + rapiemu::Utf16ToUtf8(text) + "\"";
  return AppendLine(StateFile(u"input.log"), line);
}

void KeyEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, DWORD extra) {
  AppendLine(StateFile(u"input.log"), "key vk=" + Hex(virtualKey) + " scan=" + Hex(scanCode) + " flags=" + Hex(flags) +
                                          " extra=" + Hex(extra));
}

void MouseEvent(DWORD flags, DWORD x, DWORD y, DWORD wheel, DWORD extra) {
  AppendLine(StateFile(u"input.log"), "mouse flags=" + Hex(flags) + " x=" + std::to_string(x) + " y=" +
                                          std::to_string(y) + " wheel=" + Hex(wheel) + " extra=" + Hex(extra));
}

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT type) {
  // The box's number is the count of boxes already logged; its answer the script's line of that
  // number. Without a scripted answer the user presses OK, or No where there is no OK.
  std::string log, script;
  ReadWhole(StateFile(u"messagebox.log"), log);
  ReadWhole(StateFile(u"messagebox.script"), script);
  size_t number = static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
  std::string answer;
  size_t at = 0;
  for (size_t line = 0; at <= script.size(); ++line) {
    size_t end = script.find('\n', at);
    if (end == std::string::npos) end = script.size();
    if (line == number) {
      answer = script.substr(at, end - at);
      break;
    }
    at = end + 1;
  }
  while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
  static const std::map<std::string, int> kButtons = {{"ok", IDOK}, {"cancel", IDCANCEL}, {"yes", IDYES},
                                                     {"no", IDNO}, {"retry", IDRETRY}, {"abort", IDABORT},
                                                     {"ignore", IDIGNORE}};
  auto it = kButtons.find(answer);
  UINT buttons = type & MB_TYPEMASK;
  bool hasOk = buttons == MB_OK || buttons == MB_OKCANCEL;
  int pressed = it != kButtons.end() ? it->second : (hasOk ? IDOK : IDNO);
  std::string pressedName = "ok";
  for (const auto& [name, id] : kButtons)
    if (id == pressed) pressedName = name;
  // One line a box: answer, type, caption, text (line breaks written as \r and \n).
  std::string shown;
  for (char c : rapiemu::Utf16ToUtf8(U16(text))) {
    if (c == '\r') shown += "\\r";
    else if (c == '\n') shown += "\\n";
    else shown.push_back(c);
  }
  AppendLine(StateFile(u"messagebox.log"),
             pressedName + "\t" + Hex(type) + "\t" + rapiemu::Utf16ToUtf8(U16(caption)) + "\t" + shown);
  return pressed;
}

namespace {
rapiemu::RegistryStore LoadRegistry() {
  std::string text;
  ReadWhole(StateFile(rapiemu::kRegistryFile), text);
  return rapiemu::RegistryStore::Parse(text);
}
// An open key is its full path, owned by the handle.
std::u16string* KeyPath(HKEY key) { return reinterpret_cast<std::u16string*>(key); }
}  // namespace

LONG RegOpenKey(const std::wstring& subKey, HKEY* key) {
  if (Root().empty()) return ERROR_PATH_NOT_FOUND;
  std::u16string path = rapiemu::JoinKeyPath(u"HKEY_LOCAL_MACHINE", U16(subKey));
  if (!LoadRegistry().KeyExists(path)) return ERROR_FILE_NOT_FOUND;
  *key = reinterpret_cast<HKEY>(new std::u16string(path));
  return ERROR_SUCCESS;
}

LONG RegQueryValue(HKEY key, const std::wstring& name, DWORD* type, BYTE* data, DWORD* size) {
  rapiemu::RegistryStore store = LoadRegistry();
  const rapiemu::RegistryValue* v = store.Find(*KeyPath(key), U16(name));
  if (!v) return ERROR_FILE_NOT_FOUND;
  if (type) *type = v->type;
  if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  DWORD need = static_cast<DWORD>(v->data.size());
  if (data && *size < need) {
    *size = need;
    return ERROR_MORE_DATA;
  }
  if (data && need) std::memcpy(data, v->data.data(), need);
  *size = need;
  return ERROR_SUCCESS;
}

LONG RegSetValue(HKEY key, const std::wstring& name, DWORD type, const BYTE* data, DWORD size) {
  DWORD refused;
  if (ScriptedFailure("RegSetValueEx", refused)) return static_cast<LONG>(refused);
  rapiemu::RegistryStore store = LoadRegistry();
  rapiemu::RegistryValue v;
  v.type = type;
  v.data.assign(data, data + size);
  store.Set(*KeyPath(key), U16(name), std::move(v));
  return WriteWhole(StateFile(rapiemu::kRegistryFile), store.Serialize()) ? ERROR_SUCCESS : static_cast<LONG>(GetLastError());
}

LONG RegCloseKey(HKEY key) {
  delete KeyPath(key);
  return ERROR_SUCCESS;
}

namespace {
using handrel::pim::Item;
using handrel::pim::Kind;

constexpr uint32_t kNotFound = 0x80070490;     // no item with that identifier
constexpr uint32_t kInvalidData = 0x8007000D;  // the store file is damaged
constexpr size_t kMaxText = 2048;              // longest text a field of the store holds

// The store file: item records of every kind back to back, as the invoke library sends them.
class FileStore : public handrel::pim::Store {
 public:
  uint32_t List(Kind kind, std::vector<Item>& items) override {
    std::vector<handrel::pim::KindedItem> all;
    if (!Load(all)) return kInvalidData;
    for (auto& k : all)
      if (k.kind == kind) items.push_back(std::move(k.item));
    return 0;
  }
  uint32_t Get(Kind kind, uint32_t oid, Item& item) override {
    std::vector<handrel::pim::KindedItem> all;
    if (!Load(all)) return kInvalidData;
    for (auto& k : all)
      if (k.kind == kind && k.item.oid == oid) {
        item = std::move(k.item);
        return 0;
      }
    return kNotFound;
  }
  uint32_t Create(Kind kind, uint32_t& oid) override {
    std::vector<handrel::pim::KindedItem> all;
    if (!Load(all)) return kInvalidData;
    oid = 0x10000;
    for (const auto& k : all) oid = std::max(oid, k.item.oid);
    ++oid;
    all.push_back({kind, Item{oid, {}}});
    return SaveAll(all);
  }
  uint32_t SetField(Kind, Item& item, uint32_t field, const handrel::pim::Value& value) override {
    if (value.text.size() > kMaxText) return ERROR_INVALID_PARAMETER;
    if (value.text.empty())
      item.fields.erase(field);
    else
      item.fields[field] = value;
    return 0;
  }
  uint32_t Save(Kind kind, const Item& item) override {
    std::vector<handrel::pim::KindedItem> all;
    if (!Load(all)) return kInvalidData;
    for (auto& k : all)
      if (k.kind == kind && k.item.oid == item.oid) {
        k.item = item;
        return SaveAll(all);
      }
    return kNotFound;
  }
  uint32_t Delete(Kind kind, uint32_t oid) override {
    std::vector<handrel::pim::KindedItem> all;
    if (!Load(all)) return kInvalidData;
    auto it = std::find_if(all.begin(), all.end(), [&](const auto& k) { return k.kind == kind && k.item.oid == oid; });
    if (it == all.end()) return kNotFound;
    all.erase(it);
    return SaveAll(all);
  }

 private:
  static bool Load(std::vector<handrel::pim::KindedItem>& all) {
    std::string bytes;
    if (!ReadWhole(StateFile(u"pim"), bytes)) return true;  // no file: an empty store
    return handrel::pim::ParseItemRecords(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), all);
  }
  static uint32_t SaveAll(const std::vector<handrel::pim::KindedItem>& all) {
    std::vector<uint8_t> out;
    for (const auto& k : all) handrel::pim::AppendItemRecord(out, k.kind, k.item, true);
    if (!WriteWhole(StateFile(u"pim"), std::string(out.begin(), out.end()))) return 0x80070000u | GetLastError();
    return 0;
  }
};
}  // namespace

handrel::pim::Store& PimStore() {
  static FileStore store;
  return store;
}

void* AllocAnswer(size_t size) {
  DWORD error;
  if (ScriptedFailure("LocalAlloc", error)) {
    SetLastError(error);
    return nullptr;
  }
  return LocalAlloc(LMEM_FIXED, size ? size : 1);
}

}  // namespace device_seam
