// Rubato: the host's editor entry. Every editor input event goes through HandleIndentKey; the
// editor seam below turns its requests into HostEditorControl calls.
#include <windows.h>

#include <string>

#include "editortools/backspace/core/indent.h"
#include "host/kel_editor.h"
#include "host/kel_firewall.h"
#include "host/kel_plugin.h"
#include "host/kel_plugin_support.h"

namespace {

kel::HostCopy gHost;  // the host's records, copied once
bool gSmartTab = true;

class HostIndentEditor : public rubato::IndentEditor {
 public:
  bool Cursor(int* line, int* pos, int* column) override {
    EditorInfoW info;
    if (!editor_.Info(&info)) return false;
    *line = info.CurLine;
    *pos = info.CurPos;
    *column = info.CurTabPos;
    return true;
  }
  bool Line(int number, std::u16string* text) override {
    kel::EditorLineCopy copy;
    if (!editor_.GetLine(number, &copy)) return false;
    text->swap(copy.text);
    return true;
  }
  int Column(int number, int pos) override { return editor_.TabColumn(number, pos); }
  bool SetCursorLine(const std::u16string& text) override {
    return editor_.SetLine(text, nullptr);  // the line keeps its own line end
  }
  void SetCursorColumn(int column) override { editor_.SetPosition({-1, -1, column, -1, -1, -1}); }
  void Redraw() override { editor_.Redraw(); }

 private:
  kel::HostEditorCalls editor_{gHost.info.HostEditorControl};
};

// SmartTab below the plugin's key; missing or unreadable means on.
bool ReadSmartTab() {
  std::wstring path = gHost.SettingsKey(L"Rubato");
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
        gHost.Take(info);
        gSmartTab = ReadSmartTab();
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
        if (!record || !gHost.info.HostEditorControl) return 0;
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
