// Quillet end to end in the host stand-in: files selected on a panel over a real folder are
// renamed through the Construct and Manipulate dialogs and through the editor, with previews,
// conflict prompts, the summary, rollback and the panel's selection afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>

#include "renamer/core/settings.h"
#include "renamer/win/registry_store.h"
#include "standins/kelhost/editor.h"
#include "standins/kelhost/kelhost.h"

namespace {

using namespace quillet;
using kelhost::DialogScript;
using kelhost::DialogView;

std::wstring g_pluginPath;
const std::u16string kKey = u"Quillet";

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

int ItemWithText(const std::vector<kelhost::DialogItemState>& items, const std::wstring& text, int after = 0) {
  for (size_t i = size_t(after); i < items.size(); ++i)
    if (items[i].text == text) return int(i);
  ADD_FAILURE() << "no item \"" << kelhost::Utf8(text) << "\"";
  return -1;
}

// Waits until the running dialog closes by itself (the progress dialog when its job ends).
DialogScript UntilClosed() {
  return DialogScript().WaitUntil([](DialogView&) { return false; }, 20000);
}

class QuilletDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.onFailure = [](const std::wstring& what) { ADD_FAILURE() << kelhost::Utf8(what); };
    if (std::getenv("QUILLET_TRACE")) {
      host_.onTranscript = [](const std::wstring& line) { std::printf("%s\n", kelhost::Utf8(line).c_str()); };
    }
    plugin_ = host_.Load(g_pluginPath);
    ASSERT_NE(plugin_, nullptr);
    store_ = std::make_unique<RegistryStore>(host_.RootKey());
    store_->WriteDword(kKey, u"MultipleEntries", 1);  // 0 Manipulate, 1 Construct, 2 editor
  }
  const std::wstring& Text(int id) { return plugin_->messages.at(size_t(id)); }
  void Show(Folder& folder, std::initializer_list<const wchar_t*> selected) {
    host_.ActivePanel().SetFolder(folder.Path());
    for (const wchar_t* name : selected) host_.ActivePanel().Select(name);
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
  std::unique_ptr<RegistryStore> store_;
};

TEST_F(QuilletDialogs, ConstructPreviewsThenRenamesWithATemplateAndRemembersIt) {
  Folder folder;
  for (auto n : {L"a.jpg", L"b.jpg", L"c.txt", L"other.doc"}) folder.File(n);
  Show(folder, {L"a.jpg", L"b.jpg", L"c.txt"});
  const auto layout = Layout(1);
  const int templ = ItemWithText(layout, Text(25)) + 1, start = ItemWithText(layout, Text(26)) + 1;
  const int preview = ItemWithText(layout, Text(14));
  ASSERT_EQ(layout[size_t(templ)].type, DI_COMBOBOX);
  const int status = ItemWithText(layout, Text(15)) + 1, list = status + 2;
  EXPECT_EQ(layout[0].text, L"Rename 3 of 3 selected items");

  std::vector<std::wstring> rows;
  std::wstring previewLine;
  host_.AnswerDialog(DialogScript()
                         .Type(templ, L"Photo_???")
                         .Type(start, L"7")
                         .Check([&](DialogView& v) {
                           for (int i = 0; i < v.ItemCount(); ++i)
                             if (v.Item(i).text == L"Photo_007.jpg") previewLine = v.Item(i).text;
                         })
                         .Click(preview)
                         .WaitUntil([&](DialogView& v) { return StatusOf(v, status).find(Text(17)) != std::wstring::npos; })
                         .Check([&](DialogView& v) { rows = v.Item(list).list; })
                         .Key(KEY_ENTER)
                         .WaitUntil([](DialogView&) { return false; }));
  host_.AnswerMessage(0);  // yes, rename
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 1);

  EXPECT_EQ(previewLine, L"Photo_007.jpg");
  EXPECT_EQ(rows, (std::vector<std::wstring>{L"Photo_007.jpg", L"Photo_008.jpg", L"Photo_009.txt"}));
  EXPECT_EQ(folder.List(), (Files{{L"Photo_007.jpg", "a.jpg"}, {L"Photo_008.jpg", "b.jpg"}, {L"Photo_009.txt", "c.txt"},
                                  {L"other.doc", "other.doc"}}));
  ASSERT_EQ(host_.dialogs.size(), 2u);
  EXPECT_EQ(host_.dialogs[0].helpTopic, L"ConstructDialog");
  EXPECT_EQ(host_.dialogs[0].x2 - host_.dialogs[0].x1 + 1, 92);
  EXPECT_EQ(host_.dialogs[0].y2 - host_.dialogs[0].y1 + 1, 21);
  EXPECT_EQ(host_.dialogs[1].helpTopic, L"Rename");
  EXPECT_EQ(host_.dialogs[1].x2 - host_.dialogs[1].x1 + 1, 63);
  EXPECT_EQ(host_.dialogs[1].y2 - host_.dialogs[1].y1 + 1, 13);
  // No summary after a clean run ("SummaryOnErrorOnly"); the panel shows the new names.
  EXPECT_EQ(host_.messages.size(), 1u);
  EXPECT_TRUE(host_.ActivePanel().SelectedNames().empty());
  EXPECT_GE(host_.ActivePanel().updates, 1);
  EXPECT_EQ(store_->ReadDword(kKey, u"LastDialogType"), 1u);
  EXPECT_EQ(store_->ReadDword(kKey, u"LastSeqStart"), 7u);
  EXPECT_EQ(store_->ReadString(u"Quillet\\TemplateHist", u"0", 4096), std::u16string(u"Photo_???") + u'\0');
}

TEST_F(QuilletDialogs, PreviewMarksDuplicatesAndAnInputChangeMakesItStale) {
  Folder folder;
  for (auto n : {L"a.txt", L"a.doc", L"b.txt"}) folder.File(n);
  Show(folder, {L"a.txt", L"a.doc", L"b.txt"});
  const auto layout = Layout(1);
  const int templ = ItemWithText(layout, Text(25)) + 1, extBox = ItemWithText(layout, Text(28));
  const int preview = ItemWithText(layout, Text(14)), status = ItemWithText(layout, Text(15)) + 1, list = status + 2;
  std::wstring statusAfterPreview, statusAfterChange;
  std::vector<uint32_t> flags;
  std::vector<std::wstring> rows;
  host_.AnswerDialog(DialogScript()
                         .Click(extBox)  // the template includes the extension: "*" drops it
                         .Click(preview)
                         .WaitUntil([&](DialogView& v) { return v.Item(status).text.find(L"duplicates found") != std::wstring::npos; })
                         .Check([&](DialogView& v) {
                           statusAfterPreview = v.Item(status).text;
                           rows = v.Item(list).list;
                           flags = v.Item(list).listFlags;
                         })
                         .Type(templ, L"*_")
                         .Check([&](DialogView& v) { statusAfterChange = v.Item(status).text; })
                         .Key(KEY_ESC));
  host_.AnswerMessage(0);  // yes, close
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 1);
  EXPECT_EQ(statusAfterPreview, L"Status: preview ready, 2 duplicates found");
  EXPECT_EQ(rows, (std::vector<std::wstring>{L"a", L"a", L"b"}));
  ASSERT_EQ(flags.size(), 3u);
  EXPECT_TRUE(flags[0] & LIF_CHECKED);
  EXPECT_TRUE(flags[1] & LIF_CHECKED);
  EXPECT_FALSE(flags[2] & LIF_CHECKED);
  EXPECT_EQ(statusAfterChange, L"Status: " + Text(19));
  EXPECT_EQ(folder.List().size(), 3u);
  EXPECT_TRUE(folder.List().count(L"a.txt"));
}

TEST_F(QuilletDialogs, ManipulateAddsAPrefixAfterSwitchingFromConstruct) {
  Folder folder;
  for (auto n : {L"one.txt", L"two.txt"}) folder.File(n);
  Show(folder, {L"one.txt", L"two.txt"});
  store_->WriteDword(kKey, u"ConfirmSwitch", 0);
  store_->WriteDword(kKey, u"ConfirmRename", 0);
  const auto construct = Layout(1);
  const auto manipulate = Layout(0);
  const int prefixBox = ItemWithText(manipulate, Text(37)), prefix = prefixBox + 2;  // box, key hint, field
  ASSERT_EQ(manipulate[size_t(prefix)].type, DI_EDIT);
  const int rename = ItemWithText(manipulate, Text(13));
  const int switchButton = ItemWithText(construct, Text(15));

  host_.AnswerDialog(DialogScript().Click(switchButton));  // the Construct dialog first, then Switch
  host_.AnswerDialog(DialogScript()
                         .Key(KEY_ALT | 'P')  // toggles the Prefix box
                         .Type(prefix, L"new_")
                         .Click(rename)
                         .WaitUntil([](DialogView&) { return false; }));
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 1);
  EXPECT_EQ(folder.List(), (Files{{L"new_one.txt", "one.txt"}, {L"new_two.txt", "two.txt"}}));
  EXPECT_EQ(store_->ReadDword(kKey, u"LastDialogType"), 0u);
}

TEST_F(QuilletDialogs, ManipulateRefusesOptionsThatChangeNothing) {
  Folder folder;
  folder.File(L"x.txt");
  Show(folder, {L"x.txt"});
  const auto layout = Layout(0);
  const int preview = ItemWithText(layout, Text(14)), replaceBox = ItemWithText(layout, Text(35));
  int focus = -1;
  host_.AnswerDialog(DialogScript()
                         .Click(preview)
                         .Check([&](DialogView& v) { focus = v.Focus(); })
                         .Key(KEY_ESC));
  host_.AnswerMessage(0);  // the error
  host_.AnswerMessage(0);  // yes, close
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 0);
  ASSERT_GE(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].lines.at(1), Text(55));
  EXPECT_EQ(host_.messages[0].helpTopic, L"ManipulateDialogErrors");
  EXPECT_EQ(focus, replaceBox);
}

// The editor session: replaces the lines with `lines` and saves; remembers the file's name.
kelhost::Host::EditorSession EditTo(std::vector<std::wstring> lines, std::wstring* file) {
  return [lines, file](kelhost::Editor& e) {
    if (file) *file = e.fileName;
    std::wstring text;
    for (const auto& l : lines) text += l + L"\n";
    e.SetText(text);
    e.modified = true;
    e.Save();
  };
}

TEST_F(QuilletDialogs, EditorSwapResolvedThroughThePrompt) {
  Folder folder;
  for (auto n : {L"a.txt", L"b.txt"}) folder.File(n);
  Show(folder, {L"a.txt", L"b.txt"});
  std::wstring temp;
  host_.AnswerEditor(EditTo({L"b.txt", L"a.txt"}, &temp));
  host_.AnswerDialog(UntilClosed());
  host_.AnswerMessage(1);  // the conflict prompt for a.txt: Resolve
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  EXPECT_EQ(folder.List(), (Files{{L"a.txt", "b.txt"}, {L"b (0).txt", "a.txt"}}));
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].helpTopic, L"RenameProblems");
  EXPECT_EQ(host_.messages[0].buttons.size(), 5u);
  EXPECT_NE(temp.find(L"QL_"), std::wstring::npos);
  EXPECT_EQ(GetFileAttributesW(temp.c_str()), INVALID_FILE_ATTRIBUTES) << "the temporary file is deleted";
}

TEST_F(QuilletDialogs, SkippedConflictShowsTheSummaryAndRollbackRestoresEverything) {
  Folder folder;
  for (auto n : {L"a.txt", L"b.txt", L"c.txt", L"taken.txt"}) folder.File(n);
  Show(folder, {L"a.txt", L"b.txt", L"c.txt"});
  host_.AnswerEditor(EditTo({L"c.txt", L"taken.txt", L"d.txt"}, nullptr));
  host_.AnswerDialog(UntilClosed());
  host_.AnswerMessage(3);  // b.txt -> taken.txt: Skip
  host_.AnswerMessage(1);  // the summary: Roll back
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  ASSERT_EQ(host_.messages.size(), 2u);
  EXPECT_EQ(host_.messages[1].helpTopic, L"Rename");
  EXPECT_EQ(host_.messages[1].buttons.at(1), Text(44));
  EXPECT_EQ(folder.List(),
            (Files{{L"a.txt", "a.txt"}, {L"b.txt", "b.txt"}, {L"c.txt", "c.txt"}, {L"taken.txt", "taken.txt"}}));
}

TEST_F(QuilletDialogs, AfterProblemsExactlyTheFailedItemsStaySelected) {
  Folder folder;
  for (auto n : {L"a.txt", L"b.txt", L"c.txt", L"taken.txt"}) folder.File(n);
  Show(folder, {L"a.txt", L"b.txt", L"c.txt"});
  host_.AnswerEditor(EditTo({L"x.txt", L"taken.txt", L"y:z"}, nullptr));
  host_.AnswerMessage(1);  // 1 invalid name: rename the others
  host_.AnswerDialog(UntilClosed());
  host_.AnswerMessage(3);  // b.txt -> taken.txt: Skip
  host_.AnswerMessage(0);  // the summary: no rollback
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  EXPECT_EQ(host_.messages.at(0).lines.at(1), L"1 lines hold invalid names");
  EXPECT_EQ(folder.List(),
            (Files{{L"x.txt", "a.txt"}, {L"b.txt", "b.txt"}, {L"c.txt", "c.txt"}, {L"taken.txt", "taken.txt"}}));
  auto selected = host_.ActivePanel().SelectedNames();
  std::sort(selected.begin(), selected.end());
  EXPECT_EQ(selected, (std::vector<std::wstring>{L"b.txt", L"c.txt"}));
}

TEST_F(QuilletDialogs, EditorLineCountMismatchAndAStarLineRenameNothing) {
  Folder folder;
  for (auto n : {L"a.txt", L"b.txt"}) folder.File(n);
  Show(folder, {L"a.txt", L"b.txt"});
  host_.AnswerEditor(EditTo({L"only.txt"}, nullptr));
  host_.AnswerMessage(0);  // edit again
  host_.AnswerEditor(EditTo({L"*", L"x"}, nullptr));
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].lines.at(1), L"The list has fewer lines than items. Edit it again?");
  EXPECT_EQ(folder.List(), (Files{{L"a.txt", "a.txt"}, {L"b.txt", "b.txt"}}));
}

TEST_F(QuilletDialogs, EditorMenuResetsAllLinesAndDropsExtraOnes) {
  Folder folder;
  for (auto n : {L"a.txt", L"b.txt"}) folder.File(n);
  Show(folder, {L"a.txt", L"b.txt"});
  std::wstring before, after;
  PluginInfoW menu{};
  host_.AnswerEditor([&](kelhost::Editor& e) {
    e.SetText(L"x\ny\nextra one\nextra two\n");
    before = e.Text();
    EXPECT_TRUE(host_.GetPluginInfo(plugin_, &menu));
    host_.AnswerMessage(0);  // yes, reset all
    host_.OpenPlugin(plugin_, OPEN_EDITOR, 3);
    after = e.Text();
    e.modified = true;
    e.Save();
  });
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  EXPECT_EQ(menu.Flags, uint32_t(PF_DISABLEPANELS | PF_EDITOR));
  EXPECT_EQ(menu.PluginMenuStringsNumber, 4);
  EXPECT_EQ(after.substr(0, 12), L"a.txt\nb.txt");
  EXPECT_EQ(after.find(L"extra"), std::wstring::npos);
  EXPECT_EQ(folder.List(), (Files{{L"a.txt", "a.txt"}, {L"b.txt", "b.txt"}}));
}

TEST_F(QuilletDialogs, EditorMenuShowsTheLinesItemAndResetsOneLine) {
  Folder folder;
  for (auto n : {L"a.txt", L"b.txt"}) folder.File(n);
  Show(folder, {L"a.txt", L"b.txt"});
  std::wstring after;
  host_.AnswerEditor([&](kelhost::Editor& e) {
    e.SetText(L"first\nsecond\n");
    e.curLine = 1;
    host_.AnswerMessage(0);
    host_.OpenPlugin(plugin_, OPEN_EDITOR, 0);  // which item is line 2?
    host_.AnswerMessage(0);                     // yes, reset it
    host_.OpenPlugin(plugin_, OPEN_EDITOR, 2);
    after = e.Text();
    e.modified = true;
    e.Save();
  });
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  ASSERT_GE(host_.messages.size(), 2u);
  EXPECT_EQ(host_.messages[0].lines.at(1), L"Line 2: file b.txt");
  EXPECT_EQ(host_.messages[0].helpTopic, L"EditPlugins");
  EXPECT_EQ(host_.messages[1].lines.at(1), L"Reset line 2 to \"b.txt\"?");
  EXPECT_EQ(after, L"first\nb.txt\n");
  EXPECT_EQ(folder.List(), (Files{{L"first", "a.txt"}, {L"b.txt", "b.txt"}}));
}

TEST_F(QuilletDialogs, TemplateHistoryUpDownAndClearKey) {
  Folder folder;
  for (auto n : {L"a.txt", L"b.txt"}) folder.File(n);
  Show(folder, {L"a.txt", L"b.txt"});
  Settings s;
  ASSERT_TRUE(LoadSettings(*store_, &s));
  s.history = {u"new_*", u"old_*"};
  s.templateHistoryCnt = 2;
  ASSERT_TRUE(SaveSettings(*store_, s));
  store_->WriteDword(kKey, u"MultipleEntries", 1);
  const auto layout = Layout(1);
  const int templ = ItemWithText(layout, Text(25)) + 1;
  std::vector<std::wstring> seen;
  auto note = [&](DialogView& v) { seen.push_back(v.Item(templ).text); };
  host_.AnswerDialog(DialogScript()
                         .Focus(templ)
                         .Key(KEY_DOWN).Check(note)
                         .Key(KEY_DOWN).Check(note)
                         .Key(KEY_UP).Check(note)
                         .Key(KEY_UP).Check(note)  // not above the first template
                         .Key(KEY_ALT | 'X')
                         .Check([&](DialogView& v) { seen.push_back(std::to_wstring(v.Item(templ).list.size())); })
                         .Key(KEY_ESC));
  host_.AnswerMessage(0);  // yes, clear the history
  host_.AnswerMessage(0);  // yes, close
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 1);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"new_*", L"old_*", L"new_*", L"new_*", L"1"}));
  EXPECT_EQ(host_.messages.at(0).lines.at(1), Text(70));
  EXPECT_EQ(store_->ReadDword(kKey, u"TemplateHistoryCnt"), 0u);
}

TEST_F(QuilletDialogs, CancelInTheMiddleRollsBackAtOnceWhenSoConfigured) {
  Folder folder;
  for (auto n : {L"1.txt", L"2.txt", L"3.txt", L"4.txt"}) folder.File(n);
  Show(folder, {L"1.txt", L"2.txt", L"3.txt", L"4.txt"});
  store_->WriteDword(kKey, u"AutoRollbackCancel", 1);
  host_.AnswerEditor(EditTo({L"one.txt", L"two.txt", L"three.txt", L"four.txt"}, nullptr));
  host_.AnswerDialog(DialogScript().Idle().Key(KEY_ESC).WaitUntil([](DialogView&) { return false; }, 20000));
  host_.AnswerMessage(0);  // yes, cancel the renaming
  host_.AnswerDialog(UntilClosed());  // the rollback
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  EXPECT_EQ(host_.dialogs.size(), 2u);
  EXPECT_EQ(folder.List(), (Files{{L"1.txt", "1.txt"}, {L"2.txt", "2.txt"}, {L"3.txt", "3.txt"}, {L"4.txt", "4.txt"}}));
}

// Random batches through the plugin in the host stand-in, on the real disk: the names typed in
// the editor collide (swaps, cycles, other items' names, case changes, names outside the
// selection), the prompts get random replies (new name, resolve, resolve all, skip, skip all,
// retry, Esc), and the summary a random one (roll back or not). Nothing may be lost or
// swapped; a rollback restores every name; otherwise the items left selected are exactly ones
// that kept their names. QUILLET_UI_BATCHES and QUILLET_UI_SEED choose a longer or another run.
TEST(QuilletRandomBatches, ThroughTheEditorModeNothingIsLostAndRollbackRestores) {
  const char* env = std::getenv("QUILLET_UI_BATCHES");
  const int batches = env ? std::atoi(env) : 15;
  const char* seedEnv = std::getenv("QUILLET_UI_SEED");
  const unsigned seed0 = seedEnv ? unsigned(std::atoi(seedEnv)) : 4242u;
  int rollbacks = 0, prompts = 0;
  for (int b = 0; b < batches && !::testing::Test::HasFailure(); ++b) {
    SCOPED_TRACE("ui batch seed " + std::to_string(seed0 + unsigned(b)));
    std::mt19937 rng(seed0 + unsigned(b));
    auto pick = [&](unsigned n) { return unsigned(rng() % n); };
    kelhost::Host host;
    host.onFailure = [](const std::wstring& what) { ADD_FAILURE() << kelhost::Utf8(what); };
    kelhost::Plugin* plugin = host.Load(g_pluginPath);
    ASSERT_NE(plugin, nullptr);
    RegistryStore store(host.RootKey());
    store.WriteDword(kKey, u"SummaryOnErrorOnly", 0);
    store.WriteDword(kKey, u"AutoResolve", pick(3) == 0);
    store.WriteDword(kKey, u"AutoResolveType", pick(2));
    store.WriteDword(kKey, u"AutoIgnoreOther", pick(4) == 0);
    store.WriteDword(kKey, u"AutoResolveSuffix", pick(3));

    Folder folder;
    const wchar_t* pool[] = {L"a.txt", L"b.txt", L"c.txt", L"d.txt", L"a (0).txt", L"B_1.txt", L"e"};
    std::vector<std::wstring> names, selected, outside;
    for (const wchar_t* n : pool) {
      if (pick(3) == 0) continue;
      names.push_back(n);
      folder.File(n);
      (pick(4) == 0 ? outside : selected).push_back(n);
    }
    if (selected.empty()) continue;
    const Files before = folder.List();
    host.ActivePanel().SetFolder(folder.Path());
    for (const auto& n : selected) host.ActivePanel().Select(n);
    // The panel lists in its own order; the editor's lines follow it.
    const std::vector<std::wstring> order = host.ActivePanel().SelectedNames();
    std::vector<std::wstring> lines;
    for (size_t i = 0; i < order.size(); ++i) {
      const unsigned roll = pick(10);
      std::wstring line = order[i];
      if (roll < 3) line = order[pick(unsigned(order.size()))];
      else if (roll < 4) line = names[pick(unsigned(names.size()))];
      else if (roll < 5) for (auto& c : line) c = pick(2) ? towupper(c) : c;
      else if (roll < 6) line = L"/";
      else if (roll < 9) line = pool[pick(7)];
      lines.push_back(line);
    }
    if (pick(3) == 0 && order.size() >= 2) {  // a cycle through every item
      for (size_t i = 0; i < order.size(); ++i) lines[i] = order[(i + 1) % order.size()];
    }
    host.AnswerEditor(EditTo(lines, nullptr));
    host.AnswerDialog(UntilClosed());
    host.AnswerDialog(UntilClosed());
    for (int k = 0; k < 30; ++k) host.AnswerMessage(int(pick(6)) - 1);
    for (int k = 0; k < 10; ++k) {
      if (pick(4) == 0) host.AnswerInput(std::nullopt);
      else host.AnswerInput(pick(3) == 0 ? std::wstring(L"bad:name") : std::wstring(pool[pick(7)]));
    }
    host.OpenPlugin(plugin, OPEN_PLUGINSMENU, 1);

    const Files after = folder.List();
    std::multiset<std::string> contentsBefore, contentsAfter;
    for (const auto& kv : before) contentsBefore.insert(kv.second);
    for (const auto& kv : after) contentsAfter.insert(kv.second);
    ASSERT_TRUE(contentsBefore == contentsAfter) << "contents changed";
    std::map<std::string, std::wstring> nameOf;
    for (const auto& [name, content] : after) nameOf[content] = name;
    for (const auto& n : outside) EXPECT_EQ(nameOf[kelhost::Utf8(n)], n) << "a file outside the selection moved";
    bool rolledBack = false, cancelled = false;
    for (const auto& d : host.dialogs) rolledBack = rolledBack || d.itemsAtOpen[0].text == L"Rolling back";
    for (const auto& m : host.messages) {
      prompts += m.helpTopic == L"RenameProblems";
      for (const auto& l : m.lines) cancelled = cancelled || l.find(L"Renaming cancelled") == 0;
    }
    if (rolledBack) {
      ++rollbacks;
      EXPECT_EQ(after, before) << "the rollback did not restore every name";
    } else if (!cancelled) {
      for (const auto& n : host.ActivePanel().SelectedNames()) {
        EXPECT_EQ(after.count(n), 1u);
        EXPECT_EQ(after.count(n) ? after.at(n) : "", kelhost::Utf8(n)) << "a selected (failed) item lost its name";
      }
    }
  }
  std::printf("ui batches %d, prompts %d, rollbacks %d\n", batches, prompts, rollbacks);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet_dialogs_test PATH-TO-Quillet.dll\n");
    return 2;
  }
  g_pluginPath = kelhost::Wide(argv[1]);
  return RUN_ALL_TESTS();
}
