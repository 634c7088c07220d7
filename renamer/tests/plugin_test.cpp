// Quillet loaded into the host stand-in: its entries, its menu, the list it builds from the
// panel, and the configuration dialog writing the registry. Also the registry store itself,
// against the same rules the in-memory store follows.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "renamer/core/settings.h"
#include "renamer/tests/memory_store.h"
#include "renamer/win/registry_store.h"
#include "standins/kelhost/editor.h"
#include "standins/kelhost/kelhost.h"

namespace {

using namespace quillet;

std::wstring g_pluginPath;

const std::u16string kKey = u"Quillet";
const std::u16string kShortcuts = u"Quillet\\Shortcuts";
const std::u16string kHistory = u"Quillet\\TemplateHist";

// A throwaway folder of empty files and subfolders.
class Folder {
 public:
  Folder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"quillet-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++count_);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~Folder() {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryW((path_ + L"\\" + name).c_str());
        else DeleteFileW((path_ + L"\\" + name).c_str());
      } while (FindNextFileW(find, &fd));
      FindClose(find);
    }
    RemoveDirectoryW(path_.c_str());
  }
  void File(const std::wstring& name) {
    HANDLE h = CreateFileW((path_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
  }
  void Dir(const std::wstring& name) { CreateDirectoryW((path_ + L"\\" + name).c_str(), nullptr); }
  bool Exists(const std::wstring& name) const {
    return GetFileAttributesW((path_ + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  const std::wstring& Path() const { return path_; }

 private:
  static inline int count_ = 0;
  std::wstring path_;
};

class QuilletTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.onFailure = [](const std::wstring& what) { ADD_FAILURE() << kelhost::Utf8(what); };
    plugin_ = host_.Load(g_pluginPath);
    ASSERT_NE(plugin_, nullptr);
    store_ = std::make_unique<RegistryStore>(host_.RootKey());
  }

  std::vector<std::wstring> MenuEntries(std::vector<std::wstring>* config = nullptr) {
    PluginInfoW info{};
    EXPECT_TRUE(host_.GetPluginInfo(plugin_, &info));
    std::vector<std::wstring> entries;
    for (int i = 0; i < info.PluginMenuStringsNumber; ++i) entries.push_back(info.PluginMenuStrings[i]);
    if (config) {
      config->clear();
      for (int i = 0; i < info.PluginConfigStringsNumber; ++i) config->push_back(info.PluginConfigStrings[i]);
    }
    return entries;
  }
  const std::wstring& Text(int id) { return plugin_->messages.at(size_t(id)); }

  // The configuration dialog's item showing the label of message `id` (learned from a first
  // run that the user leaves with Esc).
  int ConfigItem(int id) {
    if (layout_.empty()) {
      host_.AnswerDialog(kelhost::DialogScript().Key(KEY_ESC));
      EXPECT_EQ(host_.Configure(plugin_, 0), 0);
      layout_ = host_.dialogs.back().itemsAtOpen;
    }
    return ItemWithText(id, 0);
  }
  // The first item at or after `from` showing the label of message `id`.
  int ItemWithText(int id, int from) {
    for (size_t i = size_t(from); i < layout_.size(); ++i)
      if (layout_[i].text == Text(id)) return int(i);
    ADD_FAILURE() << "no item for message " << id;
    return -1;
  }

  kelhost::Host host_;
  kelhost::Plugin* plugin_ = nullptr;
  std::unique_ptr<RegistryStore> store_;
  std::vector<kelhost::DialogItemState> layout_;
};

TEST_F(QuilletTest, ExportsExactlyItsSixEntries) {
  for (const char* name : {"GetMinKelVersionW", "SetStartupInfoW", "GetPluginInfoW", "OpenPluginW", "ConfigureW", "ExitKELW"})
    EXPECT_NE(plugin_->Entry(name), nullptr) << name;
  for (const char* name : {"ProcessEditorInputW", "ProcessDialogEventW", "OpenFilePluginW", "ProcessSynchroEventW"})
    EXPECT_EQ(plugin_->Entry(name), nullptr) << name;
  auto minVersion = reinterpret_cast<int(KEL_API*)()>(plugin_->Entry("GetMinKelVersionW"));
  EXPECT_EQ(uint32_t(minVersion()), 0x067A0200u);
}

TEST_F(QuilletTest, LanguageFileHoldsEveryMessage) {
  ASSERT_GE(plugin_->messages.size(), 149u);
  EXPECT_EQ(Text(1), L"Quillet");
  EXPECT_EQ(Text(86), L"Quillet configuration");
  EXPECT_EQ(Text(147), L"Reset line %u to \"%s\"?");
}

TEST_F(QuilletTest, FirstStartWritesTheDefaults) {
  EXPECT_EQ(store_->ReadDword(kKey, u"EditorEntry"), 1u);
  EXPECT_EQ(store_->ReadDword(kKey, u"AutoResolveMax"), 0xFFFFFFFFu);
  EXPECT_EQ(store_->ReadDword(kKey, u"PreviewDupMax"), 1000u);
  EXPECT_EQ(store_->ReadDword(kShortcuts, u"KeyConstHex"), 0x2000048u);
  EXPECT_EQ(store_->ReadString(kKey, u"WordDelimitChars", 4096), std::u16string(kDefaultWordDelimiters) + u'\0');
  EXPECT_EQ(store_->EnumValues(kKey).size(), 37u);
  EXPECT_EQ(store_->EnumValues(kShortcuts).size(), 23u);
  EXPECT_TRUE(store_->OpenKey(kHistory));
}

TEST_F(QuilletTest, MenuEntriesFollowTheSettings) {
  std::vector<std::wstring> config;
  EXPECT_EQ(MenuEntries(&config), (std::vector<std::wstring>{Text(1), Text(4)}));
  EXPECT_EQ(config, (std::vector<std::wstring>{Text(1)}));
  // The menu is built from the registry each time: another instance's change shows at once.
  store_->WriteDword(kKey, u"MultipleEntries", 1);
  EXPECT_EQ(MenuEntries(), (std::vector<std::wstring>{Text(2), Text(3), Text(4)}));
  store_->WriteDword(kKey, u"EditorEntry", 0);
  EXPECT_EQ(MenuEntries(), (std::vector<std::wstring>{Text(2), Text(3)}));
  store_->WriteDword(kKey, u"MultipleEntries", 0);
  EXPECT_EQ(MenuEntries(), (std::vector<std::wstring>{Text(1)}));
}

TEST_F(QuilletTest, UnreadableSettingsGiveNoEntriesAndNoDialog) {
  ASSERT_TRUE(store_->DeleteKey(kShortcuts));
  std::vector<std::wstring> config;
  EXPECT_TRUE(MenuEntries(&config).empty());
  EXPECT_TRUE(config.empty());
  EXPECT_EQ(host_.Configure(plugin_, 0), 0);
  EXPECT_TRUE(host_.dialogs.empty());
}

TEST_F(QuilletTest, NothingToRenameShowsTheEmptySelectionMessage) {
  Folder folder;
  folder.Dir(L"photos");
  host_.ActivePanel().SetFolder(folder.Path());
  host_.ActivePanel().Select(L"photos");  // folders are left out while "RenameFolders" is off
  host_.AnswerMessage(0);
  EXPECT_EQ(host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 0), INVALID_HANDLE_VALUE);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].lines, (std::vector<std::wstring>{Text(1), Text(5)}));
  EXPECT_TRUE(host_.dialogs.empty());
}

// Leaves a rename dialog with Esc (and Yes to the question), or the editor with "*" on the first
// line; records which one opened.
std::wstring LeaveWhatOpens(kelhost::Host& host, kelhost::Plugin* plugin, intptr_t entry, bool editorExpected = false) {
  const size_t dialogs = host.dialogs.size();
  auto editor = std::make_shared<bool>(false);
  if (editorExpected) {
    host.AnswerEditor([editor](kelhost::Editor& e) {
      *editor = true;
      e.SetText(L"*\n");
      e.modified = true;
      e.Save();
    });
  } else {
    host.AnswerDialog(kelhost::DialogScript().Key(KEY_ESC));
    host.AnswerMessage(0);
  }
  host.OpenPlugin(plugin, OPEN_PLUGINSMENU, entry);
  if (*editor) return L"editor";
  return host.dialogs.size() > dialogs ? host.dialogs.back().helpTopic + L" " + host.dialogs.back().itemsAtOpen[0].text
                                       : L"nothing";
}

TEST_F(QuilletTest, ChoosingAnEntryOpensItsDialogOrTheEditorWithTheList) {
  Folder folder;
  folder.File(L"a.jpg");
  folder.File(L"b.jpg");
  folder.Dir(L"sub");
  store_->WriteDword(kKey, u"MultipleEntries", 1);
  host_.ActivePanel().SetFolder(folder.Path());
  host_.ActivePanel().SelectAll();
  // The folder is left out of the list while "RenameFolders" is off.
  EXPECT_EQ(LeaveWhatOpens(host_, plugin_, 0), L"ManipulateDialog Manipulate 2 of 3 selected items");
  EXPECT_EQ(LeaveWhatOpens(host_, plugin_, 1), L"ConstructDialog Rename 2 of 3 selected items");
  EXPECT_EQ(LeaveWhatOpens(host_, plugin_, 2, true), L"editor");
  store_->WriteDword(kKey, u"RenameFolders", 1);
  EXPECT_EQ(LeaveWhatOpens(host_, plugin_, 1), L"ConstructDialog Rename 3 of 3 selected items");
  EXPECT_TRUE(folder.Exists(L"a.jpg") && folder.Exists(L"b.jpg") && folder.Exists(L"sub"));
  // Entries the menu does not have do nothing.
  store_->WriteDword(kKey, u"EditorEntry", 0);
  const size_t shown = host_.messages.size();
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  EXPECT_EQ(host_.messages.size(), shown);
}

TEST_F(QuilletTest, SingleEntryOpensTheLastOrTheDefaultDialog) {
  Folder folder;
  folder.File(L"a.jpg");
  host_.ActivePanel().SetFolder(folder.Path());
  host_.ActivePanel().Select(L"a.jpg");
  struct Case {
    uint32_t saveLast, last, defaultType;
    const wchar_t* expected;
  } cases[] = {{1, 1, 0, L"ConstructDialog"}, {1, 0, 1, L"ManipulateDialog"}, {0, 1, 0, L"ManipulateDialog"},
               {0, 0, 1, L"ConstructDialog"}};
  for (const Case& c : cases) {
    store_->WriteDword(kKey, u"SaveLastDialogType", c.saveLast);
    store_->WriteDword(kKey, u"LastDialogType", c.last);
    store_->WriteDword(kKey, u"DefaultDialogType", c.defaultType);
    EXPECT_EQ(LeaveWhatOpens(host_, plugin_, 0).substr(0, wcslen(c.expected)), c.expected);
  }
  // Without multiple entries, 1 is the editor.
  EXPECT_EQ(LeaveWhatOpens(host_, plugin_, 1, true), L"editor");
}

TEST_F(QuilletTest, ConfigurationDialogConvertsAndSavesItsValues) {
  const int multiple = ConfigItem(99), delimiters = ConfigItem(105) + 1, resolveMax = ConfigItem(121) + 1,
            historyMax = ConfigItem(123) + 1, construct = ConfigItem(103), suffix = ConfigItem(120),
            filesFirst = ConfigItem(129), save = ConfigItem(131);
  ASSERT_EQ(host_.dialogs.back().x2 - host_.dialogs.back().x1 + 1, 84);
  ASSERT_EQ(host_.dialogs.back().y2 - host_.dialogs.back().y1 + 1, 35);
  EXPECT_EQ(host_.dialogs.back().helpTopic, L"Config");
  EXPECT_EQ(layout_[size_t(resolveMax)].text, L"4294967295");
  EXPECT_EQ(layout_[size_t(delimiters)].text, std::wstring(kDefaultWordDelimiters.begin(), kDefaultWordDelimiters.end()));

  host_.AnswerDialog(kelhost::DialogScript()
                         .Click(multiple)
                         .Type(delimiters, L"")
                         .Type(resolveMax, L"0")
                         .Type(historyMax, L"0")
                         .Click(construct)
                         .Click(suffix)
                         .Click(filesFirst)
                         .Click(save));
  EXPECT_EQ(host_.Configure(plugin_, 0), 1);
  EXPECT_EQ(store_->ReadDword(kKey, u"MultipleEntries"), 1u);
  EXPECT_EQ(store_->ReadDword(kKey, u"AutoResolveMax"), 0xFFFFFFFEu);
  EXPECT_EQ(store_->ReadDword(kKey, u"TemplateHistoryMax"), 1u);
  EXPECT_EQ(store_->ReadDword(kKey, u"DefaultDialogType"), 1u);
  EXPECT_EQ(store_->ReadDword(kKey, u"AutoResolveSuffix"), 2u);
  EXPECT_EQ(store_->ReadDword(kKey, u"SequenceProcessOrder"), 1u);
  EXPECT_EQ(store_->ReadString(kKey, u"WordDelimitChars", 4096), std::u16string(kDefaultWordDelimiters) + u'\0');
  // Untouched values stay as they were.
  EXPECT_EQ(store_->ReadDword(kKey, u"RenameDupMax"), 1000u);
  EXPECT_EQ(store_->ReadDword(kShortcuts, u"KeyPreview"), 0x10074u);
  EXPECT_EQ(MenuEntries(), (std::vector<std::wstring>{Text(2), Text(3), Text(4)}));
}

// Every value of the configuration dialog, changed through the dialog, reaches the registry:
// each check box flipped, each radio group set to its last choice, each number field set to 7,
// the delimiters to "_-". The controls are found by their labels, in the order of the table.
TEST_F(QuilletTest, EveryValueOfTheConfigurationDialogIsSaved) {
  ConfigItem(86);
  kelhost::DialogScript script;
  int from = 0;
  auto find = [&](int message) {
    from = ItemWithText(message, from);
    return from;
  };
  std::vector<std::pair<const SettingRow*, uint32_t>> expected;
  for (const SettingRow& row : SettingRows()) {
    if (!row.name) continue;
    switch (row.control) {
      case Control::kCheck:
        script.Click(find(row.message));
        expected.push_back({&row, Settings{}.*row.number ? 0u : 1u});
        break;
      case Control::kRadios:
        if (row.message >= 0) find(row.message);
        for (uint32_t c = 0; c < row.choiceCount; ++c) find(row.choices[c].message);
        script.Click(from);
        expected.push_back({&row, row.choiceCount - 1});
        break;
      case Control::kEdit:
        script.Type(find(row.message) + 1, row.kind == RowKind::kText ? L"_-" : L"7");
        if (row.kind != RowKind::kText) expected.push_back({&row, 7u});
        break;
      default:
        break;
    }
  }
  script.Click(find(131));
  host_.AnswerDialog(script);
  EXPECT_EQ(host_.Configure(plugin_, 0), 1);
  EXPECT_EQ(expected.size(), 31u);  // 23 check boxes, 4 radio groups, 4 number fields
  for (const auto& [row, value] : expected) {
    EXPECT_EQ(store_->ReadDword(row->shortcuts ? kShortcuts : kKey, row->name), value)
        << kelhost::Utf8(std::wstring(row->name, row->name + std::char_traits<char16_t>::length(row->name)));
  }
  EXPECT_EQ(store_->ReadString(kKey, u"WordDelimitChars", 4096), std::u16string(u"_-") + u'\0');
}

// The product carries neither the tests' stand-ins (the in-memory settings store, the pairwise
// duplicate check) nor the fault points of its test build.
TEST_F(QuilletTest, TheProductShipsNoTestDoubles) {
  auto bytes = [](const std::wstring& path) {
    std::string data;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return data;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
    CloseHandle(h);
    return data;
  };
  const std::string product = bytes(g_pluginPath);
  ASSERT_GT(product.size(), 10000u);
  for (const char* name : {"MemoryStore", "DuplicateCheckQuadratic", "QUILLET_FAULT", "injected fault"})
    EXPECT_EQ(product.find(name), std::string::npos) << name;
  // The test build beside it does carry its fault points, so the search above can find them.
  const std::wstring faults = g_pluginPath.substr(0, g_pluginPath.find_last_of(L"\\/") + 1) + L"QuilletFaults.dll";
  EXPECT_NE(bytes(faults).find("QUILLET_FAULT"), std::string::npos);
}

TEST_F(QuilletTest, CancelLeavesTheRegistryAlone) {
  const int multiple = ConfigItem(99), cancel = ConfigItem(132);
  host_.AnswerDialog(kelhost::DialogScript().Click(multiple).Click(cancel));
  EXPECT_EQ(host_.Configure(plugin_, 0), 0);
  EXPECT_EQ(store_->ReadDword(kKey, u"MultipleEntries"), 0u);
}

TEST_F(QuilletTest, ClearingTheHistoryAsksFirst) {
  Settings s;
  ASSERT_TRUE(LoadSettings(*store_, &s));
  s.history = {u"IMG_???", u"*_/"};
  s.templateHistoryCnt = 2;
  ASSERT_TRUE(SaveSettings(*store_, s));
  const int clear = ConfigItem(124), save = ConfigItem(131);

  host_.AnswerDialog(kelhost::DialogScript().Click(clear).Click(save));
  host_.AnswerMessage(1);  // No
  EXPECT_EQ(host_.Configure(plugin_, 0), 1);
  ASSERT_FALSE(host_.messages.empty());
  EXPECT_EQ(host_.messages.back().lines.at(1), Text(134));
  EXPECT_EQ(host_.messages.back().helpTopic, L"DialogMessages");
  EXPECT_EQ(store_->ReadDword(kKey, u"TemplateHistoryCnt"), 2u);

  host_.AnswerDialog(kelhost::DialogScript().Click(clear).Click(save));
  host_.AnswerMessage(0);  // Yes
  EXPECT_EQ(host_.Configure(plugin_, 0), 1);
  EXPECT_EQ(store_->ReadDword(kKey, u"TemplateHistoryCnt"), 0u);
  EXPECT_TRUE(store_->EnumValues(kHistory).empty());
}

// ---- The registry store follows the rules the in-memory store is tested with -----------------

TEST_F(QuilletTest, RegistryHistoryWithAMissingEntryReadsAsStar) {
  store_->WriteDword(kKey, u"TemplateHistoryCnt", 3);
  store_->WriteString(kHistory, u"0", u"first");
  store_->WriteString(kHistory, u"2", u"third");
  Settings s;
  ASSERT_TRUE(LoadSettings(*store_, &s));
  EXPECT_EQ(s.history, (std::vector<std::u16string>{u"first", u"*", u"third"}));
}

TEST_F(QuilletTest, RegistrySaveWithAWrongCountWritesNothing) {
  Settings s;
  ASSERT_TRUE(LoadSettings(*store_, &s));
  s.multipleEntries = 1;
  s.history = {u"a"};
  s.templateHistoryCnt = 2;
  EXPECT_FALSE(SaveSettings(*store_, s));
  EXPECT_EQ(store_->ReadDword(kKey, u"MultipleEntries"), 0u);
  s.templateHistoryCnt = 1;
  EXPECT_TRUE(SaveSettings(*store_, s));
  EXPECT_EQ(store_->ReadDword(kKey, u"MultipleEntries"), 1u);
  EXPECT_EQ(store_->EnumValues(kHistory), (std::vector<std::u16string>{u"0"}));
}

TEST_F(QuilletTest, RegistryStoreBehavesLikeTheMemoryStore) {
  MemoryStore memory;
  for (SettingsStore* store : std::initializer_list<SettingsStore*>{store_.get(), &memory}) {
    const std::u16string key = u"Conformance\\Sub";
    EXPECT_FALSE(store->OpenKey(key));
    EXPECT_FALSE(store->WriteDword(key, u"v", 1));  // no key, no value
    ASSERT_TRUE(store->CreateKey(key));
    EXPECT_TRUE(store->OpenKey(u"Conformance"));  // parents come with the child
    EXPECT_TRUE(store->WriteDword(key, u"n", 7));
    EXPECT_TRUE(store->WriteString(key, u"s", u"ab"));
    EXPECT_EQ(store->ReadDword(key, u"n"), 7u);
    EXPECT_FALSE(store->ReadDword(key, u"s").has_value());  // wrong type counts as missing
    EXPECT_EQ(store->ReadString(key, u"s", 4096), std::u16string(u"ab\0", 3));
    EXPECT_FALSE(store->ReadString(key, u"s", 4).has_value());  // longer than allowed
    EXPECT_EQ(store->EnumValues(key).size(), 2u);
    EXPECT_FALSE(store->DeleteKey(u"Conformance"));  // still has a subkey
    EXPECT_TRUE(store->DeleteKey(key));
    EXPECT_TRUE(store->DeleteKey(u"Conformance"));
    EXPECT_FALSE(store->OpenKey(u"Conformance"));
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet_plugin_test PATH-TO-Quillet.dll\n");
    return 2;
  }
  g_pluginPath = kelhost::Wide(argv[1]);
  return RUN_ALL_TESTS();
}
