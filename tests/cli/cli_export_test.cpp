#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/diary_store.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace nbl::testing {
namespace {

class CliExport : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }
  void NewStoreWithRows() {
    ASSERT_EQ(RunCli({"new-db", Path("d.db")}).status, 0);
    ExecSql(Path("d.db"),
            "INSERT INTO Contents (Day, Number, Genre, Private, Title, Contents, extend, PublishTime) VALUES "
            "('2007/01/05', 1, '一般', 0, 'テスト', 'a<b' || char(13,10) || 'c-d', NULL, '2007/01/05 21:00:00'),"
            "('2007/02/01', 1, 'Tom''s', 1, 'A \"quoted\" <title> & more', 'x & y', 'z', '2007/02/03 08:00:00'),"
            "('2007/03/01', 1, '日記', 0, 'emoji', '🍙', '', '2007/03/02 08:00:00');");
  }
  TempDir dir_;
};

const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diary>\n";

TEST_F(CliExport, WritesTheDocumentByteForByteAndWellFormed) {
  NewStoreWithRows();
  const CommandResult r = RunCli({"export", Path("d.db"), Path("out.xml"), "--ui", "none"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(
      ReadFile(Path("out.xml")),
      kHead +
          "<day date=\"2007-01-05\" title=\"テスト\">\n<body>\na&amp;lt;b\r&amp;lt;BR&amp;gt;c－d\n\n</body>\n</day>\n"
          "<day date=\"2007-02-01\" title=\"A &quot;quoted&quot; &lt;title&gt; &amp; more\">\n<body>\nx &amp; "
          "y\nz\n</body>\n</day>\n"
          "<day date=\"2007-03-01\" title=\"emoji\">\n<body>\n\xF0\x9F\x8D\x99\n\n</body>\n</day>\n"
          "</diary>");
  const CommandResult lint = RunCommand({"xmllint", "--noout", Path("out.xml")});
  EXPECT_EQ(lint.status, 0) << lint.output;
}

TEST_F(CliExport, DashWritesTheDocumentToStandardOutput) {
  NewStoreWithRows();
  ASSERT_EQ(RunCli({"export", Path("d.db"), Path("file.xml"), "--ui", "none"}).status, 0);
  // Entries enough to outgrow a pipe's buffer, so that a reader that goes early is gone before the end.
  MakeStore(Path("big.db"), std::vector<Row>(200, Row{"2007/01/05", "一般", 0, "t", std::string(1000, 'x'), "", ""}));
  struct Case {
    const char* name;
    std::string script;  // bash; $0 is nblinout, $1 the folder
    std::vector<std::string> says;
  };
  const Case cases[] = {
      {"into xmllint",
       R"("$0" export "$1/d.db" - --ui none | xmllint --noout -; echo "exit ${PIPESTATUS[*]}")",
       {"exit 0 0", "nblinout: exported to standard output"}},
      {"into a file: the bytes of a file export, the texts on stderr",
       R"("$0" export "$1/d.db" - --ui console --overwrite >"$1/std.xml"; echo "exit $?"; cmp "$1/std.xml" "$1/file.xml" && echo same)",
       {"exit 0\nsame", "Export完了！"}},
      {"a reader that goes early",
       R"("$0" export "$1/big.db" - --ui none | true; echo "exit ${PIPESTATUS[0]}")",
       {"NBLinout: Loop内エラー：2007/01/05", "nblinout: cannot write the document to standard output: Broken pipe",
        "exit 1"}},
      {"no standard output",
       R"("$0" export "$1/d.db" - --ui none >&-; echo "exit $?")",
       {"NBLinout: 後処理エラー", "Bad file descriptor", "exit 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandResult r = RunCommand({"bash", "-c", c.script, NBL_CLI_PATH, dir_.path().string()});
    for (const std::string& line : c.says) EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
  }
}

TEST_F(CliExport, OptionsReachTheSettings) {
  NewStoreWithRows();
  const CommandResult r = RunCli({"export", Path("d.db"), Path("out.xml"), "--ui", "none", "--genre", "Tom's",
                                  "--publish", "private", "--from", "2007/01/31", "--to", "2007/02/02", "--date",
                                  "publish", "--keep-line-breaks", "--keep-hyphens"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ReadFile(Path("out.xml")), kHead +
                                           "<day date=\"2007-02-03\" title=\"A &quot;quoted&quot; &lt;title&gt; &amp; "
                                           "more\">\n<body>\nx &amp; y\nz\n</body>\n</day>\n</diary>");
}

TEST_F(CliExport, ExitStatusesTellWhatHappened) {
  NewStoreWithRows();
  std::ofstream(Path("exists.xml")) << "old";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {{"export", Path("missing.db"), Path("o.xml")}, 2, "missing.db"},
      {{"export", Path("d.db"), Path("exists.xml"), "--ui", "none"}, 2, "--overwrite"},
      {{"export", Path("d.db"), Path("no/such/dir/o.xml"), "--ui", "none"}, 1, "NBLinout: ファイルオープンエラー"},
      {{"export", Path("d.db"), Path("o.xml"), "--from", "2007-01-01"}, 2, "YYYY/MM/DD"},
      {{"export", Path("d.db"), Path("o.xml"), "--to", "2007/02/29"}, 2, "--to '2007/02/29' is not a calendar day"},
      {{"export", Path("d.db"), Path("o.xml"), "--publish", "some"}, 2, "--publish"},
      {{"export", Path("d.db"), Path("o.xml"), "--ui", "fancy"}, 2, "--ui"},
      {{"export", Path("d.db")}, 2, "FILE"},
      {{"new-db", Path("d.db")}, 2, "d.db"},
      {{"bogus"}, 2, "bogus"},
      // Without a terminal the console dialogs answer Cancel.
      {{"export", Path("d.db"), Path("o.xml"), "--dialog", "--ui", "console"}, 3, "cancelled"},
      {{"import", Path("d.db"), Path("exists.xml"), "--dialog", "--ui", "console"}, 3, "cancelled"},
  };
  for (const auto& c : cases) {
    const CommandResult r = RunCli(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.back() << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
  }
  EXPECT_EQ(ReadFile(Path("exists.xml")), "old");
  EXPECT_FALSE(std::filesystem::exists(Path("o.xml")));

  const CommandResult over = RunCli({"export", Path("d.db"), Path("exists.xml"), "--overwrite", "--ui", "none"});
  EXPECT_EQ(over.status, 0) << over.output;
  EXPECT_EQ(ReadFile(Path("exists.xml")).rfind(kHead, 0), 0u);
}

TEST_F(CliExport, ConsoleWindowsPrintTheRunTexts) {
  NewStoreWithRows();
  const CommandResult r = RunCli({"export", Path("d.db"), Path("out.xml"), "--ui", "console"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("3件のレコードをエクスポート完了。"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Export完了！"), std::string::npos) << r.output;
}

TEST(CliHelp, ExplainsEveryOption) {
  const CommandResult r = RunCli({"export", "--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* option : {"--genre", "--from", "--to", "--publish", "--keep-line-breaks", "--keep-hyphens", "--date",
                             "--overwrite", "--dialog", "--ui"}) {
    EXPECT_NE(r.output.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(RunCli({"--help"}).status, 0);
}

TEST(CliSample, TheBundledDiaryExportsWellFormed) {
  TempDir dir;
  const std::string db = (dir.path() / "s.db").string();
  const std::string xml = (dir.path() / "s.xml").string();
  ASSERT_EQ(RunCli({"new-db", db}).status, 0);
  const CommandResult load = RunCommand(
      {"sh", "-c", "sqlite3 \"$0\" < \"$1\"", db, std::string(NBL_SOURCE_DIR) + "/examples/sample_diary.sql"});
  ASSERT_EQ(load.status, 0) << load.output;
  const CommandResult r = RunCli({"export", db, xml, "--ui", "none"});
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string doc = ReadFile(xml);
  std::size_t days = 0;
  for (std::size_t p = doc.find("<day date="); p != std::string::npos; p = doc.find("<day date=", p + 1)) ++days;
  EXPECT_EQ(days, 20u);
  EXPECT_EQ(RunCommand({"xmllint", "--noout", xml}).status, 0);
}

}  // namespace
}  // namespace nbl::testing
