#include "import/diary_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/date.h"
#include "common/failure.h"
#include "common/text.h"

namespace nbl::importing {
namespace {

using Lines = std::vector<std::u16string>;

std::string U8(std::u16string_view s) { return text::ToUtf8(s); }

struct Walked {
  std::vector<std::string> stored;  // "day|title|body" of each stored entry
  std::u16string stepText;
  bool failed = false;
  std::size_t faultLine = 0;  // of a DiaryFormatFailure
  std::size_t skipped = 0;
};

// Walks the lines as the run does and records what it would store.
Walked Walk(const Lines& lines, const ImportSettingNubelo& set = {u"<H2>", u"</H2>"}) {
  Walked w;
  std::vector<std::string> utf8;
  for (const std::u16string& line : lines) utf8.push_back(U8(line));
  DiaryLineReader reader(set, [&w](const DiaryEntry& e) { w.stored.push_back(e.day + "|" + e.title + "|" + e.body); });
  try {
    for (const std::string& line : utf8) reader.HandleLine(line);
    reader.Finish();
  } catch (const DiaryFormatFailure& f) {
    w.failed = true;
    w.faultLine = f.line();
  } catch (const Failure&) {
    w.failed = true;
  }
  w.stepText = reader.stepText();
  w.skipped = reader.skippedLines();
  return w;
}

struct WalkCase {
  const char* name;
  Lines lines;
  std::vector<std::string> stored;
  std::u16string stepText;  // in force at the end
  std::size_t line = 0;     // a success: lines skipped; a failure: the line of the fault
};

const std::u16string kDay = u"<day date=\"2007-05-01\" title=\"\">";

// Walks each case and expects it to succeed as it says.
void ExpectWalks(const std::vector<WalkCase>& cases) {
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.name);
    const bool customTags = std::string(c.name) == "tags of the settings";
    const Walked w = customTags ? Walk(c.lines, {u"[", u"]"}) : Walk(c.lines);
    EXPECT_FALSE(w.failed);
    EXPECT_EQ(w.stored, c.stored);
    EXPECT_EQ(U8(w.stepText), U8(c.stepText));
    EXPECT_EQ(w.skipped, c.line);
  }
}

TEST(DiaryLineReader, TurnsLinesIntoEntries) {
  ExpectWalks({
      {"export document",
       {u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", u"<diary>", u"<day date=\"2007-01-05\" title=\"テスト\">",
        u"<body>", u"a&amp;lt;b", u"", u"</body>", u"</day>", u"</diary>"},
       {"2007/01/05|テスト|a<b<BR>\r\n<BR>\r\n"},
       u"データ読み捨てエラー："},
      {"entities in the given order",
       {kDay, u"<body>", u"&amp;lt;&quot;&amp;amp;&gt;&apos;", u"</day>"},
       {"2007/05/01||<\"&amp;>&apos;<BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
      {"indented structure lines; body lines keep their blanks; mis-cased tags are text",
       {u" <?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", u"\t<diary>", u"  <day date=\"2007-05-01\" title=\"t\">\t",
        u"\t<body>", u"  text ", u"</Body>", u"</Day>", u"  </body>  ", u" </day>", u" </diary> "},
       {"2007/05/01|t|  text <BR>\r\n</Body><BR>\r\n</Day><BR>\r\n"},
       u"データ読み捨てエラー："},
      {"attributes in either order, each value to its own quote",
       {u"<day title=\"a&quot;b\" date=\"2007/05/01\">x\">", u"</day>", u"<day title = 'c\"d' date='2008-02-29' >",
        u"</day>"},
       {"2007/05/01|a\"b|", "2008/02/29|c\"d|"},
       u"データ格納エラー：2008/02/29"},
      {"a raw quote in a title that ends the line runs to the tag's end, as the service writes it",
       {u"<day date=\"2007-05-01\" title=\"He said \"hi\"\">", u"</day>",
        u"<day date=\"2007-05-02\" title=\"a\" b=\"c\">", u"</day>"},
       {"2007/05/01|He said \"hi\"|", "2007/05/02|a|"},
       u"データ格納エラー：2007/05/02"},
      {"stray lines outside bodies are skipped and counted, blank ones not",
       {u"<!-- a comment -->", u"", u" \t", u"<day date=\"2007-05-01\">", u"stray", u"<body>", u"b", u"</body>",
        u"<days>", u"</day>", u"<diary>"},
       {"2007/05/01||b<BR>\r\n"},
       u"データ読み捨てエラー：",
       3},
      {"after a stored entry the title is open again",
       {u"<day date=\"2007-05-01\" title=\"t\">", u"</day>", u"<day date=\"2007-05-02\" title=\"\">", u"<body>",
        u"*1178000000*H", u"</day>", u"<day date=\"2007-05-03\" title=\"\">", u"</day>", u""},
       {"2007/05/01|t|", "2007/05/02|H|<H2>H(2007/05/01 15:13:20)</H2><BR>\r\n", "2007/05/03||"},
       u"データ読み捨てエラー："},
      {"titles are decoded",
       {u"<day date=\"2007-05-01\" title=\"Q&amp;A &lt;1&gt; &#x1F600;\">", u"</day>"},
       {"2007/05/01|Q&A <1> \U0001F600|"},
       u"データ格納エラー：2007/05/01"},
      {"a second body block of a day is decoded on its own",
       {kDay, u"<body>", u"&amp;amp;lt;", u"</body>", u"<body>", u"&amp;gt;", u"</body></day>"},
       {"2007/05/01||&amp;lt;<BR>\r\n><BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
      {"characters above U+FFFF pass",
       {kDay, u"<body>", u"\U0001F600", u"</day>"},
       {"2007/05/01||\U0001F600<BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
  });
}

TEST(DiaryLineReader, RewritesHeadingsWithTheirTimes) {
  ExpectWalks({
      {"numeric heading sets time and title",
       {kDay, u"<body>", u"*1178000000*お知らせ", u"</body></day>"},
       {"2007/05/01|お知らせ|<H2>お知らせ(2007/05/01 15:13:20)</H2><BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
      {"time at midnight is the date alone",
       {kDay, u"<body>", u"*54000*零時の記録", u"</day>"},
       {"2007/05/01|零時の記録|<H2>零時の記録(1970/01/02)</H2><BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
      {"non-numeric field keeps the last time, first heading gives the title",
       {kDay, u"<body>", u"*メモ*今日あった出来事", u"*1177963387*朝", u"*メモ*昼にあった出来事です", u"</body>",
        u"</day>"},
       {"2007/05/01|今日あった出来事|<H2>今日あった出来事()</H2><BR>\r\n<H2>朝(2007/05/01 5:03:07)</H2><BR>\r\n"
        "<H2>昼にあった出来事です(2007/05/01 5:03:07)</H2><BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
      {"blank-padded and fractional fields are numeric",
       {kDay, u"<body>", u"* 1178000000.5 *A", u"*+1.178000001e9*B", u"</day>"},
       {"2007/05/01|A|<H2>A(2007/05/01 15:13:20)</H2><BR>\r\n<H2>B(2007/05/01 15:13:21)</H2><BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
      {"a heading keeps its stars; short and single-star lines stay; out-of-range seconds keep the time",
       {u"<day date=\"2007-05-01\" title=\"日記\">", u"<body>", u"*1178000000*A*B", u"*1178000*A", u"x1178000000*A*B",
        u"*見出しだけの行です。。。", u"*99999999999*注意書き", u"*1178000000*5*3=15 の計算", u"</body>", u"</day>"},
       {"2007/05/01|日記|<H2>A*B(2007/05/01 15:13:20)</H2><BR>\r\n*1178000*A<BR>\r\nx1178000000*A*B<BR>\r\n"
        "*見出しだけの行です。。。<BR>\r\n<H2>注意書き(2007/05/01 15:13:20)</H2><BR>\r\n"
        "<H2>5*3=15 の計算(2007/05/01 15:13:20)</H2><BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
      {"tags of the settings",
       {kDay, u"<body>", u"*1178000000*お知らせ", u"</day>"},
       {"2007/05/01|お知らせ|[お知らせ(2007/05/01 15:13:20)]<BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
      {"the heading time does not outlive its entry",
       {kDay, u"<body>", u"*1178000000*A", u"</day>", kDay, u"<body>", u"*メモ*二つ目の見出しです", u"</day>"},
       {"2007/05/01|A|<H2>A(2007/05/01 15:13:20)</H2><BR>\r\n",
        "2007/05/01|二つ目の見出しです|<H2>二つ目の見出しです()</H2><BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
      {"a heading's title is decoded as its body",
       {kDay, u"<body>", u"*1178000000*Tom &amp; Jerry &amp;lt;3&amp;gt;", u"</day>"},
       {"2007/05/01|Tom & Jerry <3>|<H2>Tom & Jerry <3>(2007/05/01 15:13:20)</H2><BR>\r\n"},
       u"データ格納エラー：2007/05/01"},
  });
}

// Every fault that would lose or merge an entry stops the walk at its line.
TEST(DiaryLineReader, StructuralFaultsNameTheirLine) {
  const std::u16string kBody = u"データ取得エラー <body>：2007/05/01", kStore = u"データ格納エラー：2007/05/01",
                       kDate = u"日付取得エラー <day>";
  const std::vector<WalkCase> cases = {
      {"body opened on the last line", {u"<diary>", kDay, u"<body>"}, {}, kBody, 2},
      {"body never closed", {kDay, u"<body>", u"x", u"</diary>"}, {}, kBody, 1},
      {"entry never closed", {kDay, u"<body>", u"x", u"</body>", u"</diary>"}, {}, kStore, 1},
      {"entry and its end on one line", {u"<day date=\"2007-05-01\" title=\"t\"></day>"}, {}, kDate, 1},
      // Text that shares a line with a structural tag is never dropped without a word.
      {"a body on its tag's line",
       {kDay, u"<body>kept?</body>", u"</day>"},
       {},
       u"データ読み捨てエラー：2007/05/01",
       2},
      {"a document on one line",
       {u"<?xml version=\"1.0\"?>", u"<diary><day date=\"2007-05-01\"><body>x</body></day></diary>"},
       {},
       u"データ読み捨てエラー：",
       2},
      {"a day line that opens its body", {u"<day date=\"2007-05-01\"><body>", u"x", u"</body></day>"}, {}, kDate, 1},
      {"a body line that closes its body", {kDay, u"<body>", u"x</body>", u"</day>"}, {}, kBody, 3},
      {"a body line that joins two entries",
       {kDay, u"<body>", u"x", u"</body></day><day date=\"2007-05-02\">", u"<body>", u"y", u"</body></day>"},
       {},
       kBody,
       4},
      {"a day line in an open entry",
       {kDay, u"</day>", kDay, u"<body>", u"x", u"</body>", u"<day date=\"2007-05-02\">", u"</day>"},
       {"2007/05/01||"},
       kDate,
       7},
      {"a day line in a body", {kDay, u"<body>", u"x", u" <day date=\"2007-05-02\">", u"</day>"}, {}, kDate, 4},
      {"a closing line with no entry", {kDay, u"</day>", u"</body></day>"}, {"2007/05/01||"}, u"データ格納エラー：", 3},
      {"</body> with no body", {kDay, u"</body>"}, {}, kBody, 2},
      {"<body> with no entry", {u"<diary>", u"<body>"}, {}, kDate, 2},
      {"no date", {u"<day title=\"t\">"}, {}, kDate, 1},
      {"unquoted date", {u"<day date=2007-05-01>"}, {}, kDate, 1},
      {"no calendar day", {u"<day date=\"2007-13-45\">"}, {}, kDate, 1},
      {"not a leap year", {u"<day date=\"2007-02-29\">"}, {}, kDate, 1},
      {"not a date", {u"<day date=\"abcd\" title=\"空\">"}, {}, kDate, 1},
      {"empty date", {u"<day date=\"\" title=\"空\">"}, {}, kDate, 1},
      {"mixed separators", {u"<day date=\"2007-05/01\">"}, {}, kDate, 1},
      {"date without its closing quote", {u"<day date=\"2007-05-01>"}, {}, kDate, 1},
      {"title without its closing quote", {u"<day date=\"2007-05-01\" title=\">"}, {}, u"タイトル取得エラー <day>", 1},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Walked w = Walk(c.lines);
    EXPECT_TRUE(w.failed);
    EXPECT_EQ(w.faultLine, c.line);
    EXPECT_EQ(w.stored, c.stored);
    EXPECT_EQ(U8(w.stepText), U8(c.stepText));
  }
}

}  // namespace
}  // namespace nbl::importing
