// nblinout import's own options, run after run on one store: --dry-run prints
// what would be stored and leaves the store byte for byte, failing as a real
// import fails; --skip-existing stores only the entries the store lacks, so
// importing a file again stores nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "support/diary_store.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace nbl::testing {
namespace {

std::string Entry(const std::string& date, const std::string& title, const std::string& body) {
  return "<day date=\"" + date + "\" title=\"" + title + "\">\n<body>\n" + body + "\n</body>\n</day>\n";
}

TEST(CliImport, DryRunAndSkipExistingRunAfterRun) {
  TempDir dir;
  const auto path = [&dir](const std::string& name) { return (dir.path() / name).string(); };
  const std::string db = path("d.db");
  MakeStore(db, {{"2007/05/01", "一般", 0, "kept", "", "", "2007/05/01 00:00:00", 4}});
  const std::string a = Entry("2007-05-01", "A", "x") + Entry("2007-05-01", "B", "y") + Entry("2007-05-02", "C", "z");
  std::ofstream(path("a.xml"), std::ios::binary) << "<!-- three entries -->\n" << a;
  // New: D, and A with another body; already stored: A, B, C and A again.
  std::ofstream(path("b.xml"), std::ios::binary)
      << a << Entry("2007-05-02", "D", "w") << Entry("2007-05-01", "A", "x") << Entry("2007-05-01", "A", "x2");
  std::ofstream(path("bad.xml"), std::ios::binary) << a << "<day date=\"2007-05-03\">\n";

  struct Run {
    const char* name;
    std::vector<std::string> args;  // after "import DB"; FILE first
    int status;
    std::vector<std::string> says;  // parts of stdout and stderr together
    bool storeKept;                 // the store's files are byte for byte as before
    const char* rows;               // Day|Number|Title of the rows after the run
  };
  const char* kBefore = "2007/05/01|4|kept";
  const char* kUnclosed = "NBLinout: データ格納エラー：2007/05/03\nnblinout: at line 16 of";
  const char* kAfterA = "2007/05/01|4|kept,2007/05/01|5|A,2007/05/01|6|B,2007/05/02|1|C";
  const Run runs[] = {
      {"dry run",
       {"a.xml", "--dry-run"},
       0,
       {"entries: 3\nfirst day: 2007/05/01\nlast day: 2007/05/02\nnumbers by day:\n  2007/05/01  5-6\n  2007/05/02  1\n"
        "first titles:\n  A\n  B\n  C\n",
        "nblinout: dry run: 3 entries would be imported from " + path("a.xml") +
            "; 1 line outside any entry's body was skipped; the store was left as it was\n"},
       true,
       kBefore},
      {"dry run of a file that fails", {"bad.xml", "--dry-run"}, 1, {kUnclosed}, true, kBefore},
      {"real import of the same file", {"bad.xml"}, 1, {kUnclosed}, true, kBefore},
      {"first import, skipping",
       {"a.xml", "--skip-existing"},
       0,
       {"imported 3 entries from " + path("a.xml") + "; 0 entries already in the store were skipped; 1 line outside"},
       false,
       kAfterA},
      {"the same file again",
       {"a.xml", "--skip-existing"},
       0,
       {"imported 0 entries from " + path("a.xml") + "; 3 entries already in the store were skipped; 1 line outside"},
       false,
       kAfterA},
      {"new entries among stored ones, dry",
       {"b.xml", "--skip-existing", "--dry-run"},
       0,
       {"entries: 2\nalready stored, skipped: 4\nfirst day: 2007/05/01\nlast day: 2007/05/02\nnumbers by day:\n"
        "  2007/05/01  7\n  2007/05/02  2\nfirst titles:\n  D\n  A\n",
        "dry run: 2 entries would be imported from " + path("b.xml") +
            "; 4 entries already in the store would be skipped; the"},
       true,
       kAfterA},
      {"new entries among stored ones",
       {"b.xml", "--skip-existing"},
       0,
       {"imported 2 entries from " + path("b.xml") + "; 4 entries already in the store were skipped\n"},
       false,
       "2007/05/01|4|kept,2007/05/01|5|A,2007/05/01|6|B,2007/05/02|1|C,2007/05/02|2|D,2007/05/01|7|A"},
  };
  for (const Run& r : runs) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = {"import", db, path(r.args[0])};
    args.insert(args.end(), r.args.begin() + 1, r.args.end());
    args.insert(args.end(), {"--ui", "none"});
    const std::map<std::string, std::string> before = FilesUnder(dir.path());
    const CommandResult result = RunCli(args);
    EXPECT_EQ(result.status, r.status) << result.output;
    for (const std::string& part : r.says) EXPECT_NE(result.output.find(part), std::string::npos) << result.output;
    if (r.storeKept) {
      EXPECT_TRUE(FilesUnder(dir.path()) == before) << "a file changed, appeared or went";
    }
    std::string rows;
    for (const std::string& row : QueryRows(db, "SELECT Day, Number, Title FROM Contents ORDER BY rowid")) {
      rows += (rows.empty() ? "" : ",") + row;
    }
    EXPECT_EQ(rows, r.rows);
  }
}

}  // namespace
}  // namespace nbl::testing
