#include <gtest/gtest.h>

#include "standins/rapi/core/device_path.h"
#include "standins/rapi/core/device_store.h"

using namespace rapiemu;

namespace {

constexpr std::u16string_view kRoot = u"Z:\\tmp\\dev";

TEST(DevicePath, MapsAbsolutePathsBelowTheRoot) {
  struct Case {
    std::u16string_view device, host, canonical;
  } cases[] = {
      {u"\\", u"Z:\\tmp\\dev", u"\\"},
      {u"\\Windows", u"Z:\\tmp\\dev\\Windows", u"\\Windows"},
      {u"\\Windows\\", u"Z:\\tmp\\dev\\Windows", u"\\Windows"},
      {u"/Windows//HandrelInvoke.dll", u"Z:\\tmp\\dev\\Windows\\HandrelInvoke.dll", u"\\Windows\\HandrelInvoke.dll"},
      {u"\\My Documents\\a b.txt. .", u"Z:\\tmp\\dev\\My Documents\\a b.txt", u"\\My Documents\\a b.txt"},
      {u"\\Storage Card\\\u0444\u0430\u0439\u043b", u"Z:\\tmp\\dev\\Storage Card\\\u0444\u0430\u0439\u043b",
       u"\\Storage Card\\\u0444\u0430\u0439\u043b"},
      {u"\\console.txt", u"Z:\\tmp\\dev\\console.txt", u"\\console.txt"},
  };
  for (const auto& c : cases) {
    MappedPath m = MapDevicePath(kRoot, c.device);
    ASSERT_TRUE(m.ok()) << std::string(c.device.begin(), c.device.end());
    EXPECT_EQ(m.hostPath, c.host);
    EXPECT_EQ(m.devicePath, c.canonical);
  }
  // A root given with a trailing backslash maps the same way.
  EXPECT_EQ(MapDevicePath(u"Z:\\tmp\\dev\\", u"\\a").hostPath, u"Z:\\tmp\\dev\\a");
}

TEST(DevicePath, EscapesAreRefusedWithTheDevicesError) {
  struct Case {
    std::u16string_view device;
    uint32_t error;
  } cases[] = {
      {u"\\..", kErrInvalidName},
      {u"\\Windows\\..\\..\\etc", kErrInvalidName},
      {u"\\a\\.\\b", kErrInvalidName},
      {u"\\a\\..", kErrInvalidName},
      {u"/../x", kErrInvalidName},
      {u"C:\\Windows", kErrInvalidName},
      {u"\\C:\\x", kErrInvalidName},
      {u"\\\\server\\share\\x", kErrInvalidName},
      {u"\\\\?\\C:\\x", kErrInvalidName},
      {u"\\file.txt:stream", kErrInvalidName},
      {u"\\file.txt::$DATA", kErrInvalidName},
      {u"\\NUL", kErrInvalidName},
      {u"\\a\\con.txt", kErrInvalidName},
      {u"\\COM1", kErrInvalidName},
      {u"\\lpt9.log", kErrInvalidName},
      {u"\\a*b", kErrInvalidName},
      {u"\\a?", kErrInvalidName},
      {u"\\tab\there", kErrInvalidName},
      {u"\\...", kErrInvalidName},
      {u"\\ ", kErrInvalidName},
      {u"Windows\\x", kErrPathNotFound},
      {u"", kErrPathNotFound},
      {u"\\.device", kErrAccessDenied},
      {u"\\.DEVICE\\registry", kErrAccessDenied},
      {u"\\.device.\\attributes", kErrAccessDenied},
  };
  for (const auto& c : cases) {
    MappedPath m = MapDevicePath(kRoot, c.device);
    EXPECT_EQ(m.error, c.error) << std::string(c.device.begin(), c.device.end());
    EXPECT_TRUE(m.hostPath.empty());
  }
}

TEST(DevicePath, LengthLimitAtTheEdge) {
  std::u16string path = u"\\" + std::u16string(kMaxDevicePath - 1, u'a');
  EXPECT_TRUE(MapDevicePath(kRoot, path).ok());
  EXPECT_EQ(MapDevicePath(kRoot, path + u"b").error, kErrFilenameTooLong);
}

TEST(DevicePath, FindPatternSplitsFolderAndLastComponent) {
  MappedPattern p = MapFindPattern(kRoot, u"\\Windows\\*.*");
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.folder.hostPath, u"Z:\\tmp\\dev\\Windows");
  EXPECT_EQ(p.pattern, u"*.*");
  p = MapFindPattern(kRoot, u"\\*");
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.folder.devicePath, u"\\");
  EXPECT_EQ(p.pattern, u"*");
  EXPECT_EQ(MapFindPattern(kRoot, u"\\").folder.error, kErrFileNotFound);
  EXPECT_EQ(MapFindPattern(kRoot, u"\\a*\\b").folder.error, kErrInvalidName);
  EXPECT_EQ(MapFindPattern(kRoot, u"\\..\\*").folder.error, kErrInvalidName);
  EXPECT_EQ(MapFindPattern(kRoot, u"\\.device\\*").folder.error, kErrAccessDenied);
  EXPECT_EQ(MapFindPattern(kRoot, u"\\x:y*").folder.error, kErrInvalidName);
}

TEST(DevicePath, FindPatternsMatchLikeTheDevice) {
  struct Case {
    std::u16string_view pattern, name;
    bool match;
  } cases[] = {
      {u"*", u"anything.txt", true},        {u"*.*", u"noext", true},
      {u"*.*", u"a.b.c", true},             {u"*.txt", u"A.TXT", true},
      {u"*.txt", u"a.txt.bak", false},      {u"a?c", u"abc", true},
      {u"a?c", u"ac", false},               {u"*.dll", u"HandrelInvoke.dll", true},
      {u"Handrel*.d?l", u"handrelinvoke.DLL", true}, {u"x.*", u"x", true},
      {u"x.*", u"xy", false},               {u"HandrelInvoke.dll", u"handrelinvoke.dll", true},
      {u"HandrelInvoke.dll", u"HandrelInvoke.dl", false}, {u"\u0424*", u"\u0444\u0430", true},
      {u"**a**", u"bab", true},             {u"*a", u"bbb", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchFindPattern(c.pattern, c.name), c.match)
        << std::string(c.pattern.begin(), c.pattern.end()) << " / " << std::string(c.name.begin(), c.name.end());
  }
  // Hostile patterns stay fast: no exponential backtracking.
  std::u16string many(200, u'*');
  EXPECT_FALSE(MatchFindPattern(many + u"b", std::u16string(5000, u'a')));
}

TEST(DevicePath, Utf8RoundTripAndMalformedInput) {
  std::u16string text = u"a\u0444\u20ac\U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf8ToUtf16("\xC0\x80x\xE2\x82"), u"\uFFFD\uFFFDx\uFFFD\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(u"\xD800z"), "\xEF\xBF\xBDz");
}

TEST(DeviceStore, AttributesComposeFromHostAndSidecar) {
  EXPECT_EQ(ComposeAttributes(false, false, std::nullopt), kAttrArchive);
  EXPECT_EQ(ComposeAttributes(true, false, std::nullopt), kAttrDirectory);
  EXPECT_EQ(ComposeAttributes(false, true, std::nullopt), kAttrArchive | kAttrReadOnly);
  EXPECT_EQ(ComposeAttributes(false, false, 0x41u), 0x41u);
  EXPECT_EQ(ComposeAttributes(false, true, 0x2u), 0x2u);  // the sidecar's word stands
  EXPECT_EQ(ComposeAttributes(false, false, 0x80u), 0x80u);
  EXPECT_EQ(ComposeAttributes(false, false, 0u), 0x80u);
  EXPECT_EQ(ComposeAttributes(true, false, 0x100u), 0x110u);  // a storage card
  EXPECT_EQ(ComposeAttributes(false, false, 0x110u), 0x100u);  // the directory bit is the host's
  EXPECT_EQ(ComposeAttributes(false, false, 0x81u), 0x01u);    // normal only alone
  // Setting keeps what the file system owns.
  EXPECT_EQ(ApplySetAttributes(0x2041u, 0x80u), 0x2040u);
  EXPECT_EQ(ApplySetAttributes(0x20u, 0x07u), 0x07u);
  EXPECT_EQ(ApplySetAttributes(0x20u, 0x80u), 0x80u);
  EXPECT_EQ(ApplySetAttributes(0x110u, 0x02u), 0x112u);
  EXPECT_EQ(ApplySetAttributes(0x20u, 0x40u), 0x80u);  // "in ROM" cannot be set
}

TEST(DeviceStore, SidecarParsesEditsAndRoundTrips) {
  AttributeSidecar s = AttributeSidecar::Parse(
      "# seeded by a test\r\n"
      "0x40 \\Windows\\boot.dll\n"
      "  0x2041   \\Windows\\Core DLL.dll  \n"
      "0x110 \\Storage Card\n"
      "zz \\bad\n"
      "0x1\n"
      "0x123456789 \\toolong\n"
      "0x1 relative\n");
  EXPECT_EQ(s.badLines(), 4u);
  EXPECT_EQ(s.Find(u"\\WINDOWS\\BOOT.DLL"), 0x40u);
  EXPECT_EQ(s.Find(u"\\Windows\\Core DLL.dll"), 0x2041u);
  EXPECT_EQ(s.Find(u"\\Windows"), std::nullopt);
  s.Set(u"\\Storage Card\\a.txt", 0x3);
  s.Rename(u"\\storage card", u"\\Card2");
  EXPECT_EQ(s.Find(u"\\Card2"), 0x110u);
  EXPECT_EQ(s.Find(u"\\Card2\\A.TXT"), 0x3u);
  EXPECT_EQ(s.Find(u"\\Storage Card"), std::nullopt);
  // A rename of "\Windows" must not take "\WindowsX" along.
  s.Set(u"\\WindowsX", 0x2);
  s.Remove(u"\\Windows");
  EXPECT_EQ(s.Find(u"\\WindowsX"), 0x2u);
  EXPECT_EQ(s.Find(u"\\Windows\\boot.dll"), std::nullopt);
  AttributeSidecar again = AttributeSidecar::Parse(s.Serialize());
  EXPECT_EQ(again.badLines(), 0u);
  EXPECT_EQ(again.size(), s.size());
  EXPECT_EQ(again.Find(u"\\card2\\a.txt"), 0x3u);
}

TEST(DeviceStore, RegistryParsesTheSeedTestsWrite) {
  RegistryStore r = RegistryStore::Parse(
      "[HKEY_LOCAL_MACHINE\\Ident]\n"
      "\"Name\"=\"Pocket \\\"7\\\" \u0444\"\n"
      "[HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies]\n"
      "\"00001001\"=dword:00000001\n"
      "\"Blob\"=hex:01,ff\n"
      "\"Odd\"=hex(1):41,00\n"
      "@=\"default\"\n"
      "\"Bad\"=dword:xyz\n"
      "\"NoEquals\" \"x\"\n");
  EXPECT_EQ(r.badLines(), 2u);
  const RegistryValue* name = r.Find(u"hkey_local_machine\\IDENT", u"name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->type, kRegSz);
  EXPECT_EQ(name->data, RegistryStore::String(u"Pocket \"7\" \u0444").data);
  const RegistryValue* policy = r.Find(u"HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies", u"00001001");
  ASSERT_NE(policy, nullptr);
  EXPECT_EQ(policy->type, kRegDword);
  EXPECT_EQ(policy->data, (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(r.Find(u"HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies", u"Blob")->data,
            (std::vector<uint8_t>{1, 0xff}));
  EXPECT_EQ(r.Find(u"HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies", u"")->data,
            RegistryStore::String(u"default").data);
  EXPECT_EQ(r.Find(u"HKEY_LOCAL_MACHINE\\Ident", u"Missing"), nullptr);
  // Keys above a stored key exist; siblings sorting between do not confuse the lookup.
  EXPECT_TRUE(r.KeyExists(u"HKEY_LOCAL_MACHINE\\Security"));
  EXPECT_TRUE(r.KeyExists(u"HKEY_LOCAL_MACHINE\\security\\policies\\"));
  EXPECT_TRUE(r.KeyExists(u"HKEY_LOCAL_MACHINE"));
  EXPECT_FALSE(r.KeyExists(u"HKEY_LOCAL_MACHINE\\Secur"));
  EXPECT_FALSE(r.KeyExists(u"HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies\\X"));
  // Round trip keeps every value, the odd string without its zero included.
  r.Set(u"HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies", u"00001001", RegistryStore::Dword(0xDEADBEEF));
  RegistryStore again = RegistryStore::Parse(r.Serialize());
  EXPECT_EQ(again.badLines(), 0u);
  EXPECT_EQ(again.Find(u"HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies", u"00001001")->data,
            (std::vector<uint8_t>{0xEF, 0xBE, 0xAD, 0xDE}));
  const RegistryValue* odd = again.Find(u"HKEY_LOCAL_MACHINE\\Security\\Policies\\Policies", u"Odd");
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->type, kRegSz);
  EXPECT_EQ(odd->data, (std::vector<uint8_t>{0x41, 0}));
  EXPECT_EQ(again.Find(u"HKEY_LOCAL_MACHINE\\Ident", u"Name")->data, name->data);
}

TEST(DeviceStore, KeyPathsJoinWithoutDoubledSeparators) {
  EXPECT_EQ(JoinKeyPath(u"HKEY_LOCAL_MACHINE", u"Ident"), u"HKEY_LOCAL_MACHINE\\Ident");
  EXPECT_EQ(JoinKeyPath(u"HKEY_LOCAL_MACHINE\\", u"\\Ident\\"), u"HKEY_LOCAL_MACHINE\\Ident");
  EXPECT_EQ(JoinKeyPath(u"HKEY_LOCAL_MACHINE\\Ident", u""), u"HKEY_LOCAL_MACHINE\\Ident");
}

TEST(DeviceStore, WriteTimesKeepTwoSeconds) {
  const uint64_t second = 10000000;
  uint64_t t = 130000000000000000ull;  // an even second
  EXPECT_EQ(DeviceWriteTime(t), t);
  EXPECT_EQ(DeviceWriteTime(t + 1), t);
  EXPECT_EQ(DeviceWriteTime(t + second), t);
  EXPECT_EQ(DeviceWriteTime(t + 2 * second - 1), t);
  EXPECT_EQ(DeviceWriteTime(t + 2 * second), t + 2 * second);
}

}  // namespace
