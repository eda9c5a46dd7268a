#include "import/xml_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/text.h"

namespace nbl::importing {
namespace {

std::string U8(std::u16string_view s) { return text::ToUtf8(s); }

TEST(DecodeTitleReferences, DecodesEachReferenceOnce) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"R&D", u"R&D"},  // an old file's raw ampersand stays
      {u"A&amp;B &lt;x&gt; &quot;q&quot; &apos;", u"A&B <x> \"q\" '"},
      {u"&amp;lt;", u"&lt;"},
      {u"&#12354;&#x3041;&#x1F600;", u"あぁ\U0001F600"},
      {u"&#0; &#xD800; &#x110000; &#; &#x; &#12a; &#X41; &AMP; &nbsp; &amp",
       u"&#0; &#xD800; &#x110000; &#; &#x; &#12a; &#X41; &AMP; &nbsp; &amp"},
      {u"&&amp;;", u"&&;"},
      {u"&#0000000065;&a b;&amp x;&あ;", u"A&a b;&amp x;&あ;"},
      {std::u16string(200000, u'&') + u";", std::u16string(200000, u'&') + u";"},  // one pass, not one per "&"
      {u"", u""},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(U8(in.substr(0, 40)));
    EXPECT_EQ(DecodeTitleReferences(U8(in)), U8(out));
  }
}

// The one pass gives what the four replacements give in turn, on texts made of the pieces of entities.
TEST(DecodeBodyEntities, IsTheFourReplacementsInTurn) {
  const std::u16string pieces[] = {u"&", u"amp;", u"lt;", u"gt;", u"quot;", u"a", u";", u"&amp;", u"日"};
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::u16string body;
    for (int k = std::uniform_int_distribution<int>(0, 12)(random); k > 0; --k) {
      body += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
    }
    std::u16string expected = body;
    for (const auto& [find, with] : {std::pair<std::u16string_view, std::u16string_view>{u"&amp;", u"&"},
                                     {u"&lt;", u"<"},
                                     {u"&gt;", u">"},
                                     {u"&quot;", u"\""}}) {
      expected = text::Replace(expected, find, with);
    }
    SCOPED_TRACE(U8(body));
    EXPECT_EQ(DecodeBodyEntities(U8(body)), U8(expected));
  }
}

}  // namespace
}  // namespace nbl::importing
