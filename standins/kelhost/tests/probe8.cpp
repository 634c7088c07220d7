// An 8-bit plugin that checks what the host stand-in hands it. Its panel lists a small tree of
// folders and files, each item carrying a user-data block; every call it receives is written to a
// log (read by the tests through ProbeLog, and shown as the panel's information line):
//  - FreeFindData: whether it got back the very array that GetFindData gave, with its count;
//  - GetFiles / PutFiles / DeleteFiles: the names, and whether each item's user data is an intact
//    copy of the block listed for it (never the probe's own block);
//  - F4: a dialog of 8-bit items (edit, check box, combo box, a button that fills the edit with a
//    Cyrillic text); Ctrl+I: the panel services (both panels' information, command line, view and
//    sort modes, selection flags, update and redraw).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/kel_plugin.h"

namespace {

HostStartupInfoA g_host;
std::string g_log;        // OEM lines, each ending in "\n"
std::string g_lastLine;

struct Node {
  bool folder = false;
  uint32_t size = 0;
};
// Paths relative to the root, "\" between components; the root is "". "mod" behaves like a
// module's top: ".." from it is refused after going back to the root (see SetDirectory).
std::map<std::string, Node> g_tree;
// Each open panel has its own directory; g_dir is that of the panel the host is calling.
std::string g_dir;
std::map<HANDLE, std::string> g_dirs;
HANDLE g_active = nullptr;

void Use(HANDLE h) {
  if (h == g_active) return;
  if (g_active) g_dirs[g_active] = g_dir;
  g_active = h;
  g_dir = g_dirs[h];
}

// The user data the probe hangs on each item: its own size first, as the host expects.
struct UserBlock {
  uint32_t size;
  uint32_t magic;
  char path[64];
};
constexpr uint32_t kMagic = 0x50524F42;
std::set<const void*> g_ownBlocks;
std::map<PluginPanelItemA*, int> g_arrays;  // arrays handed out, with their counts

std::string Oem(const wchar_t* w) {
  char buf[512];
  int n = WideCharToMultiByte(CP_OEMCP, 0, w, -1, buf, sizeof(buf), nullptr, nullptr);
  return n > 0 ? std::string(buf) : std::string();
}

void Log(const std::string& line) {
  g_log += line + "\n";
  g_lastLine = line;
}

std::string Join(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "\\" + name; }

std::string Parent(const std::string& path) {
  size_t cut = path.rfind('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

void Reset() {
  g_tree.clear();
  g_tree["sub"] = {true, 0};
  g_tree[Oem(L"Папка")] = {true, 0};
  g_tree["root.txt"] = {false, 12};
  g_tree["mod"] = {true, 0};
  g_tree["mod\\m.txt"] = {false, 7};
  g_tree["sub\\inner.txt"] = {false, 34};
  g_tree[Join(Oem(L"Папка"), Oem(L"Отчёт.txt"))] = {false, 56};
}

// Checks the user data of items the host passed back; returns "copied", "none" or what is wrong.
std::string CheckUserData(const PluginPanelItemA* items, int count, const std::string& dir) {
  int with = 0, own = 0;  // the host's ".." item is not the probe's
  for (int i = 0; i < count; ++i) {
    const PluginPanelItemA& it = items[i];
    if (std::strcmp(it.FileName, "..") != 0) ++own;
    if (!(it.Flags & PPIF_USERDATA) || !it.UserData) continue;
    ++with;
    const auto* b = reinterpret_cast<const UserBlock*>(it.UserData);
    if (g_ownBlocks.count(b)) return "the probe's own block";
    if (b->size != sizeof(UserBlock) || b->magic != kMagic) return "a damaged block";
    if (Join(dir, it.FileName) != b->path) return std::string("the block of ") + b->path;
  }
  return with == 0 ? "none" : with == own ? "copied" : "partly";
}

std::string Names(const PluginPanelItemA* items, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    if (i) s += ',';
    s.append(items[i].FileName, strnlen(items[i].FileName, sizeof(items[i].FileName)));
  }
  return s;
}

// ---- The dialog (F4) -------------------------------------------------------------------------

enum { kBox, kLabel, kEdit, kKeep, kCombo, kFill, kOk, kCancel, kItems };

intptr_t KEL_API DialogProc(HANDLE dlg, int msg, int p1, intptr_t p2) {
  auto send = g_host.HostSendDlgMessage;
  switch (msg) {
    case DN_INITDIALOG:
      Log("dialog init param=" + std::to_string(p2));
      send(dlg, DM_LISTADDSTR, kCombo, reinterpret_cast<intptr_t>(Oem(L"Три").c_str()));
      return TRUE;
    case DN_BTNCLICK:
      if (p1 == kFill) {
        std::string text = Oem(L"Новое имя");
        send(dlg, DM_SETTEXTPTR, kEdit, reinterpret_cast<intptr_t>(text.c_str()));
        return TRUE;
      }
      break;
    case DN_EDITCHANGE:
      if (p1 == kEdit && p2) Log(std::string("edit change: ") + reinterpret_cast<const KelDialogItemA*>(p2)->Data);
      return TRUE;
    case DN_CLOSE:
      if (p1 == kOk) {
        char ptr[512] = {};
        send(dlg, DM_GETTEXTPTR, kEdit, reinterpret_cast<intptr_t>(ptr));
        char small[6] = {};
        KelDialogItemDataA d{5, small};
        intptr_t length = send(dlg, DM_GETTEXT, kEdit, reinterpret_cast<intptr_t>(&d));
        KelDialogItemA item{};
        send(dlg, DM_GETDLGITEM, kKeep, reinterpret_cast<intptr_t>(&item));
        KelListUpdateA u{1, {}};
        send(dlg, DM_LISTGETITEM, kCombo, reinterpret_cast<intptr_t>(&u));
        Log(std::string("close: text=") + ptr + " length=" + std::to_string(length) + " first5=" + small +
            " check=" + item.Data + ":" + std::to_string(item.Param.Selected) + " list1=" + u.Item.Text);
        if (!ptr[0]) {
          Log("close refused: empty name");
          return FALSE;
        }
      }
      return TRUE;
    default:
      break;
  }
  return g_host.HostDefDlgProc(dlg, msg, p1, p2);
}

int RunDialog(const std::string& current) {
  KelDialogItemA items[kItems] = {};
  auto set = [&](int i, int type, int x1, int y1, int x2, const std::string& text) {
    items[i].Type = type;
    items[i].X1 = x1; items[i].Y1 = y1; items[i].X2 = x2; items[i].Y2 = y1;
    std::strncpy(items[i].Data, text.c_str(), sizeof(items[i].Data) - 1);
  };
  set(kBox, DI_DOUBLEBOX, 3, 1, 56, Oem(L"Переименовать"));
  items[kBox].Y2 = 8;
  set(kLabel, DI_TEXT, 5, 2, 0, "Name:");
  set(kEdit, DI_EDIT, 5, 3, 54, current);
  items[kEdit].Focus = 1;
  items[kEdit].Flags = DIF_HISTORY;
  items[kEdit].Param.History = "ProbeName";
  set(kKeep, DI_CHECKBOX, 5, 4, 0, "Keep case");
  items[kKeep].Param.Selected = 1;
  static KelListItemA listItems[2] = {};
  std::strcpy(listItems[0].Text, "One");
  std::strcpy(listItems[1].Text, Oem(L"Два").c_str());
  listItems[1].Flags = LIF_SELECTED;
  static KelListA list{2, listItems};
  set(kCombo, DI_COMBOBOX, 5, 5, 30, "");
  items[kCombo].Param.ListItems = &list;
  set(kFill, DI_BUTTON, 5, 7, 0, "Fill");
  items[kFill].Flags = DIF_BTNNOCLOSE;
  set(kOk, DI_BUTTON, 20, 7, 0, "OK");
  items[kOk].DefaultButton = 1;
  set(kCancel, DI_BUTTON, 30, 7, 0, "Cancel");
  int exit = g_host.HostDialog(g_host.ModuleNumber, -1, -1, 60, 10, "Rename", items, kItems, 0, 0, DialogProc, 77);
  int pos = -1;
  for (int i = 0; i < 2; ++i)
    if (listItems[i].Flags & LIF_SELECTED) pos = i;
  Log("dialog exit=" + std::to_string(exit) + " text=" + items[kEdit].Data + " keep=" +
      std::to_string(items[kKeep].Param.Selected) + " combo=" + items[kCombo].Data + " pos=" + std::to_string(pos));
  return exit;
}

// ---- The panel services (Ctrl+I) ---------------------------------------------------------------

void PanelServices(HANDLE self) {
  auto ctl = g_host.HostPanelControl;
  for (HANDLE h : {self, PANEL_PASSIVE}) {
    PanelInfoA info{};
    ctl(h, FCTL_GETPANELINFO, &info);
    std::string line = std::string(h == self ? "this" : "other") + ": plugin=" + std::to_string(info.Plugin) +
                       " items=" + std::to_string(info.ItemsNumber) + " current=" + std::to_string(info.CurrentItem) +
                       " focus=" + std::to_string(info.Focus) + " view=" + std::to_string(info.ViewMode) +
                       " sort=" + std::to_string(info.SortMode) + " dir=" + info.CurDir + " selected=" +
                       Names(info.SelectedItems, info.SelectedItemsNumber);
    if (info.Plugin) line += " userdata=" + CheckUserData(info.PanelItems, info.ItemsNumber, g_dir);
    Log(line);
  }
  std::string cmd = "ppc:" + Oem(L"Папка");
  ctl(self, FCTL_SETCMDLINE, const_cast<char*>(cmd.c_str()));
  char back[1024] = {};
  ctl(self, FCTL_GETCMDLINE, back);
  Log(std::string("command line: ") + back);
  int view = 3, sort = 4, reverse = 1;
  ctl(self, FCTL_SETVIEWMODE, &view);
  ctl(self, FCTL_SETSORTMODE, &sort);
  ctl(self, FCTL_SETSORTORDER, &reverse);
  // Select the last item through the selection flags, keep it over an update, then move the cursor.
  PanelInfoA info{};
  ctl(self, FCTL_GETPANELINFO, &info);
  for (int i = 0; i < info.ItemsNumber; ++i)
    info.PanelItems[i].Flags = i == info.ItemsNumber - 1 ? (info.PanelItems[i].Flags | PPIF_SELECTED)
                                                         : (info.PanelItems[i].Flags & ~static_cast<uint32_t>(PPIF_SELECTED));
  ctl(self, FCTL_SETSELECTION, &info);
  ctl(self, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
  PanelRedrawInfoA redraw{info.ItemsNumber - 1, 1};
  ctl(self, FCTL_REDRAWPANEL, &redraw);
  PanelInfoA after{};
  ctl(self, FCTL_GETPANELINFO, &after);
  Log("after: view=" + std::to_string(after.ViewMode) + " sort=" + std::to_string(after.SortMode) +
      " reverse=" + std::to_string((after.Flags & PFLAGS_REVERSESORTORDER) != 0) + " current=" +
      std::to_string(after.CurrentItem) + " top=" + std::to_string(after.TopPanelItem) + " selected=" +
      Names(after.SelectedItems, after.SelectedItemsNumber));
}

}  // namespace

extern "C" {

void KEL_API SetStartupInfo(const HostStartupInfoA* info) {
  std::memset(&g_host, 0, sizeof(g_host));
  std::memcpy(&g_host, info, std::min<size_t>(static_cast<size_t>(info->StructSize), sizeof(g_host)));
}

// The first panel starts a fresh tree; a second one shows the same tree.
HANDLE KEL_API OpenPlugin(int, int) {
  static intptr_t opened = 0;
  if (g_dirs.empty()) {
    Reset();
    g_log.clear();
  }
  HANDLE h = reinterpret_cast<HANDLE>(0x8000 + ++opened);
  g_dirs[h] = "";
  Use(h);
  g_dir.clear();
  Log("open");
  return h;
}

void KEL_API ClosePlugin(HANDLE h) {
  g_dirs.erase(h);
  if (g_active == h) g_active = nullptr;
  Log("close, arrays outstanding=" + std::to_string(g_arrays.size()));
}

void KEL_API GetOpenPluginInfo(HANDLE h, OpenPluginInfoA* info) {
  Use(h);
  static std::string dir, title;
  static InfoPanelLineA line;
  dir = g_dir;
  title = "Probe8:" + g_dir;
  std::memset(&line, 0, sizeof(line));
  std::strcpy(line.Text, "Last:");
  std::strncpy(line.Data, g_lastLine.c_str(), sizeof(line.Data) - 1);
  info->StructSize = sizeof(OpenPluginInfoA);
  info->Flags = OPIF_ADDDOTS;
  info->CurDir = dir.c_str();
  info->PanelTitle = title.c_str();
  info->InfoLines = &line;
  info->InfoLinesNumber = 1;
}

int KEL_API GetFindData(HANDLE h, PluginPanelItemA** items, int* count, int) {
  Use(h);
  std::vector<std::pair<std::string, Node>> here;
  for (auto& [path, node] : g_tree)
    if (Parent(path) == g_dir) here.emplace_back(path, node);
  auto* list = static_cast<PluginPanelItemA*>(calloc(here.size() + 1, sizeof(PluginPanelItemA)));
  for (size_t i = 0; i < here.size(); ++i) {
    PluginPanelItemA& it = list[i];
    std::string name = g_dir.empty() ? here[i].first : here[i].first.substr(g_dir.size() + 1);
    std::strncpy(it.FileName, name.c_str(), sizeof(it.FileName) - 1);
    it.FileAttributes = here[i].second.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    it.FileSizeLow = here[i].second.size;
    auto* block = static_cast<UserBlock*>(calloc(1, sizeof(UserBlock)));
    block->size = sizeof(UserBlock);
    block->magic = kMagic;
    std::strncpy(block->path, here[i].first.c_str(), sizeof(block->path) - 1);
    g_ownBlocks.insert(block);
    it.UserData = reinterpret_cast<intptr_t>(block);
    it.Flags = PPIF_USERDATA;
  }
  *items = list;
  *count = static_cast<int>(here.size());
  g_arrays[list] = *count;
  return 1;
}

void KEL_API FreeFindData(HANDLE, PluginPanelItemA* items, int count) {
  auto it = g_arrays.find(items);
  if (it == g_arrays.end() || it->second != count) {
    Log("FreeFindData: an array the probe did not hand out");
    return;
  }
  g_arrays.erase(it);
  for (int i = 0; i < count; ++i) {
    // Spoiled before it goes, so a host that kept the pointer instead of a copy is caught.
    auto* block = reinterpret_cast<UserBlock*>(items[i].UserData);
    g_ownBlocks.erase(block);
    std::memset(block, 0xDD, sizeof(UserBlock));
    free(block);
  }
  free(items);
}

int KEL_API SetDirectory(HANDLE h, const char* dir, int) {
  Use(h);
  std::string d = dir;
  Log("SetDirectory " + d);
  if (d == ".." && g_dir == "mod") {
    // Like a module's top: ".." goes back to the root with the cursor on the folder, placed by the
    // plugin itself, and the host is told that nothing is left to do.
    g_dir.clear();
    g_host.HostPanelControl(h, FCTL_UPDATEPANEL, nullptr);
    PanelInfoA info{};
    g_host.HostPanelControl(h, FCTL_GETPANELINFO, &info);
    for (int i = 0; i < info.ItemsNumber; ++i)
      if (std::strcmp(info.PanelItems[i].FileName, "mod") == 0) {
        PanelRedrawInfoA redraw{i, 0};
        g_host.HostPanelControl(h, FCTL_REDRAWPANEL, &redraw);
      }
    return 0;
  }
  if (d == "..") {
    if (g_dir.empty()) return 0;
    g_dir = Parent(g_dir);
  } else if (d == "\\") {
    g_dir.clear();
  } else {
    auto it = g_tree.find(Join(g_dir, d));
    if (it == g_tree.end() || !it->second.folder) return 0;
    g_dir = Join(g_dir, d);
  }
  return 1;
}

int KEL_API GetFiles(HANDLE h, PluginPanelItemA* items, int count, int move, char* dest, int) {
  Use(h);
  Log("GetFiles " + Names(items, count) + " move=" + std::to_string(move) + " userdata=" +
      CheckUserData(items, count, g_dir));
  for (int i = 0; i < count; ++i) {
    std::string path = Join(g_dir, items[i].FileName);
    auto it = g_tree.find(path);
    if (it == g_tree.end() || it->second.folder) continue;
    std::string target = std::string(dest) + "\\" + items[i].FileName;
    // The file functions speak OEM here, as the host leaves them.
    SetFileApisToOEM();
    if (FILE* f = std::fopen(target.c_str(), "wb")) {
      std::string body(it->second.size, 'p');
      std::fwrite(body.data(), 1, body.size(), f);
      std::fclose(f);
    }
    if (move) g_tree.erase(path);
  }
  return 1;
}

int KEL_API PutFiles(HANDLE h, PluginPanelItemA* items, int count, int move, int) {
  Use(h);
  std::string onDisk;
  for (int i = 0; i < count; ++i) {
    WIN32_FILE_ATTRIBUTE_DATA fa;
    bool found = GetFileAttributesExA(items[i].FileName, GetFileExInfoStandard, &fa) != 0;
    onDisk += found ? "y" : "n";
    g_tree[Join(g_dir, items[i].FileName)] = {(items[i].FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                             items[i].FileSizeLow};
  }
  Log("PutFiles " + Names(items, count) + " move=" + std::to_string(move) + " on disk=" + onDisk +
      " userdata=" + CheckUserData(items, count, g_dir));
  return 1;
}

int KEL_API DeleteFiles(HANDLE h, PluginPanelItemA* items, int count, int) {
  Use(h);
  Log("DeleteFiles " + Names(items, count) + " userdata=" + CheckUserData(items, count, g_dir));
  for (int i = 0; i < count; ++i) g_tree.erase(Join(g_dir, items[i].FileName));
  return 1;
}

int KEL_API MakeDirectory(HANDLE h, char* name, int) {
  Use(h);
  // The probe drops trailing blanks and dots, and tells the host the name it made.
  std::string n = name;
  while (!n.empty() && (n.back() == ' ' || n.back() == '.')) n.pop_back();
  Log("MakeDirectory \"" + std::string(name) + "\" -> \"" + n + "\"");
  if (n.empty()) return 0;
  g_tree[Join(g_dir, n)] = {true, 0};
  std::strcpy(name, n.c_str());
  return 1;
}

int KEL_API ProcessKey(HANDLE self, int key, unsigned int state) {
  Use(self);
  if (key == VK_F4 && state == 0) {
    PanelInfoA info{};
    g_host.HostPanelControl(self, FCTL_GETPANELINFO, &info);
    std::string current = info.CurrentItem >= 0 && info.CurrentItem < info.ItemsNumber
                              ? info.PanelItems[info.CurrentItem].FileName : "";
    if (RunDialog(current) == kOk) {
      Log("confirmed for " + current);
      g_host.HostPanelControl(self, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
    }
    return 1;
  }
  if (key == 'I' && state == 1) {
    PanelServices(self);
    return 1;
  }
  return 0;
}

const char* KEL_API ProbeLog() { return g_log.c_str(); }

}  // extern "C"
