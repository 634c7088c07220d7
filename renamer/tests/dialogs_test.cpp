// Quillet end to end in the host stand-in: files selected on a panel over a real folder are
// renamed through the Construct and Manipulate dialogs and through the editor, with previews,
// conflict prompts, the summary, rollback and the panel's selection afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>

#include "renamer/core/settings.h"
#include "renamer/tests/plugin_harness.h"
#include "renamer/win/registry_store.h"
#include "standins/kelhost/editor.h"
#include "standins/kelhost/kelhost.h"

namespace {

using namespace quillet;
using namespace quillet_harness;
using QuilletDialogs = PluginTest;

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
  ShowNew(folder, {L"a.txt", L"a.doc", L"b.txt"});
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
  ShowNew(folder, {L"one.txt", L"two.txt"});
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

// The preview line of the Construct dialog: the text item on the row below the options.
int PreviewLineItem(const std::vector<kelhost::DialogItemState>& items) {
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].type == DI_TEXT && items[i].y1 == 7 && items[i].x1 == 5) return int(i);
  ADD_FAILURE() << "no preview line";
  return -1;
}

// Construct -> Manipulate -> Construct -> Manipulate -> Construct -> Manipulate: every dialog
// opens with what the user left in it, has its controls once, and answers what is typed after
// each switch; the rename from the last dialog uses what was typed last.
TEST_F(QuilletDialogs, SwitchingBackAndForthKeepsTheValuesNotTheControls) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt"});
  store_->WriteDword(kKey, u"ConfirmSwitch", 0);
  store_->WriteDword(kKey, u"ConfirmRename", 0);
  const auto construct = Layout(1);
  const auto manipulate = Layout(0);
  const int templ = ItemWithText(construct, Text(25)) + 1, line = PreviewLineItem(construct);
  const int constructSwitch = ItemWithText(construct, Text(15));
  const int prefixBox = ItemWithText(manipulate, Text(37)), prefix = prefixBox + 2;
  const int rename = ItemWithText(manipulate, Text(13)), preview = ItemWithText(manipulate, Text(14));
  const int manipulateSwitch = ItemWithText(manipulate, Text(15));
  const int status = manipulateSwitch + 1, list = status + 2;

  std::vector<std::wstring> templatesAtOpen, previewLines, prefixesAtOpen;
  std::vector<std::vector<std::wstring>> rows;
  for (int turn = 1; turn <= 3; ++turn) {
    const std::wstring n = std::to_wstring(turn);
    host_.AnswerDialog(DialogScript()
                           .Check([&](DialogView& v) { templatesAtOpen.push_back(v.Item(templ).text); })
                           .Type(templ, L"c" + n + L"_*")
                           .Check([&](DialogView& v) { previewLines.push_back(v.Item(line).text); })
                           .Click(constructSwitch));
    DialogScript m;
    m.Check([&](DialogView& v) { prefixesAtOpen.push_back(v.Item(prefix).text); });
    if (turn == 1) m.Click(prefixBox);
    m.Type(prefix, L"m" + n + L"_")
        .Click(preview)
        .WaitUntil([&](DialogView& v) { return v.Item(status).text.find(Text(17)) != std::wstring::npos; })
        .Check([&](DialogView& v) { rows.push_back(v.Item(list).list); })
        .Click(turn == 3 ? rename : manipulateSwitch);  // the preview is current: Rename closes at once
    host_.AnswerDialog(m);
  }
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 1);

  EXPECT_EQ(templatesAtOpen, (std::vector<std::wstring>{L"*", L"c1_*", L"c2_*"}));
  EXPECT_EQ(previewLines, (std::vector<std::wstring>{L"c1_a.txt", L"c2_a.txt", L"c3_a.txt"}));
  EXPECT_EQ(prefixesAtOpen, (std::vector<std::wstring>{L"", L"m1_", L"m2_"}));
  EXPECT_EQ(rows, (std::vector<std::vector<std::wstring>>{
                      {L"m1_a.txt", L"m1_b.txt"}, {L"m2_a.txt", L"m2_b.txt"}, {L"m3_a.txt", L"m3_b.txt"}}));
  ASSERT_EQ(host_.dialogs.size(), 7u);
  for (size_t d = 0; d < 6; ++d) {
    EXPECT_EQ(host_.dialogs[d].itemsAtOpen.size(), (d % 2 == 0 ? construct : manipulate).size()) << "dialog " << d;
  }
  EXPECT_EQ(folder.List(), (Files{{L"m3_a.txt", "a.txt"}, {L"m3_b.txt", "b.txt"}}));
}

// The other way round, ending in a rename from the Construct dialog with the template typed
// after the last switch.
TEST_F(QuilletDialogs, ConstructRenamesWithWhatWasTypedAfterTheLastSwitch) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt"});
  store_->WriteDword(kKey, u"ConfirmSwitch", 0);
  store_->WriteDword(kKey, u"ConfirmRename", 0);
  const auto construct = Layout(1);
  const auto manipulate = Layout(0);
  const int templ = ItemWithText(construct, Text(25)) + 1, start = ItemWithText(construct, Text(26)) + 1;
  const int line = PreviewLineItem(construct), rename = ItemWithText(construct, Text(13));
  const int constructSwitch = ItemWithText(construct, Text(15)), manipulateSwitch = ItemWithText(manipulate, Text(15));
  const int suffixBox = ItemWithText(manipulate, Text(38)), suffix = suffixBox + 2;
  std::vector<std::wstring> previewLines, suffixesAtOpen;
  for (int turn = 1; turn <= 3; ++turn) {
    const std::wstring n = std::to_wstring(turn);
    DialogScript m;
    m.Check([&](DialogView& v) { suffixesAtOpen.push_back(v.Item(suffix).text); });
    if (turn == 1) m.Click(suffixBox);
    host_.AnswerDialog(m.Type(suffix, L"_s" + n).Click(manipulateSwitch));
    DialogScript c;
    c.Type(templ, L"t" + n + L"_??").Type(start, n).Check([&](DialogView& v) { previewLines.push_back(v.Item(line).text); });
    if (turn < 3) {
      c.Click(constructSwitch);
    } else {
      c.Click(rename).WaitUntil([](DialogView&) { return false; });
    }
    host_.AnswerDialog(c);
  }
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 0);
  EXPECT_EQ(suffixesAtOpen, (std::vector<std::wstring>{L"", L"_s1", L"_s2"}));
  EXPECT_EQ(previewLines, (std::vector<std::wstring>{L"t1_01.txt", L"t2_02.txt", L"t3_03.txt"}));
  EXPECT_EQ(folder.List(), (Files{{L"t3_03.txt", "a.txt"}, {L"t3_04.txt", "b.txt"}}));
  EXPECT_EQ(store_->ReadString(u"Quillet\\TemplateHist", u"0", 4096), std::u16string(u"t3_??") + u'\0');
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

// Every option error of the Manipulate dialog, through the dialog: the message, its help topic
// and the field that gets the focus.
TEST_F(QuilletDialogs, ManipulateOptionErrorsShowTheirMessageAndFocusTheField) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt"});
  const auto l = Layout(0);
  const int replaceBox = ItemWithText(l, Text(35)), find = replaceBox + 2, replacement = ItemWithText(l, Text(36)) + 1;
  const int prefixBox = ItemWithText(l, Text(37)), prefix = prefixBox + 2;
  const int suffixBox = ItemWithText(l, Text(38)), suffix = suffixBox + 2;
  const int cutBox = ItemWithText(l, Text(39)), cutStart = cutBox + 2, cutEnd = ItemWithText(l, Text(40)) + 1;
  const int extBox = ItemWithText(l, Text(42)), ext = extBox + 2, addBox = ItemWithText(l, Text(43));
  const int preview = ItemWithText(l, Text(14));
  struct Case {
    int message;
    std::function<void(DialogScript&)> set;
    int focus;
  } cases[] = {
      {45, [&](DialogScript& d) { d.Click(replaceBox); }, find},
      {46, [&](DialogScript& d) { d.Click(replaceBox).Type(find, L"a:"); }, find},
      {47, [&](DialogScript& d) { d.Click(replaceBox).Type(find, L"a").Type(replacement, L"*"); }, replacement},
      {48, [&](DialogScript& d) { d.Click(prefixBox).Type(prefix, L"a/b"); }, prefix},
      {49, [&](DialogScript& d) { d.Click(suffixBox).Type(suffix, L"|"); }, suffix},
      {50, [&](DialogScript& d) { d.Click(cutBox).Type(cutStart, L"1a"); }, cutStart},
      {51, [&](DialogScript& d) { d.Click(cutBox).Type(cutEnd, L"-2"); }, cutEnd},
      {52, [&](DialogScript& d) { d.Click(cutBox).Type(cutStart, L" "); }, cutStart},
      {53, [&](DialogScript& d) { d.Click(extBox).Type(ext, L"b?k"); }, ext},
      {54, [&](DialogScript& d) { d.Click(extBox).Type(ext, L"  "); }, ext},
      {55, [&](DialogScript&) {}, replaceBox},
      {55, [&](DialogScript& d) { d.Click(prefixBox); }, replaceBox},        // an empty prefix changes nothing
      {55, [&](DialogScript& d) { d.Click(extBox).Click(addBox); }, replaceBox},  // add nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("message " + std::to_string(c.message));
    host_.messages.clear();
    int focus = -1;
    DialogScript d;
    c.set(d);
    host_.AnswerDialog(d.Click(preview).Check([&](DialogView& v) { focus = v.Focus(); }).Key(KEY_ESC));
    host_.AnswerMessage(0);  // the error
    host_.AnswerMessage(0);  // yes, close
    host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 0);
    ASSERT_EQ(host_.messages.size(), 2u);
    EXPECT_EQ(host_.messages[0].lines.at(1), Text(c.message));
    EXPECT_EQ(host_.messages[0].helpTopic, L"ManipulateDialogErrors");
    EXPECT_EQ(focus, c.focus);
  }
  EXPECT_EQ(folder.List(), (Files{{L"a.txt", "a.txt"}, {L"b.txt", "b.txt"}}));
}

// Removing the extensions asks first ("WarnOnExtRemove"): No keeps the dialog with the focus on
// the extension field, Yes renames; without the setting nobody asks.
TEST_F(QuilletDialogs, RemovingExtensionsAsksFirstWhenSoConfigured) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.doc"});
  store_->WriteDword(kKey, u"ConfirmRename", 0);
  const auto l = Layout(0);
  const int extBox = ItemWithText(l, Text(42)), ext = extBox + 2, rename = ItemWithText(l, Text(13));
  int focus = -1;
  host_.AnswerDialog(DialogScript()
                         .Click(extBox)
                         .Click(rename)
                         .Check([&](DialogView& v) { focus = v.Focus(); })
                         .Click(rename)
                         .WaitUntil([](DialogView&) { return false; }));
  host_.AnswerMessage(1);  // No
  host_.AnswerMessage(0);  // Yes
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 0);
  ASSERT_EQ(host_.messages.size(), 2u);
  EXPECT_EQ(host_.messages[0].lines.at(1), Text(57));
  EXPECT_EQ(host_.messages[0].helpTopic, L"DialogMessages");
  EXPECT_EQ(host_.messages[0].buttons.size(), 2u);
  EXPECT_EQ(focus, ext);
  EXPECT_EQ(folder.List(), (Files{{L"a", "a.txt"}, {L"b", "b.doc"}}));

  Folder other;
  other.File(L"c.txt");
  Show(other, {L"c.txt"});
  store_->WriteDword(kKey, u"WarnOnExtRemove", 0);
  host_.messages.clear();
  host_.AnswerDialog(DialogScript().Click(extBox).Click(rename).WaitUntil([](DialogView&) { return false; }));
  host_.AnswerDialog(UntilClosed());
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 0);
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_EQ(other.List(), (Files{{L"c", "c.txt"}}));
}

// The template and start errors of the Construct dialog, through the dialog.
TEST_F(QuilletDialogs, ConstructInputErrorsShowTheirMessageAndFocusTheField) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt"});
  const auto l = Layout(1);
  const int templ = ItemWithText(l, Text(25)) + 1, start = ItemWithText(l, Text(26)) + 1;
  const int preview = ItemWithText(l, Text(14));
  struct Case {
    std::wstring templateText, startText, message;
    int focus;
  } cases[] = {
      {L"  ", L"1", Text(65), templ},
      {L"a>b*", L"1", L"The template contains the invalid character '>'", templ},
      {L"fixed", L"1", Text(67), templ},
      {L"*_?", L"1a", L"The start \"1a\" is not a number", start},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(kelhost::Utf8(c.message));
    host_.messages.clear();
    int focus = -1;
    host_.AnswerDialog(DialogScript()
                           .Type(templ, c.templateText)
                           .Type(start, c.startText)
                           .Click(preview)
                           .Check([&](DialogView& v) { focus = v.Focus(); })
                           .Key(KEY_ESC));
    host_.AnswerMessage(0);  // the error
    host_.AnswerMessage(0);  // yes, close
    host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 1);
    ASSERT_EQ(host_.messages.size(), 2u);
    EXPECT_EQ(host_.messages[0].lines.at(1), c.message);
    EXPECT_EQ(host_.messages[0].helpTopic, L"ConstructDialogErrors");
    EXPECT_EQ(focus, c.focus);
  }
}

TEST_F(QuilletDialogs, EditorSwapResolvedThroughThePrompt) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt"});
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

// Esc at a conflict prompt cancels the run after a.txt was already moved; without a rollback the
// panel must show the names on disk, with the item that was not renamed still selected.
TEST_F(QuilletDialogs, ACancelledRunWithoutRollbackUpdatesThePanel) {
  Folder folder;
  for (auto n : {L"a.txt", L"b.txt", L"taken.txt"}) folder.File(n);
  Show(folder, {L"a.txt", L"b.txt"});
  host_.AnswerEditor(EditTo({L"x.txt", L"taken.txt"}, nullptr));
  host_.AnswerDialog(UntilClosed());
  host_.AnswerMessage(-1);  // b.txt -> taken.txt: Esc cancels the renaming
  host_.AnswerMessage(0);   // the summary: no rollback
  host_.OpenPlugin(plugin_, OPEN_PLUGINSMENU, 2);
  ASSERT_EQ(host_.messages.size(), 2u);
  EXPECT_EQ(host_.messages[1].lines.at(1).find(L"Renaming cancelled"), 0u);
  EXPECT_EQ(folder.List(), (Files{{L"x.txt", "a.txt"}, {L"b.txt", "b.txt"}, {L"taken.txt", "taken.txt"}}));
  std::vector<std::wstring> shown;
  for (const auto& item : host_.ActivePanel().Items()) shown.push_back(item.name);
  EXPECT_EQ(shown, (std::vector<std::wstring>{L"b.txt", L"taken.txt", L"x.txt"}));
  EXPECT_EQ(host_.ActivePanel().SelectedNames(), (std::vector<std::wstring>{L"b.txt"}));
}

TEST_F(QuilletDialogs, EditorLineCountMismatchAndAStarLineRenameNothing) {
  Folder folder;
  ShowNew(folder, {L"a.txt", L"b.txt"});
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
  ShowNew(folder, {L"a.txt", L"b.txt"});
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
  ShowNew(folder, {L"a.txt", L"b.txt"});
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
  ShowNew(folder, {L"a.txt", L"b.txt"});
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
  ShowNew(folder, {L"1.txt", L"2.txt", L"3.txt", L"4.txt"});
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

int main(int argc, char** argv) { return RunAll(argc, argv, "quillet_dialogs_test PATH-TO-Quillet.dll"); }
