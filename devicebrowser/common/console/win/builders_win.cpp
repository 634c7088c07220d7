// The dialog and menu builders: host item arrays on the process heap (room for 40 items, growing
// by 20), placed by the core's dialog layout and run through HostDialog / HostMenu.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "devicebrowser/common/console/console.h"
#include "devicebrowser/common/console/win/host_console.h"
#include "host/kel_firewall.h"

namespace handrel {

namespace {

constexpr int kFirstRoom = 40;
constexpr int kGrowth = 20;
// Hosts from this version on run a dialog procedure with item colours.
constexpr uint32_t kNewDialogsVersion = 0x0146;

// Makes room for one more item of an array on the process heap; on failure shows the text with the
// title "Exception" and throws it.
template <class Item>
void Reserve(Item*& items, int count, int& room, int firstRoom, const char* failure) {
  if (count < room) return;
  int newRoom = items ? room + kGrowth : firstRoom;
  auto* grown = static_cast<Item*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Item) * static_cast<size_t>(newRoom)));
  if (!grown) {
    ShowMessage("Exception", failure, nullptr, 1);
    throw ConsoleError(failure);
  }
  if (items) {
    std::memcpy(grown, items, sizeof(Item) * static_cast<size_t>(count));
    HeapFree(GetProcessHeap(), 0, items);
  }
  items = grown;
  room = newRoom;
}

template <size_t N>
void CopyText(char (&field)[N], const char* text) {
  size_t n = text ? std::min(std::strlen(text), N - 1) : 0;
  if (n) std::memcpy(field, text, n);
  field[n] = 0;
}

int ItemType(con::ItemKind kind) {
  switch (kind) {
    case con::ItemKind::Box: return DI_DOUBLEBOX;
    case con::ItemKind::Edit: return DI_EDIT;
    case con::ItemKind::FixedEdit: return DI_FIXEDIT;
    case con::ItemKind::Button: return DI_BUTTON;
    case con::ItemKind::CheckBox: return DI_CHECKBOX;
    case con::ItemKind::RadioButton: return DI_RADIOBUTTON;
    case con::ItemKind::Text:
    case con::ItemKind::Separator:
    default: return DI_TEXT;
  }
}

}  // namespace

// ---- DialogBuilder ------------------------------------------------------------------------------

struct DialogBuilder::Impl {
  struct Binding {
    char* text = nullptr;  // edits
    size_t textSize = 0;
    int* value = nullptr;  // check boxes and radio buttons
    int color = 0;         // texts shown in a colour of their own
  };
  con::DialogLayout layout;
  std::string helpTopic;
  KelDialogItemA* items = nullptr;
  int count = 0, room = 0;
  std::vector<Binding> bindings;
  KelDialogProcA handler = nullptr;  // the caller's procedure (new hosts only)

  Impl(int width, int height, const char* title, const char* help)
      : layout(width, height, title ? title : ""), helpTopic(help ? help : "") {}
  ~Impl() {
    if (items) HeapFree(GetProcessHeap(), 0, items);
  }

  int Add(con::ItemKind kind, int row, int column, int cells, const char* text) {
    Reserve(items, count, room, kFirstRoom, "(KelDialogItem*)calloc()=NULL");
    int index = layout.Add(kind, row, column, cells);
    KelDialogItemA& it = items[count++];
    it.Type = ItemType(kind);
    if (kind == con::ItemKind::Separator) it.Flags |= DIF_SEPARATOR;
    CopyText(it.Data, text);
    bindings.emplace_back();
    return index;
  }

  static intptr_t KEL_API Procedure(HANDLE dlg, int msg, int param1, intptr_t param2);
};

namespace {
// The builder whose dialog is running (a dialog run from inside another's procedure nests).
DialogBuilder::Impl* g_running = nullptr;
}  // namespace

// Gives texts added with a colour that colour; everything else is the host's.
intptr_t KEL_API DialogBuilder::Impl::Procedure(HANDLE dlg, int msg, int param1, intptr_t param2) {
  return kel::Firewall<intptr_t>(
      "DialogBuilder", 0,
      [&]() -> intptr_t {
        Impl* self = g_running;
        if (self && msg == DN_CTLCOLORDLGITEM && param1 >= 0 && param1 < static_cast<int>(self->bindings.size()) &&
            self->bindings[static_cast<size_t>(param1)].color)
          return (param2 & ~static_cast<intptr_t>(0xFF)) | self->bindings[static_cast<size_t>(param1)].color;
        if (self && self->handler) return self->handler(dlg, msg, param1, param2);
        const HostStartupInfoA& host = detail::Host();
        return host.HostDefDlgProc ? host.HostDefDlgProc(dlg, msg, param1, param2) : 0;
      },
      kel::QuietReport{});
}

DialogBuilder::DialogBuilder(int width, int height, const char* title, const char* helpTopic)
    : impl_(std::make_unique<Impl>(width, height, title, helpTopic)) {
  Reserve(impl_->items, 0, impl_->room, kFirstRoom, "(KelDialogItem*)calloc()=NULL");
  KelDialogItemA& box = impl_->items[impl_->count++];
  box.Type = DI_DOUBLEBOX;
  CopyText(box.Data, title);
  impl_->bindings.emplace_back();
}

DialogBuilder::~DialogBuilder() = default;

int DialogBuilder::AddText(int row, int column, const char* text, int color) {
  int i = impl_->Add(con::ItemKind::Text, row, column, con::ItemCells(con::ItemKind::Text, text ? text : ""), text);
  impl_->bindings[static_cast<size_t>(i)].color = color & 0xFF;
  return i;
}

int DialogBuilder::AddEdit(int row, int column, int width, char* value, size_t valueSize) {
  bool fixed = width < 2;
  int i = impl_->Add(fixed ? con::ItemKind::FixedEdit : con::ItemKind::Edit, row, column, fixed ? 1 : width, nullptr);
  KelDialogItemA& it = impl_->items[i];
  if (value && valueSize) {
    // The shown text is the variable's, within its own size and the item's.
    size_t n = std::min({strnlen(value, valueSize), valueSize - 1, sizeof it.Data - 1});
    std::memcpy(it.Data, value, n);
    it.Data[n] = 0;
  }
  impl_->bindings[static_cast<size_t>(i)].text = value;
  impl_->bindings[static_cast<size_t>(i)].textSize = valueSize;
  return i;
}

int DialogBuilder::AddButton(int row, const char* text, bool isDefault) {
  int i = impl_->Add(con::ItemKind::Button, row, kCentre, con::ItemCells(con::ItemKind::Button, text ? text : ""), text);
  if (isDefault) impl_->items[i].DefaultButton = 1;
  return i;
}

int DialogBuilder::AddCheckBox(int row, int column, const char* text, int* value) {
  int i = impl_->Add(con::ItemKind::CheckBox, row, column, con::ItemCells(con::ItemKind::CheckBox, text ? text : ""),
                     text);
  impl_->items[i].Param.Selected = value && *value ? 1 : 0;
  impl_->bindings[static_cast<size_t>(i)].value = value;
  return i;
}

int DialogBuilder::AddRadioButton(int row, int column, const char* text, int* value) {
  int i = impl_->Add(con::ItemKind::RadioButton, row, column,
                     con::ItemCells(con::ItemKind::RadioButton, text ? text : ""), text);
  impl_->items[i].Param.Selected = value && *value ? 1 : 0;
  impl_->bindings[static_cast<size_t>(i)].value = value;
  return i;
}

int DialogBuilder::AddSeparator(int row) { return impl_->Add(con::ItemKind::Separator, row, 0, 0, nullptr); }

KelDialogItemA& DialogBuilder::Item(int index) {
  if (index < 0 || index >= impl_->count) throw ConsoleError("DialogBuilder: no item " + std::to_string(index));
  return impl_->items[index];
}

int DialogBuilder::Count() const { return impl_->count; }

void DialogBuilder::CentreRow(int row, int span, int gap) { impl_->layout.CentreRow(row, span, gap); }

void DialogBuilder::SetHandler(KelDialogProcA handler) { impl_->handler = handler; }

int DialogBuilder::Run(int acceptButton) {
  Impl& d = *impl_;
  d.layout.Finish();
  bool newHost = (detail::HostVersion() & 0xFFFF) >= kNewDialogsVersion;
  const auto& placed = d.layout.Items();
  bool anyFocus = false;
  for (int i = 0; i < d.count; ++i) anyFocus = anyFocus || d.items[i].Focus;
  for (int i = 0; i < d.count; ++i) {
    KelDialogItemA& it = d.items[i];
    const auto& p = placed[static_cast<size_t>(i)];
    it.X1 = p.x1;
    it.Y1 = p.y1;
    it.X2 = p.x2;
    it.Y2 = p.y2;
    if (p.group) it.Flags |= DIF_GROUP;
    // A host that centres button groups itself centres them across the dialog: only rows centred
    // that way get the flag.
    if (p.kind == con::ItemKind::Button && newHost && p.hostCentres) it.Flags |= DIF_CENTERGROUP;
  }
  int focus = d.layout.FirstFocusable();
  if (!anyFocus && focus >= 0) d.items[focus].Focus = 1;
  const HostStartupInfoA& host = detail::Host();
  if (!host.HostDialog) return -1;
  bool coloured = std::any_of(d.bindings.begin(), d.bindings.end(), [](const Impl::Binding& b) { return b.color; });
  Impl* outer = g_running;
  g_running = &d;
  // -1, -1: the host centres a dialog of the given width and height.
  int result = host.HostDialog(host.ModuleNumber, -1, -1, d.layout.DialogWidth(), d.layout.DialogHeight(),
                               d.helpTopic.empty() ? nullptr : d.helpTopic.c_str(), d.items, d.count, 0, 0,
                               newHost && (coloured || d.handler) ? &Impl::Procedure : nullptr, 0);
  g_running = outer;
  if (result != acceptButton || result < 0) return result;
  for (int i = 0; i < d.count; ++i) {
    const Impl::Binding& b = d.bindings[static_cast<size_t>(i)];
    const KelDialogItemA& it = d.items[i];
    if (b.text && b.textSize) {
      size_t n = std::min(strnlen(it.Data, sizeof it.Data), b.textSize - 1);
      std::memcpy(b.text, it.Data, n);
      b.text[n] = 0;
    }
    if (b.value) *b.value = it.Param.Selected ? 1 : 0;
  }
  return result;
}

// ---- MenuBuilder --------------------------------------------------------------------------------

struct MenuBuilder::Impl {
  KelMenuItemA* items = nullptr;
  int count = 0, room = 0;
  std::vector<bool> disabled;
  ~Impl() {
    if (items) HeapFree(GetProcessHeap(), 0, items);
  }
  KelMenuItemA& Next() {
    Reserve(items, count, room, kFirstRoom, "(KelMenuItem*)calloc()==NULL");
    disabled.push_back(false);
    return items[count++];
  }
};

MenuBuilder::MenuBuilder() : impl_(std::make_unique<Impl>()) {}
MenuBuilder::~MenuBuilder() = default;

int MenuBuilder::Add(const char* text, bool selected, bool disabled) {
  KelMenuItemA& it = impl_->Next();
  CopyText(it.Text, text);
  it.Selected = selected ? 1 : 0;
  impl_->disabled.back() = disabled;
  return impl_->count - 1;
}

int MenuBuilder::AddSeparator() {
  KelMenuItemA& it = impl_->Next();
  it.Separator = 1;
  impl_->disabled.back() = true;
  return impl_->count - 1;
}

int MenuBuilder::Count() const { return impl_->count; }

int MenuBuilder::Run(const char* title, const char* bottom, const char* helpTopic) {
  const HostStartupInfoA& host = detail::Host();
  if (!host.HostMenu) return -1;
  for (;;) {
    int chosen = host.HostMenu(host.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, title, bottom, helpTopic, nullptr,
                               nullptr, impl_->items, impl_->count);
    if (chosen < 0 || chosen >= impl_->count) return -1;
    if (!impl_->disabled[static_cast<size_t>(chosen)]) return chosen;
    // A disabled item cannot be chosen: the menu comes back with the cursor on it.
    for (int i = 0; i < impl_->count; ++i) impl_->items[i].Selected = i == chosen;
  }
}

}  // namespace handrel
