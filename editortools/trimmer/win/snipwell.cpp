// Snipwell: the editor's plugins-menu entry. The walk lives in the core; this file draws the
// progress box straight into the console, watches for Esc, and talks to the host.
#include <windows.h>

#include <climits>
#include <new>
#include <string>

#include "editortools/trimmer/core/trim.h"
#include "host/kel_editor.h"
#include "host/kel_firewall.h"
#include "host/kel_plugin.h"
#include "host/kel_plugin_support.h"

namespace {

enum Msg { MMenuItem = 0, MProgress = 1, MCancelled = 2, MResult = 3 };

constexpr WORD kBoxAttribute = 0x70;  // black on light grey
constexpr size_t kFormatBuffer = 256;

kel::HostCopy gHost;  // the host's records, copied once
HostStartupInfo& gInfo = gHost.info;
HostStandardFunctions& gFsf = gHost.fsf;

const wchar_t* GetMsg(int id) { return gHost.Msg(id); }

// The console handles are fetched once and kept for the plugin's life: the box must reach the
// console even when standard output is redirected.
HANDLE ConsoleOut() {
  static HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  return out;
}
HANDLE ConsoleIn() {
  static HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  return in;
}

class HostTrimEditor : public snipwell::TrimEditor {
 public:
  bool Info(int* total, snipwell::EditorPosition* pos) override {
    EditorInfoW info;
    if (!editor_.Info(&info)) return false;
    *total = info.TotalLines;
    *pos = {info.CurLine, info.CurPos, info.CurTabPos, info.TopScreenLine, info.LeftPos, info.Overtype};
    return true;
  }
  bool GoToLine(int line) override { return editor_.GoToLine(line); }
  bool CurrentLine(std::u16string* text, std::u16string* eol) override {
    if (!editor_.GetLine(-1, &line_)) return false;
    text->swap(line_.text);
    eol->swap(line_.eol);
    return true;
  }
  bool SetCurrentLine(const std::u16string& text, const std::u16string& eol) override {
    return editor_.SetLine(text, &eol);
  }
  bool DeleteCurrentLine() override { return editor_.DeleteLine(); }
  void SetPosition(const snipwell::EditorPosition& p) override {
    editor_.SetPosition({p.curLine, p.curPos, p.curTabPos, p.topScreenLine, p.leftPos, p.overtype});
  }
  void BeginUndoGroup() override { editor_.Undo(EUR_BEGIN); }
  void EndUndoGroup() override { editor_.Undo(EUR_END); }
  void UndoGroup() override { editor_.Undo(EUR_UNDO); }
  void Redraw() override { editor_.Redraw(); }

 private:
  kel::HostEditorCalls editor_{gInfo.HostEditorControl};
  kel::EditorLineCopy line_;
};

class ConsoleProgress : public snipwell::TrimProgress {
 public:
  void Start() override {
    SMALL_RECT rect{};
    if (!gInfo.HostAdvControl(gInfo.ModuleNumber, ACTL_GETKELRECT, 0, &rect)) {
      CONSOLE_SCREEN_BUFFER_INFO csbi{};
      if (GetConsoleScreenBufferInfo(ConsoleOut(), &csbi)) rect = csbi.srWindow;
    }
    top_ = rect.Top + (rect.Bottom - rect.Top) / 2 - 2;
    left_ = rect.Left + (rect.Right - rect.Left) / 2 - snipwell::kBoxWidth / 2;
    for (int row = 0; row < snipwell::kBoxHeight; ++row) Write(left_, top_ + row, snipwell::BoxRow(row));
    Caption(0);
    gInfo.HostAdvControl(gInfo.ModuleNumber, ACTL_SETPROGRESSSTATE, 0, reinterpret_cast<void*>(PS_INDETERMINATE));
  }
  void Complete() override {
    gInfo.HostAdvControl(gInfo.ModuleNumber, ACTL_SETPROGRESSSTATE, 0, reinterpret_cast<void*>(PS_NOPROGRESS));
    gInfo.HostAdvControl(gInfo.ModuleNumber, ACTL_PROGRESSNOTIFY, 0, nullptr);
  }
  // The box itself goes with the editor's redraw that ends every run.
  void Stop() override {
    gInfo.HostAdvControl(gInfo.ModuleNumber, ACTL_SETPROGRESSSTATE, 0, reinterpret_cast<void*>(PS_NOPROGRESS));
  }
  void Show(int percent, uint64_t done, uint64_t total) override {
    Caption(percent);
    Write(left_ + snipwell::kTrackOffset + snipwell::TrackCell(percent), top_ + 2,
          std::u16string(1, snipwell::kTrackFilled));
    KelProgressValue value{done, total};
    gInfo.HostAdvControl(gInfo.ModuleNumber, ACTL_SETPROGRESSVALUE, 0, &value);
  }
  bool EscPressed() override {
    HANDLE in = ConsoleIn();
    bool esc = false;
    DWORD pending = 0;
    while (in != INVALID_HANDLE_VALUE && GetNumberOfConsoleInputEvents(in, &pending) && pending > 0) {
      INPUT_RECORD records[32];
      DWORD got = 0;
      if (!ReadConsoleInputW(in, records, 32, &got) || got == 0) break;
      for (DWORD i = 0; i < got; ++i) {
        const INPUT_RECORD& r = records[i];
        if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown && r.Event.KeyEvent.wVirtualKeyCode == VK_ESCAPE)
          esc = true;
      }
    }
    return esc;
  }

 private:
  void Caption(int percent) {
    wchar_t text[kFormatBuffer] = {};
    gFsf.snprintf(text, kFormatBuffer, GetMsg(MProgress), percent);
    std::u16string caption(reinterpret_cast<const char16_t*>(text));
    Write(snipwell::CaptionColumn(left_, caption.size()), top_ + 1, caption);
  }
  static void Write(int x, int y, const std::u16string& text) {
    HANDLE out = ConsoleOut();
    if (out == INVALID_HANDLE_VALUE || x < 0 || y < 0) return;
    COORD at{static_cast<SHORT>(x), static_cast<SHORT>(y)};
    DWORD written = 0;
    WriteConsoleOutputCharacterW(out, reinterpret_cast<const wchar_t*>(text.c_str()), static_cast<DWORD>(text.size()),
                                 at, &written);
    FillConsoleOutputAttribute(out, kBoxAttribute, static_cast<DWORD>(text.size()), at, &written);
  }
  int top_ = 0, left_ = 0;
};

int Capped(uint64_t n) { return n > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(n); }

void Report(const snipwell::TrimResult& result) {
  // One text whose first line (the title) is empty.
  std::wstring text = L"\n";
  uint32_t flags = FMSG_ALLINONE | FMSG_MB_OK;
  if (result.outcome == snipwell::TrimResult::Cancelled) {
    text += GetMsg(MCancelled);
    flags |= FMSG_WARNING;
  } else {
    wchar_t line[kFormatBuffer] = {};
    gFsf.snprintf(line, kFormatBuffer, GetMsg(MResult), Capped(result.blanksRemoved), Capped(result.linesRemoved));
    text += line;
  }
  gInfo.HostMessage(gInfo.ModuleNumber, flags, nullptr, reinterpret_cast<const wchar_t* const*>(text.c_str()), 0, 0);
}


}  // namespace

extern "C" {

int KEL_API GetMinKelVersionW() { return static_cast<int>(KelMakeVersion(2, 0, 0)); }

void KEL_API SetStartupInfoW(const HostStartupInfo* info) {
  gHost.Take(info);
}

void KEL_API GetPluginInfoW(PluginInfoW* info) {
  static const wchar_t* menu[1];
  menu[0] = GetMsg(MMenuItem);
  *info = PluginInfoW{};
  info->StructSize = sizeof(PluginInfoW);
  info->Flags = PF_EDITOR | PF_DISABLEPANELS;
  info->PluginMenuStrings = menu;
  info->PluginMenuStringsNumber = 1;
}

HANDLE KEL_API OpenPluginW(int openFrom, intptr_t) {
  return kel::Firewall(
      "OpenPluginW", INVALID_HANDLE_VALUE,
      [&] {
        if (openFrom != OPEN_EDITOR || !gHost.Ready()) return INVALID_HANDLE_VALUE;
        // A failed run (no editor information, no memory) ends without a report; so does memory
        // running out while the report is made.
        try {
          HostTrimEditor editor;
          ConsoleProgress progress;
          snipwell::TrimResult result = snipwell::TrimTrailing(editor, progress);
          if (result.outcome != snipwell::TrimResult::Failed) Report(result);
        } catch (const std::bad_alloc&) {
        }
        return INVALID_HANDLE_VALUE;
      },
      kel::MessageReport{&gHost, L"Snipwell"});
}

}  // extern "C"
