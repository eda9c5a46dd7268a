#include "export/diary_document.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/text.h"
#include "support/reference/document_pieces.h"

namespace nbl::exporting {
namespace {

ExportSettingNubelo Settings(int br, int hyphen, int publishDay) {
  return ExportSettingNubelo{u"", u"", u"", 0, 0, br, hyphen, publishDay};
}

TEST(EncodeHtmlText, EscapesAmpersandsOfInsertedEntitiesToo) {
  struct Case {
    std::u16string in, out;
  };
  const Case cases[] = {
      {u"<", u"&amp;lt;"},
      {u">", u"&amp;gt;"},
      {u"\"", u"&amp;quot;"},
      {u"&", u"&amp;"},
      {u"'", u"'"},
      {u"&lt;", u"&amp;lt;"},
      {u"a<b>c", u"a&amp;lt;b&amp;gt;c"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    std::u16string t = c.in;
    reference::EncodeHtmlText(t);
    EXPECT_EQ(t, c.out) << text::ToUtf8(c.in);
  }
}

TEST(BodyRule, LineBreaksHyphensAndNull) {
  struct Case {
    store::Value value;
    int br, hyphen;
    std::u16string out;
  };
  const Case cases[] = {
      {store::Value(), 1, 1, u""},
      {u"a\r\nb", 1, 1, u"a\r&amp;lt;BR&amp;gt;b"},
      {u"a\nb", 0, 1, u"a\nb"},
      {u"a\nb", 2, 1, u"a&amp;lt;BR&amp;gt;b"},
      {u"a\nb", -1, 1, u"a&amp;lt;BR&amp;gt;b"},
      {u"c-d", 1, 1, u"c\uFF0Dd"},
      {u"c-d", 1, 0, u"c-d"},
      {u"c-d", 1, 2, u"c-d"},
      {u"x&lt;", 1, 1, u"x&amp;lt;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reference::ApplyBodyRule(c.value, Settings(c.br, c.hyphen, 1)), c.out)
        << "br " << c.br << " hyphen " << c.hyphen;
  }
}

TEST(DateAndTitlePieces, FollowTheirSources) {
  EXPECT_EQ(reference::DatePiece(store::Value(u"2007/01/05")), u"2007-01-05");
  EXPECT_EQ(reference::DatePiece(store::Value(u"2007/01/05 extra")), u"2007-01-05 extra");  // a Day is written whole
  EXPECT_EQ(reference::DatePiece(store::Value(u"20070105")), u"20070105");
  EXPECT_EQ(reference::DatePiece(store::Value(u"2007/01/05\"<&")),
            u"2007-01-05&quot;&lt;&amp;");  // stays one attribute value
  EXPECT_EQ(reference::PublishDatePiece(store::Value(u"1/<&\"\r\n>abc")), u"1-&lt;&amp;&quot;&#13;&#10;&gt;ab");
  EXPECT_EQ(reference::PublishDatePiece(store::Value(u"2007/01/06 00:15:30")), u"2007-01-06");
  EXPECT_EQ(reference::PublishDatePiece(store::Value(u"2007/1/6")), u"2007-1-6");
  EXPECT_EQ(reference::PublishDatePiece(store::Value(u"")), u"");
  EXPECT_THROW(reference::PublishDatePiece(store::Value()), NullValueFailure);
  EXPECT_THROW(reference::DatePiece(store::Value()), NullValueFailure);

  EXPECT_EQ(reference::TitlePiece(store::Value(u"テスト")), u"\" title=\"テスト\">\n");
  EXPECT_EQ(reference::TitlePiece(store::Value()), u"\" title=\"\">\n");
  EXPECT_EQ(reference::TitlePiece(store::Value(u"A&B <x> \"q\" 'a'\r\n\t")),
            u"\" title=\"A&amp;B &lt;x&gt; &quot;q&quot; 'a'&#13;&#10;&#9;\">\n");
}

TEST(DocumentWriter, WritesTheWorkedExampleByteForByteAndHandsItOnAtFlush) {
  const ExportSettingNubelo set = Settings(1, 1, 1);
  std::string got;
  DocumentWriter doc(
      [&got](const std::uint8_t* data, std::size_t size) { got.append(reinterpret_cast<const char*>(data), size); });
  doc.Append(kHead);
  doc.Append(kDayOpen);
  doc.AppendDayDate("2007/01/05");
  doc.AppendTitle("テスト");
  doc.Append(kBodyOpen);
  doc.AppendBody("a<b\r\nc-d", set);
  doc.AppendBody(std::nullopt, set);
  doc.Append(kDayClose);
  doc.Append(kTail);
  EXPECT_EQ(got, "");  // less than a block
  doc.Flush();
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n"
      "<day date=\"2007-01-05\" title=\"\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\">\n<body>\n"
      "a&amp;lt;b\r&amp;lt;BR&amp;gt;c\xEF\xBC\x8D"
      "d\n\n</body>\n</day>\n</diary>";
  EXPECT_EQ(got.size(), 155u);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(doc.ReplacedCharacters(), 0);
}

// The rules are character by character, so a text of many copies of one unit writes many copies of
// that unit's writing, wherever the writer cuts the text into pieces. The units' lengths are odd, so
// the cuts land at every offset of a sequence, and in runs of bytes that continue none.
TEST(DocumentWriter, LongTextsWriteAsTheirUnitsWhereverThePiecesEnd) {
  const ExportSettingNubelo set = Settings(1, 1, 1);
  const std::string units[] = {"\xE3\x81\x82<\xF0\x9F\x8D\x99-\r\n\xFF\xEF\xBF\xBE&x",
                               "\x80\x80\x80\x80\x80\xE3\x81\x82\xF0\x9F\x8D"
                               "AB",
                               "\xF0\x9F\x8D\x99\xE6\x97\xA5\"x",
                               // Runs that need no rule, long and short, and U+FFFE at every place in a block.
                               "abc\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x97\xA5\xE8\xA8\x98",
                               "\xEF\xBF\xBE\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x97\xA5\xE8\xA8\x98"
                               "ab"};
  for (const std::string& unit : units) {
    const auto write = [&set](const std::string& body, std::int64_t& replaced) {
      std::string got;
      DocumentWriter doc([&got](const std::uint8_t* data, std::size_t size) {
        EXPECT_LE(size, 3 * DocumentWriter::kBlockSize);  // nothing held whole
        got.append(reinterpret_cast<const char*>(data), size);
      });
      doc.AppendBody(body, set);
      doc.AppendTitle(body);
      doc.Flush();
      replaced = doc.ReplacedCharacters();
      return got;
    };
    std::int64_t replacedOnce = 0, replaced = 0;
    const std::string once = write(unit, replacedOnce);
    const std::size_t copies = 3 * DocumentWriter::kBlockSize / unit.size();
    const std::string bodyOnce = once.substr(0, once.find("\n\" title=\""));
    const std::string titleOnce = once.substr(bodyOnce.size() + 10, once.size() - bodyOnce.size() - 13);
    std::string body, expected;
    for (std::size_t k = 0; k < copies; ++k) body += unit;
    for (std::size_t k = 0; k < copies; ++k) expected += bodyOnce;
    expected += "\n\" title=\"";
    for (std::size_t k = 0; k < copies; ++k) expected += titleOnce;
    expected += "\">\n";
    EXPECT_TRUE(write(body, replaced) == expected) << testing::PrintToString(unit);
    EXPECT_EQ(replaced, replacedOnce * static_cast<std::int64_t>(copies));
  }
}

}  // namespace
}  // namespace nbl::exporting
