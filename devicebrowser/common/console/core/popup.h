// The helpers that talk to the user through the seam: the message helper, the Esc check, the
// popup box and the progress window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devicebrowser/common/console/core/layout.h"
#include "devicebrowser/common/console/core/screen.h"

namespace handrel::con {

// See handrel::ShowMessage and handrel::CheckEscape (console.h).
int ShowMessage(Console& console, const char* title, const char* text, const char* buttons, bool warning);
int CheckEscape(Console& console);
constexpr int kEscapeEventsPerCheck = 10;

// A box centred in the console: saves the screen and the console title, reads the console size
// (80 x 25 when it cannot be read) and draws; the destructor puts screen and title back.
class Popup {
 public:
  static constexpr uint32_t kNoShadow = 1;

  Popup(Console& console, std::string title, std::vector<std::string> lines, int minContentWidth = 0,
        uint32_t flags = 0, int color = 0);
  ~Popup();
  Popup(const Popup&) = delete;
  Popup& operator=(const Popup&) = delete;

  // New lines; the console title reads "title (lines)" unless `consoleTitle` is given.
  void SetLines(std::vector<std::string> lines, const std::string* consoleTitle = nullptr);
  const Rect& Box() const { return box_; }
  bool ShadowShown() const { return shadowShown_; }

 private:
  void Draw();
  void DrawShadow();

  Console& console_;
  std::string title_;
  std::vector<std::string> lines_;
  std::string consoleTitle_;
  int minContentWidth_;
  uint32_t flags_;
  int color_;
  void* saved_ = nullptr;
  std::string savedTitle_;
  int cols_ = kDefaultColumns, rows_ = kDefaultRows;
  Rect box_;
  bool drawn_ = false;
  bool readFailed_ = false;
  bool shadowShown_ = false;
};

// The progress window: a popup with the eleven lines drawn from the counters.
class Progress {
 public:
  Progress(Console& console, const std::string& verb, int totalItems, uint64_t totalBytes);
  ProgressCounters& Counters() { return counters_; }
  void Redraw();
  void StartFile(const std::string& source, const std::string& target, uint64_t size);
  void AddBytes(uint64_t bytes);
  void SetFileSize(uint64_t size);
  const Popup& Window() const { return popup_; }

 private:
  Console& console_;
  ProgressCounters counters_;
  Popup popup_;
};

}  // namespace handrel::con
