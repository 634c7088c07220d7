// Panels of the host stand-in: the panel service, a plugin's own panel, and the file panel over
// a real folder.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

namespace {

// Fills a panel item block the way the host hands items out: the record, then its texts.
int PutPanelItem(const PanelItem& item, void* buffer) {
  size_t need = sizeof(PluginPanelItemW) + (item.name.size() + 1) * sizeof(wchar_t) + sizeof(wchar_t);
  if (!buffer) return static_cast<int>(need);
  auto* rec = static_cast<PluginPanelItemW*>(buffer);
  *rec = PluginPanelItemW{};
  auto* text = reinterpret_cast<wchar_t*>(rec + 1);
  std::wmemcpy(text, item.name.c_str(), item.name.size() + 1);
  wchar_t* alt = text + item.name.size() + 1;
  *alt = 0;
  rec->FileName = text;
  rec->AlternateFileName = alt;
  rec->FileAttributes = item.attributes;
  rec->FileSize = item.size;
  rec->LastWriteTime = item.writeTime;
  rec->CreationTime = item.writeTime;
  rec->LastAccessTime = item.writeTime;
  rec->Flags = item.selected ? static_cast<uint32_t>(PPIF_SELECTED) : 0u;
  return static_cast<int>(need);
}

}  // namespace

std::optional<int> PlainPanelCommand(Host* h, Panel& panel, int command) {
  switch (command) {
    case FCTL_SETUSERSCREEN:
      h->Record(L"[screen] user screen shown");
      return 1;
    case FCTL_GETUSERSCREEN:
      h->Record(L"[screen] panels restored");
      return 1;
    case FCTL_ISACTIVEPANEL:
      return &panel == &h->ActivePanel() ? 1 : 0;
    case FCTL_CHECKPANELSEXIST:
      return 1;
    default:
      return std::nullopt;
  }
}

int KEL_API SvcPanelControl(HANDLE handle, int command, int param1, void* param2) {
  Host* h = Host::Current();
  if (!h || Refused("HostPanelControl", command)) return 0;
  Panel* panel = nullptr;
  if (handle == PANEL_ACTIVE) panel = &h->ActivePanel();
  else if (handle == PANEL_PASSIVE) panel = &h->PassivePanel();
  if (!panel) return 0;  // plugins' own panels are not hosted here
  auto& items = panel->Items();
  auto selectedIndex = [&](int n) -> int {
    int seen = 0;
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].selected && seen++ == n) return static_cast<int>(i);
    // With nothing selected the host treats the current item as the selection.
    bool any = std::any_of(items.begin(), items.end(), [](auto& it) { return it.selected; });
    if (!any && n == 0 && panel->current >= 0 && panel->current < static_cast<int>(items.size())) return panel->current;
    return -1;
  };
  switch (command) {
    case FCTL_GETPANELINFO: {
      auto* info = static_cast<PanelInfoW*>(param2);
      if (!info) return 0;
      *info = PanelInfoW{};
      info->PanelType = PTYPE_FILEPANEL;
      info->ItemsNumber = static_cast<int>(items.size());
      int sel = static_cast<int>(std::count_if(items.begin(), items.end(), [](auto& it) { return it.selected; }));
      info->SelectedItemsNumber = sel ? sel : (items.empty() ? 0 : 1);
      info->CurrentItem = panel->current;
      info->TopPanelItem = panel->top;
      info->ViewMode = panel->viewMode;
      info->SortMode = panel->sortMode;
      info->Visible = panel->visible;
      info->Focus = panel == &h->ActivePanel();
      info->Plugin = panel->IsPlugin() ? 1 : 0;
      info->Flags = (panel->IsPlugin() ? static_cast<uint32_t>(PFLAGS_PLUGIN) : static_cast<uint32_t>(PFLAGS_REALNAMES)) | (panel->visible ? static_cast<uint32_t>(PFLAGS_VISIBLE) : 0u) | (info->Focus ? static_cast<uint32_t>(PFLAGS_FOCUS) : 0u);
      return 1;
    }
    case FCTL_GETPANELITEM:
      if (param1 < 0 || param1 >= static_cast<int>(items.size())) return 0;
      return PutPanelItem(items[static_cast<size_t>(param1)], param2);
    case FCTL_GETSELECTEDPANELITEM: {
      int i = selectedIndex(param1);
      return i < 0 ? 0 : PutPanelItem(items[static_cast<size_t>(i)], param2);
    }
    case FCTL_GETCURRENTPANELITEM:
      if (panel->current < 0 || panel->current >= static_cast<int>(items.size())) return 0;
      return PutPanelItem(items[static_cast<size_t>(panel->current)], param2);
    case FCTL_GETPANELDIR: {
      const std::wstring& dir = panel->IsPlugin() ? panel->pluginDir : panel->Folder();
      int need = static_cast<int>(dir.size() + 1);
      if (param2 && param1 > 0) {
        size_t n = std::min(dir.size(), static_cast<size_t>(param1 - 1));
        std::wmemcpy(static_cast<wchar_t*>(param2), dir.c_str(), n);
        static_cast<wchar_t*>(param2)[n] = 0;
      }
      return need;
    }
    case FCTL_UPDATEPANEL:
      if (panel->IsPlugin()) h->RefreshPluginPanel(*panel);
      else panel->Reread(param1 != 0);
      panel->updates++;
      h->Record(L"[panel] updated " + panel->Folder());
      return 1;
    case FCTL_REDRAWPANEL:
      if (auto* r = static_cast<PanelRedrawInfoW*>(param2)) {
        panel->current = r->CurrentItem;
        panel->top = r->TopPanelItem;
      }
      panel->redraws++;
      return 1;
    case FCTL_BEGINSELECTION:
    case FCTL_ENDSELECTION:
      return 1;
    case FCTL_SETSELECTION:
      if (param1 < 0 || param1 >= static_cast<int>(items.size())) return 0;
      items[static_cast<size_t>(param1)].selected = param2 != nullptr;
      return 1;
    case FCTL_CLEARSELECTION: {
      int i = selectedIndex(param1);
      if (i < 0) return 0;
      items[static_cast<size_t>(i)].selected = false;
      return 1;
    }
    case FCTL_SETPANELDIR:
      if (!param2) return 0;
      panel->SetFolder(static_cast<const wchar_t*>(param2));
      return 1;
    default:
      if (auto r = PlainPanelCommand(h, *panel, command)) return *r;
      h->Fail(L"HostPanelControl: command " + std::to_wstring(command) + L" not supported by the stand-in");
      return 0;
  }
}

// ---- A plugin's own panel ------------------------------------------------------------------------

bool Host::OpenPanel(Plugin* p, int openFrom, intptr_t item) {
  HANDLE h = INVALID_HANDLE_VALUE;
  if (p->unicode) {
    h = OpenPlugin(p, openFrom, item);
  } else if (auto f = reinterpret_cast<HANDLE(KEL_API*)(int, int)>(p->Entry("OpenPlugin"))) {
    h = f(openFrom, static_cast<int>(item));
  }
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return false;
  Panel& panel = ActivePanel();
  if (panel.IsPlugin()) ClosePanel();
  panel.plugin = p;
  panel.pluginHandle = h;
  RefreshPluginPanel(panel);
  Record(L"[panel] " + p->name + L" opened: " + panel.pluginTitle);
  return true;
}

void Host::RefreshPluginPanel(Panel& panel) {
  Plugin* p = panel.plugin;
  if (!p) return;
  panel.items_.clear();
  panel.infoLines.clear();
  if (p->unicode) {
    OpenPluginInfoW info{};
    info.StructSize = sizeof(info);
    if (auto f = reinterpret_cast<KelGetOpenPluginInfoW>(p->Entry("GetOpenPluginInfoW"))) f(panel.pluginHandle, &info);
    panel.pluginDir = Str(info.CurDir);
    panel.pluginTitle = Str(info.PanelTitle);
    panel.pluginFormat = Str(info.Format);
    panel.pluginFlags = info.Flags;
    for (int i = 0; info.InfoLines && i < info.InfoLinesNumber; ++i)
      panel.infoLines.emplace_back(Str(info.InfoLines[i].Text), Str(info.InfoLines[i].Data));
    PluginPanelItemW* items = nullptr;
    int count = 0;
    auto get = reinterpret_cast<KelGetFindDataW>(p->Entry("GetFindDataW"));
    if (get && get(panel.pluginHandle, &items, &count, 0) && items) {
      for (int i = 0; i < count; ++i) {
        PanelItem it;
        it.name = Str(items[i].FileName);
        it.attributes = items[i].FileAttributes;
        it.size = items[i].FileSize;
        it.writeTime = items[i].LastWriteTime;
        panel.items_.push_back(it);
      }
      if (auto f = reinterpret_cast<KelFreeFindDataW>(p->Entry("FreeFindDataW"))) f(panel.pluginHandle, items, count);
    }
  } else {
    ReadPanelA(panel);
  }
  if (panel.pluginFlags & OPIF_ADDDOTS) {
    PanelItem dots;
    dots.name = L"..";
    dots.attributes = FILE_ATTRIBUTE_DIRECTORY;
    panel.items_.insert(panel.items_.begin(), dots);
  }
  panel.current = std::min(panel.current, std::max(static_cast<int>(panel.items_.size()) - 1, 0));
}

bool Host::PanelSetDirectory(const std::wstring& dir, int opMode) {
  Panel& panel = ActivePanel();
  Plugin* p = panel.plugin;
  if (!p) {
    panel.SetFolder(dir);
    return true;
  }
  int ok = 0;
  if (p->unicode) {
    if (auto f = reinterpret_cast<KelSetDirectoryW>(p->Entry("SetDirectoryW"))) ok = f(panel.pluginHandle, dir.c_str(), opMode);
  } else if (auto f = reinterpret_cast<KelSetDirectoryA>(p->Entry("SetDirectory"))) {
    int n = WideCharToMultiByte(CP_OEMCP, 0, dir.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string oem(static_cast<size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_OEMCP, 0, dir.c_str(), -1, oem.data(), n, nullptr, nullptr);
    ok = f(panel.pluginHandle, oem.c_str(), opMode);
  }
  if (ok) RefreshPluginPanel(panel);
  return ok != 0;
}

int Host::PanelKey(int key, unsigned controlState) {
  Panel& panel = ActivePanel();
  Plugin* p = panel.plugin;
  if (!p) return 0;
  int r = 0;
  if (p->unicode) {
    if (auto f = reinterpret_cast<KelProcessKeyW>(p->Entry("ProcessKeyW"))) r = f(panel.pluginHandle, key, controlState);
  } else if (auto f = reinterpret_cast<KelProcessKeyA>(p->Entry("ProcessKey"))) {
    r = f(panel.pluginHandle, key, controlState);
  }
  return r;
}

void Host::ClosePanel() {
  Panel& panel = ActivePanel();
  Plugin* p = panel.plugin;
  if (!p) return;
  if (p->unicode) {
    if (auto f = reinterpret_cast<KelClosePluginW>(p->Entry("ClosePluginW"))) f(panel.pluginHandle);
  } else if (auto f = reinterpret_cast<KelClosePluginA>(p->Entry("ClosePlugin"))) {
    f(panel.pluginHandle);
  }
  Record(L"[panel] " + p->name + L" closed");
  panel.plugin = nullptr;
  panel.pluginHandle = nullptr;
  panel.infoLines.clear();
  panel.SetFolder(panel.Folder());
}

// ---- Panel over a real folder ------------------------------------------------------------------

void Panel::SetFolder(const std::wstring& folder) {
  folder_ = folder;
  while (folder_.size() > 3 && (folder_.back() == L'\\' || folder_.back() == L'/')) folder_.pop_back();
  items_.clear();
  current = top = 0;
  Reread(false);
}

void Panel::Reread(bool keepSelection) {
  std::vector<std::wstring> selected = SelectedNames();
  std::wstring currentName =
      current >= 0 && current < static_cast<int>(items_.size()) ? items_[static_cast<size_t>(current)].name : L"";
  items_.clear();
  WIN32_FIND_DATAW fd;
  std::wstring pattern = folder_ + (folder_.empty() || folder_.back() == L'\\' ? L"" : L"\\") + L"*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring n = fd.cFileName;
      if (n == L"." || n == L"..") continue;
      PanelItem it;
      it.name = n;
      it.attributes = fd.dwFileAttributes;
      it.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      it.writeTime = fd.ftLastWriteTime;
      items_.push_back(it);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  // Folders first, then by name, as a file panel sorts by default.
  std::sort(items_.begin(), items_.end(), [](const PanelItem& a, const PanelItem& b) {
    bool da = a.attributes & FILE_ATTRIBUTE_DIRECTORY, db = b.attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (da != db) return da;
    return lstrcmpiW(a.name.c_str(), b.name.c_str()) < 0;
  });
  current = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (keepSelection && std::find(selected.begin(), selected.end(), items_[i].name) != selected.end())
      items_[i].selected = true;
    if (items_[i].name == currentName) current = static_cast<int>(i);
  }
}

void Panel::Select(const std::wstring& name, bool on) {
  for (auto& it : items_)
    if (it.name == name) it.selected = on;
}

void Panel::SelectAll() {
  for (auto& it : items_) it.selected = true;
}

std::vector<std::wstring> Panel::SelectedNames() const {
  std::vector<std::wstring> out;
  for (auto& it : items_)
    if (it.selected) out.push_back(it.name);
  return out;
}

}  // namespace kelhost
