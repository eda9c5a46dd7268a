#include "store/store_facts.h"

#include <sqlite3.h>

#include "store/connection.h"
#include "store/sqlite_handle.h"

namespace nbl::store {
namespace {

std::optional<std::string> TextColumn(sqlite3_stmt* st, int column) {
  if (sqlite3_column_type(st, column) == SQLITE_NULL) return std::nullopt;
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
  return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(st, column)));
}

// Runs `sql` and hands each row to `row`; throws StoreFailure naming `what`.
template <typename OnRow>
void ForEachRow(sqlite3* db, const char* sql, const std::string& what, OnRow row) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  detail::Statement st(raw);
  if (rc != SQLITE_OK) detail::Fail(what, db, rc);
  while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) row(st.get());
  if (rc != SQLITE_DONE) detail::Fail(what, db, rc);
}

std::vector<CountOf> CountsBy(sqlite3* db, const char* sql, const std::string& what) {
  std::vector<CountOf> counts;
  ForEachRow(db, sql, what, [&](sqlite3_stmt* st) {
    counts.push_back({TextColumn(st, 0), sqlite3_column_int64(st, 1)});
  });
  return counts;
}

}  // namespace

StoreFacts ReadStoreFacts(std::u16string_view path, std::chrono::milliseconds lockWait) {
  Connection cn;
  cn.SetMode(adModeRead);
  cn.SetLockWait(lockWait);
  cn.Open(std::u16string(kConnectionPrefix) + std::u16string(path));
  const std::string what = "cannot read diary store " + detail::Quoted(path);
  cn.BeginReadTrans();

  StoreFacts facts;
  sqlite3* db = cn.handle();
  // "= FALSE" and "= TRUE" are the export's own tests, so the counts match what it selects.
  ForEachRow(db, "SELECT count(*), SUM(Private = FALSE), SUM(Private = TRUE), MIN(Day), MAX(Day) FROM Contents;", what,
             [&](sqlite3_stmt* st) {
               facts.entries = sqlite3_column_int64(st, 0);
               facts.publicEntries = sqlite3_column_int64(st, 1);
               facts.privateEntries = sqlite3_column_int64(st, 2);
               facts.firstDay = TextColumn(st, 3);
               facts.lastDay = TextColumn(st, 4);
             });
  facts.genres = CountsBy(db, "SELECT Genre, count(*) FROM Contents GROUP BY Genre ORDER BY Genre;", what);
  facts.importMarks =
      CountsBy(db, "SELECT ImportMark, count(*) FROM Contents GROUP BY ImportMark ORDER BY ImportMark;", what);
  cn.RollbackTrans();
  return facts;
}

}  // namespace nbl::store
