// Glossa: the editor action menu and the configuration menu of line-comment types. Settings are
// registry values below the plugin's key; the comment decisions live in the core.
#include <windows.h>

#include <string>
#include <vector>

#include "editortools/remarks/core/remarks.h"
#include "host/kel_editor.h"
#include "host/kel_firewall.h"
#include "host/kel_plugin.h"
#include "host/kel_plugin_support.h"

namespace {

enum Msg {
  MTitle = 0, MAdd, MRemove, MConfigure, MConfigBottom, MDefaultName, MNameLabel, MMaskLabel, MCommentLabel, MOk, MCancel
};

constexpr DWORD kValueChars = 512;     // values are read into buffers of this many characters
constexpr DWORD kTypeNameChars = 512;  // type names when choosing the comment
constexpr DWORD kConfigNameChars = 1024;  // type names in the configuration menu
const wchar_t kDefaultMask[] = L"*.*";
const wchar_t kDefaultComment[] = L"//";

kel::HostCopy gHost;  // the host's records, copied once
HostStartupInfo& gInfo = gHost.info;
HostStandardFunctions& gFsf = gHost.fsf;
std::wstring gKey;     // "<root>\GLOSSA"
int gLastAction = 0;   // the editor menu item chosen last in this run

const wchar_t* GetMsg(int id) { return gHost.Msg(id); }

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

// ---- Settings ---------------------------------------------------------------------------------

std::wstring ReadString(HKEY key, const wchar_t* name, const wchar_t* fallback) {
  wchar_t buffer[kValueChars] = {};
  DWORD type = 0, size = sizeof buffer - sizeof(wchar_t);  // room for a terminator the value may lack
  if (!key || RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return fallback;
  return buffer;
}

void WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

HKEY OpenKey(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

glossa::RemarkType ReadEntry(const std::wstring& path, const std::wstring& name) {
  HKEY key = OpenKey(path);
  glossa::RemarkType type{U16(name), U16(ReadString(key, L"Mask", kDefaultMask)),
                          U16(ReadString(key, L"Comment", kDefaultComment))};
  if (key) RegCloseKey(key);
  return type;
}

std::wstring TypePath(const std::wstring& name) { return gKey + L"\\Types\\" + name; }

// The type keys in the order the registry enumerates them.
std::vector<std::wstring> TypeNames(DWORD nameChars) {
  std::vector<std::wstring> names;
  HKEY types = OpenKey(gKey + L"\\Types");
  if (!types) return names;
  std::vector<wchar_t> name(nameChars);
  for (DWORD i = 0;; ++i) {
    DWORD length = nameChars;
    LONG rc = RegEnumKeyExW(types, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_SUCCESS) names.emplace_back(name.data(), length);
  }
  RegCloseKey(types);
  return names;
}

bool MasksMatch(const std::u16string& masks, const std::u16string& fileName) {
  std::wstring name = W(fileName);
  std::wstring list = W(masks);
  return gFsf.ProcessName(list.c_str(), name.data(), name.size() + 1, PN_CMPNAMELIST | PN_SKIPPATH) != 0;
}

// ---- Editor -----------------------------------------------------------------------------------

class HostRemarkEditor : public glossa::RemarkEditor {
 public:
  bool Info(glossa::RemarkCursor* c, int* total, int* blockStart) override {
    EditorInfoW info;
    if (!editor_.Info(&info)) return false;
    *c = {info.CurLine, info.CurPos, info.TopScreenLine, info.LeftPos, info.Overtype};
    *total = info.TotalLines;
    *blockStart = info.BlockType == BTYPE_NONE ? -1 : info.BlockStartLine;
    return true;
  }
  bool GoToLine(int line) override { return editor_.GoToLine(line); }
  bool CurrentLine(glossa::RemarkLine* line) override {
    kel::EditorLineCopy copy;
    if (!editor_.GetLine(-1, &copy)) return false;
    line->text.swap(copy.text);
    line->eol.swap(copy.eol);
    line->selStart = copy.selStart;
    line->selEnd = copy.selEnd;
    return true;
  }
  bool SetCurrentLine(const std::u16string& text, const std::u16string& eol) override {
    return editor_.SetLine(text, &eol);
  }
  void Restore(const glossa::RemarkCursor& c) override {
    editor_.SetPosition({c.curLine, c.curPos, -1, c.topScreenLine, c.leftPos, c.overtype});
  }
  void SelectLines(int first, int end) override { editor_.SelectLines(first, end); }
  void BeginUndoGroup() override { editor_.Undo(EUR_BEGIN); }
  void EndUndoGroup() override { editor_.Undo(EUR_END); }

 private:
  kel::HostEditorCalls editor_{gInfo.HostEditorControl};
};

std::wstring EditedFileName() { return kel::HostEditorCalls(gInfo.HostEditorControl).FileName(); }

// ---- Configuration ----------------------------------------------------------------------------

struct EditState {
  std::wstring name, mask, comment;
};

constexpr int kItemName = 2, kItemMask = 5, kItemComment = 7, kItemOk = 9;

std::wstring DialogText(KelDialogHandle dlg, int item) {
  KelDialogItemData data{0, nullptr};
  intptr_t length = gInfo.HostSendDlgMessage(dlg, DM_GETTEXT, item, &data);
  if (length <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  data.PtrLength = static_cast<size_t>(length);
  data.PtrData = buffer.data();
  gInfo.HostSendDlgMessage(dlg, DM_GETTEXT, item, &data);
  return std::wstring(buffer.data());
}

EditState* gEditState = nullptr;  // the dialog being run (one at a time, on the host's thread)

intptr_t KEL_API EditDialogProc(KelDialogHandle dlg, int msg, int param1, void* param2) {
  // The texts are read while the dialog still exists: on the OK button's close.
  if (msg == DN_CLOSE && param1 == kItemOk && gEditState) {
    gEditState->name = DialogText(dlg, kItemName);
    gEditState->mask = DialogText(dlg, kItemMask);
    gEditState->comment = DialogText(dlg, kItemComment);
  }
  return gInfo.HostDefDlgProc(dlg, msg, param1, param2);
}

// Edits the default entry (isDefault), an existing type (name given) or a new one (name empty).
// Returns true when something was saved.
bool EditEntry(bool isDefault, const std::wstring& oldName) {
  glossa::RemarkType entry = isDefault || oldName.empty() ? ReadEntry(gKey, L"") : ReadEntry(TypePath(oldName), oldName);
  std::wstring name = isDefault ? GetMsg(MDefaultName) : oldName;
  std::wstring mask = W(entry.mask), comment = W(entry.comment);
  KelDialogItem items[11] = {};
  auto set = [&](int i, int type, int x1, int y1, int x2, int y2, uint32_t flags, const wchar_t* data) {
    items[i].Type = type;
    items[i].X1 = x1;
    items[i].Y1 = y1;
    items[i].X2 = x2;
    items[i].Y2 = y2;
    items[i].Flags = flags;
    items[i].Data = data;
  };
  set(0, DI_DOUBLEBOX, 3, 1, 34, 12, DIF_BOXCOLOR, GetMsg(MTitle));
  set(1, DI_TEXT, 5, 2, 0, 2, 0, GetMsg(MNameLabel));
  set(2, DI_EDIT, 5, 3, 32, 3, DIF_HISTORY | (isDefault ? DIF_DISABLE : DIF_FOCUS), name.c_str());
  items[2].Param.History = L"Glossa_Item";
  set(3, DI_TEXT, 0, 4, 0, 4, DIF_SEPARATOR, L"");
  set(4, DI_TEXT, 5, 6, 0, 6, 0, GetMsg(MMaskLabel));
  set(5, DI_EDIT, 5, 7, 32, 7, DIF_HISTORY | (isDefault ? static_cast<uint32_t>(DIF_FOCUS) : 0u), mask.c_str());
  items[5].Param.History = L"Glossa_Mask";
  set(6, DI_TEXT, 5, 8, 0, 8, 0, GetMsg(MCommentLabel));
  set(7, DI_EDIT, 5, 9, 32, 9, DIF_HISTORY, comment.c_str());
  items[7].Param.History = L"Glossa_Cmnt";
  set(8, DI_TEXT, 0, 10, 0, 10, DIF_SEPARATOR, L"");
  set(9, DI_BUTTON, 0, 11, 0, 11, DIF_CENTERGROUP | DIF_DEFAULTBUTTON, GetMsg(MOk));
  set(10, DI_BUTTON, 0, 11, 0, 11, DIF_CENTERGROUP, GetMsg(MCancel));

  EditState state;
  gEditState = &state;
  int exit = gInfo.HostDialog(gInfo.ModuleNumber, nullptr, -1, -1, 38, 14, L"ConfigDlg", items, 11, 0, EditDialogProc,
                              nullptr);
  gEditState = nullptr;
  if (exit != kItemOk) return false;

  if (isDefault) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, gKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
      return false;
    WriteString(key, L"Mask", state.mask);
    WriteString(key, L"Comment", state.comment);
    RegCloseKey(key);
    return true;
  }
  std::vector<wchar_t> trimmed(state.name.begin(), state.name.end());
  trimmed.push_back(L'\0');
  std::wstring newName = gFsf.Trim(trimmed.data());
  if (newName.empty()) return false;  // a type needs a name
  if (!oldName.empty() && newName != oldName) RegDeleteKeyW(HKEY_CURRENT_USER, TypePath(oldName).c_str());
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, TypePath(newName).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return true;  // the old key may be gone: the list must be read again
  WriteString(key, L"Mask", state.mask);
  WriteString(key, L"Comment", state.comment);
  RegCloseKey(key);
  return true;
}

void ConfigMenu() {
  static const int kBreakKeys[] = {static_cast<int>(KEY_INS), static_cast<int>(KEY_DEL), static_cast<int>(KEY_F4), 0};
  enum { BreakInsert = 0, BreakDelete = 1, BreakEdit = 2 };
  int position = 0;
  for (;;) {
    // The default entry, a separator, then the types with a mask, in registry order.
    std::vector<std::wstring> names;
    for (const std::wstring& n : TypeNames(kConfigNameChars)) {
      glossa::RemarkType t = ReadEntry(TypePath(n), n);
      if (!t.mask.empty()) names.push_back(n);
    }
    std::vector<KelMenuItem> items(names.size() + 2, KelMenuItem{});
    items[0].Text = GetMsg(MDefaultName);
    items[1].Flags = MIF_SEPARATOR;
    items[1].Text = L"";
    for (size_t i = 0; i < names.size(); ++i) items[i + 2].Text = names[i].c_str();
    if (position < 0 || position >= static_cast<int>(items.size()) || position == 1) position = 0;
    items[static_cast<size_t>(position)].Flags |= MIF_SELECTED;

    int breakCode = -1;
    int chosen = gInfo.HostMenu(gInfo.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, GetMsg(MTitle), GetMsg(MConfigBottom),
                                L"Config", kBreakKeys, &breakCode, items.data(), static_cast<int>(items.size()));
    if (breakCode == -1 && chosen < 0) return;  // Esc
    if (chosen >= 0) position = chosen;
    bool isDefault = chosen == 0;
    std::wstring name = chosen >= 2 ? names[static_cast<size_t>(chosen - 2)] : std::wstring();
    switch (breakCode) {
      case BreakInsert:
        EditEntry(false, std::wstring());
        break;
      case BreakDelete:
        if (!name.empty()) RegDeleteKeyW(HKEY_CURRENT_USER, TypePath(name).c_str());
        break;
      default:  // F4 or Enter
        if (isDefault || !name.empty()) EditEntry(isDefault, name);
        break;
    }
  }
}

// ---- The editor action ------------------------------------------------------------------------

void EditorAction() {
  std::wstring fileName = EditedFileName();
  glossa::RemarkSettings settings;
  settings.fallback = ReadEntry(gKey, L"");
  // Only the first matching type matters, so types are read in order until one matches.
  std::u16string file = U16(fileName);
  if (!MasksMatch(settings.fallback.mask, file)) return;
  for (const std::wstring& n : TypeNames(kTypeNameChars)) {
    glossa::RemarkType t = ReadEntry(TypePath(n), n);
    settings.types.push_back(t);
    if (!t.mask.empty() && MasksMatch(t.mask, file)) break;
  }
  std::optional<std::u16string> comment = glossa::ChooseComment(settings, file, MasksMatch);
  if (!comment) return;

  for (;;) {
    KelMenuItem items[4] = {};
    items[0].Text = GetMsg(MAdd);
    items[1].Text = GetMsg(MRemove);
    items[2].Flags = MIF_SEPARATOR;
    items[2].Text = L"";
    items[3].Text = GetMsg(MConfigure);
    items[gLastAction].Flags |= MIF_SELECTED;
    int chosen = gInfo.HostMenu(gInfo.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, GetMsg(MTitle), nullptr, L"Contents",
                                nullptr, nullptr, items, 4);
    if (chosen < 0 || chosen == 2) return;
    gLastAction = chosen;
    if (chosen == 3) {
      ConfigMenu();
      continue;  // the same comment string as before
    }
    HostRemarkEditor editor;
    glossa::ApplyRemark(editor, chosen == 0 ? glossa::RemarkAction::Add : glossa::RemarkAction::Remove, *comment);
    return;
  }
}


}  // namespace

extern "C" {

int KEL_API GetMinKelVersionW() { return static_cast<int>(KelMakeVersion(2, 0, 1330)); }

void KEL_API SetStartupInfoW(const HostStartupInfo* info) {
  kel::FirewallVoid(
      "SetStartupInfoW",
      [&] {
        gHost.Take(info);  // a null record leaves the plugin without host records (not Ready)
        gKey = gHost.SettingsKey(L"GLOSSA");
      },
      kel::QuietReport{});
}

void KEL_API GetPluginInfoW(PluginInfoW* info) {
  static const wchar_t* menu[1];
  static const wchar_t* config[1];
  menu[0] = config[0] = GetMsg(MTitle);
  *info = PluginInfoW{};
  info->StructSize = sizeof(PluginInfoW);
  info->Flags = PF_EDITOR | PF_DISABLEPANELS;
  info->PluginMenuStrings = menu;
  info->PluginMenuStringsNumber = 1;
  info->PluginConfigStrings = config;
  info->PluginConfigStringsNumber = 1;
}

HANDLE KEL_API OpenPluginW(int, intptr_t) {
  return kel::Firewall(
      "OpenPluginW", INVALID_HANDLE_VALUE,
      [] {
        if (gHost.Ready()) EditorAction();
        return INVALID_HANDLE_VALUE;
      },
      kel::MessageReport{&gHost, L"Glossa"});
}

int KEL_API ConfigureW(int) {
  return kel::Firewall(
      "ConfigureW", 1,
      [] {
        if (gHost.Ready()) ConfigMenu();
        return 1;
      },
      kel::MessageReport{&gHost, L"Glossa"});
}

}  // extern "C"
