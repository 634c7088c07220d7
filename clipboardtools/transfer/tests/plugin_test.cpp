// Sheafer in the host stand-in under Wine, on the system's real clipboard: files copied, cut,
// pasted and linked between real folders.
#include <gtest/gtest.h>

#include "host/kel_shlobj.h"
#include <shellapi.h>

#include <chrono>
#include <thread>

#include "editortools/remarks/tests/plugin_support.h"
#include "standins/kelhost/kelhost.h"

using namespace kelhost;

namespace {

std::wstring Fresh(const std::wstring& name) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring dir = std::wstring(tmp) + name;
  SHFILEOPSTRUCTW op{};
  std::wstring from = dir + L'\0';
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
  SHFileOperationW(&op);
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

void Write(const std::wstring& path, const std::string& text) { std::ofstream(path.c_str(), std::ios::binary) << text; }
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The clipboard's file list and drop effect, read the plain way another program would.
std::vector<std::wstring> ClipboardFiles(DWORD* effect = nullptr) {
  std::vector<std::wstring> files;
  if (effect) *effect = 0;
  if (!OpenClipboard(nullptr)) return files;
  if (HANDLE h = GetClipboardData(CF_HDROP)) {
    auto drop = static_cast<HDROP>(h);
    UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
      wchar_t name[MAX_PATH];
      DragQueryFileW(drop, i, name, MAX_PATH);
      files.push_back(name);
    }
  }
  if (effect) {
    if (HANDLE h = GetClipboardData(RegisterClipboardFormatW(L"Preferred DropEffect"))) {
      if (auto* p = static_cast<DWORD*>(GlobalLock(h))) {
        *effect = *p;
        GlobalUnlock(h);
      }
    }
  }
  CloseClipboard();
  return files;
}

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

std::wstring LinkTarget(const std::wstring& lnk) {
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  wchar_t path[MAX_PATH] = L"";
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(lnk.c_str(), STGM_READ)))
      link->GetPath(path, MAX_PATH, nullptr, 0);
    if (file) file->Release();
    link->Release();
  }
  return path;
}

class Sheafer : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    host.onFailure = [](const std::wstring& f) { ADD_FAILURE() << Utf8(f); };
    from = Fresh(L"sheaf_from");
    to = Fresh(L"sheaf_to");
    Write(from + L"\\alpha.txt", "first file\r\n");
    Write(from + L"\\beta gamma.txt", std::string(70000, 'b'));
    Write(from + L"\\stay.txt", "not selected");
    plugin = host.Load(BesideTest(PLUGIN_FILE));
    ASSERT_NE(plugin, nullptr);
    host.ActivePanel().SetFolder(from);
  }
  void TearDown() override {
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      CloseClipboard();
    }
    OleUninitialize();
  }
  void Command(const std::wstring& text) {
    EXPECT_EQ(host.OpenPlugin(plugin, OPEN_COMMANDLINE, reinterpret_cast<intptr_t>(text.c_str())), INVALID_HANDLE_VALUE);
  }
  // The paste runs on the plugin's worker; the panel is refreshed through the synchronous event.
  void PasteInto(const std::wstring& folder, const std::vector<std::wstring>& expect) {
    host.ActivePanel().SetFolder(folder);
    int updates = host.ActivePanel().updates;
    Command(L"paste");
    EXPECT_TRUE(WaitFor([&] {
      for (const auto& name : expect)
        if (!Exists(folder + L"\\" + name)) return false;
      return true;
    }));
    EXPECT_TRUE(WaitFor([&] {
      host.DeliverSynchroEvents();
      return host.ActivePanel().updates > updates;
    }));
  }

  Host host;
  Plugin* plugin = nullptr;
  std::wstring from, to;
};

}  // namespace

TEST_F(Sheafer, ExportsMenuEntryAndPrefix) {
  EXPECT_EQ(ExportNames(plugin->module), (std::set<std::string>{"GetMinKelVersionW", "SetStartupInfoW", "GetPluginInfoW",
                                                                 "OpenPluginW", "ProcessSynchroEventW"}));
  auto minVersion = reinterpret_cast<int(KEL_API*)()>(plugin->Entry("GetMinKelVersionW"));
  EXPECT_EQ(static_cast<uint32_t>(minVersion()), 0x047C0200u);
  PluginInfoW info{};
  ASSERT_TRUE(host.GetPluginInfo(plugin, &info));
  EXPECT_EQ(info.StructSize, 44);
  ASSERT_EQ(info.PluginMenuStringsNumber, 1);
  EXPECT_STREQ(info.PluginMenuStrings[0], L"File clipboard");
  EXPECT_STREQ(info.CommandPrefix, L"sheaf");
}

TEST_F(Sheafer, CopyTwoNamedFilesThenPasteCopiesThem) {
  Command(L"copy alpha.txt \"beta gamma.txt\"");
  DWORD effect = 99;
  EXPECT_EQ(ClipboardFiles(&effect),
            (std::vector<std::wstring>{from + L"\\alpha.txt", from + L"\\beta gamma.txt"}));
  EXPECT_FALSE(effect & 2);
  EXPECT_TRUE(host.messages.empty());
  PasteInto(to, {L"alpha.txt", L"beta gamma.txt"});
  EXPECT_EQ(ReadBytes(to + L"\\alpha.txt"), "first file\r\n");
  EXPECT_TRUE(ReadBytes(to + L"\\beta gamma.txt") == std::string(70000, 'b'));
  EXPECT_TRUE(Exists(from + L"\\alpha.txt"));  // a copy leaves the sources
  EXPECT_FALSE(Exists(to + L"\\stay.txt"));
  EXPECT_EQ(ClipboardFiles().size(), 2u);       // and the clipboard as it was
}

TEST_F(Sheafer, CutFromTheMenuMarksTheSelectionForMoving) {
  host.ActivePanel().Select(L"alpha.txt");
  host.AnswerMenu(1);  // "cut" from the menu takes the panel's selection
  host.AnswerMessage(0);
  Command(L"");
  ASSERT_EQ(host.menus.size(), 1u);
  EXPECT_EQ(host.menus[0].title, L"File clipboard");
  EXPECT_EQ(host.menus[0].helpTopic, L"Use");
  EXPECT_TRUE(host.menus[0].flags & FMENU_WRAPMODE);
  EXPECT_EQ(host.menus[0].items.size(), 5u);
  EXPECT_TRUE(host.menus[0].itemFlags[2] & MIF_SEPARATOR);
  DWORD effect = 0;
  EXPECT_EQ(ClipboardFiles(&effect), std::vector<std::wstring>{from + L"\\alpha.txt"});
  if (host.messages.empty()) {
    EXPECT_TRUE(effect & 2);
  } else {
    // Wine's shell data object refuses data it did not make (SetData answers E_NOTIMPL), so the
    // move mark cannot be added there: the user is told, and the files stay on the clipboard to
    // be copied, losing nothing. Windows's data object takes it.
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].lines[1], L"The files could not be marked for moving (error 0x80004001)");
  }
}

// The clipboard as a shell window's Cut leaves it: the file list and the move mark.
void PutCutFiles(const std::vector<std::wstring>& paths) {
  std::wstring list;
  for (const auto& p : paths) list += p + L'\0';
  list += L'\0';
  HGLOBAL drop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  memcpy(header + 1, list.data(), list.size() * sizeof(wchar_t));
  GlobalUnlock(drop);
  HGLOBAL effect = GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
  *static_cast<DWORD*>(GlobalLock(effect)) = DROPEFFECT_MOVE;
  GlobalUnlock(effect);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  SetClipboardData(CF_HDROP, drop);
  SetClipboardData(RegisterClipboardFormatW(L"Preferred DropEffect"), effect);
  CloseClipboard();
}

TEST_F(Sheafer, PastingACutFileMovesItAndEmptiesTheClipboard) {
  PutCutFiles({from + L"\\beta gamma.txt"});
  PasteInto(to, {L"beta gamma.txt"});
  EXPECT_TRUE(WaitFor([&] { return !Exists(from + L"\\beta gamma.txt"); }));
  EXPECT_TRUE(ReadBytes(to + L"\\beta gamma.txt") == std::string(70000, 'b'));
  EXPECT_TRUE(Exists(from + L"\\stay.txt"));
  EXPECT_TRUE(ClipboardFiles().empty());
}

TEST_F(Sheafer, PastingSeveralCutFilesLosesNothing) {
  // Wine 8's shell file operation refuses to move several files into a folder (it answers
  // "cancelled" and moves none), where Windows moves them all. Either way each file must be in
  // exactly one of the two folders, whole.
  PutCutFiles({from + L"\\alpha.txt", from + L"\\beta gamma.txt"});
  host.ActivePanel().SetFolder(to);
  Command(L"paste");
  EXPECT_TRUE(WaitFor([&] {
    host.DeliverSynchroEvents();
    return host.ActivePanel().updates > 0;
  }));
  const std::pair<std::wstring, std::string> files[] = {{L"alpha.txt", "first file\r\n"},
                                                        {L"beta gamma.txt", std::string(70000, 'b')}};
  for (const auto& [name, content] : files) {
    bool here = Exists(from + L"\\" + name), there = Exists(to + L"\\" + name);
    EXPECT_NE(here, there) << Utf8(name);
    EXPECT_TRUE(ReadBytes((here ? from : to) + L"\\" + name) == content) << Utf8(name);
  }
  EXPECT_TRUE(ClipboardFiles().empty());
}

TEST_F(Sheafer, FileListFromAnotherProgramPastes) {
  std::wstring cmd = L"\"" + BesideTest(CLIPSOURCE_FILE) + L"\" \"" + from + L"\\alpha.txt\" \"" + from + L"\\stay.txt\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  WaitForSingleObject(pi.hProcess, 20000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  ASSERT_EQ(code, 0u);
  PasteInto(to, {L"alpha.txt", L"stay.txt"});
  EXPECT_EQ(ReadBytes(to + L"\\stay.txt"), "not selected");
}

TEST_F(Sheafer, LinkingTheSameFileTwiceNumbersTheSecondShortcut) {
  Command(L"copy \"beta gamma.txt\"");
  host.ActivePanel().SetFolder(to);
  Command(L"link");
  Command(L"LINK");
  EXPECT_TRUE(host.messages.empty());
  ASSERT_TRUE(Exists(to + L"\\beta gamma.lnk"));
  ASSERT_TRUE(Exists(to + L"\\beta gamma (2).lnk"));
  EXPECT_EQ(LinkTarget(to + L"\\beta gamma.lnk"), from + L"\\beta gamma.txt");
  EXPECT_EQ(LinkTarget(to + L"\\beta gamma (2).lnk"), from + L"\\beta gamma.txt");
  host.DeliverSynchroEvents();
}

TEST_F(Sheafer, FilesThatCannotGoOnTheClipboardAreCountedAndMenuEscDoesNothing) {
  host.AnswerMessage(0);
  Command(L"copy alpha.txt missing-one.txt missing-two.txt");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].helpTopic, L"Use");
  EXPECT_TRUE(host.messages[0].flags & FMSG_WARNING);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::wstring>{L"File clipboard", L"2 file(s) could not be put on the clipboard"}));
  EXPECT_EQ(host.messages[0].buttons, std::vector<std::wstring>{L"OK"});
  EXPECT_EQ(ClipboardFiles(), std::vector<std::wstring>{from + L"\\alpha.txt"});
  // The files' folder does not exist: nothing goes on the clipboard and the user is told.
  host.AnswerMessage(0);
  Command(L"copy C:\\no\\such\\folder\\x.txt");
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_NE(host.messages[1].lines[1].find(L"folder could not be opened"), std::wstring::npos);
  EXPECT_TRUE(ClipboardFiles().empty());
  host.AnswerMenu(-1);
  Command(L"unknown words");
  EXPECT_EQ(host.menus.size(), 1u);
  EXPECT_EQ(host.messages.size(), 2u);
}
