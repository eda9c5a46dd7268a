// Test helper: reaches a store file through SQLite directly, beside the code under test.
#pragma once

#include <sqlite3.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace nbl::store::testing {

// Runs `sql` on the file at `path` and returns every row's columns as UTF-8 texts ("NULL" for Null).
inline std::vector<std::vector<std::string>> Raw(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("test cannot open " + path);
  }
  std::vector<std::vector<std::string>> rows;
  auto collect = [](void* out, int n, char** values, char**) {
    auto& r = *static_cast<std::vector<std::vector<std::string>>*>(out);
    r.emplace_back();
    for (int i = 0; i < n; ++i) r.back().push_back(values[i] != nullptr ? values[i] : "NULL");
    return 0;
  };
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), collect, &rows, &message);
  const std::string reason = message != nullptr ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("test SQL failed: " + reason);
  return rows;
}

}  // namespace nbl::store::testing
