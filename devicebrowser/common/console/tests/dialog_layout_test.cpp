// Placement of dialog items as the configuration dialogs build them row by row.
#include <gtest/gtest.h>

#include "devicebrowser/common/console/core/layout.h"

using namespace handrel::con;

TEST(DialogLayout, ItemsSitFourColumnsAndOneRowInsideTheBox) {
  DialogLayout d(30, 5, "Setup");
  int text = d.Add(ItemKind::Text, 1, 1, ShownLength("Command &prefix:"));
  int edit = d.Add(ItemKind::Edit, 1, DialogLayout::kAfter, 10);
  int sep = d.Add(ItemKind::Separator, 2, 0, 0);
  int check = d.Add(ItemKind::CheckBox, 3, 1, ItemCells(ItemKind::CheckBox, "&Use drive letter"));
  int fixed = d.Add(ItemKind::FixedEdit, 4, 3, 1);
  int after = d.Add(ItemKind::Text, 4, 5, 6);
  int ok = d.Add(ItemKind::Button, 5, 0, ItemCells(ItemKind::Button, "&OK"));
  int cancel = d.Add(ItemKind::Button, 5, 0, ItemCells(ItemKind::Button, "Cancel"));
  d.Finish();
  auto& it = d.Items();
  EXPECT_EQ(it[0].kind, ItemKind::Box);
  EXPECT_EQ(it[0].x1, 3);
  EXPECT_EQ(it[0].y1, 1);
  EXPECT_EQ(it[0].x2, 3 + 30 + 3);  // content 30 wide from column 5, one space, the frame
  EXPECT_EQ(it[0].y2, 1 + 5 + 1);
  EXPECT_EQ(d.DialogWidth(), 40);
  EXPECT_EQ(d.DialogHeight(), 9);
  EXPECT_EQ(it[static_cast<size_t>(text)].x1, 5);
  EXPECT_EQ(it[static_cast<size_t>(text)].y1, 2);
  EXPECT_EQ(it[static_cast<size_t>(text)].x2, 5 + 15 - 1);  // "&" not shown
  EXPECT_EQ(it[static_cast<size_t>(edit)].x1, 5 + 15 + 1);
  EXPECT_EQ(it[static_cast<size_t>(edit)].x2, 5 + 15 + 1 + 9);
  EXPECT_EQ(it[static_cast<size_t>(sep)].x1, 3);
  EXPECT_EQ(it[static_cast<size_t>(sep)].x2, it[0].x2);
  EXPECT_EQ(it[static_cast<size_t>(sep)].y1, 3);
  EXPECT_EQ(it[static_cast<size_t>(check)].x2 - it[static_cast<size_t>(check)].x1 + 1, 4 + 16);
  EXPECT_EQ(it[static_cast<size_t>(fixed)].x1, 7);
  EXPECT_EQ(it[static_cast<size_t>(fixed)].x2, 7);
  EXPECT_EQ(it[static_cast<size_t>(after)].x1, 9);
  // Buttons: "[ OK ]" and "[ Cancel ]" with one space between, centred in the 30 columns.
  const auto& b1 = it[static_cast<size_t>(ok)];
  const auto& b2 = it[static_cast<size_t>(cancel)];
  EXPECT_EQ(b1.x2 - b1.x1 + 1, 6);
  EXPECT_EQ(b2.x1, b1.x2 + 2);
  int left = b1.x1 - 5, right = (5 + 30 - 1) - b2.x2;
  EXPECT_LE(std::abs(left - right), 1) << left << " " << right;
  EXPECT_EQ(d.FirstFocusable(), edit);
}

TEST(DialogLayout, ARowCentredInItsOwnSpanKeepsItsGapAndLeavesTheHostAlone) {
  // The transfer dialog: a 66-column line, and "[ Copy ]" and "[ Cancel ]" centred as a pair in
  // the first 54 columns, five apart.
  DialogLayout d(68, 4, "Copy");
  d.Add(ItemKind::Edit, 2, 1, 66);
  int copy = d.Add(ItemKind::Button, 4, DialogLayout::kCentre, 8);
  int cancel = d.Add(ItemKind::Button, 4, DialogLayout::kCentre, 10);
  int plain = d.Add(ItemKind::Button, 5, DialogLayout::kCentre, 6);
  d.CentreRow(4, 54, 5);
  d.Finish();
  const auto& it = d.Items();
  const auto& b1 = it[static_cast<size_t>(copy)];
  const auto& b2 = it[static_cast<size_t>(cancel)];
  EXPECT_EQ(b2.x1, b1.x2 + 1 + 5);
  EXPECT_EQ(b1.x1, 5 + (54 - (8 + 5 + 10)) / 2);  // column 1 is dialog cell 5
  EXPECT_FALSE(b1.hostCentres);
  EXPECT_FALSE(b2.hostCentres);
  EXPECT_TRUE(it[static_cast<size_t>(plain)].hostCentres);
  EXPECT_EQ(d.ContentWidth(), 68);
  // A span narrower than its buttons starts them at the row's first column and widens the dialog.
  DialogLayout n(10, 1, "N");
  int wide = n.Add(ItemKind::Button, 1, DialogLayout::kCentre, 12);
  n.Add(ItemKind::Button, 1, DialogLayout::kCentre, 12);
  n.CentreRow(1, 20, 4);
  n.Finish();
  EXPECT_EQ(n.Items()[static_cast<size_t>(wide)].x1, 5);
  EXPECT_EQ(n.ContentWidth(), 12 + 4 + 12);
}

TEST(DialogLayout, GrowsToTheWidestAndTallestItem) {
  DialogLayout d(10, 2, "T");
  d.Add(ItemKind::Text, 1, 1, 40);
  d.Add(ItemKind::Text, 7, 3, 2);
  d.Finish();
  EXPECT_EQ(d.ContentWidth(), 40);
  EXPECT_EQ(d.ContentHeight(), 7);
  EXPECT_EQ(d.Items()[0].x2, 3 + 40 + 3);
  EXPECT_EQ(d.Items()[0].y2, 1 + 7 + 1);
  // A long title widens the box too.
  DialogLayout t(4, 1, "A rather long title");
  t.Finish();
  EXPECT_EQ(t.ContentWidth(), 19 + 2);
}

TEST(DialogLayout, CentredRowsWidenTheDialogAndRadioGroupsStartAfterOtherItems) {
  DialogLayout d(10, 3, "X");
  int t = d.Add(ItemKind::Text, 1, 1, 4);
  int r1 = d.Add(ItemKind::RadioButton, 2, DialogLayout::kCentre, 10);
  int r2 = d.Add(ItemKind::RadioButton, 2, DialogLayout::kCentre, 10);
  int c = d.Add(ItemKind::CheckBox, 3, 1, 5);
  int r3 = d.Add(ItemKind::RadioButton, 4, 1, 5);
  int r4 = d.Add(ItemKind::RadioButton, 4, DialogLayout::kAfter, 5);
  d.Finish();
  auto& it = d.Items();
  EXPECT_EQ(d.ContentWidth(), 21);  // two radios of 10 and a space
  EXPECT_EQ(it[static_cast<size_t>(r1)].x1, 5);
  EXPECT_EQ(it[static_cast<size_t>(r2)].x1, 5 + 11);
  EXPECT_TRUE(it[static_cast<size_t>(r1)].group);
  EXPECT_FALSE(it[static_cast<size_t>(r2)].group);
  EXPECT_TRUE(it[static_cast<size_t>(r3)].group);
  EXPECT_FALSE(it[static_cast<size_t>(r4)].group);
  EXPECT_EQ(it[static_cast<size_t>(r4)].x1, 5 + 6);
  EXPECT_FALSE(it[static_cast<size_t>(t)].group);
  EXPECT_FALSE(it[static_cast<size_t>(c)].group);
  EXPECT_EQ(d.FirstFocusable(), r1);
}

TEST(DialogLayout, HotKeyMarksAreNotCounted) {
  EXPECT_EQ(ShownLength("&OK"), 2);
  EXPECT_EQ(ShownLength("Save && quit"), 11);
  EXPECT_EQ(ShownLength("&&"), 1);
  EXPECT_EQ(ShownLength("end&"), 3);
  EXPECT_EQ(ItemCells(ItemKind::Button, "&Cancel"), 10);
  EXPECT_EQ(ItemCells(ItemKind::Text, "plain"), 5);
}
