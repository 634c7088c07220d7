// The rename job on screen: the Rename progress dialog (63 x 13) that starts the job on the
// rename worker, shows the current item, the bar and the counters, answers the worker's problem
// prompts, and closes when the job ends; then the summary with its rollback offer, and the panel
// update that leaves exactly the items that failed selected.
#include <windows.h>

#include <memory>
#include <set>
#include <string>
#include <thread>

#include "host/kel_firewall.h"
#include "renamer/core/messages.h"
#include "renamer/core/renamejob.h"
#include "renamer/win/fault_points.h"
#include "renamer/win/fs_win32.h"
#include "renamer/win/ui.h"

namespace quillet::ui {

namespace {

constexpr int kNameWidth = 55;
constexpr uint32_t kBarCells = 50;

// Items of the progress dialog.
enum : int { kBox, kOldLabel, kOldName, kNewLabel, kNewName, kBar, kRule, kCountDone, kCountProblems, kItemCount };

// Message numbers of texts this dialog needs beyond the shared ones.
enum : int {
  kMsgRenaming = 71, kMsgRollingBack = 72, kMsgAskCancelRename = 73, kMsgDone = 74, kMsgGivenUp = 75,
  kMsgRenameNotStarted = 76, kMsgRollbackNotStarted = 77, kMsgAskCancelRollback = 78, kMsgConflict = 79,
  kMsgOtherError = 80, kMsgNewNameButton = 81, kMsgResolveButton = 82, kMsgFinished = 83, kMsgCancelled = 84,
  kMsgSummary = 85, kMsgRetryButton = 58, kMsgSkipButton = 59, kMsgOldName = 60, kMsgNewName = 61,
  kMsgSkipAllButton = 62, kMsgRollbackButton = 44, kMsgResolveAllButton = 151,
};

// Sends the job's notifications to the progress dialog.
class DialogHooks : public RenameJobHooks {
 public:
  DialogHooks(const Context& ctx, HANDLE dlg) : ctx_(ctx), dlg_(dlg) {}
  void Notify(int code, uint32_t param) override {
    ctx_.host->HostSendDlgMessage(dlg_, DM_USER, code, reinterpret_cast<void*>(intptr_t(param)));
  }

 private:
  const Context& ctx_;
  HANDLE dlg_;
};

struct Run {
  Context* ctx = nullptr;
  bool rollback = false;
  ProblemPrompter* prompter = nullptr;
  Win32FileSystem fs;
  std::unique_ptr<DialogHooks> hooks;
  std::unique_ptr<RenameJob> job;
  std::thread worker;
  bool ended = false;
  bool failed = false;          // an exception reached the dialog procedure; the dialog is closing
  std::string workerFailure;    // the exception that ended the job, if one did; read after the join
  bool workerFailed = false;
  int result = kOutOfMemory;
  std::vector<uint32_t> problems;
  // Texts shown by the dialog; kept here so their pointers stay valid.
  std::wstring texts[kItemCount];
};

// The one progress dialog that runs at a time (on the host's thread).
Run* gRun = nullptr;

void Show(Run& run, HANDLE dlg, int item, std::wstring text) {
  run.texts[item] = std::move(text);
  SetText(*run.ctx, dlg, item, run.texts[item]);
}

std::wstring Pad(std::wstring text) {
  text.resize(kNameWidth, L' ');
  return text;
}

void ShowCounters(Run& run, HANDLE dlg) {
  const Context& ctx = *run.ctx;
  const WorkerControl& c = ctx.list->control;
  const uint64_t done = c.progressDone.load(), total = c.progressTotal.load();
  Show(run, dlg, kBar, W(ProgressBar(done, total, kBarCells)) + Format(L" %3u%%", Percent(done, total)));
  Show(run, dlg, kCountDone, Pad(Format(Msg(ctx, kMsgDone), unsigned(done), unsigned(total))));
  Show(run, dlg, kCountProblems,
       Pad(Format(Msg(ctx, kMsgGivenUp), unsigned(run.job->givenUp.load()), unsigned(run.job->errors.load()))));
}

void ShowItem(Run& run, HANDLE dlg, uint32_t index) {
  const RenameList& list = *run.ctx->list;
  if (index >= list.items.size()) return;
  const std::u16string* oldName = &list.items[index].name;
  const std::u16string* newName = list.entries[index].name ? &*list.entries[index].name : nullptr;
  if (run.rollback) std::swap(oldName, newName);
  Show(run, dlg, kOldName, W(FitName(oldName, kNameWidth)));
  Show(run, dlg, kNewName, W(FitName(newName, kNameWidth)));
}

// The problem prompt for one item; puts the reply into the answer field or sets cancel. The
// worker waits meanwhile, so the item's new name may be replaced here.
void AnswerProblem(Run& run, uint32_t index) {
  Context& ctx = *run.ctx;
  WorkerControl& c = ctx.list->control;
  NewNameEntry& entry = ctx.list->entries[index];
  const std::wstring oldName = W(ctx.list->items[index].name);
  const std::wstring newName = entry.name ? W(*entry.name) : std::wstring();
  ProblemPrompter::Question question;
  int answer = run.prompter->Decide(entry.status, index, &question);
  // A short pause before a question lets the progress dialog show the item it is about.
  if (question != ProblemPrompter::Question::kNone) Sleep(100);
  const bool conflict = question == ProblemPrompter::Question::kConflict;
  const std::vector<std::wstring> lines = {Msg(ctx, conflict ? kMsgConflict : kMsgOtherError),
                                           std::wstring(Msg(ctx, kMsgOldName)) + L" " + oldName,
                                           std::wstring(Msg(ctx, kMsgNewName)) + L" " + newName};
  if (conflict) {
    const int button = Message(ctx, FMSG_WARNING, L"RenameProblems", lines,
                               {Msg(ctx, kMsgNewNameButton), Msg(ctx, kMsgResolveButton), Msg(ctx, kMsgResolveAllButton),
                                Msg(ctx, kMsgSkipButton), Msg(ctx, kMsgSkipAllButton)});
    if (button == 0) {
      std::vector<wchar_t> typed(kWorkBufferChars, L'\0');
      const int ok = ctx.host->HostInputBox(Msg(ctx, kMsgTitle), Msg(ctx, kMsgNewName), nullptr, newName.c_str(),
                                            typed.data(), int(typed.size()), L"RenameProblems", 0);
      answer = ok && ApplyTypedName(&entry, U(typed.data())) ? kAnswerNewName : kAnswerAskAgain;
    } else {
      answer = run.prompter->ConflictButton(button);
    }
  } else if (question == ProblemPrompter::Question::kOther) {
    const int button = Message(ctx, FMSG_WARNING, L"RenameProblems", lines,
                               {Msg(ctx, kMsgRetryButton), Msg(ctx, kMsgSkipButton), Msg(ctx, kMsgSkipAllButton)});
    answer = run.prompter->OtherButton(button);
  }
  if (answer < 0) {
    c.cancel = true;
  } else {
    c.answer = answer;
  }
}

// Esc or Ctrl+Break while the job runs.
void AskCancel(Run& run) {
  Context& ctx = *run.ctx;
  WorkerControl& c = ctx.list->control;
  if (ctx.settings->confirmRenameCancel) {
    c.pause = true;
    const bool yes = AskYesNo(ctx, Msg(ctx, run.rollback ? kMsgAskCancelRollback : kMsgAskCancelRename), L"RenameProblems");
    if (!yes) {
      c.pause = false;
      return;
    }
  }
  c.cancel = true;
  c.pause = false;
}

// The job on the rename worker. Nothing may leave a thread function: an exception ends the job
// as failed, still closes the progress dialog, and is reported once the dialog is gone.
void WorkerMain(Run* run) {
  const int result = kel::Firewall("RenameWorker", int(kOutOfMemory), [run] {
    QUILLET_FAULT_POINT("rename.worker");
    return run->rollback ? run->job->Rollback() : run->job->Rename();
  }, [run](const char*, const char* what) {
    run->workerFailure = what;
    run->workerFailed = true;
  });
  run->result = result;
  run->ctx->list->control.result = result;
  run->ctx->list->control.running = false;
  if (run->workerFailed) run->hooks->Notify(kNotifyEnd, run->rollback ? 1 : 0);
}

intptr_t HandleProgress(Run* run, HANDLE dlg, int msg, int p1, void* p2) {
  const Context& ctx = *run->ctx;
  WorkerControl& c = ctx.list->control;
  if (run->failed) return msg == DN_CLOSE ? TRUE : ctx.host->HostDefDlgProc(dlg, msg, p1, p2);
  switch (msg) {
    case DN_INITDIALOG: {
      c.running = true;
      c.cancel = false;
      c.pause = false;
      c.kind = int(run->rollback ? JobKind::kRollback : JobKind::kRename);
      run->hooks = std::make_unique<DialogHooks>(ctx, dlg);
      RenameJobSettings settings{ctx.settings->autoResolveSuffix, ctx.settings->autoResolveMax};
      run->job = std::make_unique<RenameJob>(ctx.list, &run->fs, settings, run->hooks.get());
      ShowCounters(*run, dlg);
      try {
        QUILLET_FAULT_POINT("rename.thread");
        run->worker = std::thread(WorkerMain, run);
      } catch (...) {
        c.running = false;
        c.result = kOutOfMemory;
        Message(ctx, FMSG_WARNING | FMSG_MB_OK, nullptr,
                {Msg(ctx, run->rollback ? kMsgRollbackNotStarted : kMsgRenameNotStarted)});
        run->ended = true;
        Send(ctx, dlg, DM_CLOSE, -1);
      }
      return TRUE;
    }
    case DN_KEY: {
      const uint32_t key = uint32_t(reinterpret_cast<intptr_t>(p2));
      if (!run->ended && (key == KEY_ESC || key == KEY_CTRLBREAK)) AskCancel(*run);
      return TRUE;  // every key goes to the job
    }
    case DN_CLOSE:
      return run->ended;
    default:
      break;
  }
  if (msg == DM_USER) {
    const uint32_t param = uint32_t(reinterpret_cast<intptr_t>(p2));
    switch (p1) {
      case kNotifyStep:
      case kNotifyRetried:
        ShowCounters(*run, dlg);
        break;
      case kNotifyRenaming:
      case kNotifyRestoring:
        QUILLET_FAULT_POINT("progress.item");
        ShowItem(*run, dlg, param);
        ShowCounters(*run, dlg);
        break;
      case kNotifyProblem:
        ShowItem(*run, dlg, param);
        AnswerProblem(*run, param);
        break;
      case kNotifyEnd:
        run->ended = true;
        Send(ctx, dlg, DM_CLOSE, -1);
        break;
      default:
        break;
    }
    return 0;
  }
  return ctx.host->HostDefDlgProc(dlg, msg, p1, p2);
}

intptr_t KEL_API ProgressProc(HANDLE dlg, int msg, int p1, void* p2) {
  Run* run = gRun;
  if (!run) return 0;
  return kel::Firewall("RenameProgress", intptr_t(0), [&] { return HandleProgress(run, dlg, msg, p1, p2); },
                       [&](const char* where, const char* what) {
                         // Report, stop the job at its next step and close; RunJob waits for it.
                         if (run->failed) return;
                         run->failed = true;
                         WorkerControl& c = run->ctx->list->control;
                         c.cancel = true;
                         c.pause = false;
                         ReportUnhandled(*run->ctx->host, where, what);
                         Send(*run->ctx, dlg, DM_CLOSE, -1);
                       });
}

// Runs one rename or rollback job in its progress dialog; the job's result.
int RunJob(Context& ctx, bool rollback, ProblemPrompter* prompter, std::vector<uint32_t>* problems) {
  Run run;
  run.ctx = &ctx;
  run.rollback = rollback;
  run.prompter = prompter;
  run.texts[kOldLabel] = Msg(ctx, kMsgOldName);
  run.texts[kNewLabel] = Msg(ctx, kMsgNewName);
  run.texts[kOldName] = Pad(L"...");
  run.texts[kNewName] = Pad(L"...");
  run.texts[kRule] = std::wstring(57, L'-');
  std::vector<KelDialogItem> items(kItemCount);
  items[kBox] = Item(DI_DOUBLEBOX, 2, 1, 60, 11, 0, Msg(ctx, rollback ? kMsgRollingBack : kMsgRenaming));
  items[kOldLabel] = Item(DI_TEXT, 4, 2, 58, 2, 0, run.texts[kOldLabel].c_str());
  items[kOldName] = Item(DI_TEXT, 4, 3, 58, 3, 0, run.texts[kOldName].c_str());
  items[kNewLabel] = Item(DI_TEXT, 4, 4, 58, 4, 0, run.texts[kNewLabel].c_str());
  items[kNewName] = Item(DI_TEXT, 4, 5, 58, 5, 0, run.texts[kNewName].c_str());
  items[kBar] = Item(DI_TEXT, 4, 7, 58, 7, 0, L"");
  items[kRule] = Item(DI_TEXT, 3, 8, 59, 8, 0, run.texts[kRule].c_str());
  items[kCountDone] = Item(DI_TEXT, 4, 9, 58, 9, 0, L"");
  items[kCountProblems] = Item(DI_TEXT, 4, 10, 58, 10, 0, L"");
  Run* previous = gRun;
  gRun = &run;
  ctx.host->HostDialog(ctx.host->ModuleNumber, nullptr, 0, 0, 62, 12, L"Rename", items.data(), int(items.size()), 0,
                       ProgressProc, &run);
  // The dialog is gone: a worker still waiting for an answer must not wait forever.
  if (run.worker.joinable()) {
    if (!run.ended) ctx.list->control.cancel = true;
    run.worker.join();
  }
  gRun = previous;
  if (run.workerFailed) ReportUnhandled(*ctx.host, "RenameWorker", run.workerFailure.c_str());
  if (run.job) *problems = run.job->problems;
  ctx.list->control.running = false;
  return run.result;
}

std::set<std::u16string> NamesOf(const RenameList& list, const std::vector<uint32_t>& indexes) {
  std::set<std::u16string> names;
  for (uint32_t i : indexes) names.insert(list.items[i].name);
  return names;
}

// Re-reads the active panel; with `onlyFailed` keeps the selection and then deselects every
// item that is not one of the failed ones.
void UpdatePanel(const Context& ctx, bool keepSelection, const std::set<std::u16string>* onlyFailed) {
  const HostStartupInfo& h = *ctx.host;
  h.HostPanelControl(PANEL_ACTIVE, FCTL_UPDATEPANEL, keepSelection ? 1 : 0, nullptr);
  if (onlyFailed) {
    PanelInfoW info{};
    if (h.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELINFO, 0, &info)) {
      for (int i = 0; i < info.ItemsNumber; ++i) {
        const int size = h.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELITEM, i, nullptr);
        if (size < int(sizeof(PluginPanelItemW))) continue;
        std::vector<uint64_t> block((size_t(size) + 7) / 8);
        auto* item = reinterpret_cast<PluginPanelItemW*>(block.data());
        if (!h.HostPanelControl(PANEL_ACTIVE, FCTL_GETPANELITEM, i, item) || !item->FileName) continue;
        if ((item->Flags & PPIF_SELECTED) && !onlyFailed->count(U(item->FileName))) {
          h.HostPanelControl(PANEL_ACTIVE, FCTL_SETSELECTION, i, nullptr);
        }
      }
    }
  }
  h.HostPanelControl(PANEL_ACTIVE, FCTL_REDRAWPANEL, 0, nullptr);
}

bool AnyRenamed(const RenameList& list) {
  for (const NewNameEntry& e : list.entries) {
    if (e.renamed) return true;
  }
  return false;
}

// The items that kept their old names on disk.
std::set<std::u16string> NotRenamed(const RenameList& list) {
  std::set<std::u16string> names;
  for (size_t i = 0; i < list.items.size(); ++i) {
    if (i >= list.entries.size() || !list.entries[i].renamed) names.insert(list.items[i].name);
  }
  return names;
}

}  // namespace

void RunRename(Context& ctx) {
  const Settings& s = *ctx.settings;
  ProblemPrompter prompter({s.autoResolve != 0, s.autoResolveType, s.autoIgnoreOther != 0});
  std::vector<uint32_t> problems;
  const int result = RunJob(ctx, false, &prompter, &problems);
  // A job that ended in an exception after moving items is offered the same way back as a
  // cancelled one.
  const bool stopped = result == kCancelled || (result != kNoDuplicates && result != kDuplicatesFound && AnyRenamed(*ctx.list));
  bool rollback = false;
  if (stopped && s.autoRollbackCancel) {
    rollback = true;
  } else if ((s.showRenameSummary && !(s.summaryOnErrorOnly && problems.empty())) || stopped) {
    const std::wstring text = Format(Msg(ctx, kMsgSummary), Msg(ctx, stopped ? kMsgCancelled : kMsgFinished));
    rollback = Message(ctx, 0, L"Rename", {text}, {Msg(ctx, kMsgOk), Msg(ctx, kMsgRollbackButton)}) == 1;
  }
  if (rollback) {
    std::vector<uint32_t> notRestored;
    RunJob(ctx, true, &prompter, &notRestored);
    UpdatePanel(ctx, true, nullptr);
    return;
  }
  if (result == kNoDuplicates || result == kDuplicatesFound) {
    const std::set<std::u16string> failed = NamesOf(*ctx.list, problems);
    UpdatePanel(ctx, result == kDuplicatesFound, result == kDuplicatesFound ? &failed : nullptr);
  } else if (AnyRenamed(*ctx.list)) {
    // A run that stopped part way: the panel shows the names on disk, and the items that were
    // not renamed (given up or never reached) stay selected.
    const std::set<std::u16string> left = NotRenamed(*ctx.list);
    UpdatePanel(ctx, true, &left);
  }
}

}  // namespace quillet::ui
