// The plugin's test build (QuilletFaults.dll) in the host stand-in, with an exception thrown on
// purpose inside the entries the host and the plugin's threads call: the dialog procedures, the
// rename worker and the progress dialog, the configuration dialog; and threads that cannot be
// started. Each ends in a report ("Unhandled exception in ...") or its failure message, never in
// a dead host, and nothing on disk is lost.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "renamer/tests/plugin_harness.h"

namespace {

using namespace quillet_harness;

class QuilletFaults : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    host_.onFailure = [](const std::wstring& what) {
      // A progress dialog whose job fails at once closes by itself after one exchange, which may
      // come before the first step of the script that waits for it; the stand-in's complaint
      // about that is no fault here. Every other complaint is.
      const bool closedEarly = what.find(L"closed before its script ended") != std::wstring::npos &&
                               (what.find(L"\"Renaming\"") != std::wstring::npos ||
                                what.find(L"\"Rolling back\"") != std::wstring::npos);
      if (!closedEarly) ADD_FAILURE() << kelhost::Utf8(what);
    };
  }
};

// Arms one fault point for the life of the guard (see fault_points.cpp for the spelling).
class Armed {
 public:
  explicit Armed(const char* point) { SetEnvironmentVariableA("QUILLET_FAULT", point); }
  ~Armed() { Disarm(); }
  Armed(const Armed&) = delete;
  Armed& operator=(const Armed&) = delete;
  static void Disarm() { SetEnvironmentVariableA("QUILLET_FAULT", nullptr); }
};

std::wstring Report(const char* where, const char* point) {
  return L"Unhandled exception in " + kelhost::Wide(where) + L": injected fault at " + kelhost::Wide(point);
}

TEST_F(QuilletFaults, AnExceptionInTheComputeWorkerFailsThatComputationOnly) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt"});
  const auto layout = Layout(0);
  const int prefixBox = ItemWithText(layout, Text(37)), prefix = prefixBox + 2;
  const int preview = ItemWithText(layout, Text(14)), status = ItemWithText(layout, Text(15)) + 1, list = status + 2;
  Armed armed("compute.worker");
  std::wstring statusAfterFault;
  std::vector<std::wstring> rows;
  host_.AnswerDialog(DialogScript()
                         .Click(prefixBox)
                         .Type(prefix, L"p_")
                         .Click(preview)
                         .WaitUntil([&](DialogView& v) { return v.Item(status).text.find(Text(21)) != std::wstring::npos; })
                         .Check([&](DialogView& v) {
                           statusAfterFault = v.Item(status).text;
                           Armed::Disarm();
                         })
                         .Click(preview)  // the dialog goes on working
                         .WaitUntil([&](DialogView& v) { return v.Item(status).text.find(Text(17)) != std::wstring::npos; })
                         .Check([&](DialogView& v) { rows = v.Item(list).list; })
                         .Key(KEY_ESC));
  host_.AnswerMessage(0);  // the report
  host_.AnswerMessage(0);  // yes, close
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 0);
  ASSERT_EQ(host_.messages.size(), 2u);
  EXPECT_EQ(host_.messages[0].lines.at(1), Report("RenameWorker", "compute.worker"));
  EXPECT_EQ(statusAfterFault, L"Status: " + Text(21));
  EXPECT_EQ(rows, (std::vector<std::wstring>{L"p_a.txt", L"p_b.txt"}));
  EXPECT_EQ(folder.List(), (Files{{L"a.txt", "a.txt"}, {L"b.txt", "b.txt"}}));
}

TEST_F(QuilletFaults, AnExceptionInTheDialogProcedureClosesItAsCancelled) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt"});
  const auto layout = Layout(0);
  const int prefixBox = ItemWithText(layout, Text(37)), cancel = ItemWithText(layout, Text(7));
  {
    Armed armed("dialog.click");
    host_.AnswerDialog(DialogScript().Click(prefixBox));
    host_.AnswerMessage(0);  // the report
    EXPECT_EQ(host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 0), INVALID_HANDLE_VALUE);
  }
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].lines.at(1), Report("RenameDialog", "dialog.click"));
  ASSERT_EQ(host_.dialogs.size(), 1u);
  EXPECT_EQ(host_.dialogs[0].exitCode, cancel);
  // The plugin is still there and works.
  const int prefix = prefixBox + 2, rename = ItemWithText(layout, Text(13));
  store_->WriteDword(kKey, u"ConfirmRename", 0);
  host_.AnswerDialog(DialogScript()
                         .Click(prefixBox)
                         .Type(prefix, L"p_")
                         .Click(rename)
                         .WaitUntil([](DialogView&) { return false; }));
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 0);
  EXPECT_EQ(folder.List(), (Files{{L"p_a.txt", "a.txt"}, {L"p_b.txt", "b.txt"}}));
}

TEST_F(QuilletFaults, ThreadsThatCannotStartShowTheirMessages) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt"});
  const auto manipulate = Layout(0);
  const auto construct = Layout(1);
  const int prefixBox = ItemWithText(manipulate, Text(37)), manipulatePreview = ItemWithText(manipulate, Text(14));
  const int manipulateStatus = ItemWithText(manipulate, Text(15)) + 1;
  const int constructPreview = ItemWithText(construct, Text(14));
  std::wstring status;
  {
    Armed armed("compute.thread");
    host_.AnswerDialog(DialogScript()
                           .Click(prefixBox)
                           .Type(prefixBox + 2, L"p_")
                           .Click(manipulatePreview)
                           .Check([&](DialogView& v) { status = v.Item(manipulateStatus).text; })
                           .Key(KEY_ESC));
    host_.AnswerMessage(0);  // message 56
    host_.AnswerMessage(0);  // yes, close
    host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 0);
    host_.AnswerDialog(DialogScript().Click(constructPreview).Key(KEY_ESC));
    host_.AnswerMessage(0);  // message 69
    host_.AnswerMessage(0);  // yes, close
    host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 1);
  }
  {
    Armed armed("rename.thread");
    host_.AnswerEditor(EditTo({L"x.txt", L"y.txt"}, nullptr));
    host_.AnswerDialog(DialogScript());  // the progress dialog closes as it opens
    host_.AnswerMessage(0);              // message 76
    host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  }
  ASSERT_EQ(host_.messages.size(), 5u);
  EXPECT_EQ(host_.messages[0].lines.at(1), Text(56));
  EXPECT_EQ(host_.messages[0].helpTopic, L"ManipulateDialog");
  EXPECT_EQ(status, L"Status: " + Text(21));
  EXPECT_EQ(host_.messages[2].lines.at(1), Text(69));
  EXPECT_EQ(host_.messages[2].helpTopic, L"ConstructDialog");
  EXPECT_EQ(host_.messages[4].lines.at(1), Text(76));
  EXPECT_EQ(folder.List(), (Files{{L"a.txt", "a.txt"}, {L"b.txt", "b.txt"}}));
}

TEST_F(QuilletFaults, AnExceptionInTheRenameWorkerEndsTheJobAndIsReported) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt"});
  Armed armed("rename.worker");
  host_.AnswerEditor(EditTo({L"x.txt", L"y.txt"}, nullptr));
  host_.AnswerDialog(UntilClosed());
  host_.AnswerMessage(0);  // the report
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  ASSERT_EQ(host_.messages.size(), 1u);  // nothing moved: no summary
  EXPECT_EQ(host_.messages[0].lines.at(1), Report("RenameWorker", "rename.worker"));
  EXPECT_EQ(folder.List(), (Files{{L"a.txt", "a.txt"}, {L"b.txt", "b.txt"}}));
  EXPECT_EQ(host_.ActivePanel().SelectedNames(), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
}

// The progress dialog's procedure throws at the first item: the job stops as cancelled, the
// summary offers the rollback, and the rollback restores every name.
TEST_F(QuilletFaults, AnExceptionInTheProgressDialogStopsTheJobAndRollbackRestores) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt", L"c.txt"});
  Armed armed("progress.item:1");
  host_.AnswerEditor(EditTo({L"x.txt", L"y.txt", L"z.txt"}, nullptr));
  host_.AnswerDialog(UntilClosed());
  host_.AnswerMessage(0);  // the report
  host_.AnswerMessage(1);  // the summary: roll back
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  ASSERT_EQ(host_.messages.size(), 2u);
  EXPECT_EQ(host_.messages[0].lines.at(1), Report("RenameProgress", "progress.item"));
  EXPECT_EQ(host_.messages[1].lines.at(1).find(L"Renaming cancelled"), 0u);
  EXPECT_EQ(folder.List(), (Files{{L"a.txt", "a.txt"}, {L"b.txt", "b.txt"}, {L"c.txt", "c.txt"}}));
}

TEST_F(QuilletFaults, AnExceptionInTheConfigurationDialogSavesNothing) {
  host_.AnswerDialog(DialogScript().Key(KEY_ESC));
  ASSERT_EQ(host_.Configure(plugin_, 0), 0);
  const auto layout = host_.dialogs.back().itemsAtOpen;
  const int editorEntry = ItemWithText(layout, Text(112)), save = ItemWithText(layout, Text(131));
  Armed armed("config.close");
  host_.AnswerDialog(DialogScript().Click(editorEntry).Click(save));
  host_.AnswerMessage(0);  // the report
  EXPECT_EQ(host_.Configure(plugin_, 0), 0);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].lines.at(1), Report("ConfigDialog", "config.close"));
  EXPECT_EQ(store_->ReadDword(kKey, u"EditorEntry"), 1u);
}

}  // namespace

int main(int argc, char** argv) { return RunAll(argc, argv, "quillet_faults_test PATH-TO-QuilletFaults.dll"); }
