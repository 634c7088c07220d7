// What the tests of the plugin in the host stand-in share: a throwaway folder whose files hold
// their original names, the dialog helpers, and a fixture with the plugin loaded.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "renamer/core/settings.h"
#include "renamer/win/registry_store.h"
#include "standins/kelhost/editor.h"
#include "standins/kelhost/kelhost.h"

namespace quillet_harness {

using kelhost::DialogScript;
using kelhost::DialogView;

inline std::wstring g_pluginPath;
inline const std::u16string kKey = u"Quillet";

// A throwaway folder whose files hold their original names, so a swapped content shows.
class Folder {
 public:
  Folder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"quillet-ui-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++count_);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~Folder() {
    for (const auto& [name, content] : List()) {
      const std::wstring p = path_ + L"\\" + name;
      if (content == "<folder>") RemoveDirectoryW(p.c_str());
      else DeleteFileW(p.c_str());
    }
    RemoveDirectoryW(path_.c_str());
  }
  void File(const std::wstring& name) {
    HANDLE h = CreateFileW((path_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    const std::string content = kelhost::Utf8(name);
    DWORD written = 0;
    WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(h);
  }
  // name -> content ("<folder>" for folders).
  std::map<std::wstring, std::string> List() const {
    std::map<std::wstring, std::string> out;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return out;
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        out[name] = "<folder>";
        continue;
      }
      HANDLE h = CreateFileW((path_ + L"\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      char buffer[512];
      DWORD got = 0;
      ReadFile(h, buffer, sizeof buffer, &got, nullptr);
      CloseHandle(h);
      out[name] = std::string(buffer, got);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return out;
  }
  const std::wstring& Path() const { return path_; }

 private:
  static inline int count_ = 0;
  std::wstring path_;
};

using Files = std::map<std::wstring, std::string>;

inline int ItemWithText(const std::vector<kelhost::DialogItemState>& items, const std::wstring& text, int after = 0) {
  for (size_t i = size_t(after); i < items.size(); ++i)
    if (items[i].text == text) return int(i);
  ADD_FAILURE() << "no item \"" << kelhost::Utf8(text) << "\"";
  return -1;
}

// Waits until the running dialog closes by itself (the progress dialog when its job ends).
inline DialogScript UntilClosed() {
  return DialogScript().WaitUntil([](DialogView&) { return false; }, 20000);
}

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.onFailure = [](const std::wstring& what) { ADD_FAILURE() << kelhost::Utf8(what); };
    if (std::getenv("QUILLET_TRACE")) {
      host_.onTranscript = [](const std::wstring& line) { std::printf("%s\n", kelhost::Utf8(line).c_str()); };
    }
    plugin_ = host_.Load(g_pluginPath);
    ASSERT_NE(plugin_, nullptr);
    store_ = std::make_unique<quillet::RegistryStore>(host_.RootKey());
    store_->WriteDword(kKey, u"MultipleEntries", 1);  // 0 Manipulate, 1 Construct, 2 editor
  }
  const std::wstring& Text(int id) { return plugin_->messages.at(size_t(id)); }
  void Show(Folder& folder, std::initializer_list<const wchar_t*> selected) {
    host_.ActivePanel().SetFolder(folder.Path());
    for (const wchar_t* name : selected) host_.ActivePanel().Select(name);
  }
  // Makes the files in `folder` and shows them on the active panel, all selected.
  void ShowNew(Folder& folder, std::initializer_list<const wchar_t*> files) {
    for (const wchar_t* name : files) folder.File(name);
    Show(folder, files);
  }
  // The layout of a dialog (learned from a run the user cancels).
  std::vector<kelhost::DialogItemState> Layout(int entry) {
    host_.AnswerDialog(DialogScript().Key(KEY_ESC));
    host_.AnswerMessage(0);  // yes, close
    host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, entry);
    auto items = host_.dialogs.back().itemsAtOpen;
    host_.dialogs.clear();
    host_.messages.clear();
    return items;
  }
  std::wstring StatusOf(DialogView& v, int status) { return v.Item(status).text; }

  kelhost::Host host_;
  kelhost::Plugin* plugin_ = nullptr;
  std::unique_ptr<quillet::RegistryStore> store_;
};

// The editor session: replaces the lines with `lines` and saves; remembers the file's name.
inline kelhost::Host::EditorSession EditTo(std::vector<std::wstring> lines, std::wstring* file) {
  return [lines, file](kelhost::Editor& e) {
    if (file) *file = e.fileName;
    std::wstring text;
    for (const auto& l : lines) text += l + L"\n";
    e.SetText(text);
    e.modified = true;
    e.Save();
  };
}

// Loads the plugin named on the command line and runs the tests.
inline int RunAll(int argc, char** argv, const char* usage) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s\n", usage);
    return 2;
  }
  g_pluginPath = kelhost::Wide(argv[1]);
  return RUN_ALL_TESTS();
}

}  // namespace quillet_harness
