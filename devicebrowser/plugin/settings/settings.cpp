#include "devicebrowser/plugin/settings/settings.h"

#include <cstring>
#include <string>
#include <vector>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/plugin/connection/connection.h"
#include "devicebrowser/plugin/connection/core/device_record.h"

namespace handrel {
namespace {

// A stored value is read whole up to this size before it is cut to its buffer.
constexpr DWORD kReadCap = 1 << 20;

settings::PluginSettings g_settings;

// Registry key paths are kept as the settings build them (the default one starts with a
// backslash); the registry takes them without leading backslashes.
const char* KeyPath(const char* key) {
  while (*key == '\\') ++key;
  return key;
}

HKEY OpenKey(const char* key, REGSAM access) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath(key), 0, access, &opened) != ERROR_SUCCESS) return nullptr;
  return opened;
}

LONG Query(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  return RegQueryValueExA(key, name, nullptr, type, data, size);
}
LONG Query(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) {
  return RegQueryValueExW(key, name, nullptr, type, data, size);
}

// A string value's characters, up to its first terminator; false when it is missing, not a
// string, or larger than `cap` bytes.
template <typename Char>
bool QueryText(HKEY key, const Char* name, DWORD cap, std::basic_string<Char>& text) {
  DWORD type = 0, size = 0;
  if (Query(key, name, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > cap) return false;
  std::vector<BYTE> data(size + sizeof(Char));  // room for a terminator the value may lack
  DWORD got = size;
  if (Query(key, name, &type, data.data(), &got) != ERROR_SUCCESS || got > size) return false;
  const Char* chars = reinterpret_cast<const Char*>(data.data());
  size_t count = got / sizeof(Char);
  size_t length = 0;
  while (length < count && chars[length] != 0) ++length;
  text.assign(chars, length);
  return true;
}

// Copies into a caller's buffer of `bufferBytes`, always terminated inside it.
template <typename Char>
void CopyTerminated(const std::basic_string<Char>& text, Char* buffer, DWORD bufferBytes) {
  size_t room = bufferBytes / sizeof(Char) - 1;
  size_t n = text.size() < room ? text.size() : room;
  memcpy(buffer, text.data(), n * sizeof(Char));
  buffer[n] = 0;
}

template <typename Char>
int ReadValue(const char* key, const Char* name, Char* buffer, DWORD bufferBytes) {
  HKEY opened = OpenKey(key, KEY_QUERY_VALUE);
  if (!opened) return 0;  // no key: the caller's default stands
  std::basic_string<Char> text;
  bool read = bufferBytes >= sizeof(Char) && QueryText(opened, name, kReadCap, text);
  RegCloseKey(opened);
  if (!read) return 1;
  CopyTerminated(text, buffer, bufferBytes);
  return 0;
}

class RegistryStore : public settings::SettingsStore {
 public:
  bool Read(const std::string& key, const char* name, std::string& value) override {
    HKEY opened = OpenKey(key.c_str(), KEY_QUERY_VALUE);
    if (!opened) return false;
    bool read = QueryText(opened, name, static_cast<DWORD>(settings::kMaxValueBytes), value);
    RegCloseKey(opened);
    return read;
  }
  bool Write(const std::string& key, const char* name, const std::string& value) override {
    return WriteSettingCreating(key.c_str(), name, value.c_str());
  }
};

class AnsiCodePage : public settings::AnsiCodec {
 public:
  char16_t FromAnsi(char byte) const override {
    wchar_t ch = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &ch, 1) != 1) return u'?';
    return static_cast<char16_t>(ch);
  }
  char ToAnsi(char16_t ch) const override {
    wchar_t wide = static_cast<wchar_t>(ch);
    char bytes[4] = {};
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(CP_ACP, 0, &wide, 1, bytes, sizeof bytes, nullptr, &lossy);
    return n == 1 && !lossy ? bytes[0] : '?';
  }
};

class OemCodePage : public settings::OemConverter {
 public:
  std::string ToOem(const std::u16string& text) const override {
    if (text.empty()) return {};
    std::wstring wide(text.begin(), text.end());
    int n = WideCharToMultiByte(CP_OEMCP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_OEMCP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
  }
};

const AnsiCodePage kAnsi;

}  // namespace

settings::PluginSettings& Settings() { return g_settings; }

void LoadSettings(const char* hostRootKey) {
  RegistryStore store;
  settings::LoadSettings(g_settings, hostRootKey, store, kAnsi);
}

bool SaveSettings() {
  RegistryStore store;
  return settings::SaveSettings(g_settings, store, kAnsi);
}

int ReadSettingValue(const char* key, const char* name, char* buffer, DWORD bufferBytes) {
  return ReadValue(key, name, buffer, bufferBytes);
}

int ReadSettingValue(const char* key, const wchar_t* name, wchar_t* buffer, DWORD bufferBytes) {
  return ReadValue(key, name, buffer, bufferBytes);
}

int WriteSettingValue(const char* key, const wchar_t* name, const wchar_t* value) {
  HKEY opened = OpenKey(key, KEY_SET_VALUE);
  if (!opened) return 0;  // the key is the plugin's to create
  DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
  LONG written = RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
  RegCloseKey(opened);
  return written == ERROR_SUCCESS ? 0 : 1;
}

bool WriteSettingCreating(const char* key, const char* name, const char* value) {
  HKEY created = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(key), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG written = RegSetValueExA(created, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                static_cast<DWORD>(strlen(value) + 1));
  RegCloseKey(created);
  return written == ERROR_SUCCESS;
}

// ---- Configuration dialog -----------------------------------------------------------------------

namespace {

// Message numbers of the plugin's language file used by the dialog.
enum Msg {
  kMsgPrefix = 1, kMsgName = 2, kMsgCancel = 4, kMsgModules = 5, kMsgModuleMenu = 7, kMsgDriveLetter = 8,
  kMsgHotKey = 9, kMsgCtrlSlash = 10, kMsgCtrlShiftSlash = 11, kMsgCtrlSlashAsk = 12, kMsgCtrlShiftSlashAsk = 13,
  kMsgCtrlSlashRoot = 15, kMsgCtrlShiftSlashRoot = 16, kMsgCtrlSlashTop = 18, kMsgCtrlShiftSlashTop = 19,
  kMsgReplaceChar = 20, kMsgBadReplaceChar = 21, kMsgInEditor = 22, kMsgInViewer = 23, kMsgInDialog = 24,
};

// The dialog's texts are the console's (OEM); the character is stored in the ANSI code page.
char OemChar(char16_t ch) {
  wchar_t wide = static_cast<wchar_t>(ch);
  char bytes[4] = {};
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_OEMCP, 0, &wide, 1, bytes, sizeof bytes, nullptr, &lossy);
  return n == 1 && !lossy ? bytes[0] : '?';
}
char16_t CharFromOem(char byte) {
  wchar_t ch = 0;
  if (MultiByteToWideChar(CP_OEMCP, 0, &byte, 1, &ch, 1) != 1) return u'?';
  return static_cast<char16_t>(ch);
}

// The dialog's working values: the settings as shown, carried over a visit to the module menu.
struct Form {
  char prefix[settings::kCommandPrefixChars + 1];
  char drive[2];
  char replace[2];
  int useDrive, inEditor, inViewer, inDialog;
  int slashAsk, slashRoot, slashTop;
  int shiftAsk, shiftRoot, shiftTop;

  explicit Form(const settings::PluginSettings& s) {
    strcpy(prefix, s.CommandPrefix);
    strcpy(drive, s.DriveLetter);
    replace[0] = OemChar(s.ReplaceChar);
    replace[1] = '\0';
    useDrive = s.UseDriveLetter, inEditor = s.ShowInEditor, inViewer = s.ShowInViewer, inDialog = s.ShowInDialog;
    slashAsk = s.CtrlSlash.ask, slashRoot = s.CtrlSlash.toRoot, slashTop = !s.CtrlSlash.toRoot;
    shiftAsk = s.CtrlShiftSlash.ask, shiftRoot = s.CtrlShiftSlash.toRoot, shiftTop = !s.CtrlShiftSlash.toRoot;
  }
  void ApplyTo(settings::PluginSettings& s) const {
    strcpy(s.CommandPrefix, settings::TrimBlanks(prefix).c_str());
    strcpy(s.DriveLetter, drive);
    s.UseDriveLetter = useDrive, s.ShowInEditor = inEditor, s.ShowInViewer = inViewer, s.ShowInDialog = inDialog;
    s.CtrlSlash = {slashAsk != 0, slashRoot != 0};
    s.CtrlShiftSlash = {shiftAsk != 0, shiftRoot != 0};
    s.ReplaceChar = replace[0] ? CharFromOem(replace[0]) : u'\0';
  }
};

struct Binding {
  int item;
  char* text = nullptr;
  size_t textSize = 0;
  int* state = nullptr;
};

// Reads what the dialog ended with from its items (also for a button that is not the accepting
// one, so edits survive a visit to the module menu).
void ReadBack(DialogBuilder& dialog, const std::vector<Binding>& bindings) {
  for (const Binding& b : bindings) {
    KelDialogItemA& item = dialog.Item(b.item);
    if (b.text) {
      size_t n = strnlen(item.Data, sizeof item.Data);
      if (n >= b.textSize) n = b.textSize - 1;
      memcpy(b.text, item.Data, n);
      b.text[n] = '\0';
    }
    if (b.state) *b.state = item.Param.Selected != 0;
  }
}

}  // namespace

int ConfigureDialog(const HostStartupInfoA& host, ModuleConfigHost& panels) {
  auto msg = [&](int id) -> const char* {
    const char* text = host.HostGetMsg ? host.HostGetMsg(host.ModuleNumber, id) : nullptr;
    return text ? text : "";
  };
  settings::PluginSettings& s = g_settings;
  s.SettingsChanged = 0;
  const bool havePanel = panels.BeginModuleConfig();
  Form form(s);
  for (;;) {
    DialogBuilder dialog(static_cast<int>(strlen(msg(kMsgPrefix))) + 12, 15, msg(kMsgName), "Setup");
    std::vector<Binding> bind;
    dialog.AddText(1, 1, msg(kMsgPrefix));
    bind.push_back({dialog.AddEdit(1, DialogBuilder::kAfter, 10, form.prefix, sizeof form.prefix), form.prefix,
                    sizeof form.prefix});
    dialog.AddSeparator(2);
    bind.push_back({dialog.AddCheckBox(3, 1, msg(kMsgDriveLetter), &form.useDrive), nullptr, 0, &form.useDrive});
    bind.push_back({dialog.AddEdit(4, 3, 1, form.drive, sizeof form.drive), form.drive, sizeof form.drive});
    dialog.AddText(4, 5, msg(kMsgHotKey));
    bind.push_back({dialog.AddCheckBox(5, 1, msg(kMsgInEditor), &form.inEditor), nullptr, 0, &form.inEditor});
    bind.push_back(
        {dialog.AddCheckBox(5, DialogBuilder::kAfter, msg(kMsgInViewer), &form.inViewer), nullptr, 0, &form.inViewer});
    bind.push_back(
        {dialog.AddCheckBox(5, DialogBuilder::kAfter, msg(kMsgInDialog), &form.inDialog), nullptr, 0, &form.inDialog});
    dialog.AddSeparator(6);
    dialog.AddText(7, 1, msg(kMsgCtrlSlash));
    bind.push_back({dialog.AddCheckBox(7, 16, msg(kMsgCtrlSlashAsk), &form.slashAsk), nullptr, 0, &form.slashAsk});
    bind.push_back({dialog.AddRadioButton(8, DialogBuilder::kCentre, msg(kMsgCtrlSlashRoot), &form.slashRoot),
                    nullptr, 0, &form.slashRoot});
    bind.push_back({dialog.AddRadioButton(8, DialogBuilder::kCentre, msg(kMsgCtrlSlashTop), &form.slashTop), nullptr,
                    0, &form.slashTop});
    dialog.AddSeparator(9);
    dialog.AddText(10, 1, msg(kMsgCtrlShiftSlash));
    bind.push_back(
        {dialog.AddCheckBox(10, 16, msg(kMsgCtrlShiftSlashAsk), &form.shiftAsk), nullptr, 0, &form.shiftAsk});
    bind.push_back({dialog.AddRadioButton(11, DialogBuilder::kCentre, msg(kMsgCtrlShiftSlashRoot), &form.shiftRoot),
                    nullptr, 0, &form.shiftRoot});
    bind.push_back({dialog.AddRadioButton(11, DialogBuilder::kCentre, msg(kMsgCtrlShiftSlashTop), &form.shiftTop),
                    nullptr, 0, &form.shiftTop});
    dialog.AddSeparator(12);
    dialog.AddText(13, 1, msg(kMsgReplaceChar));
    bind.push_back(
        {dialog.AddEdit(13, DialogBuilder::kAfter, 1, form.replace, sizeof form.replace), form.replace,
         sizeof form.replace});
    dialog.AddSeparator(14);
    const int ok = dialog.AddButton(15, "&OK", true);
    dialog.AddButton(15, msg(kMsgCancel));
    const int modules = dialog.AddButton(15, msg(kMsgModules));

    const int chosen = dialog.Run(ok);
    if (chosen == modules) {
      ReadBack(dialog, bind);
      const int count = havePanel ? panels.ModuleCount() : 0;
      while (count > 0) {
        MenuBuilder menu;
        const int active = panels.ActiveModuleIndex();
        for (int i = 0; i < count; ++i) menu.Add(panels.ModuleTitle(i), i == active);
        const int pick = menu.Run(msg(kMsgModuleMenu));
        if (pick < 0 || pick >= count) break;
        panels.ConfigureModule(pick);
      }
      continue;
    }
    if (chosen != ok) break;
    ReadBack(dialog, bind);
    settings::PluginSettings edited = s;
    form.ApplyTo(edited);
    if (!settings::IsValidReplaceChar(edited.ReplaceChar)) {
      ShowMessage("Handrel", msg(kMsgBadReplaceChar), nullptr, 1);
      continue;
    }
    edited.SettingsChanged = s.SettingsChanged;  // a module's Configure may have set it meanwhile
    s = edited;
    SaveSettings();
    break;
  }
  panels.EndModuleConfig();
  if (s.SettingsChanged) panels.ReloadModuleSettingsEverywhere();
  return 1;
}

// ---- Device information lines -------------------------------------------------------------------

void RefreshDeviceInfo(DeviceConnection& connection, InfoLineSink& sink) {
  std::vector<uint8_t> answer;
  HRESULT result = S_OK;
  const bool answered = connection.RequestBrowserInfo(answer, result);
  connection::DeviceRecord record;
  if (answered) record = connection::ParseDeviceRecord(answer.data(), answer.size());
  const OemCodePage oem;
  for (const settings::InfoLine& line :
       settings::BuildInfoLines(connection.DeviceName(), answered ? &record : nullptr, static_cast<uint32_t>(result),
                                oem))
    sink.AddInfoLine(line.text.c_str(), line.separator ? nullptr : line.data.c_str());
}

}  // namespace handrel
