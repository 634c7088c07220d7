// A console in memory for the helpers' tests: a grid of cells the host services write into, a
// title, scripted message answers and input events; every message is recorded.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "devicebrowser/common/console/core/screen.h"

namespace handrel::con::testing {

class MemoryConsole : public Console {
 public:
  MemoryConsole(int cols = 80, int rows = 25) : cols_(cols), rows_(rows), cells_(static_cast<size_t>(cols * rows)) {
    // A recognisable background: letters in bright white on blue.
    for (int y = 0; y < rows_; ++y)
      for (int x = 0; x < cols_; ++x) At(x, y) = Cell{static_cast<char>('a' + (x + y) % 26), 0x1F};
  }

  Cell& At(int x, int y) { return cells_[static_cast<size_t>(y * cols_ + x)]; }
  std::string Row(int y, int x1, int x2) {
    std::string s;
    for (int x = x1; x <= x2; ++x) s += At(x, y).ch;
    return s;
  }

  void Text(int x, int y, int color, const std::string& text) override {
    ++texts;
    for (size_t i = 0; i < text.size(); ++i) {
      int cx = x + static_cast<int>(i);
      if (cx >= 0 && cx < cols_ && y >= 0 && y < rows_) At(cx, y) = Cell{text[i], static_cast<uint16_t>(color)};
    }
  }
  void Flush() override { ++flushes; }
  void* SaveScreen() override {
    if (refuseSave) return nullptr;
    saves.push_back(cells_);
    ++openSaves;
    return reinterpret_cast<void*>(saves.size());
  }
  void RestoreScreen(void* saved) override {
    if (!saved) return;
    cells_ = saves.at(reinterpret_cast<size_t>(saved) - 1);
    --openSaves;
  }
  int Message(const std::vector<std::string>& items, int buttons, bool warning) override {
    messages.push_back({items, buttons, warning});
    if (answers.empty()) return -1;
    int a = answers.front();
    answers.pop_front();
    return a;
  }
  bool WindowSize(int& cols, int& rows) override {
    if (!sizeReadable) return false;
    cols = cols_;
    rows = rows_;
    return true;
  }
  bool ReadCells(const Rect& r, std::vector<Cell>& out) override {
    if (!readable) return false;
    out.clear();
    for (int y = r.y1; y <= r.y2; ++y)
      for (int x = r.x1; x <= r.x2; ++x) out.push_back(At(x, y));
    return true;
  }
  std::string SaveTitle() override { return title; }
  void RestoreTitle(const std::string& saved) override { title = saved; }
  void SetTitle(const std::string& t) override { title = t; }
  int PendingInput() override { return static_cast<int>(input.size()); }
  std::vector<InputEvent> ReadInput(int max) override {
    std::vector<InputEvent> out;
    while (!input.empty() && static_cast<int>(out.size()) < max) {
      out.push_back(input.front());
      input.pop_front();
    }
    reads += static_cast<int>(out.size());
    return out;
  }
  void FlushInput() override {
    input.clear();
    ++inputFlushes;
  }
  uint32_t Tick() override { return tick; }

  void Key(uint16_t vk, bool down = true) { input.push_back(InputEvent{true, down, vk}); }
  void Mouse() { input.push_back(InputEvent{false, false, 0}); }

  struct Shown {
    std::vector<std::string> items;
    int buttons;
    bool warning;
  };
  std::vector<Shown> messages;
  std::deque<int> answers;
  std::deque<InputEvent> input;
  std::string title = "Kel";
  uint32_t tick = 0;
  bool readable = true, sizeReadable = true, refuseSave = false;
  int texts = 0, flushes = 0, openSaves = 0, reads = 0, inputFlushes = 0;

 private:
  int cols_, rows_;
  std::vector<Cell> cells_;
  std::vector<std::vector<Cell>> saves;
};

}  // namespace handrel::con::testing
