// A module library built on the framework (samplemodule), loaded by the device browser plugin in
// the host stand-in against the emulated handheld: the first activation at the device's root, the
// folder remembered per device, names without an OEM form, deleting through the device-side
// library, folder paths made level by level, the guarded key handler; and the library's exports
// called directly for the directory length limit and a module file without an extension.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "devicebrowser/common/framework/tests/module_wine_support.h"
#include "devicebrowser/common/module_api.h"
#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"

using namespace kelhost;

namespace {

std::wstring g_plugin, g_module;

class Framework : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Utf8(what); };
    SetDeviceName("Pocket Test");
    device.WriteState(u"script", "record\n");
    // The plugin's settings key, as its configuration leaves it once saved (the services write
    // only into an existing key).
    ASSERT_TRUE(handrel_test::CreateSettingsKey(host.RootKey()));
    device.MakeFolder(L"\\Windows");
    device.MakeFolder(L"\\Docs");
    device.MakeFolder(L"\\Docs\\Inner");
    device.MakeFile(L"\\Docs\\a.txt", "a");
    device.MakeFile(L"\\readme.txt", "read me");
    p = host.Load(folder.path + L"\\Handrel.dll");
    ASSERT_NE(p, nullptr);
  }
  void SetDeviceName(const std::string& name) {
    device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"" + name + "\"\n");
  }
  std::wstring GetSetting(const std::wstring& name) {
    wchar_t buf[512] = {};
    DWORD size = sizeof(buf) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, (host.RootKey() + L"\\Handrel").c_str(), name.c_str(), RRF_RT_REG_SZ,
                     nullptr, buf, &size) != ERROR_SUCCESS)
      return L"<missing>";
    return buf;
  }
  Panel& panel() { return host.ActivePanel(); }
  bool Has(const std::wstring& name) {
    for (auto& it : panel().Items())
      if (it.name == name) return true;
    return false;
  }
  int IndexOf(const std::wstring& name) {
    for (size_t i = 0; i < panel().Items().size(); ++i)
      if (panel().Items()[i].name == name) return static_cast<int>(i);
    return -1;
  }
  // Opens a device panel and enters the sample module; its directory as the panel shows it.
  std::wstring Enter() {
    EXPECT_TRUE(host.OpenPanel(p, 1, 0));
    EXPECT_TRUE(host.PanelSetDirectory(L"Sample:"));
    host.RefreshPluginPanel(panel());
    return panel().pluginDir;
  }

  rapiemu::EmulatedDevice device{L"handrel-framework-device"};
  handrel_test::PluginFolder folder{g_plugin, L"handrel-framework-", g_module, L"sample.module"};
  Host host;
  Plugin* p = nullptr;
};

}  // namespace

TEST_F(Framework, FirstActivationOpensTheRootThenTheFolderIsRememberedPerDevice) {
  EXPECT_EQ(Enter(), L"Sample:");
  EXPECT_TRUE(Has(L"Docs"));
  EXPECT_TRUE(Has(L"readme.txt"));
  ASSERT_TRUE(host.PanelSetDirectory(L"Docs\\Inner"));
  host.RefreshPluginPanel(panel());
  EXPECT_EQ(panel().pluginDir, L"Sample:\\Docs\\Inner");
  host.ClosePanel();
  EXPECT_EQ(GetSetting(L"LastPath_Sample-Pocket Test"), L"Docs\\Inner\\");

  // The same device: back in that folder, listing it.
  EXPECT_EQ(Enter(), L"Sample:\\Docs\\Inner");
  host.ClosePanel();
  // Another device has a folder of its own, starting at the root.
  SetDeviceName("Second Pocket");
  EXPECT_EQ(Enter(), L"Sample:");
  ASSERT_TRUE(host.PanelSetDirectory(L"Docs"));
  host.ClosePanel();
  EXPECT_EQ(GetSetting(L"LastPath_Sample-Second Pocket"), L"Docs\\");
  EXPECT_EQ(GetSetting(L"LastPath_Sample-Pocket Test"), L"Docs\\Inner\\");
  // A remembered folder that is gone from the device: the root.
  SetDeviceName("Pocket Test");
  rapiemu::EmulatedDevice::RemoveTree(device.Host(L"\\Docs\\Inner"));
  EXPECT_EQ(Enter(), L"Sample:");
  EXPECT_TRUE(Has(L"readme.txt"));
  host.ClosePanel();
}

TEST_F(Framework, NamesWithoutAnOemFormKeepTheirDeviceNameAndAreDeletedOnTheDevice) {
  // Under the OEM code page 437 the CJK characters have no form: "?" becomes the replacement "-".
  device.MakeFolder(L"\\Notes");
  device.MakeFile(L"\\Notes\\\u4E2D\u6587a.txt", "one");
  device.MakeFile(L"\\Notes\\\u4E2D\u6587b.txt", "two");
  device.MakeFile(L"\\Notes\\plain.txt", "three");
  // Read-only on the device: only the device-side library's delete clears it first.
  SetFileAttributesW(device.Host(L"\\Notes\\\u4E2D\u6587b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  Enter();
  ASSERT_TRUE(host.PanelSetDirectory(L"Notes"));
  host.RefreshPluginPanel(panel());
  int plain = IndexOf(L"plain.txt"), a = IndexOf(L"--a.txt"), b = IndexOf(L"--b.txt");
  ASSERT_GE(plain, 0);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  const PanelItem& exact = panel().Items()[static_cast<size_t>(plain)];
  ASSERT_TRUE(exact.hasUserBlock);
  EXPECT_EQ(exact.userBlock.size(), 18u);
  EXPECT_TRUE(exact.flags & 0x20000000u);
  const PanelItem& lossy = panel().Items()[static_cast<size_t>(b)];
  ASSERT_TRUE(lossy.hasUserBlock);
  ASSERT_EQ(lossy.userBlock.size(), 18u + 2u * 7u);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(lossy.userBlock.data() + 16), 7), L"\u4E2D\u6587b.txt");

  panel().current = b;
  EXPECT_EQ(host.PanelDeleteFiles(), 1);
  std::string content;
  EXPECT_FALSE(device.ReadFile(L"\\Notes\\\u4E2D\u6587b.txt", content));
  EXPECT_TRUE(device.ReadFile(L"\\Notes\\\u4E2D\u6587a.txt", content));
  EXPECT_EQ(content, "one");
  EXPECT_NE(device.ReadState(u"calls.log").find("CeRapiInvoke"), std::string::npos);
  host.ClosePanel();
}

TEST_F(Framework, AListingGrowsPastItsFirst255ItemsAndAFailedInvokeIsReported) {
  device.MakeFolder(L"\\Many");
  for (int i = 0; i < 300; ++i) device.MakeFile(L"\\Many\\f" + std::to_wstring(i) + L".bin", "x");
  Enter();
  ASSERT_TRUE(host.PanelSetDirectory(L"Many"));
  host.RefreshPluginPanel(panel());
  size_t files = 0;
  for (auto& it : panel().Items()) files += it.name != L".." ? 1 : 0;
  EXPECT_EQ(files, 300u);
  EXPECT_TRUE(Has(L"f0.bin"));
  EXPECT_TRUE(Has(L"f254.bin"));
  EXPECT_TRUE(Has(L"f299.bin"));
  // Without the device-side library the delete fails with the module's message; the file stays.
  device.ReleaseLibraries(L"\\Windows\\HandrelInvoke.dll");  // held by the emulator once invoked
  ASSERT_TRUE(DeleteFileW(device.Host(L"\\Windows\\HandrelInvoke.dll").c_str()));
  panel().current = IndexOf(L"f7.bin");
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelDeleteFiles(), 0);
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().lines, (std::vector<std::wstring>{L"Sample module", L"Can't delete"}));
  std::string content;
  EXPECT_TRUE(device.ReadFile(L"\\Many\\f7.bin", content));
  host.ClosePanel();
}

TEST_F(Framework, FolderPathsAreMadeLevelByLevelAndAFileStopsThem) {
  Enter();
  ASSERT_TRUE(host.PanelSetDirectory(L"Docs"));
  std::wstring name = L"New\\Deeper\\Deepest";
  EXPECT_EQ(host.PanelMakeDirectory(name), 1);
  DWORD a = GetFileAttributesW(device.Host(L"\\Docs\\New\\Deeper\\Deepest").c_str());
  EXPECT_TRUE(a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY));
  // Again: every level is there already.
  name = L"New\\Deeper\\Deepest";
  EXPECT_EQ(host.PanelMakeDirectory(name), 1);
  // A file on the way.
  name = L"a.txt\\Below";
  EXPECT_EQ(host.PanelMakeDirectory(name), 0);
  EXPECT_EQ(GetFileAttributesW(device.Host(L"\\Docs\\a.txt\\Below").c_str()), INVALID_FILE_ATTRIBUTES);
  host.ClosePanel();
}

TEST_F(Framework, AnExceptionFromTheKeyHandlerIsShownAndTheModuleGoesOn) {
  Enter();
  host.AnswerMessage(0);
  EXPECT_EQ(host.PanelKey('T', 1), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  const MessageCall& m = host.messages.back();
  ASSERT_GE(m.lines.size(), 4u);
  EXPECT_EQ(m.lines[0], L"Exception");
  EXPECT_EQ(m.lines[1].substr(0, 10), L"pModule=0x");
  EXPECT_EQ(m.lines[1].size(), 18u);
  EXPECT_EQ(m.lines[2], L"pModule->processKey");
  EXPECT_EQ(m.lines[3], L"Getting title:Sample module");
  // The panel still answers.
  EXPECT_TRUE(host.PanelSetDirectory(L"Docs"));
  host.RefreshPluginPanel(panel());
  EXPECT_EQ(panel().pluginDir, L"Sample:\\Docs");
  host.ClosePanel();
}

namespace {

template <typename F>
F Entry(HMODULE library, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

TEST(FrameworkExports, DirectoriesUpTo260CharactersAndModuleFileNames) {
  HMODULE library = LoadLibraryW(g_module.c_str());
  ASSERT_NE(library, nullptr);
  auto init = Entry<ModuleInitFn>(library, "InitModule");
  auto close = Entry<ModuleCloseFn>(library, "CloseModule");
  auto set = Entry<ModuleSetDirectoryFn>(library, "SetDirectory");
  auto get = Entry<ModuleGetDirectoryFn>(library, "GetDirectory");
  auto info = Entry<ModuleGetInfoFn>(library, "GetModuleInfo");
  ASSERT_TRUE(init && close && set && get && info);
  ModuleInfo mi{};
  mi.Size = 176;
  info(&mi);
  EXPECT_STREQ(mi.ShortName, "Sample");
  EXPECT_STREQ(mi.Title, "Sample module");

  ModuleStartupRecord record{};
  record.Size = 68;
  ModuleInstance module = init(reinterpret_cast<ModuleOwner>(0x1234), &record, 0);
  ASSERT_NE(module, 0);
  std::wstring dir260(259, L'd');
  dir260 += L'\\';
  EXPECT_EQ(set(module, dir260.c_str(), 1), 1);
  EXPECT_EQ(std::wstring(get(module)), dir260);
  std::wstring dir261 = L"e" + dir260;
  EXPECT_EQ(set(module, dir261.c_str(), 1), 0);
  EXPECT_EQ(std::wstring(get(module)), dir260);
  close(module);
  FreeLibrary(library);

  // The same library under a name without an extension, in a folder with a dot: no object.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring dotted = std::wstring(temp) + L"fw-" + std::to_wstring(GetCurrentProcessId()) + L".d";
  CreateDirectoryW(dotted.c_str(), nullptr);
  std::wstring bare = dotted + L"\\sample";
  ASSERT_TRUE(CopyFileW(g_module.c_str(), bare.c_str(), FALSE));
  HMODULE noExtension = LoadLibraryExW((bare + L".").c_str(), nullptr, 0);
  ASSERT_NE(noExtension, nullptr);
  wchar_t loadedAs[MAX_PATH];
  GetModuleFileNameW(noExtension, loadedAs, MAX_PATH);
  EXPECT_EQ(std::wstring(loadedAs).substr(std::wstring(loadedAs).rfind(L'\\')), L"\\sample");
  auto init2 = Entry<ModuleInitFn>(noExtension, "InitModule");
  ASSERT_NE(init2, nullptr);
  EXPECT_EQ(init2(reinterpret_cast<ModuleOwner>(0x1234), &record, 0), 0);
  FreeLibrary(noExtension);
  DeleteFileW(bare.c_str());
  RemoveDirectoryW(dotted.c_str());
}

int main(int argc, char** argv) {
  if (!handrel_test::ReadArgumentPaths(argc, argv, "handrel_framework_tests", "Handrel.dll samplemodule.module",
                                       {&g_plugin, &g_module}))
    return 2;
  return RUN_ALL_TESTS();
}
