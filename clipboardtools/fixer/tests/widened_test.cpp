// Detection and repair of widened clipboard text, with a converter for code page 1251.
#include "clipboardtools/fixer/core/widened.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Code page 1251 for the Cyrillic letters 0xC0..0xFF (U+0410..U+044F); other bytes kept.
bool Cp1251(const uint8_t* bytes, size_t count, std::vector<uint16_t>* out) {
  out->clear();
  for (size_t i = 0; i < count; ++i)
    out->push_back(bytes[i] >= 0xC0 ? static_cast<uint16_t>(0x410 + (bytes[i] - 0xC0)) : bytes[i]);
  return true;
}

std::vector<uint8_t> Bytes(const std::string& s) {
  std::vector<uint8_t> v(s.begin(), s.end());
  v.push_back(0);
  return v;
}

std::vector<uint16_t> Wide(std::u16string s) {
  std::vector<uint16_t> v(s.begin(), s.end());
  v.push_back(0);
  return v;
}

std::vector<uint16_t> Widened(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace

TEST(Widened, RepairsTextWidenedByteByByte) {
  auto ansi = Bytes("Ok \xCF\xF0\xE8\xE2\xE5\xF2!");  // "Привет" in 1251
  auto wide = Widened(ansi);
  auto fixed = mendlet::RepairWidened(ansi.data(), ansi.size(), wide.data(), wide.size(), Cp1251);
  ASSERT_TRUE(fixed);
  EXPECT_EQ(*fixed, Wide(u"Ok \u041F\u0440\u0438\u0432\u0435\u0442!"));
}

TEST(Widened, LeavesCorrectAndAsciiTextAlone) {
  auto ansi = Bytes("Ok \xCF\xF0\xE8");
  auto right = Wide(u"Ok \u041F\u0440\u0438");
  EXPECT_FALSE(mendlet::LooksWidened(ansi.data(), ansi.size(), right.data(), right.size()));
  auto ascii = Bytes("plain text");
  auto asciiWide = Widened(ascii);
  EXPECT_FALSE(mendlet::LooksWidened(ascii.data(), ascii.size(), asciiWide.data(), asciiWide.size()));
  int calls = 0;
  auto counting = [&](const uint8_t* b, size_t n, std::vector<uint16_t>* o) { ++calls; return Cp1251(b, n, o); };
  EXPECT_FALSE(mendlet::RepairWidened(ascii.data(), ascii.size(), asciiWide.data(), asciiWide.size(), counting));
  EXPECT_EQ(calls, 0);
}

TEST(Widened, TheFirstHighByteThatMatchesDecidesEvenAfterCorrectOnes) {
  // The first high byte was converted, a later one widened: still a widened text.
  auto ansi = Bytes("\xCF-\xF0");
  std::vector<uint16_t> wide{0x41F, u'-', 0xF0, 0};
  EXPECT_TRUE(mendlet::LooksWidened(ansi.data(), ansi.size(), wide.data(), wide.size()));
}

TEST(Widened, StopsAtEitherTerminatorAndAtTheBufferEnds) {
  auto ansi = Bytes("ab\xE9");
  std::vector<uint16_t> shorter{u'a', 0, 0xE9, 0};
  EXPECT_FALSE(mendlet::LooksWidened(ansi.data(), ansi.size(), shorter.data(), shorter.size()));
  // No terminator inside the buffers: the walk ends with the smaller buffer.
  std::vector<uint8_t> raw{u'a', u'b', 0xE9};
  std::vector<uint16_t> rawWide{u'a', u'b'};
  EXPECT_FALSE(mendlet::LooksWidened(raw.data(), raw.size(), rawWide.data(), rawWide.size()));
  rawWide.push_back(0xE9);
  auto fixed = mendlet::RepairWidened(raw.data(), raw.size(), rawWide.data(), rawWide.size(), Cp1251);
  ASSERT_TRUE(fixed);
  EXPECT_EQ(*fixed, Wide(u"ab\u0439"));
}

TEST(Widened, AFailingOrOversizedConversionLeavesTheClipboardAlone) {
  auto ansi = Bytes("\xE9");
  auto wide = Widened(ansi);
  auto failing = [](const uint8_t*, size_t, std::vector<uint16_t>*) { return false; };
  EXPECT_FALSE(mendlet::RepairWidened(ansi.data(), ansi.size(), wide.data(), wide.size(), failing));
  auto oversized = [](const uint8_t*, size_t, std::vector<uint16_t>* o) {
    *o = {1, 2, 3, 0};
    return true;
  };
  EXPECT_FALSE(mendlet::RepairWidened(ansi.data(), ansi.size(), wide.data(), wide.size(), oversized));
}
