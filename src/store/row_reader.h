// Internal to the store: the read side of a Recordset, the rows of one query.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/sqlite_handle.h"
#include "store/value.h"

namespace nbl::store::detail {

class RowReader {
 public:
  // Prepares `sql` on `db` and stands on its first row. Throws StoreFailure
  // for an SQL text that is bad, empty, holds a NUL or more than one
  // statement, or writes or returns no columns, and for an unsupported cursor
  // type. A keyset or static cursor counts the rows first (CountRows).
  void Open(sqlite3* db, std::u16string_view sql, int cursorType);
  void Close() noexcept;

  std::int32_t recordCount() const { return recordCount_; }  // -1 when not counted
  bool eof() const { return eof_; }
  // The next row; throws StoreFailure when the store fails.
  void MoveNext() { eof_ = !Step("cannot read the next row"); }

  // As Recordset::ColumnIndex, FieldBytes and Field of a read.
  int ColumnIndex(std::u16string_view name) const;
  std::optional<std::string_view> FieldBytes(int index) const;
  Value Field(int index) const;

 private:
  std::string_view StoredBytes(int index) const;
  bool Step(const char* what);
  std::int64_t CountRows(std::string_view sql, const std::string& what);

  sqlite3* db_ = nullptr;
  Statement query_;
  std::vector<std::u16string> fullNames_;         // folded, as SQLite names the result columns
  std::vector<std::u16string> shortNames_;        // folded, the part after the last '.'
  mutable std::vector<std::string> numberTexts_;  // per column, the bytes FieldBytes gave for a number
  std::int32_t recordCount_ = -1;
  bool eof_ = true;
};

}  // namespace nbl::store::detail
