#include "stored_rows.h"

#include <memory>

namespace nbl::bench {
namespace {

struct Close {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct Finalize {
  void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};

int Bind(sqlite3_stmt* st, int index, const Column& column) {
  const int size = static_cast<int>(column.bytes.size());
  switch (column.type) {
    case SQLITE_INTEGER:
      return sqlite3_bind_int64(st, index, column.integer);
    case SQLITE_FLOAT:
      return sqlite3_bind_double(st, index, column.real);
    case SQLITE_TEXT:
      return sqlite3_bind_text(st, index, column.bytes.data(), size, SQLITE_STATIC);
    case SQLITE_BLOB:
      return sqlite3_bind_blob(st, index, column.bytes.data(), size, SQLITE_STATIC);
    default:
      return sqlite3_bind_null(st, index);
  }
}

}  // namespace

std::vector<Row> ReadStoredRows(const std::string& db) {
  std::vector<Row> rows;
  sqlite3* rawDb = nullptr;
  const int opened = sqlite3_open_v2(db.c_str(), &rawDb, SQLITE_OPEN_READONLY, nullptr);
  const std::unique_ptr<sqlite3, Close> handle(rawDb);
  sqlite3_stmt* raw = nullptr;
  if (opened != SQLITE_OK || sqlite3_prepare_v2(rawDb, "SELECT * FROM Contents", -1, &raw, nullptr) != SQLITE_OK) {
    return rows;
  }
  const std::unique_ptr<sqlite3_stmt, Finalize> st(raw);
  const int columns = sqlite3_column_count(raw);
  while (sqlite3_step(raw) == SQLITE_ROW) {
    Row& row = rows.emplace_back(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      Column& column = row[static_cast<std::size_t>(c)];
      column.type = sqlite3_column_type(raw, c);
      if (column.type == SQLITE_INTEGER) column.integer = sqlite3_column_int64(raw, c);
      if (column.type == SQLITE_FLOAT) column.real = sqlite3_column_double(raw, c);
      if (column.type == SQLITE_TEXT || column.type == SQLITE_BLOB) {
        const void* p = column.type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(raw, c))
                                                   : sqlite3_column_blob(raw, c);
        column.bytes.assign(static_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(raw, c)));
      }
    }
  }
  return rows;
}

bool InsertStoredRows(const std::vector<Row>& rows, const std::string& db) {
  if (rows.empty()) return false;
  std::string sql = "INSERT INTO Contents VALUES (?";
  for (std::size_t c = 1; c < rows[0].size(); ++c) sql += ", ?";
  sql += ")";
  sqlite3* rawDb = nullptr;
  bool ok = sqlite3_open_v2(db.c_str(), &rawDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK;
  const std::unique_ptr<sqlite3, Close> handle(rawDb);
  sqlite3_stmt* raw = nullptr;
  ok = ok && sqlite3_exec(rawDb, "PRAGMA synchronous=NORMAL; BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK &&
       sqlite3_prepare_v2(rawDb, sql.c_str(), -1, &raw, nullptr) == SQLITE_OK;
  {
    const std::unique_ptr<sqlite3_stmt, Finalize> st(raw);
    for (const Row& row : rows) {
      for (std::size_t c = 0; c < row.size(); ++c) ok = ok && Bind(raw, static_cast<int>(c + 1), row[c]) == SQLITE_OK;
      ok = ok && sqlite3_step(raw) == SQLITE_DONE;
      sqlite3_reset(raw);
    }
  }
  return ok && sqlite3_exec(rawDb, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace nbl::bench
