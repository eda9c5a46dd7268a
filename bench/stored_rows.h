// The rows an import stored, read back as SQLite holds them, and SQLite alone
// storing them again: the yardstick of the import on either system.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace nbl::bench {

// One column of a stored row, as SQLite handed it out.
struct Column {
  int type = SQLITE_NULL;
  sqlite3_int64 integer = 0;
  double real = 0;
  std::string bytes;  // text or blob
};
using Row = std::vector<Column>;

// Every row of the table Contents of the store at `db` (UTF-8), each column as stored.
std::vector<Row> ReadStoredRows(const std::string& db);

// SQLite alone storing `rows` in the store at `db`: the store opened with the
// flags and synchronous mode of the import's connection, one transaction of
// one prepared insert bound without a copy. False when anything failed.
bool InsertStoredRows(const std::vector<Row>& rows, const std::string& db);

}  // namespace nbl::bench
