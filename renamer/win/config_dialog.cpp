#include "renamer/win/config_dialog.h"

#include <windows.h>

#include <string>
#include <vector>

#include "host/kel_firewall.h"
#include "renamer/core/messages.h"
#include "renamer/win/fault_points.h"
#include "renamer/win/registry_store.h"
#include "renamer/win/ui.h"

namespace quillet {

namespace {

// One dialog item: the row it belongs to, and for radio buttons the value it stands for. The
// label of an edit field or a radio group is an item of its own (the field is `isField`).
struct ItemOfRow {
  size_t row;
  bool isField;
  uint32_t choice;
};

// The dialog's state while it runs: the values read back when it is confirmed.
struct Running {
  const HostStartupInfo* host;
  std::vector<ItemOfRow> itemRows;
  std::vector<DialogValue> values;  // one per row
  int cancelIndex;
  bool failed;  // an exception reached the procedure: the dialog closes and nothing is taken back
};
Running* gRunning = nullptr;  // the host runs one configuration dialog at a time, on its thread

std::u16string ItemText(const HostStartupInfo& host, KelDialogHandle dlg, int index) {
  const intptr_t length = host.HostSendDlgMessage(dlg, DM_GETTEXT, index, nullptr);
  if (length <= 0) return {};
  std::wstring buffer(size_t(length) + 1, L'\0');
  KelDialogItemData data{size_t(length), buffer.data()};
  host.HostSendDlgMessage(dlg, DM_GETTEXT, index, &data);
  buffer.resize(wcsnlen(buffer.c_str(), size_t(length)));
  return U16(buffer);
}

intptr_t HandleConfig(KelDialogHandle dlg, int msg, int param1, void* param2) {
  Running& r = *gRunning;
  if (r.failed) return msg == DN_CLOSE ? TRUE : r.host->HostDefDlgProc(dlg, msg, param1, param2);
  if (msg == DN_CLOSE && param1 >= 0 && param1 != r.cancelIndex) {
    QUILLET_FAULT_POINT("config.close");
    const std::vector<SettingRow>& rows = SettingRows();
    for (size_t i = 0; i < r.itemRows.size(); ++i) {
      const ItemOfRow& it = r.itemRows[i];
      if (!it.isField) continue;
      const int index = int(i);
      DialogValue& v = r.values[it.row];
      const bool checked = r.host->HostSendDlgMessage(dlg, DM_GETCHECK, index, nullptr) == BSTATE_CHECKED;
      switch (rows[it.row].control) {
        case Control::kCheck: v.checked = checked; break;
        case Control::kRadios:
          if (checked) v.choice = it.choice;
          break;
        case Control::kEdit: v.text = ItemText(*r.host, dlg, index); break;
        default: break;
      }
    }
  }
  return r.host->HostDefDlgProc(dlg, msg, param1, param2);
}

intptr_t KEL_API ConfigProc(KelDialogHandle dlg, int msg, int param1, void* param2) {
  Running* running = gRunning;
  if (!running) return 0;
  return kel::Firewall("ConfigDialog", intptr_t(0), [&] { return HandleConfig(dlg, msg, param1, param2); },
                       [&](const char* where, const char* what) {
                         if (running->failed) return;
                         running->failed = true;
                         ui::ReportUnhandled(*running->host, where, what);
                         running->host->HostSendDlgMessage(dlg, DM_CLOSE, -1, nullptr);
                       });
}

}  // namespace

bool RunConfigDialog(const HostStartupInfo& host, Settings* settings) {
  const std::vector<SettingRow>& rows = SettingRows();
  Running running{&host, {}, DialogValuesOf(*settings), -1, false};
  std::vector<KelDialogItem> items;
  std::vector<std::wstring> texts;  // the items point into it once all are made
  auto label = [&](int message) {
    const wchar_t* text = message >= 0 ? host.HostGetMsg(host.ModuleNumber, message) : nullptr;
    return std::wstring(text ? text : L"");
  };
  auto add = [&](KelDialogItem item, std::wstring text, size_t row, bool isField, uint32_t choice = 0) {
    items.push_back(item);
    texts.push_back(std::move(text));
    running.itemRows.push_back({row, isField, choice});
  };
  bool focused = false;
  for (size_t r = 0; r < rows.size(); ++r) {
    const SettingRow& row = rows[r];
    const DialogValue& v = running.values[r];
    switch (row.control) {
      case Control::kNone: break;
      case Control::kFrame: add(ui::Item(DI_DOUBLEBOX, row.x1, row.y1, row.x2, row.y2), label(row.message), r, false); break;
      case Control::kLabel: add(ui::Item(DI_TEXT, row.x1, row.y1, 0, row.y1), label(row.message), r, false); break;
      case Control::kSeparator:
        add(ui::Item(DI_TEXT, row.x1, row.y1, 0, row.y1, DIF_SEPARATOR), label(row.message), r, false);
        break;
      case Control::kCheck: {
        KelDialogItem item = ui::Item(DI_CHECKBOX, row.x1, row.y1, 0, row.y1, focused ? 0u : uint32_t(DIF_FOCUS));
        focused = true;
        item.Param.Selected = v.checked ? 1 : 0;
        add(item, label(row.message), r, true);
        break;
      }
      case Control::kEdit: {
        add(ui::Item(DI_TEXT, row.x1, row.y1, 0, row.y1), label(row.message), r, false);
        KelDialogItem item = ui::Item(DI_EDIT, row.editX1, row.y1, row.x2, row.y1);
        // Number fields take up to 10 characters; a text as many as are stored.
        item.MaxLength = row.kind == RowKind::kText ? kDelimitersMaxBytes / 2 : kNumberFieldChars;
        add(item, Wide(v.text), r, true);
        break;
      }
      case Control::kRadios:
        if (row.message >= 0) add(ui::Item(DI_TEXT, row.x1, row.y1, 0, row.y1), label(row.message), r, false);
        for (uint32_t c = 0; c < row.choiceCount; ++c) {
          KelDialogItem item = ui::Item(DI_RADIOBUTTON, row.choices[c].x, row.y1, 0, row.y1, c == 0 ? uint32_t(DIF_GROUP) : 0u);
          item.Param.Selected = v.choice == c ? 1 : 0;
          add(item, label(row.choices[c].message), r, true, c);
        }
        break;
      case Control::kButton:
      case Control::kDefaultButton: {
        const uint32_t flags = DIF_CENTERGROUP | (row.control == Control::kDefaultButton ? uint32_t(DIF_DEFAULTBUTTON) : 0u);
        if (row.message == kMsgConfigCancel) running.cancelIndex = int(items.size());
        add(ui::Item(DI_BUTTON, row.x1, row.y1, 0, row.y1, flags), label(row.message), r, false);
        break;
      }
    }
  }
  for (size_t i = 0; i < items.size(); ++i) items[i].Data = texts[i].c_str();

  gRunning = &running;
  const int exit = host.HostDialog(host.ModuleNumber, nullptr, 0, 0, 83, 34, L"Config", items.data(), int(items.size()),
                                   0, ConfigProc, nullptr);
  gRunning = nullptr;
  if (exit < 0 || exit == running.cancelIndex || running.failed) return false;

  ApplyConfig(running.values, settings, [&] {
    const wchar_t* lines[] = {host.HostGetMsg(host.ModuleNumber, kMsgTitle),
                              host.HostGetMsg(host.ModuleNumber, kMsgAskClearHistory)};
    return host.HostMessage(host.ModuleNumber, FMSG_WARNING | FMSG_MB_YESNO, L"DialogMessages", lines, 2, 0) == 0;
  });
  return true;
}

}  // namespace quillet
