// The device panel's path handling: every form a user can type inside a module, the probing of
// missing folders, the module prefixes and the panel strings built from them.
#include <gtest/gtest.h>

#include <set>

#include "devicebrowser/plugin/core/navigation.h"

using namespace handrel;

namespace {

std::wstring Target(const std::wstring& cur, const std::wstring& path) {
  ModulePathResult r = ApplyModulePath(cur, path);
  return r.leave ? L"<leave>" : r.dir;
}

}  // namespace

TEST(Navigation, PathFormsInsideAModule) {
  // The module keeps its directory with a trailing backslash; both forms must give the same.
  for (std::wstring cur : {L"A\\B\\", L"A\\B"}) {
    EXPECT_EQ(Target(cur, L".."), L"A");
    EXPECT_EQ(Target(cur, L"..\\C"), L"A\\C");  // not "A\B\C": the trailing backslash is dropped first
    EXPECT_EQ(Target(cur, L"..\\..\\D"), L"D");
    EXPECT_EQ(Target(cur, L"..\\"), L"A");
    EXPECT_EQ(Target(cur, L"C"), L"A\\B\\C");
    EXPECT_EQ(Target(cur, L"C\\"), L"A\\B\\C");
    EXPECT_EQ(Target(cur, L"\\X\\Y\\"), L"X\\Y");
    EXPECT_EQ(Target(cur, L"\\"), L"<leave>");
  }
  EXPECT_EQ(Target(L"", L".."), L"<leave>");  // ".." at the module's top leaves it
  EXPECT_EQ(Target(L"A\\", L".."), L"");       // one level down: back to the top, still inside
  EXPECT_EQ(Target(L"", L"..\\"), L"");        // "..\" at the top stays at the top
  EXPECT_EQ(Target(L"", L"..\\..\\Q"), L"Q");
  EXPECT_EQ(Target(L"", L"Q"), L"Q");
}

TEST(Navigation, ProbingEndsInTheDeepestExistingFolder) {
  std::set<std::wstring> existing{L"A", L"A\\B"};
  std::vector<std::wstring> asked;
  auto exists = [&](const std::wstring& d) {
    asked.push_back(d);
    return existing.count(d) > 0;
  };
  EXPECT_EQ(ProbeExistingDirectory(L"A\\B\\C\\D", exists), L"A\\B\\");
  EXPECT_EQ(asked, (std::vector<std::wstring>{L"A\\B\\C\\D", L"A\\B\\C", L"A\\B"}));
  EXPECT_EQ(ProbeExistingDirectory(L"Z\\Y", exists), L"");
  EXPECT_EQ(ProbeExistingDirectory(L"A\\", exists), L"A\\");  // asked without the backslash
  EXPECT_EQ(asked.back(), L"A");
  EXPECT_EQ(ProbeExistingDirectory(L"", exists), L"");
}

TEST(Navigation, ModulePrefixes) {
  std::string prefix, rest;
  ASSERT_TRUE(SplitModulePrefix("files:A\\B", prefix, rest));
  EXPECT_EQ(prefix, "files");
  EXPECT_EQ(rest, "A\\B");
  EXPECT_FALSE(SplitModulePrefix("Files", prefix, rest));
  EXPECT_TRUE(EqualsNoCase("fILes", "Files"));
  EXPECT_FALSE(EqualsNoCase("File", "Files"));
  // A folder right after the colon means the same as after "colon backslash".
  EXPECT_EQ(InnerModulePath("A\\B"), "\\A\\B");
  EXPECT_EQ(InnerModulePath("\\A\\B"), "\\A\\B");
  EXPECT_EQ(InnerModulePath(""), "");
  EXPECT_EQ(InnerModulePath("\\"), "");
}

TEST(Navigation, PanelStringsAndTheStoredLastPath) {
  PanelStrings root = BuildPanelStrings("", "Handrel", "");
  EXPECT_EQ(root.title, " Handrel ");
  EXPECT_EQ(root.currentDirectory, "");
  PanelStrings top = BuildPanelStrings("Files", "Device files", "");
  EXPECT_EQ(top.title, " Device files ");
  EXPECT_EQ(top.currentDirectory, "Files:");
  PanelStrings deep = BuildPanelStrings("Files", "Device files", "A\\B\\");
  EXPECT_EQ(deep.title, "Files:A\\B");
  EXPECT_EQ(deep.currentDirectory, "Files:\\A\\B");
  EXPECT_EQ(LastPathValue(deep.currentDirectory), "Files:");
  EXPECT_EQ(LastPathValue("Files:"), "Files:");
  EXPECT_EQ(LastPathValue(""), "");
}
