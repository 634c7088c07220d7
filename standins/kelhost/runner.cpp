// kelhost.exe: runs a scenario file in the host stand-in and prints what a user would see.
//
// Scenario lines (one command a line; "#" starts a comment; texts may be "quoted" to keep blanks):
//   load PATH                      load a plugin (numbered 1, 2, ... in load order)
//   panel FOLDER                   the active panel shows FOLDER
//   select NAME...                 select items of the active panel
//   answer message N | answer menu N [BREAK] | answer input TEXT | answer input-esc
//   dialog STEP ; STEP ; ...       the user's actions in the next dialog:
//                                  type N TEXT | key KEY | click N [shift] | select N I | close N | idle
//                                  | wait [MS] (until the dialog closes by itself, e.g. when a job ends)
//   editor-session STEP ; ...      the user's actions in the next modal editor:
//                                  line N TEXT | delete N | append TEXT | save | quit
//   hostdialog KIND TEXT [esc]     the host's own dialog KIND (0..6) confirmed with Enter (or Esc)
//   info P                         the plugin's menu entries
//   open P FROM ITEM               OpenPluginW(FROM, ITEM)
//   command P TEXT                 OpenPluginW from the command line with TEXT (what follows the prefix)
//   open-panel P FROM ITEM         the same, showing the plugin's panel in the active panel
//   cd DIR                         change the active panel's directory (the plugin's SetDirectory)
//   panel-key KEY                  a key in a plugin's panel (ProcessKey)
//   close-panel                    close the plugin's panel
//   swap                           the other panel becomes the active one
//   current NAME                   the cursor on NAME in the active panel
//   enter                          Enter on the current item of an 8-bit plugin's panel: a folder's
//                                  SetDirectory (".." comes back with the cursor on the folder left)
//   copy | move                    F5 / F6: from an 8-bit plugin's active panel into the other
//                                  panel's folder (GetFiles); else from the active panel into the
//                                  other panel's 8-bit plugin (PutFiles)
//   delete                         F8 in an 8-bit plugin's panel (DeleteFiles)
//   mkdir NAME                     F7 in an 8-bit plugin's panel (MakeDirectory)
//   show-state                     the active panel's cursor, top item, view and sort modes, and
//                                  the command line
//   configure P ITEM               ConfigureW(ITEM)
//   edit FILE                      open FILE in the editor
//   key KEY                        a key in the editor (plugins first, then the editor)
//   show-editor                    print the editor's text
//   synchro [MS]                   wait (up to MS, default 10000) for a plugin's worker to ask for
//                                  the synchronous event, and deliver it
//   show-panel                     print the active panel
//   registry                       print the plugins' settings
//   clipboard TEXT                 puts TEXT on the clipboard as Unicode text
//   say TEXT                       print TEXT
//   fail NAME[/COMMAND] [N [COUNT]] the N-th call (default 1) of host service NAME (as in the
//                                  start-up record: HostEditorControl, HostSendDlgMessage, ...) or
//                                  of a system function the plugins import (malloc, GlobalLock,
//                                  SetClipboardData, RegSetValueExW, ...) fails, and COUNT - 1
//                                  calls after it (default 1; -1 every one); COMMAND narrows a
//                                  control service to one command or dialog message (a number)
//   fail-none                      forget the failures scripted so far
// KEY: a character, or Enter, Esc, Tab, BS, Space, Up, Down, Left, Right, Home, End, Ins, Del,
// Backslash (the key beside Enter), F1..F12, optionally prefixed by Shift+, Ctrl+, Alt+.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "standins/kelhost/editor.h"
#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

void Print(const std::wstring& line) {
  std::string s = Utf8(line);
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Splits a line into words; "quoted text" is one word with its blanks.
std::vector<std::wstring> Words(const std::wstring& line) {
  std::vector<std::wstring> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
    if (i >= line.size()) break;
    std::wstring w;
    if (line[i] == L'"') {
      size_t end = line.find(L'"', i + 1);
      if (end == std::wstring::npos) end = line.size();
      w = line.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < line.size() && line[i] != L' ' && line[i] != L'\t') w += line[i++];
    }
    out.push_back(w);
  }
  return out;
}

std::wstring Rest(const std::vector<std::wstring>& w, size_t from) {
  std::wstring s;
  for (size_t i = from; i < w.size(); ++i) s += (i > from ? L" " : L"") + w[i];
  return s;
}

struct KeySpec {
  uint32_t kelKey = 0;
  EditorKeyEvent event;
};

KeySpec ParseKey(std::wstring name) {
  KeySpec k;
  uint32_t mods = 0;
  DWORD state = 0;
  for (;;) {
    if (name.rfind(L"Shift+", 0) == 0) { mods |= KEY_SHIFT; state |= SHIFT_PRESSED; name.erase(0, 6); }
    else if (name.rfind(L"Ctrl+", 0) == 0) { mods |= KEY_CTRL; state |= LEFT_CTRL_PRESSED; name.erase(0, 5); }
    else if (name.rfind(L"Alt+", 0) == 0) { mods |= KEY_ALT; state |= LEFT_ALT_PRESSED; name.erase(0, 4); }
    else break;
  }
  struct Named { const wchar_t* name; uint32_t key; WORD vk; wchar_t ch; };
  static const Named kNamed[] = {
      {L"Enter", KEY_ENTER, VK_RETURN, L'\r'}, {L"Esc", KEY_ESC, VK_ESCAPE, 27}, {L"Tab", KEY_TAB, VK_TAB, L'\t'},
      {L"BS", KEY_BS, VK_BACK, 8}, {L"Space", KEY_SPACE, VK_SPACE, L' '}, {L"Up", KEY_UP, VK_UP, 0},
      {L"Down", KEY_DOWN, VK_DOWN, 0}, {L"Left", KEY_LEFT, VK_LEFT, 0}, {L"Right", KEY_RIGHT, VK_RIGHT, 0},
      {L"Home", KEY_HOME, VK_HOME, 0}, {L"End", KEY_END, VK_END, 0}, {L"Ins", KEY_INS, VK_INSERT, 0},
      {L"Del", KEY_DEL, VK_DELETE, 0}, {L"Backslash", L'\\', VK_OEM_5, L'\\'}};
  for (const auto& n : kNamed)
    if (name == n.name) {
      k.kelKey = n.key | mods;
      k.event.vk = n.vk;
      k.event.ch = n.ch;
    }
  if (!k.kelKey && name.size() >= 2 && name[0] == L'F') {
    int f = _wtoi(name.c_str() + 1);
    if (f >= 1 && f <= 12) {
      k.kelKey = (KEY_FKEYBASE + 0x6F + static_cast<uint32_t>(f)) | mods;
      k.event.vk = static_cast<WORD>(VK_F1 + f - 1);
    }
  }
  if (!k.kelKey && name.size() == 1) {
    wchar_t c = name[0];
    k.kelKey = (mods & (KEY_ALT | KEY_CTRL)) ? (static_cast<uint32_t>(towupper(c)) | mods) : c;
    k.event.ch = c;
    k.event.vk = static_cast<WORD>(towupper(c));
  }
  k.event.controlState = state;
  return k;
}

DialogScript ParseDialog(const std::wstring& text) {
  DialogScript s;
  std::wstringstream ss(text);
  std::wstring part;
  while (std::getline(ss, part, L';')) {
    auto w = Words(part);
    if (w.empty()) continue;
    if (w[0] == L"type" && w.size() >= 2) s.Type(_wtoi(w[1].c_str()), Rest(w, 2));
    else if (w[0] == L"key" && w.size() >= 2) s.Key(ParseKey(w[1]).kelKey);
    else if (w[0] == L"click" && w.size() >= 2) s.Click(_wtoi(w[1].c_str()), w.size() > 2 && w[2] == L"shift");
    else if (w[0] == L"select" && w.size() >= 3) s.Select(_wtoi(w[1].c_str()), _wtoi(w[2].c_str()));
    else if (w[0] == L"close" && w.size() >= 2) s.Close(_wtoi(w[1].c_str()));
    else if (w[0] == L"idle") s.Idle();
    else if (w[0] == L"wait") s.WaitUntil([](DialogView&) { return false; }, w.size() > 1 ? _wtoi(w[1].c_str()) : 30000);
    else Print(L"!! unknown dialog step: " + part);
  }
  return s;
}

Host::EditorSession ParseEditorSession(const std::wstring& text) {
  std::vector<std::vector<std::wstring>> steps;
  std::wstringstream ss(text);
  std::wstring part;
  while (std::getline(ss, part, L';')) {
    auto w = Words(part);
    if (!w.empty()) steps.push_back(w);
  }
  return [steps](Editor& e) {
    for (const auto& w : steps) {
      if (w[0] == L"line" && w.size() >= 2) {
        size_t n = static_cast<size_t>(_wtoi(w[1].c_str()));
        if (n < e.lines.size()) e.lines[n].text = Rest(w, 2);
        e.modified = true;
      } else if (w[0] == L"delete" && w.size() >= 2) {
        size_t n = static_cast<size_t>(_wtoi(w[1].c_str()));
        if (n < e.lines.size()) e.lines.erase(e.lines.begin() + static_cast<long>(n));
        e.modified = true;
      } else if (w[0] == L"append") {
        if (!e.lines.empty() && e.lines.back().eol.empty()) e.lines.back().eol = L"\n";
        e.lines.push_back(EditorLine{Rest(w, 1), L"\n"});
        e.modified = true;
      } else if (w[0] == L"save") {
        e.Save();
      }
    }
  };
}

void DumpKey(HKEY root, const std::wstring& path, const std::wstring& shown) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  Print(L"  [" + shown + L"]");
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLen = 512, type = 0, size = 0;
    BYTE data[8192];
    size = sizeof(data);
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    std::wstring value;
    if (type == REG_DWORD && size == 4) value = std::to_wstring(*reinterpret_cast<DWORD*>(data));
    else if (type == REG_SZ) value = L"\"" + std::wstring(reinterpret_cast<wchar_t*>(data), wcsnlen(reinterpret_cast<wchar_t*>(data), size / 2)) + L"\"";
    else value = L"(" + std::to_wstring(size) + L" bytes)";
    Print(L"    " + std::wstring(name) + L" = " + value);
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLen = 512;
    if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    DumpKey(root, path + L"\\" + name, shown + L"\\" + name);
  }
  RegCloseKey(key);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kelhost SCENARIO\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read the scenario\n");
    return 2;
  }
  std::wstring base = argv[1];
  size_t slash = base.find_last_of(L"\\/");
  base = slash == std::wstring::npos ? L"" : base.substr(0, slash + 1);
  auto resolve = [&](const std::wstring& p) {
    return (p.size() > 1 && (p[1] == L':' || p[0] == L'\\' || p[0] == L'/')) ? p : base + p;
  };

  Host host;
  host.onTranscript = Print;
  host.onFailure = [](const std::wstring& what) { Print(L"!! " + what); };
  std::vector<Plugin*> plugins;
  auto plugin = [&](const std::wstring& n) -> Plugin* {
    size_t i = static_cast<size_t>(_wtoi(n.c_str()));
    return i >= 1 && i <= plugins.size() ? plugins[i - 1] : nullptr;
  };
  std::string raw;
  while (std::getline(in, raw)) {
    while (!raw.empty() && (raw.back() == '\r' || raw.back() == '\n')) raw.pop_back();
    std::wstring line = Wide(raw);
    size_t first = line.find_first_not_of(L" \t");
    if (first == std::wstring::npos || line[first] == L'#') continue;
    auto w = Words(line);
    const std::wstring& cmd = w[0];
    if (cmd == L"load" && w.size() >= 2) {
      Plugin* p = host.Load(resolve(w[1]));
      if (p) {
        plugins.push_back(p);
        Print(L"[loaded] " + p->name);
      }
    } else if (cmd == L"panel" && w.size() >= 2) {
      host.ActivePanel().SetFolder(resolve(w[1]));
    } else if (cmd == L"select") {
      for (size_t i = 1; i < w.size(); ++i) host.ActivePanel().Select(w[i]);
    } else if (cmd == L"answer" && w.size() >= 2) {
      if (w[1] == L"message" && w.size() >= 3) host.AnswerMessage(_wtoi(w[2].c_str()));
      else if (w[1] == L"menu" && w.size() >= 3) host.AnswerMenu(_wtoi(w[2].c_str()), w.size() > 3 ? _wtoi(w[3].c_str()) : -1);
      else if (w[1] == L"input") host.AnswerInput(Rest(w, 2));
      else if (w[1] == L"input-esc") host.AnswerInput(std::nullopt);
    } else if (cmd == L"dialog") {
      host.AnswerDialog(ParseDialog(line.substr(line.find(L"dialog") + 6)));
    } else if (cmd == L"editor-session") {
      host.AnswerEditor(ParseEditorSession(line.substr(line.find(L"editor-session") + 14)));
    } else if (cmd == L"hostdialog" && w.size() >= 3) {
      bool esc = w.size() > 3 && w[3] == L"esc";
      host.RunHostDialog(_wtoi(w[1].c_str()), w[2], DialogScript().Key(esc ? KEY_ESC : KEY_ENTER));
    } else if (cmd == L"info" && w.size() >= 2 && plugin(w[1])) {
      PluginInfoW info;
      host.GetPluginInfo(plugin(w[1]), &info);
    } else if (cmd == L"open" && w.size() >= 4 && plugin(w[1])) {
      host.OpenPlugin(plugin(w[1]), _wtoi(w[2].c_str()), _wtoi(w[3].c_str()));
    } else if (cmd == L"command" && w.size() >= 2 && plugin(w[1])) {
      // The text goes as typed, quotes included: after the command word and the plugin number.
      std::wstring text;
      size_t at = line.find(w[1], line.find(L"command") + 7);
      if (at != std::wstring::npos && w.size() >= 3) {
        at = line.find_first_not_of(L" \t", at + w[1].size());
        if (at != std::wstring::npos) text = line.substr(at);
      }
      Print(L"[command line] " + text);
      host.OpenPlugin(plugin(w[1]), OPEN_COMMANDLINE, reinterpret_cast<intptr_t>(text.c_str()));
    } else if (cmd == L"open-panel" && w.size() >= 4 && plugin(w[1])) {
      if (!host.OpenPanel(plugin(w[1]), _wtoi(w[2].c_str()), _wtoi(w[3].c_str()))) Print(L"[panel] no panel opened");
    } else if (cmd == L"cd" && w.size() >= 2) {
      if (!host.PanelSetDirectory(Rest(w, 1))) Print(L"[panel] cannot change to " + Rest(w, 1));
    } else if (cmd == L"panel-key" && w.size() >= 2) {
      KeySpec k = ParseKey(w[1]);
      unsigned state = ((k.kelKey & KEY_CTRL) ? 1u : 0u) | ((k.kelKey & KEY_ALT) ? 2u : 0u) | ((k.kelKey & KEY_SHIFT) ? 4u : 0u);
      int r = host.PanelKey(static_cast<int>(k.event.vk), state);
      Print(L"[panel] key " + w[1] + (r ? L" handled by the plugin" : L" left to the host"));
    } else if (cmd == L"close-panel") {
      host.ClosePanel();
    } else if (cmd == L"swap") {
      host.SwapPanels();
    } else if (cmd == L"current" && w.size() >= 2) {
      Panel& panel = host.ActivePanel();
      for (size_t i = 0; i < panel.Items().size(); ++i)
        if (panel.Items()[i].name == Rest(w, 1)) panel.current = static_cast<int>(i);
    } else if (cmd == L"enter") {
      if (!host.PanelEnter()) Print(L"[panel] the plugin's directory did not change");
    } else if (cmd == L"copy" || cmd == L"move") {
      Panel& active = host.ActivePanel();
      if (active.IsPlugin() && !active.plugin->unicode) host.PanelGetFiles(cmd == L"move");
      else host.PanelPutFiles(cmd == L"move");
    } else if (cmd == L"delete") {
      host.PanelDeleteFiles();
    } else if (cmd == L"mkdir" && w.size() >= 2) {
      std::wstring name = Rest(w, 1);
      host.PanelMakeDirectory(name);
    } else if (cmd == L"show-state") {
      Panel& panel = host.ActivePanel();
      const auto& items = panel.Items();
      std::wstring cur = panel.current >= 0 && panel.current < static_cast<int>(items.size())
                             ? items[static_cast<size_t>(panel.current)].name : L"";
      Print(L"[panel state] cursor on \"" + cur + L"\", top " + std::to_wstring(panel.top) + L", view mode " +
            std::to_wstring(panel.viewMode) + L", sort mode " + std::to_wstring(panel.sortMode) +
            (panel.sortReverse ? L" reversed" : L"") + L", command line \"" + host.commandLine + L"\"");
    } else if (cmd == L"configure" && w.size() >= 3 && plugin(w[1])) {
      int r = host.Configure(plugin(w[1]), _wtoi(w[2].c_str()));
      Print(L"[configure] returned " + std::to_wstring(r));
    } else if (cmd == L"edit" && w.size() >= 2) {
      if (!host.OpenEditor(resolve(w[1]))) Print(L"!! cannot open " + w[1]);
    } else if (cmd == L"key" && w.size() >= 2) {
      KeySpec k = ParseKey(w[1]);
      host.EditorInput(k.event);
      EditorKeyEvent up = k.event;
      up.keyDown = false;
      host.EditorInput(up);
    } else if (cmd == L"show-editor") {
      if (Editor* e = host.CurrentEditor()) {
        Print(L"[editor text] " + e->fileName);
        for (size_t i = 0; i < e->lines.size(); ++i) {
          std::wstring t = e->lines[i].text;
          for (auto& c : t)
            if (c == L'\t') c = L'\u2192';
          Print(L"  " + std::to_wstring(i + 1) + L": " + t + (i == static_cast<size_t>(e->curLine) ? L"   <- cursor" : L""));
        }
      }
    } else if (cmd == L"synchro") {
      // A worker thread asks for the event when it is done; what the event does shows in the
      // transcript (a panel update, a message), so the wait ends when the transcript grows.
      int ms = w.size() >= 2 ? _wtoi(w[1].c_str()) : 10000;
      size_t seen = host.transcript.size();
      for (int waited = 0; host.transcript.size() == seen && waited <= ms; waited += 50) {
        Sleep(50);
        host.DeliverSynchroEvents();
      }
      if (host.transcript.size() == seen) Print(L"[synchro] no event within " + std::to_wstring(ms) + L" ms");
    } else if (cmd == L"show-panel") {
      Panel& panel = host.ActivePanel();
      if (panel.IsPlugin()) {
        Print(L"[panel] " + panel.pluginTitle + L"  (" + panel.pluginDir + L")");
        for (auto& l : panel.infoLines) Print(L"  | " + l.first + L" " + l.second);
      } else {
        Print(L"[panel] " + panel.Folder());
      }
      for (auto& it : host.ActivePanel().Items()) {
        std::wstring shown = std::wstring(it.selected ? L"  * " : L"    ") + it.name;
        // Custom columns (an 8-bit plugin's texts, OEM) after the name.
        for (auto& c : it.columns) shown += L"  | " + FromOem(c.c_str());
        Print(shown);
      }
    } else if (cmd == L"registry") {
      DumpKey(HKEY_CURRENT_USER, host.RootKey(), L"settings");
    } else if (cmd == L"fail" && w.size() >= 2) {
      size_t cut = w[1].find(L'/');
      std::string name = Utf8(w[1].substr(0, cut));
      int command = cut == std::wstring::npos ? -1 : _wtoi(w[1].c_str() + cut + 1);
      int nth = w.size() > 2 ? _wtoi(w[2].c_str()) : 1;
      int count = w.size() > 3 ? _wtoi(w[3].c_str()) : 1;
      host.FailCall(name, nth, count, command);
    } else if (cmd == L"fail-none") {
      host.ClearFailures();
    } else if (cmd == L"clipboard") {
      std::wstring text = Rest(w, 1);
      bool put = false;
      if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        if (void* p = block ? GlobalLock(block) : nullptr) {
          std::memcpy(p, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
          GlobalUnlock(block);
          put = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
          if (!put) GlobalFree(block);
        }
        CloseClipboard();
      }
      Print(put ? L"[clipboard] " + std::to_wstring(text.size()) + L" characters" : L"!! the clipboard refused the text");
    } else if (cmd == L"say") {
      size_t at = line.find(L"say") + 3;
      Print(at < line.size() ? line.substr(at + 1) : std::wstring());
    } else {
      Print(L"!! unknown scenario line: " + line);
    }
  }
  int failures = static_cast<int>(host.failures.size());
  if (failures) Print(L"!! " + std::to_wstring(failures) + L" scenario failure(s)");
  return failures ? 1 : 0;
}
