#include "store/connection.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/text.h"
#include "store/raw_sqlite.h"
#include "support/temp_dir.h"

namespace nbl::store {
namespace {

using nbl::testing::TempDir;
using testing::Raw;

constexpr std::u16string_view kProvider = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";

std::u16string ConnectionText(std::u16string_view path) { return std::u16string(kProvider) + std::u16string(path); }

void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

TEST(DataSourceOf, TakesEverythingAfterTheKeyToTheEnd) {
  const struct {
    std::u16string text, expected;
  } cases[] = {
      {u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/d/diary.mdb", u"/d/diary.mdb"},
      {u"Provider=x;Data Source=/d/a;b=c.db", u"/d/a;b=c.db"},  // ';' belongs to the path
      {u"Provider=x; data source = /d/日記.db", u" /d/日記.db"},
      {u"DATA SOURCE=rel.db", u"rel.db"},
      {u"Provider=x;Data Source=", u""},
      {u"Provider=MyData Source=x", u""},  // not a key of its own
      {u"Provider=x", u""},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(DataSourceOf(c.text), c.expected) << text::ToUtf8(c.text);
}

TEST(ConnectionOpen, RefusesWhatIsNotAnExistingDatabaseAndCreatesNothing) {
  TempDir dir;
  WriteFile(dir.path() / "notes.txt", "this is not a database, just some text that is long enough\n");
  WriteFile(dir.path() / "empty.db", "");
  std::filesystem::create_directory(dir.path() / "folder.db");
  const struct {
    std::string name, reason, cause;
  } cases[] = {
      {"missing.db", "no such file", "there is no diary store"},
      {"notes.txt", "not a database", "is not a SQLite database"},
      {"empty.db", "empty", "is not a SQLite database"},
      {"folder.db", "directory", "is a directory"},
  };
  for (const auto& c : cases) {
    Connection cn;
    try {
      cn.Open(ConnectionText(dir.File(c.name)));
      ADD_FAILURE() << c.name << " opened";
    } catch (const StoreFailure& f) {
      EXPECT_NE(std::string(f.what()).find(c.name), std::string::npos) << f.what();
      EXPECT_NE(std::string(f.what()).find(c.reason), std::string::npos) << f.what();
      EXPECT_NE(f.cause().find(c.name), std::string::npos) << f.cause();
      EXPECT_NE(f.cause().find(c.cause), std::string::npos) << f.cause();
    }
    EXPECT_FALSE(cn.IsOpen());
  }
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 3u) << "a failed open left a file behind";
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "empty.db"), 0u);
}

TEST(ConnectionOpen, OpensAnOddPathAndSetsTheConnectionUp) {
  TempDir dir;
  const std::u16string path = dir.File("日記;帳 (1).db");
  CreateDiaryStore(path);
  Connection cn;
  cn.SetConnectionString(ConnectionText(path));
  cn.Open();  // the text set before applies
  ASSERT_TRUE(cn.IsOpen());
  EXPECT_THROW(cn.Open(), StoreFailure);

  const struct {
    const char* sql;
    int expected;
  } settings[] = {
      {"PRAGMA synchronous;", 1},  // NORMAL
      {"PRAGMA busy_timeout;", 30000},
      {"SELECT \"literal\" = 'literal';", 1},  // double-quoted text is a literal
  };
  for (const auto& s : settings) {
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(cn.handle(), s.sql, -1, &stmt, nullptr), SQLITE_OK) << s.sql;
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), s.expected) << s.sql;
    sqlite3_finalize(stmt);
  }
  Connection noSource;
  EXPECT_THROW(noSource.Open(u"Provider=Microsoft.Jet.OLEDB.4.0"), StoreFailure);
}

TEST(ConnectionOpen, ReadModeRefusesEveryWriteAndLeavesNoFileBehind) {
  TempDir dir;
  const std::u16string path = dir.File("d.db");
  CreateDiaryStore(path);
  {
    Connection cn;
    cn.SetMode(adModeRead);
    cn.Open(ConnectionText(path));
    for (const char* sql : {"INSERT INTO Contents (Day) VALUES ('2007/01/01');", "DELETE FROM Contents;",
                            "CREATE TABLE Other (x);", "DROP TABLE Contents;"}) {
      EXPECT_NE(sqlite3_exec(cn.handle(), sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }
    EXPECT_EQ(sqlite3_exec(cn.handle(), "SELECT count(*) FROM Contents;", nullptr, nullptr, nullptr), SQLITE_OK);
  }
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"d.db"}) << "the WAL's files stay behind";
  EXPECT_EQ(Raw(text::ToUtf8(path), "SELECT count(*) FROM sqlite_master;"),
            (std::vector<std::vector<std::string>>{{"1"}}));
}

TEST(ConnectionOpen, TakesANameBeginningWithFileAsAPlainFileName) {
  TempDir dir;
  struct InFolder {
    std::filesystem::path previous = std::filesystem::current_path();
    explicit InFolder(const std::filesystem::path& p) { std::filesystem::current_path(p); }
    ~InFolder() { std::filesystem::current_path(previous); }
  };
  auto here = std::make_unique<InFolder>(dir.path());
  Connection uri;
  EXPECT_THROW(uri.Open(ConnectionText(u"file:made.db?mode=rwc")), StoreFailure);  // must not create
  CreateDiaryStore(u"file:odd.db");
  Connection plain;
  plain.Open(ConnectionText(u"file:odd.db"));
  EXPECT_TRUE(plain.IsOpen());
  here.reset();
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "made.db"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "file:odd.db"));
}

// Scripts on one connection beside a second one (another program), with no lock wait: what each
// step gave ("ok", "fail", the rows seen, whether a transaction is open) and the rows left at the end.
// A connection that stays open sees what another writes between its transactions, in either journal,
// however large the store: the database file read a window at a time is never read stale; and what
// it commits, the log's appends written in runs, the other sees at once.
TEST(ConnectionTransactions, EachReadSeesEveryCommitBeforeIt) {
  for (const char* journal : {"WAL", "DELETE"}) {
    SCOPED_TRACE(journal);
    TempDir dir;
    const std::u16string path = dir.File("t.db");
    const std::string file = text::ToUtf8(path);
    CreateDiaryStore(path);
    Raw(file, std::string("PRAGMA journal_mode=") + journal +
                  "; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) "
                  "INSERT INTO Contents (Day, Number) SELECT '2007/05/01', i FROM n;");
    Connection cn;
    cn.Open(ConnectionText(path));
    for (int round = 0; round < 4; ++round) {
      // Rows of about 1 KB each, so that the pages the rounds change lie in many windows.
      const std::string text =
          "'v" + std::to_string(round) + "' || printf('%.*c', 1000 + " + std::to_string(round * 300) + ", 'x')";
      Raw(file, "UPDATE Contents SET Contents = " + text + " WHERE Number % " + std::to_string(round + 2) +
                    " = 0; PRAGMA wal_checkpoint(TRUNCATE);");
      const std::string want = Raw(file, "SELECT count(*) FROM Contents WHERE Contents = " + text + ";")[0][0];
      cn.BeginReadTrans();
      sqlite3_stmt* stmt = nullptr;
      sqlite3_prepare_v2(cn.handle(), ("SELECT count(*) FROM Contents WHERE Contents = " + text + ";").c_str(), -1,
                         &stmt, nullptr);
      ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
      EXPECT_EQ(std::to_string(sqlite3_column_int(stmt, 0)), want) << "round " << round;
      sqlite3_finalize(stmt);
      cn.CommitTrans();
      // And the other sees at once what this one commits, many pages of the log included.
      const std::string mark = "w" + std::to_string(round);
      cn.BeginTrans();
      ASSERT_EQ(sqlite3_exec(cn.handle(),
                             ("UPDATE Contents SET Contents = '" + mark +
                              "' || printf('%.*c', 1500, 'y') WHERE Number % " + std::to_string(round + 3) + " = 0;")
                                 .c_str(),
                             nullptr, nullptr, nullptr),
                SQLITE_OK);
      cn.CommitTrans();
      EXPECT_EQ(Raw(file, "SELECT count(*) FROM Contents WHERE Contents LIKE '" + mark + "y%';")[0][0],
                std::to_string(600 / (round + 3)))
          << "round " << round;
    }
  }
}

TEST(ConnectionTransactions, KeepOrUndoWhatWasWritten) {
  TempDir dir;
  const std::u16string path = dir.File("t.db");
  CreateDiaryStore(path);
  auto single = [](Connection& on, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(on.handle(), sql, -1, &stmt, nullptr) != SQLITE_OK || sqlite3_step(stmt) != SQLITE_ROW) {
      sqlite3_finalize(stmt);
      throw StoreFailure(sqlite3_errmsg(on.handle()));
    }
    const int value = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
  };
  const char* kInsert = "INSERT INTO Contents (Day) VALUES ('2007/05/01') RETURNING 0;";
  const struct {
    const char* script;
    const char* results;
    const char* rowsLeft;
  } cases[] = {
      {"begin in insert commit in", "ok yes 0 ok no", "1"},
      {"begin insert rollback in", "ok 0 ok no", "0"},
      {"begin insert", "ok 0", "0"},  // released without a commit
      {"begin begin insert commit", "ok fail 0 ok", "1"},
      {"commit rollback insert", "fail ok 0", "1"},
      {"begin other commit other", "ok fail ok 0", "1"},        // another writer waits for the lock
      {"other-begin begin in insert", "ok fail no fail", "0"},  // and so does this one
      {"read in count other count commit count", "ok yes 0 0 0 ok 1", "1"},
      {"closed-begin closed-read closed-commit", "fail fail fail", "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Raw(text::ToUtf8(path), "DELETE FROM Contents;");
    {
      Connection cn, other, closed;
      for (Connection* c : {&cn, &other}) {
        c->SetLockWait(std::chrono::milliseconds(0));
        c->Open(ConnectionText(path));
      }
      std::string results;
      std::istringstream steps(c.script);
      for (std::string step; steps >> step;) {
        std::string result = "ok";
        try {
          if (step == "begin") cn.BeginTrans();
          if (step == "read") cn.BeginReadTrans();
          if (step == "commit") cn.CommitTrans();
          if (step == "rollback") cn.RollbackTrans();
          if (step == "in") result = cn.InTransaction() ? "yes" : "no";
          if (step == "insert") result = std::to_string(single(cn, kInsert));
          if (step == "count") result = std::to_string(single(cn, "SELECT count(*) FROM Contents;"));
          if (step == "other") result = std::to_string(single(other, kInsert));
          if (step == "other-begin") other.BeginTrans();
          if (step == "closed-begin") closed.BeginTrans();
          if (step == "closed-read") closed.BeginReadTrans();
          if (step == "closed-commit") closed.CommitTrans();
        } catch (const StoreFailure&) {
          result = "fail";
        }
        results += (results.empty() ? "" : " ") + result;
      }
      EXPECT_EQ(results, c.results);
    }
    EXPECT_EQ(Raw(text::ToUtf8(path), "SELECT count(*) FROM Contents;")[0][0], c.rowsLeft);
  }
  // The wait is the connection's own, from the default on; a negative one is none.
  for (const auto& [wait, timeout] :
       {std::pair{std::chrono::milliseconds(-5), 0}, std::pair{std::chrono::milliseconds(1500), 1500},
        std::pair{kDefaultLockWait, 30000}}) {
    Connection later;
    if (wait != kDefaultLockWait) later.SetLockWait(wait);
    later.Open(ConnectionText(path));
    EXPECT_EQ(single(later, "PRAGMA busy_timeout;"), timeout);
  }
}

TEST(CreateDiaryStore, MakesAWalStoreWithTheContentsTable) {
  TempDir dir;
  const std::u16string path = dir.File("new.db");
  CreateDiaryStore(path);
  const std::string p = text::ToUtf8(path);
  EXPECT_EQ(Raw(p, "PRAGMA journal_mode;"), (std::vector<std::vector<std::string>>{{"wal"}}));
  std::string columns;
  for (const auto& r : Raw(p, "SELECT name, type FROM pragma_table_info('Contents');"))
    columns += r[0] + ":" + r[1] + " ";
  EXPECT_EQ(columns,
            "Day:TEXT Number:INTEGER Weather:TEXT Genre:TEXT Private:INTEGER Title:TEXT Contents:TEXT "
            "extend:TEXT excerpt:TEXT TrackBack:TEXT PublishTime:TEXT ImportMark:TEXT ");
  EXPECT_TRUE(Raw(p, "SELECT * FROM Contents;").empty());
}

TEST(CreateDiaryStore, RefusesToReplaceOrReviveAnything) {
  TempDir dir;
  WriteFile(dir.path() / "old.db", "keep me");
  WriteFile(dir.path() / "stale.db-wal", "left by a deleted store");
  const struct {
    std::string name, reason;
  } cases[] = {
      {"old.db", "already exists"},
      {"stale.db", "leftover journal"},
      {"no-such-folder/new.db", "No such file"},
  };
  for (const auto& c : cases) {
    try {
      CreateDiaryStore(dir.File(c.name));
      ADD_FAILURE() << c.name << " created";
    } catch (const StoreFailure& f) {
      EXPECT_NE(std::string(f.what()).find(c.reason), std::string::npos) << f.what();
    }
  }
  EXPECT_EQ(nbl::testing::ReadFile(dir.path() / "old.db"), "keep me");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "stale.db"));
}

}  // namespace
}  // namespace nbl::store
