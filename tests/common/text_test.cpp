#include "common/text.h"

#include <gtest/gtest.h>

namespace nbl::text {
namespace {

struct ReplaceCase {
  std::u16string text, find, with, expected;
};

TEST(TextReplace, ReplacesEveryOccurrenceWithoutRescanning) {
  const ReplaceCase cases[] = {
      {u"a<b<c", u"<", u"&lt;", u"a&lt;b&lt;c"},
      {u"&lt;", u"&", u"&amp;", u"&amp;lt;"},  // what was inserted is not looked at again
      {u"aaa", u"aa", u"b", u"ba"},            // left to right, no overlap
      {u"abc", u"", u"x", u"abc"},             // empty search text changes nothing
      {u"", u"a", u"b", u""},
      {u"x\r\ny\r\n", u"\r\n", u"\n", u"x\ny\n"},
      {u"Aa", u"a", u"", u"A"},  // case-sensitive
  };
  for (const auto& c : cases) EXPECT_EQ(Replace(c.text, c.find, c.with), c.expected) << ToUtf8(c.text);
}

TEST(TextDigitsAndBlanks, WriteTheSignAndTrimOnlySpacesAndTabs) {
  EXPECT_EQ(Digits(-1234), u"-1234");
  EXPECT_EQ(TrimBlanks(u" \t<body> \t"), u"<body>");
  EXPECT_EQ(TrimBlanks(u"\u3000a b\r"), u"\u3000a b\r");  // only spaces and tabs are blanks
  EXPECT_EQ(TrimBlanks(u" \t "), u"");
}

TEST(TextAsciiCase, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase(u"SetPath", u"setpath"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase(u"Ａ", u"ａ"));  // full-width letters are not folded
  EXPECT_FALSE(EqualsIgnoringAsciiCase(u"ab", u"abc"));
  EXPECT_EQ(AsciiUpper(u'_'), u'_');
  EXPECT_EQ(HexDigitValue(u'f'), 15);
  EXPECT_EQ(HexDigitValue(u'F'), 15);
  EXPECT_EQ(HexDigitValue(u'g'), -1);
}

TEST(TextUtf8, ConvertsBothWaysWithSurrogatePairs) {
  const std::u16string text = u"a\u00E9\u3042\U0001F600";
  const std::string utf8 = "a\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80";
  EXPECT_EQ(ToUtf8(text), utf8);
  EXPECT_EQ(FromUtf8(utf8), text);
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");  // a lone surrogate cannot be UTF-8
  EXPECT_EQ(FromUtf8("\xC3"), u"\uFFFD");
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogates are not UTF-8
  EXPECT_EQ(FromUtf8MarkingBadBytes(utf8), text);
  EXPECT_EQ(FromUtf8MarkingBadBytes("a\x80\xC3(\xFF"), u"a\xDC80\xDCC3(\xDCFF");
}

TEST(TextUtf8, SequenceLengthsFollowTheTableOfWellFormedBytes) {
  const struct {
    std::string bytes;
    std::size_t length;
  } cases[] = {
      {std::string(1, '\0'), 1},
      {"\x7F", 1},
      {"\x80", 0},
      {"\xBF", 0},
      {"\xC1\xBF", 0},
      {"\xC2\x80", 2},
      {"\xDF\xBF", 2},
      {"\xC3", 0},
      {"\xC3(", 0},
      {"\xE0\x9F\xBF", 0},
      {"\xE0\xA0\x80", 3},
      {"\xED\x9F\xBF", 3},
      {"\xED\xA0\x80", 0},
      {"\xED\xBF\xBF", 0},
      {"\xEE\x80\x80", 3},
      {"\xEF\xBF\xBF", 3},
      {"\xE3\x81", 0},
      {"\xE3\x81\xC3", 0},
      {"\xF0\x8F\xBF\xBF", 0},
      {"\xF0\x90\x80\x80", 4},
      {"\xF4\x8F\xBF\xBF", 4},
      {"\xF4\x90\x80\x80", 0},
      {"\xF0\x9F\x8D", 0},
      {"\xF5\x80\x80\x80", 0},
      {"\xFF", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    EXPECT_EQ(Utf8SequenceLength("x" + c.bytes, 1), c.length);  // the first byte, not the start, is looked at
  }
}

TEST(TextXmlUtf8, ReplacesAndCountsWhatXmlCannotCarry) {
  const struct {
    const char* name;
    std::u16string text;
    std::string bytes;
    std::size_t replaced;
  } cases[] = {
      {"allowed controls and edges", u"\t\n\r \uD7FF\uE000\uFFFD", "\t\n\r \xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD", 0},
      {"pair", u"\U0001F359", "\xF0\x9F\x8D\x99", 0},
      {"C0 controls", std::u16string(u"\x00\x01\x08\x0B\x0C\x0E\x1F", 7),
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", 7},
      {"non-characters", u"a\uFFFE\uFFFFb",
       "a\xEF\xBF\xBD\xEF\xBF\xBD"
       "b",
       2},
      {"lone surrogates",
       u"\xD83D"
       "x\xDE00\xDC80",
       "\xEF\xBF\xBDx\xEF\xBF\xBD\xEF\xBF\xBD", 3},
      {"reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "kept";
    EXPECT_EQ(AppendXmlUtf8(c.text, out), c.replaced);
    EXPECT_EQ(out, "kept" + c.bytes);
  }
}

}  // namespace
}  // namespace nbl::text
