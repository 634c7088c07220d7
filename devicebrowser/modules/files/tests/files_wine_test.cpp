// files.module loaded by the device browser plugin in the host stand-in, against the emulated
// handheld: what a user does with device files in a panel and what ends up on both sides.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devicebrowser/common/module_api.h"
#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"

using namespace kelhost;

namespace {

std::wstring g_plugin, g_module;

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::wstring TempFolder(const std::wstring& prefix) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static int n = 0;
  std::wstring path = std::wstring(temp) + prefix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++n);
  rapiemu::EmulatedDevice::RemoveTree(path);
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

struct PluginFolder {
  std::wstring path = TempFolder(L"handrel-files-");
  PluginFolder() {
    CreateDirectoryW((path + L"\\Modules").c_str(), nullptr);
    CopyFileW(g_plugin.c_str(), (path + L"\\Handrel.dll").c_str(), FALSE);
    CopyFileW((Folder(g_plugin) + L"\\HandrelEng.lng").c_str(), (path + L"\\HandrelEng.lng").c_str(), FALSE);
    CopyFileW(g_module.c_str(), (path + L"\\Modules\\files.module").c_str(), FALSE);
  }
  ~PluginFolder() { rapiemu::EmulatedDevice::RemoveTree(path); }
};

std::string ReadLocal(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out(1 << 16, '\0');
  DWORD got = 0;
  ReadFile(f, &out[0], static_cast<DWORD>(out.size()), &got, nullptr);
  CloseHandle(f);
  out.resize(got);
  return out;
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
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Handrel").c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
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
  // Opens a device panel in the active panel and enters the file module's folder (relative).
  void Enter(const std::wstring& dir = L"") {
    ASSERT_TRUE(host.OpenPanel(p, 1, 0));
    ASSERT_TRUE(host.PanelSetDirectory(L"Files:"));
    if (!dir.empty()) {
      ASSERT_TRUE(host.PanelSetDirectory(dir));
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
  PluginFolder folder;
  std::wstring local = TempFolder(L"handrel-files-local-");
  Host host;
  Plugin* p = nullptr;
};

// The transfer dialog's items: the box, the prompt, the destination, a separator, the buttons.
constexpr int kPrompt = 1, kDestination = 2, kAccept = 4;

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

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    fprintf(stderr, "usage: files_tests Handrel.dll files.module\n");
    return 2;
  }
  auto wide = [](const char* s) {
    wchar_t buf[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, s, -1, buf, MAX_PATH);
    wchar_t full[MAX_PATH];
    GetFullPathNameW(buf, MAX_PATH, full, nullptr);
    for (wchar_t* c = full; *c; ++c)
      if (*c == L'/') *c = L'\\';
    return std::wstring(full);
  };
  g_plugin = wide(argv[1]);
  g_module = wide(argv[2]);
  return RUN_ALL_TESTS();
}
