// nblinout info: the facts of a store, printed without changing the store.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "support/diary_store.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace nbl::testing {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

TEST(CliInfo, PrintsTheFactsAndLeavesTheStoreAsItWas) {
  struct Case {
    std::string name;
    // Makes the store at the path and returns what info prints for it.
    std::function<std::string(const std::string& db)> make;
    int status;
    bool unprivileged = false;  // run as nobody when this test runs as root, whom no permission stops
  };
  const std::string sampleSql = std::string(NBL_SOURCE_DIR) + "/examples/sample_diary.sql";
  const Case cases[] = {
      {"the sample diary",
       [&](const std::string& db) {
         RunCli({"new-db", db});
         RunCommand({"sh", "-c", "sqlite3 \"$0\" < \"$1\"", db, sampleSql});
         return "entries: 20\nfirst day: 2007/01/05\nlast day: 2007/07/07\npublic: 16\nprivate: 4\n"
                "genres:\n  6  一般\n  3  仕事\n  3  料理\n  3  旅行\n  5  日記\n"
                "import marks:\n  20  (not imported)\n";
       },
       0},
      {"an empty store",
       [](const std::string& db) {
         RunCli({"new-db", db});
         return "entries: 0\nfirst day: none\nlast day: none\npublic: 0\nprivate: 0\ngenres: none\nimport marks: "
                "none\n";
       },
       0},
      {"Null and odd values beside an imported row",
       [](const std::string& db) {
         RunCli({"new-db", db});
         const std::string xml = db + ".xml";
         std::ofstream(xml) << "<diary>\n<day date=\"2008-01-01\" title=\"t\">\n<body>\nx\n</body>\n</day>\n</diary>\n";
         RunCli({"import", db, xml, "--ui", "none"});
         fs::remove(xml);
         // After the import, which refuses a store holding a Null day.
         ExecSql(db,
                 "INSERT INTO Contents (Day, Genre, Private) VALUES ('2007/01/01', NULL, 0), ('2006/12/31', '', 1),"
                 "(NULL, 'x' || char(27) || '[2Jy', NULL), ('2007/02/02', '日記', -1);");
         const auto marks = QueryRows(db, "SELECT ImportMark FROM Contents WHERE ImportMark IS NOT NULL;");
         return "entries: 5\nfirst day: 2006/12/31\nlast day: 2008/01/01\npublic: 2\nprivate: 1\n"
                "neither public nor private: 2\n"
                "genres:\n  1  (no genre)\n  1  (empty)\n  1  x?[2Jy\n  1  一般\n  1  日記\n"
                "import marks:\n  4  (not imported)\n  1  " +
                (marks.empty() ? std::string("no row was imported") : marks[0]) + "\n";
       },
       0},
      {"no store", [](const std::string&) { return "nblinout: cannot open database '%DB%': no such file\n"; }, 2},
      {"a text file",
       [](const std::string& db) {
         std::ofstream(db) << "not a database, only text that is long enough to be read as one\n";
         return "nblinout: '%DB%' is not a SQLite database; give the path of a diary store\n";
       },
       1},
      {"a database without the diary table",
       [](const std::string& db) {
         RunCommand({"sqlite3", db, "CREATE TABLE Other (x);"});
         return "nblinout: '%DB%' lacks what a diary store holds (no such table: Contents); give the "
                "path of a diary store\n";
       },
       1},
      {"a journal left over in a read-only folder",
       [](const std::string& db) {
         // A copy taken while a writer held the store: the -wal file holds rows the store does not yet.
         const std::string held = db + ".held";
         RunCli({"new-db", held});
         sqlite3* writer = nullptr;
         sqlite3_open(held.c_str(), &writer);
         sqlite3_exec(writer, "INSERT INTO Contents (Day) VALUES ('2007/01/01');", nullptr, nullptr, nullptr);
         fs::copy_file(held, db);
         fs::copy_file(held + "-wal", db + "-wal");
         sqlite3_close(writer);
         fs::remove(held);
         fs::permissions(fs::path(db).parent_path(), fs::perms(0555));  // others may look, no one write
         return "nblinout: the journal '%DB%-wal' of the diary store cannot be replayed because its folder is "
                "read-only; make the folder writable, or copy the store and its -wal file to a writable folder\n";
       },
       1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string db = (dir.path() / "d.db").string();
    std::string expected = c.make(db);
    if (const auto at = expected.find("%DB%"); at != std::string::npos) expected.replace(at, 4, db);
    const std::string before = ReadFile(db);
    const std::set<std::string> files = Listing(dir.path());

    const CommandResult r =
        c.unprivileged && ::geteuid() == 0
            ? RunCommand({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", NBL_CLI_PATH, "info", db})
            : RunCli({"info", db});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.output, expected);
    EXPECT_EQ(ReadFile(db), before) << "the store changed";
    EXPECT_EQ(Listing(dir.path()), files) << "files appeared or went";
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
  }
}

// What a command prints must reach stdout: a full disk or a closed stdout fails a command that had completed.
TEST(CliInfo, CommandsThatPrintFailWhenStandardOutputTakesNothing) {
  TempDir dir;
  const std::string db = (dir.path() / "d.db").string();
  ASSERT_EQ(RunCli({"new-db", db}).status, 0);
  const struct {
    std::string command;  // bash; $0 is nblinout, $1 the store
    int status;
    const char* says;
  } cases[] = {
      {"\"$0\" info \"$1\" >/dev/full", 1, "nblinout: cannot write to standard output: No space left on device"},
      {"\"$0\" --version >/dev/full", 1, "No space left on device"},
      {"\"$0\" info --help >&-", 1, "Bad file descriptor"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const CommandResult r = RunCommand({"bash", "-c", c.command, NBL_CLI_PATH, db});
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
  }
}

}  // namespace
}  // namespace nbl::testing
