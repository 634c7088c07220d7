// The engine's Win32 sides against the emulated device: copies both ways compared byte for byte,
// and the device's scripted faults in the middle of a copy.
#include "devicebrowser/common/transfer/win/transfer_win.h"

#include <gtest/gtest.h>

#include <fstream>

#include "devicebrowser/common/transfer/tests/scripted_ui.h"
#include "standins/rapi/testing/emulated_device.h"
#include "standins/rapi/win/device_folder.h"

namespace handrel::transfer {
namespace {

std::u16string U(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::string Pattern(size_t size, int seed) {
  std::string data(size, '\0');
  uint32_t x = static_cast<uint32_t>(seed) * 2654435761u + 1;
  for (char& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return data;
}

bool ReadHostFile(const std::wstring& path, std::string& content) { return rapiemu::ReadWholeFile(path, content); }

bool WriteHostFile(const std::wstring& path, const std::string& content) {
  std::ofstream out(path.c_str(), std::ios::binary);
  out << content;
  return static_cast<bool>(out);
}

// The names in a host folder (the device's state folder left out), in the order found.
std::vector<std::wstring> HostNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L".." && name != L".device") names.push_back(name);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

class DeviceTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    localRoot = std::wstring(temp) + L"kel-transfer-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
    ASSERT_TRUE(CreateDirectoryW(localRoot.c_str(), nullptr));
    big = Pattern(200000, 1);  // four blocks, the last one short
  }
  void TearDown() override { rapiemu::EmulatedDevice::RemoveTree(localRoot); }

  // The device's panel item for a path, as the panel would hand it.
  SourceItem DeviceItem(const std::u16string& path) {
    SourceItem item;
    FileInfo info;
    EXPECT_TRUE(deviceSide.Find(path, info));
    item.path = path;
    item.attributes = info.attributes;
    item.size = info.size;
    item.writeTime = info.writeTime;
    return item;
  }
  SourceItem LocalItem(const std::wstring& path, bool folder) {
    SourceItem item;
    item.path = U(path);
    item.attributes = folder ? kAttrDirectory : kAttrArchive;
    item.hasInfo = false;
    return item;
  }
  int Run(FileSide& source, FileSide& target, bool sourceIsDevice, const std::u16string& targetRoot,
          const std::vector<SourceItem>& items, bool move = false) {
    Options options;
    options.sourceIsDevice = sourceIsDevice;
    options.targetIsDevice = !sourceIsDevice;
    options.move = move;
    MOperationBase op(options, source, target, ui);
    if (!op.SetTarget(targetRoot) || !op.BuildList(items)) return 0;
    int result = op.Run();
    totals = op.totals();
    return result;
  }

  // Copies a local file to the device's root while the device follows `script` (the connection
  // lost midway), answering both questions with `answer`: the copy fails with a clean-up pending,
  // which is finished once the connection is made again.
  void PutCutOff(const std::wstring& name, const char* script, int answer) {
    ASSERT_TRUE(device.WriteState(u"script", script));
    ui.overwriteAnswers = {answer};
    ui.readOnlyAnswers = {answer};
    Options options;
    options.targetIsDevice = true;
    MOperationBase op(options, localSide, deviceSide, ui);
    ASSERT_TRUE(op.SetTarget(u"\\"));
    ASSERT_TRUE(op.BuildList({LocalItem(localRoot + L"\\" + name, false)}));
    EXPECT_EQ(op.Run(), 0);
    EXPECT_TRUE(op.CleanupPending());
    ASSERT_TRUE(device.WriteState(u"script", ""));
    CeRapiUninit();
    ASSERT_EQ(device.Connect(), S_OK);
    EXPECT_TRUE(op.FinishCleanups());
  }

  rapiemu::EmulatedDevice device{L"kel-transfer-device"};
  std::wstring localRoot;
  std::string big;
  DeviceFileSide deviceSide;
  LocalFileSide localSide;
  ScriptedUi ui;
  Totals totals;
};

TEST_F(DeviceTransfer, FoldersGoToTheComputerAndBackWithTheirContentsAndTimes) {
  ASSERT_TRUE(device.MakeFolder(L"\\Docs"));
  ASSERT_TRUE(device.MakeFolder(L"\\Docs\\Sub"));
  ASSERT_TRUE(device.MakeFile(L"\\Docs\\a.txt", "alpha"));
  ASSERT_TRUE(device.MakeFile(L"\\Docs\\empty.txt", ""));
  ASSERT_TRUE(device.MakeFile(L"\\Docs\\Sub\\big.bin", big));
  // An empty file from 2001, read-only and hidden: its time and attributes still travel.
  std::wstring emptyOnHost = device.root() + L"\\Docs\\empty.txt";
  const uint64_t old2001 = 126227808000000000ull;
  HANDLE h = CreateFileW(emptyOnHost.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FILETIME stamp{static_cast<DWORD>(old2001), static_cast<DWORD>(old2001 >> 32)};
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &stamp));
  CloseHandle(h);
  ASSERT_TRUE(SetFileAttributesW(emptyOnHost.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_EQ(device.Connect(), S_OK);

  ASSERT_EQ(Run(deviceSide, localSide, true, U(localRoot + L"\\In"), {DeviceItem(u"\\Docs")}), 1);
  std::string content;
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\In\\Docs\\Sub\\big.bin", content));
  EXPECT_TRUE(content == big);
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\In\\Docs\\a.txt", content));
  EXPECT_EQ(content, "alpha");
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\In\\Docs\\empty.txt", content));
  EXPECT_EQ(content, "");
  FileInfo onDevice, onDisk;
  ASSERT_TRUE(deviceSide.Find(u"\\Docs\\Sub\\big.bin", onDevice));
  ASSERT_TRUE(localSide.Find(U(localRoot + L"\\In\\Docs\\Sub\\big.bin"), onDisk));
  EXPECT_EQ(onDisk.writeTime, onDevice.writeTime);
  // (Whether the host's file system keeps "hidden" is its own affair: compare with the device.)
  ASSERT_TRUE(deviceSide.Find(u"\\Docs\\empty.txt", onDevice));
  ASSERT_TRUE(localSide.Find(U(localRoot + L"\\In\\Docs\\empty.txt"), onDisk));
  EXPECT_EQ(onDisk.writeTime, old2001);
  EXPECT_NE(onDevice.attributes & kAttrReadOnly, 0u);
  EXPECT_EQ(onDisk.attributes & (kAttrReadOnly | kAttrHidden), onDevice.attributes & (kAttrReadOnly | kAttrHidden));
  EXPECT_EQ(totals.filesCopied, 3);

  // Back to a new device folder, made with every missing level.
  ASSERT_EQ(Run(localSide, deviceSide, false, u"\\Back\\Up", {LocalItem(localRoot + L"\\In\\Docs", true)}), 1);
  ASSERT_TRUE(device.ReadFile(L"\\Back\\Up\\Docs\\Sub\\big.bin", content));
  EXPECT_TRUE(content == big);
  ASSERT_TRUE(device.ReadFile(L"\\Back\\Up\\Docs\\a.txt", content));
  EXPECT_EQ(content, "alpha");
  ASSERT_TRUE(device.ReadFile(L"\\Back\\Up\\Docs\\empty.txt", content));
  EXPECT_EQ(content, "");
}

TEST_F(DeviceTransfer, ALostConnectionMidReadKeepsTheOverwrittenFileAndTheMovedSource) {
  ASSERT_TRUE(device.MakeFile(L"\\big.bin", big));
  ASSERT_TRUE(WriteHostFile(localRoot + L"\\big.bin", "older local file"));
  SetFileAttributesW((localRoot + L"\\big.bin").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const DWORD oldAttributes = GetFileAttributesW((localRoot + L"\\big.bin").c_str());
  ASSERT_EQ(oldAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
  ASSERT_TRUE(device.WriteState(u"script", "fail CeReadFile 2 lost\n"));
  ASSERT_EQ(device.Connect(), S_OK);
  ui.overwriteAnswers = {kOverwrite};
  ui.readOnlyAnswers = {kOverwrite};
  EXPECT_EQ(Run(deviceSide, localSide, true, U(localRoot), {DeviceItem(u"\\big.bin")}, true), 0);
  EXPECT_EQ(ui.messages.back(), Message::kCantRead);
  std::string content;
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\big.bin", content));
  EXPECT_EQ(content, "older local file");
  EXPECT_EQ(GetFileAttributesW((localRoot + L"\\big.bin").c_str()), oldAttributes);
  EXPECT_EQ(HostNames(localRoot), std::vector<std::wstring>{L"big.bin"});
  ASSERT_TRUE(ReadHostFile(device.Host(L"\\big.bin"), content));
  EXPECT_TRUE(content == big);

  // Once the connection is back the same overwrite replaces it, read-only as it was asked.
  SetFileAttributesW((localRoot + L"\\big.bin").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(device.WriteState(u"script", ""));
  CeRapiUninit();
  ASSERT_EQ(device.Connect(), S_OK);
  ui.overwriteAnswers = {kOverwrite};
  ui.readOnlyAnswers = {kOverwrite};
  EXPECT_EQ(Run(deviceSide, localSide, true, U(localRoot), {DeviceItem(u"\\big.bin")}), 1);
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\big.bin", content));
  EXPECT_TRUE(content == big);
  EXPECT_EQ(GetFileAttributesW((localRoot + L"\\big.bin").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(HostNames(localRoot), std::vector<std::wstring>{L"big.bin"});
}

TEST_F(DeviceTransfer, ADiskFullDeviceLeavesNoPartialTargetAndKeepsTheMovedSource) {
  ASSERT_TRUE(WriteHostFile(localRoot + L"\\big.bin", big));
  ASSERT_TRUE(device.WriteState(u"script", "fail CeWriteFile 3 error 112\n"));
  ASSERT_EQ(device.Connect(), S_OK);
  EXPECT_EQ(Run(localSide, deviceSide, false, u"\\", {LocalItem(localRoot + L"\\big.bin", false)}, true), 0);
  EXPECT_EQ(ui.messages.back(), Message::kCantWrite);
  std::string content;
  EXPECT_FALSE(device.ReadFile(L"\\big.bin", content));
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\big.bin", content));
  EXPECT_TRUE(content == big);
}

TEST_F(DeviceTransfer, APartialDeviceFileLeftByALostConnectionIsRemovedOnceReconnected) {
  ASSERT_TRUE(WriteHostFile(localRoot + L"\\big.bin", big));
  ASSERT_TRUE(WriteHostFile(localRoot + L"\\small.txt", "small"));
  ASSERT_TRUE(device.WriteState(u"script", "fail CeWriteFile 2 lost\n"));
  ASSERT_EQ(device.Connect(), S_OK);
  // The operation as a module runs it, silently, with the plugin's reconnection.
  int reconnects = 0;
  MFilesOperation op("Move", false, true, true, kModeSilent);
  op.SetReconnect([&] {
    ++reconnects;
    CeRapiUninit();
    return device.Connect() == S_OK;
  });
  ASSERT_TRUE(op.SetDeviceTarget(u""));
  ASSERT_TRUE(op.BuildList({LocalItem(localRoot + L"\\big.bin", false), LocalItem(localRoot + L"\\small.txt", false)}));
  EXPECT_EQ(op.Run(), 0);
  EXPECT_EQ(reconnects, 1);
  EXPECT_FALSE(op.engine().CleanupPending());
  EXPECT_EQ(HostNames(device.root()), std::vector<std::wstring>{});
  std::string content;
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\big.bin", content));
  EXPECT_TRUE(content == big);
  EXPECT_EQ(op.engine().totals().filesCopied, 0);
}

TEST_F(DeviceTransfer, ADeviceFileIsReplacedOnlyOnceItsCopyIsCompleteAndClosed) {
  ASSERT_TRUE(WriteHostFile(localRoot + L"\\a.txt", "new text"));
  ASSERT_TRUE(device.MakeFile(L"\\a.txt", "old device text"));
  ASSERT_TRUE(device.MakeFile(L"\\~hr1.tmp", "someone's file"));
  ASSERT_EQ(device.Connect(), S_OK);
  ASSERT_TRUE(CeSetFileAttributes(L"\\a.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  auto put = [&](const char* script) {
    ui.overwriteAnswers = {kOverwrite};
    ui.readOnlyAnswers = {kOverwrite};
    EXPECT_TRUE(device.WriteState(u"script", script));
    return Run(localSide, deviceSide, false, u"\\", {LocalItem(localRoot + L"\\a.txt", false)});
  };
  auto oldIsThere = [&](const char* when) {
    std::string content;
    EXPECT_TRUE(device.ReadFile(L"\\a.txt", content)) << when;
    EXPECT_EQ(content, "old device text") << when;
    EXPECT_EQ(CeGetFileAttributes(L"\\a.txt"), DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN}) << when;
    EXPECT_EQ(HostNames(device.root()), (std::vector<std::wstring>{L"a.txt", L"~hr1.tmp"})) << when;
  };
  // The old file renamed aside, then the new one moved in: either refused, the old one stays and
  // the user is asked as for a target that cannot be opened (here: Abort).
  ui.openErrorAnswers = {kAbort};
  EXPECT_EQ(put("fail CeMoveFile 1 error 5\n"), 0);
  EXPECT_EQ(ui.openErrorsAsked, 1);
  EXPECT_EQ(ui.lastOpenError, 5u);
  oldIsThere("first move refused");
  ui.openErrorAnswers = {kAbort};
  EXPECT_EQ(put("fail CeMoveFile 2 error 32\n"), 0);
  EXPECT_EQ(ui.lastOpenError, 32u);
  oldIsThere("second move refused");
  // The new file's close fails: it may not hold its data, the old one stays. The device keeps that
  // file open: the module's reconnection ends it, and the temporary file goes.
  ASSERT_TRUE(device.WriteState(u"script", "fail CeCloseHandle 1 error 5\n"));
  MFilesOperation silent("Copy", false, true, false, kModeSilent);
  silent.SetReconnect([&] {
    CeRapiUninit();
    return device.Connect() == S_OK;
  });
  ASSERT_TRUE(silent.SetDeviceTarget(u""));
  ASSERT_TRUE(silent.BuildList({LocalItem(localRoot + L"\\a.txt", false)}));
  EXPECT_EQ(silent.Run(), 0);
  EXPECT_FALSE(silent.engine().CleanupPending());
  oldIsThere("close failed");
  // Lost between the two moves: the old file waits beside its name until the connection is back.
  PutCutOff(L"a.txt", "fail CeMoveFile 2 lost\n", kOverwrite);
  oldIsThere("lost between the moves");
  // Nothing in the way: the copy replaces it.
  std::string content;
  EXPECT_EQ(put(""), 1);
  ASSERT_TRUE(device.ReadFile(L"\\a.txt", content));
  EXPECT_EQ(content, "new text");
  EXPECT_EQ(CeGetFileAttributes(L"\\a.txt") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
  EXPECT_EQ(HostNames(device.root()), (std::vector<std::wstring>{L"a.txt", L"~hr1.tmp"}));
  ASSERT_TRUE(device.ReadFile(L"\\~hr1.tmp", content));
  EXPECT_EQ(content, "someone's file");
}

TEST_F(DeviceTransfer, AnAppendToADeviceFileIsWholeOrNotAtAll) {
  ASSERT_TRUE(WriteHostFile(localRoot + L"\\log.txt", big));
  ASSERT_TRUE(device.MakeFile(L"\\log.txt", "device log;"));
  ASSERT_EQ(device.Connect(), S_OK);
  ASSERT_TRUE(CeSetFileAttributes(L"\\log.txt", FILE_ATTRIBUTE_READONLY));
  // The connection drops at the third block written: the device's file stays as it was.
  PutCutOff(L"log.txt", "fail CeWriteFile 3 lost\n", kAppend);
  std::string content;
  ASSERT_TRUE(device.ReadFile(L"\\log.txt", content));
  EXPECT_EQ(content, "device log;");
  EXPECT_EQ(CeGetFileAttributes(L"\\log.txt") & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
  EXPECT_EQ(HostNames(device.root()), std::vector<std::wstring>{L"log.txt"});
  // Once it is back, the append is made whole.
  ui.overwriteAnswers = {kAppend};
  ui.readOnlyAnswers = {kAppend};
  EXPECT_EQ(Run(localSide, deviceSide, false, u"\\", {LocalItem(localRoot + L"\\log.txt", false)}), 1);
  ASSERT_TRUE(device.ReadFile(L"\\log.txt", content));
  EXPECT_TRUE(content == "device log;" + big);
  EXPECT_EQ(HostNames(device.root()), std::vector<std::wstring>{L"log.txt"});
}

TEST_F(DeviceTransfer, AnAccessDeniedOpenIsRetriedAndReadOnlyTargetsAskOnce) {
  ASSERT_TRUE(device.MakeFile(L"\\a.txt", "new a"));
  ASSERT_TRUE(device.MakeFile(L"\\b.txt", "new b"));
  ASSERT_TRUE(WriteHostFile(localRoot + L"\\b.txt", "old b"));
  SetFileAttributesW((localRoot + L"\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(device.WriteState(u"script", "fail CeCreateFile 1 error 5\n"));
  ASSERT_EQ(device.Connect(), S_OK);
  ui.openErrorAnswers = {kRetry};
  ui.overwriteAnswers = {kOverwriteAll};
  ui.readOnlyAnswers = {kOverwrite};
  EXPECT_EQ(Run(deviceSide, localSide, true, U(localRoot), {DeviceItem(u"\\a.txt"), DeviceItem(u"\\b.txt")}), 1);
  EXPECT_EQ(ui.openErrorsAsked, 1);
  EXPECT_EQ(ui.lastOpenError, 5u);
  EXPECT_EQ(ui.overwriteAsked, 1);
  EXPECT_EQ(ui.readOnlyAsked, 1);
  std::string content;
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\a.txt", content));
  EXPECT_EQ(content, "new a");
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\b.txt", content));
  EXPECT_EQ(content, "new b");
}

TEST_F(DeviceTransfer, ReadOnlyFilesOnTheDeviceAreReplacedWhenAskedAndMovedAway) {
  ASSERT_TRUE(device.MakeFile(L"\\ro.txt", "old device text"));
  ASSERT_TRUE(device.MakeFile(L"\\keep.txt", "read-only source"));
  ASSERT_TRUE(WriteHostFile(localRoot + L"\\ro.txt", "new local text"));
  ASSERT_EQ(device.Connect(), S_OK);
  ASSERT_TRUE(CeSetFileAttributes(L"\\ro.txt", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(CeSetFileAttributes(L"\\keep.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  ui.overwriteAnswers = {kOverwrite};
  ui.readOnlyAnswers = {kOverwrite};
  EXPECT_EQ(Run(localSide, deviceSide, false, u"\\", {LocalItem(localRoot + L"\\ro.txt", false)}), 1);
  EXPECT_EQ(ui.readOnlyAsked, 1);
  std::string content;
  ASSERT_TRUE(device.ReadFile(L"\\ro.txt", content));
  EXPECT_EQ(content, "new local text");
  EXPECT_EQ(CeGetFileAttributes(L"\\ro.txt") & FILE_ATTRIBUTE_READONLY, 0u);

  // A read-only device source of a move: its attributes are reset so that it can be deleted.
  EXPECT_EQ(Run(deviceSide, localSide, true, U(localRoot), {DeviceItem(u"\\keep.txt")}, true), 1);
  EXPECT_EQ(totals.deleteFailures, 0);
  EXPECT_EQ(CeGetFileAttributes(L"\\keep.txt"), 0xFFFFFFFFu);
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\keep.txt", content));
  EXPECT_EQ(content, "read-only source");
  EXPECT_NE(GetFileAttributesW((localRoot + L"\\keep.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(DeviceTransfer, ASilentFetchThroughTheOperationOverwritesWithoutAsking) {
  ASSERT_TRUE(device.MakeFile(L"\\note.txt", "device note"));
  ASSERT_TRUE(WriteHostFile(localRoot + L"\\note.txt", "stale"));
  ASSERT_EQ(device.Connect(), S_OK);
  MFilesOperation op("Copy", true, false, false, kModeSilent);
  ASSERT_TRUE(op.SetLocalTarget(ToOem(U(localRoot))));
  ASSERT_TRUE(op.BuildList({DeviceItem(u"\\note.txt")}));
  EXPECT_EQ(op.Run(), 1);
  std::string content;
  ASSERT_TRUE(ReadHostFile(localRoot + L"\\note.txt", content));
  EXPECT_EQ(content, "device note");
  EXPECT_FALSE(op.SetLocalTarget(std::string(261, 'x')));
}

}  // namespace
}  // namespace handrel::transfer
