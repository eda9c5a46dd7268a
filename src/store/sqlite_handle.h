// Internal to the store: RAII owners of SQLite handles and the error text helpers.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "common/failure.h"
#include "common/files.h"
#include "common/text.h"

namespace nbl::store::detail {

struct StatementFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// close_v2 so that a handle whose statements are still alive closes once the last one is finalized.
inline std::shared_ptr<sqlite3> AdoptDatabase(sqlite3* db) {
  return std::shared_ptr<sqlite3>(db, [](sqlite3* p) { sqlite3_close_v2(p); });
}

// A path, SQL text or name as failure messages quote it.
inline std::string Quoted(std::u16string_view s) { return "'" + text::ToUtf8(s) + "'"; }

// SQLite's message for the last failure on `db`, or for the bare result code when there is no handle.
inline std::string ErrorText(sqlite3* db, int rc) {
  if (db != nullptr && sqlite3_errcode(db) != SQLITE_OK) return sqlite3_errmsg(db);
  return sqlite3_errstr(rc);
}

// One plain line for a user about the failure `rc` on the store at `path` (the
// database's own file name when empty): locked, not a database, disk full,
// permission denied, no such table or column; empty when there is nothing to act on.
std::string PlainCause(sqlite3* db, int rc, std::string path = {});

// The cause for a store that lacks a table or column the run needs; `lack` is
// SQLite's wording, "no such table: X" or "no such column: X".
std::string LackingCause(sqlite3* db, const std::string& lack);

// The failure `rc` on `db` as a StoreFailure naming `what`, with its plain cause.
StoreFailure FailureOf(const std::string& what, sqlite3* db, int rc, const std::string& path = {});

[[noreturn]] inline void Fail(const std::string& what, sqlite3* db, int rc) { throw FailureOf(what, db, rc); }

// Runs statements that return no rows we need; throws StoreFailure naming `what`.
inline void Exec(sqlite3* db, const char* sql, const std::string& what) {
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(what, db, rc);
}

}  // namespace nbl::store::detail
