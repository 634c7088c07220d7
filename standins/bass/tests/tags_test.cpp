// Tag texts as TAGS_Read gives them: each tag kind the writer produces, read through the raw
// blocks the library keeps, filled into the player's default template.
#include <gtest/gtest.h>

#include "standins/bass/core/library.h"
#include "standins/bass/core/tagtext.h"
#include "standins/bass/testaudio/testaudio.h"

namespace {

using testaudio::TagStyle;

const char kDefault[] = "%UTF8(%IFV1(%ARTI,%ARTI)%IFV1(%TITL, - %TITL)%IFV1(%ALBM, - %ALBM))";

std::string Read(const testaudio::Bytes& file, const std::string& fmt, bool music = false) {
  bass::Library lib;
  lib.Init(-1, 44100, 0);
  auto src = std::make_unique<bass::MemorySource>(file.data(), file.size());
  uint32_t h = music ? lib.LoadMusic(std::move(src), 0x20000, 0, "") : lib.CreateStream(std::move(src), 0, "");
  if (!h) return "(not opened)";
  bass::TagFields t = bass::CollectTags([&](uint32_t type) {
    size_t n = 0;
    const char* p = lib.Tags(h, type, &n);
    return bass::RawTag{p, n};
  });
  return bass::RenderTemplate(fmt, t);
}

testaudio::Bytes Tagged(TagStyle style, const testaudio::Tags& tags, bool aiff = false) {
  testaudio::WaveShape s;
  s.frames = 100;
  s.tags = tags;
  s.tagStyle = style;
  return aiff ? testaudio::Aiff(s) : testaudio::Wave(s);
}

TEST(TagsRead, EveryTagKindFillsTheDefaultTemplate) {
  testaudio::Tags t{"Artist", "Title", "Album"};
  for (TagStyle style : {TagStyle::RiffInfo, TagStyle::Id3v1, TagStyle::Id3v2Chunk, TagStyle::Id3v2Utf16})
    EXPECT_EQ(Read(Tagged(style, t), kDefault), "Artist - Title - Album") << static_cast<int>(style);
  EXPECT_EQ(Read(Tagged(TagStyle::Id3v2Chunk, t, true), kDefault), "Artist - Title - Album") << "AIFF ID3 chunk";
  EXPECT_EQ(Read(Tagged(TagStyle::None, t), kDefault), "");
}

TEST(TagsRead, MissingFieldsDropTheirPartOfTheTemplate) {
  EXPECT_EQ(Read(Tagged(TagStyle::RiffInfo, {"", "Only title", ""}), kDefault), " - Only title");
  EXPECT_EQ(Read(Tagged(TagStyle::Id3v1, {"Someone", "", ""}), kDefault), "Someone");
}

TEST(TagsRead, NonLatinTextIsUtf8InsideUtf8AndLatin1Outside) {
  testaudio::Tags t{"Пётр", "Café", ""};
  for (TagStyle style : {TagStyle::Id3v2Chunk, TagStyle::Id3v2Utf16, TagStyle::RiffInfo}) {
    EXPECT_EQ(Read(Tagged(style, t), kDefault), "Пётр - Café") << static_cast<int>(style);
    EXPECT_EQ(Read(Tagged(style, t), "%ARTI|%TITL"), "????|Caf\xE9") << static_cast<int>(style);
  }
}

TEST(TagsRead, AnId3ChunkWhoseTagClaimsMoreThanTheChunkIsNotKept) {
  testaudio::Bytes b = Tagged(TagStyle::Id3v2Chunk, {"Artist", "Title", ""});
  // The "id3 " chunk follows the data chunk; its tag's size field (bytes 6..9 of the tag) is
  // raised by one, so the tag would run past its chunk.
  size_t at = std::string(b.begin(), b.end()).find("id3 ") + 8;
  ASSERT_EQ(b[at], 'I');
  ++b[at + 9];
  bass::Library lib;
  lib.Init(-1, 44100, 0);
  uint32_t h = lib.CreateStream(std::make_unique<bass::MemorySource>(b.data(), b.size()), 0, "");
  ASSERT_NE(h, 0u);
  EXPECT_EQ(lib.Tags(h, 1), nullptr);
  EXPECT_EQ(Read(b, kDefault), "");
}

TEST(TagsRead, ModulesGiveTheirNameAsTitle) {
  testaudio::ModuleShape m;
  m.tracker = testaudio::Tracker::It;
  m.title = "Tracker tune";
  EXPECT_EQ(Read(testaudio::Module(m), kDefault, true), " - Tracker tune");
}

TEST(Template, FunctionsEscapesAndMalformedTemplates) {
  bass::TagFields t;
  t.artist = "Band";
  t.title = "Song";
  t.year = "1999";
  EXPECT_EQ(bass::RenderTemplate("%IFV2(%ALBM,%ALBM,no album) %%%(%YEAR%)%,", t), "no album %(1999),");
  EXPECT_EQ(bass::RenderTemplate("%IUPC(%ARTI)/%ILWC(%TITL)", t), "BAND/song");
  EXPECT_EQ(bass::RenderTemplate("%IFV1(%ARTI", t), "");
  EXPECT_EQ(bass::RenderTemplate("%TITL%XY", t), "Song");
  EXPECT_EQ(bass::RenderTemplate("x%", t), "x");
  std::string deep;
  for (int i = 0; i < 100; ++i) deep += "%UTF8(";
  EXPECT_EQ(bass::RenderTemplate(deep + "%TITL", t), "") << "nesting past the cap stops filling";
}

TEST(Id3v2, FramesPastTheTagAndOddSizesAreNotRead) {
  testaudio::Bytes tag = testaudio::Id3v2({"A", "T", "L"}, false);
  bass::TagFields f;
  bass::ParseId3v2(tag.data(), 12, f);  // cut inside the first frame's header
  EXPECT_EQ(f.artist, "");
  tag[13] = 0x7F;  // first frame's size made huge (syncsafe 7-bit bytes from 14)
  tag[14] = 0x7F;
  bass::ParseId3v2(tag.data(), tag.size(), f);
  EXPECT_EQ(f.artist, "");
}

}  // namespace
