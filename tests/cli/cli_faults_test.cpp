// nblinout under faults: a full disk, a held store, read-only folders, stores
// that are no stores, directories where files belong. Whatever fails, the files that were
// there stay byte for byte and nothing new is left behind.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <map>

#include "support/diary_store.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace nbl::testing {
namespace {

// Under each fault the files that were there stay byte for byte, nothing new is
// left behind, and one line says why.
class CliFaultsTable : public ::testing::Test {
 protected:
  struct Case {
    const char* name;
    std::vector<std::string> args;  // DB and FILE as names in the folder
    std::uint64_t fileSizeLimit;    // 0: none
    int status;
    std::vector<std::string> says;
    bool namedTemporary = false;  // as where the file system has no unnamed files
  };
  static constexpr std::uint64_t kFullAt = 48 * 1024;  // room for the store's 32 KB shared-memory file, not the rest

  void SetUp() override {
    // Entries of about 1 KB each, so that the document and the imported rows outgrow a small file size limit.
    for (int i = 0; i < 200; ++i) {
      const std::string day = "2007/" + std::string(i % 12 < 9 ? "0" : "") + std::to_string(i % 12 + 1) + "/15";
      rows_.push_back({day, "一般", 0, "t" + std::to_string(i), std::string(1000, 'x'), "", day + " 10:00:00"});
    }
    MakeStore(Path("big.db"), rows_);
    ASSERT_EQ(RunCli({"export", Path("big.db"), Path("in.xml"), "--ui", "none"}).status, 0);
    MakeStore(Path("import.db"), {});
    std::ofstream(Path("out.xml")) << "the old document";
    std::ofstream(Path("junk.db")) << "plain text, not a store";
    std::filesystem::create_directories(dir_.path() / "folder.db");
    std::filesystem::create_directories(dir_.path() / "ro");
    std::ofstream(Path("ro/out.xml")) << "the old document";
    MakeStore(Path("ro/import.db"), {});
    MakeStore(Path("read-only.db"), {});
    ::chmod(Path("read-only.db").c_str(), 0444);
    ::chmod(Path("ro").c_str(), 0555);
    std::filesystem::create_symlink("big.db", dir_.path() / "store-link.db");
    std::ofstream(Path("read-only.xml")) << "the old document";
    ::chmod(Path("read-only.xml").c_str(), 0444);
    std::ofstream(Path("one-line.xml")) << "<diary><day date=\"2007-05-01\"><body>a & b</body></day></diary>\n";
    MakeStore(Path("full-day.db"), {{"2007/01/15", "一般", 0, "t", "x", "", "2007/01/15 10:00:00", 32767}});
  }
  void TearDown() override { ::chmod(Path("ro").c_str(), 0755); }

  std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }

  void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      std::vector<std::string> args = c.args;
      args[1] = Path(args[1]);  // an absolute name stays as it is
      args[2] = Path(args[2]);
      args.insert(args.end(), {"--ui", "none"});
      const std::map<std::string, std::string> before = FilesUnder(dir_.path());
      if (c.namedTemporary) ::setenv("NBL_NAMED_TEMPORARY", "1", 1);
      const CommandResult r = c.fileSizeLimit != 0 ? RunCli(args, c.fileSizeLimit) : RunCli(args);
      ::unsetenv("NBL_NAMED_TEMPORARY");
      EXPECT_EQ(r.status, c.status) << r.output;
      for (const std::string& line : c.says) EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
      EXPECT_TRUE(FilesUnder(dir_.path()) == before) << "a file changed, appeared or went";
    }
  }

  TempDir dir_;
  std::vector<Row> rows_;
};

TEST_F(CliFaultsTable, FileSizeLimits) {
  Check({
      {"file size limit mid-export",
       {"export", "big.db", "out.xml", "--overwrite"},
       kFullAt,
       1,
       {"NBLinout: Loop内エラー：", "nblinout: the file size limit of this process was reached while writing"}},
      {"file size limit mid-import",
       {"import", "import.db", "in.xml"},
       kFullAt,
       1,
       {"NBLinout: データ格納エラー：", "nblinout: the file size limit of this process was reached while writing"}},
      {"file size limit, hidden temporary file",
       {"export", "big.db", "out.xml", "--overwrite"},
       kFullAt,
       1,
       {"NBLinout: Loop内エラー：", "the file size limit"},
       true},
  });
}

TEST_F(CliFaultsTable, HeldForeignAndReadOnlyStores) {
  // Another program holds held.db, as a writer in exclusive locking mode does. It lies outside the
  // folder, since closing any file of it in this process would drop the holder's locks.
  TempDir heldDir;
  const std::string heldDb = (heldDir.path() / "held.db").string();
  MakeStore(heldDb, {rows_[0]});
  const std::string held = ReadFile(heldDb);
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(heldDb.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN IMMEDIATE; DELETE FROM Contents;", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  Check({
      {"a held store, export",
       {"export", heldDb, "out.xml", "--overwrite", "--lock-wait", "0"},
       0,
       1,
       {"NBLinout: DB接続エラー", "nblinout: the diary store '" + heldDb + "' is locked by another program"}},
      {"a held store, import",
       {"import", heldDb, "in.xml", "--lock-wait", "0"},
       0,
       1,
       {"NBLinout: 日付読み込みエラー", "is locked by another program"}},
      {"a store that is not a database",
       {"export", "junk.db", "out.xml", "--overwrite"},
       0,
       1,
       {"NBLinout: DB接続エラー", "nblinout: '" + Path("junk.db") + "' is not a SQLite database"}},
      {"read-only store, import",
       {"import", "read-only.db", "in.xml"},
       0,
       1,
       {"NBLinout: 日付読み込みエラー", "nblinout: permission denied on '" + Path("read-only.db") + "'"}},
  });
  sqlite3_close(holder);
  EXPECT_EQ(FilesUnder(heldDir.path()), (std::map<std::string, std::string>{{"held.db", held}}));
}

TEST_F(CliFaultsTable, ReadOnlyPlacesAndDirectories) {
  const std::string ro = "permission denied on '" + Path("ro") + "'";
  Check({
      {"read-only folder, old document", {"export", "big.db", "ro/out.xml", "--overwrite"}, 0, 2, {"nblinout: " + ro}},
      {"read-only folder, new document",
       {"export", "big.db", "ro/new.xml"},
       0,
       1,
       {"NBLinout: ファイルオープンエラー", "nblinout: " + ro}},
      {"read-only folder, import", {"import", "ro/import.db", "in.xml"}, 0, 1, {"nblinout: " + ro}},
      {"directory as the store",
       {"export", "folder.db", "out.xml", "--overwrite"},
       0,
       2,
       {"folder.db': is a directory"}},
      {"directory as the document",
       {"export", "big.db", "folder.db", "--overwrite"},
       0,
       2,
       {"folder.db': is a directory"}},
      {"directory as the import's store", {"import", "folder.db", "in.xml"}, 0, 2, {"folder.db': is a directory"}},
      {"directory as the import's document", {"import", "big.db", "folder.db"}, 0, 2, {"folder.db': is a directory"}},
  });
}

TEST_F(CliFaultsTable, OwnStorePathsAndContents) {
  Check({
      {"export over its own store",
       {"export", "big.db", "big.db", "--overwrite"},
       0,
       2,
       {"nblinout: cannot write '" + Path("big.db") + "': it is the diary store"}},
      {"export over its store through a link",
       {"export", "big.db", "store-link.db", "--overwrite"},
       0,
       2,
       {"diary store"}},
      {"export over its store's journal", {"export", "store-link.db", "big.db-wal"}, 0, 2, {"journal files"}},
      {"a path that is not UTF-8, export",
       {"export", "big.db", "x\xFF.xml"},
       0,
       2,
       {"x\\xFF.xml': the path is not valid UTF-8"}},
      {"a path that is not UTF-8, import", {"import", "import.db", "x\xFF.xml"}, 0, 2, {"not valid UTF-8"}},
      {"a read-only document", {"export", "big.db", "read-only.xml", "--overwrite"}, 0, 2, {"is read-only"}},
      {"a read-only document, no --overwrite", {"export", "big.db", "read-only.xml"}, 0, 2, {"give --overwrite"}},
      {"tags share lines, and no well-formed XML",
       {"import", "import.db", "one-line.xml"},
       0,
       1,
       {"at line 1, column 40 of", "as XML the document is not well-formed"}},
      {"a day that holds 32,767 entries",
       {"import", "full-day.db", "in.xml"},
       0,
       1,
       {"NBLinout: データ格納エラー：2007/01/15", "a day holds at most 32,767 entries"}},
  });
}

// --lock-wait is seconds: a held store is waited for that long, not a thousandth of it nor a thousand times.
TEST(CliFaults, ALockWaitOfTwoSecondsWaitsAboutTwoSeconds) {
  TempDir dir;
  const std::string db = (dir.path() / "held.db").string();
  MakeStore(db, {});
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr),
            SQLITE_OK);
  const auto start = std::chrono::steady_clock::now();
  const CommandResult r = RunCli({"info", db, "--lock-wait", "2"});
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  sqlite3_close(holder);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("is locked by another program"), std::string::npos) << r.output;
  EXPECT_GE(waited, 1.8);
  EXPECT_LT(waited, 10.0);
}

// Stopped by a signal mid-export, the command removes its hidden temporary file and the old document stays.
TEST(CliFaults, ASignalLeavesTheOldDocumentAndNoTemporaryFile) {
  TempDir dir;
  const std::string db = (dir.path() / "d.db").string(), out = (dir.path() / "out.xml").string();
  MakeStore(db, {});
  ExecSql(db,
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) INSERT INTO Contents "
          "(Day, Number, Genre, Private, Title, Contents) SELECT '2007/01/15', i, 'g', 0, 't', "
          "printf('%.*c', 2000000, 'y') FROM n;");
  std::ofstream(out) << "the old document";
  for (const auto& [signal, status] : {std::pair{"INT", "130"}, std::pair{"TERM", "143"}, std::pair{"HUP", "129"}}) {
    SCOPED_TRACE(signal);
    // Sent once the hidden file has a name, while the document is being written into it.
    const CommandResult r = RunCommand(
        {"sh", "-c",
         "NBL_NAMED_TEMPORARY=1 \"$0\" export \"$1\" \"$2\" --overwrite --ui none & pid=$!; "
         "until ls -A \"$3\" | grep -q '[.]part$'; do sleep 0.001; done; kill -$4 $pid; wait $pid; echo \"status $?\"",
         NBL_CLI_PATH, db, out, dir.path().string(), signal});
    EXPECT_NE(r.output.find(std::string("status ") + status), std::string::npos) << r.output;  // 128 + the signal
    EXPECT_EQ(ReadFile(out), "the old document");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      EXPECT_FALSE(entry.path().filename().string().ends_with(".part")) << entry.path();
    }
  }
}

TEST(CliFaults, HostileStoresExportWellFormedAndTheReplacementsAreCounted) {
  TempDir dir;
  const std::string db = (dir.path() / "h.db").string();
  MakeStore(db, {});
  // Controls, a NUL, U+FFFE, bytes that are not UTF-8 (an encoded surrogate counts three), markup in the dates.
  ExecSql(db,
          "INSERT INTO Contents (Day, Number, Genre, Private, Title, Contents, extend, PublishTime) VALUES "
          "('2007/01/05', 1, '一般', 0, 'a' || char(1) || 'b', 'x' || char(0) || 'y', CAST(x'EDA080' AS TEXT), "
          "'2007/01/05 <&\"'),"
          "('2007/02/0<&\"', 1, '一般', 0, CAST(x'61FF62' AS TEXT), 'z' || char(65534), char(11), "
          "'2007/<\"&>/0 10:00:00');");
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{},
        std::vector<std::string>{"--keep-line-breaks", "--keep-hyphens", "--date", "publish"}}) {
    const std::string out = (dir.path() / "h.xml").string();
    std::vector<std::string> args = {"export", db, out, "--overwrite", "--ui", "none"};
    args.insert(args.end(), options.begin(), options.end());
    const CommandResult r = RunCli(args);
    SCOPED_TRACE(r.output);
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("nblinout: 8 characters that XML 1.0 cannot carry (control characters, broken text) "
                            "were written as U+FFFD\n"),
              std::string::npos);
    const CommandResult lint = RunCommand({"xmllint", "--noout", out});
    EXPECT_EQ(lint.status, 0) << lint.output;
  }
}

}  // namespace
}  // namespace nbl::testing
