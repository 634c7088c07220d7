// The console helpers of the device browser: one source compiled into the plugin and into every
// module library, each library with its own copy and its own module-wide state. They draw straight
// into the host's console (HostText, HostSaveScreen, HostRestoreScreen), talk to the user through
// HostMessage, HostMenu and HostDialog of the 8-bit generation, and poll the console input for Esc.
//
// Texts are 8-bit in the console's OEM code page throughout.
// Threads: the host's thread only (every host service they call must run there).
// Before any other call, the library hands the helpers its host record (ConsoleSetHost); until
// then every helper that needs the host does nothing and answers as a refused host service would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "devicebrowser/common/console/core/layout.h"
#include "host/kel_plugin.h"

namespace handrel {

// The host record the helpers call through. The plugin passes what SetStartupInfo received; a module
// library passes the plugin's copy from its ModuleStartupRecord (HostStartup, HostStartupSize) and
// the record's HostVersion. The helpers copy at most 372 bytes (fewer when StructSize says so, the
// rest zero) and keep their copy. hostVersion: major << 8 | minor in the low 16 bits; the dialog
// builder uses the newer dialog features only when that is at least 0x0146.
void ConsoleSetHost(const HostStartupInfoA* info, uint32_t hostVersion);

// A failure the helpers raise as text (the dialog and menu builders when they cannot grow); the
// export's firewall reports it.
class ConsoleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The host message built from lines: the title (empty when null), the text split at CR and LF (a run
// of CR/LF is one break; at most 98 text lines, each counted for the width up to 254 characters),
// then the buttons split the same way (at most 100 lines in all); buttons null: one button "OK".
// Returns the chosen button (0 = the first), -1 when the user pressed Esc or the host refused.
int ShowMessage(const char* title, const char* text, const char* buttons = nullptr, int warning = 0);

// Polls the console input: reads (and so removes) at most 10 pending events, only when some are
// pending. On an Esc key-down asks "Cancel operation?" (Yes / No, warning). Returns 1 when the user
// confirmed (Yes); on No flushes the console input and returns 0; 0 when no Esc was pending.
int CheckEscape();

// Decimal text of a value: below 1000 plain, else digits grouped by three with ",". The buffer
// holds at least kNumberBufferSize bytes.
constexpr size_t kNumberBufferSize = 32;
void FormatNumber(char* buffer, int64_t value);

// "hh:mm:ss" of a count of seconds (negative counts as 0; 100 hours and more read "99:59:59").
// The buffer holds at least kTimeBufferSize bytes.
constexpr size_t kTimeBufferSize = 16;
void FormatTime(char* buffer, int64_t seconds);

// ---- Popup window -----------------------------------------------------------------------------

// A box centred in the console window, with a title in its top border, text lines inside and a
// shadow; used as a status window ("Listing files..."). The console title reads
// "title (text)" while it is shown. Construction saves the screen and the console title and draws;
// destruction restores both. Not copyable.
class CPop {
 public:
  // flags: kPopNoShadow draws the box without its shadow. style: the box colour (0: black on grey).
  static constexpr uint32_t kPopNoShadow = 1;
  CPop(const char* title, const char* text, uint32_t flags = 0, int style = 0);
  virtual ~CPop();
  CPop(const CPop&) = delete;
  CPop& operator=(const CPop&) = delete;

  // Replaces the text (lines split at CR/LF) and redraws.
  void SetText(const char* text);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// ---- Progress window ----------------------------------------------------------------------------

// The counters of a copy or move operation (verb, source and target names, the current file's
// size and done bytes, total bytes and total done, item counts, start tick). The caller fills
// them and asks for a redraw when it chooses; AddBytes and SetFileSize redraw themselves.
using ProgressCounters = con::ProgressCounters;

// A popup with the eleven progress lines: verb, source, "to", target, the file's bar, the total
// bytes, the operation's bar, a separator, "Files/folders processed: n of m", a separator and the
// time line (elapsed, remaining, speed). The console title shows "(42% 00:01:23)".
// Shown like a CPop: the screen and console title come back when it is destroyed.
class ProgressWindow {
 public:
  // Starts the clock (startTick = now) with the operation's totals, and draws.
  ProgressWindow(const char* verb, int totalItems, uint64_t totalBytes);
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;
  ProgressCounters& Counters();
  void Redraw();
  // A new file: the part of the previous file not yet counted is first added to the total done.
  void StartFile(const char* source, const char* target, uint64_t size);
  void AddBytes(uint64_t bytes);       // to the file's and the total done count, then redraws
  void SetFileSize(uint64_t size);     // then redraws

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// ---- Dialog builder ---------------------------------------------------------------------------

// Builds an 8-bit host dialog row by row. Positions are in rows from 1 (the first row inside the
// box) and columns from 1 (two cells right of the box's frame): an item at row r, column c sits at
// dialog cell (c + 4, r + 1). The box (a double box at column 3, row 1, holding the title) is the
// item 0. Each Add returns the item's index; a bound variable receives the result when Run ends
// with the accepting button.
class DialogBuilder {
 public:
  static constexpr int kAfter = -1;   // column: one space after the previous item of the row
  static constexpr int kCentre = -2;  // column: centred with the other kCentre items of the row

  // width, height: of the area inside the box (columns and rows); the dialog grows when items
  // reach further.
  DialogBuilder(int width, int height, const char* title, const char* helpTopic = nullptr);
  ~DialogBuilder();
  DialogBuilder(const DialogBuilder&) = delete;
  DialogBuilder& operator=(const DialogBuilder&) = delete;

  // color 0: the dialog's own; another colour (a console attribute) is given by the builder's
  // dialog procedure, which it runs on hosts from 0x0146 on.
  int AddText(int row, int column, const char* text, int color = 0);
  // An edit field `width` cells wide; width below 2 gives a fixed-width field of one cell.
  // `value` (may be null) is the initial text and receives the typed text, at most valueSize - 1
  // bytes and a terminator.
  int AddEdit(int row, int column, int width, char* value, size_t valueSize);
  int AddButton(int row, const char* text, bool isDefault = false);  // buttons of a row are centred
  // The buttons (and other centred items) of `row` are centred within its first `span` columns,
  // `gap` columns apart, instead of across the dialog one column apart.
  void CentreRow(int row, int span, int gap);
  int AddCheckBox(int row, int column, const char* text, int* value);   // value: 0 / 1
  // A radio button; the first one after any other kind of item starts a group. value: 0 / 1.
  int AddRadioButton(int row, int column, const char* text, int* value);
  int AddSeparator(int row);

  KelDialogItemA& Item(int index);  // for adjustments before Run (flags, focus)
  // A dialog procedure of the caller's, run on hosts from 0x0146 on (older hosts run the dialog
  // without one). It gets every message except the colours of texts added with a colour, and
  // hands what it does not handle to the host's HostDefDlgProc.
  void SetHandler(KelDialogProcA handler);
  int Count() const;

  // Shows the dialog centred; the focus is on the first item that can take it. Returns the chosen
  // item's index, -1 when cancelled. When the result is `acceptButton`, edit texts and check and
  // radio states are copied into the bound variables.
  int Run(int acceptButton);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// ---- Menu builder -----------------------------------------------------------------------------

class MenuBuilder {
 public:
  MenuBuilder();
  ~MenuBuilder();
  MenuBuilder(const MenuBuilder&) = delete;
  MenuBuilder& operator=(const MenuBuilder&) = delete;

  // Returns the item's index. A disabled item is shown but cannot be chosen.
  int Add(const char* text, bool selected = false, bool disabled = false);
  int AddSeparator();
  int Count() const;
  // Shows the menu; returns the chosen item's index, -1 when cancelled.
  int Run(const char* title, const char* bottom = nullptr, const char* helpTopic = nullptr);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace handrel
