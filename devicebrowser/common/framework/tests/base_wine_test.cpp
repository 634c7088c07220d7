// The module base linked straight into a test program: the user-data validity test, freeing only
// what the module built, the item array's growth, the 8-bit conversion's limits, the local item
// paths with their short names, and module equality.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "devicebrowser/common/framework/framework.h"

using handrel::ItemUserData;
using handrel::MModuleBase;

namespace {

class MPlain : public MModuleBase {
 public:
  explicit MPlain(const char* title = "Plain module") : title_(title) {}
  const char* getShortName() override { return "Plain"; }
  const char* getTitle() override { return title_; }
  int GetFindData(PluginPanelItemA**, int*, int) override { return 0; }

 private:
  const char* title_;
};

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring path = std::wstring(temp) + L"fwbase-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(path.c_str(), nullptr);
  return path + L"\\";
}

}  // namespace

MModuleBase* CreateModuleObject() { return new MPlain; }

TEST(ModuleBase, ConstructionNeedsAModuleFileWithAnExtension) {
  MPlain m;
  ModuleStartupRecord record{};
  record.Size = 68;
  EXPECT_TRUE(m.Construct(nullptr, &record, L"C:\\Kel\\Modules\\files.module"));
  EXPECT_EQ(m.debugSettingsPath, L"C:\\Kel\\Modules\\files.ini");
  MPlain bad;
  EXPECT_FALSE(bad.Construct(nullptr, &record, L"C:\\Kel.d\\Modules\\files"));
}

TEST(ModuleBase, ListsGrowBy255AndOnlyTheModulesOwnUserDataIsTaken) {
  MPlain m, other;
  ModuleStartupRecord record{};
  record.Size = 68;
  ASSERT_TRUE(m.Construct(reinterpret_cast<ModuleOwner>(0x55), &record, L"C:\\m.module"));
  m.beginPanelItems();
  m.addPanelItem(L"first.txt", nullptr);
  EXPECT_EQ(m.panelItemCapacity(), 255);
  for (int i = 1; i < 254; ++i) m.addPanelItem((L"f" + std::to_wstring(i)).c_str(), nullptr);
  EXPECT_EQ(m.panelItemCapacity(), 255);
  m.addPanelItem(L"the 255th", nullptr);
  EXPECT_EQ(m.panelItemCapacity(), 510);
  m.addPanelItem(L"\u4E2D\u6587.txt", nullptr);
  PluginPanelItemA* items = nullptr;
  int count = 0;
  m.takePanelItems(&items, &count);
  ASSERT_EQ(count, 256);
  EXPECT_STREQ(items[0].FileName, "first.txt");
  EXPECT_EQ(items[0].AlternateFileName[0], '\0');
  ItemUserData* exact = m.validUserData(items[0]);
  ASSERT_NE(exact, nullptr);
  EXPECT_EQ(exact->size, 18u);
  EXPECT_EQ(exact->owner, reinterpret_cast<ModuleOwner>(0x55));
  EXPECT_STREQ(items[255].FileName, "--.txt");
  EXPECT_STREQ(items[255].AlternateFileName, "--.txt");
  EXPECT_EQ(m.itemName(items[255]), L"\u4E2D\u6587.txt");
  EXPECT_EQ(m.itemName(items[1]), L"f1");

  // Another module's data, a size out of range, no pointer: not valid, never freed.
  EXPECT_EQ(other.validUserData(items[0]), nullptr);
  ItemUserData* d = m.validUserData(items[1]);
  ASSERT_NE(d, nullptr);
  d->size = 17;
  EXPECT_EQ(m.validUserData(items[1]), nullptr);
  d->size = 2001;
  EXPECT_EQ(m.validUserData(items[1]), nullptr);
  d->size = 2000;
  EXPECT_NE(m.validUserData(items[1]), nullptr);
  d->size = 18;
  PluginPanelItemA stray{};
  stray.UserData = 0x10;  // an unmapped address
  EXPECT_EQ(m.validUserData(stray), nullptr);
  // Item 2's data is claimed by the other module: FreeFindData of m leaves it alone.
  ItemUserData* kept = m.validUserData(items[2]);
  ASSERT_NE(kept, nullptr);
  kept->module = &other;
  items[3].Description = static_cast<char*>(std::malloc(8));
  m.FreeFindData(items, count);
  EXPECT_EQ(kept->size, 18u);  // still ours to read: it was not freed
  std::free(kept);
}

TEST(ModuleBase, WideNameToOemLimits) {
  char buffer[16];
  EXPECT_TRUE(handrel::WideNameToOem(L"short.txt", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "short.txt");
  // Cut to size - 1: not exact.
  EXPECT_FALSE(handrel::WideNameToOem(L"a-much-longer-name.txt", buffer, sizeof buffer));
  EXPECT_EQ(std::strlen(buffer), 15u);
  EXPECT_FALSE(handrel::WideNameToOem(L"\u4E2D.txt", buffer, sizeof buffer));
  EXPECT_THROW(handrel::WideNameToOem(L"x", buffer, 1001), handrel::ModuleError);
  EXPECT_THROW(handrel::WideNameToOem(L"x", buffer, -1), handrel::ModuleError);
  EXPECT_THROW(handrel::WideNameToOem(nullptr, buffer, 16), handrel::ModuleError);
}

TEST(ModuleBase, PathsFromTheDeviceAndTheLocalSides) {
  MPlain m;
  ModuleStartupRecord record{};
  record.Size = 68;
  ASSERT_TRUE(m.Construct(nullptr, &record, L"C:\\m.module"));
  ASSERT_EQ(m.SetDirectory(L"Docs\\", 1), 1);
  PluginPanelItemA item{};
  std::strcpy(item.FileName, "a.txt");
  wchar_t out[MAX_PATH];
  int pos = -1;
  ASSERT_TRUE(m.deviceItemPath(item, out, MAX_PATH, 1, &pos));
  EXPECT_STREQ(out, L"Docs\\a.txt");
  EXPECT_EQ(pos, 5);
  EXPECT_FALSE(m.deviceItemPath(item, out, 10, 1, &pos));  // 5 + 5 + 1 reaches 10
  std::strcpy(item.FileName, "a\\b");
  EXPECT_FALSE(m.deviceItemPath(item, out, MAX_PATH, 1, &pos));

  // Local: a long name found again through its short name; a full path taken as it is.
  std::wstring folder = TempFolder();
  std::wstring longName = L"A rather long local name.text";
  HANDLE f = CreateFileW((folder + longName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  wchar_t shortPath[MAX_PATH];
  DWORD n = GetShortPathNameW((folder + longName).c_str(), shortPath, MAX_PATH);
  PluginPanelItemA local{};
  std::strcpy(local.FileName, "something else");
  if (n > 0 && std::wstring(shortPath) != folder + longName) {
    std::wstring shortName = std::wstring(shortPath).substr(std::wstring(shortPath).rfind(L'\\') + 1);
    WideCharToMultiByte(CP_OEMCP, 0, shortName.c_str(), -1, local.AlternateFileName, 14, nullptr, nullptr);
    ASSERT_TRUE(m.localItemPath(folder.c_str(), local, out, MAX_PATH, 1, &pos));
    EXPECT_EQ(std::wstring(out).substr(static_cast<size_t>(pos)), longName);
  }
  local.AlternateFileName[0] = '\0';
  ASSERT_TRUE(m.localItemPath(folder.c_str(), local, out, MAX_PATH, 1, &pos));
  EXPECT_EQ(std::wstring(out), folder + L"something else");
  std::strcpy(local.FileName, "C:\\elsewhere\\x.txt");
  ASSERT_TRUE(m.localItemPath(folder.c_str(), local, out, MAX_PATH, 1, &pos));
  EXPECT_STREQ(out, L"C:\\elsewhere\\x.txt");
  EXPECT_EQ(pos, 13);
  EXPECT_FALSE(m.localItemPath(folder.c_str(), local, out, 18, 1, &pos));
  // Local folder paths made level by level.
  std::wstring deep = folder + L"x\\y\\z";
  EXPECT_EQ(m.makeLocalDirectory(deep.c_str()), 1);
  EXPECT_NE(GetFileAttributesW(deep.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(m.makeLocalDirectory((folder + longName + L"\\below").c_str()), 0);
  RemoveDirectoryW(deep.c_str());
  RemoveDirectoryW((folder + L"x\\y").c_str());
  RemoveDirectoryW((folder + L"x").c_str());
  DeleteFileW((folder + longName).c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST(ModuleBase, SameModuleByTitle) {
  MPlain a("Files"), b("Files"), c("Other"), empty("");
  EXPECT_TRUE(a.sameModuleAs(&b));
  EXPECT_FALSE(a.sameModuleAs(&c));
  EXPECT_FALSE(a.sameModuleAs(nullptr));
  EXPECT_FALSE(empty.sameModuleAs(&empty));
}
