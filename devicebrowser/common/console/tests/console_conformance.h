// One set of checks for every implementation of the console seam: the memory console of the core
// tests and the shell's console over the host stand-in under Wine, so the two cannot drift.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "devicebrowser/common/console/core/screen.h"

namespace handrel::con::testing {

// typeEscape: puts an Esc key press (down and up) into the console input.
inline void CheckConsoleSeam(Console& c, const std::function<void()>& typeEscape) {
  int cols = 0, rows = 0;
  ASSERT_TRUE(c.WindowSize(cols, rows));
  ASSERT_GE(cols, 20);
  ASSERT_GE(rows, 5);

  // Text lands where it was written, in its colour, and reads back byte for byte.
  void* saved = c.SaveScreen();
  ASSERT_NE(saved, nullptr);
  std::string text = "\xC9\xCD ab \xBA\xDB\xB0";
  c.Text(3, 2, 0x70, text);
  c.Flush();
  std::vector<Cell> cells;
  ASSERT_TRUE(c.ReadCells(Rect{3, 2, 3 + static_cast<int>(text.size()) - 1, 2}, cells));
  ASSERT_EQ(cells.size(), text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    EXPECT_EQ(cells[i].ch, text[i]) << i;
    EXPECT_EQ(cells[i].attr, 0x70) << i;
  }
  // A rectangle reads row by row.
  c.Text(0, 3, 0x1E, "xy");
  c.Text(0, 4, 0x2D, "zw");
  ASSERT_TRUE(c.ReadCells(Rect{0, 3, 1, 4}, cells));
  ASSERT_EQ(cells.size(), 4u);
  EXPECT_EQ(std::string({cells[0].ch, cells[1].ch, cells[2].ch, cells[3].ch}), "xyzw");
  EXPECT_EQ(cells[2].attr, 0x2D);
  // The saved screen comes back.
  c.RestoreScreen(saved);
  ASSERT_TRUE(c.ReadCells(Rect{0, 3, 1, 4}, cells));
  EXPECT_NE(std::string({cells[0].ch, cells[1].ch, cells[2].ch, cells[3].ch}), "xyzw");

  // Title: set as OEM text, saved and put back whole.
  c.SetTitle("first");
  std::string first = c.SaveTitle();
  c.SetTitle("second");
  EXPECT_NE(c.SaveTitle(), first);
  c.RestoreTitle(first);
  EXPECT_EQ(c.SaveTitle(), first);

  // Input: nothing pending, then an Esc press is two events, read without waiting.
  // A real console may queue events of its own at any time, even right after a flush (focus,
  // size, or Ctrl+@ for a NUL its terminal sent): what a flush must leave behind is none of ours.
  auto escapesLeft = [&c] {
    int keys = 0;
    for (int round = 0; round < 10 && c.PendingInput() > 0; ++round)
      for (const InputEvent& e : c.ReadInput(10)) keys += e.keyEvent && e.virtualKey == kVkEscape ? 1 : 0;
    return keys;
  };
  c.FlushInput();
  EXPECT_EQ(escapesLeft(), 0);
  typeEscape();
  int pending = c.PendingInput();
  EXPECT_GE(pending, 2);
  std::vector<InputEvent> events = c.ReadInput(1);
  ASSERT_EQ(events.size(), 1u);
  for (int round = 0; round < 10 && c.PendingInput() > 0; ++round)
    for (const InputEvent& e : c.ReadInput(10)) events.push_back(e);
  int downs = 0, ups = 0;
  for (const InputEvent& e : events)
    if (e.keyEvent && e.virtualKey == kVkEscape) ++(e.keyDown ? downs : ups);
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(ups, 1);
  typeEscape();
  c.FlushInput();
  EXPECT_EQ(escapesLeft(), 0);

  // The clock moves forward in milliseconds.
  uint32_t t0 = c.Tick();
  EXPECT_LE(c.Tick() - t0, 10000u);
}

}  // namespace handrel::con::testing
