#include "encoding/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoding/hex.h"
#include "support/reference/kanji_code_convert.h"

namespace nbl::encoding {
namespace {

using nbl::testing::Hex;
using nbl::testing::ToHex;
using nbl::testing::Units;

TEST(TextToUtf8Bytes, EncodesEachUnitOrPair) {
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {u"A", "41"},
      {u"\u00E9", "C3 A9"},
      {u"\u3042", "E3 81 82"},
      {u"\uFFFF", "EF BF BF"},
      {u"\u65E5\u8A18", "E6 97 A5 E8 A8 98"},
      {std::u16string(1, u'\0'), "00"},
      {u"\u007F\u0080", "7F C2 80"},
      {u"\u07FF\u0800", "DF BF E0 A0 80"},
      {u"\uFEFF", "EF BB BF"},
      // Pairs become one four-byte sequence.
      {u"\U0001F600", "F0 9F 98 80"},
      {u"\U00010000", "F0 90 80 80"},
      {u"\U0010FFFF", "F4 8F BF BF"},
      {u"a\U0001F600b", "61 F0 9F 98 80 62"},
      // Lone surrogates keep the three-byte form.
      {std::u16string{0xD83D}, "ED A0 BD"},
      {std::u16string{0xDE00}, "ED B8 80"},
      {std::u16string{0xD83D, u'A'}, "ED A0 BD 41"},
      {std::u16string{u'A', 0xD83D}, "41 ED A0 BD"},
      {std::u16string{0xDE00, 0xD83D}, "ED B8 80 ED A0 BD"},
      {std::u16string{0xD83D, 0xD83D, 0xDE00}, "ED A0 BD F0 9F 98 80"},
      {std::u16string{0xD83D, 0xDE00, 0xDE00}, "F0 9F 98 80 ED B8 80"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Units(c.text));
    Bytes bytes = Hex("01 02 03 04 05 06 07 08 09 0A 0B 0C");
    const std::int32_t n = TextToUtf8Bytes(c.text, bytes);
    EXPECT_EQ(ToHex(bytes), c.bytes);
    EXPECT_EQ(n, static_cast<std::int32_t>(bytes.size()));
  }
}

TEST(TextToUtf8Bytes, PairCutByTheEndOfAViewIsALoneSurrogate) {
  const std::u16string pair = u"\U0001F600";
  Bytes bytes;
  EXPECT_EQ(TextToUtf8Bytes(std::u16string_view(pair.data(), 1), bytes), 3);
  EXPECT_EQ(ToHex(bytes), "ED A0 BD");
}

TEST(TextToUtf8Bytes, EmptyTextLeavesTheArrayAlone) {
  Bytes bytes = Hex("41 42");
  EXPECT_EQ(TextToUtf8Bytes(u"", bytes), 0);
  EXPECT_EQ(ToHex(bytes), "41 42");

  Bytes empty;
  EXPECT_EQ(TextToUtf8Bytes(u"", empty), 0);
  EXPECT_TRUE(empty.empty());
}

TEST(Utf8BytesToText, DecodesAndReplacesBadLeadBytes) {
  struct Case {
    std::string bytes;
    std::u16string replacement;
    std::u16string text;
  };
  const std::vector<Case> cases = {
      {"", u"", u""},
      {"", u"?", u""},
      {"41", u"", u"A"},
      {"EF BB BF 41", u"",
       u"\uFEFF"
       u"A"},
      {"E6 97 A5 E8 A8 98", u"", u"\u65E5\u8A18"},
      {"C2 80 DF BF EF BF BF", u"", u"\u0080\u07FF\uFFFF"},
      {"C3", u"?", u"?"},
      {"C3", u"", u""},
      {"E3 81", u"?", u"??"},
      {"C0 80", u"?", u"??"},
      {"C1 BF", u"?", u"??"},
      {"E0 80 80", u"?", std::u16string(1, u'\0')},
      {"41 00 42", u"", std::u16string{u'A', 0, u'B'}},
      {"80 BF", u"?", u"??"},
      {"C3 41", u"?", u"?A"},
      {"E3 81 41", u"?", u"??A"},
      {"E3 41 82", u"?", u"?A?"},
      {"41 FF 42", u"<?>", u"A<?>B"},
      {"FF FE", u"ab", u"abab"},
      // The old three-byte surrogate form still decodes, unit by unit.
      {"ED A0 BD ED B8 80", u"", std::u16string{0xD83D, 0xDE00}},
      {"ED A0 BD", u"", std::u16string{0xD83D}},
      // Well-formed four-byte sequences give a surrogate pair.
      {"F0 9F 98 80", u"", u"\U0001F600"},
      {"F0 9F 98 80", u"?", u"\U0001F600"},
      {"41 F0 9F 98 80 42", u"",
       u"A\U0001F600"
       u"B"},
      {"F0 90 80 80", u"?", u"\U00010000"},
      {"F4 8F BF BF", u"?", u"\U0010FFFF"},
      {"F1 80 80 80", u"?", u"\U00040000"},
      // Malformed ones: only the lead byte is consumed, the rest are read as leads.
      {"F0 8F BF BF", u"?", u"????"},
      {"F0 80 80 80", u"?", u"????"},
      {"F4 90 80 80", u"?", u"????"},
      {"F5 80 80 80", u"?", u"????"},
      {"F0 9F 98", u"?", u"???"},
      {"F0 9F 98 41", u"?", u"???A"},
      {"F0 9F 98 80", u"", u"\U0001F600"},
      {"F0 9F 98 C3 A9", u"?", u"???\u00E9"},
      {"F8 88 80 80 80", u"?", u"?????"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes + " with replacement " + Units(c.replacement));
    EXPECT_EQ(Units(Utf8BytesToText(Hex(c.bytes), c.replacement)), Units(c.text));
  }
}

TEST(Utf8BytesToText, LongInputKeepsEveryUnit) {
  // Far more text than the decoder writes between its checks for room.
  Bytes bytes;
  std::u16string text;
  for (int k = 0; k < 20000; ++k) {
    bytes.insert(bytes.end(), {0xE3, 0x81, 0x82, 0x41, 0xFF, 0xF0, 0x9F, 0x98, 0x80});
    text += u"\u3042A<?>\U0001F600";
  }
  EXPECT_TRUE(Utf8BytesToText(bytes, u"<?>") == text);
}

TEST(Utf8Codec, EveryUnitAndPairSurvivesTheRoundTrip) {
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    const std::u16string text(1, static_cast<char16_t>(u));
    Bytes bytes;
    TextToUtf8Bytes(text, bytes);
    ASSERT_EQ(Units(Utf8BytesToText(bytes, u"?")), Units(text));
  }
  for (char32_t cp : {0x10000u, 0x1F600u, 0x20B9Fu, 0xFFFFFu, 0x10FFFFu}) {
    const std::u16string text = {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                                 static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
    Bytes bytes;
    EXPECT_EQ(TextToUtf8Bytes(text, bytes), 4);
    EXPECT_EQ(Units(Utf8BytesToText(bytes, u"?")), Units(text));
  }
}

TEST(LooksLikeUtf8, NeedsTwoGoodSequencesAndNoBadOne) {
  struct Case {
    std::string bytes;
    std::int32_t count;
    bool utf8;
  };
  const std::vector<Case> cases = {
      {"C3 A9 C3 A9", 0, false},
      {"", 1024, false},
      {"C3 A9 C3 A9", -1, false},
      {"61 62 63", 1024, false},
      {"41 C3 A9 42", 1024, false},
      {"C3 A9 C3 A9", 1024, true},
      {"C3 A9 C3 A9", 4, true},
      {"80 41 C3 A9 C3 A9", 1024, false},
      {"FE FF C3 A9 C3 A9", 1024, true},
      {"C3 A9 C3", 3, false},
      {"C3 A9 C3 A9", 3, false},
      {"C3 41 C3 A9 C3 A9", 1024, false},
      {"EF BB BF E3 81 82", 1024, true},
      {"E3 81 82 E3 81", 1024, false},
      {"C0 80 C1 BF", 1024, true},
      {"F0 9F 98 80 F0 9F 98 80", 1024, true},
      {"F8 88 80 80 80 C3 A9", 1024, true},
      {"FC 84 80 80 80 80 C3 A9", 1024, true},
      {"FC 84 80 80 80 41 C3 A9", 1024, false},
      // What lies past the window, malformed or not, is not looked at.
      {"C3 A9 E3 81 82 C3 41", 6, true},
      {"C3 A9 E3 81 82 C3 41", 7, false},
      {"C3 A9 C3 A9 80", 4, true},
      // Shift-JIS and EUC-JP text are refused.
      {"93 FA 8B 4C", 1024, false},
      {"C6 FC B5 AD", 1024, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes + " count " + std::to_string(c.count));
    EXPECT_EQ(LooksLikeUtf8(Hex(c.bytes), c.count), c.utf8 ? vb::True : vb::False);
  }
}

TEST(IsUtf8Text, WantsTheWholeArrayWellFormedWithOneMultiByteSequence) {
  // Surrogates only as a pair in the six-byte form of older files; ASCII (JIS among it) is not enough.
  for (const char* bytes :
       {"41 C3 A9", "EF BB BF", "E0 A0 80", "ED 9F BF", "F0 9F 98 80", "F4 8F BF BF", "ED A0 BD ED B8 80"}) {
    EXPECT_TRUE(IsUtf8Text(Hex(bytes))) << bytes;
  }
  for (const char* bytes :
       {"", "41 42 1B 24 42 46 7C", "C3 A9 80", "C3 A9 C3", "C3 A9 E3 81", "C0 80 C3 A9", "E0 9F BF", "F0 8F BF BF",
        "F4 90 80 80", "F5 80 80 80", "ED A0 BD 41", "ED B8 80", "ED A0 BD ED A0 BD", "93 FA 8B 4C", "C6 FC B5 AD"}) {
    EXPECT_FALSE(IsUtf8Text(Hex(bytes))) << bytes;
  }
}

}  // namespace
}  // namespace nbl::encoding
