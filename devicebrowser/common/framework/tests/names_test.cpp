// The framework's name and path logic: what a panel shows for device names, the item array's
// growth, the debug settings file, item paths, the invoke request and the folder walk.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include "devicebrowser/common/framework/core/names.h"

using namespace handrel::fw;

TEST(ItemNames, AnExactNameHasNoAlternateAndEighteenBytesOfUserData) {
  AltNames alt;
  ItemName n = BuildItemName(u"Report 2024.txt", "Report 2024.txt", true, '-', alt);
  EXPECT_EQ(n.oemName, "Report 2024.txt");
  EXPECT_EQ(n.altName, "");
  EXPECT_EQ(n.userDataSize, 18u);
  // A lossy name carries itself: 18 + 2 x its length, and an 8.3 alternate with "?" replaced.
  ItemName l = BuildItemName(u"\u0444\u0430\u0439\u043B-notes.document", std::string(4, '?') + "-notes.document", false, '_', alt);
  EXPECT_EQ(l.oemName, "____-notes.document");
  EXPECT_EQ(l.altName, "____-not.doc");
  EXPECT_EQ(l.userDataSize, 18u + 2u * 19u);
}

TEST(ItemNames, CollidingNamesAreNumberedAndASecondCollisionTakesTheNextNumber) {
  AltNames alt;
  EXPECT_EQ(alt.Assign("??????.txt", '-'), "------.txt");
  EXPECT_EQ(alt.Assign("??????.txt", '-'), "------~1.txt");
  EXPECT_EQ(alt.Assign("??????.txt", '-'), "------~2.txt");
  // A long base: the plain 8.3 form first, then six characters and the number; letter case does
  // not make a name free.
  EXPECT_EQ(alt.Assign("LongBase?name.html", '-'), "LongBase.htm");
  EXPECT_EQ(alt.Assign("longbase?other.html", '-'), "longba~1.htm");
  EXPECT_EQ(alt.Assign("LONGBASE?third.html", '-'), "LONGBA~2.htm");
  // A name taken by another form already is skipped: "LongBa~3.htm" exists as a plain name.
  EXPECT_EQ(alt.Assign("LongBa~3.htm", '-'), "LongBa~3.htm");
  EXPECT_EQ(alt.Assign("LongBase?fourth.html", '-'), "LongBa~4.htm");
  // No extension, no dot; forbidden characters replaced in the base and in the extension.
  EXPECT_EQ(alt.Assign("a:b", '-'), "a-b");
  EXPECT_EQ(alt.Assign("x.t?t", '-'), "x.t-t");
  alt.Clear();
  EXPECT_EQ(alt.Assign("??????.txt", '-'), "------.txt");
}

TEST(ItemNames, NumbersShortenTheBaseAndRunOutAtTheLimit) {
  AltNames alt;
  std::vector<std::string> got;
  for (int i = 0; i < 1002; ++i) got.push_back(alt.Assign("ABCDEFGH?.dat", '-'));
  EXPECT_EQ(got[0], "ABCDEFGH.dat");
  EXPECT_EQ(got[9], "ABCDEF~9.dat");
  EXPECT_EQ(got[10], "ABCDE~10.dat");
  EXPECT_EQ(got[99], "ABCDE~99.dat");
  EXPECT_EQ(got[100], "ABCD~100.dat");
  EXPECT_EQ(got[1000], "ABC~1000.dat");
  EXPECT_EQ(std::set<std::string>(got.begin(), got.end()).size(), got.size());
  // With every number taken the alternate name stays empty.
  AltNames tiny;
  for (int i = 0; i <= 99999; ++i) tiny.Assign("AB.x", '-');
  EXPECT_EQ(tiny.Assign("AB.x", '-'), "");
}

TEST(ItemNames, TenThousandCollidingNamesTakeLinearTime) {
  // 10,000 names sharing their first six characters: each search resumes where the last ended.
  AltNames alt;
  std::set<std::string> seen;
  for (int i = 0; i < 10000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "SAMEPR%04d?.txt", i);
    std::string a = alt.Assign(name, '-');
    ASSERT_FALSE(a.empty());
    ASSERT_TRUE(seen.insert(a).second) << a;
  }
  // One plain try and one numbered try each, not a search from 1 (50 million tries).
  EXPECT_LE(alt.Probes(), 2u * 10000u + 10u);
}

TEST(ItemArray, FirstItemAllocates255AndThe255thGrowsTo510) {
  EXPECT_EQ(CapacityForNext(0, 0), 255);
  int capacity = 0;
  std::map<int, int> growth;  // item number (1-based) -> capacity after it was made room for
  for (int count = 0; count < 600; ++count) {
    int next = CapacityForNext(count, capacity);
    if (next != capacity) growth[count + 1] = next;
    capacity = next;
    ASSERT_GT(capacity, count + 1);  // one entry always free
  }
  EXPECT_EQ(growth, (std::map<int, int>{{1, 255}, {255, 510}, {510, 765}}));
}

TEST(ReplaceCharTest, EveryForbiddenCharacterAndNothingElse) {
  std::string s = "a\"b*c/d:e<f>g?h\\i|j.k l";
  ReplaceChar(s, '_');
  EXPECT_EQ(s, "a_b_c_d_e_f_g_h_i_j.k l");
}

TEST(ModuleFile, TheDebugSettingsFileAndInvalidModuleNames) {
  std::u16string ini;
  EXPECT_TRUE(DebugSettingsPath(u"C:\\Kel\\Plugins\\Handrel\\Modules\\files.module", ini));
  EXPECT_EQ(ini, u"C:\\Kel\\Plugins\\Handrel\\Modules\\files.ini");
  EXPECT_TRUE(DebugSettingsPath(u"C:\\a.b\\files.x.module", ini));
  EXPECT_EQ(ini, u"C:\\a.b\\files.x.ini");
  // No extension, or the only dot in a folder name: "Invalid module file name".
  EXPECT_FALSE(DebugSettingsPath(u"C:\\Kel\\Modules\\files", ini));
  EXPECT_FALSE(DebugSettingsPath(u"C:\\Kel.d\\Modules\\files", ini));
  EXPECT_FALSE(DebugSettingsPath(u"", ini));
}

TEST(ItemPaths, FolderAndNameWithinTheBuffer) {
  std::u16string out;
  size_t pos = 0;
  EXPECT_EQ(JoinItemPath(u"My Documents\\", u"a.txt", 260, out, &pos), PathFault::kNone);
  EXPECT_EQ(out, u"My Documents\\a.txt");
  EXPECT_EQ(pos, 13u);
  EXPECT_EQ(JoinItemPath(u"", u"a\\b", 260, out, &pos), PathFault::kSlash);
  // folder + name + 1 reaching the buffer size is too large.
  std::u16string folder(250, u'f');
  EXPECT_EQ(JoinItemPath(folder, std::u16string(8, u'n'), 260, out, &pos), PathFault::kNone);
  EXPECT_EQ(JoinItemPath(folder, std::u16string(9, u'n'), 260, out, &pos), PathFault::kTooLarge);
}

TEST(Settings, TheRememberedFolderKeyPerDevice) {
  EXPECT_EQ(LastPathKey(u"Files", u"Pocket Test"), u"LastPath_Files-Pocket Test");
  EXPECT_EQ(LastPathKey(std::u16string(120, u's'), u"D"), u"LastPath_" + std::u16string(100, u's') + u"-D");
}

TEST(Invoke, RequestWithAndWithoutPayload) {
  std::vector<uint8_t> plain = InvokeRequest(u"GetWindows", nullptr, 0);
  ASSERT_EQ(plain.size(), 20u + 4u);
  EXPECT_EQ(plain[0], 'G');
  EXPECT_EQ(plain[1], 0);
  EXPECT_EQ(std::vector<uint8_t>(plain.end() - 4, plain.end()), std::vector<uint8_t>(4, 0));
  const char payload[] = {'\\', 0, 'x', 0};
  std::vector<uint8_t> with = InvokeRequest(u"DeleteFile;", payload, 4);
  ASSERT_EQ(with.size(), 22u + 4u + 2u);
  EXPECT_EQ(with[21], 0);
  EXPECT_EQ(with[22], '\\');
  EXPECT_EQ(with[24], 'x');
  EXPECT_EQ(with[26], 0);
  EXPECT_EQ(with[27], 0);
}

namespace {

// A recorded folder tree: paths that exist (folders end nothing special), files, refusals.
class FakeTree : public DirectorySeam {
 public:
  std::set<std::u16string> folders, files, refuse;
  std::vector<std::u16string> created, asked;
  uint32_t Attributes(const std::u16string& p) override {
    asked.push_back(p);
    if (folders.count(p)) return kDirectory;
    if (files.count(p)) return 0x20;
    return kMissing;
  }
  bool Create(const std::u16string& p) override {
    if (refuse.count(p)) return false;
    created.push_back(p);
    folders.insert(p);
    return true;
  }
};

}  // namespace

TEST(MakeDirectory, EveryMissingLevelIsMadeAndAFileOrRefusalStopsTheWalk) {
  FakeTree t;
  t.folders = {u"\\A"};
  EXPECT_EQ(MakeDirectoryPath(u"\\A\\B\\C\\", t), 1);
  EXPECT_EQ(t.created, (std::vector<std::u16string>{u"\\A\\B", u"\\A\\B\\C"}));
  // Existing whole path: one question, nothing made.
  t.created.clear();
  t.asked.clear();
  EXPECT_EQ(MakeDirectoryPath(u"\\A\\B\\C", t), 1);
  EXPECT_EQ(t.asked.size(), 1u);
  EXPECT_TRUE(t.created.empty());
  // No backslash, or only a leading one: nothing to do.
  EXPECT_EQ(MakeDirectoryPath(u"name", t), 1);
  EXPECT_EQ(MakeDirectoryPath(u"\\name", t), 1);
  EXPECT_TRUE(t.created.empty());
  // A file on the way, and a level the device refuses.
  t.files = {u"\\F"};
  EXPECT_EQ(MakeDirectoryPath(u"\\F\\G", t), 0);
  t.refuse = {u"\\R"};
  EXPECT_EQ(MakeDirectoryPath(u"\\R\\S", t), 0);
  EXPECT_EQ(t.folders.count(u"\\R\\S"), 0u);
  // A local path: the drive is not asked for or made.
  FakeTree local;
  local.folders = {u"C:\\work"};
  EXPECT_EQ(MakeDirectoryPath(u"C:\\work\\x\\y", local), 1);
  EXPECT_EQ(local.created, (std::vector<std::u16string>{u"C:\\work\\x", u"C:\\work\\x\\y"}));
}
