// Scrivel loaded into the host stand-in: the host's own dialogs are confirmed with names typed
// by the user, and the name the host receives is checked.
#include <gtest/gtest.h>

#include <string>

#include "standins/kelhost/kelhost.h"

namespace {

std::wstring g_pluginPath;

class ScrivelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.onFailure = [](const std::wstring& what) { ADD_FAILURE() << kelhost::Utf8(what); };
    plugin_ = host_.Load(g_pluginPath);
    ASSERT_NE(plugin_, nullptr);
  }
  // Confirms host dialog `kind` holding `typed` with Enter; returns what the host receives.
  std::wstring Confirm(int kind, const std::wstring& typed) {
    return host_.RunHostDialog(kind, typed, kelhost::DialogScript().Key(KEY_ENTER));
  }
  kelhost::Host host_;
  kelhost::Plugin* plugin_ = nullptr;
};

TEST_F(ScrivelTest, ExportsExactlyItsThreeEntries) {
  EXPECT_NE(plugin_->Entry("GetMinKelVersionW"), nullptr);
  EXPECT_NE(plugin_->Entry("SetStartupInfoW"), nullptr);
  EXPECT_NE(plugin_->Entry("ProcessDialogEventW"), nullptr);
  EXPECT_EQ(plugin_->Entry("GetPluginInfoW"), nullptr);
  EXPECT_EQ(plugin_->Entry("OpenPluginW"), nullptr);
  auto minVersion = reinterpret_cast<int(KEL_API*)()>(plugin_->Entry("GetMinKelVersionW"));
  EXPECT_EQ(static_cast<uint32_t>(minVersion()), 0x067A0200u);
}

TEST_F(ScrivelTest, ConfirmedNameLosesTrailingDotAndSpaceInEveryWatchedDialog) {
  for (int kind = 0; kind < 7; ++kind) EXPECT_EQ(Confirm(kind, L"report.txt. "), L"report.txt") << kind;
}

TEST_F(ScrivelTest, PathDialogsKeepParentFolderOthersDoNot) {
  EXPECT_EQ(Confirm(0, L"..\\.."), L"..\\..");
  EXPECT_EQ(Confirm(2, L"work\\.. "), L"work\\..");
  EXPECT_EQ(Confirm(4, L"..\\.."), L"..\\");
  EXPECT_EQ(Confirm(6, L"x\\a."), L"x\\a");
  EXPECT_EQ(Confirm(1, L" . ."), L"");
}

TEST_F(ScrivelTest, ConfirmWithTheButtonWorksLikeEnter) {
  EXPECT_EQ(host_.RunHostDialog(2, L"New folder...", kelhost::DialogScript().Click(4)), L"New folder");
}

TEST_F(ScrivelTest, EscLeavesTheTextAlone) {
  // The host takes nothing on Esc; Scrivel must not touch the field either.
  std::wstring seen;
  host_.RunHostDialog(2, L"name. ", kelhost::DialogScript().Key(KEY_ESC));
  ASSERT_FALSE(host_.dialogs.empty());
  EXPECT_EQ(host_.dialogs.back().exitCode, -1);
  EXPECT_EQ(host_.dialogs.back().itemsAtClose[2].text, L"name. ");
}

// A plugin dialog without a watched identifier: confirmed unchanged, even with two edits.
TEST_F(ScrivelTest, UnwatchedDialogIsLeftAsItIs) {
  KelDialogItem items[3] = {};
  items[0].Type = DI_EDIT;
  items[0].Data = L"one. ";
  items[1].Type = DI_EDIT;
  items[1].Data = L"two. ";
  items[2].Type = DI_BUTTON;
  items[2].Data = L"OK";
  items[2].Flags = DIF_DEFAULTBUTTON;
  GUID other = kelhost::Host::HostDialogId(3);
  other.Data4[7] ^= 0xFF;
  host_.AnswerDialog(kelhost::DialogScript().Key(KEY_ENTER));
  int exit = plugin_->startup.HostDialog(plugin_->number, &other, 0, 0, 40, 5, L"", items, 3, 0, nullptr, nullptr);
  EXPECT_EQ(exit, 2);
  EXPECT_EQ(host_.dialogs.back().itemsAtClose[0].text, L"one. ");
}

TEST_F(ScrivelTest, OnlyTheFirstEditFieldIsTrimmed) {
  KelDialogItem items[4] = {};
  items[0].Type = DI_TEXT;
  items[0].Data = L"Label. ";
  items[1].Type = DI_EDIT;
  items[1].Data = L"first. ";
  items[2].Type = DI_EDIT;
  items[2].Data = L"second. ";
  items[3].Type = DI_BUTTON;
  items[3].Data = L"OK";
  items[3].Flags = DIF_DEFAULTBUTTON;
  GUID watched = kelhost::Host::HostDialogId(5);
  host_.AnswerDialog(kelhost::DialogScript().Key(KEY_ENTER));
  plugin_->startup.HostDialog(plugin_->number, &watched, 0, 0, 40, 5, L"", items, 4, 0, nullptr, nullptr);
  const auto& closed = host_.dialogs.back().itemsAtClose;
  EXPECT_EQ(closed[0].text, L"Label. ");
  EXPECT_EQ(closed[1].text, L"first");
  EXPECT_EQ(closed[2].text, L"second. ");
}

// Every refusal of the host ends the handling silently and the dialog closes with what the user
// typed; a failed fetch of one item only skips that item. Items of the host's dialog: 0 box,
// 1 label, 2 the edit, 3 separator, 4 and 5 buttons; each item costs a size query and a fetch.
TEST_F(ScrivelTest, RefusalsOfTheHostEndTheHandlingSilently) {
  struct Case {
    int message, nth;
    const wchar_t* received;
  } cases[] = {
      {DM_GETDIALOGINFO, 1, L"report.txt. "},  // no dialog information
      {DM_GETDLGITEM, 1, L"report.txt. "},     // no size for the first item: no items at all
      {DM_GETDLGITEM, 6, L"report.txt. "},     // the edit field's fetch fails: skipped, no other edit
      {DM_GETDLGITEM, 2, L"report.txt"},       // the box's fetch fails: the edit is still found
      {DM_SETTEXT, 1, L"report.txt. "},        // the trimmed text is not taken
  };
  for (const Case& c : cases) {
    host_.refusals.clear();
    host_.FailCall("HostSendDlgMessage", c.nth, 1, c.message);
    EXPECT_EQ(Confirm(1, L"report.txt. "), c.received) << c.message << " " << c.nth;
    EXPECT_EQ(host_.refusals.size(), 1u) << c.message << " " << c.nth;
    EXPECT_EQ(host_.dialogs.back().exitCode, 4);
    host_.ClearFailures();
  }
  EXPECT_TRUE(host_.messages.empty());
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    fprintf(stderr, "usage: scrivel_plugin_test PATH-TO-Scrivel.dll\n");
    return 2;
  }
  g_pluginPath = kelhost::Wide(argv[1]);
  return RUN_ALL_TESTS();
}
