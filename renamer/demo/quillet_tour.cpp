// quillet_tour.exe: Quillet's rename dialogs in the host stand-in, printed as a user would see
// them: a small folder renamed with a name template (a conflict with a file outside the
// selection resolved through the prompt), the summary, and the rollback of the whole batch.
//
// Usage: quillet_tour PATH-TO-Quillet.dll FOLDER
// The scenario runner's dialog steps cannot wait for a job running on the plugin's worker
// thread, so this tour drives the same host stand-in from code.
#include <windows.h>

#include <cstdio>
#include <string>

#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

void Print(const std::wstring& line) {
  std::string s = Utf8(line);
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void ShowFolder(Host& host) {
  host.ActivePanel().Reread(true);
  Print(L"[panel] " + host.ActivePanel().Folder());
  for (auto& it : host.ActivePanel().Items()) Print(std::wstring(it.selected ? L"  * " : L"    ") + it.name);
}

void SetDword(Host& host, const wchar_t* name, DWORD value) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Quillet").c_str(), 0, KEY_SET_VALUE, &key) == 0) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillet_tour PATH-TO-Quillet.dll FOLDER\n");
    return 2;
  }
  Host host;
  host.onTranscript = Print;
  Plugin* plugin = host.Load(Wide(argv[1]));
  if (!plugin) return 1;
  auto text = [&](int id) { return plugin->messages.at(size_t(id)); };
  SetDword(host, L"MultipleEntries", 1);
  SetDword(host, L"SummaryOnErrorOnly", 0);  // the summary (and its rollback offer) after every run

  host.ActivePanel().SetFolder(Wide(argv[2]));
  for (const wchar_t* name : {L"beach.jpg", L"dunes.jpg", L"harbour.jpg", L"sunset.jpg"}) host.ActivePanel().Select(name);
  Print(L"");
  Print(L"1. The panel: four photos selected; Holiday_02.jpg is already there and not selected.");
  ShowFolder(host);

  Print(L"");
  Print(L"2. Quillet's Construct entry: the user types the template Holiday_?? with start 1, presses");
  Print(L"   Preview (F5), reads the preview list, then presses Enter and confirms.");
  // The dialog's layout is fixed: the template is the combo box after its label, and so on.
  const int templ = 2, start = 4, status = 21, list = 23;
  host.AnswerDialog(DialogScript()
                        .Type(templ, L"Holiday_??")
                        .Type(start, L"1")
                        .Key(KEY_F5)
                        .WaitUntil([&](DialogView& v) { return v.Item(status).text.find(text(17)) != std::wstring::npos ||
                                                               v.Item(status).text.find(L"duplicates found") != std::wstring::npos; })
                        .Check([&](DialogView& v) {
                          Print(L"  " + v.Item(status).text);
                          Print(L"  the preview list:");
                          for (auto& row : v.Item(list).list) Print(L"    " + row);
                        })
                        .Key(KEY_ENTER)
                        .WaitUntil([](DialogView&) { return false; }, 20000));
  host.AnswerMessage(0);  // "Rename the items now?" Yes
  host.AnswerDialog(DialogScript().WaitUntil([](DialogView&) { return false; }, 20000));  // the progress dialog
  host.AnswerMessage(1);  // dunes.jpg -> Holiday_02.jpg is taken: Resolve
  // While the summary asks, the user looks at the panel.
  bool shown = false;
  host.onTranscript = [&](const std::wstring& line) {
    if (!shown && line.find(L"[message") == 0 && line.find(L"Roll back the renamed items?") != std::wstring::npos) {
      shown = true;
      Print(L"");
      Print(L"3. Renamed; the summary offers a rollback. The folder at this moment:");
      ShowFolder(host);
      Print(L"");
      Print(L"4. The user chooses Roll back:");
    }
    Print(line);
  };
  host.AnswerMessage(1);  // the summary: Roll back
  host.AnswerDialog(DialogScript().WaitUntil([](DialogView&) { return false; }, 20000));  // the rollback
  host.OpenPlugin(plugin, OPEN_PLUGINSMENU, 1);
  Print(L"");
  Print(L"5. Every photo has its old name again:");
  ShowFolder(host);
  const int failures = int(host.failures.size());
  if (failures) Print(L"!! " + std::to_wstring(failures) + L" scenario failure(s)");
  return failures ? 1 : 0;
}
