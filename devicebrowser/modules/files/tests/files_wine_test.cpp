// files.module loaded by the device browser plugin in the host stand-in, against the emulated
// handheld: what a user does with device files in a panel and what ends up on both sides.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devicebrowser/common/framework/tests/module_wine_support.h"
#include "devicebrowser/common/module_api.h"
#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"
#include "standins/rapi/win/device_folder.h"

using namespace kelhost;

namespace {

std::wstring g_plugin, g_module;

std::string ReadLocal(const std::wstring& path) {
  std::string out;
  return rapiemu::ReadWholeFile(path, out) ? out : "<missing>";
}

void WriteLocal(const std::wstring& path, const std::string& content) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD put = 0;
  WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &put, nullptr);
  CloseHandle(f);
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Utf8(what); };
    device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket Files\"\n");
    device.WriteState(u"script", "record\n");
    ASSERT_TRUE(handrel_test::CreateSettingsKey(host.RootKey()));
    device.MakeFolder(L"\\Windows");
    device.MakeFolder(L"\\Docs");
    p = host.Load(folder.path + L"\\Handrel.dll");
    ASSERT_NE(p, nullptr);
  }
  void TearDown() override { rapiemu::EmulatedDevice::RemoveTree(local); }

  Panel& panel() { return host.ActivePanel(); }
  int IndexOf(const std::wstring& name) {
    for (size_t i = 0; i < panel().Items().size(); ++i)
      if (panel().Items()[i].name == name) return static_cast<int>(i);
    return -1;
  }
  bool Has(const std::wstring& name) { return IndexOf(name) >= 0; }
  std::vector<std::wstring> Names() {
    std::vector<std::wstring> names;
    for (auto& it : panel().Items())
      if (it.name != L"..") names.push_back(it.name);
    return names;
  }
  // Opens a device panel in the active panel and enters a folder of the file module (from the
  // device's root, whatever folder the module remembered).
  void Enter(const std::wstring& dir = L"") {
    ASSERT_TRUE(host.OpenPanel(p, 1, 0));
    ASSERT_TRUE(host.PanelSetDirectory(L"Files:"));
    if (!dir.empty()) {
      ASSERT_TRUE(host.PanelSetDirectory(L"\\" + dir));
    }
    host.RefreshPluginPanel(panel());
  }
  void SetCurrent(const std::wstring& name) {
    panel().current = IndexOf(name);
    ASSERT_GE(panel().current, 0) << Utf8(name);
  }
  std::string DeviceText(const std::wstring& path) {
    std::string content;
    return device.ReadFile(path, content) ? content : "<missing>";
  }
  const MessageCall* LastMessage() { return host.messages.empty() ? nullptr : &host.messages.back(); }

  rapiemu::EmulatedDevice device{L"handrel-files-device"};
  handrel_test::PluginFolder folder{g_plugin, L"handrel-files-", g_module, L"files.module"};
  std::wstring local = handrel_test::FreshTempFolder(L"handrel-files-local-");
  Host host;
  Plugin* p = nullptr;
};

// The transfer dialog's items: the box, the prompt, the destination, a separator, the buttons.
constexpr int kPrompt = 1, kDestination = 2, kAccept = 4;
// The plugin's settings dialog: its "Modules" button (Cancel just before it).
constexpr int kPluginModulesButton = 26;

}  // namespace

TEST_F(Files, CopyAndMoveBothWaysWithTheOverwriteQuestionAnswered) {
  device.MakeFile(L"\\Docs\\a.txt", "device a");
  device.MakeFile(L"\\Docs\\b.txt", "device b");
  device.MakeFile(L"\\Docs\\c.txt", "device c");
  host.PassivePanel().SetFolder(local);
  Enter(L"Docs");
  panel().Select(L"a.txt");
  panel().Select(L"b.txt");

  // Copy two items to the local panel: the dialog offers the local folder with its backslash.
  host.AnswerDialog(DialogScript().Close(kAccept));
  EXPECT_EQ(host.PanelGetFiles(false), 1);
  ASSERT_FALSE(host.dialogs.empty());
  const DialogCall& copy = host.dialogs.back();
  EXPECT_EQ(copy.itemsAtOpen[0].text, L"Copy");
  EXPECT_EQ(copy.itemsAtOpen[kPrompt].text, L"Copy 2 items t&o:");
  EXPECT_EQ(copy.itemsAtOpen[kDestination].text, local + L"\\");
  EXPECT_EQ(copy.itemsAtOpen[kDestination].history, L"Copy");
  EXPECT_EQ(ReadLocal(local + L"\\a.txt"), "device a");
  EXPECT_EQ(ReadLocal(local + L"\\b.txt"), "device b");
  EXPECT_EQ(DeviceText(L"\\Docs\\a.txt"), "device a");

  // Put a changed a.txt back: the device's copy exists, the user overwrites it.
  WriteLocal(local + L"\\a.txt", "changed locally");
  host.SwapPanels();
  panel().SetFolder(local);
  panel().Select(L"a.txt");
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelPutFiles(false), 1);
  EXPECT_EQ(DeviceText(L"\\Docs\\a.txt"), "changed locally");
  host.SwapPanels();

  // Move c.txt onto a local c.txt: first skipped (both stay), then overwritten (the device's is gone).
  WriteLocal(local + L"\\c.txt", "local c");
  host.RefreshPluginPanel(panel());
  panel().Select(L"c.txt");
  host.AnswerDialog(DialogScript().Close(kAccept));
  host.AnswerMessage(2);  // Skip
  host.PanelGetFiles(true);
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[kPrompt].text, L"Move \"c.txt\" t&o:");
  EXPECT_EQ(ReadLocal(local + L"\\c.txt"), "local c");
  EXPECT_EQ(DeviceText(L"\\Docs\\c.txt"), "device c");
  host.RefreshPluginPanel(panel());
  panel().Select(L"c.txt");
  host.AnswerDialog(DialogScript().Close(kAccept));
  host.AnswerMessage(0);  // Overwrite
  EXPECT_EQ(host.PanelGetFiles(true), 1);
  EXPECT_EQ(ReadLocal(local + L"\\c.txt"), "device c");
  EXPECT_EQ(DeviceText(L"\\Docs\\c.txt"), "<missing>");

  // A move to the device: the local source goes once its copy is there.
  WriteLocal(local + L"\\up.bin", std::string(100000, 'u'));
  host.SwapPanels();
  panel().SetFolder(local);
  panel().Select(L"up.bin");
  EXPECT_EQ(host.PanelPutFiles(true), 1);
  EXPECT_EQ(DeviceText(L"\\Docs\\up.bin"), std::string(100000, 'u'));
  EXPECT_EQ(ReadLocal(local + L"\\up.bin"), "<missing>");
  host.SwapPanels();

  // Cancelling the dialog copies nothing.
  host.RefreshPluginPanel(panel());
  panel().Select(L"b.txt");
  DeleteFileW((local + L"\\b.txt").c_str());
  host.AnswerDialog(DialogScript().Close(kAccept + 1));
  EXPECT_EQ(host.PanelGetFiles(false), -1);
  EXPECT_EQ(ReadLocal(local + L"\\b.txt"), "<missing>");
  host.ClosePanel();
}

TEST_F(Files, RomFilesFollowTheSettingWhichTheSettingsDialogWrites) {
  device.MakeFolder(L"\\Rom");
  device.MakeFile(L"\\Rom\\boot.dll", "rom");
  device.MakeFile(L"\\Rom\\shell.exe", "rom");
  device.WriteState(u"attributes", "0x00000041 \\Rom\\boot.dll\n0x00002040 \\Rom\\shell.exe\n");
  Enter(L"Rom");
  EXPECT_TRUE(Names().empty());

  // The plugin's settings, its modules button, this module: the check box on, "&OK". The
  // setting is stored, the plugin reloads the modules' settings, and the panel shows them.
  auto configure = reinterpret_cast<int(__stdcall*)(int)>(p->Entry("Configure"));
  ASSERT_NE(configure, nullptr);
  host.AnswerDialog(DialogScript().Close(kPluginModulesButton));
  host.AnswerMenu(0);
  host.AnswerDialog(DialogScript().Click(1).Close(3));
  host.AnswerMenu(-1);
  host.AnswerDialog(DialogScript().Close(kPluginModulesButton - 1));
  configure(0);
  ASSERT_EQ(host.dialogs.size(), 3u);
  EXPECT_NE(host.dialogs[0].itemsAtOpen[kPluginModulesButton].text.find(L"odule"), std::wstring::npos);
  const DialogCall& settings = host.dialogs[1];
  EXPECT_EQ(settings.itemsAtOpen[0].text, L"PPC File System");
  EXPECT_EQ(settings.itemsAtOpen[1].text, L"Show files in ROM");
  EXPECT_EQ(settings.itemsAtOpen[1].selected, 0);
  EXPECT_EQ(settings.helpTopic, L"Files_Setup");
  wchar_t stored[8] = {};
  DWORD size = sizeof stored - sizeof(wchar_t);
  RegGetValueW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Handrel").c_str(), L"Files:ShowRomFiles", RRF_RT_REG_SZ,
               nullptr, stored, &size);
  EXPECT_STREQ(stored, L"Y");
  host.RefreshPluginPanel(panel());
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"boot.dll", L"shell.exe"}));
  host.ClosePanel();

  // A new panel reads the stored "Y"; an "N" written by hand hides them again.
  Enter(L"Rom");
  EXPECT_EQ(Names().size(), 2u);
  host.ClosePanel();
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Handrel").c_str(), 0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"Files:ShowRomFiles", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), 4);
  RegCloseKey(key);
  Enter(L"Rom");
  EXPECT_TRUE(Names().empty());
  host.ClosePanel();
}

TEST_F(Files, DeletingReadOnlyRefusedVanishedAndWholeFolders) {
  device.MakeFile(L"\\Docs\\ro.txt", "read only");
  SetFileAttributesW(device.Host(L"\\Docs\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  device.MakeFile(L"\\Docs\\guarded.txt", "guarded");
  device.MakeFile(L"\\Docs\\gone.txt", "gone");
  device.MakeFile(L"\\Docs\\stuck.txt", "stuck");
  device.MakeFolder(L"\\Docs\\Tree");
  device.MakeFolder(L"\\Docs\\Tree\\Inner");
  device.MakeFile(L"\\Docs\\Tree\\Inner\\deep.txt", "deep");
  device.MakeFile(L"\\Docs\\Tree\\top.txt", "top");
  device.MakeFile(L"\\Docs\\keep.txt", "keep");
  Enter(L"Docs");

  // A read-only file: the question names it; its attributes are reset and it goes.
  SetCurrent(L"ro.txt");
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelDeleteFiles(), 1);
  ASSERT_NE(LastMessage(), nullptr);
  EXPECT_EQ(LastMessage()->lines, (std::vector<std::wstring>{L"Delete", L"Do you want to delete file", L"ro.txt"}));
  EXPECT_EQ(LastMessage()->buttons, (std::vector<std::wstring>{L"Delete", L"Cancel"}));
  EXPECT_EQ(DeviceText(L"\\Docs\\ro.txt"), "<missing>");

  // The device refuses the attribute change: the device-side library deletes it.
  device.WriteState(u"script", "record\nfail CeSetFileAttributes 1 error 5\n");
  host.RefreshPluginPanel(panel());
  SetCurrent(L"guarded.txt");
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelDeleteFiles(), 1);
  EXPECT_EQ(DeviceText(L"\\Docs\\guarded.txt"), "<missing>");
  EXPECT_NE(device.ReadState(u"calls.log").find("CeRapiInvoke"), std::string::npos);

  // Gone from the device after the panel was read: no error.
  device.WriteState(u"script", "record\n");
  host.RefreshPluginPanel(panel());
  SetCurrent(L"gone.txt");
  DeleteFileW(device.Host(L"\\Docs\\gone.txt").c_str());
  size_t messages = host.messages.size();
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelDeleteFiles(), 1);
  EXPECT_EQ(host.messages.size(), messages + 1);  // the question only

  // Refused by the device and by the library: the message with the device's error; it stays.
  device.WriteState(u"script", "record\nfail CeSetFileAttributes always error 5\nfail CeRapiInvoke always error 5\n");
  host.RefreshPluginPanel(panel());
  SetCurrent(L"stuck.txt");
  host.AnswerMessage(0);
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelDeleteFiles(), 0);
  EXPECT_EQ(LastMessage()->lines,
            (std::vector<std::wstring>{L"Files", L"Can't delete file", L"\\Docs\\stuck.txt", L"LastError=0x00000005"}));
  EXPECT_EQ(DeviceText(L"\\Docs\\stuck.txt"), "stuck");

  // Two items: the question counts them; declined, both stay.
  device.WriteState(u"script", "record\n");
  host.RefreshPluginPanel(panel());
  panel().Select(L"keep.txt");
  panel().Select(L"stuck.txt");
  host.AnswerMessage(1);
  EXPECT_EQ(host.PanelDeleteFiles(), 0);
  EXPECT_EQ(LastMessage()->lines, (std::vector<std::wstring>{L"Delete", L"Do you want to delete", L"2 items"}));
  EXPECT_EQ(DeviceText(L"\\Docs\\keep.txt"), "keep");
  for (auto& it : panel().Items()) it.selected = false;

  // A folder with a subfolder, and the question declined first.
  device.WriteState(u"script", "record\n");
  host.RefreshPluginPanel(panel());
  SetCurrent(L"Tree");
  host.AnswerMessage(1);
  EXPECT_EQ(host.PanelDeleteFiles(), 0);
  EXPECT_EQ(LastMessage()->lines, (std::vector<std::wstring>{L"Delete", L"Do you want to delete folder", L"Tree"}));
  EXPECT_EQ(DeviceText(L"\\Docs\\Tree\\top.txt"), "top");
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelDeleteFiles(), 1);
  EXPECT_EQ(GetFileAttributesW(device.Host(L"\\Docs\\Tree").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(DeviceText(L"\\Docs\\keep.txt"), "keep");
  host.RefreshPluginPanel(panel());
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"keep.txt", L"stuck.txt"}));
  host.ClosePanel();
}

TEST_F(Files, RenameMakeFolderAndCopyBetweenTwoDevicePanels) {
  device.MakeFile(L"\\Docs\\old.txt", "old");
  device.MakeFolder(L"\\Other");
  device.MakeFile(L"\\Other\\taken.txt", "other");
  SetFileAttributesW(device.Host(L"\\Other\\taken.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  device.MakeFile(L"\\Docs\\taken.txt", "from docs");
  Enter(L"Docs");

  // Rename to the same name: nothing happens, no message.
  SetCurrent(L"old.txt");
  host.AnswerDialog(DialogScript().Close(kAccept));
  EXPECT_EQ(host.PanelKey(VK_F6, 4), 1);
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[0].text, L"Rename/Move");
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[kPrompt].text, L"R&ename \"old.txt\":");
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(DeviceText(L"\\Docs\\old.txt"), "old");
  // A new name: moved on the device, the cursor on it.
  host.AnswerDialog(DialogScript().Type(kDestination, L"new.txt").Close(kAccept));
  EXPECT_EQ(host.PanelKey(VK_F6, 4), 1);
  EXPECT_EQ(DeviceText(L"\\Docs\\new.txt"), "old");
  EXPECT_EQ(DeviceText(L"\\Docs\\old.txt"), "<missing>");
  ASSERT_GE(panel().current, 0);
  EXPECT_EQ(panel().Items()[static_cast<size_t>(panel().current)].name, L"new.txt");
  // Onto an existing name: the device refuses, the user is told.
  SetCurrent(L"new.txt");
  host.AnswerDialog(DialogScript().Type(kDestination, L"taken.txt").Close(kAccept));
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelKey(VK_F6, 4), 1);
  EXPECT_EQ(LastMessage()->lines, (std::vector<std::wstring>{L"Files", L"Can't rename file", L"new.txt"}));

  // GetFiles (F5 to a local panel) with Shift alone held is a rename; nothing is copied.
  host.RefreshPluginPanel(panel());
  SetCurrent(L"taken.txt");
  BYTE keys[256] = {}, held[256] = {};
  GetKeyboardState(keys);
  std::copy(keys, keys + 256, held);
  held[VK_SHIFT] = 0x80;
  SetKeyboardState(held);
  host.AnswerDialog(DialogScript().Close(kAccept + 1));
  int shifted = host.PanelGetFiles(false);
  SetKeyboardState(keys);
  EXPECT_EQ(shifted, -1);
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[0].text, L"Rename/Move");
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[kPrompt].text, L"R&ename \"taken.txt\":");

  // Make a folder path through the dialog.
  std::wstring name;
  host.AnswerDialog(DialogScript().Type(2, L"Made\\Deeper").Close(4));
  EXPECT_EQ(host.PanelMakeDirectory(name), 1);
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[1].text, L"Create the &folder");
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[2].history, L"NewFolder");
  DWORD made = GetFileAttributesW(device.Host(L"\\Docs\\Made\\Deeper").c_str());
  EXPECT_TRUE(made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_DIRECTORY));
  // Under a file it cannot be made.
  host.AnswerDialog(DialogScript().Type(2, L"taken.txt\\Below").Close(4));
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelMakeDirectory(name), 0);
  EXPECT_EQ(LastMessage()->lines, (std::vector<std::wstring>{L"Files", L"Can't create folder:", L"taken.txt\\Below"}));

  // F5 with only a local panel on the other side is the host's.
  host.RefreshPluginPanel(panel());
  SetCurrent(L"taken.txt");
  EXPECT_EQ(host.PanelKey(VK_F5, 0), 0);

  // A second device panel on the same folder: refused, nothing copied.
  host.SwapPanels();
  Enter(L"Docs");
  host.SwapPanels();
  host.AnswerDialog(DialogScript().Close(kAccept));
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelKey(VK_F5, 0), 1);
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[kDestination].text, L"\\Docs\\");
  EXPECT_EQ(LastMessage()->lines, (std::vector<std::wstring>{L"Files", L"Can't copy/move file to same directory!"}));

  // The other panel on \Other: taken.txt replaces the read-only one there and keeps the source's
  // attributes.
  host.SwapPanels();
  ASSERT_TRUE(host.PanelSetDirectory(L"\\Other"));
  host.RefreshPluginPanel(panel());
  host.SwapPanels();
  SetCurrent(L"taken.txt");
  host.AnswerDialog(DialogScript().Close(kAccept));
  EXPECT_EQ(host.PanelKey(VK_F5, 0), 1);
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[kDestination].text, L"\\Other\\");
  EXPECT_EQ(DeviceText(L"\\Other\\taken.txt"), "from docs");
  EXPECT_EQ(GetFileAttributesW(device.Host(L"\\Other\\taken.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(DeviceText(L"\\Docs\\taken.txt"), "from docs");
  // The device copies files only: a selected folder is refused by name.
  host.RefreshPluginPanel(panel());
  SetCurrent(L"Made");
  host.AnswerDialog(DialogScript().Close(kAccept));
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelKey(VK_F5, 0), 1);
  EXPECT_EQ(LastMessage()->lines, (std::vector<std::wstring>{L"Files", L"Can't copy file:", L"Made"}));
  EXPECT_EQ(GetFileAttributesW(device.Host(L"\\Other\\Made").c_str()), INVALID_FILE_ATTRIBUTES);

  // GetFiles with Alt alone held makes a shortcut in the other device panel instead of copying.
  SetCurrent(L"taken.txt");
  held[VK_SHIFT] = 0;
  held[VK_MENU] = 0x80;
  SetKeyboardState(held);
  size_t dialogs = host.dialogs.size();
  host.AnswerDialog(DialogScript().Close(kAccept));
  int alted = host.PanelGetFiles(false);
  SetKeyboardState(keys);
  EXPECT_EQ(alted, -1);
  ASSERT_EQ(host.dialogs.size(), dialogs + 1);
  EXPECT_EQ(host.dialogs.back().itemsAtOpen[0].text, L"Create link");
  EXPECT_EQ(DeviceText(L"\\Other\\taken.lnk"), "17#\"\\Docs\\taken.txt\"");
  host.ClosePanel();
  host.SwapPanels();
  host.ClosePanel();
}

TEST_F(Files, AListingThatLosesTheConnectionReconnectsOnce) {
  device.MakeFile(L"\\Docs\\a.txt", "a");
  Enter(L"Docs");
  EXPECT_EQ(Names(), std::vector<std::wstring>{L"a.txt"});
  // The next search drops the connection: the plugin reconnects and the folder is listed.
  device.WriteState(u"script", "record\nfail CeFindFirstFile 1 lost\n");
  host.RefreshPluginPanel(panel());
  std::string calls = device.ReadState(u"calls.log");
  EXPECT_NE(calls.find("CeFindFirstFile \\Docs\\*.* -> lost (scripted)"), std::string::npos);
  EXPECT_EQ(Names(), std::vector<std::wstring>{L"a.txt"});
  // Lost again after the reconnection (the plugin's own check of its library is the 2nd search):
  // no third try, an empty panel without a message; the next listing reconnects and shows it.
  device.WriteState(u"script", "record\nfail CeFindFirstFile 1 lost\nfail CeFindFirstFile 3 lost\n");
  size_t before = device.ReadState(u"calls.log").size();
  host.RefreshPluginPanel(panel());
  EXPECT_TRUE(Names().empty());
  calls = device.ReadState(u"calls.log").substr(before);
  size_t searches = 0;
  for (size_t at = calls.find("CeFindFirstFile \\Docs"); at != std::string::npos;
       at = calls.find("CeFindFirstFile \\Docs", at + 1))
    ++searches;
  EXPECT_EQ(searches, 2u);
  EXPECT_TRUE(host.messages.empty());
  device.WriteState(u"script", "record\n");
  host.RefreshPluginPanel(panel());
  EXPECT_EQ(Names(), std::vector<std::wstring>{L"a.txt"});
  host.ClosePanel();
}

TEST_F(Files, APartialCopyLeftByALostConnectionGoesOnceTheDeviceIsBack) {
  WriteLocal(local + L"\\big.bin", std::string(200000, 'b'));
  Enter(L"Docs");
  host.SwapPanels();
  panel().SetFolder(local);
  panel().Select(L"big.bin");
  // The connection drops at the second block and the copy's own three reconnections fail: the
  // partial file waits in the module until the device is back, here at the panels' refresh.
  device.WriteState(u"script", "record\nfail CeWriteFile 2 lost\nreconnect after 3\n");
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelPutFiles(false), 0);
  ASSERT_NE(LastMessage(), nullptr);
  EXPECT_EQ(LastMessage()->lines[1], L"Can't write target file");
  std::string calls = device.ReadState(u"calls.log");
  size_t failedStarts = 0;
  for (size_t at = calls.find("connected -> failed"); at != std::string::npos;
       at = calls.find("connected -> failed", at + 1))
    ++failedStarts;
  EXPECT_EQ(failedStarts, 3u);
  EXPECT_NE(calls.find("connected -> ok"), std::string::npos);
  EXPECT_EQ(DeviceText(L"\\Docs\\big.bin"), "<missing>");
  host.SwapPanels();
  host.RefreshPluginPanel(panel());
  EXPECT_TRUE(Names().empty());
  host.ClosePanel();
}

int main(int argc, char** argv) {
  if (!handrel_test::ReadArgumentPaths(argc, argv, "files_tests", "Handrel.dll files.module", {&g_plugin, &g_module}))
    return 2;
  return RUN_ALL_TESTS();
}
