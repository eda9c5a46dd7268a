
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "encoding/hex.h"
#include "encoding/same_as.h"
#include "support/reference/kanji_code_convert.h"

namespace nbl::encoding {
namespace {

using nbl::testing::Hex;
using nbl::testing::Units;

TEST(CodePageBytesToText, DecodesCodePage932WithItsExtensions) {
  struct Case {
    std::string bytes;
    std::u16string text;
  };
  const std::vector<Case> cases = {
      {"", u""},
      {"41 42 0D 0A", u"AB\r\n"},
      {"93 FA 8B 4C", u"日記"},
      {"B1 DF", u"\uFF71\uFF9F"},
      {"5C 7E", u"\\~"},
      {"81 5F 81 60", u"\uFF3C\uFF5E"},
      {"00 41", std::u16string{0, u'A'}},
      // NEC special characters, NEC-selected IBM extensions, IBM extensions.
      {"87 40", u"\u2460"},
      {"87 90", u"\u2252"},
      {"ED 40", u"\u7E8A"},
      {"FA 40", u"\u2170"},
      {"FC 4B", u"\u9ED1"},
      {"F0 40", u"\uE000"},
      // Bytes that are not Shift-JIS give U+FFFD, one byte at a time.
      {"85 40", u"\uFFFD@"},
      {"A0 FD 41", u"\uFFFD\uFFFDA"},
      {"FD FE FF", u"\uFFFD\uFFFD\uFFFD"},
      {"93 FA 41 93", u"日A\uFFFD"},
      {"81", u"\uFFFD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(Units(CodePageBytesToText(Hex(c.bytes))), Units(c.text));
  }
}

const nbl::testing::Decoder kCodePage{"CodePageBytesToText", CodePageBytesToText, CodePageBytesToTextBySystem};

TEST(CodePageBytesToText, AgreesWithTheSystemConverterOnEveryPairAndOnRandomBytes) {
  nbl::testing::SameAs same(kCodePage);
  // After a lead byte the pair's first byte is a trail; before 40 its second may become a lead.
  same.CheckEveryPair({{"", ""}, {"93", ""}, {"", "40"}});
  std::mt19937 random(932);
  for (int n = 0; n < 5000; ++n) {
    Bytes bytes(n == 0 ? 100000 : random() % 16);  // the first far longer than a run between checks for room
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    same.Check(bytes);
  }
}

}  // namespace
}  // namespace nbl::encoding
