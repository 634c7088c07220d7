// The 8-bit generation's panels: the panel service with its own records, and the host's side of
// an 8-bit plugin's panel (its listing kept with the user data, and the file operations that hand
// the items back).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "standins/kelhost/internal.h"
#include "standins/kelhost/kelhost.h"

namespace kelhost {

namespace {

// A user-data block names its own size in its first 32-bit word; a size beyond this is taken as
// damage and cut, so a bad block cannot make the host read far.
constexpr uint32_t kMaxUserBlock = 1u << 20;
// Custom columns kept of an item (a panel mode has at most ten).
constexpr int kMaxColumns = 10;

// Items as the host hands them to a plugin: the records and the copies of their user data, alive
// as long as the batch.
struct ItemBatch {
  std::vector<PluginPanelItemA> items;
  std::vector<std::unique_ptr<char[]>> blocks;
  std::vector<std::unique_ptr<char*[]>> columns;  // each item's custom column array
};

void CopyBounded(char* dest, size_t size, const std::string& text) {
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(dest, text.data(), n);
  dest[n] = 0;
}

void AddItem(ItemBatch& batch, const PanelItem& it) {
  PluginPanelItemA a{};
  a.FileAttributes = it.attributes;
  a.CreationTime = a.LastAccessTime = a.LastWriteTime = it.writeTime;
  a.FileSizeHigh = static_cast<uint32_t>(it.size >> 32);
  a.FileSizeLow = static_cast<uint32_t>(it.size);
  CopyBounded(a.FileName, sizeof(a.FileName), it.oemName.empty() ? ToOem(it.name) : it.oemName);
  a.Flags = (it.flags & ~static_cast<uint32_t>(PPIF_SELECTED)) | (it.selected ? static_cast<uint32_t>(PPIF_SELECTED) : 0u);
  if (it.hasUserBlock) {
    auto block = std::make_unique<char[]>(it.userBlock.size());
    std::memcpy(block.get(), it.userBlock.data(), it.userBlock.size());
    a.UserData = reinterpret_cast<intptr_t>(block.get());
    batch.blocks.push_back(std::move(block));
  } else {
    a.UserData = it.userValue;
  }
  // The custom columns go back as the plugin gave them (each text a block of the batch).
  if (!it.columns.empty()) {
    auto array = std::make_unique<char*[]>(it.columns.size());
    for (size_t c = 0; c < it.columns.size(); ++c) {
      auto text = std::make_unique<char[]>(it.columns[c].size() + 1);
      std::memcpy(text.get(), it.columns[c].c_str(), it.columns[c].size() + 1);
      array[c] = text.get();
      batch.blocks.push_back(std::move(text));
    }
    a.CustomColumnData = array.get();
    a.CustomColumnNumber = static_cast<int>(it.columns.size());
    batch.columns.push_back(std::move(array));
  }
  batch.items.push_back(a);
}

// The items an operation works on: the selected ones, or the current one when none is.
std::vector<const PanelItem*> Selection(Panel& panel) {
  std::vector<const PanelItem*> out;
  for (auto& it : panel.Items())
    if (it.selected) out.push_back(&it);
  if (out.empty() && panel.current >= 0 && panel.current < static_cast<int>(panel.Items().size()))
    out.push_back(&panel.Items()[static_cast<size_t>(panel.current)]);
  return out;
}

ItemBatch Batch(const std::vector<const PanelItem*>& items) {
  ItemBatch b;
  b.items.reserve(items.size());
  for (const PanelItem* it : items) AddItem(b, *it);
  return b;
}

// The panel information's item arrays, kept per panel until the next call for it.
std::map<const Panel*, std::pair<ItemBatch, ItemBatch>> g_infoArrays;

Panel* PanelOf(Host* h, HANDLE handle) {
  if (handle == PANEL_ACTIVE) return &h->ActivePanel();
  if (handle == PANEL_PASSIVE) return &h->PassivePanel();
  for (Panel* p : {&h->ActivePanel(), &h->PassivePanel()})
    if (p->IsPlugin() && p->pluginHandle == handle) return p;
  return nullptr;
}

int KEL_API SvcPanelControlA(HANDLE handle, int command, void* param) {
  Host* h = Host::Current();
  if (!h || Refused("HostPanelControl", command)) return 0;
  Panel* panel = PanelOf(h, handle);
  if (!panel) {
    h->Fail(L"8-bit HostPanelControl: a panel handle the host does not know");
    return 0;
  }
  auto& items = panel->Items();
  switch (command) {
    case FCTL_GETPANELINFO: {
      auto* info = static_cast<PanelInfoA*>(param);
      if (!info) return 0;
      *info = PanelInfoA{};
      auto& arrays = g_infoArrays[panel];
      std::vector<const PanelItem*> all;
      for (auto& it : items) all.push_back(&it);
      arrays.first = Batch(all);
      arrays.second = Batch(Selection(*panel));
      info->PanelType = PTYPE_FILEPANEL;
      info->Plugin = panel->IsPlugin() ? 1 : 0;
      info->PanelItems = arrays.first.items.data();
      info->ItemsNumber = static_cast<int>(arrays.first.items.size());
      info->SelectedItems = arrays.second.items.data();
      info->SelectedItemsNumber = static_cast<int>(arrays.second.items.size());
      info->CurrentItem = panel->current;
      info->TopPanelItem = panel->top;
      info->Visible = panel->visible;
      info->Focus = panel == &h->ActivePanel();
      info->ViewMode = panel->viewMode;
      info->SortMode = panel->sortMode;
      CopyBounded(info->ColumnTypes, sizeof(info->ColumnTypes), "N,S,D,T");
      CopyBounded(info->ColumnWidths, sizeof(info->ColumnWidths), "0,10,0,5");
      CopyBounded(info->CurDir, sizeof(info->CurDir), ToOem(panel->IsPlugin() ? panel->pluginDir : panel->Folder()));
      info->Flags = (panel->IsPlugin() ? static_cast<uint32_t>(PFLAGS_PLUGIN) : static_cast<uint32_t>(PFLAGS_REALNAMES)) |
                    (panel->visible ? static_cast<uint32_t>(PFLAGS_VISIBLE) : 0u) |
                    (info->Focus ? static_cast<uint32_t>(PFLAGS_FOCUS) : 0u) |
                    (panel->sortReverse ? static_cast<uint32_t>(PFLAGS_REVERSESORTORDER) : 0u);
      return 1;
    }
    case FCTL_UPDATEPANEL: {
      std::vector<std::wstring> keep = param ? panel->SelectedNames() : std::vector<std::wstring>{};
      if (panel->IsPlugin()) h->RefreshPluginPanel(*panel);
      else panel->Reread(false);
      for (auto& n : keep) panel->Select(n);
      panel->updates++;
      h->Record(L"[panel] updated " + (panel->IsPlugin() ? panel->pluginDir : panel->Folder()));
      return 1;
    }
    case FCTL_REDRAWPANEL:
      if (auto* r = static_cast<PanelRedrawInfoA*>(param)) {
        int last = std::max(static_cast<int>(items.size()) - 1, 0);
        panel->current = std::clamp(r->CurrentItem, 0, last);
        panel->top = std::clamp(r->TopPanelItem, 0, last);
      }
      panel->redraws++;
      return 1;
    case FCTL_SETSELECTION: {
      // The selection flags of the record's items, index for index.
      auto* info = static_cast<PanelInfoA*>(param);
      if (!info || !info->PanelItems) return 0;
      size_t n = std::min(items.size(), static_cast<size_t>(std::max(info->ItemsNumber, 0)));
      for (size_t i = 0; i < n; ++i) items[i].selected = (info->PanelItems[i].Flags & PPIF_SELECTED) != 0;
      return 1;
    }
    case FCTL_GETCMDLINE:  // a buffer of 1024 bytes
      if (!param) return 0;
      CopyBounded(static_cast<char*>(param), 1024, ToOem(h->commandLine));
      return 1;
    case FCTL_SETCMDLINE:
    case FCTL_INSERTCMDLINE: {
      std::wstring text = FromOem(static_cast<const char*>(param));
      h->commandLine = command == FCTL_SETCMDLINE ? text : h->commandLine + text;
      h->Record(L"[command line] " + h->commandLine);
      return 1;
    }
    case FCTL_SETVIEWMODE:
    case FCTL_SETSORTMODE:
    case FCTL_SETSORTORDER: {
      // The sort order without a value is the normal (not reversed) order.
      if (!param && command == FCTL_SETSORTORDER) {
        panel->sortReverse = false;
        return 1;
      }
      if (!param) return 0;
      int v = *static_cast<const int*>(param);
      if (command == FCTL_SETVIEWMODE) panel->viewMode = std::clamp(v, 0, 9);
      else if (command == FCTL_SETSORTMODE) panel->sortMode = std::clamp(v, 0, 14);
      else panel->sortReverse = v != 0;
      return 1;
    }
    case FCTL_SETPANELDIR:
      if (!param || panel->IsPlugin()) return 0;
      panel->SetFolder(FromOem(static_cast<const char*>(param)));
      return 1;
    default:
      if (auto r = PlainPanelCommand(h, *panel, command)) return *r;
      h->Fail(L"8-bit HostPanelControl: command " + std::to_wstring(command) + L" not supported by the stand-in");
      return 0;
  }
}

void RereadBoth(Host* h) {
  for (Panel* p : {&h->ActivePanel(), &h->PassivePanel()}) {
    if (p->IsPlugin()) h->RefreshPluginPanel(*p);
    else p->Reread(true);
  }
}

std::wstring Names(const ItemBatch& b) {
  std::wstring s;
  for (auto& it : b.items) s += (s.empty() ? L"" : L", ") + FromOem(it.FileName);
  return s;
}

// The active panel when it belongs to an 8-bit plugin exporting `entry`, else null.
void* PanelEntryA(Host* h, Panel& panel, const char* entry) {
  if (!panel.IsPlugin() || panel.plugin->unicode) {
    h->Fail(std::wstring(L"no 8-bit plugin panel for ") + Wide(entry));
    return nullptr;
  }
  return panel.plugin->Entry(entry);
}

}  // namespace

HostPanelControlFnA PanelControlServiceA() { return SvcPanelControlA; }

void ReadPanelA(Panel& panel) {
  Plugin* p = panel.plugin;
  OpenPluginInfoA info{};
  info.StructSize = sizeof(info);
  if (auto f = reinterpret_cast<KelGetOpenPluginInfoA>(p->Entry("GetOpenPluginInfo"))) f(panel.pluginHandle, &info);
  panel.pluginDir = FromOem(info.CurDir);
  panel.pluginTitle = FromOem(info.PanelTitle);
  panel.pluginFormat = FromOem(info.Format);
  panel.pluginFlags = info.Flags;
  for (int i = 0; info.InfoLines && i < info.InfoLinesNumber; ++i) {
    // The 8-bit record's texts are fixed 80-byte fields: read them within their bounds.
    const InfoPanelLineA& l = info.InfoLines[i];
    panel.infoLines.emplace_back(FromOem(std::string(l.Text, strnlen(l.Text, sizeof(l.Text))).c_str()),
                                 FromOem(std::string(l.Data, strnlen(l.Data, sizeof(l.Data))).c_str()));
  }
  PluginPanelItemA* items = nullptr;
  int count = 0;
  auto get = reinterpret_cast<KelGetFindDataA>(p->Entry("GetFindData"));
  if (!get || !get(panel.pluginHandle, &items, &count, 0) || !items) return;
  for (int i = 0; i < count; ++i) {
    const PluginPanelItemA& a = items[i];
    PanelItem it;
    it.oemName.assign(a.FileName, strnlen(a.FileName, KEL_NM));
    it.name = FromOem(it.oemName.c_str());
    it.attributes = a.FileAttributes;
    it.size = (static_cast<uint64_t>(a.FileSizeHigh) << 32) | a.FileSizeLow;
    it.writeTime = a.LastWriteTime;
    it.flags = a.Flags & ~static_cast<uint32_t>(PPIF_SELECTED);
    it.selected = (a.Flags & PPIF_SELECTED) != 0;
    if ((a.Flags & PPIF_USERDATA) && a.UserData) {
      uint32_t size;
      std::memcpy(&size, reinterpret_cast<const void*>(a.UserData), sizeof(size));
      size = std::clamp<uint32_t>(size, sizeof(size), kMaxUserBlock);
      it.userBlock.assign(reinterpret_cast<const char*>(a.UserData), size);
      it.hasUserBlock = true;
    } else {
      it.userValue = a.UserData;
    }
    for (int c = 0; a.CustomColumnData && c < std::min(a.CustomColumnNumber, kMaxColumns); ++c)
      it.columns.emplace_back(a.CustomColumnData[c] ? a.CustomColumnData[c] : "");
    panel.Items().push_back(it);
  }
  // The array goes back exactly as it came, with its count.
  if (auto f = reinterpret_cast<KelFreeFindDataA>(p->Entry("FreeFindData"))) f(panel.pluginHandle, items, count);
}

bool Host::PanelEnter(int opMode) {
  Panel& panel = ActivePanel();
  if (!panel.IsPlugin() || panel.current < 0 || panel.current >= static_cast<int>(panel.Items().size())) return false;
  const PanelItem& it = panel.Items()[static_cast<size_t>(panel.current)];
  if (!(it.attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  std::wstring name = it.name;
  std::wstring from = panel.pluginDir;
  while (!from.empty() && from.back() == L'\\') from.pop_back();
  size_t cut = from.find_last_of(L"\\:");
  std::wstring last = cut == std::wstring::npos ? from : from.substr(cut + 1);
  Record(L"[panel] enter " + name);
  if (!PanelSetDirectory(name, opMode)) {
    // A plugin may refuse ".." and still have moved (a module's top going back to the listing of
    // modules): the panel shows what the plugin now lists.
    if (name == L"..") RefreshPluginPanel(panel);
    return false;
  }
  panel.current = 0;
  if (name == L"..")
    for (size_t i = 0; i < panel.Items().size(); ++i)
      if (lstrcmpiW(panel.Items()[i].name.c_str(), last.c_str()) == 0) panel.current = static_cast<int>(i);
  return true;
}

int Host::PanelGetFiles(bool move, int opMode, std::wstring* destPath) {
  Panel& panel = ActivePanel();
  auto f = reinterpret_cast<KelGetFilesA>(PanelEntryA(this, panel, "GetFiles"));
  if (!f) return 0;
  ItemBatch b = Batch(Selection(panel));
  char dest[KEL_NM];
  CopyBounded(dest, sizeof(dest), PassivePanel().IsPlugin() ? std::string() : ToOem(PassivePanel().Folder()));
  int r = f(panel.pluginHandle, b.items.data(), static_cast<int>(b.items.size()), move ? 1 : 0, dest, opMode);
  dest[KEL_NM - 1] = 0;
  if (destPath) *destPath = FromOem(dest);
  Record(std::wstring(L"[panel] ") + (move ? L"move " : L"copy ") + Names(b) + L" to " + FromOem(dest) +
         L": GetFiles " + std::to_wstring(r));
  if (r == 1)
    for (auto& it : panel.Items()) it.selected = false;
  RereadBoth(this);
  return r;
}

int Host::PanelPutFiles(bool move, int opMode) {
  Panel& target = PassivePanel();
  auto f = reinterpret_cast<KelPutFilesA>(PanelEntryA(this, target, "PutFiles"));
  if (!f) return 0;
  Panel& source = ActivePanel();
  ItemBatch b = Batch(Selection(source));
  // Names of a folder panel are relative to the process's current directory, as the host sets it.
  if (!source.IsPlugin()) SetCurrentDirectoryW(source.Folder().c_str());
  int r = f(target.pluginHandle, b.items.data(), static_cast<int>(b.items.size()), move ? 1 : 0, opMode);
  Record(std::wstring(L"[panel] ") + (move ? L"move " : L"copy ") + Names(b) + L" to " + target.pluginTitle +
         L": PutFiles " + std::to_wstring(r));
  if (r == 1)
    for (auto& it : source.Items()) it.selected = false;
  RereadBoth(this);
  return r;
}

int Host::PanelDeleteFiles(int opMode) {
  Panel& panel = ActivePanel();
  auto f = reinterpret_cast<KelDeleteFilesA>(PanelEntryA(this, panel, "DeleteFiles"));
  if (!f) return 0;
  ItemBatch b = Batch(Selection(panel));
  int r = f(panel.pluginHandle, b.items.data(), static_cast<int>(b.items.size()), opMode);
  Record(L"[panel] delete " + Names(b) + L": DeleteFiles " + std::to_wstring(r));
  RereadBoth(this);
  return r;
}

int Host::PanelMakeDirectory(std::wstring& name, int opMode) {
  Panel& panel = ActivePanel();
  auto f = reinterpret_cast<KelMakeDirectoryA>(PanelEntryA(this, panel, "MakeDirectory"));
  if (!f) return 0;
  char buf[KEL_NM];
  CopyBounded(buf, sizeof(buf), ToOem(name));
  int r = f(panel.pluginHandle, buf, opMode);
  buf[KEL_NM - 1] = 0;
  name = FromOem(buf);
  Record(L"[panel] make folder " + name + L": MakeDirectory " + std::to_wstring(r));
  RereadBoth(this);
  if (r == 1)
    for (size_t i = 0; i < panel.Items().size(); ++i)
      if (panel.Items()[i].name == name) panel.current = static_cast<int>(i);
  return r;
}

}  // namespace kelhost
