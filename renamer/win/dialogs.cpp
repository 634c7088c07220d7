// The Construct and Manipulate dialogs (92 x 21 each): options, the preview line (Construct),
// Rename / Preview / Cancel / Switch, the status line, the 37-cell bar and the preview list; the
// compute job on the rename worker; and the loop that switches between the two dialogs and ends
// in the rename job.
//
// The dialog thread never waits for the worker: it starts it, disables the controls, and learns
// of progress and the end through user messages the worker sends with HostSendDlgMessage.
#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "host/kel_firewall.h"
#include "renamer/core/messages.h"
#include "renamer/core/renamejob.h"
#include "renamer/win/fault_points.h"
#include "renamer/win/ui.h"

namespace quillet::ui {

namespace {

constexpr uint32_t kBarCells = 37;

// Language messages of the dialogs.
enum : int {
  kMsgStatusNone = 16, kMsgStatusDuplicates = 18, kMsgTemplateLabel = 25, kMsgStartLabel = 26, kMsgHexBox = 27,
  kMsgExtBox = 28, kMsgCaseBox = 29, kMsgCaseTitle = 30, kMsgCaseLower = 31, kMsgCaseUpper = 32,
  kMsgManipulateTitle = 34, kMsgReplaceBox = 35, kMsgWith = 36, kMsgPrefixBox = 37, kMsgSuffixBox = 38,
  kMsgCutBox = 39, kMsgCutStart = 40, kMsgCutEnd = 41, kMsgExtOption = 42, kMsgAddBox = 43,
  kMsgManipulateNotStarted = 56, kMsgAskExtRemove = 57, kMsgTemplateBadChar = 66, kMsgStartBad = 68,
  kMsgConstructNotStarted = 69, kMsgAskClearHistoryDialog = 70, kMsgAskCancelCompute = 155,
};

enum class Exit { kRename, kCancel, kSwitch };

// Dialog status: -1 nothing computed .. 7 hashing.
enum Status : int {
  kNothing = -1, kPreviewOk = 0, kPreviewDuplicates = 1, kChanged = 2, kComputeCancelled = 3, kComputeFailed = 4,
  kPhaseComputing = 5, kPhaseComparing = 6, kPhaseHashing = 7,
};

// Bumped by every computation of the list's new names: a dialog whose preview is older than the
// names in the list (the other dialog computed meanwhile) has no current preview.
uint64_t gGeneration = 0;

std::wstring VisibleLabel(const wchar_t* label) {
  std::wstring s;
  for (const wchar_t* p = label; *p; ++p) {
    if (*p != L'&') s += *p;
  }
  return s;
}

CaseMode CaseOf(int radio) { return radio == 0 ? CaseMode::kTitle : radio == 1 ? CaseMode::kLower : CaseMode::kUpper; }

// Sends the compute job's notifications to the dialog.
class ComputeToDialog : public ComputeHooks {
 public:
  ComputeToDialog(const Context& ctx, HANDLE dlg) : ctx_(ctx), dlg_(dlg) {}
  void Progress() override { ctx_.host->HostSendDlgMessage(dlg_, DM_USER, 0, nullptr); }
  void PhaseStarted(Phase phase) override {
    ctx_.host->HostSendDlgMessage(dlg_, DM_USER, 2, reinterpret_cast<void*>(intptr_t(phase)));
  }

 private:
  const Context& ctx_;
  HANDLE dlg_;
};

// What each dialog keeps while the loop of dialogs lasts, beside the values of its fields.
struct DialogState {
  int status = kNothing;
  uint32_t duplicates = 0;
  uint64_t generation = 0;         // gGeneration of its last computation
  bool lastPreviewChecked = false;  // the last preview ran its duplicate check to the end
};

// What both dialogs share: the buttons, the status line, the bar, the preview list, the compute
// job, and the keys both dialogs answer alike.
//
// A dialog object lives for one showing: its controls are made once, when it opens; what the
// user left in it goes back into its state record when it closes, and the next showing of the
// same dialog is a new object made from that record.
class RenameDialog {
 public:
  RenameDialog(Context& ctx, DialogState* kept)
      : status(kept->status), duplicates(kept->duplicates), generation(kept->generation),
        lastPreviewChecked(kept->lastPreviewChecked), ctx_(ctx) {}
  virtual ~RenameDialog() { JoinWorker(); }
  RenameDialog(const RenameDialog&) = delete;
  RenameDialog& operator=(const RenameDialog&) = delete;

  Exit Run();

  // The kept state, written straight into the dialog's state record.
  int& status;
  uint32_t& duplicates;
  uint64_t& generation;
  bool& lastPreviewChecked;

 protected:
  // Item numbers the subclass assigns.
  int rename_ = 0, preview_ = 0, cancel_ = 0, switch_ = 0, status_ = 0, bar_ = 0, list_ = 0;
  int caseBox_ = 0, caseFirst_ = 0;

  virtual void Build() = 0;                         // fills items_ and texts_
  virtual const wchar_t* Help() const = 0;
  virtual void Init(HANDLE) {}
  virtual void Changed(HANDLE dlg, int item) = 0;   // an option changed
  // Reads the fields and checks them with the core's rules: on success keeps the options for
  // the worker, else shows the error and focuses the faulty field.
  virtual bool Prepare(HANDLE dlg) = 0;
  virtual bool BeforeRename(HANDLE) { return true; }
  virtual int Compute(bool forRename, bool skip, ComputeHooks* hooks) = 0;
  virtual bool Key(HANDLE dlg, int focus, uint32_t key) = 0;
  virtual void Keep(HANDLE dlg) = 0;                // keeps the values when the dialog closes
  virtual int NotStartedMessage() const = 0;
  virtual JobKind Kind() const = 0;

  const Settings& S() const { return *ctx_.settings; }
  std::wstring& Text(int item) { return texts_[size_t(item)]; }
  int Add(int type, int x1, int y1, int x2, int y2, uint32_t flags = 0, std::wstring text = L"") {
    texts_.push_back(std::move(text));
    items_.push_back(Item(type, x1, y1, x2, y2, flags));
    return int(items_.size() - 1);
  }
  // A check box with its key hint after the label when shortcuts are on.
  int AddCheck(int message, int x, int y, bool checked, uint32_t key, uint32_t pos) {
    const int item = Add(DI_CHECKBOX, x, y, 0, y, 0, Msg(ctx_, message));
    items_[size_t(item)].Param.Selected = checked;
    if (S().useDialogShortcuts && key) {
      const int hx = x + 4 + int(VisibleLabel(Msg(ctx_, message)).size()) + 1 + int(pos);
      Add(DI_TEXT, hx, y, 0, y, 0, L"(" + KeyName(key) + L")");
    }
    return item;
  }
  void AddCommonBottom(int firstRow);
  void AddCase(int x, int y, bool on, int choice);
  void SetCaseEnabled(HANDLE dlg) {
    const bool on = Checked(ctx_, dlg, caseBox_);
    for (int i = 0; i < 3; ++i) Send(ctx_, dlg, DM_ENABLE, caseFirst_ + i, on ? 1 : 0);
  }
  int CaseChoice(HANDLE dlg) {
    for (int i = 0; i < 3; ++i) {
      if (Checked(ctx_, dlg, caseFirst_ + i)) return i;
    }
    return 0;
  }
  bool CaseKeys(HANDLE dlg, uint32_t key);
  void MarkChanged(HANDLE dlg) {
    if (status != kNothing && status != kChanged && !running_) SetStatus(dlg, kChanged);
  }
  void SetStatus(HANDLE dlg, int value);
  void Error(HANDLE dlg, const std::wstring& text, int focus, const wchar_t* help) {
    Message(ctx_, FMSG_WARNING | FMSG_MB_OK, help, {text});
    if (focus >= 0) Send(ctx_, dlg, DM_SETFOCUS, focus);
  }
  void CloseWith(HANDLE dlg, int item) {
    closing_ = true;
    Send(ctx_, dlg, DM_CLOSE, item);
  }

  Context& ctx_;
  std::vector<KelDialogItem> items_;
  std::vector<std::wstring> texts_;

 private:
  static intptr_t KEL_API Proc(HANDLE dlg, int msg, int p1, void* p2);
  intptr_t Handle(HANDLE dlg, int msg, int p1, void* p2);
  // An exception reached the procedure: report it, stop a running computation and close the
  // dialog as cancelled (its state may be half changed, so nothing of it is kept).
  void Failed(HANDLE dlg, const char* where, const char* what);
  void StartCompute(HANDLE dlg, bool forRename, bool skip);
  void ComputeEnded(HANDLE dlg, bool forRename);
  void DoPreview(HANDLE dlg, bool skip);
  void DoRename(HANDLE dlg, bool skip);
  void DoCancel(HANDLE dlg);
  void DoSwitch(HANDLE dlg);
  void CancelCompute();
  void FillList(HANDLE dlg);
  void JoinWorker() {
    if (worker_.joinable()) worker_.join();
  }

  bool running_ = false;
  bool closing_ = false;
  bool failed_ = false;
  std::string workerFailure_;  // the exception that ended the worker, if one did; read after its end
  bool workerFailed_ = false;
  bool forRename_ = false;
  std::vector<intptr_t> enabledBefore_;
  std::thread worker_;
  std::unique_ptr<ComputeToDialog> hooks_;
  std::wstring statusText_, barText_;
  std::vector<std::wstring> rows_;
  static RenameDialog* current_;
};

RenameDialog* RenameDialog::current_ = nullptr;

void RenameDialog::AddCommonBottom(int firstRow) {
  Add(DI_TEXT, 4, firstRow, 0, firstRow, DIF_SEPARATOR);
  rename_ = Add(DI_BUTTON, 0, firstRow + 1, 0, firstRow + 1, DIF_CENTERGROUP | DIF_DEFAULTBUTTON | DIF_BTNNOCLOSE,
                Msg(ctx_, kMsgButtonRename));
  preview_ = Add(DI_BUTTON, 0, firstRow + 1, 0, firstRow + 1, DIF_CENTERGROUP | DIF_BTNNOCLOSE, Msg(ctx_, kMsgButtonPreview));
  cancel_ = Add(DI_BUTTON, 0, firstRow + 1, 0, firstRow + 1, DIF_CENTERGROUP | DIF_BTNNOCLOSE, Msg(ctx_, kMsgCancel));
  switch_ = Add(DI_BUTTON, 0, firstRow + 1, 0, firstRow + 1, DIF_CENTERGROUP | DIF_BTNNOCLOSE, Msg(ctx_, kMsgButtonSwitch));
  status_ = Add(DI_TEXT, 5, firstRow + 2, 49, firstRow + 2);
  bar_ = Add(DI_TEXT, 51, firstRow + 2, 87, firstRow + 2, 0, std::wstring(kBarCells, L'\x2592'));
  list_ = Add(DI_LISTBOX, 4, firstRow + 3, 87, 18, DIF_LISTNOBOX);
}

void RenameDialog::AddCase(int x, int y, bool on, int choice) {
  caseBox_ = AddCheck(kMsgCaseBox, x, y, on, S().keyCase, S().posCase);
  const int messages[3] = {kMsgCaseTitle, kMsgCaseLower, kMsgCaseUpper};
  int cx = x + 4;
  // The three choices stay next to each other: they are one group of radio buttons.
  for (int i = 0; i < 3; ++i) {
    const int item = Add(DI_RADIOBUTTON, cx, y + 1, 0, y + 1, (i == 0 ? DIF_GROUP : 0u) | (on ? 0u : DIF_DISABLE),
                         Msg(ctx_, messages[i]));
    items_[size_t(item)].Param.Selected = i == choice;
    if (i == 0) caseFirst_ = item;
    cx += 4 + int(VisibleLabel(Msg(ctx_, messages[i])).size()) + 2;
  }
  if (S().useDialogShortcuts) {
    Add(DI_TEXT, cx, y + 1, 0, y + 1, 0,
        L"(" + KeyName(S().keyCaseTitle) + L" " + KeyName(S().keyCaseLower) + L" " + KeyName(S().keyCaseUpper) + L")");
  }
}

bool RenameDialog::CaseKeys(HANDLE dlg, uint32_t key) {
  if (!S().useDialogShortcuts) return false;
  if (key == S().keyCase) {
    Send(ctx_, dlg, DM_SETCHECK, caseBox_, Checked(ctx_, dlg, caseBox_) ? BSTATE_UNCHECKED : BSTATE_CHECKED);
    SetCaseEnabled(dlg);
    Changed(dlg, caseBox_);
    return true;
  }
  const uint32_t keys[3] = {S().keyCaseTitle, S().keyCaseLower, S().keyCaseUpper};
  for (int i = 0; i < 3; ++i) {
    if (key == keys[i]) {
      if (!Checked(ctx_, dlg, caseBox_)) return true;
      for (int k = 0; k < 3; ++k) Send(ctx_, dlg, DM_SETCHECK, caseFirst_ + k, k == i ? BSTATE_CHECKED : BSTATE_UNCHECKED);
      Changed(dlg, caseFirst_ + i);
      return true;
    }
  }
  return false;
}

void RenameDialog::SetStatus(HANDLE dlg, int value) {
  status = value;
  std::wstring text = value == kPreviewDuplicates ? Format(Msg(ctx_, kMsgStatusDuplicates), unsigned(duplicates))
                                                  : Msg(ctx_, kMsgStatusNone + value + 1);
  statusText_ = std::wstring(Msg(ctx_, kMsgStatus)) + L": " + text;
  SetText(ctx_, dlg, status_, statusText_);
}

Exit RenameDialog::Run() {
  Build();  // once: a dialog object is shown once
  for (size_t i = 0; i < items_.size(); ++i) items_[i].Data = texts_[i].c_str();
  // A preview of names the other dialog has replaced meanwhile is no longer current.
  if ((status == kPreviewOk || status == kPreviewDuplicates) && generation != gGeneration) status = kChanged;
  RenameDialog* previous = current_;
  current_ = this;
  closing_ = false;
  const int exit = ctx_.host->HostDialog(ctx_.host->ModuleNumber, nullptr, 0, 0, 91, 20, Help(), items_.data(),
                                         int(items_.size()), 0, Proc, this);
  JoinWorker();
  current_ = previous;
  if (exit == rename_) return Exit::kRename;
  if (exit == switch_) return Exit::kSwitch;
  return Exit::kCancel;
}

intptr_t KEL_API RenameDialog::Proc(HANDLE dlg, int msg, int p1, void* p2) {
  RenameDialog* self = current_;
  if (!self) return 0;
  return kel::Firewall("RenameDialog", intptr_t(0), [&] { return self->Handle(dlg, msg, p1, p2); },
                       [&](const char* where, const char* what) { self->Failed(dlg, where, what); });
}

void RenameDialog::Failed(HANDLE dlg, const char* where, const char* what) {
  if (failed_) return;  // reported once; the dialog is closing
  failed_ = true;
  ctx_.list->control.cancel = true;
  ctx_.list->control.pause = false;
  ReportUnhandled(*ctx_.host, where, what);
  Send(ctx_, dlg, DM_CLOSE, cancel_);
}

intptr_t RenameDialog::Handle(HANDLE dlg, int msg, int p1, void* p2) {
  const intptr_t p2v = reinterpret_cast<intptr_t>(p2);
  if (failed_) return msg == DN_CLOSE ? TRUE : ctx_.host->HostDefDlgProc(dlg, msg, p1, p2);
  if (msg == DN_BTNCLICK) QUILLET_FAULT_POINT("dialog.click");
  switch (msg) {
    case DN_INITDIALOG:
      SetStatus(dlg, status);
      SetCaseEnabled(dlg);
      Init(dlg);
      if (status == kPreviewOk || status == kPreviewDuplicates) FillList(dlg);
      return TRUE;
    case DN_BTNCLICK:
      if (running_) return TRUE;
      if (p1 == rename_) {
        DoRename(dlg, p2v != 0);
      } else if (p1 == preview_) {
        DoPreview(dlg, p2v != 0);
      } else if (p1 == cancel_) {
        DoCancel(dlg);
      } else if (p1 == switch_) {
        DoSwitch(dlg);
      } else {
        if (p1 == caseBox_) SetCaseEnabled(dlg);
        Changed(dlg, p1);
        return FALSE;
      }
      return TRUE;
    case DN_EDITCHANGE:
      if (!running_) Changed(dlg, p1);
      return TRUE;
    case DN_GOTFOCUS:
      if (!running_ && p1 >= caseFirst_ && p1 < caseFirst_ + 3) Changed(dlg, p1);
      return 0;
    case DN_KEY: {
      const uint32_t key = uint32_t(p2v);
      if (running_) {
        if (key == KEY_ESC) CancelCompute();
        return TRUE;  // keys belong to the job while it runs
      }
      const bool shift = (key & KEY_SHIFT) != 0;
      const uint32_t plain = key & ~uint32_t(KEY_SHIFT);
      if (plain == KEY_ENTER || plain == KEY_NUMENTER) {
        DoRename(dlg, shift);  // wherever the focus is
        return TRUE;
      }
      if (key == KEY_ESC) {
        DoCancel(dlg);
        return TRUE;
      }
      if (plain == S().keyPreview) {
        DoPreview(dlg, shift);
        return TRUE;
      }
      if (key == S().keySwitch) {
        DoSwitch(dlg);
        return TRUE;
      }
      return Key(dlg, p1, key) ? TRUE : FALSE;
    }
    case DN_CLOSE:
      if (running_) return FALSE;
      if (closing_) {
        Keep(dlg);
        return TRUE;
      }
      return FALSE;  // closing goes through Rename, Cancel and Switch
    default:
      break;
  }
  if (msg == DM_USER) {
    switch (p1) {
      case 0: {
        const WorkerControl& c = ctx_.list->control;
        barText_ = W(ProgressBar(c.progressDone.load(), c.progressTotal.load(), kBarCells));
        SetText(ctx_, dlg, bar_, barText_);
        break;
      }
      case 1:
        ComputeEnded(dlg, p2v != 0);
        break;
      case 2:
        SetStatus(dlg, p2v == 0 ? kPhaseComputing : p2v == 2 ? kPhaseHashing : kPhaseComparing);
        break;
      default:
        break;
    }
    return 0;
  }
  return ctx_.host->HostDefDlgProc(dlg, msg, p1, p2);
}

void RenameDialog::StartCompute(HANDLE dlg, bool forRename, bool skip) {
  JoinWorker();
  enabledBefore_.assign(items_.size(), 0);
  for (size_t i = 0; i < items_.size(); ++i) enabledBefore_[i] = Send(ctx_, dlg, DM_ENABLE, int(i), intptr_t(-1));
  for (size_t i = 0; i < items_.size(); ++i) Send(ctx_, dlg, DM_ENABLE, int(i), intptr_t(0));
  WorkerControl& c = ctx_.list->control;
  c.cancel = false;
  c.pause = false;
  c.forRename = forRename;
  c.skipCheck = skip;
  c.kind = int(Kind());
  c.running = true;
  running_ = true;
  forRename_ = forRename;
  ++gGeneration;
  generation = gGeneration;
  hooks_ = std::make_unique<ComputeToDialog>(ctx_, dlg);
  workerFailed_ = false;
  try {
    QUILLET_FAULT_POINT("compute.thread");
    worker_ = std::thread([this, forRename, skip, dlg] {
      // Nothing may leave a thread function: an exception ends the computation as failed and is
      // reported on the dialog's thread when the end notification arrives.
      const int result = kel::Firewall("RenameWorker", int(kOutOfMemory), [&] {
        QUILLET_FAULT_POINT("compute.worker");
        return Compute(forRename, skip, hooks_.get());
      }, [&](const char*, const char* what) {
        workerFailure_ = what;
        workerFailed_ = true;
      });
      WorkerControl& wc = ctx_.list->control;
      wc.result = result;
      wc.running = false;
      ctx_.host->HostSendDlgMessage(dlg, DM_USER, 1, reinterpret_cast<void*>(intptr_t(forRename ? 1 : 0)));
    });
  } catch (...) {
    c.running = false;
    running_ = false;
    for (size_t i = 0; i < items_.size(); ++i) Send(ctx_, dlg, DM_ENABLE, int(i), enabledBefore_[i]);
    Message(ctx_, FMSG_WARNING | FMSG_MB_OK, Help(), {Msg(ctx_, NotStartedMessage())});
    SetStatus(dlg, kComputeFailed);
  }
}

void RenameDialog::ComputeEnded(HANDLE dlg, bool forRename) {
  running_ = false;
  if (workerFailed_) {
    workerFailed_ = false;
    ReportUnhandled(*ctx_.host, "RenameWorker", workerFailure_.c_str());
  }
  const int result = ctx_.list->control.result.load();
  duplicates = ctx_.list->duplicateCount;
  lastPreviewChecked = ctx_.list->checkCompleted;
  for (size_t i = 0; i < items_.size() && i < enabledBefore_.size(); ++i) {
    Send(ctx_, dlg, DM_ENABLE, int(i), enabledBefore_[i]);
  }
  SetStatus(dlg, result == kNoDuplicates ? kPreviewOk
                 : result == kDuplicatesFound ? kPreviewDuplicates
                 : result == kCancelled ? kComputeCancelled
                                        : kComputeFailed);
  FillList(dlg);
  if (!forRename) return;
  switch (status) {
    case kPreviewOk:
      CloseWith(dlg, rename_);
      break;
    case kPreviewDuplicates:
      if (!S().confirmRenameProb || AskYesNo(ctx_, Msg(ctx_, kMsgAskRenameProblems), L"DialogMessages")) {
        CloseWith(dlg, rename_);
      } else {
        Send(ctx_, dlg, DM_SETFOCUS, list_);
      }
      break;
    case kComputeFailed:
      Error(dlg, Msg(ctx_, kMsgStatusNone + int(kComputeFailed) + 1), list_, L"ConstructDialogErrors");
      break;
    default:
      Send(ctx_, dlg, DM_SETFOCUS, list_);
      break;
  }
}

void RenameDialog::FillList(HANDLE dlg) {
  Send(ctx_, dlg, DM_LISTDELETE, list_, nullptr);
  rows_.clear();
  if (status != kPreviewOk && status != kPreviewDuplicates) return;
  const RenameList& list = *ctx_.list;
  std::vector<KelListItem> rows(list.items.size());
  rows_.reserve(list.items.size());
  for (size_t i = 0; i < list.items.size(); ++i) {
    const NewNameEntry* e = i < list.entries.size() ? &list.entries[i] : nullptr;
    uint32_t flags = 0;
    if (e && e->name) {
      rows_.push_back(W(*e->name));
      if (e->status != kStatusOk) flags |= LIF_CHECKED;
    } else {
      rows_.push_back(W(list.items[i].name));
      flags |= LIF_CHECKED | LIF_GRAYED;
    }
    rows[i] = KelListItem{flags, rows_.back().c_str(), {0, 0}};
  }
  KelList add{int(rows.size()), rows.data()};
  Send(ctx_, dlg, DM_LISTADD, list_, &add);
}

void RenameDialog::DoPreview(HANDLE dlg, bool skip) {
  if (!Prepare(dlg)) return;
  StartCompute(dlg, false, skip);
}

void RenameDialog::DoRename(HANDLE dlg, bool skip) {
  if (!Prepare(dlg) || !BeforeRename(dlg)) return;
  const bool current = (status == kPreviewOk || status == kPreviewDuplicates) && generation == gGeneration;
  const bool noNewCheck = !S().renameDupCheck || skip || (S().previewDupCheck && lastPreviewChecked);
  if (current && noNewCheck) {
    bool go = true;
    if (status == kPreviewDuplicates && S().confirmRenameProb) {
      go = AskYesNo(ctx_, Msg(ctx_, kMsgAskRenameProblems), L"DialogMessages");
    } else if (S().confirmRename) {
      go = AskYesNo(ctx_, Msg(ctx_, kMsgAskRename), L"DialogMessages");
    }
    if (go) CloseWith(dlg, rename_);
    return;
  }
  if (S().confirmRename && !AskYesNo(ctx_, Msg(ctx_, kMsgAskRename), L"DialogMessages")) return;
  StartCompute(dlg, true, skip);
}

void RenameDialog::DoCancel(HANDLE dlg) {
  if (S().confirmDialogCancel && !AskYesNo(ctx_, Msg(ctx_, kMsgAskDialogCancel), L"DialogMessages")) return;
  CloseWith(dlg, cancel_);
}

void RenameDialog::DoSwitch(HANDLE dlg) {
  if (S().confirmSwitch && !AskYesNo(ctx_, Msg(ctx_, kMsgAskSwitch), L"DialogMessages")) return;
  CloseWith(dlg, switch_);
}

void RenameDialog::CancelCompute() {
  WorkerControl& c = ctx_.list->control;
  if (S().confirmPreviewCancel) {
    c.pause = true;
    const bool yes = AskYesNo(ctx_, Msg(ctx_, kMsgAskCancelCompute), L"DialogMessages");
    if (!yes) {
      c.pause = false;
      return;
    }
  }
  c.cancel = true;
  c.pause = false;
}

// ---- Construct ---------------------------------------------------------------------------------

struct ConstructState : DialogState {
  std::wstring templateText = L"*";
  std::wstring start;
  bool hex = false;
  bool withExtension = false;  // "the template includes the extension"
  bool caseOn = false;
  int caseChoice = 0;
};

class ConstructDialog : public RenameDialog {
 public:
  ConstructDialog(Context& ctx, ConstructState* state) : RenameDialog(ctx, state), state_(state) {}

 private:
  enum : int { kNone = -1 };
  int template_ = 0, start_ = 0, hexBox_ = 0, extBox_ = 0, previewLine_ = 0;
  ConstructState* state_;
  std::vector<std::wstring> historyTexts_;
  std::vector<KelListItem> historyItems_;
  KelList historyList_{};
  std::wstring previewText_;
  // Snapshot for the worker.
  ConstructOptions options_;

  const wchar_t* Help() const override { return L"ConstructDialog"; }
  int NotStartedMessage() const override { return kMsgConstructNotStarted; }
  JobKind Kind() const override { return JobKind::kConstruct; }

  void FillHistory() {
    historyTexts_.assign(1, Msg(ctx_, kMsgEmptyTemplate));
    if (S().saveTemplateHistory) {
      for (const auto& h : S().history) historyTexts_.push_back(W(h));
    }
    historyItems_.clear();
    for (const auto& t : historyTexts_) historyItems_.push_back(KelListItem{0, t.c_str(), {0, 0}});
    historyList_ = KelList{int(historyItems_.size()), historyItems_.data()};
  }

  void Build() override {
    Add(DI_DOUBLEBOX, 3, 1, 88, 19, 0,
        Format(Msg(ctx_, kMsgDialogTitle), unsigned(ctx_.list->items.size()), unsigned(ctx_.selectedCount)));
    Add(DI_TEXT, 5, 2, 0, 2, 0, Msg(ctx_, kMsgTemplateLabel));
    FillHistory();
    template_ = Add(DI_COMBOBOX, 5, 3, 62, 3, DIF_FOCUS, state_->templateText);
    items_[size_t(template_)].Param.ListItems = &historyList_;
    items_[size_t(template_)].MaxLength = 4096;
    Add(DI_TEXT, 65, 2, 0, 2, 0, Msg(ctx_, kMsgStartLabel));
    std::wstring start = state_->start;
    if (start.empty()) start = std::to_wstring(S().saveLastSeqStart ? S().lastSeqStart : 1u);
    start_ = Add(DI_EDIT, 65, 3, 75, 3, 0, start);
    items_[size_t(start_)].MaxLength = 10;
    hexBox_ = AddCheck(kMsgHexBox, 5, 4, state_->hex, S().keyConstHex, 0);
    extBox_ = AddCheck(kMsgExtBox, 5, 5, state_->withExtension, S().keyConstExt, 0);
    AddCase(50, 4, state_->caseOn, state_->caseChoice);
    previewLine_ = Add(DI_TEXT, 5, 7, 86, 7);
    AddCommonBottom(8);
  }

  void Init(HANDLE dlg) override { UpdatePreviewLine(dlg); }

  void UpdatePreviewLine(HANDLE dlg) {
    const bool caseOn = Checked(ctx_, dlg, caseBox_);
    PreviewLine line = ComputePreviewLine(ctx_.list, U(GetText(ctx_, dlg, template_)), U(GetText(ctx_, dlg, start_)),
                                          Checked(ctx_, dlg, hexBox_), !Checked(ctx_, dlg, extBox_),
                                          caseOn ? CaseOf(CaseChoice(dlg)) : CaseMode::kNone, S().Rules(false));
    previewText_ = line.message >= 0 ? std::wstring(Msg(ctx_, line.message)) : W(line.text);
    SetText(ctx_, dlg, previewLine_, previewText_);
  }

  void Changed(HANDLE dlg, int item) override {
    if (item == template_ || item == start_ || item == hexBox_ || item == extBox_ || item == caseBox_ ||
        (item >= caseFirst_ && item < caseFirst_ + 3)) {
      UpdatePreviewLine(dlg);
      MarkChanged(dlg);
    }
  }

  bool Prepare(HANDLE dlg) override {
    ConstructInputs in;
    in.templateText = U(GetText(ctx_, dlg, template_));
    in.start = U(GetText(ctx_, dlg, start_));
    in.hex = Checked(ctx_, dlg, hexBox_);
    in.withExtension = Checked(ctx_, dlg, extBox_);
    in.caseOn = Checked(ctx_, dlg, caseBox_);
    in.caseMode = CaseOf(CaseChoice(dlg));
    const ConstructCheck check = CheckConstructInputs(in, ctx_.list->items.size(), &options_);
    if (check.message < 0) return true;
    std::wstring text = Msg(ctx_, check.message);
    if (check.message == kMsgTemplateBadChar) text = Format(text.c_str(), wchar_t(check.badChar));
    if (check.message == kMsgStartBad) text = Format(text.c_str(), W(in.start).c_str());
    Error(dlg, text, check.message == kMsgStartBad ? start_ : template_, L"ConstructDialogErrors");
    return false;
  }

  int Compute(bool forRename, bool skip, ComputeHooks* hooks) override {
    return ComputeConstruct(ctx_.list, options_, S().Rules(forRename), skip, hooks);
  }

  void MoveInHistory(HANDLE dlg, int step) {
    KelListPos pos{};
    Send(ctx_, dlg, DM_LISTGETCURPOS, template_, &pos);
    const int count = int(historyTexts_.size());
    int next = pos.SelectPos + step;
    if (next < 1) next = 1;  // not above the first template
    if (next >= count) next = count - 1;
    pos.SelectPos = next;
    Send(ctx_, dlg, DM_LISTSETCURPOS, template_, &pos);
    SetText(ctx_, dlg, template_, historyTexts_[size_t(next)]);
    Changed(dlg, template_);
  }

  bool Key(HANDLE dlg, int focus, uint32_t key) override {
    const bool history = S().saveTemplateHistory && !ctx_.settings->history.empty();
    if (focus == template_ && history) {
      if (key == KEY_UP || key == KEY_NUMPAD8) {
        MoveInHistory(dlg, -1);
        return true;
      }
      if (key == KEY_DOWN || key == KEY_NUMPAD2) {
        MoveInHistory(dlg, 1);
        return true;
      }
      if (key == KEY_F4) {
        Send(ctx_, dlg, DM_SETDROPDOWNOPENED, template_, intptr_t(1));
        return true;
      }
    }
    if (key == S().keyConstClear && history) {
      if (AskYesNo(ctx_, Msg(ctx_, kMsgAskClearHistoryDialog), L"DialogMessages")) {
        ClearHistory(ctx_.settings);
        SaveSettings(*ctx_.store, *ctx_.settings);
        FillHistory();
        Send(ctx_, dlg, DM_LISTDELETE, template_, nullptr);
        Send(ctx_, dlg, DM_LISTADD, template_, &historyList_);
      }
      return true;
    }
    if (!S().useDialogShortcuts) return false;
    if (key == S().keyConstTemplate) {
      Send(ctx_, dlg, DM_SETFOCUS, template_);
      return true;
    }
    if (key == S().keyConstSequence) {
      Send(ctx_, dlg, DM_SETFOCUS, start_);
      return true;
    }
    if (key == S().keyConstHex || key == S().keyConstExt) {
      const int box = key == S().keyConstHex ? hexBox_ : extBox_;
      Send(ctx_, dlg, DM_SETCHECK, box, Checked(ctx_, dlg, box) ? BSTATE_UNCHECKED : BSTATE_CHECKED);
      Changed(dlg, box);
      return true;
    }
    return CaseKeys(dlg, key);
  }

  void Keep(HANDLE dlg) override {
    state_->templateText = GetText(ctx_, dlg, template_);
    state_->start = GetText(ctx_, dlg, start_);
    state_->hex = Checked(ctx_, dlg, hexBox_);
    state_->withExtension = Checked(ctx_, dlg, extBox_);
    state_->caseOn = Checked(ctx_, dlg, caseBox_);
    state_->caseChoice = CaseChoice(dlg);
  }
};

// ---- Manipulate --------------------------------------------------------------------------------

struct ManipulateState : DialogState {
  bool replaceOn = false, prefixOn = false, suffixOn = false, cutOn = false, extOn = false, add = false, caseOn = false;
  std::wstring find, replacement, prefix, suffix, cutStart, cutEnd, extension;
  int caseChoice = 0;
};

class ManipulateDialog : public RenameDialog {
 public:
  ManipulateDialog(Context& ctx, ManipulateState* state) : RenameDialog(ctx, state), state_(state) {}

 private:
  int replaceBox_ = 0, find_ = 0, replacement_ = 0, prefixBox_ = 0, prefix_ = 0, suffixBox_ = 0, suffix_ = 0;
  int cutBox_ = 0, cutStart_ = 0, cutEnd_ = 0, extBox_ = 0, ext_ = 0, addBox_ = 0;
  ManipulateState* state_;
  ManipulateOptions options_;

  const wchar_t* Help() const override { return L"ManipulateDialog"; }
  int NotStartedMessage() const override { return kMsgManipulateNotStarted; }
  JobKind Kind() const override { return JobKind::kManipulate; }

  void Build() override {
    const ManipulateState& s = *state_;
    Add(DI_DOUBLEBOX, 3, 1, 88, 19, 0,
        Format(Msg(ctx_, kMsgManipulateTitle), unsigned(ctx_.list->items.size()), unsigned(ctx_.selectedCount)));
    replaceBox_ = AddCheck(kMsgReplaceBox, 5, 2, s.replaceOn, S().keyManReplace, S().posManReplace);
    find_ = Add(DI_EDIT, 28, 2, 52, 2, DIF_FOCUS, s.find);
    Add(DI_TEXT, 54, 2, 0, 2, 0, Msg(ctx_, kMsgWith));
    replacement_ = Add(DI_EDIT, 61, 2, 86, 2, 0, s.replacement);
    prefixBox_ = AddCheck(kMsgPrefixBox, 5, 3, s.prefixOn, S().keyManPrefix, S().posManPrefix);
    prefix_ = Add(DI_EDIT, 28, 3, 52, 3, 0, s.prefix);
    suffixBox_ = AddCheck(kMsgSuffixBox, 54, 3, s.suffixOn, S().keyManSuffix, S().posManSuffix);
    suffix_ = Add(DI_EDIT, 75, 3, 86, 3, 0, s.suffix);
    cutBox_ = AddCheck(kMsgCutBox, 5, 4, s.cutOn, S().keyManRemove, S().posManRemove);
    cutStart_ = Add(DI_EDIT, 28, 4, 32, 4, 0, s.cutStart);
    Add(DI_TEXT, 34, 4, 0, 4, 0, Msg(ctx_, kMsgCutStart));
    cutEnd_ = Add(DI_EDIT, 61, 4, 65, 4, 0, s.cutEnd);
    Add(DI_TEXT, 67, 4, 0, 4, 0, Msg(ctx_, kMsgCutEnd));
    extBox_ = AddCheck(kMsgExtOption, 5, 5, s.extOn, S().keyManExt, S().posManExt);
    ext_ = Add(DI_EDIT, 28, 5, 40, 5, 0, s.extension);
    addBox_ = AddCheck(kMsgAddBox, 42, 5, s.add, S().keyManExtAdd, 0);
    AddCase(5, 6, s.caseOn, s.caseChoice);
    AddCommonBottom(8);
  }

  void Changed(HANDLE dlg, int) override { MarkChanged(dlg); }

  int FieldItem(ManipulateField field) const {
    switch (field) {
      case ManipulateField::kFind: return find_;
      case ManipulateField::kReplacement: return replacement_;
      case ManipulateField::kPrefix: return prefix_;
      case ManipulateField::kSuffix: return suffix_;
      case ManipulateField::kCutStart: return cutStart_;
      case ManipulateField::kCutEnd: return cutEnd_;
      case ManipulateField::kExtension: return ext_;
      case ManipulateField::kReplaceBox: return replaceBox_;
      case ManipulateField::kNone: break;
    }
    return -1;
  }

  bool Prepare(HANDLE dlg) override {
    auto text = [&](int item) { return U(GetText(ctx_, dlg, item)); };
    ManipulateInputs in;
    in.replace = Checked(ctx_, dlg, replaceBox_);
    in.find = text(find_);
    in.replacement = text(replacement_);
    in.prefixOn = Checked(ctx_, dlg, prefixBox_);
    in.prefix = text(prefix_);
    in.suffixOn = Checked(ctx_, dlg, suffixBox_);
    in.suffix = text(suffix_);
    in.cut = Checked(ctx_, dlg, cutBox_);
    in.cutStart = text(cutStart_);
    in.cutEnd = text(cutEnd_);
    in.extension = Checked(ctx_, dlg, extBox_);
    in.newExtension = text(ext_);
    in.addExtension = Checked(ctx_, dlg, addBox_);
    in.caseOn = Checked(ctx_, dlg, caseBox_);
    in.caseMode = CaseOf(CaseChoice(dlg));
    const ManipulateCheck check = CheckManipulateInputs(in, &options_);
    if (check.message < 0) return true;
    Error(dlg, Msg(ctx_, check.message), FieldItem(check.field), L"ManipulateDialogErrors");
    return false;
  }

  bool BeforeRename(HANDLE dlg) override {
    if (S().warnOnExtRemove && Checked(ctx_, dlg, extBox_) && GetText(ctx_, dlg, ext_).empty() &&
        !Checked(ctx_, dlg, addBox_)) {
      if (!AskYesNo(ctx_, Msg(ctx_, kMsgAskExtRemove), L"DialogMessages")) {
        Send(ctx_, dlg, DM_SETFOCUS, ext_);
        return false;
      }
    }
    return true;
  }

  int Compute(bool forRename, bool skip, ComputeHooks* hooks) override {
    return ComputeManipulate(ctx_.list, options_, S().Rules(forRename), skip, hooks);
  }

  bool Key(HANDLE dlg, int, uint32_t key) override {
    if (!S().useDialogShortcuts) return false;
    const struct {
      uint32_t key;
      int box;
    } toggles[] = {{S().keyManReplace, replaceBox_}, {S().keyManPrefix, prefixBox_}, {S().keyManSuffix, suffixBox_},
                   {S().keyManRemove, cutBox_},      {S().keyManExt, extBox_}};
    for (const auto& t : toggles) {
      if (key == t.key) {
        Send(ctx_, dlg, DM_SETCHECK, t.box, Checked(ctx_, dlg, t.box) ? BSTATE_UNCHECKED : BSTATE_CHECKED);
        Changed(dlg, t.box);
        return true;
      }
    }
    if (key == S().keyManExtAdd) {
      if (Checked(ctx_, dlg, extBox_)) {
        Send(ctx_, dlg, DM_SETCHECK, addBox_, Checked(ctx_, dlg, addBox_) ? BSTATE_UNCHECKED : BSTATE_CHECKED);
        Changed(dlg, addBox_);
      }
      return true;
    }
    return CaseKeys(dlg, key);
  }

  void Keep(HANDLE dlg) override {
    ManipulateState& s = *state_;
    s.replaceOn = Checked(ctx_, dlg, replaceBox_);
    s.find = GetText(ctx_, dlg, find_);
    s.replacement = GetText(ctx_, dlg, replacement_);
    s.prefixOn = Checked(ctx_, dlg, prefixBox_);
    s.prefix = GetText(ctx_, dlg, prefix_);
    s.suffixOn = Checked(ctx_, dlg, suffixBox_);
    s.suffix = GetText(ctx_, dlg, suffix_);
    s.cutOn = Checked(ctx_, dlg, cutBox_);
    s.cutStart = GetText(ctx_, dlg, cutStart_);
    s.cutEnd = GetText(ctx_, dlg, cutEnd_);
    s.extOn = Checked(ctx_, dlg, extBox_);
    s.extension = GetText(ctx_, dlg, ext_);
    s.add = Checked(ctx_, dlg, addBox_);
    s.caseOn = Checked(ctx_, dlg, caseBox_);
    s.caseChoice = CaseChoice(dlg);
  }
};

}  // namespace

void RunDialogs(Context& ctx, int first) {
  ConstructState construct;
  ManipulateState manipulate;
  int which = first == 1 ? 1 : 0;
  for (;;) {
    Exit exit;
    if (which == 1) {
      BuildProcessOrder(ctx.list, ProcessOrder(ctx.settings->sequenceProcessOrder), ctx.settings->renameFolders != 0);
      exit = ConstructDialog(ctx, &construct).Run();
    } else {
      exit = ManipulateDialog(ctx, &manipulate).Run();
    }
    if (exit == Exit::kSwitch) {
      which = 1 - which;
      continue;
    }
    if (exit != Exit::kRename) return;
    RunRename(ctx);
    Settings& s = *ctx.settings;
    if (which == 1) {
      s.lastDialogType = 1;
      if (s.saveTemplateHistory) AddTemplateToHistory(&s, U(construct.templateText));
      if (s.saveLastSeqStart) s.lastSeqStart = ParseNumberField(U(construct.start));
    } else {
      s.lastDialogType = 0;
    }
    SaveSettings(*ctx.store, s);
    return;
  }
}

}  // namespace quillet::ui
