// Shortcut files and the attributes dialog's logic, as the panel meets them: files the device
// wrote, damaged or hostile files, the editor's round trip, and the attribute word a change sets.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "devicebrowser/modules/files/core/attributes.h"
#include "devicebrowser/modules/files/core/shortcut.h"

using namespace handrel::files;

namespace {

// The bytes of a file as the reader gets them: a heap block of exactly the bytes read, so that a
// read past them is caught by the address sanitizer.
struct Read {
  bool ok;
  std::string command, reason;
};
Read ParseBytes(const std::string& file, size_t fileSize = 0) {
  size_t n = std::min(file.size(), kShortcutReadMax);
  std::vector<char> block(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
  Read r;
  r.ok = ParseShortcutFile(block.data(), block.size(), fileSize ? fileSize : file.size(), &r.command, &r.reason);
  return r;
}

ShortcutParts Split(const std::string& command, std::set<std::string> deviceFiles = {}) {
  ShortcutParts parts;
  std::string reason;
  EXPECT_TRUE(SplitShortcutCommand(
      command, [&](const std::string& p) { return deviceFiles.count(p) > 0; }, &parts, &reason))
      << command << ": " << reason;
  return parts;
}

}  // namespace

TEST(ShortcutFile, WhatTheEditorWritesIsReadBackAndSplitIntoTheSameFields) {
  std::string command = BuildShortcutCommand("\\Program Files\\Pocket Notes\\notes.exe", "-new /q",
                                             "\\Windows\\icons.dll,-3");
  EXPECT_EQ(command, "\"\\Program Files\\Pocket Notes\\notes.exe\" -new /q?\\Windows\\icons.dll,-3");
  std::string file = ShortcutFileText(command);
  EXPECT_EQ(file, "69#" + command);
  Read r = ParseBytes(file);
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.command, command);
  ShortcutParts p = Split(r.command);
  EXPECT_EQ(p.kind, ShortcutParts::kProgram);
  EXPECT_TRUE(p.quoted);
  EXPECT_EQ(p.program, "\\Program Files\\Pocket Notes\\notes.exe");
  EXPECT_EQ(p.arguments, "-new /q");
  EXPECT_EQ(p.icon, "\\Windows\\icons.dll,-3");

  // A path without backslash or space is written bare; empty fields leave no separator behind.
  EXPECT_EQ(BuildShortcutCommand("calc.exe", "", ""), "calc.exe");
  EXPECT_EQ(BuildShortcutCommand("\\Windows\\calc.exe", "", "calc.exe,0"), "\"\\Windows\\calc.exe\"?calc.exe,0");
  EXPECT_EQ(BuildShortcutCommand("", "-x", "i,0"), "");

  // Files the device itself writes end in a line break after the counted command, or in nothing.
  r = ParseBytes("20#\"\\Windows\\pword.exe\"\r\n");
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.command, "\"\\Windows\\pword.exe\"");
  r = ParseBytes("33#\"\\Windows\\x.exe\"?\\Windows\\x.exe,0\r\n");
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(Split(r.command).icon, "\\Windows\\x.exe,0");
}

TEST(ShortcutFile, DamagedOrHostileFilesAreRefusedWithAReasonAndNeverReadPast) {
  struct Case {
    std::string file;
    size_t fileSize;
    std::string reasonPart;
  };
  std::string big(kShortcutReadMax + 100, 'a');
  std::string counted = "2100#" + big;                  // a length of five digits
  std::string near = "2046#" + std::string(2043, 'b');  // the rest of the command is past the read
  const std::vector<Case> cases = {
      {"", 0, "empty"},
      {"\"\\Windows\\a.exe\"", 0, "begin with the length"},
      {"16", 0, "No \"#\""},
      {"16 #\"\\Windows\\a.exe\"", 0, "No \"#\""},
      {"30#\"\\Windows\\a.exe\"", 0, "ends before the 30 bytes"},
      {"5#\"\\Windows\\a.exe\"", 0, "does not end at its length (5)"},
      {"0#", 0, "empty"},
      {"0#\r\n", 0, "empty"},
      {counted, counted.size(), "too large"},
      {near, near.size() + 5000, "longer than the 2048 bytes read"},
      {"99999999999999999999#x", 0, "too large"},
  };
  for (const Case& c : cases) {
    Read r = ParseBytes(c.file, c.fileSize);
    EXPECT_FALSE(r.ok) << c.file.substr(0, 40);
    EXPECT_NE(r.reason.find(c.reasonPart), std::string::npos) << c.file.substr(0, 40) << " -> " << r.reason;
    EXPECT_TRUE(r.command.empty());
  }
  // The longest command that fits the bytes read is taken whole, even from a longer file ending in
  // a line break right after it.
  std::string longest(kShortcutReadMax - 5, 'c');
  Read r = ParseBytes("2043#" + longest + "\r\nrest", kShortcutReadMax + 6);
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.command.size(), kShortcutReadMax - 5);
  // A NUL inside the counted bytes ends the command there.
  r = ParseBytes(std::string("11#calc.exe\0xx", 14));
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.command, "calc.exe");
  // Null data is an empty file.
  std::string command, reason;
  EXPECT_FALSE(ParseShortcutFile(nullptr, 10, 10, &command, &reason));
}

TEST(ShortcutCommand, EachFormOfCommandNamesTheProgramTheDeviceIsAskedToStart) {
  // Quoted: the program inside the quotes, the rest after one space.
  ShortcutParts p = Split("\"\\Program Files\\A B\\app.exe\" -opt");
  EXPECT_EQ(p.program, "\\Program Files\\A B\\app.exe");
  EXPECT_EQ(p.arguments, "-opt");
  p = Split("\"\\Windows\\app.exe\"  two spaces");
  EXPECT_EQ(p.arguments, " two spaces");
  // A system shortcut is passed on unchanged, "?" still cutting off the icon.
  p = Split(":MSPROG?icon,0");
  EXPECT_EQ(p.kind, ShortcutParts::kSystem);
  EXPECT_EQ(p.program, ":MSPROG");
  EXPECT_EQ(p.icon, "icon,0");
  // Unquoted with a space: the whole text when the device has such a file, else split.
  p = Split("\\Program Files\\app.exe -opt", {"\\Program Files\\app.exe -opt"});
  EXPECT_EQ(p.program, "\\Program Files\\app.exe -opt");
  EXPECT_EQ(p.arguments, "");
  p = Split("\\Windows\\app.exe -opt x", {"\\Windows\\app.exe"});
  EXPECT_EQ(p.program, "\\Windows\\app.exe");
  EXPECT_EQ(p.arguments, "-opt x");
  p = Split("\\Windows\\app.exe");
  EXPECT_EQ(p.kind, ShortcutParts::kProgram);
  EXPECT_EQ(p.program, "\\Windows\\app.exe");
  // Neither backslash nor space: not found, with the text to show.
  p = Split("app.exe?x");
  EXPECT_EQ(p.kind, ShortcutParts::kNotFound);
  EXPECT_EQ(p.program, "app.exe");
  // The icon ends at a carriage return.
  p = Split("\"\\a b.exe\"?\\a b.exe,0\rjunk");
  EXPECT_EQ(p.icon, "\\a b.exe,0");

  for (const char* bad : {"\"\\Program Files\\app.exe -opt", "\\Windows\\app.exe \"x", "\"a\" \"b"}) {
    ShortcutParts parts;
    std::string reason;
    EXPECT_FALSE(SplitShortcutCommand(bad, nullptr, &parts, &reason)) << bad;
    EXPECT_NE(reason.find("Unbalanced quotes"), std::string::npos);
  }
  // Quotes balanced in the arguments are theirs.
  p = Split("\"\\Windows\\pword.exe\" \"\\My Documents\\a b.doc\"");
  EXPECT_EQ(p.arguments, "\"\\My Documents\\a b.doc\"");
}

TEST(AttributesDialog, OnlyTheBoxesTheUserChangedChangeTheWord) {
  // A ROM file shown read-only and hidden: clearing hidden keeps read-only and the ROM bit.
  uint32_t original = kAttrReadOnly | kAttrHidden | kAttrInRom;
  uint32_t shown = original & kAttributeBoxBits;
  EXPECT_EQ(ChangedAttributes(original, shown, kAttrReadOnly), kAttrReadOnly | kAttrInRom);
  // A box left alone keeps the item's bit even when the chosen state says otherwise elsewhere.
  EXPECT_EQ(ChangedAttributes(kAttrArchive, kAttrArchive, kAttrArchive | kAttrSystem), kAttrArchive | kAttrSystem);
  // Normal only alone: setting a bit on a normal file drops it, clearing the last bit brings it.
  EXPECT_EQ(ChangedAttributes(kAttrNormal, 0, kAttrReadOnly), kAttrReadOnly);
  EXPECT_EQ(ChangedAttributes(kAttrArchive, kAttrArchive, 0), kAttrNormal);
  // Nothing changed: the item's word.
  EXPECT_EQ(ChangedAttributes(kAttrArchive | kAttrCompressed, kAttrArchive | kAttrCompressed,
                              kAttrArchive | kAttrCompressed),
            kAttrArchive | kAttrCompressed);

  EXPECT_EQ(AttributeFlagTexts(kAttrArchive), std::vector<std::string>{});
  EXPECT_EQ(AttributeFlagTexts(kAttrInRom | kAttrRomModule | kAttrStorageCard | kAttrReadOnly),
            (std::vector<std::string>{"In ROM", "ROM module ", "Storage Card"}));
  EXPECT_EQ(AttributeFlagTexts(kAttrArchive | kAttrInRom | 0x10000 | kAttrFolder),
            (std::vector<std::string>{"In ROM", " +  0x00010010"}));
}

TEST(AttributesDialog, TimesAndTheErrorReadAsTheUserSeesThem) {
  CivilTime t{2026, 3, 7, 9, 5, 4, 30};
  EXPECT_EQ(DateText(&t), "07.03.2026");
  EXPECT_EQ(TimeText(&t), "09:05:04.030");
  EXPECT_EQ(DateText(nullptr), "  .  .    ");
  EXPECT_EQ(TimeText(nullptr), "  :  :  .   ");
  EXPECT_EQ(AttributesErrorText("\\Windows\\a.txt", 0, 5),
            "Can't change file attributes for:\r\n\\Windows\\a.txt\r\nRapi: 0x00000000, CE: 0x00000005");
  EXPECT_EQ(AttributesErrorText("\\a", 0x800704D4u, 0),
            "Can't change file attributes for:\r\n\\a\r\nRapi: 0x800704d4, CE: 0x8000ffff");
}
