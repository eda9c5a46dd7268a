// Through the command line: a store exported to a file and that file imported
// into a second store gives back the entries, numbered after the stored ones;
// an import that fails or is killed leaves the store as it was.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <random>
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
  MakeStore(source,
            {
                {"2007/05/01", "仕事", 0, "Q&A <1> \"x\"", "a<b\r\nc-d & e", std::nullopt, "2007/05/01 10:00:00"},
                {"2007/05/01", "一般", 1, std::nullopt, "*1178000000*お知らせ & more", "ext \xF0\x9F\x8D\x99",
                 "2007/05/01 11:00:00"},
                {"2007/05/03", "一般", 0, "line\nbreak", "", "", "2007/05/03 12:00:00"},
                {"2007/05/02", "一般", 0, "最後", "x\ny", "z", "2007/05/02 13:00:00"},
            });
  ASSERT_EQ(RunCli({"new-db", target}).status, 0);
  ExecSql(target,
          "INSERT INTO Contents (Day, Number, Title) VALUES ('2007/05/01', 2, 'kept'), ('2007/05/03', 7, 'kept')");

  const CommandResult exported = RunCli({"export", source, xml, "--ui", "none"});
  ASSERT_EQ(exported.status, 0) << exported.output;
  const CommandResult imported = RunCli({"import", target, xml, "--ui", "none"});
  ASSERT_EQ(imported.status, 0) << imported.output;

  const std::vector<std::string> expected = {
      "2007/05/01|3|-|一般|Q&A <1> \"x\"|a<b\r<BR>c－d & e<BR>\r\n<BR>\r\n||||2007/05/01 00:00:00|0",
      "2007/05/01|4|-|一般|お知らせ & more|<H2>お知らせ & more(2007/05/01 15:13:20)</H2><BR>\r\next "
      "\xF0\x9F\x8D\x99<BR>\r\n"
      "||||2007/05/01 00:00:00|0",
      "2007/05/03|8|-|一般|line\nbreak|<BR>\r\n<BR>\r\n||||2007/05/03 00:00:00|0",
      "2007/05/02|1|-|一般|最後|x<BR>y<BR>\r\nz<BR>\r\n||||2007/05/02 00:00:00|0",
  };
  EXPECT_EQ(
      QueryRows(target,
                "SELECT Day, Number, Weather, Genre, Title, Contents, extend, excerpt, TrackBack, PublishTime, Private "
                "FROM Contents WHERE ImportMark IS NOT NULL ORDER BY rowid"),
      expected);
  const std::vector<std::string> marks =
      QueryRows(target, "SELECT DISTINCT ImportMark FROM Contents WHERE Title IS NOT 'kept'");
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_TRUE(std::regex_match(marks[0], std::regex(R"(\d{4}/\d\d/\d\d \d{1,2}:\d\d:\d\d byNBLinout\.dll)")))
      << marks[0];
}

// Files the first kilobyte of which gives no sign of UTF-8 come back unchanged.
TEST(ImportRoundTrip, EveryTextComesBackWhateverTheFirstKilobyteHolds) {
  TempDir dir;
  const std::string ascii(1100, 'a');
  const Row first{"2007/05/01", "一般", 0, "plain", ascii, {}, {}};
  const struct {
    const char* name;
    std::vector<Row> rows;
  } cases[] = {
      {"ASCII first, kana later", {first, {"2007/05/02", "一般", 0, "日記", "かなとカナ", {}, {}}}},
      {"one accent", {{"2007/05/01", "一般", 0, "Coffee at the café", "Coffee at the café", {}, {}}}},
      {"ASCII first, Latin-1 later", {first, {"2007/05/02", "一般", 0, "Ünïcödé", "àéîõü ß", {}, {}}}},
      {"above U+FFFF", {first, {"2007/05/02", "一般", 0, "\xF0\x9F\x8D\x99", "\xF0\xA0\xAE\x9F", {}, {}}}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = Path(dir, std::to_string(++n) + "s.db"), target = Path(dir, std::to_string(n) + "t.db"),
                      xml = Path(dir, std::to_string(n) + ".xml");
    MakeStore(source, c.rows);
    MakeStore(target, {});
    ASSERT_EQ(RunCli({"export", source, xml, "--ui", "none"}).status, 0);
    const CommandResult imported = RunCli({"import", target, xml, "--ui", "none"});
    ASSERT_EQ(imported.status, 0) << imported.output;
    std::vector<std::string> expected;
    for (const Row& r : c.rows) expected.push_back(*r.title + "|" + *r.contents + "<BR>\r\n<BR>\r\n");
    EXPECT_EQ(QueryRows(target, "SELECT Title, Contents FROM Contents ORDER BY rowid"), expected);
  }
}

TEST(ImportRoundTrip, CommandLineStatuses) {
  TempDir dir;
  const std::string db = Path(dir, "d.db"), good = Path(dir, "good.xml"), open = Path(dir, "open.xml");
  MakeStore(db, {});
  std::ofstream(good, std::ios::binary)
      << "<!-- one -->\n<day title=\"\" date=\"2007-05-01\">\n <body>\n*1178000000*Head\n</body></day>\n";
  std::ofstream(open, std::ios::binary) << "<day date=\"2007-05-01\" title=\"\">\n<body>\ntext\n";
  const std::string day = "<day date=\"2007-05-01\">\n", fine = day + "</day>\n";
  const std::pair<std::string, std::string> faults[] = {{"merged", fine + day + "<body>\n" + day + "</day>\n"},
                                                        {"unclosed", fine + fine + day},
                                                        {"nul", fine + std::string("x\0\n", 3)}};
  for (const auto& [name, bytes] : faults) std::ofstream(Path(dir, name + ".xml"), std::ios::binary) << bytes;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string output;   // a part of what the command prints
    bool locked = false;  // another connection holds the store's write lock meanwhile
  };
  const std::vector<Case> cases = {
      {{"import", db, good, "--ui", "none", "--heading-tags", "[", "]"},
       0,
       "nblinout: imported 1 entry from " + good + "; 1 line outside any entry's body was skipped\n"},
      {{"import", Path(dir, "none.db"), good, "--ui", "none"}, 2, "none.db"},
      {{"import", db, Path(dir, "none.xml"), "--ui", "none"}, 2, "none.xml"},
      {{"import", db, open, "--ui", "none"},
       1,
       "データ取得エラー <body>：2007/05/01\nnblinout: at line 1 of " + open + "\nnblinout: the body"},
      {{"import", db, Path(dir, "merged.xml"), "--ui", "none"}, 1, "at line 5 of"},
      {{"import", db, Path(dir, "unclosed.xml"), "--ui", "none"}, 1, "at line 5 of"},
      {{"import", db, Path(dir, "nul.xml"), "--ui", "none"}, 1, "at line 3 of"},
      {{"import", db, good, "--ui", "none", "--lock-wait", "0"}, 1, "日付読み込みエラー\nnblinout: ", true},
      {{"import", db, good, "--heading-tags", "[", "--ui", "none"}, 2, "heading-tags"},
      {{"import", db, good, "--lock-wait", "-1"}, 2, "--lock-wait"},
      {{"import", "--help"}, 0, "--heading-tags"},
      {{"import", "--help"}, 0, "--lock-wait"},
      {{"export", "--help"}, 0, "--lock-wait"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    sqlite3* holder = nullptr;
    if (c.locked) {
      ASSERT_EQ(sqlite3_open(db.c_str(), &holder), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    const CommandResult r = RunCli(c.args);
    sqlite3_close(holder);  // also ends its transaction
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.output), std::string::npos) << r.output;
  }
  EXPECT_EQ(QueryRows(db, "SELECT Title, Contents FROM Contents"),
            (std::vector<std::string>{"Head|[Head(2007/05/01 15:13:20)]<BR>\r\n"}));
}

// A diary file of `entries` days, spread over a few dates so that numbers continue.
std::string WriteDiary(const TempDir& dir, const std::string& name, int entries) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";
  for (int k = 0; k < entries; ++k) {
    doc += "<day date=\"2007-05-0" + std::to_string(k % 9 + 1) + "\" title=\"t\">\n<body>\n本文 " + std::to_string(k) +
           "\n</body>\n</day>\n";
  }
  const std::string path = Path(dir, name);
  std::ofstream(path, std::ios::binary) << doc << "</diary>";
  return path;
}

TEST(ImportRoundTrip, ImportsIntoOneStoreAtOnceNeverRepeatANumber) {
  TempDir dir;
  const std::string db = Path(dir, "d.db"), a = WriteDiary(dir, "a.xml", 3000), b = WriteDiary(dir, "b.xml", 3000);
  MakeStore(db, {});
  const std::string cli = NBL_CLI_PATH;
  const CommandResult r = RunCommand(
      {"sh", "-c", "\"$0\" import \"$1\" \"$2\" --ui none & \"$0\" import \"$1\" \"$3\" --ui none || exit 1; wait $!",
       cli, db, a, b});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(QueryRows(db, "SELECT COUNT(*), COUNT(DISTINCT Day || '#' || Number), MAX(Number) FROM Contents"),
            (std::vector<std::string>{"6000|6000|668"}));
}

// kill -9 at a random moment, three times: each time the store holds the whole import or none of it.
TEST(ImportRoundTrip, AKilledImportLeavesAllOrNothing) {
  TempDir dir;
  const std::string db = Path(dir, "d.db"), xml = WriteDiary(dir, "big.xml", 100000);
  MakeStore(db, {});
  std::mt19937 random(std::random_device{}());
  long long rows = 0;
  for (int round = 0; round < 3; ++round) {
    const std::string delay = std::to_string(std::uniform_int_distribution<int>(0, 2500)(random) / 1000.0);
    RunCommand({"sh", "-c", "\"$0\" import \"$1\" \"$2\" --ui none & sleep $3; kill -9 $!; wait", NBL_CLI_PATH, db, xml,
                delay});
    const long long now = std::stoll(QueryRows(db, "SELECT COUNT(*) FROM Contents").at(0));
    EXPECT_TRUE(now == rows || now == rows + 100000) << "killed after " << delay << " s: " << now - rows << " new rows";
    rows = now;
    EXPECT_EQ(QueryRows(db, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
  }
}

}  // namespace
}  // namespace nbl::testing
