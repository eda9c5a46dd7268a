// A diary document imports to the same rows however its tags are laid out: one
// tag to a line (read line by line) or any other way (read by the XML parser).
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "common/text.h"
#include "export/diary_document.h"
#include "import/import_run.h"
#include "store/connection.h"
#include "support/diary_store.h"
#include "support/fake_ui.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace nbl::importing {
namespace {

struct Entry {
  std::string day, title, contents;
};

// The document an export writes for the entries, line breaks kept raw or made <BR>.
std::string Exported(const std::vector<Entry>& entries, bool keepLineBreaks) {
  std::string doc;
  exporting::DocumentWriter writer([&doc](const std::uint8_t* d, std::size_t n) { doc.append(d, d + n); });
  ExportSettingNubelo set{u"", u"", u"", 0, 0, keepLineBreaks ? 0 : 1, 1, 1};
  writer.Append(exporting::kHead);
  for (const Entry& e : entries) {
    writer.Append(exporting::kDayOpen);
    writer.AppendDayDate(e.day);
    writer.AppendTitle(e.title);
    writer.Append(exporting::kBodyOpen);
    writer.AppendBody(e.contents, set);
    writer.AppendBody("", set);
    writer.Append(exporting::kDayClose);
  }
  writer.Append(exporting::kTail);
  writer.Flush();
  return doc;
}

struct Imported {
  std::vector<std::string> rows;
  std::string failure;  // the cause, when the import failed
  std::int64_t skippedLines = 0;
};

Imported Import(const std::string& bytes) {
  testing::TempDir dir;
  const std::u16string db = dir.File("d.db"), file = dir.File("in.xml");
  store::CreateDiaryStore(db);
  std::ofstream(text::ToUtf8(file), std::ios::binary) << bytes;
  testing::FakeUi ui;
  const ImportReport report = ImportDiary(file, db, {u"<H2>", u"</H2>"}, ui);
  return {testing::QueryRows(text::ToUtf8(db),
                             "SELECT Day, Number, Title, Contents, PublishTime FROM Contents ORDER BY rowid"),
          report.completed ? "" : report.cause, report.skippedLines};
}

// The document as the XML tool writes it with `option`.
std::string Xmllint(const std::string& doc, const char* option) {
  testing::TempDir dir;
  const std::string in = (dir.path() / "in.xml").string();
  std::ofstream(in, std::ios::binary) << doc;
  const testing::CommandResult r = testing::RunCommand({"sh", "-c", "xmllint \"$0\" \"$1\" 2>&1", option, in});
  EXPECT_EQ(r.status, 0) << r.output;
  return r.output;
}

std::string Replace(std::string text, const std::string& pattern, const std::string& with) {
  return std::regex_replace(text, std::regex(pattern), with);
}

TEST(ImportLayouts, EveryLayoutOfAnExportImportsTheRowsOfTheLinePath) {
  const std::vector<Entry> entries = {
      {"2007/05/01", "Q&A <1> \"x\"\tz", "a<b & c-d \"q\" &amp; &lt;"},
      {"2007/05/01", "", "*1178000000*お知らせ & more\n*x*not a heading\n\n  indented\t\n"},
      {"2007/05/02", "line\nbreak", ""},
      {"2007/05/03", "本文に </body> と </day>", "</body></day><day date=\"2007-01-01\">\n\xF0\x9F\x8D\x99"},
      {"2007/05/04", "空白", "   \n\n"},
  };
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "line breaks kept" : "line breaks as <BR>");
    const std::string doc = Exported(entries, keep);
    const Imported lines = Import(doc);
    ASSERT_EQ(lines.failure, "");
    ASSERT_EQ(lines.rows.size(), entries.size());
    const std::string between = ">\n<";  // only tags meet so: text keeps its "<" and ">" escaped
    const struct {
      const char* name;
      std::string doc;
    } layouts[] = {
        {"xmllint --noblanks", Xmllint(doc, "--noblanks")},
        {"xmllint --format", Xmllint(doc, "--format")},
        {"one line between tags", Replace(doc, between, "><")},
        {"indented", Replace(doc, between, ">\n  \t<")},
        {"day and body joined", Replace(doc, "\">\n<body>", "\"><body>")},
        // Only before a line that starts with text: before a blank one the break would be no layout.
        {"no break after <body>", Replace(Replace(doc, between, "><"), "<body>\n(?=[^ \t\n<])", "<body>")},
        {"CR LF, one line between tags", Replace(Replace(doc, between, "><"), "\n", "\r\n")},
        {"closing tags on their own lines, the rest joined", Replace(doc, "\n<day", "<day")},
    };
    for (const auto& layout : layouts) {
      SCOPED_TRACE(layout.name);
      const Imported xml = Import(layout.doc);
      EXPECT_EQ(xml.failure, "");
      EXPECT_EQ(xml.rows, lines.rows);
    }
  }
}

// The four codes read the same under any layout.
TEST(ImportLayouts, EachCodeReadsTheSameOnOneLine) {
  const std::string doc = Exported({{"2007/05/01", "日記", "かな漢字 & <タグ>\n二行目"}}, true);
  const Imported lines = Import(doc);
  const std::string oneLine = Replace(doc, ">\n<", "><");
  for (const char* code : {"CP932", "EUC-JP", "ISO-2022-JP"}) {
    SCOPED_TRACE(code);
    testing::TempDir dir;
    const std::string utf8 = (dir.path() / "u.xml").string(), coded = (dir.path() / "c.xml").string();
    std::ofstream(utf8, std::ios::binary) << oneLine;
    const testing::CommandResult converted =
        testing::RunCommand({"sh", "-c", "iconv -f UTF-8 -t \"$0\" \"$1\" > \"$2\"", code, utf8, coded});
    ASSERT_EQ(converted.status, 0) << converted.output;
    EXPECT_EQ(Import(testing::ReadFile(coded)).rows, lines.rows);
  }
}

// The line path keeps what it reads today, documents that are no well-formed XML
// included; anything else goes to the parser, and nothing passes without a word.
TEST(ImportLayouts, OneRuleChoosesThePath) {
  const struct {
    const char* name;
    std::string doc;
    std::vector<std::string> rows;
    std::int64_t skipped;
    const char* failure;  // part of the cause, or "" for a success
  } cases[] = {
      {"raw quotes in a title, one tag to a line",
       "<diary>\n<day date=\"2007-05-01\" title=\"He said \"hi\"\">\n<body>\na & b\n</body>\n</day>\n</diary>\n",
       {"2007/05/01|1|He said \"hi\"|a & b<BR>\r\n|2007/05/01 00:00:00"},
       0,
       ""},
      {"a tag shares a line only in the last entry",
       "<diary>\n<day date=\"2007-05-01\" title=\"a\">\n<body>\nx\n</body>\n</day>\n"
       "<day date=\"2007-05-01\" title=\"b\"><body>y</body></day>\n</diary>\n",
       {"2007/05/01|1|a|x<BR>\r\n|2007/05/01 00:00:00", "2007/05/01|2|b|y<BR>\r\n|2007/05/01 00:00:00"},
       0,
       ""},
      {"stray text, comments and unknown elements are counted",
       "<diary><!-- c --><day date=\"2007-05-01\" title=\"t\"><extra/>stray<body>x</body></day><foo>bar</foo>"
       "</diary>",
       {"2007/05/01|1|t|x<BR>\r\n|2007/05/01 00:00:00"},
       5,
       ""},
      {"markup inside a body is kept as its text",
       "<diary><day date=\"2007-05-01\"><body>a<b x=\"1\">b</b><!--c--></body></day></diary>",
       {"2007/05/01|1|無題|a<b x=\"1\">b</b><!--c--><BR>\r\n|2007/05/01 00:00:00"},
       0,
       ""},
      {"neither one tag to a line nor well-formed",
       "<diary><day date=\"2007-05-01\"><body>a & b</body></day></diary>",
       {},
       0,
       "not well-formed"},
      {"an entity of the document's own",
       "<!DOCTYPE diary [<!ENTITY e \"boom\">]><diary><day date=\"2007-05-01\"><body>&e;</body></day></diary>",
       {},
       0,
       "declares an entity"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Imported got = Import(c.doc);
    EXPECT_EQ(got.rows, c.rows);
    EXPECT_EQ(got.skippedLines, c.skipped);
    if (*c.failure == '\0') {
      EXPECT_EQ(got.failure, "");
    } else {
      EXPECT_NE(got.failure.find(c.failure), std::string::npos) << got.failure;
    }
  }
}

}  // namespace
}  // namespace nbl::importing
