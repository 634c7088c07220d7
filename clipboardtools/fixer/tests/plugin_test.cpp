// Mendlet on Wine's real clipboard, in code page 1251 (the test runs with a Russian locale), where
// a byte of 0x80 or above widened to the same number is a different letter from the converted one.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <thread>
#include <utility>

#include "editortools/remarks/tests/plugin_support.h"
#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

using Entry = std::pair<UINT, std::string>;  // a format and its bytes (terminators included)

std::string Ansi(const char* text) { return std::string(text, std::strlen(text) + 1); }
std::string Wide(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}
// Every byte widened to a character of the same number: the fault Mendlet repairs.
std::string Widened(const char* text) {
  std::wstring w;
  for (const char* p = text; *p; ++p) w += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  return Wide(w);
}

bool PutClipboard(const std::vector<Entry>& entries) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  for (const Entry& e : entries) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, e.second.size());
    std::memcpy(GlobalLock(h), e.second.data(), e.second.size());
    GlobalUnlock(h);
    SetClipboardData(e.first, h);
  }
  CloseClipboard();
  return true;
}

std::wstring ClipboardUnicode() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return L"<busy>";
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(h));
    GlobalUnlock(h);
  }
  CloseClipboard();
  return text;
}

std::string ClipboardAnsi() {
  std::string text;
  if (!OpenClipboard(nullptr)) return "<busy>";
  if (HANDLE h = GetClipboardData(CF_TEXT)) {
    text = static_cast<const char*>(GlobalLock(h));
    GlobalUnlock(h);
  }
  CloseClipboard();
  return text;
}

const char kPrivet[] = "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0";  // "Привет, мир" in 1251
const wchar_t kPrivetW[] = L"\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440";

class Mendlet : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& f) { ADD_FAILURE() << Utf8(f); };
    plugin = host.Load(BesideTest(PLUGIN_FILE));
    ASSERT_NE(plugin, nullptr);
    ASSERT_EQ(GetACP(), 1251u) << "the test needs a code page where 0x80..0xFF are not Latin-1";
  }
  void Run(int openFrom = OPEN_PLUGINSMENU) {
    EXPECT_EQ(host.OpenPlugin(plugin, openFrom, 0), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.menus.empty());
  }
  Host host;
  Plugin* plugin = nullptr;
};

}  // namespace

TEST_F(Mendlet, ExportsAndMenuEntry) {
  EXPECT_EQ(ExportNames(plugin->module), (std::set<std::string>{"SetStartupInfoW", "GetPluginInfoW", "OpenPluginW"}));
  PluginInfoW info{};
  ASSERT_TRUE(host.GetPluginInfo(plugin, &info));
  EXPECT_EQ(info.StructSize, 44);
  EXPECT_EQ(info.Flags, 36u);
  ASSERT_EQ(info.PluginMenuStringsNumber, 1);
  EXPECT_STREQ(info.PluginMenuStrings[0], L"Clipboard fixer");
  EXPECT_EQ(info.PluginConfigStringsNumber, 0);
  EXPECT_EQ(info.DiskMenuStringsNumber, 0);
  EXPECT_EQ(info.CommandPrefix, nullptr);
  EXPECT_EQ(info.SysID, 0x4D644C74u);
}

TEST_F(Mendlet, RepairsWidenedTextThroughTheAnsiCodePage) {
  ASSERT_TRUE(PutClipboard({{CF_TEXT, Ansi(kPrivet)}, {CF_UNICODETEXT, Widened(kPrivet)}}));
  ASSERT_EQ(ClipboardUnicode(), L"\u00CF\u00F0\u00E8\u00E2\u00E5\u00F2, \u00EC\u00E8\u00F0");
  Run(OPEN_EDITOR);
  EXPECT_EQ(ClipboardUnicode(), kPrivetW);
  EXPECT_EQ(ClipboardAnsi(), std::string(kPrivet));
  Run(OPEN_DIALOG);  // a second run finds nothing left to repair
  EXPECT_EQ(ClipboardUnicode(), kPrivetW);
}

TEST_F(Mendlet, LeavesCorrectlyConvertedAndAsciiTextAlone) {
  // Correct text whose letters happen to be widened Latin-1 elsewhere must not be touched either.
  ASSERT_TRUE(PutClipboard({{CF_TEXT, Ansi(kPrivet)}, {CF_UNICODETEXT, Wide(kPrivetW)}}));
  Run();
  EXPECT_EQ(ClipboardUnicode(), kPrivetW);
  ASSERT_TRUE(PutClipboard({{CF_TEXT, Ansi("plain text")}, {CF_UNICODETEXT, Wide(L"plain text, wider")}}));
  Run();
  EXPECT_EQ(ClipboardUnicode(), L"plain text, wider");
}

TEST_F(Mendlet, DoesNothingUnlessTheFirstFormatIs8BitText) {
  ASSERT_TRUE(PutClipboard({{CF_UNICODETEXT, Widened(kPrivet)}, {CF_TEXT, Ansi(kPrivet)}}));
  Run();
  EXPECT_EQ(ClipboardUnicode(), L"\u00CF\u00F0\u00E8\u00E2\u00E5\u00F2, \u00EC\u00E8\u00F0");
  UINT custom = RegisterClipboardFormatW(L"Kel test format");
  ASSERT_TRUE(PutClipboard({{custom, "x"}, {CF_TEXT, Ansi(kPrivet)}, {CF_UNICODETEXT, Widened(kPrivet)}}));
  Run();
  EXPECT_EQ(ClipboardUnicode(), L"\u00CF\u00F0\u00E8\u00E2\u00E5\u00F2, \u00EC\u00E8\u00F0");
}

TEST_F(Mendlet, ABusyClipboardIsLeftAsItWas) {
  ASSERT_TRUE(PutClipboard({{CF_TEXT, Ansi(kPrivet)}, {CF_UNICODETEXT, Widened(kPrivet)}}));
  HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Another program's window holds the clipboard open while Mendlet runs.
  std::thread holder([&] {
    HWND window = CreateWindowW(L"STATIC", L"holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    BOOL ok = OpenClipboard(window);
    SetEvent(opened);
    WaitForSingleObject(release, 10000);
    if (ok) CloseClipboard();
    DestroyWindow(window);
  });
  WaitForSingleObject(opened, 10000);
  Run();
  SetEvent(release);
  holder.join();
  CloseHandle(opened);
  CloseHandle(release);
  EXPECT_EQ(ClipboardUnicode(), L"\u00CF\u00F0\u00E8\u00E2\u00E5\u00F2, \u00EC\u00E8\u00F0");
}

// Every failure of the clipboard or of memory ends the call quietly with the clipboard as it was:
// the clipboard refused, a handle or a lock missing, the new block not allocated or not locked,
// the clipboard not taking the repaired text, the plugin's own memory running out.
TEST_F(Mendlet, EveryFailureLeavesTheClipboardAsItWas) {
  const std::wstring widened = L"\u00CF\u00F0\u00E8\u00E2\u00E5\u00F2, \u00EC\u00E8\u00F0";
  struct Case {
    const char* name;
    int nth;
  } cases[] = {
      {"OpenClipboard", 1},    {"GetClipboardData", 1}, {"GetClipboardData", 2}, {"GlobalLock", 1},
      {"GlobalLock", 2},       {"GlobalAlloc", 1},      {"GlobalLock", 3},       {"SetClipboardData", 1},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Ansi(kPrivet)}, {CF_UNICODETEXT, Widened(kPrivet)}}));
    host.FailCall(c.name, c.nth);
    Run();
    host.ClearFailures();
    EXPECT_EQ(host.refusals.size(), 1u) << c.name << " " << c.nth;
    host.refusals.clear();
    EXPECT_EQ(ClipboardUnicode(), widened) << c.name << " " << c.nth;
  }
  // The plugin's own allocations, each failing in turn.
  ASSERT_TRUE(PutClipboard({{CF_TEXT, Ansi(kPrivet)}, {CF_UNICODETEXT, Widened(kPrivet)}}));
  host.FailCall("malloc", INT_MAX);
  Run();
  int allocations = host.CallsSeen("malloc");
  host.ClearFailures();
  ASSERT_GT(allocations, 0);
  for (int nth = 1; nth <= allocations; ++nth) {
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Ansi(kPrivet)}, {CF_UNICODETEXT, Widened(kPrivet)}}));
    host.FailCall("malloc", nth);
    Run();
    host.ClearFailures();
    EXPECT_EQ(ClipboardUnicode(), widened) << nth;
  }
  // With nothing failing the same clipboard is repaired.
  ASSERT_TRUE(PutClipboard({{CF_TEXT, Ansi(kPrivet)}, {CF_UNICODETEXT, Widened(kPrivet)}}));
  Run();
  EXPECT_EQ(ClipboardUnicode(), kPrivetW);
}

// The host's record is copied by the size the host gives, never more: a record shorter than the
// plugin's own, ending where the host's memory ends, is taken without reading past it.
TEST_F(Mendlet, TheHostRecordIsCopiedByItsSizeField) {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  auto* pages = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * si.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old));
  constexpr size_t kShort = offsetof(HostStartupInfo, HostMenu);  // size, module name, number, root key, HostMessage
  auto* record = reinterpret_cast<HostStartupInfo*>(pages + si.dwPageSize - kShort);
  std::memcpy(static_cast<void*>(record), &plugin->startup, kShort);
  record->StructSize = static_cast<int>(kShort);
  auto start = reinterpret_cast<void(KEL_API*)(const HostStartupInfo*)>(plugin->Entry("SetStartupInfoW"));
  start(record);  // reading past the record would fault on the guard page
  start(nullptr);
  start(&plugin->startup);
  VirtualFree(pages, 0, MEM_RELEASE);
  ASSERT_TRUE(PutClipboard({{CF_TEXT, Ansi(kPrivet)}, {CF_UNICODETEXT, Widened(kPrivet)}}));
  Run();
  EXPECT_EQ(ClipboardUnicode(), kPrivetW);
}
