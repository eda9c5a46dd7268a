// An ADO-shaped connection to a diary store held in an SQLite file.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct sqlite3;

namespace nbl::store {

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The connection text "Provider=...;Data Source=<path>"; used by Open when
  // it is given an empty text.
  void SetConnectionString(std::u16string_view text);

  // Opens the existing database named by `connectionString` (or by the text set
  // before when it is empty). Never creates a file. Throws StoreFailure when the
  // file is missing or is not a database.
  void Open(std::u16string_view connectionString = {}, std::u16string_view user = {},
            std::u16string_view password = {}, int options = -1);

  bool IsOpen() const { return db_ != nullptr; }
  sqlite3* handle() const { return db_; }  // for Recordset

 private:
  std::u16string connectionString_;
  sqlite3* db_ = nullptr;
};

// The database path named by "Data Source=" in a connection text; empty when absent.
std::u16string DataSourceOf(std::u16string_view connectionString);

// Creates a new, empty diary store at `path` (WAL journal, table Contents).
// Throws StoreFailure when the file exists or cannot be created.
void CreateDiaryStore(std::u16string_view path);

}  // namespace nbl::store
