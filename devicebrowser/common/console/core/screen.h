// The seam between the console helpers and the platform: the few host services and console calls
// they need. The Win32 shell implements it over the host's 8-bit start-up record and the process's
// console; the tests implement it over a memory screen that records every call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devicebrowser/common/console/core/layout.h"

namespace handrel::con {

struct Cell {
  char ch = ' ';       // OEM character
  uint16_t attr = 0;   // console colour attribute
};

struct InputEvent {
  bool keyEvent = false;
  bool keyDown = false;
  uint16_t virtualKey = 0;
};

constexpr uint16_t kVkEscape = 27;

class Console {
 public:
  virtual ~Console() = default;

  // Host services. Text: OEM text at a cell in one colour; Flush: what HostText with empty
  // arguments does. SaveScreen: the whole screen (null when the host refused); RestoreScreen puts
  // it back and releases it. Message: the host message box; -1 when cancelled or refused.
  virtual void Text(int x, int y, int color, const std::string& text) = 0;
  virtual void Flush() = 0;
  virtual void* SaveScreen() = 0;
  virtual void RestoreScreen(void* saved) = 0;
  virtual int Message(const std::vector<std::string>& items, int buttons, bool warning) = 0;

  // The console. WindowSize: false when it cannot be read. ReadCells: the cells of a rectangle,
  // row by row; false when the console cannot be read. SaveTitle gives an opaque copy of the
  // console title (at most 1000 characters) that RestoreTitle puts back; SetTitle takes OEM text.
  virtual bool WindowSize(int& cols, int& rows) = 0;
  virtual bool ReadCells(const Rect& r, std::vector<Cell>& out) = 0;
  virtual std::string SaveTitle() = 0;
  virtual void RestoreTitle(const std::string& saved) = 0;
  virtual void SetTitle(const std::string& oemTitle) = 0;

  // Console input: the number of pending events; reading removes at most `max` of them.
  virtual int PendingInput() = 0;
  virtual std::vector<InputEvent> ReadInput(int max) = 0;
  virtual void FlushInput() = 0;

  virtual uint32_t Tick() = 0;  // milliseconds
};

}  // namespace handrel::con
