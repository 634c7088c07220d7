// control.module in the device browser plugin, in the host stand-in, against the emulated handheld:
// the user enters "Control:", the "Handrel Control" dialog opens, and what the user presses or
// clicks arrives in the device's input log (written by the device-side library on the emulated
// device); the clipboard typed with and without the question, or not at all when it holds no
// text or another program holds it; an older host showing the hints
// only; no dialog without a scratch file.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "devicebrowser/common/framework/tests/module_wine_support.h"
#include "standins/kelhost/kelhost.h"
#include "standins/rapi/testing/emulated_device.h"

using namespace kelhost;

namespace {

std::wstring g_plugin, g_module;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The plugin installed with control.module in its Modules folder, and a temporary folder of the
// test's own (TMP), so that the scratch folders the module makes can be watched.
struct Installation : handrel_test::PluginFolder {
  std::wstring temp;
  Installation() : PluginFolder(g_plugin, L"handrel-control-", g_module, L"control.module") {
    temp = path + L"\\temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", temp.c_str());
  }
  ~Installation() { SetEnvironmentVariableW(L"TMP", saved[0] ? saved : nullptr); }
  wchar_t saved[MAX_PATH] = {};
};

class Control : public ::testing::Test {
 protected:
  void SetUp() override {
    host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << Utf8(what); };
    device.WriteState(u"registry", "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"=\"Pocket Test\"\n");
    ASSERT_TRUE(handrel_test::CreateSettingsKey(host.RootKey()));
    device.MakeFolder(L"\\Windows");
    device.MakeFolder(L"\\Docs");
  }
  void Load() {
    p = host.Load(folder.path + L"\\Handrel.dll");
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(host.OpenPanel(p, 1, 0));
  }
  // Enters the module with the user's actions in its dialog; the panel's directory afterwards.
  std::wstring RunControl(DialogScript script) {
    host.AnswerDialog(std::move(script));
    size_t before = host.dialogs.size();
    host.PanelSetDirectory(L"Control:");
    host.RefreshPluginPanel(host.ActivePanel());
    EXPECT_EQ(host.dialogs.size(), before + 1) << "one dialog";
    return host.ActivePanel().pluginDir;
  }
  // The device's input log as "down 11", "up 25", "char 20000080 61", "text 128 <utf-8>".
  std::vector<std::string> Input() {
    std::vector<std::string> out;
    std::string log = device.ReadState(u"input.log");
    size_t at = 0;
    while (at < log.size()) {
      size_t end = log.find('\n', at);
      if (end == std::string::npos) end = log.size();
      std::string line = log.substr(at, end - at);
      at = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      unsigned vk, scan, flags, extra, ch, count;
      char buf[96];
      if (std::sscanf(line.c_str(), "key vk=0x%x scan=0x%x flags=0x%x extra=0x%x", &vk, &scan, &flags, &extra) == 4 &&
          scan == 0 && extra == 0) {
        std::snprintf(buf, sizeof buf, "%s %X", flags == 4 ? "down" : flags == 6 ? "up" : "??", vk);
        out.push_back(buf);
      } else if (std::sscanf(line.c_str(), "char flags=0x%x char=0x%x", &flags, &ch) == 2) {
        std::snprintf(buf, sizeof buf, "char %X %X", flags, ch);
        out.push_back(buf);
      } else if (std::sscanf(line.c_str(), "text flags=0x00000000 count=%u", &count) == 1) {
        size_t quote = line.find('"');
        out.push_back("text " + std::to_string(count) + " " +
                      (quote == std::string::npos ? std::string("?") : line.substr(quote + 1, line.size() - quote - 2)));
      } else {
        out.push_back("?? " + line);
      }
    }
    return out;
  }
  // A check step: the lines that arrived since the last such step.
  DialogScript& Expect(DialogScript& s, std::vector<std::string> lines) {
    return s.Check([this, lines](DialogView&) {
      std::vector<std::string> all = Input();
      std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen, all.size())), all.end());
      seen = all.size();
      EXPECT_EQ(fresh, lines);
    });
  }
  int HintItem(DialogView& d, const std::wstring& text) {
    for (int i = 0; i < d.ItemCount(); ++i)
      if (d.Item(i).text == text) return i;
    ADD_FAILURE() << "no hint " << Utf8(text);
    return 0;
  }
  static void PutClipboard(const std::wstring* text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    if (text) {
      HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text->size() + 1) * sizeof(wchar_t));
      memcpy(GlobalLock(block), text->c_str(), (text->size() + 1) * sizeof(wchar_t));
      GlobalUnlock(block);
      EXPECT_NE(SetClipboardData(CF_UNICODETEXT, block), nullptr);
    }
    CloseClipboard();
  }

  rapiemu::EmulatedDevice device{L"handrel-control-device"};
  Installation folder;
  Host host;
  Plugin* p = nullptr;
  size_t seen = 0;
};

}  // namespace

TEST_F(Control, KeysPressedInTheDialogReachTheDeviceAndOnlyAltF12Closes) {
  // A scratch folder someone else is using stays as it is; the next counter is taken.
  std::wstring busy = folder.temp + L"\\Handrel0000";
  CreateDirectoryW(busy.c_str(), nullptr);
  HANDLE f = CreateFileW((busy + L"\\theirs.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(f);
  std::wstring scratch = folder.temp + L"\\Handrel0001";
  Load();
  DialogScript s;
  s.Check([&](DialogView&) {
    EXPECT_TRUE(Exists(scratch + L"\\Control.txt"));
    EXPECT_FALSE(Exists(busy + L"\\Control.txt"));
  });
  s.Key(KEY_CTRL | KEY_SHIFT | KEY_LEFT);
  Expect(s, {"down 11", "down 10", "down 25", "up 25", "up 10", "up 11"});
  s.Key(KEY_ALT | KEY_F6);
  Expect(s, {"down 5B", "down 75", "up 75", "up 5B"});
  s.Key(KEY_ESC);  // to the device; the dialog stays
  Expect(s, {"down 1B", "up 1B"});
  s.Key(KEY_RCTRL | KEY_NUMENTER).Key(KEY_FKEYBASE + 0x5D).Key(KEY_F10).Key(KEY_FKEYBASE + 0x7B);
  Expect(s, {"down 11", "down D", "up D", "up 11", "down 5B", "up 5B", "down 79", "up 79", "down 7B", "up 7B"});
  // Characters: with their shift states; one the OEM code page carries as a byte of its own.
  s.Key('a').Key(L'A' | KEY_SHIFT).Key(L'd' | KEY_CTRL).Key(L'\u00E9');
  Expect(s, {"char 80 61", "char 20000080 41", "char 40000080 64", "char 80 E9"});
  // Swallowed: Ins, the Windows keys, the keypad's digits, a control character.
  s.Key(KEY_INS).Key(KEY_FKEYBASE + 0x5B).Key(KEY_NUMPAD2).Key(KEY_CTRL | 2);
  Expect(s, {});
  s.Key(KEY_ALT | (KEY_FKEYBASE + 0x7B));
  EXPECT_EQ(RunControl(s), L"");  // the panel stays at the device's root
  EXPECT_EQ(host.dialogs.back().exitCode, -1);
  EXPECT_EQ(Input().size(), seen) << "nothing after Alt+F12";
  EXPECT_FALSE(Exists(scratch));
  EXPECT_TRUE(Exists(busy + L"\\theirs.txt"));
  EXPECT_TRUE(host.messages.empty());
  host.ClosePanel();
}

TEST_F(Control, ClickedHintsSendTheirKeysAndTheCloseHintCloses) {
  // The dialog's items: the box, then the hints in reading order.
  const std::vector<std::wstring> hints = {
      L"[ F1 - Left soft   ]",  L" [ F2 - Right soft  ]", L"[ F3 - Green phone ]", L" [ F4 - Red phone   ]",
      L"[ F6 - Volume up   ]",  L" [ F7 - Volume down ]", L"[ Alt-F6 - OK key  ]",  L" [ Apps - Win soft  ]",
      L"[ Alt-F10 - Type PcClipboard ]", L"[ Alt-F12 - Close ]"};
  auto item = [](int hint) { return hint + 1; };
  Load();
  DialogScript s;
  s.Check([&](DialogView& d) {
    EXPECT_EQ(d.Item(0).text, L"Handrel Control");
    for (size_t i = 0; i < hints.size(); ++i) EXPECT_EQ(d.Item(item(static_cast<int>(i))).text, hints[i]);
    for (int row = 0; row < 4; ++row) {  // two hints side by side on each of the first four rows
      const DialogItemState& left = d.Item(item(2 * row));
      const DialogItemState& right = d.Item(item(2 * row + 1));
      EXPECT_EQ(left.y1, right.y1);
      EXPECT_LT(left.x2, right.x1);
    }
    EXPECT_EQ(d.Item(item(9)).y1, d.Item(item(8)).y1 + 2);  // a separator between the last two
    for (int i = 0; i < d.ItemCount(); ++i) EXPECT_TRUE(d.Item(i).type == DI_TEXT || i == 0);
  });
  s.Click(item(6));  // OK key
  Expect(s, {"down 5B", "down 75", "up 75", "up 5B"});
  s.Click(item(0)).Click(item(3)).Click(item(7)).Click(item(5));
  Expect(s, {"down 70", "up 70", "down 73", "up 73", "down 5B", "up 5B", "down 76", "up 76"});
  s.Click(item(9));
  EXPECT_EQ(RunControl(s), L"");
  EXPECT_EQ(Input().size(), seen);
  host.ClosePanel();
}

TEST_F(Control, TheClipboardIsTypedAndAbove127CharactersOnlyWhenTheUserAgrees) {
  std::wstring text127;
  for (int i = 0; i < 127; ++i) text127 += static_cast<wchar_t>(L'a' + i % 26);
  text127[3] = L'\u0416';  // the device takes UTF-16
  std::wstring text128 = text127 + L"!";
  std::string utf8 = Utf8(text127);
  Load();
  DialogScript s;
  s.Check([&](DialogView&) { PutClipboard(&text127); });
  s.Key(KEY_ALT | KEY_F10);
  Expect(s, {"text 127 " + utf8});
  s.Check([&](DialogView&) {
    EXPECT_TRUE(host.messages.empty());
    PutClipboard(&text128);
    host.AnswerMessage(1);  // No
  });
  s.Key(KEY_ALT | KEY_F10);
  Expect(s, {});
  s.Check([&](DialogView&) {
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].lines,
              (std::vector<std::wstring>{L"Control", L"PC clipboard length is 128 chars!", L"Continue?"}));
    EXPECT_EQ(host.messages[0].buttons, (std::vector<std::wstring>{L"&Yes", L"&No"}));
    EXPECT_TRUE(host.messages[0].flags & FMSG_WARNING);
    host.AnswerMessage(0);  // Yes, through the hint this time
  });
  s.Click(9);
  Expect(s, {"text 128 " + utf8 + "!"});
  // An empty text sends nothing; a clipboard without text says so.
  s.Check([&](DialogView&) {
    std::wstring empty;
    PutClipboard(&empty);
  });
  s.Key(KEY_ALT | KEY_F10);
  s.Check([&](DialogView&) {
    EXPECT_EQ(host.messages.size(), 2u);
    PutClipboard(nullptr);
    host.AnswerMessage(0);
  });
  s.Key(KEY_RALT | KEY_F10);
  Expect(s, {});
  // Another program holding the clipboard (which it could open: the module let it go each time).
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr), release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool held = false;
  std::thread holder;
  s.Check([&](DialogView&) {
    holder = std::thread([&] {
      HWND window = CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
      held = window && OpenClipboard(window) != 0;
      SetEvent(ready);
      WaitForSingleObject(release, 10000);
      if (held) CloseClipboard();
      if (window) DestroyWindow(window);
    });
    WaitForSingleObject(ready, 10000);
    EXPECT_TRUE(held);
    host.AnswerMessage(0);
  });
  s.Key(KEY_ALT | KEY_F10);
  Expect(s, {});
  s.Check([&](DialogView&) {
    SetEvent(release);
    holder.join();
  });
  s.Key(KEY_ALT | (KEY_FKEYBASE + 0x7B));
  RunControl(s);
  if (holder.joinable()) {
    SetEvent(release);
    holder.join();
  }
  CloseHandle(ready);
  CloseHandle(release);
  ASSERT_EQ(host.messages.size(), 4u);
  EXPECT_EQ(host.messages[2].lines, (std::vector<std::wstring>{L"Control", L"Can't get CF_UNICODETEXT"}));
  EXPECT_EQ(host.messages[3].lines, (std::vector<std::wstring>{L"Control", L"Can't open PC clipboard"}));
  host.ClosePanel();
}

TEST_F(Control, FromTheEditorThePluginRunsTheRemoteKeyboardAndOpensNoPanel) {
  device.WriteState(u"script", "record\n");  // the remote API's calls into calls.log
  p = host.Load(folder.path + L"\\Handrel.dll");
  ASSERT_NE(p, nullptr);
  DialogScript s;
  s.Key(L'x').Key(KEY_ALT | (KEY_FKEYBASE + 0x7B));
  host.AnswerDialog(s);
  EXPECT_FALSE(host.OpenPanel(p, 5, 0));
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0].itemsAtOpen[0].text, L"Handrel Control");
  EXPECT_EQ(Input(), (std::vector<std::string>{"char 80 78"}));
  EXPECT_NE(device.ReadState(u"calls.log").find("CeRapiUninit"), std::string::npos) << "the connection is let go";
}

TEST_F(Control, AnOlderHostShowsTheHintsWithoutSendingAnything) {
  host.version = KelMakeVersion(1, 0x45, 1000);
  Load();
  DialogScript s;
  s.Key(KEY_F1).Key(KEY_ALT | KEY_F6).Click(1);
  s.Key(KEY_ESC);  // the host's own: closes
  RunControl(s);
  EXPECT_EQ(host.dialogs.back().itemsAtOpen.size(), 12u);
  EXPECT_TRUE(Input().empty());
  host.ClosePanel();
}

TEST_F(Control, WithoutAScratchFileTheDialogIsNotShown) {
  // A temporary folder that is not there: no scratch folder can be made under it.
  std::wstring missing = folder.temp + L"\\gone";
  SetEnvironmentVariableW(L"TMP", missing.c_str());
  Load();
  host.AnswerMessage(0);
  size_t dialogs = host.dialogs.size();
  host.PanelSetDirectory(L"Control:");
  EXPECT_EQ(host.dialogs.size(), dialogs);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].lines,
            (std::vector<std::wstring>{L"Error", L"Can't create temp file",
                                       L"Can't create file \"" + missing + L"\\Handrel0000\\Control.txt\""}));
  EXPECT_FALSE(Exists(missing));
  host.ClosePanel();
}

int main(int argc, char** argv) {
  if (!handrel_test::ReadArgumentPaths(argc, argv, "handrel_control_tests", "Handrel.dll control.module",
                                       {&g_plugin, &g_module}))
    return 2;
  return RUN_ALL_TESTS();
}
