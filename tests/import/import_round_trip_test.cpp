// Through the command line: a store exported to a file and that file imported
// into a second store gives back the entries, numbered after the stored ones.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/diary_store.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace nbl::testing {
namespace {

std::string Path(const TempDir& dir, const std::string& name) { return (dir.path() / name).string(); }

TEST(ImportRoundTrip, ExportThenImportGivesTheEntriesBack) {
  TempDir dir;
  const std::string source = Path(dir, "source.db"), target = Path(dir, "target.db"), xml = Path(dir, "diary.xml");
  MakeStore(source, {
      {"2007/05/01", "仕事", 0, "Q&A <1> \"x\"", "a<b\r\nc-d & e", std::nullopt, "2007/05/01 10:00:00"},
      {"2007/05/01", "一般", 1, std::nullopt, "*1178000000*お知らせ & more", "ext \xF0\x9F\x8D\x99", "2007/05/01 11:00:00"},
      {"2007/05/03", "一般", 0, "line\nbreak", "", "", "2007/05/03 12:00:00"},
      {"2007/05/02", "一般", 0, "最後", "x\ny", "z", "2007/05/02 13:00:00"},
  });
  ASSERT_EQ(RunCli({"new-db", target}).status, 0);
  ExecSql(target, "INSERT INTO Contents (Day, Number, Title) VALUES ('2007/05/01', 2, 'kept'), ('2007/05/03', 7, 'kept')");

  const CommandResult exported = RunCli({"export", source, xml, "--ui", "none"});
  ASSERT_EQ(exported.status, 0) << exported.output;
  const CommandResult imported = RunCli({"import", target, xml, "--ui", "none"});
  ASSERT_EQ(imported.status, 0) << imported.output;

  const std::vector<std::string> expected = {
      "2007/05/01|3|-|一般|Q&A <1> \"x\"|a<b\r<BR>c－d & e<BR>\r\n<BR>\r\n||||2007/05/01 00:00:00|0",
      "2007/05/01|4|-|一般|お知らせ & more|<H2>お知らせ & more(2007/05/01 15:13:20)</H2><BR>\r\next \xF0\x9F\x8D\x99<BR>\r\n"
      "||||2007/05/01 00:00:00|0",
      "2007/05/03|8|-|一般|line\nbreak|<BR>\r\n<BR>\r\n||||2007/05/03 00:00:00|0",
      "2007/05/02|1|-|一般|最後|x<BR>y<BR>\r\nz<BR>\r\n||||2007/05/02 00:00:00|0",
  };
  EXPECT_EQ(QueryRows(target,
                      "SELECT Day, Number, Weather, Genre, Title, Contents, extend, excerpt, TrackBack, PublishTime, Private "
                      "FROM Contents WHERE ImportMark IS NOT NULL ORDER BY rowid"),
            expected);
  const std::vector<std::string> marks = QueryRows(target, "SELECT DISTINCT ImportMark FROM Contents WHERE Title IS NOT 'kept'");
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_TRUE(std::regex_match(marks[0], std::regex(R"(\d{4}/\d\d/\d\d \d{1,2}:\d\d:\d\d byNBLinout\.dll)"))) << marks[0];
}

TEST(ImportRoundTrip, CommandLineStatuses) {
  TempDir dir;
  const std::string db = Path(dir, "d.db"), good = Path(dir, "good.xml"), open = Path(dir, "open.xml");
  MakeStore(db, {});
  std::ofstream(good, std::ios::binary) << "<day date=\"2007-05-01\" title=\"\">\n<body>\n*1178000000*Head\n</body></day>\n";
  std::ofstream(open, std::ios::binary) << "<day date=\"2007-05-01\" title=\"\">\n<body>\ntext\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string output;  // a part of what the command prints
  };
  const std::vector<Case> cases = {
      {{"import", db, good, "--ui", "none", "--heading-tags", "[", "]"}, 0, ""},
      {{"import", Path(dir, "none.db"), good, "--ui", "none"}, 2, "none.db"},
      {{"import", db, Path(dir, "none.xml"), "--ui", "none"}, 2, "none.xml"},
      {{"import", db, open, "--ui", "none"}, 1, "データ取得エラー <body>：2007/05/01"},
      {{"import", db, good, "--heading-tags", "[", "--ui", "none"}, 2, "heading-tags"},
      {{"import", "--help"}, 0, "--heading-tags"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    const CommandResult r = RunCli(c.args);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.output), std::string::npos) << r.output;
  }
  EXPECT_EQ(QueryRows(db, "SELECT Title, Contents FROM Contents"),
            (std::vector<std::string>{"Head|[Head(2007/05/01 15:13:20)]<BR>\r\n"}));
}

}  // namespace
}  // namespace nbl::testing
