// Rubato: the host's editor entry. Every editor input event goes through HandleIndentKey; the
// editor seam below turns its requests into HostEditorControl calls.
#include <windows.h>

#include <string>

#include "editortools/backspace/core/indent.h"
#include "host/kel_firewall.h"
#include "host/kel_plugin.h"

namespace {

HostEditorControlFn gEditorControl = nullptr;
bool gSmartTab = true;

std::u16string U16(const wchar_t* text, int length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length));
}

class HostIndentEditor : public rubato::IndentEditor {
 public:
  bool Cursor(int* line, int* pos, int* column) override {
    EditorInfoW info{};
    if (!gEditorControl(ECTL_GETINFO, 0, &info)) return false;
    *line = info.CurLine;
    *pos = info.CurPos;
    *column = info.CurTabPos;
    return true;
  }
  bool Line(int number, std::u16string* text) override {
    EditorGetStringW get{};
    get.StringNumber = number;
    if (!gEditorControl(ECTL_GETSTRING, 0, &get) || get.StringLength < 0) return false;
    *text = U16(get.StringText, get.StringLength);
    return true;
  }
  int Column(int number, int pos) override {
    EditorConvertPosW convert{number, pos, pos};
    gEditorControl(ECTL_REALTOTAB, 0, &convert);
    return convert.DestPos;
  }
  bool SetCursorLine(const std::u16string& text) override {
    EditorSetStringW set{};
    set.StringNumber = -1;
    set.StringText = reinterpret_cast<const wchar_t*>(text.c_str());
    set.StringEOL = nullptr;  // the line keeps its own line end
    set.StringLength = static_cast<int>(text.size());
    return gEditorControl(ECTL_SETSTRING, 0, &set) != 0;
  }
  void SetCursorColumn(int column) override {
    EditorSetPositionW pos{-1, -1, column, -1, -1, -1};
    gEditorControl(ECTL_SETPOSITION, 0, &pos);
  }
  void Redraw() override { gEditorControl(ECTL_REDRAW, 0, nullptr); }
};

// SmartTab below the plugin's key; missing or unreadable means on.
bool ReadSmartTab(const wchar_t* rootKey) {
  std::wstring path = std::wstring(rootKey ? rootKey : L"") + L"\\Rubato";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return true;
  DWORD value = 1, type = 0, size = sizeof value;
  LONG rc = RegQueryValueExW(key, L"SmartTab", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return true;
  return value != 0;
}

}  // namespace

extern "C" {

int KEL_API GetMinKelVersionW() { return static_cast<int>(KelMakeVersion(2, 0, 1086)); }

void KEL_API SetStartupInfoW(const HostStartupInfo* info) {
  kel::FirewallVoid(
      "SetStartupInfoW",
      [&] {
        gEditorControl = info->HostEditorControl;
        gSmartTab = ReadSmartTab(info->RootKey);
      },
      kel::QuietReport{});
}

void KEL_API GetPluginInfoW(PluginInfoW* info) {
  static const wchar_t* const kConfigStrings[] = {L"Rubato"};
  *info = PluginInfoW{};
  info->StructSize = sizeof(PluginInfoW);
  info->Flags = PF_DISABLEPANELS;
  info->PluginConfigStrings = kConfigStrings;
  info->PluginConfigStringsNumber = 1;
}

int KEL_API ProcessEditorInputW(const INPUT_RECORD* record) {
  return kel::Firewall(
      "ProcessEditorInputW", 0,
      [&]() -> int {
        if (!record || !gEditorControl) return 0;
        rubato::IndentKey key;
        key.eventType = record->EventType;
        if (key.eventType != rubato::kKeyEvent && key.eventType != rubato::kReplayedKeyEvent) return 0;
        const KEY_EVENT_RECORD& k = record->Event.KeyEvent;
        key.keyDown = k.bKeyDown != FALSE;
        key.controlState = k.dwControlKeyState;
        key.ch = static_cast<char16_t>(k.uChar.UnicodeChar);
        HostIndentEditor editor;
        return rubato::HandleIndentKey(editor, key, gSmartTab) ? 1 : 0;
      },
      kel::QuietReport{});
}

}  // extern "C"
