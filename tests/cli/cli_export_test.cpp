#include <fstream>
#include <gtest/gtest.h>
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
  EXPECT_EQ(ReadFile(Path("out.xml")),
            kHead +
                "<day date=\"2007-01-05\" title=\"テスト\">\n<body>\na&amp;lt;b\r&amp;lt;BR&amp;gt;c－d\n\n</body>\n</day>\n"
                "<day date=\"2007-02-01\" title=\"A &quot;quoted&quot; &lt;title&gt; &amp; more\">\n<body>\nx &amp; y\nz\n</body>\n</day>\n"
                "<day date=\"2007-03-01\" title=\"emoji\">\n<body>\n\xF0\x9F\x8D\x99\n\n</body>\n</day>\n"
                "</diary>");
  const CommandResult lint = RunCommand({"xmllint", "--noout", Path("out.xml")});
  EXPECT_EQ(lint.status, 0) << lint.output;
}

TEST_F(CliExport, OptionsReachTheSettings) {
  NewStoreWithRows();
  const CommandResult r = RunCli({"export", Path("d.db"), Path("out.xml"), "--ui", "none", "--genre", "Tom's", "--publish",
                                  "private", "--from", "2007/01/31", "--to", "2007/02/02", "--date", "publish",
                                  "--keep-line-breaks", "--keep-hyphens"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ReadFile(Path("out.xml")),
            kHead + "<day date=\"2007-02-03\" title=\"A &quot;quoted&quot; &lt;title&gt; &amp; more\">\n<body>\nx &amp; y\nz\n</body>\n</day>\n</diary>");
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
  const CommandResult load = RunCommand({"sh", "-c", "sqlite3 \"$0\" < \"$1\"", db, std::string(NBL_SOURCE_DIR) + "/examples/sample_diary.sql"});
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
