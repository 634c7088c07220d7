// The engine over two memory sides: a "device" with files under "\" and a local disk under "C:\".
#include "devicebrowser/common/transfer/core/transfer.h"

#include <gtest/gtest.h>

#include "devicebrowser/common/transfer/core/memory_side.h"
#include "devicebrowser/common/transfer/tests/scripted_ui.h"

namespace handrel::transfer {
namespace {

constexpr uint64_t kTime = 0x01D5'0000'1234'5678ull;

class Transfer : public ::testing::Test {
 protected:
  void SetUp() override {
    device.AddFolder(u"\\Docs");
    local.AddFolder(u"C:");
    local.AddFolder(u"C:\\Out");
  }
  // A device panel item for a file or folder of the device.
  SourceItem DeviceItem(const std::u16string& path) {
    SourceItem item;
    MemorySide::Node& node = device.At(path);
    item.path = path;
    item.attributes = node.attributes;
    item.size = node.data.size();
    item.writeTime = node.writeTime;
    return item;
  }
  // Fetches device items to C:\Out.
  int Get(std::vector<SourceItem> items, bool move = false, uint32_t mode = 0) {
    Options options;
    options.sourceIsDevice = true;
    options.move = move;
    options.mode = mode;
    op = std::make_unique<MOperationBase>(options, device, local, ui);
    if (!op->SetTarget(u"C:\\Out")) return 0;
    if (!op->BuildList(items)) return op->Cancelled() ? -1 : 0;
    return op->Run();
  }
  // The names in a folder of the local side, in order.
  std::vector<std::u16string> Listing(const std::u16string& folder) {
    std::vector<FolderEntry> entries;
    EXPECT_TRUE(local.List(folder, entries));
    std::vector<std::u16string> names;
    for (const FolderEntry& entry : entries) names.push_back(entry.name);
    return names;
  }
  MemorySide device, local;
  ScriptedUi ui;
  std::unique_ptr<MOperationBase> op;
};

using Names = std::vector<std::u16string>;

TEST(TransferNames, ADeviceNameWithoutItsTerminatorIsRefused) {
  std::u16string field(kDeviceNameField, u'a');
  std::u16string name;
  EXPECT_FALSE(NameFromField(field.data(), field.size(), name));
  EXPECT_TRUE(name.empty());
  field[kDeviceNameField - 1] = 0;  // 259 characters and the terminator: the longest name
  ASSERT_TRUE(NameFromField(field.data(), field.size(), name));
  EXPECT_EQ(name.size(), kDeviceNameField - 1);
}

TEST_F(Transfer, AnEmptyFileIsCreatedAndKeepsItsTimeAndAttributes) {
  device.AddFile(u"\\Docs\\empty.txt", "", kTime, kAttrReadOnly | kAttrHidden | kAttrArchive);
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\empty.txt")}), 1);
  ASSERT_TRUE(local.Exists(u"C:\\Out\\empty.txt"));
  MemorySide::Node& copy = local.At(u"C:\\Out\\empty.txt");
  EXPECT_EQ(copy.data, "");
  EXPECT_EQ(copy.writeTime, kTime);
  EXPECT_EQ(copy.attributes, kAttrReadOnly | kAttrHidden | kAttrArchive);
  EXPECT_EQ(op->FinishedItems(), std::vector<int>{0});
  EXPECT_EQ(local.OpenHandles(), 0u);
  EXPECT_EQ(device.OpenHandles(), 0u);
}

TEST_F(Transfer, FoldersAreCopiedWholeInBlocks) {
  std::string big(3 * kBlockSize + 17, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 23);
  device.AddFolder(u"\\Docs\\Sub");
  device.AddFile(u"\\Docs\\Sub\\big.bin", big, kTime);
  device.AddFile(u"\\Docs\\a.txt", "alpha", kTime);
  EXPECT_EQ(Get({DeviceItem(u"\\Docs")}), 1);
  EXPECT_EQ(local.At(u"C:\\Out\\Docs\\Sub\\big.bin").data, big);
  EXPECT_EQ(local.At(u"C:\\Out\\Docs\\a.txt").data, "alpha");
  EXPECT_EQ(local.At(u"C:\\Out\\Docs\\Sub\\big.bin").writeTime, kTime);
  EXPECT_EQ(ui.progressBytes, big.size() + 5 + 2);  // and one for each folder
  EXPECT_EQ(op->TotalBytes(), big.size() + 5 + 2);
  EXPECT_EQ(op->FinishedItems(), std::vector<int>{0});
}

TEST_F(Transfer, AFourGiBDeviceFileIsRefusedBeforeAnythingIsCopied) {
  device.AddFile(u"\\Docs\\a.txt", "alpha");
  device.AddFile(u"\\Docs\\huge.bin", "");
  SourceItem huge = DeviceItem(u"\\Docs\\huge.bin");
  huge.size = uint64_t{1} << 32;
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.txt"), huge}), 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], Message::kFileTooLarge);
  EXPECT_EQ(ui.messagePaths[0], u"\\Docs\\huge.bin");
  EXPECT_FALSE(local.Exists(u"C:\\Out\\a.txt"));

  // One byte less passes the list; inside a folder the same limit holds.
  huge.size = (uint64_t{1} << 32) - 1;
  ui.messages.clear();
  Options options;
  options.sourceIsDevice = true;
  MOperationBase fits(options, device, local, ui);
  EXPECT_TRUE(fits.BuildList({huge}));
  device.At(u"\\Docs\\huge.bin").reportedSize = uint64_t{5} << 32;
  EXPECT_EQ(Get({DeviceItem(u"\\Docs")}), 0);
  EXPECT_EQ(ui.messages.back(), Message::kFileTooLarge);
  EXPECT_FALSE(local.Exists(u"C:\\Out\\Docs"));
}

TEST_F(Transfer, SkipAllSkipsEveryLaterExistingFileAfterOneQuestion) {
  for (const char16_t* name : {u"a", u"b", u"c"}) {
    device.AddFile(std::u16string(u"\\Docs\\") + name, "new");
    local.AddFile(std::u16string(u"C:\\Out\\") + name, "old");
  }
  device.AddFile(u"\\Docs\\d", "fresh");
  ui.overwriteAnswers = {kSkipAll};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a"), DeviceItem(u"\\Docs\\b"), DeviceItem(u"\\Docs\\c"),
                 DeviceItem(u"\\Docs\\d")}),
            1);
  EXPECT_EQ(ui.overwriteAsked, 1);
  EXPECT_EQ(local.At(u"C:\\Out\\a").data, "old");
  EXPECT_EQ(local.At(u"C:\\Out\\c").data, "old");
  EXPECT_EQ(local.At(u"C:\\Out\\d").data, "fresh");
  EXPECT_EQ(op->totals().filesSkipped, 3);
}

TEST_F(Transfer, AllOverwritesButReadOnlyTargetsAskTheirOwnQuestionOnce) {
  for (const char16_t* name : {u"a", u"b", u"c", u"d"}) device.AddFile(std::u16string(u"\\Docs\\") + name, "new");
  local.AddFile(u"C:\\Out\\a", "old");
  local.AddFile(u"C:\\Out\\b", "old", 0, kAttrReadOnly);
  local.AddFile(u"C:\\Out\\c", "old");
  local.AddFile(u"C:\\Out\\d", "old", 0, kAttrReadOnly | kAttrHidden);
  ui.overwriteAnswers = {kOverwriteAll};
  ui.readOnlyAnswers = {kOverwriteAll};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a"), DeviceItem(u"\\Docs\\b"), DeviceItem(u"\\Docs\\c"),
                 DeviceItem(u"\\Docs\\d")}),
            1);
  EXPECT_EQ(ui.overwriteAsked, 1);
  EXPECT_EQ(ui.readOnlyAsked, 1);
  for (const char16_t* name : {u"a", u"b", u"c", u"d"}) {
    EXPECT_EQ(local.At(std::u16string(u"C:\\Out\\") + name).data, "new");
  }
  // The copy's attributes are the source's (archive) with what the target had once cleared.
  EXPECT_EQ(local.At(u"C:\\Out\\b").attributes & kAttrReadOnly, 0u);
}

TEST_F(Transfer, ReadOnlyQuestionSkipKeepsTheTargetAndCancelStops) {
  device.AddFile(u"\\Docs\\a", "new");
  device.AddFile(u"\\Docs\\b", "new");
  local.AddFile(u"C:\\Out\\a", "old", 0, kAttrReadOnly);
  local.AddFile(u"C:\\Out\\b", "old");
  ui.overwriteAnswers = {kOverwrite, kCancel};
  ui.readOnlyAnswers = {kSkip};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a"), DeviceItem(u"\\Docs\\b")}), -1);
  EXPECT_EQ(local.At(u"C:\\Out\\a").data, "old");
  EXPECT_EQ(local.At(u"C:\\Out\\a").attributes & kAttrReadOnly, kAttrReadOnly);
  EXPECT_EQ(local.At(u"C:\\Out\\b").data, "old");
  EXPECT_TRUE(op->FinishedItems() == std::vector<int>{0});
}

TEST_F(Transfer, AppendAddsTheWholeSourceAfterTheTargetsEnd) {
  device.AddFile(u"\\Docs\\log.txt", "second half", kTime);
  local.AddFile(u"C:\\Out\\log.txt", "first half, ");
  ui.overwriteAnswers = {kAppend};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\log.txt")}), 1);
  EXPECT_EQ(local.At(u"C:\\Out\\log.txt").data, "first half, second half");
  EXPECT_EQ(op->totals().filesCopied, 1);
}

TEST_F(Transfer, AViewerFetchLandsUnderTheShortName) {
  device.AddFile(u"\\Docs\\\u0436\u0443\u0440\u043D\u0430\u043B.txt", "text");
  SourceItem item = DeviceItem(u"\\Docs\\\u0436\u0443\u0440\u043D\u0430\u043B.txt");
  item.shortName = u"____~1.TXT";
  EXPECT_EQ(Get({item}, false, kModeView), 1);
  EXPECT_EQ(local.At(u"C:\\Out\\____~1.TXT").data, "text");
  // A plain copy keeps the long name.
  EXPECT_EQ(Get({item}), 1);
  EXPECT_TRUE(local.Exists(u"C:\\Out\\\u0436\u0443\u0440\u043D\u0430\u043B.txt"));
}

TEST_F(Transfer, AMoveWhoseSourceDeleteFailsStillCountsTheCopy) {
  device.AddFile(u"\\Docs\\a.txt", "alpha");
  device.AddFile(u"\\Docs\\b.txt", "beta");
  device.deleteFault = {0, 32};  // sharing violation on every delete
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.txt"), DeviceItem(u"\\Docs\\b.txt")}, true), 1);
  EXPECT_EQ(local.At(u"C:\\Out\\a.txt").data, "alpha");
  EXPECT_EQ(local.At(u"C:\\Out\\b.txt").data, "beta");
  EXPECT_TRUE(device.Exists(u"\\Docs\\a.txt"));
  EXPECT_EQ(op->totals().filesCopied, 2);
  EXPECT_EQ(op->totals().deleteFailures, 2);
  EXPECT_EQ((op->FinishedItems()), (std::vector<int>{0, 1}));
}

TEST_F(Transfer, AMoveDeletesReadOnlySourcesAndLeavesFolders) {
  device.AddFolder(u"\\Docs\\Sub");
  device.AddFile(u"\\Docs\\Sub\\ro.txt", "locked", kTime, kAttrReadOnly);
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\Sub")}, true), 1);
  EXPECT_FALSE(device.Exists(u"\\Docs\\Sub\\ro.txt"));
  EXPECT_TRUE(device.Exists(u"\\Docs\\Sub"));
  EXPECT_EQ(local.At(u"C:\\Out\\Sub\\ro.txt").data, "locked");
  EXPECT_EQ(local.At(u"C:\\Out\\Sub\\ro.txt").attributes & kAttrReadOnly, kAttrReadOnly);
}

TEST_F(Transfer, AShortReadIsNotReportedAsDone) {
  // The device announces 10 bytes and reading yields 5: a move keeps its source, no copy stays.
  device.AddFile(u"\\Docs\\a.txt", "12345");
  SourceItem item = DeviceItem(u"\\Docs\\a.txt");
  item.size = 10;
  EXPECT_EQ(Get({item}, true), 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], Message::kCantRead);
  EXPECT_TRUE(device.Exists(u"\\Docs\\a.txt"));
  EXPECT_FALSE(local.Exists(u"C:\\Out\\a.txt"));
  EXPECT_TRUE(op->FinishedItems().empty());
  EXPECT_EQ(op->totals().filesCopied, 0);
}

TEST_F(Transfer, AReadClaimingMoreThanTheBlockIsRefused) {
  device.AddFile(u"\\Docs\\a.bin", std::string(kBlockSize, 'z'));
  device.readOverclaim = 1;  // 65537 bytes "read" into the 65536-byte buffer
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.bin")}), 0);
  EXPECT_EQ(ui.messages.back(), Message::kCantRead);
  EXPECT_FALSE(local.Exists(u"C:\\Out\\a.bin"));
  EXPECT_EQ(op->totals().filesCopied, 0);
}

TEST_F(Transfer, AnOverwriteWhoseCopyFailsKeepsTheOldFileAsItWas) {
  constexpr uint64_t kOldTime = 0x01D4'0000'0000'0002ull;
  device.AddFile(u"\\Docs\\a.bin", std::string(2 * kBlockSize + 1, 'q'), kTime);
  local.AddFile(u"C:\\Out\\a.bin", "older", kOldTime, kAttrReadOnly | kAttrHidden);
  device.readFault = {1, 1236};  // the connection drops at the second block
  ui.overwriteAnswers = {kOverwrite};
  ui.readOnlyAnswers = {kOverwrite};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.bin")}, true), 0);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back(), Message::kCantRead);
  EXPECT_EQ(ui.readOnlyAsked, 1);
  // Content, attributes and time as they were; the partial copy is gone with its temporary name.
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").data, "older");
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").attributes, kAttrReadOnly | kAttrHidden);
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").writeTime, kOldTime);
  EXPECT_EQ(Listing(u"C:\\Out"), Names{u"a.bin"});
  EXPECT_TRUE(device.Exists(u"\\Docs\\a.bin"));
  EXPECT_FALSE(op->CleanupPending());
  EXPECT_EQ(local.OpenHandles(), 0u);
  EXPECT_EQ(device.OpenHandles(), 0u);

  // A plain old file, then disk full, then Esc: the same.
  device.readFault = {};
  local.At(u"C:\\Out\\a.bin").attributes = kAttrArchive;
  local.writeFault = {1, 112};
  ui.overwriteAnswers = {kOverwrite};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.bin")}), 0);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back(), Message::kCantWrite);
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").data, "older");
  local.writeFault = {};
  ui.overwriteAnswers = {kOverwrite};
  ui.escapeAfterBlocks = 2;
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.bin")}), -1);
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").data, "older");
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").attributes, kAttrArchive);
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").writeTime, kOldTime);
  EXPECT_EQ(Listing(u"C:\\Out"), Names{u"a.bin"});
}

TEST_F(Transfer, AnOverwriteNeverTouchesAFileThatHoldsItsTemporaryName) {
  device.AddFile(u"\\Docs\\a", "new a", kTime);
  local.AddFile(u"C:\\Out\\a", "old a", 0, kAttrReadOnly);
  local.AddFile(u"C:\\Out\\~hr1.tmp", "the user's own");
  local.AddFile(u"C:\\Out\\~hr3.tmp", "the user's too", 0, kAttrReadOnly);
  ui.overwriteAnswers = {kOverwrite};
  ui.readOnlyAnswers = {kOverwrite};
  // The side cannot replace in one step: the old file goes aside under a free name of its own.
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a")}), 1);
  EXPECT_EQ(local.At(u"C:\\Out\\a").data, "new a");
  EXPECT_EQ(local.At(u"C:\\Out\\a").writeTime, kTime);
  EXPECT_EQ(local.At(u"C:\\Out\\a").attributes, kAttrArchive);
  EXPECT_EQ(local.At(u"C:\\Out\\~hr1.tmp").data, "the user's own");
  EXPECT_EQ(local.At(u"C:\\Out\\~hr3.tmp").data, "the user's too");
  EXPECT_EQ(Listing(u"C:\\Out"), (Names{u"a", u"~hr1.tmp", u"~hr3.tmp"}));

  // A side that replaces in one step, the same.
  local.oneStepReplace = true;
  device.At(u"\\Docs\\a").data = "newer a";
  ui.overwriteAnswers = {kOverwrite};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a")}), 1);
  EXPECT_EQ(local.At(u"C:\\Out\\a").data, "newer a");
  EXPECT_EQ(Listing(u"C:\\Out"), (Names{u"a", u"~hr1.tmp", u"~hr3.tmp"}));
}

TEST_F(Transfer, AReplaceThatIsRefusedPutsTheOldFileBackAndAsksLikeAnOpenError) {
  device.AddFile(u"\\Docs\\a", "new a");
  local.AddFile(u"C:\\Out\\a", "old a", 0, kAttrReadOnly | kAttrSystem);
  auto oldIsThere = [&](int step) {
    EXPECT_EQ(local.At(u"C:\\Out\\a").data, "old a") << step;
    EXPECT_EQ(local.At(u"C:\\Out\\a").attributes, kAttrReadOnly | kAttrSystem) << step;
    EXPECT_EQ(Listing(u"C:\\Out"), Names{u"a"}) << step;
    EXPECT_TRUE(device.Exists(u"\\Docs\\a"));
    EXPECT_FALSE(op->CleanupPending());
  };
  // Renaming the old file aside is refused; then moving the new one in; then deleting the old one
  // once the new one is in; then the one-step replace. Each time the user aborts.
  for (int step = 0; step < 4; ++step) {
    ui.overwriteAnswers = {kOverwrite};
    ui.readOnlyAnswers = {kOverwrite};
    ui.openErrorAnswers = {kAbort};
    local.renameFault = {step < 2 ? step : -1, 5, 1};
    local.deleteFault = {step == 2 ? 0 : -1, 5, 1};
    local.oneStepReplace = step == 3;
    local.replaceFault = {step == 3 ? 0 : -1, 32, 1};
    EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a")}, true), 0) << step;
    EXPECT_EQ(ui.openErrorsAsked, step + 1);
    EXPECT_EQ(ui.lastOpenError, step == 3 ? 32u : 5u);
    oldIsThere(step);
  }
  // Skip keeps the old file and the moved source; Retry replaces it once the side lets it.
  local.oneStepReplace = false;
  local.renameFault = {0, 5};
  ui.overwriteAnswers = {kOverwrite};
  ui.readOnlyAnswers = {kOverwrite};
  ui.openErrorAnswers = {kSkipFile};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a")}, true), 1);
  EXPECT_EQ(op->totals().filesSkipped, 1);
  EXPECT_EQ(op->totals().filesCopied, 0);
  oldIsThere(4);
  local.renameFault = {0, 5, 2};
  ui.overwriteAnswers = {kOverwrite};
  ui.readOnlyAnswers = {kOverwrite};
  ui.openErrorAnswers = {kRetry, kRetry};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a")}, true), 1);
  EXPECT_EQ(local.At(u"C:\\Out\\a").data, "new a");
  EXPECT_EQ(Listing(u"C:\\Out"), Names{u"a"});
  EXPECT_FALSE(device.Exists(u"\\Docs\\a"));
}

TEST_F(Transfer, AnOldFileIsNeverLostTrackOfWhicheverQueryOfItsReplaceGoesUnanswered) {
  // The old file's delete is refused once the new copy is in, so the replace is undone; meanwhile
  // the side leaves one query unanswered, at every point in turn. Whatever it was, the old file is
  // back under its own name once the side answers again, and nothing else is left.
  device.AddFile(u"\\Docs\\a", "new a");
  for (int query = 0; query < 16; ++query) {
    local = MemorySide();
    local.AddFolder(u"C:");
    local.AddFolder(u"C:\\Out");
    local.AddFile(u"C:\\Out\\a", "old a", 7, kAttrHidden);
    local.deleteFault = {0, 5, 1};
    local.findFault = {query, 5, 1};
    ui.overwriteAnswers = {kOverwrite};
    ui.openErrorAnswers = {kAbort, kAbort};
    EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a")}), 0) << query;
    local.deleteFault = {};
    local.findFault = {};
    EXPECT_TRUE(op->FinishCleanups()) << query;
    EXPECT_EQ(Listing(u"C:\\Out"), Names{u"a"}) << query;
    EXPECT_EQ(local.At(u"C:\\Out\\a").data, "old a") << query;
    EXPECT_EQ(local.At(u"C:\\Out\\a").attributes, kAttrHidden) << query;
  }
}

TEST_F(Transfer, ATargetTheSideCannotReportOnIsNeitherEmptiedNorTakenForNew) {
  device.AddFile(u"\\Docs\\a.txt", "new a");
  local.AddFile(u"C:\\Out\\a.txt", "old a");
  local.findFault = {0, 5, 1};  // the side refuses to say whether it exists
  local.writeFault = {0, 112};
  ui.openErrorAnswers = {kSkipFile};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.txt")}, true), 1);
  EXPECT_EQ(ui.openErrorsAsked, 1);
  EXPECT_EQ(ui.lastOpenError, 5u);
  EXPECT_EQ(ui.overwriteAsked, 0);
  EXPECT_EQ(local.At(u"C:\\Out\\a.txt").data, "old a");
  EXPECT_TRUE(device.Exists(u"\\Docs\\a.txt"));
  // Retried once it answers: the overwrite question, then the copy.
  local.findFault = {0, 5, 1};
  local.writeFault = {};
  ui.openErrorAnswers = {kRetry};
  ui.overwriteAnswers = {kOverwrite};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.txt")}), 1);
  EXPECT_EQ(ui.overwriteAsked, 1);
  EXPECT_EQ(local.At(u"C:\\Out\\a.txt").data, "new a");
}

TEST_F(Transfer, ACleanupCutOffByALostConnectionIsFinishedOnceItIsBack) {
  // A new target written when the connection drops: its removal fails too, and waits.
  device.AddFile(u"\\Docs\\new.bin", std::string(2 * kBlockSize, 'n'));
  device.AddFile(u"\\Docs\\old.txt", "replacement");
  local.AddFile(u"C:\\Out\\old.txt", "kept", 0, kAttrReadOnly);
  local.writeFault = {1, 1236};
  local.deleteFault = {0, 1236};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\new.bin")}), 0);
  EXPECT_TRUE(op->CleanupPending());
  EXPECT_FALSE(op->FinishCleanups());
  local.writeFault = {};
  local.deleteFault = {};
  EXPECT_TRUE(op->FinishCleanups());
  EXPECT_EQ(Listing(u"C:\\Out"), Names{u"old.txt"});

  // The connection drops between the renames of an overwrite: the old file waits beside its name.
  local.renameFault = {1, 1236};
  local.deleteFault = {0, 1236};
  ui.overwriteAnswers = {kOverwrite};
  ui.readOnlyAnswers = {kOverwrite};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\old.txt")}), 0);
  EXPECT_TRUE(op->CleanupPending());
  EXPECT_FALSE(local.Exists(u"C:\\Out\\old.txt"));
  local.renameFault = {};
  local.deleteFault = {};
  EXPECT_TRUE(op->FinishCleanups());
  EXPECT_FALSE(op->CleanupPending());
  EXPECT_EQ(local.At(u"C:\\Out\\old.txt").data, "kept");
  EXPECT_EQ(local.At(u"C:\\Out\\old.txt").attributes, kAttrReadOnly);
  EXPECT_EQ(Listing(u"C:\\Out"), Names{u"old.txt"});
}

TEST_F(Transfer, ATargetWhoseCloseFailsIsAFailedCopy) {
  device.AddFile(u"\\Docs\\a.txt", "alpha");
  device.AddFile(u"\\Docs\\b.txt", "beta");
  local.AddFile(u"C:\\Out\\b.txt", "old b");
  local.closeFault = {0, 5};
  ui.overwriteAnswers = {kOverwrite};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.txt"), DeviceItem(u"\\Docs\\b.txt")}, true), 0);
  EXPECT_EQ(ui.messages.back(), Message::kCantWrite);
  EXPECT_TRUE(device.Exists(u"\\Docs\\a.txt"));
  EXPECT_TRUE(op->FinishedItems().empty());
  // The side keeps the file open, so it cannot be removed until the handles end.
  EXPECT_TRUE(op->CleanupPending());
  local.closeFault = {};
  local.DropHandles();
  EXPECT_TRUE(op->FinishCleanups());
  EXPECT_EQ(Listing(u"C:\\Out"), Names{u"b.txt"});

  // The overwrite's temporary file, the same; the old file stays.
  local.closeFault = {0, 5};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\b.txt")}, true), 0);
  local.closeFault = {};
  local.DropHandles();
  EXPECT_TRUE(op->FinishCleanups());
  EXPECT_EQ(local.At(u"C:\\Out\\b.txt").data, "old b");
  EXPECT_EQ(Listing(u"C:\\Out"), Names{u"b.txt"});
  EXPECT_TRUE(device.Exists(u"\\Docs\\b.txt"));

  // A source whose close fails is copied all the same.
  device.closeFault = {0, 5};
  ui.overwriteAnswers = {kOverwrite};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.txt")}), 1);
  EXPECT_EQ(local.At(u"C:\\Out\\a.txt").data, "alpha");
}

TEST_F(Transfer, AnAppendThatFailsLeavesTheTargetAsItWas) {
  device.AddFile(u"\\Docs\\a.bin", std::string(kBlockSize + 1, 'n'), kTime);
  local.AddFile(u"C:\\Out\\a.bin", "mine", 7, kAttrReadOnly);
  local.writeFault = {1, 112};  // disk full at the second block
  ui.overwriteAnswers = {kAppend};
  ui.readOnlyAnswers = {kAppend};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.bin")}), 0);
  EXPECT_EQ(ui.messages.back(), Message::kCantWrite);
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").data, "mine");
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").attributes, kAttrReadOnly);
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").writeTime, 7u);
  EXPECT_EQ(Listing(u"C:\\Out"), Names{u"a.bin"});

  // The copy of the old file cannot be made (no room for it): asked as an open error, skipped.
  local.writeFault = {};
  local.copyFault = {0, 112};
  ui.overwriteAnswers = {kAppend};
  ui.readOnlyAnswers = {kAppend};
  ui.openErrorAnswers = {kSkipFile};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.bin")}), 1);
  EXPECT_EQ(ui.lastOpenError, 112u);
  EXPECT_EQ(op->totals().filesSkipped, 1);
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").data, "mine");

  // The copy of the read-only file cannot be made writable: it goes, read-only as it is.
  local.copyFault = {};
  local.setAttributesFault = {0, 5, 1};
  ui.overwriteAnswers = {kAppend};
  ui.readOnlyAnswers = {kAppend};
  ui.openErrorAnswers = {kSkipFile};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.bin")}), 1);
  EXPECT_EQ(ui.lastOpenError, 5u);
  EXPECT_FALSE(op->CleanupPending());
  EXPECT_EQ(Listing(u"C:\\Out"), Names{u"a.bin"});

  // Nothing in the way: the whole source after the old content.
  ui.overwriteAnswers = {kAppend};
  ui.readOnlyAnswers = {kAppend};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.bin")}), 1);
  EXPECT_TRUE(local.At(u"C:\\Out\\a.bin").data == "mine" + std::string(kBlockSize + 1, 'n'));
  EXPECT_EQ(local.At(u"C:\\Out\\a.bin").writeTime, kTime);
  EXPECT_EQ(Listing(u"C:\\Out"), Names{u"a.bin"});
}

TEST_F(Transfer, OpenErrorsRetrySkipAndSkipAll) {
  for (const char16_t* name : {u"a", u"b", u"c", u"d"}) device.AddFile(std::u16string(u"\\Docs\\") + name, "x");
  device.openFault = {0, 5};
  ui.openErrorAnswers = {kRetry, kSkipFile, kSkipAllFiles};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a"), DeviceItem(u"\\Docs\\b"), DeviceItem(u"\\Docs\\c"),
                 DeviceItem(u"\\Docs\\d")}),
            1);
  // a: retried then skipped; b: skip all; c and d skipped without asking.
  EXPECT_EQ(ui.openErrorsAsked, 3);
  EXPECT_EQ(ui.lastOpenError, 5u);
  EXPECT_EQ(op->totals().filesSkipped, 4);
  EXPECT_FALSE(local.Exists(u"C:\\Out\\a"));

  // Abort fails the step; silent fails at the first error without asking.
  ui.openErrorAnswers = {kAbort};
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a")}), 0);
  int asked = ui.openErrorsAsked;
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a")}, false, kModeSilent), 0);
  EXPECT_EQ(ui.openErrorsAsked, asked);
  EXPECT_EQ(ui.progressStarts, 2);  // none for the silent run
}

TEST_F(Transfer, EscapeMidCopyCancelsAndRemovesTheNewTarget) {
  device.AddFile(u"\\Docs\\a.bin", std::string(3 * kBlockSize, 'e'));
  ui.escapeAfterBlocks = 2;  // the step's own check, then after the first block
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a.bin")}, true), -1);
  EXPECT_FALSE(local.Exists(u"C:\\Out\\a.bin"));
  EXPECT_TRUE(device.Exists(u"\\Docs\\a.bin"));
}

TEST_F(Transfer, UploadsFromLocalFoldersAndTargetChecks) {
  local.AddFolder(u"C:\\Src");
  local.AddFolder(u"C:\\Src\\Sub");
  local.AddFile(u"C:\\Src\\Sub\\f.txt", "payload", kTime, kAttrArchive | kAttrSystem);
  Options options;
  options.targetIsDevice = true;
  MOperationBase put(options, local, device, ui);
  ASSERT_TRUE(put.SetTarget(u"\\New\\Deep"));
  EXPECT_EQ(put.TargetRoot(), u"\\New\\Deep\\");
  SourceItem item;
  item.path = u"C:\\Src\\Sub";
  item.attributes = kAttrDirectory;
  item.hasInfo = false;
  ASSERT_TRUE(put.BuildList({item}));
  EXPECT_EQ(put.Run(), 1);
  EXPECT_EQ(device.At(u"\\New\\Deep\\Sub\\f.txt").data, "payload");
  EXPECT_EQ(device.At(u"\\New\\Deep\\Sub\\f.txt").writeTime, kTime);
  EXPECT_EQ(device.At(u"\\New\\Deep\\Sub\\f.txt").attributes, kAttrArchive | kAttrSystem);

  // A target root of 260 characters with its backslash fits; one more does not.
  std::u16string root = u"\\" + std::u16string(258, u'r');
  MOperationBase fits(options, local, device, ui);
  EXPECT_TRUE(fits.SetTarget(root));
  MOperationBase tooLong(options, local, device, ui);
  EXPECT_FALSE(tooLong.SetTarget(root + u"r"));
  EXPECT_EQ(ui.messages.back(), Message::kTargetTooLong);

  // A file where the target folder should be.
  device.AddFile(u"\\Blocked", "");
  MOperationBase blocked(options, local, device, ui);
  EXPECT_FALSE(blocked.SetTarget(u"\\Blocked\\Below"));
  EXPECT_EQ(ui.messages.back(), Message::kCantCreateFolder);
}

TEST_F(Transfer, ATargetFolderInTheWayAndAnEmptyListAndAnInvalidIndex) {
  device.AddFile(u"\\Docs\\a", "x");
  local.AddFolder(u"C:\\Out\\a");
  EXPECT_EQ(Get({DeviceItem(u"\\Docs\\a")}), 0);
  EXPECT_EQ(ui.messages.back(), Message::kCantCreateTarget);
  EXPECT_EQ(Get({}), 1);
  bool done = false;
  EXPECT_FALSE(op->Step(done));
  EXPECT_EQ(ui.messages.back(), Message::kInvalidIndex);
}

TEST_F(Transfer, AFolderThatCannotBeSearchedStopsTheList) {
  SourceItem item;
  item.path = u"\\Gone";
  item.attributes = kAttrDirectory;
  EXPECT_EQ(Get({item}), 0);
  EXPECT_EQ(ui.messages.back(), Message::kInvalidFolder);
  EXPECT_EQ(ui.messagePaths.back(), u"\\Gone\\");
}

}  // namespace
}  // namespace handrel::transfer
