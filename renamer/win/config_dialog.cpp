#include "renamer/win/config_dialog.h"

#include <windows.h>

#include <string>
#include <vector>

#include "renamer/core/messages.h"
#include "host/kel_firewall.h"
#include "renamer/win/fault_points.h"
#include "renamer/win/registry_store.h"
#include "renamer/win/ui.h"

namespace quillet {

namespace {

// What a control shows and where its value goes.
enum class Bind { kNone, kSwitch, kChoice, kText };

struct Control {
  int type;
  int x1, y1, x2, y2;
  int message;  // language message of its label, -1 for none
  uint32_t flags;
  Bind bind;
  bool ConfigValues::*flag;         // kSwitch
  uint32_t ConfigValues::*choice;   // kChoice: the field ...
  uint32_t value;                   // ... and the value this radio button stands for
  std::u16string ConfigValues::*text;  // kText
};

using V = ConfigValues;

Control Box(int message, int x1, int y1, int x2, int y2) {
  return {DI_DOUBLEBOX, x1, y1, x2, y2, message, 0, Bind::kNone, nullptr, nullptr, 0, nullptr};
}
Control Label(int message, int x, int y, uint32_t flags = 0) {
  return {DI_TEXT, x, y, 0, y, message, flags, Bind::kNone, nullptr, nullptr, 0, nullptr};
}
Control Separator(int y, int message = -1) {
  return {DI_TEXT, -1, y, 0, y, message, DIF_SEPARATOR, Bind::kNone, nullptr, nullptr, 0, nullptr};
}
Control Check(int message, int x, int y, bool V::*flag) {
  return {DI_CHECKBOX, x, y, 0, y, message, 0, Bind::kSwitch, flag, nullptr, 0, nullptr};
}
Control Radio(int message, int x, int y, uint32_t V::*choice, uint32_t value, bool first) {
  return {DI_RADIOBUTTON, x, y, 0, y, message, first ? uint32_t(DIF_GROUP) : 0u, Bind::kChoice, nullptr, choice, value,
          nullptr};
}
Control Edit(int x1, int x2, int y, std::u16string V::*text) {
  return {DI_EDIT, x1, y, x2, y, -1, 0, Bind::kText, nullptr, nullptr, 0, text};
}
Control Button(int message, int y, uint32_t flags) {
  return {DI_BUTTON, 0, y, 0, y, message, flags | DIF_CENTERGROUP, Bind::kNone, nullptr, nullptr, 0, nullptr};
}

// The controls in the order the user meets them. Two columns in the upper part; the labels of
// messages 86 to 133.
const std::vector<Control>& Controls() {
  static const std::vector<Control> controls = {
      Box(86, 3, 1, 80, 33),
      Label(87, 5, 2),
      Check(88, 5, 3, &V::confirmDialogCancel),
      Check(89, 5, 4, &V::confirmSwitch),
      Check(90, 5, 5, &V::confirmRename),
      Check(91, 5, 6, &V::confirmRenameProb),
      Check(92, 5, 7, &V::confirmRenameCancel),
      Check(93, 5, 8, &V::confirmPreviewCancel),
      Check(94, 5, 9, &V::warnOnExtRemove),
      Label(95, 44, 2),
      Check(96, 44, 3, &V::renameFolders),
      Check(97, 44, 4, &V::convertExtensionCase),
      Check(98, 44, 5, &V::autoRollbackCancel),
      Check(99, 44, 6, &V::multipleEntries),
      Check(100, 44, 7, &V::saveLastDialogType),
      Label(101, 44, 8),
      Radio(102, 46, 9, &V::defaultDialogType, 0, true),
      Radio(103, 62, 9, &V::defaultDialogType, 1, false),
      Separator(10),
      Check(104, 5, 11, &V::useDialogShortcuts),
      Label(105, 44, 11),
      Edit(62, 78, 11, &V::wordDelimiters),
      Check(106, 5, 12, &V::previewDupCheck),
      Label(107, 44, 12),
      Edit(62, 72, 12, &V::previewDupMax),
      Check(108, 5, 13, &V::renameDupCheck),
      Label(109, 44, 13),
      Edit(62, 72, 13, &V::renameDupMax),
      Separator(14, 133),
      Check(110, 5, 15, &V::showRenameSummary),
      Check(111, 44, 15, &V::summaryOnErrorOnly),
      Check(112, 5, 16, &V::editorEntry),
      Check(113, 5, 17, &V::autoIgnoreOther),
      Check(114, 5, 18, &V::autoResolve),
      Radio(115, 44, 18, &V::autoResolveType, 0, true),
      Radio(116, 60, 18, &V::autoResolveType, 1, false),
      Label(117, 7, 19),
      Radio(118, 24, 19, &V::autoResolveSuffix, 0, true),
      Radio(119, 42, 19, &V::autoResolveSuffix, 1, false),
      Radio(120, 60, 19, &V::autoResolveSuffix, 2, false),
      Label(121, 7, 20),
      Edit(44, 54, 20, &V::autoResolveMax),
      Separator(21),
      Check(122, 5, 22, &V::saveTemplateHistory),
      Label(123, 44, 22),
      Edit(62, 72, 22, &V::templateHistoryMax),
      Check(124, 7, 23, &V::clearHistory),
      Check(125, 5, 24, &V::saveLastSeqStart),
      Check(126, 5, 25, &V::sequenceHexUppercase),
      Label(127, 5, 26),
      Radio(128, 7, 27, &V::sequenceProcessOrder, 0, true),
      Radio(129, 30, 27, &V::sequenceProcessOrder, 1, false),
      Radio(130, 53, 27, &V::sequenceProcessOrder, 2, false),
      Separator(31),
      Button(131, 32, DIF_DEFAULTBUTTON),
      Button(132, 32, 0),
  };
  return controls;
}

constexpr size_t kNumberFieldChars = 10;

// The dialog's state while it runs: the values read back when it is confirmed.
struct Running {
  const HostStartupInfo* host;
  ConfigValues values;
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
  if (gRunning->failed) return msg == DN_CLOSE ? TRUE : gRunning->host->HostDefDlgProc(dlg, msg, param1, param2);
  if (msg == DN_CLOSE && param1 >= 0 && param1 != gRunning->cancelIndex) {
    QUILLET_FAULT_POINT("config.close");
    const HostStartupInfo& host = *gRunning->host;
    const std::vector<Control>& controls = Controls();
    for (size_t i = 0; i < controls.size(); ++i) {
      const Control& c = controls[i];
      const int index = int(i);
      switch (c.bind) {
        case Bind::kSwitch:
          gRunning->values.*c.flag = host.HostSendDlgMessage(dlg, DM_GETCHECK, index, nullptr) == BSTATE_CHECKED;
          break;
        case Bind::kChoice:
          if (host.HostSendDlgMessage(dlg, DM_GETCHECK, index, nullptr) == BSTATE_CHECKED)
            gRunning->values.*c.choice = c.value;
          break;
        case Bind::kText:
          gRunning->values.*c.text = ItemText(host, dlg, index);
          break;
        case Bind::kNone:
          break;
      }
    }
  }
  return gRunning->host->HostDefDlgProc(dlg, msg, param1, param2);
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
  const std::vector<Control>& controls = Controls();
  Running running{&host, ConfigFromSettings(*settings), -1, false};
  std::vector<KelDialogItem> items(controls.size());
  std::vector<std::wstring> texts(controls.size());
  for (size_t i = 0; i < controls.size(); ++i) {
    const Control& c = controls[i];
    KelDialogItem& item = items[i];
    item = KelDialogItem{};
    item.Type = c.type;
    item.X1 = c.x1;
    item.Y1 = c.y1;
    item.X2 = c.x2;
    item.Y2 = c.y2;
    item.Flags = c.flags;
    if (c.message >= 0) {
      const wchar_t* label = host.HostGetMsg(host.ModuleNumber, c.message);
      texts[i] = label ? label : L"";
    }
    switch (c.bind) {
      case Bind::kSwitch: item.Param.Selected = running.values.*c.flag ? 1 : 0; break;
      case Bind::kChoice: item.Param.Selected = running.values.*c.choice == c.value ? 1 : 0; break;
      case Bind::kText:
        texts[i] = Wide(running.values.*c.text);
        // Number fields take up to 10 characters; the delimiter field as many as are stored.
        item.MaxLength = c.text == &V::wordDelimiters ? kDelimitersMaxBytes / 2 : kNumberFieldChars;
        break;
      case Bind::kNone: break;
    }
    if (c.message == kMsgConfigCancel) running.cancelIndex = int(i);
    item.Data = texts[i].c_str();
  }
  items[2].Flags |= DIF_FOCUS;

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
